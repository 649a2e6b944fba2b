#!/usr/bin/env bash
# Starts and stops talvex-slow-stick: a folder mounted again through FUSE at a USB 2 stick's pace
# (8 MB/s writing, 25 MB/s reading unless told otherwise), to measure builds on.
#
#   slow-stick.sh start BACKING MOUNTPOINT [--write-rate MB/s] [--read-rate MB/s] [--stats FILE]
#                       [--log FILE]
#   slow-stick.sh stop MOUNTPOINT
#
# start returns once the stick is mounted and prints the process id of the layer: `kill -USR1`
# pulls the stick (every later call fails with EIO), `kill -USR2` has it print its counters of
# bytes moved to its log; --stats FILE keeps them in FILE. stop unmounts it, which ends the layer.
# The program is TALVEX_SLOW_STICK if set, else the one the linux preset builds.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
program=${TALVEX_SLOW_STICK:-$root/build/linux/tools/slow_stick/talvex-slow-stick}

usage() {
  sed -n '5,7s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2
  exit 2
}

is_mounted() {
  awk -v where="$1" '$2 == where {found = 1} END {exit !found}' /proc/self/mounts
}

start() {
  (($# >= 2)) || usage
  local backing=$1 mount_point=$2 log=/dev/null
  shift 2
  local options=()
  while (($# > 0)); do
    case $1 in
      --write-rate | --read-rate) options+=("$1" "$2"); shift 2 ;;
      --stats) options+=(--stats "$(realpath -m "$2")"); shift 2 ;;
      --log) log=$2; shift 2 ;;
      *) usage ;;
    esac
  done
  [[ -c /dev/fuse ]] || { echo "slow-stick.sh: no /dev/fuse here" >&2; exit 1; }
  [[ -x $program ]] || { echo "slow-stick.sh: $program is not built" >&2; exit 1; }
  mkdir -p "$mount_point"
  mount_point=$(realpath "$mount_point")
  if is_mounted "$mount_point"; then
    echo "slow-stick.sh: something is mounted at $mount_point already" >&2
    exit 1
  fi
  # Its own session: a Ctrl+C meant for whoever started it does not pull the stick.
  setsid "$program" "$backing" "$mount_point" -f "${options[@]}" </dev/null >>"$log" 2>&1 &
  local pid=$!
  for _ in $(seq 200); do
    if is_mounted "$mount_point"; then
      echo "$pid"
      return 0
    fi
    if ! kill -0 "$pid" 2>/dev/null; then
      echo "slow-stick.sh: the stick did not mount (--log FILE keeps what it said)" >&2
      exit 1
    fi
    sleep 0.05
  done
  echo "slow-stick.sh: the stick did not mount within 10 s; stopping it" >&2
  kill "$pid" 2>/dev/null || true
  exit 1
}

# A file still open on the stick keeps it busy for a moment; then it goes lazily.
stop() {
  (($# == 1)) || usage
  local mount_point
  mount_point=$(realpath "$1")
  for _ in $(seq 20); do
    fusermount3 -u "$mount_point" 2>/dev/null && return 0
    is_mounted "$mount_point" || return 0
    sleep 0.1
  done
  fusermount3 -u -z "$mount_point"
}

command=${1:-}
(($# > 0)) && shift
case $command in
  start) start "$@" ;;
  stop) stop "$@" ;;
  *) usage ;;
esac
