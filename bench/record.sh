#!/bin/sh
# Runs one benchmark command and keeps its full result as bench/results/NAME.txt: a header with
# the machine, the date, the commit and the command, then everything the command printed. The
# README quotes these files; rerun a benchmark to replace its file.
#
#   bench/record.sh NAME COMMAND [ARGUMENTS...]
set -eu

src=$(cd "$(dirname "$0")/.." && pwd)
name=$1
shift
mkdir -p "$src/bench/results"
out=$src/bench/results/$name.txt
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT INT TERM

commit=$(git -C "$src" rev-parse --short HEAD 2>/dev/null || echo unknown)
[ -z "$(git -C "$src" status --porcelain -- src 2>/dev/null)" ] || commit="$commit (with changes)"
{
  echo "# benchmark: $name"
  echo "# command: $*"
  echo "# date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "# commit: $commit"
  echo "# machine: $(nproc) cores, $(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)," \
    "$(awk '/^MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)"
  echo "# load before: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo
} >"$tmp"
start=$(date +%s)
"$@" >>"$tmp" 2>&1
echo "# took $(($(date +%s) - start)) s" >>"$tmp"
chmod 644 "$tmp"
mv "$tmp" "$out"
trap - EXIT
echo "$out"
