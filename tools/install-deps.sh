#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, if any is missing.
# Uses sudo when not run as root. Does nothing (and needs no network) when all are there.
set -euo pipefail

# qt6-base-dev brings Qt Widgets and QTest for the Linux window; fonts-liberation2 gives its GO
# button Arial's metrics; dpkg-dev and file let CPack work out the .deb's dependencies, and
# lintian, desktop-file-utils and appstream check the .deb, its desktop entry and its AppStream
# metadata. dosfstools, fusefat and mtools make, mount and read the FAT32 images the drive tests
# build onto; libfuse3-dev and pkg-config build the slow stick (tools/slow_stick), and fuse3
# mounts and unmounts it.
packages=(g++ cmake make googletest libgtest-dev mingw-w64 wine64 xvfb fonts-wine imagemagick
          libcli11-dev clang-format qt6-base-dev fonts-liberation2 dpkg-dev file
          lintian desktop-file-utils appstream fuse3 libfuse3-dev pkg-config dosfstools fusefat
          mtools)
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
