#!/usr/bin/env bash
# Makes the packages users install:
#   tools/package.sh deb   the .deb from the linux preset (build/linux)
#   tools/package.sh zip   the Windows .zip from the windows preset (build/windows)
#   tools/package.sh       both
# Each builds only what its package holds (the target package_contents), not the test suites.
# The .deb must pass lintian without an error, its AppStream metadata and desktop entry their
# validators; it is unpacked into a scratch root, its programs are started from there, and every
# package it depends on must be installed here.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

case "${1:-all}" in
  deb) make_deb=1 make_zip=0 ;;
  zip) make_deb=0 make_zip=1 ;;
  all) make_deb=1 make_zip=1 ;;
  *)
    echo "usage: $0 [deb|zip]   (without an argument: both)" >&2
    exit 2
    ;;
esac

bash tools/install-deps.sh

if ((make_deb)); then
  echo "== Linux package"
  cmake --preset linux >/dev/null
  cmake --build --preset linux -j2 --target package_contents
  (cd build/linux && rm -f talvex-auto_*.deb && cpack -G DEB >/dev/null)
  deb=$(ls build/linux/talvex-auto_*.deb)
  echo "$deb"
  dpkg-deb --contents "$deb" | awk '{print "  " $1 " " $6}' | grep -v '/$'

  # Every tag is shown; an error fails the package (lintian warns that it runs as root in CI).
  echo "== lintian"
  lintian --fail-on error "$deb"

  scratch=build/linux/package-root
  rm -rf "$scratch"
  dpkg-deb --extract "$deb" "$scratch"
  "$scratch/usr/bin/talvex-build" --version
  QT_QPA_PLATFORM=offscreen "$scratch/usr/bin/talvex-auto" --version
  desktop-file-validate "$scratch"/usr/share/applications/*.desktop
  appstreamcli validate --no-net "$scratch"/usr/share/metainfo/*.metainfo.xml
  for size in 16 24 32 48 64 128 256; do
    icon="$scratch/usr/share/icons/hicolor/${size}x${size}/apps/talvex-auto.png"
    file "$icon" | grep -q "PNG image data, $size x $size," || {
      echo "not a $size x $size PNG: $icon" >&2
      exit 1
    }
  done

  # What `apt install ./talvex-auto_*.deb` would have to fetch: nothing may be missing that a
  # Debian 12 archive does not have, and here everything it names is already installed.
  depends=$(dpkg-deb --field "$deb" Depends)
  echo "Depends: $depends"
  missing=()
  IFS=',' read -ra alternatives <<<"$depends"
  for entry in "${alternatives[@]}"; do
    name=$(sed -E 's/^ *([^ (|]+).*/\1/' <<<"$entry")
    dpkg -s "$name" >/dev/null 2>&1 || missing+=("$name")
  done
  if ((${#missing[@]} > 0)); then
    echo "not installed here: ${missing[*]}" >&2
    exit 1
  fi
fi

if ((make_zip)); then
  echo "== Windows package"
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j2 --target package_contents
  (cd build/windows && rm -f talvex-auto-*.zip && cpack -G ZIP >/dev/null)
  zip=$(ls build/windows/talvex-auto-*.zip)
  echo "$zip"
  cmake -E tar tf "$zip" | sed 's/^/  /'
fi
