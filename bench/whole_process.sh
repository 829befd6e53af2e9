#!/usr/bin/env bash
# Whole-process benchmarks of Lomvik and Lomvik-check against everyday tools, on files in the page
# cache. Runs are interleaved (the tools take turns) and the script prints the median time of each
# and the median of the pairwise ratios, so that a noisy machine hurts less.
#
#   bench/whole_process.sh [WHAT] [RUNS]
#
# WHAT is one of
#   large  `Lomvik -v FILE` on a 1 GiB file (LOMVIK_BENCH_MIB sets the size) against
#          `cat FILE > /dev/null`, `cksum FILE` and whichever of xxhsum, b3sum, rhash and crc32 are
#          installed; also the peak memory of Lomvik
#   small  a loop of `Lomvik -v FILE`, and one of `Lomvik -n FILE`, over 300 files of 1 B to 64 KiB
#          against the same loop of `cksum FILE`: the cost of starting a process per file
#   check  `Lomvik-check -s TREE` on 10,000 stamped files of 1 B to 64 KiB in 100 folders against
#          `find TREE -type f ! -name '*.inf' -exec cksum {} + > /dev/null`
#   all    the three (the default)
# RUNS is the number of interleaved runs (default 11).
#
# LOMVIK and LOMVIK_CHECK name the programs (default build/default/Lomvik and ...-check). With
# LOMVIK_BENCH_CSV=FILE each comparison also appends "what,tool,median seconds,ratio" lines to FILE;
# with LOMVIK_BENCH_SVG=FILE the large-file comparison is drawn as a bar chart (SVG) in FILE.
# Needs bash, coreutils, findutils and awk; GNU time (/usr/bin/time) for the peak memory.
set -euo pipefail

what=${1:-all}
runs=${2:-11}
lomvik=${LOMVIK:-build/default/Lomvik}
lomvik_check=${LOMVIK_CHECK:-build/default/Lomvik-check}
csv=${LOMVIK_BENCH_CSV:-}
svg=${LOMVIK_BENCH_SVG:-}

for program in "$lomvik" "$lomvik_check"; do
  [ -x "$program" ] || {
    echo "no executable at $program; build first (cmake --workflow --preset default)" >&2
    exit 2
  }
done
lomvik=$(realpath "$lomvik")
lomvik_check=$(realpath "$lomvik_check")

chart_rows=()
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

cpu=$(grep -m1 'model name' /proc/cpuinfo 2>/dev/null | cut -d: -f2- | sed 's/^ //')
echo "CPU: ${cpu:-unknown}, $(nproc) processors; crc kernel: ${LOMVIK_CRC_KERNEL:-best usable}"

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Wall time of one run of a shell command line, in nanoseconds.
time_ns() {
  local start end
  start=$(date +%s%N)
  eval "$1" >/dev/null 2>&1
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
    chart_rows+=("${names[i]}"$'\t'"$m"$'\t'"$r")
  done
  return 0
}

# draw_chart FILE TITLE: the rows of the last comparison as horizontal bars, one per tool, each as
# long as its ratio to the first; Lomvik's bars stand out.
draw_chart() {
  printf '%s\n' "${chart_rows[@]}" | awk -F '\t' -v title="$2" '
    function esc(s) { gsub(/&/, "\\&amp;", s); gsub(/</, "\\&lt;", s); gsub(/>/, "\\&gt;", s); return s }
    { name[NR] = $1; seconds[NR] = $2; ratio[NR] = $3; if ($3 > top) top = $3 }
    END {
      left = 230; room = 420; bar = 26; gap = 12; head = 64
      height = head + NR * (bar + gap) + 40
      scale = room / (top > 1 ? top : 1)
      printf "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"760\" height=\"%d\" viewBox=\"0 0 760 %d\" font-family=\"sans-serif\" font-size=\"13\">\n", height, height
      printf "<rect width=\"760\" height=\"%d\" fill=\"white\"/>\n", height
      printf "<text x=\"20\" y=\"28\" font-size=\"15\" font-weight=\"bold\">%s</text>\n", esc(title)
      printf "<text x=\"20\" y=\"48\" fill=\"#555\">time as a ratio to %s (shorter is faster; median of interleaved runs)</text>\n", esc(name[1])
      x = left + scale
      printf "<line x1=\"%.1f\" y1=\"%d\" x2=\"%.1f\" y2=\"%d\" stroke=\"#333\" stroke-dasharray=\"4 3\"/>\n", x, head - 6, x, height - 28
      printf "<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\" fill=\"#333\">1.0</text>\n", x, height - 12
      for (i = 1; i <= NR; i++) {
        y = head + (i - 1) * (bar + gap)
        colour = (name[i] ~ /^Lomvik/) ? "#d9534f" : "#7a8ca3"
        printf "<text x=\"%d\" y=\"%d\" text-anchor=\"end\">%s</text>\n", left - 10, y + 18, esc(name[i])
        printf "<rect x=\"%d\" y=\"%d\" width=\"%.1f\" height=\"%d\" fill=\"%s\"/>\n", left, y, ratio[i] * scale, bar, colour
        printf "<text x=\"%.1f\" y=\"%d\" stroke=\"white\" stroke-width=\"4\" paint-order=\"stroke\">%.2fx (%.3f s)</text>\n", left + ratio[i] * scale + 8, y + 18, ratio[i], seconds[i]
      }
      print "</svg>"
    }' >"$1"
  echo "  chart: $1"
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
  command -v rhash >/dev/null && peers+=("rhash --crc32 FILE" "rhash --crc32 '$file'")
  command -v crc32 >/dev/null && peers+=("crc32 FILE" "crc32 '$file'")
  chart_rows=()
  compare "large: a ${size_mib} MiB file in the page cache" \
    "cat FILE > /dev/null" "cat '$file'" \
    "Lomvik -v FILE" "'$lomvik' -v '$file'" \
    "cksum FILE" "cksum '$file'" \
    "${peers[@]}"
  [ -n "$svg" ] && draw_chart "$svg" "A ${size_mib} MiB file in the page cache, on ${cpu:-an unknown CPU} ($(nproc) processors)"
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
