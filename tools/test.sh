#!/usr/bin/env bash
# The project's test command: builds both presets, runs the native suites, then runs the Windows
# suites under Wine in a fresh prefix. Ends with the summary line of the last CTest run.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
bash tools/install-deps.sh test
jobs=2

wine=$(command -v wine64 || true)
[[ -n $wine ]] || wine=/usr/lib/wine/wine64
wineserver=$(command -v wineserver || true)
[[ -n $wineserver ]] || wineserver=/usr/lib/wine/wineserver64

xvfb_pid=
keeper_pid=
server_started=

# The FAT32 volumes the tests mount under the build trees. Each case unmounts its own; a case
# that was killed (by CTest's timeout) may leave one behind, which goes here.
unmount_fat32_volumes() {
  local mount_point
  while read -r mount_point; do
    timeout 10 fusermount -uz "$mount_point" 2>/dev/null || true
  done < <(awk -v build="$root/build/" '$3 ~ /^fuse/ && index($2, build) == 1 {print $2}' \
             /proc/mounts 2>/dev/null)
}

# Stops what this script started, whatever way it ends. Quiet: nothing may follow the summary.
cleanup() {
  if [[ -n $keeper_pid ]]; then kill "$keeper_pid" 2>/dev/null || true; fi
  if [[ -n $server_started ]]; then stop_server; fi
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  unmount_fat32_volumes
}
trap cleanup EXIT

stop_server() {
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w >/dev/null 2>&1 || true
}
start_server() {
  "$wineserver" -p </dev/null >/dev/null 2>&1
  server_started=1
}

# Runs CTest in the build tree $1 (the rest are CTest's arguments) and moves its summary line
# ("100% tests passed, ...") to the very end of its output, after the reason of every skip.
run_ctest() {
  local build=$1 summary='' line status=1
  shift
  while IFS= read -r line; do
    if [[ $line =~ ^ctest-exit-status:([0-9]+)$ ]]; then
      status=${BASH_REMATCH[1]}
    elif [[ $line =~ ^[0-9]+%\ tests\ passed ]]; then
      summary=$line
    else
      printf '%s\n' "$line"
    fi
  done < <(ctest "$@" 2>&1; echo "ctest-exit-status:$?")
  # CTest names skipped tests without their reason; the tests print it as "SKIPPED: ...".
  grep -h '^SKIPPED: ' "$build"/Testing/Temporary/LastTest*.log 2>/dev/null | sort | uniq -c |
    sed 's/^ *\([0-9]*\) SKIPPED: /Skipped (\1 tests): /' || true
  if [[ -n $summary ]]; then printf '%s\n' "$summary"; fi
  return "$status"
}

echo "== Configuring and building (linux, windows)"
for preset in linux windows; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
done

failed=0
echo "== Native test suites"
unmount_fat32_volumes
run_ctest "$root/build/linux" --preset linux || failed=1

echo "== Windows test suites under Wine"
build_windows=$root/build/windows
export WINEPREFIX=$build_windows/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
rm -rf "$WINEPREFIX" "$build_windows/drive-t" "$build_windows/fat32-x" "$build_windows/drive-k"
mkdir -p "$build_windows/drive-t" "$build_windows/fat32-x" "$build_windows/drive-k"
export TALVEX_TEST_DRIVE=t:
export TALVEX_FIXED_DRIVE=k:

# A display of our own for the window tests, there before any Wine process so that all of them
# (the desktop process above all) use it. Xvfb picks a free number and tells it.
display_file=$build_windows/xvfb-display
rm -f "$display_file"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" </dev/null >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [[ -s $display_file ]] && break
  sleep 0.1
done
if [[ ! -s $display_file ]]; then
  echo "Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=:$(head -n1 "$display_file")

wine_log=$build_windows/wine-setup.log
# The prefix and a persistent server are made before CTest runs: a Wine process started inside
# CTest would leave a server and services behind that hold CTest's output pipe open. The prefix
# comes first: a server started on a missing prefix makes an empty one that Wine takes for made.
server_started=1
"$wine" wineboot -i </dev/null >"$wine_log" 2>&1
# A removable drive of our own for the tests that work on drive paths ("t:\Talvex"), like the
# USB drives the program prepares. Without a window manager every hide or destroy of a window
# waits for one: tell Wine there is none.
ln -s "$build_windows/drive-t" "$WINEPREFIX/dosdevices/t:"
"$wine" reg add 'HKLM\Software\Wine\Drives' /v t: /t REG_SZ /d floppy /f </dev/null >>"$wine_log" 2>&1
# A second one, x:, where the FAT32 cases mount a fresh FAT32 image for each case.
ln -s "$build_windows/fat32-x" "$WINEPREFIX/dosdevices/x:"
"$wine" reg add 'HKLM\Software\Wine\Drives' /v x: /t REG_SZ /d floppy /f </dev/null >>"$wine_log" 2>&1
# A fixed one, k:, a data disk that is no flash drive: the windows ask before building there.
ln -s "$build_windows/drive-k" "$WINEPREFIX/dosdevices/k:"
"$wine" reg add 'HKLM\Software\Wine\Drives' /v k: /t REG_SZ /d hd /f </dev/null >>"$wine_log" 2>&1
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
  </dev/null >>"$wine_log" 2>&1
# The fonts a Windows system has. Debian's Wine looks for its own fonts under a path it cannot
# open, so the dialog font would fall back to a wide face and the caption buttons to letters:
# the fonts go into the prefix instead. "MS Shell Dlg" maps to "Microsoft Sans Serif" as on
# Windows (Liberation Sans stands in for its metrics, and for Arial on the "GO" button); CTest
# maps it again before the window tests (tests/ui/map_dialog_font.sh says why).
cp /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/*.fon "$WINEPREFIX/drive_c/windows/Fonts/"
bash tests/ui/map_dialog_font.sh "$wine" >>"$wine_log" 2>&1
# Drives and their types are read when the server and its services start: start them again.
stop_server
start_server
"$wine" wineboot </dev/null >>"$wine_log" 2>&1

"$wine" "$build_windows/tools/wine_desktop_keeper.exe" </dev/null >/dev/null 2>&1 &
keeper_pid=$!

run_ctest "$build_windows" --preset windows || failed=1
exit "$failed"
