#!/usr/bin/env bash
# Tests of the shared shell helpers: messages and exit statuses, the
# package check, which cached libsvm source folder is taken, and the .deb
# cache (unpacked once per .deb, the newest taken).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
source "$(dirname "${BASH_SOURCE[0]}")/libsvm.sh"
source "$(dirname "${BASH_SOURCE[0]}")/debs.sh"

failures=0
check() {  # check DESCRIPTION EXPECTED ACTUAL
  if [[ "$2" != "$3" ]]; then
    echo "FAILED: $1: expected '$2', got '$3'" >&2
    failures=$((failures + 1))
  fi
}

status=0
message=$( (die "no model" 2>&1) ) || status=$?
check "die's status" 1 "$status"
check "die's message" "scripts/lib_test.sh: no model" "$message"

check "missing packages" "wenlei-no-such-package" \
  "$(missing_packages dpkg wenlei-no-such-package)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for folder in libsvm-3.23 libsvm-3.24+ds libsvm-3.25; do
  mkdir -p "$work/$folder"
  touch "$work/$folder/svm.cpp"
  version=${folder#libsvm-}
  version=${version%+ds}
  echo "#define LIBSVM_VERSION ${version/./}" >"$work/$folder/svm.h"
done
check "the cached source of the build's version" "$work/libsvm-3.24+ds" "$(cached_libsvm_source "$work")"
rm "$work/libsvm-3.24+ds/svm.cpp"
check "no cached source without svm.cpp" "" "$(cached_libsvm_source "$work")"

# A .deb of the given version holding usr/share/probe/version.
make_deb() {  # make_deb VERSION
  local tree=$work/deb-$1
  mkdir -p "$tree/DEBIAN" "$tree/usr/share/probe"
  printf 'Package: probe\nVersion: %s\nArchitecture: all\nMaintainer: none <none@invalid>\nDescription: probe\n' \
    "$1" >"$tree/DEBIAN/control"
  echo "$1" >"$tree/usr/share/probe/version"
  dpkg-deb -b "$tree" "$work/cache/probe_$1_all.deb" >/dev/null
}
if command -v dpkg-deb >/dev/null; then
  mkdir -p "$work/cache"
  make_deb 1.2
  make_deb 1.10
  tree=$(unpacked_deb "$work/cache" probe 2>/dev/null)
  check "the newest .deb unpacked" "1.10" "$(cat "$tree/usr/share/probe/version")"
  touch "$tree/kept"
  tree=$(unpacked_deb "$work/cache" probe 2>/dev/null)
  check "unpacked once per .deb" "yes" "$([[ -e $tree/kept ]] && echo yes)"
  make_deb 1.11
  tree=$(unpacked_deb "$work/cache" probe 2>/dev/null)
  check "a newer .deb unpacked afresh" "1.11 no" \
    "$(cat "$tree/usr/share/probe/version") $([[ -e $tree/kept ]] && echo yes || echo no)"
fi

((failures == 0)) && echo "scripts/lib: all checks passed" >&2
exit "$((failures > 0))"
