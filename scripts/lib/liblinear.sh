# shellcheck shell=bash
# liblinear's source, for the Windows libraries, which build it themselves:
# Debian's source package of the version the Linux build links, checked and
# unpacked once into a cache folder.  Needs lib/common.sh and lib/libsvm.sh
# (its deb-src entries and checked unpacking serve both).

# The liblinear version every build uses.
LIBLINEAR_VERSION=2.3.0

# The unpacked source tree in CACHE when it holds linear.cpp and tron.cpp
# and its linear.h declares LIBLINEAR_VERSION; nothing otherwise.
cached_liblinear_source() {
  local cache="$1" dir
  [[ -d "$cache" ]] || return 0
  while read -r dir; do
    if [[ -f "$dir/tron.cpp" ]] &&
       grep -q "LIBLINEAR_VERSION ${LIBLINEAR_VERSION//./}" "$dir/linear.h" 2>/dev/null; then
      echo "$dir"
      return 0
    fi
  done < <(find "$cache" -mindepth 2 -maxdepth 2 -name linear.cpp -printf '%h\n' | sort)
  return 0
}

# Prints the folder of liblinear's source, fetching and unpacking Debian's
# source package into CACHE when it is not there yet.
#   liblinear_source CACHE
liblinear_source() {
  debian_source liblinear liblinear-dev "$LIBLINEAR_VERSION" "$1" cached_liblinear_source \
    "linear.cpp and tron.cpp of liblinear $LIBLINEAR_VERSION"
}
