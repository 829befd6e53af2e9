#!/usr/bin/env bash
# Whole-process benchmark: `Lomvik -v FILE` against `cat FILE > /dev/null` and `cksum FILE` on the
# same file, already in the page cache. Runs are interleaved (cat, Lomvik, cksum, cat, ...) and
# the script prints the median of the pairwise ratios, so that a noisy machine hurts less.
#
#   bench/whole_process.sh [PATH_TO_LOMVIK] [SIZE_MIB] [RUNS]
#
# Needs bash, coreutils and GNU time (/usr/bin/time) for the peak memory.
set -euo pipefail

tool=${1:-build/default/Lomvik}
size_mib=${2:-1024}
runs=${3:-21}

[ -x "$tool" ] || { echo "no executable at $tool; build first (cmake --workflow --preset default)" >&2; exit 2; }

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
file=$dir/data.bin
head -c "$((size_mib << 20))" /dev/urandom >"$file"
cat "$file" >/dev/null  # into the page cache

# Wall time of one run in nanoseconds.
time_ns() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  echo $((end - start))
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

ratios_cat=()
ratios_cksum=()
times_cat=()
times_tool=()
for ((i = 0; i < runs; i++)); do
  t_cat=$(time_ns cat "$file")
  t_tool=$(time_ns "$tool" -v "$file")
  t_cksum=$(time_ns cksum "$file")
  times_cat+=("$t_cat")
  times_tool+=("$t_tool")
  ratios_cat+=("$(awk -v a="$t_tool" -v b="$t_cat" 'BEGIN { print a / b }')")
  ratios_cksum+=("$(awk -v a="$t_tool" -v b="$t_cksum" 'BEGIN { print a / b }')")
done

echo "file: ${size_mib} MiB, ${runs} interleaved runs, CPU: $(grep -m1 'model name' /proc/cpuinfo 2>/dev/null | cut -d: -f2- | sed 's/^ //')"
echo "crc kernel: ${LOMVIK_CRC_KERNEL:-best usable}"
printf 'median wall time: cat %.3f s, Lomvik -v %.3f s\n' \
  "$(printf '%s\n' "${times_cat[@]}" | median | awk '{ print $1 / 1e9 }')" \
  "$(printf '%s\n' "${times_tool[@]}" | median | awk '{ print $1 / 1e9 }')"
echo "median ratio Lomvik -v / cat:   $(printf '%s\n' "${ratios_cat[@]}" | median)"
echo "median ratio Lomvik -v / cksum: $(printf '%s\n' "${ratios_cksum[@]}" | median)"
if [ -x /usr/bin/time ]; then
  peak=$(/usr/bin/time -f %M "$tool" -v "$file" 2>&1 >/dev/null | tail -n 1)
  echo "peak resident memory of Lomvik -v: ${peak} KiB"
fi
