# shellcheck shell=bash
# libsvm's source, for builds that compile it themselves (the Windows
# libraries, and the fuzz targets so that the sanitizers see inside it):
# Debian's source package of the version the Linux build links, checked
# and unpacked once into a cache folder.  Needs lib/common.sh.

# The libsvm version every build uses.
LIBSVM_VERSION=3.24

# The build's source package comes from a deb-src entry that mirrors the
# machine's own Debian entries, so no archive is named here.
DEB_SRC_FILE=/etc/apt/sources.list.d/wenlei-deb-src.sources

have_libsvm_deb_src() {
  apt-cache showsrc libsvm 2>/dev/null | grep '^Package: libsvm' >/dev/null
}

# Writes deb-src entries for every enabled deb entry in /etc/apt (as root).
write_deb_src_entries() {
  local entries="" file list
  for file in /etc/apt/sources.list.d/*.sources; do
    [[ -f "$file" && "$file" != "$DEB_SRC_FILE" ]] || continue
    # Every stanza whose Types include "deb" is repeated with Types: deb-src.
    entries+="$(awk '
      function flush() {
        if (stanza != "" && is_deb && !disabled) print stanza
        stanza = ""; is_deb = 0; disabled = 0
      }
      /^[[:space:]]*$/ { flush(); next }
      /^[Tt]ypes:/ {
        for (i = 2; i <= NF; i++) if ($i == "deb") is_deb = 1
        stanza = stanza "Types: deb-src\n"; next
      }
      /^[Ee]nabled:[[:space:]]*no/ { disabled = 1 }
      { stanza = stanza $0 "\n" }
      END { flush() }' "$file")"$'\n\n'
  done
  # One-line entries: "deb [options] uri suite components".
  for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f "$list" ]] || continue
    entries+="$(awk '$1 == "deb" { sub(/^deb/, "deb-src"); print }' "$list")"$'\n'
  done
  if [[ -z "${entries//[[:space:]]/}" ]]; then
    die "no Debian package source found in /etc/apt to derive a deb-src entry from"
  fi
  # Mixed formats cannot share one file: one-line entries go to a .list file.
  local deb822 oneline
  deb822="$(printf '%s\n' "$entries" | grep -v '^deb-src ' || true)"
  oneline="$(printf '%s\n' "$entries" | grep '^deb-src ' || true)"
  printf '# Source entries mirroring the binary ones, for libsvm'"'"'s source package.\n%s\n' \
    "$deb822" | as_root tee "$DEB_SRC_FILE" >/dev/null
  if [[ -n "$oneline" ]]; then
    printf '%s\n' "$oneline" | as_root tee "${DEB_SRC_FILE%.sources}.list" >/dev/null
  fi
}

# The unpacked source tree in CACHE (e.g. CACHE/libsvm-3.24+ds), when it
# holds svm.cpp and its svm.h declares LIBSVM_VERSION; nothing otherwise.
cached_libsvm_source() {
  local cache="$1" dir
  [[ -d "$cache" ]] || return 0
  while read -r dir; do
    if grep -q "LIBSVM_VERSION ${LIBSVM_VERSION/./}" "$dir/svm.h" 2>/dev/null; then
      echo "$dir"
      return 0
    fi
  done < <(find "$cache" -mindepth 2 -maxdepth 2 -name svm.cpp -printf '%h\n' | sort)
  return 0
}

# Unpacks the upstream tarball alone after checking it against the .dsc;
# used when the archive cannot deliver the Debian part of the package, whose
# changes concern packaging, not the sources (libsvm's and liblinear's both).
unpack_libsvm_tarball() {
  local cache="$1" dsc="$2" tarball expected actual
  tarball="$(awk '/^Checksums-Sha256:/ { on = 1; next } on && /^ / && $3 ~ /orig\.tar/ { print $3; exit }' "$dsc")"
  expected="$(awk '/^Checksums-Sha256:/ { on = 1; next } on && /^ / && $3 ~ /orig\.tar/ { print $1; exit }' "$dsc")"
  [[ -n "$tarball" && -f "$cache/$tarball" ]] || return 1
  actual="$(sha256sum "$cache/$tarball" | cut -d' ' -f1)"
  if [[ "$actual" != "$expected" ]]; then
    say "$tarball does not match the checksum in $(basename "$dsc")"
    return 1
  fi
  say "warning: the Debian part of the $(basename "$dsc" | cut -d_ -f1) source package could not be fetched;" \
      "using the upstream tarball $tarball (checksum verified against the .dsc)"
  tar -C "$cache" -xf "$cache/$tarball"
}

# Prints the folder of Debian's source package PACKAGE unpacked in CACHE,
# fetching and unpacking it when FINDER (a function: FINDER CACHE prints the
# usable folder, or nothing) finds none.  The package must be of the version
# WANTED starts, and the one DEV_PACKAGE has when it is installed.  WHAT
# says what FINDER looks for, when the unpacked tree has none.
#   debian_source PACKAGE DEV_PACKAGE WANTED CACHE FINDER WHAT
debian_source() {
  local package="$1" dev="$2" wanted="$3" cache="$4" finder="$5" what="$6"
  local dir version linux_version dsc fetched=1
  dir="$("$finder" "$cache")"
  if [[ -n "$dir" ]]; then
    echo "$dir"
    return 0
  fi
  version="$(apt-cache showsrc "$package" 2>/dev/null | awk '/^Version:/ { print $2 }' | sort -V | tail -n 1)"
  if [[ "$version" != "$wanted"* ]]; then
    say "the $package source package is version '$version', the Linux build uses $wanted"
    return 1
  fi
  linux_version="$(dpkg-query -W -f='${Version}' "$dev" 2>/dev/null || true)"
  if [[ -n "$linux_version" && "$linux_version" != "$version" ]]; then
    say "$dev is $linux_version but the source package is $version"
    return 1
  fi
  mkdir -p "$cache"
  # apt checks every file it fetches against the archive's signed index.
  (cd "$cache" && apt-get source -qq --download-only "$package=$version" >/dev/null 2>&1) || fetched=0
  dsc="$(find "$cache" -maxdepth 1 -name "${package}_${version}.dsc" | head -n 1)"
  if [[ -z "$dsc" ]]; then
    say "apt-get source did not deliver ${package}_${version}.dsc"
    return 1
  fi
  if [[ $fetched -eq 1 ]] && command -v dpkg-source >/dev/null; then
    (cd "$cache" && dpkg-source --no-check -x "$(basename "$dsc")" >/dev/null) || return 1
  elif ! unpack_libsvm_tarball "$cache" "$dsc"; then
    say "apt-get source could not fetch $package $version"
    return 1
  fi
  dir="$("$finder" "$cache")"
  if [[ -z "$dir" ]]; then
    say "the unpacked $package source in $cache has no $what"
    return 1
  fi
  say "$package $version in $dir"
  echo "$dir"
}

# Prints the folder of libsvm's source (holding svm.cpp), fetching and
# unpacking Debian's source package into CACHE when it is not there yet.
# The package must be version LIBSVM_VERSION, the version of the installed
# libsvm-dev, and its svm.h must say so.  Returns 1 with a message when the
# source cannot be had (no deb-src entry, no network, another version).
#   libsvm_source CACHE
libsvm_source() {
  if [[ -z "$(cached_libsvm_source "$1")" ]] && ! have_libsvm_deb_src; then
    say "apt has no source entry for libsvm (scripts/windows --install-only adds one)"
    return 1
  fi
  debian_source libsvm libsvm-dev "$LIBSVM_VERSION" "$1" cached_libsvm_source \
    "svm.cpp whose svm.h declares libsvm $LIBSVM_VERSION"
}
