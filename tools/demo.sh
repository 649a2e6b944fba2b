#!/usr/bin/env bash
# The whole job on the demo kit, from a fresh clone: installs what is missing (only what the two
# programs it builds need: a compiler, CMake and CLI11), builds talvex-build and the demo kit
# maker, generates the demo kit, prepares a demo drive folder with a few choices ticked, and shows
# the report and the tree the build made. Everything lands in demo/ (ignored by git).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash tools/install-deps.sh demo
bin=build/demo

echo "== Building"
cmake --preset demo >/dev/null
cmake --build build/demo -j2 --target talvex-build talvex-make-demo-kit

echo "== Generating the demo kit"
rm -rf demo/kit demo/drive
mkdir -p demo/drive
"$bin/tools/talvex-make-demo-kit" demo/kit --realistic

choices=(--pvr --channel-info --ftp --nfs-ip 192.168.1.10 --no-smb)
# demo/drive is a plain folder standing for a flash drive: --any-drive lets it be the target.
echo "== talvex-build --source demo/kit --target demo/drive --any-drive ${choices[*]}"
status=0
"$bin/src/cli/talvex-build" --source demo/kit --target demo/drive --any-drive "${choices[@]}" ||
  status=$?
echo "(exit status $status)"

echo "== The drive"
(cd demo/drive && find . -mindepth 1 | sort | sed 's|^\./||')
exit "$status"
