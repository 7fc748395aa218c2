#!/usr/bin/env bash
# Tests of the shared shell helpers: messages and exit statuses, the
# package check, and which cached libsvm source folder is taken.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
source "$(dirname "${BASH_SOURCE[0]}")/libsvm.sh"

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

((failures == 0)) && echo "scripts/lib: all checks passed" >&2
exit "$((failures > 0))"
