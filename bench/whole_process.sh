#!/usr/bin/env bash
# Whole-process benchmarks of Lomvik and Lomvik-check against everyday tools, on files in the page
# cache. Runs are interleaved (the tools take turns) and the script prints the median time of each
# and the median of the pairwise ratios, so that a noisy machine hurts less.
#
#   bench/whole_process.sh [WHAT] [RUNS]
#
# WHAT is one of
#   large  `Lomvik -v FILE` on a 1 GiB file (LOMVIK_BENCH_MIB sets the size) against
#          `cat FILE > /dev/null`, `cksum FILE` and whichever of xxhsum, b3sum and crc32 are
#          installed; also the peak memory of Lomvik
#   small  a loop of `Lomvik -v FILE`, and one of `Lomvik -n FILE`, over 300 files of 1 B to 64 KiB
#          against the same loop of `cksum FILE`: the cost of starting a process per file
#   check  `Lomvik-check -s TREE` on 10,000 stamped files of 1 B to 64 KiB in 100 folders against
#          `find TREE -type f ! -name '*.inf' -exec cksum {} + > /dev/null`
#   all    the three (the default)
# RUNS is the number of interleaved runs (default 11).
#
# LOMVIK and LOMVIK_CHECK name the programs (default build/default/Lomvik and ...-check). With
# LOMVIK_BENCH_CSV=FILE each comparison also appends "what,tool,median seconds,ratio" lines to FILE.
# Needs bash, coreutils, findutils and awk; GNU time (/usr/bin/time) for the peak memory.
set -euo pipefail

what=${1:-all}
runs=${2:-11}
lomvik=${LOMVIK:-build/default/Lomvik}
lomvik_check=${LOMVIK_CHECK:-build/default/Lomvik-check}
csv=${LOMVIK_BENCH_CSV:-}

for program in "$lomvik" "$lomvik_check"; do
  [ -x "$program" ] || {
    echo "no executable at $program; build first (cmake --workflow --preset default)" >&2
    exit 2
  }
done
lomvik=$(realpath "$lomvik")
lomvik_check=$(realpath "$lomvik_check")

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

cpu=$(grep -m1 'model name' /proc/cpuinfo 2>/dev/null | cut -d: -f2- | sed 's/^ //')
echo "CPU: ${cpu:-unknown}, $(nproc) processors; crc kernel: ${LOMVIK_CRC_KERNEL:-best usable}"

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Wall time of one run of a shell command line, in nanoseconds.
time_ns() {
  local start end
  start=$(date +%s%N)
  eval "$1" >/dev/null
  end=$(date +%s%N)
  echo $((end - start))
}

# compare TITLE NAME1 COMMAND1 NAME2 COMMAND2 ...: runs the commands in turns, RUNS times, and
# prints each one's median time and its median ratio to the first.
compare() {
  local title=$1
  shift
  local -a names=() commands=()
  while [ $# -gt 0 ]; do
    names+=("$1")
    commands+=("$2")
    shift 2
  done
  local count=${#names[@]} i run
  local -a times ratios
  for ((i = 0; i < count; i++)); do
    times[i]=""
    ratios[i]=""
  done
  for ((run = 0; run < runs; run++)); do
    local first=""
    for ((i = 0; i < count; i++)); do
      local t
      t=$(time_ns "${commands[i]}")
      times[i]+="$t "
      [ -z "$first" ] && first=$t
      ratios[i]+="$(awk -v a="$t" -v b="$first" 'BEGIN { print a / b }') "
    done
  done
  echo
  echo "$title ($runs interleaved runs; ratio: median of the pairwise ratios to ${names[0]})"
  for ((i = 0; i < count; i++)); do
    local m r
    m=$(printf '%s\n' ${times[i]} | median | awk '{ printf "%.4f", $1 / 1e9 }')
    r=$(printf '%s\n' ${ratios[i]} | median | awk '{ printf "%.3f", $1 }')
    printf '  %-48s %9s s   %6sx\n' "${names[i]}" "$m" "$r"
    [ -n "$csv" ] && echo "$title,${names[i]},$m,$r" >>"$csv"
  done
  return 0
}

# Files of 1 B to 64 KiB, the same sizes on every run of the script.
small_files() {
  local folder=$1 count=$2 prefix=${3:-f} i
  mkdir -p "$folder"
  for ((i = 0; i < count; i++)); do
    head -c $(((i * 7919) % 65536 + 1)) /dev/urandom >"$folder/$prefix$i"
  done
}

bench_large() {
  local size_mib=${LOMVIK_BENCH_MIB:-1024}
  local file=$dir/large.bin
  head -c "$((size_mib << 20))" /dev/urandom >"$file"
  cat "$file" >/dev/null # into the page cache
  local -a peers=()
  command -v xxhsum >/dev/null && peers+=("xxhsum -H3 FILE" "xxhsum -H3 '$file'")
  command -v b3sum >/dev/null && peers+=("b3sum FILE" "b3sum '$file'")
  command -v crc32 >/dev/null && peers+=("crc32 FILE" "crc32 '$file'")
  compare "large: a ${size_mib} MiB file in the page cache" \
    "cat FILE > /dev/null" "cat '$file'" \
    "Lomvik -v FILE" "'$lomvik' -v '$file'" \
    "cksum FILE" "cksum '$file'" \
    "${peers[@]}"
  if [ -x /usr/bin/time ]; then
    local peak
    peak=$(/usr/bin/time -f %M "$lomvik" -v "$file" 2>&1 >/dev/null | tail -n 1)
    echo "  peak resident memory of Lomvik -v: ${peak} KiB"
  fi
  rm -f "$file"
}

bench_small() {
  local folder=$dir/small
  small_files "$folder" 300
  cat "$folder"/* >/dev/null
  local loop="for f in '$folder'/f*; do"
  compare "small: a loop over 300 files of 1 B to 64 KiB, one process per file" \
    "cksum FILE" "$loop cksum \"\$f\"; done" \
    "Lomvik -v FILE" "$loop '$lomvik' -v \"\$f\"; done" \
    "Lomvik -n FILE" "$loop '$lomvik' -n \"\$f\"; done"
  rm -rf "$folder"
}

bench_check() {
  local tree=$dir/tree d
  for ((d = 0; d < 100; d++)); do small_files "$tree/d$d" 100; done
  find "$tree" -type f ! -name '*.inf' -exec "$lomvik" -n {} \;
  "$lomvik_check" -s "$tree" || {
    echo "the tree does not check" >&2
    return 1
  }
  compare "check: 10,000 stamped files of 1 B to 64 KiB in 100 folders" \
    "find TREE -type f ! -name '*.inf' -exec cksum {} +" \
    "find '$tree' -type f ! -name '*.inf' -exec cksum {} +" \
    "Lomvik-check -s TREE" "'$lomvik_check' -s '$tree'"
  rm -rf "$tree"
}

case "$what" in
  large) bench_large ;;
  small) bench_small ;;
  check) bench_check ;;
  all)
    bench_small
    bench_check
    bench_large
    ;;
  *)
    echo "usage: $0 [large|small|check|all] [RUNS]" >&2
    exit 2
    ;;
esac
