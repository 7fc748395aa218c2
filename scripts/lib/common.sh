# shellcheck shell=bash
# Shared helpers of the shell scripts in scripts/: messages, running as
# root, Debian packages and quiet builds.  A script sources it first:
#
#   source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
#
# and gets ROOT (the source tree), JOBS (WENLEI_JOBS, default 2) and the
# functions below.  Messages go to standard error, prefixed with the
# script's name as it is run from the source tree ("scripts/fuzz: ...").

# shellcheck disable=SC2034  # used by the scripts that source this
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
JOBS="${WENLEI_JOBS:-2}"
SCRIPT_NAME="scripts/$(basename "$0")"

say() { echo "$SCRIPT_NAME: $*" >&2; }

# Ends the script with status 1 (a failed check or a missing part).
die() {
  say "$@"
  exit 1
}

# Runs a command as root: directly when the script is root, else through
# sudo (without asking for a password when there is no terminal to ask on).
as_root() {
  if [[ $(id -u) -eq 0 ]]; then
    "$@"
  elif [[ -t 0 ]]; then
    sudo "$@"
  else
    sudo -n "$@"
  fi
}

# Prints those of the named Debian packages that are not installed, one a
# line.
missing_packages() {
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed$' ||
      echo "$package"
  done
}

# Installs those of the named Debian packages that are missing, after
# refreshing the package lists; does nothing when all are there.
#   install_missing_packages [--update] [--no-recommends] PACKAGE...
# --update refreshes the lists even when nothing is missing (after a new
# architecture or package source); --no-recommends installs no more than
# was asked for.
install_missing_packages() {
  local update=0 options=() missing
  while [[ $# -gt 0 && $1 == --* ]]; do
    case $1 in
      --update) update=1 ;;
      --no-recommends) options+=(--no-install-recommends) ;;
    esac
    shift
  done
  mapfile -t missing < <(missing_packages "$@")
  if ((${#missing[@]} > 0 || update)); then
    as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 update -qq
  fi
  ((${#missing[@]} > 0)) || return 0
  say "installing ${missing[*]}"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 \
    install -y -qq "${options[@]}" "${missing[@]}" >/dev/null ||
    die "cannot install ${missing[*]}"
}

# Builds ninja targets in a build folder, its output kept in LOG; on
# failure shows the errors and ends the script with status 2.
#   build_quietly BUILD-DIR LOG TARGET...
build_quietly() {
  local build="$1" log="$2"
  shift 2
  mkdir -p "$(dirname "$log")"
  if ! ninja -C "$build" -j "$JOBS" "$@" >"$log" 2>&1; then
    grep -E -A 8 "error|FAILED" "$log" | head -n 40 >&2
    say "the build failed; see $log"
    exit 2
  fi
}

# Prints the script's leading comment (its usage), without the comment signs.
usage_from_header() {
  awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"
}
