#!/usr/bin/env bash
# Makes the packages users install:
#   tools/package.sh deb   talvex-build_*.deb and talvex-auto_*.deb from the linux preset
#                          (build/linux)
#   tools/package.sh zip   the Windows .zip from the windows preset (build/windows)
#   tools/package.sh       both
# Each builds only what its packages hold (the target package_contents), not the test suites.
#
# It fails when
#   - lintian (--pedantic) reports any tag not listed below as justified;
#   - hardening-check finds a protection missing from an ELF program, or a PE program lacks
#     ASLR (above 4 GiB too) or DEP, its manifest or its version information;
#   - a second build of the same commit in another folder gives .deb files that differ in a byte
#     (SOURCE_DATE_EPOCH is the commit's time, so no time of the build gets in);
#   - talvex-build depends on a Qt package, or installing it into a fresh minimal Debian 12 chroot
#     installs any package besides itself (checked where the machine allows a chroot: as root
#     with debootstrap and the Debian archive at hand; skipped with the reason elsewhere);
#   - the desktop entry, the AppStream metadata or an icon is malformed, or a program of the
#     unpacked packages does not start.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD

case "${1:-all}" in
  deb) make_deb=1 make_zip=0 ;;
  zip) make_deb=0 make_zip=1 ;;
  all) make_deb=1 make_zip=1 ;;
  *)
    echo "usage: $0 [deb|zip]   (without an argument: both)" >&2
    exit 2
    ;;
esac

bash tools/install-deps.sh test

# The packages carry this time instead of the build's, so one commit always gives the same bytes.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 1796644800)}
export SOURCE_DATE_EPOCH

# lintian's tags that these packages carry on purpose, each with the reason. None so far: lintian
# 2.116 (Debian 12) reports no tag at all on them, --pedantic and --info included.
justified_tags=()

# hardening-check's checks that no program built on Debian 12 can pass, each with the reason.
#   --nocfprotection: control-flow protection (IBT, SHSTK). The programs are compiled with
#     -fcf-protection, and their objects carry the marks (checked below), but Debian 12's C library
#     start files (Scrt1.o, crti.o) carry none, so the linker leaves the program unmarked;
#     Debian's own /usr/bin/ls, apt and dpkg report the same.
hardening_skips=(--nocfprotection)

