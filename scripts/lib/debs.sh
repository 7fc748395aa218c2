# shellcheck shell=bash
# Debian packages that a corpus is made from: each downloaded once into a
# cache folder and unpacked once per .deb, a stamp in the unpacked folder
# naming the .deb it came from.  Needs common.sh (say, die).

# The newest cached .deb of a package, or nothing.
cached_deb() {  # cached_deb CACHE PACKAGE
  local debs=("$1"/"$2"_*.deb)
  [[ -e ${debs[0]} ]] && printf '%s\n' "${debs[@]}" | sort -V | tail -n 1
}

# Prints the folder the newest .deb of PACKAGE is unpacked in, downloading
# it first when the cache has none (or, with REFRESH 1, always).
unpacked_deb() {  # unpacked_deb CACHE PACKAGE [REFRESH]
  local cache=$1 package=$2 refresh=${3:-0} deb tree
  deb=$(cached_deb "$cache" "$package" || true)
  if [[ -z $deb || $refresh == 1 ]]; then
    say "downloading $package into $cache"
    [[ $refresh == 1 ]] && rm -f "$cache"/"${package}"_*.deb
    (cd "$cache" && apt-get download -q "$package" 2>&1 |
      grep -v '^W: Download is performed unsandboxed' >&2) || true
    deb=$(cached_deb "$cache" "$package" || true)
    [[ -n $deb ]] || die "could not download $package (is apt-get update done and the network up?)"
  fi
  tree=$cache/$package
  if [[ ! -f $tree/.unpacked-from || $(cat "$tree/.unpacked-from") != "$(basename "$deb")" ]]; then
    say "unpacking $(basename "$deb")"
    rm -rf "$tree" "$tree.tmp"
    dpkg-deb -x "$deb" "$tree.tmp" || die "cannot unpack $deb"
    basename "$deb" >"$tree.tmp/.unpacked-from"
    mv "$tree.tmp" "$tree"
  fi
  echo "$tree"
}
