#!/usr/bin/env bash
# The whole job on the demo kit, from a fresh clone: installs what is missing, builds, generates
# the demo kit, prepares a demo drive folder with a few choices ticked, and shows the report and
# the tree the build made. Everything lands in demo/ (ignored by git).
set -euo pipefail

packages=(g++ cmake make googletest libgtest-dev libcli11-dev)
missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if ((${#missing[@]} > 0)); then
  sudo=
  [[ $(id -u) -eq 0 ]] || sudo=sudo
  echo "== Installing ${missing[*]}"
  $sudo apt-get update
  $sudo env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missing[@]}"
fi

cd "$(dirname "${BASH_SOURCE[0]}")/.."
bin=build/linux

echo "== Building"
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target talvex-build talvex-make-demo-kit

echo "== Generating the demo kit"
rm -rf demo/kit demo/drive
mkdir -p demo/drive
"$bin/tools/talvex-make-demo-kit" demo/kit --realistic

choices=(--pvr --channel-info --ftp --nfs-ip 192.168.1.10 --no-smb)
echo "== talvex-build --source demo/kit --target demo/drive ${choices[*]}"
status=0
"$bin/src/cli/talvex-build" --source demo/kit --target demo/drive "${choices[@]}" || status=$?
echo "(exit status $status)"

echo "== The drive"
(cd demo/drive && find . -mindepth 1 | sort | sed 's|^\./||')
exit "$status"
