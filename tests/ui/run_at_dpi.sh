#!/usr/bin/env bash
# Runs a Windows test program under Wine with the screen at DPI dots per inch: the DPI of the
# prefix is set for the run (Wine reads it when a program starts) and given back afterwards.
#   run_at_dpi.sh DPI WINE PROGRAM [ARGUMENTS...]
set -uo pipefail

dpi=$1 wine=$2
shift 2
key='HKCU\Control Panel\Desktop'
previous=$("$wine" reg query "$key" /v LogPixels </dev/null 2>/dev/null |
  sed -n 's/.*LogPixels[[:space:]]*REG_DWORD[[:space:]]*0x\([0-9a-fA-F]*\).*/\1/p')

restore() {
  if [[ -n $previous ]]; then
    "$wine" reg add "$key" /v LogPixels /t REG_DWORD /d $((16#$previous)) /f </dev/null >/dev/null 2>&1
  else
    "$wine" reg delete "$key" /v LogPixels /f </dev/null >/dev/null 2>&1
  fi
}
trap restore EXIT

"$wine" reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f </dev/null >/dev/null 2>&1 || exit 1
"$wine" "$@"
