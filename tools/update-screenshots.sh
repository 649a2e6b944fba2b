#!/usr/bin/env bash
# Refreshes the README's pictures of the windows: copies the screenshots that the last run of the
# test command took into docs/, recompressed. The Windows windows are drawn under Wine with
# Wine's own fonts (docs/NAME.png), the Linux ones by Qt's offscreen platform
# (docs/NAME_linux.png).
#   bash tools/test.sh && bash tools/update-screenshots.sh
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
names=(main_window about_window progress_window)
declare -A suffix_of=([build/windows/tests/ui/screenshots]="" [build/linux/tests/ui_qt/screenshots]="_linux")
for shots in "${!suffix_of[@]}"; do
  for name in "${names[@]}"; do
    if [[ ! -s $shots/$name.png ]]; then
      echo "no $shots/$name.png: run bash tools/test.sh first" >&2
      exit 1
    fi
  done
done
mkdir -p docs
for shots in "${!suffix_of[@]}"; do
  for name in "${names[@]}"; do
    # The tests write uncompressed PNG; ImageMagick stores the same pixels in a fraction of it.
    convert "$shots/$name.png" -strip -define png:compression-level=9 \
      "docs/$name${suffix_of[$shots]}.png"
  done
done
echo "docs/ updated: ${names[*]}, each for Windows and (_linux) for Linux"
