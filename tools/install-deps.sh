#!/usr/bin/env bash
# Installs the Debian packages a job needs, if any is missing:
#   tools/install-deps.sh demo   what tools/demo.sh builds: talvex-build and the demo kit maker
#   tools/install-deps.sh test   (or no argument) everything: the tests, both presets, the packages
# Uses sudo when not run as root. Does nothing (and needs no network) when all are there.
set -euo pipefail

# A C++ compiler, CMake and CLI11 build the command line and the demo kit maker.
demo=(g++ cmake make libcli11-dev)

# googletest runs the suites, natively and cross-built; mingw-w64 cross-builds the Windows programs
# and wine64, xvfb and fonts-wine run them; imagemagick compares screenshots; clang-format keeps
# the layout. qt6-base-dev brings Qt Widgets and QTest for the Linux window; fonts-liberation2
# gives its GO button Arial's metrics. dpkg-dev and file let CPack work out the packages'
# dependencies; lintian, desktop-file-utils, appstream and devscripts (hardening-check) check them,
# debootstrap makes the chroot talvex-build is installed into alone. dosfstools, fusefat and mtools
# make, mount and read the FAT32 images the drive tests build onto; libfuse3-dev and pkg-config
# build the slow stick (tools/slow_stick), and fuse3 mounts and unmounts it.
test=("${demo[@]}" googletest libgtest-dev mingw-w64 wine64 xvfb fonts-wine imagemagick
      clang-format qt6-base-dev fonts-liberation2 dpkg-dev file lintian desktop-file-utils
      appstream devscripts debootstrap fuse3 libfuse3-dev pkg-config dosfstools fusefat mtools)

case "${1:-test}" in
  demo) packages=("${demo[@]}") ;;
  test) packages=("${test[@]}") ;;
  *)
    echo "usage: $0 [demo|test]   (without an argument: test)" >&2
    exit 2
    ;;
esac

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
