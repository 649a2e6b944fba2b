#!/usr/bin/env bash
# Runs one test case with the slow stick (tools/slow_stick) mounted at the folder the Wine prefix
# maps as drive X:, which Wine must have known since its server started so that the window's
# drive list shows it (tools/test.sh maps it). The case finds "X:" in TALVEX_SLOW_STICK_TARGET.
#
#   stick_case.sh --wine-drive X: -- COMMAND [ARGS...]
#
# Exits 77 with the reason when the stick cannot be mounted here (no FUSE, not root, the linux
# preset's talvex-slow-stick not built), which CTest reports as a skip. The stick is always
# unmounted on the way out.
set -uo pipefail

readonly kSkip=77
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
wine_drive=''
while (($# > 0)); do
  case $1 in
    --wine-drive) wine_drive=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "stick_case.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [[ -z $wine_drive || $# -eq 0 ]]; then
  echo "usage: stick_case.sh --wine-drive X: -- COMMAND [ARGS...]" >&2
  exit 2
fi

skip() {
  echo "SKIPPED: $*"
  exit "$kSkip"
}

((EUID == 0)) || skip "the slow stick is mounted by root only"
[[ -n ${WINEPREFIX:-} ]] || skip "no Wine prefix (tools/test.sh makes one and maps drive $wine_drive)"
link=$WINEPREFIX/dosdevices/${wine_drive,,}
[[ -L $link ]] || skip "the Wine prefix maps no drive $wine_drive (tools/test.sh maps it)"
mount_point=$(readlink -f "$link")
backing=$(mktemp -d)
stick="$root/tools/slow_stick/slow-stick.sh"

cleanup() {
  bash "$stick" stop "$mount_point" >/dev/null 2>&1
  rm -rf "$backing"
}
trap cleanup EXIT

if ! why=$(bash "$stick" start "$backing" "$mount_point" 2>&1 >/dev/null); then
  skip "the slow stick did not mount: $why"
fi
export TALVEX_SLOW_STICK_TARGET=$wine_drive
timeout 150 "$@"
status=$?
if ((status == 124)); then echo "the case did not end within 150 s" >&2; fi
exit "$status"
