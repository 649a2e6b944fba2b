#!/usr/bin/env bash
# Refreshes the README's pictures of the windows: copies the screenshots that the last run of the
# test command took (under Wine, with Wine's own fonts) into docs/, recompressed. The progress
# window's picture is named for its platform, beside the Qt one.
#   bash tools/test.sh && bash tools/update-screenshots.sh
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
shots=build/windows/tests/ui/screenshots
declare -A copies=([main_window]=main_window [about_window]=about_window
                   [progress_window]=progress_window_windows)
for name in "${!copies[@]}"; do
  if [[ ! -s $shots/$name.png ]]; then
    echo "no $shots/$name.png: run bash tools/test.sh first" >&2
    exit 1
  fi
done
mkdir -p docs
for name in "${!copies[@]}"; do
  # The test writes uncompressed PNG; ImageMagick stores the same pixels in a fraction of it.
  convert "$shots/$name.png" -strip -define png:compression-level=9 "docs/${copies[$name]}.png"
done
echo "docs/main_window.png, docs/about_window.png, docs/progress_window_windows.png updated"
