#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, if any is missing.
# Uses sudo when not run as root. Does nothing (and needs no network) when all are there.
set -euo pipefail

packages=(g++ cmake make googletest libgtest-dev mingw-w64 wine64 xvfb fonts-wine
          fonts-liberation2 imagemagick libcli11-dev clang-format fuse3 dosfstools fusefat mtools)
missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
((${#missing[@]} > 0)) || exit 0

sudo=
[[ $(id -u) -eq 0 ]] || sudo=sudo
echo "== Installing ${missing[*]}"
$sudo apt-get update
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