# Configures the linux preset's sources in the folder $1 (the rest are more cache entries), builds
# what the packages hold and makes them there.
make_debs() {
  local build=$1
  shift
  cmake --preset linux -B "$build" "$@" >/dev/null
  cmake --build "$build" -j2 --target package_contents
  (cd "$build" && rm -f ./*.deb && cpack -G DEB >/dev/null)
}

fail() {
  echo "$*" >&2
  exit 1
}

# Installs the talvex-build package $1 into a fresh minimal Debian 12 (debootstrap's minbase) and
# fails when anything besides it is installed with it, or it does not start there.
check_alone_in_chroot() {
  local deb=$1 why='' base=build/chroot/bookworm-minbase work=build/chroot/work
  if [[ $(id -u) -ne 0 ]]; then
    why="not root, so no chroot"
  elif ! command -v debootstrap >/dev/null; then
    why="debootstrap is not installed"
  elif [[ ! -x $base/usr/bin/apt-get ]]; then
    rm -rf "$base"
    mkdir -p build/chroot
    echo "== Making a minimal Debian 12 in $base (debootstrap --variant=minbase)"
    debootstrap --variant=minbase bookworm "$base" http://deb.debian.org/debian \
      >build/chroot/debootstrap.log 2>&1 || why="debootstrap failed (see build/chroot/debootstrap.log)"
  fi
  if [[ -n $why ]]; then
    echo "SKIPPED: installing talvex-build alone in a chroot: $why"
    return
  fi
  rm -rf "$work"
  cp -a "$base" "$work"
  cp "$deb" "$work/tmp/"
  local before after
  before=$(chroot "$work" dpkg-query -W -f '${Package}\n' | sort)
  chroot "$work" apt-get update -qq >/dev/null 2>&1 || true
  chroot "$work" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    "/tmp/$(basename "$deb")" >build/chroot/install.log 2>&1 ||
    fail "installing $deb in the chroot failed (see build/chroot/install.log)"
  after=$(chroot "$work" dpkg-query -W -f '${Package}\n' | sort)
  local added
  added=$(comm -13 <(echo "$before") <(echo "$after") | paste -sd' ')
  echo "installed into a minimal Debian 12 chroot: $added"
  [[ $added == talvex-build ]] || fail "talvex-build pulled more than itself into the chroot: $added"
  chroot "$work" talvex-build --version
  rm -rf "$work"
}

if ((make_deb)); then
  echo "== Linux packages"
  make_debs build/linux
  debs=(build/linux/talvex-build_*.deb build/linux/talvex-auto_*.deb)
  for deb in "${debs[@]}"; do
    echo "$deb ($(stat -c %s "$deb") bytes, $(dpkg-deb --field "$deb" Installed-Size) KiB installed)"
    for field in Depends Recommends; do
      value=$(dpkg-deb --field "$deb" "$field")
      [[ -z $value ]] || echo "  $field: $value"
    done
    dpkg-deb --contents "$deb" | awk '{print "    " $1 " " $6}' | grep -v '/$'
  done

  echo "== lintian --pedantic --info (justified tags: ${justified_tags[*]:-none})"
  suppress=()
  ((${#justified_tags[@]} == 0)) || suppress=(--suppress-tags "$(IFS=,; echo "${justified_tags[*]}")")
  lintian --pedantic --info --fail-on error,warning,info,pedantic "${suppress[@]}" "${debs[@]}"
  echo "lintian: no tag besides the justified ones"

  scratch=build/linux/package-root
  rm -rf "$scratch"
  for deb in "${debs[@]}"; do dpkg-deb --extract "$deb" "$scratch"; done
  echo "== hardening-check ${hardening_skips[*]}"
  hardening-check "${hardening_skips[@]}" "$scratch/usr/bin/talvex-build" \
    "$scratch/usr/bin/talvex-auto"
  if [[ $(uname -m) == x86_64 ]]; then
    readelf -n build/linux/src/cli/CMakeFiles/talvex-build.dir/main.cpp.o |
      grep -q "x86 feature: IBT, SHSTK" || fail "the objects are built without -fcf-protection"
  fi

  "$scratch/usr/bin/talvex-build" --version
  QT_QPA_PLATFORM=offscreen "$scratch/usr/bin/talvex-auto" --version
  desktop-file-validate "$scratch"/usr/share/applications/*.desktop
  appstreamcli validate --no-net "$scratch"/usr/share/metainfo/*.metainfo.xml
  for size in 16 24 32 48 64 128 256; do
    icon="$scratch/usr/share/icons/hicolor/${size}x${size}/apps/talvex-auto.png"
    file "$icon" | grep -q "PNG image data, $size x $size," || fail "not a $size x $size PNG: $icon"
  done

  echo "== talvex-build without Qt"
  build_depends=$(dpkg-deb --field build/linux/talvex-build_*.deb Depends)
  if grep -qi qt <<<"$build_depends"; then fail "talvex-build depends on Qt: $build_depends"; fi
  echo "Depends: $build_depends"
  check_alone_in_chroot build/linux/talvex-build_*.deb

  # What `apt install ./talvex-auto_*.deb` would have to fetch: nothing may be missing that a
  # Debian 12 archive does not have, and here everything it names is already installed.
  missing=()
  IFS=',' read -ra entries <<<"$(dpkg-deb --field build/linux/talvex-auto_*.deb Depends)"
  for entry in "${entries[@]}"; do
    name=$(sed -E 's/^ *([^ (|]+).*/\1/' <<<"$entry")
    dpkg -s "$name" >/dev/null 2>&1 || missing+=("$name")
  done
  ((${#missing[@]} == 0)) || fail "not installed here: ${missing[*]}"

  echo "== The same packages once more, from scratch in build/linux-again"
  rm -rf build/linux-again
  make_debs build/linux-again -DTALVEX_BUILD_TESTS=OFF >/dev/null
  for deb in "${debs[@]}"; do
    again=build/linux-again/$(basename "$deb")
    cmp "$deb" "$again" || fail "two builds of one commit differ: $deb and $again"
    echo "identical: $(basename "$deb") $(sha256sum <"$deb" | cut -c1-16)"
  done
  rm -rf build/linux-again
fi

if ((make_zip)); then
  echo "== Windows package"
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j2 --target package_contents
  (cd build/windows && rm -f talvex-auto-*.zip && cpack -G ZIP >/dev/null)
  zip=$(ls build/windows/talvex-auto-*.zip)
  echo "$zip ($(stat -c %s "$zip") bytes)"
  cmake -E tar tf "$zip" | sed 's/^/  /'
  for program in build/windows/src/ui/win32/talvex-auto.exe build/windows/src/cli/talvex-build.exe; do
    headers=$(x86_64-w64-mingw32-objdump -p "$program")
    for flag in HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT; do
      grep -qw "$flag" <<<"$headers" || fail "$program: $flag is not set"
    done
    # Version information is kept in UTF-16.
    grep -qaP "$(sed 's/./&\\x00/g' <<<LegalCopyright)" "$program" ||
      fail "$program: no version information with a copyright line"
    grep -qa "longPathAware" "$program" || fail "$program: no manifest"
    echo "$(basename "$program"): ASLR (high entropy), DEP, manifest, version information"
  done
  grep -qa "activeCodePage" build/windows/src/cli/talvex-build.exe ||
    fail "talvex-build.exe: its manifest does not make UTF-8 the code page"
  cmake -E tar tf "$zip" | grep -q "/LICENSES/CLI11.txt$" || fail "$zip: no LICENSES folder"
fi
