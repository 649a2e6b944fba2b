#!/usr/bin/env bash
# Runs one test case on a fresh FAT32 volume: makes a small image with mkfs.vfat, mounts it through
# FUSE with fusefat, runs the case's command with the volume's path in TALVEX_FAT32_TARGET,
# unmounts, and with --fsck requires fsck.fat to find the volume clean.
#
#   fat32_case.sh --work DIR [--fsck] [--leave-free KIB] [--wine-drive X:] -- COMMAND [ARGS...]
#
# --work DIR        a folder of the case's own (emptied first): the image and the mount point
# --leave-free KIB  fills the fresh volume (before mounting, with mtools) so that about KIB KiB
#                   stay free
# --wine-drive X:   mounts at the folder the Wine prefix maps as drive X: (which Wine must have
#                   known since its server started, so that its drive list shows it); the case
#                   then finds "X:" in TALVEX_FAT32_TARGET
#
# Exits 77 with the reason when FUSE or a tool is missing, which CTest reports as a skip. The
# driver hangs easily (two writers, a killed writer): one image per case, every step bounded by
# a timeout, and the volume always unmounted on the way out.
set -uo pipefail

readonly kSkip=77
work='' fsck=0 leave_free='' wine_drive=''
while (($# > 0)); do
  case $1 in
    --work) work=$2; shift 2 ;;
    --fsck) fsck=1; shift ;;
    --leave-free) leave_free=$2; shift 2 ;;
    --wine-drive) wine_drive=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "fat32_case.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [[ -z $work || $# -eq 0 ]]; then
  echo "usage: fat32_case.sh --work DIR [--fsck] [--leave-free KIB] [--wine-drive X:] -- COMMAND" >&2
  exit 2
fi

skip() {
  echo "SKIPPED: $*"
  exit "$kSkip"
}

[[ -c /dev/fuse ]] || skip "no /dev/fuse: FUSE is not available on this machine"
for tool in mkfs.vfat fsck.fat fusefat fusermount mcopy timeout; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is missing (tools/install-deps.sh installs it)"
done

if [[ -n $wine_drive ]]; then
  [[ -n ${WINEPREFIX:-} ]] || skip "no Wine prefix (tools/test.sh makes one and maps drive $wine_drive)"
  link=$WINEPREFIX/dosdevices/${wine_drive,,}
  [[ -L $link ]] || skip "the Wine prefix maps no drive $wine_drive (tools/test.sh maps it)"
  mount_point=$(readlink -f "$link")
  target=$wine_drive
else
  mount_point=$work/volume
  target=$mount_point
fi

image=$work/fat32.img
fusefat_pid=

unmount() {
  [[ -n $fusefat_pid ]] || return 0
  if ! timeout 10 fusermount -u "$mount_point" 2>/dev/null; then
    timeout 10 fusermount -uz "$mount_point" 2>/dev/null
  fi
  # The driver writes its last sectors after the unmount returns: the image is whole only once
  # the driver has ended.
  for _ in $(seq 100); do
    kill -0 "$fusefat_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$fusefat_pid" 2>/dev/null; then
    echo "fusefat did not end after the unmount; stopped" >&2
    kill "$fusefat_pid" 2>/dev/null
  fi
  wait "$fusefat_pid" 2>/dev/null
  fusefat_pid=
}
trap unmount EXIT

if grep -qs " $mount_point " /proc/mounts; then
  timeout 10 fusermount -uz "$mount_point" 2>/dev/null
fi
rm -rf "$work" || exit 1
mkdir -p "$work" "$mount_point" || exit 1

# 64 MiB: FAT32 needs about 33 MiB at least.
timeout 30 mkfs.vfat -F 32 -C "$image" 65536 >/dev/null || exit 1

if [[ -n $leave_free ]]; then
  sector_bytes=$(LC_ALL=C minfo -i "$image" :: | sed -n 's/^sector size: \([0-9]*\) bytes$/\1/p')
  cluster_sectors=$(LC_ALL=C minfo -i "$image" :: | sed -n 's/^cluster size: \([0-9]*\) sectors*$/\1/p')
  cluster_bytes=$((${sector_bytes:-0} * ${cluster_sectors:-0}))
  free_clusters=$(LC_ALL=C fsck.fat -n "$image" |
    sed -n 's|.* \([0-9]*\)/\([0-9]*\) clusters$|\2 - \1|p')
  free_clusters=$((${free_clusters:-0}))
  if ((cluster_bytes <= 0 || free_clusters <= 0)); then
    echo "could not read the free space of the fresh image" >&2
    exit 1
  fi
  filler_bytes=$((free_clusters * cluster_bytes - leave_free * 1024))
  truncate -s "$filler_bytes" "$work/filler" || exit 1
  timeout 60 mcopy -i "$image" "$work/filler" ::/FILLER.BIN || exit 1
  rm -f "$work/filler"
fi

# In the foreground of a background job, so that this script knows the driver's process; its
# chatter about every sector goes nowhere.
fusefat -f -o rw+ "$image" "$mount_point" >/dev/null 2>&1 &
fusefat_pid=$!
for _ in $(seq 100); do
  grep -qs " $mount_point fuse" /proc/mounts && break
  if ! kill -0 "$fusefat_pid" 2>/dev/null; then
    fusefat_pid=
    skip "fusefat could not mount an image here: FUSE is not usable on this machine"
  fi
  sleep 0.05
done
grep -qs " $mount_point fuse" /proc/mounts || { echo "fusefat did not mount in 5 s" >&2; exit 1; }

export TALVEX_FAT32_TARGET=$target
timeout 120 "$@"
status=$?
unmount
if ((status == 124)); then echo "the case did not end within 120 s" >&2; fi
((status == 0)) || exit "$status"

if ((fsck)); then
  if ! report=$(timeout 60 fsck.fat -n "$image" 2>&1); then
    echo "fsck.fat -n found the volume damaged:" >&2
    echo "$report" >&2
    exit 1
  fi
  echo "fsck.fat -n: clean (${report##*$'\n'})"
fi
exit 0
