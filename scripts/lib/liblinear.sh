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
  local cache="$1" dir version linux_version dsc fetched=1
  dir="$(cached_liblinear_source "$cache")"
  if [[ -n "$dir" ]]; then
    echo "$dir"
    return 0
  fi
  version="$(apt-cache showsrc liblinear 2>/dev/null | awk '/^Version:/ { print $2 }' | sort -V | tail -n 1)"
  if [[ "$version" != "$LIBLINEAR_VERSION"* ]]; then
    say "the liblinear source package is version '$version', the Linux build uses $LIBLINEAR_VERSION"
    return 1
  fi
  linux_version="$(dpkg-query -W -f='${Version}' liblinear-dev 2>/dev/null || true)"
  if [[ -n "$linux_version" && "$linux_version" != "$version" ]]; then
    say "liblinear-dev is $linux_version but the source package is $version"
    return 1
  fi
  mkdir -p "$cache"
  # apt checks every file it fetches against the archive's signed index.
  (cd "$cache" && apt-get source -qq --download-only "liblinear=$version" >/dev/null 2>&1) || fetched=0
  dsc="$(find "$cache" -maxdepth 1 -name "liblinear_${version}.dsc" | head -n 1)"
  if [[ -z "$dsc" ]]; then
    say "apt-get source did not deliver liblinear_${version}.dsc"
    return 1
  fi
  if [[ $fetched -eq 1 ]] && command -v dpkg-source >/dev/null; then
    (cd "$cache" && dpkg-source --no-check -x "$(basename "$dsc")" >/dev/null) || return 1
  elif ! unpack_libsvm_tarball "$cache" "$dsc"; then
    say "apt-get source could not fetch liblinear $version"
    return 1
  fi
  dir="$(cached_liblinear_source "$cache")"
  if [[ -z "$dir" ]]; then
    say "the unpacked liblinear source in $cache has no linear.cpp and tron.cpp of liblinear $LIBLINEAR_VERSION"
    return 1
  fi
  say "liblinear $version in $dir"
  echo "$dir"
}
