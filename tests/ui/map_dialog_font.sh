#!/usr/bin/env bash
# Maps "MS Shell Dlg" to "Microsoft Sans Serif" in the Wine prefix, as Windows maps it (Liberation
# Sans stands in for its metrics, and Wine's Tahoma draws bold as regular). Wine writes its own
# substitutes ("MS Shell Dlg" as Tahoma) again whenever a program starts whose ANSI code page is
# not the one the last program had: talvex-build.exe's manifest makes its code page UTF-8, so
# after the tests that start it this runs again, before the window tests.
#   map_dialog_font.sh WINE
set -euo pipefail

"$1" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
  /v 'MS Shell Dlg' /t REG_SZ /d 'Microsoft Sans Serif' /f </dev/null >/dev/null
