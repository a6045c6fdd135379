#!/bin/sh
# Runs one benchmark command and keeps its full result as bench/results/NAME.txt: a header with
# the machine, the date, the commit, the command, the settings it ran with (every environment
# variable the command's script reads, as given or its default) and the machine's load, then
# everything the command printed, then the load at the end. The README quotes these files; the
# header's "to repeat" line reruns one and replaces its file.
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

# The variables a script reads as ${NAME:-default}, one "NAME=default" a line.
variables() {
  [ -f "$1" ] || return 0
  grep -o '${[A-Z_][A-Z_0-9]*:-[^}]*}' "$1" | sed 's/^${\([A-Z_0-9]*\):-\(.*\)}$/\1=\2/' | sort -u
}
# Each variable as the run saw it: given in the environment, or its default.
settings() {
  out=""
  for pair in $(variables "$1" | tr ' ' '\001'); do
    pair=$(printf '%s' "$pair" | tr '\001' ' ')
    var=${pair%%=*}
    if eval "[ -n \"\${$var+set}\" ]"; then
      out="$out $var=\"$(eval "printf '%s' \"\$$var\"")\""
    else
      out="$out $var=${pair#*=} (default)"
    fi
  done
  echo "${out# }" | sed 's/^$/none/'
}
# The variables given in the environment, as a prefix of the command that repeats the run.
given() {
  for pair in $(variables "$1" | tr ' ' '\001'); do
    var=${pair%%=*}
    if eval "[ -n \"\${$var+set}\" ]"; then
      printf '%s="%s" ' "$var" "$(eval "printf '%s' \"\$$var\"")"
    fi
  done
}

commit=$(git -C "$src" rev-parse --short HEAD 2>/dev/null || echo unknown)
[ -z "$(git -C "$src" status --porcelain -- src 2>/dev/null)" ] || commit="$commit (with changes)"
{
  echo "# benchmark: $name"
  echo "# command: $*"
  echo "# date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "# commit: $commit"
  echo "# machine: $(nproc) cores, $(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)," \
    "$(awk '/^MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)"
  echo "# settings: $(settings "$1")"
  echo "# to repeat: $(given "$1")bench/record.sh $name $*"
  echo "# load before: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo
} >"$tmp"
start=$(date +%s)
"$@" >>"$tmp" 2>&1
echo "# took $(($(date +%s) - start)) s" >>"$tmp"
echo "# load after: $(cut -d' ' -f1-3 /proc/loadavg)" >>"$tmp"
chmod 644 "$tmp"
mv "$tmp" "$out"
trap - EXIT
echo "$out"
