#!/usr/bin/env bash
# Picture conversion benchmark: zepcon-cli against ImageMagick's convert on
# the largest pictures of the corpus, for the pairs JPEG -> BMP, BMP -> TGA
# and TGA -> JPEG. Each conversion runs RUNS times per tool; the table shows
# the median wall time of each tool and the ratio ImageMagick / zepcon
# (above 1: zepcon is faster).
#
# Usage: bench/picture_bench.sh [RUNS]
# Environment:
#   ZEPCON_CLI   zepcon-cli to measure (default: build-release/zepcon-cli
#                beside this folder, else build/zepcon-cli)
#   CORPUS       real-file corpus (default: ../../shared/corpus from here)
#   IM_CONVERT   ImageMagick's convert (default /usr/bin/convert)
#   IM_IDENTIFY  ImageMagick's identify (default /usr/bin/identify)
#   KEEP_WORK    set to keep the working folder
set -u

here=$(cd "$(dirname "$0")" && pwd)
runs=${1:-5}
corpus=${CORPUS:-$here/../../shared/corpus}
im=${IM_CONVERT:-/usr/bin/convert}
identify=${IM_IDENTIFY:-/usr/bin/identify}
cli=${ZEPCON_CLI:-}
if [ -z "$cli" ]; then
  for candidate in "$here/../build-release/zepcon-cli" "$here/../build/zepcon-cli"; do
    if [ -x "$candidate" ]; then cli=$candidate; break; fi
  done
fi
if [ -z "$cli" ] || [ ! -x "$cli" ]; then echo "zepcon-cli not found; set ZEPCON_CLI" >&2; exit 2; fi
if [ ! -x "$im" ]; then echo "ImageMagick convert not found at $im" >&2; exit 2; fi
if [ ! -d "$corpus/pictures" ]; then echo "corpus not found at $corpus" >&2; exit 2; fi
case $runs in ''|*[!0-9]*|0) echo "RUNS must be a positive number" >&2; exit 2;; esac

work=$(mktemp -d "${TMPDIR:-/tmp}/picture_bench.XXXXXX")
if [ -z "${KEEP_WORK:-}" ]; then trap 'rm -rf "$work"' EXIT; fi

now_ns() { date +%s%N; }

# Median of the numbers on standard input.
median() {
  sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) { print "nan"; exit }
    if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# The biggest file of a folder (not descending) with one of the extensions.
biggest() {
  local folder=$1; shift
  local tests=() ext
  for ext in "$@"; do
    [ ${#tests[@]} -gt 0 ] && tests+=(-o)
    tests+=(-iname "*.$ext")
  done
  find "$folder" -maxdepth 1 -type f \( "${tests[@]}" \) -printf '%s %p\n' 2>/dev/null |
    sort -n | tail -1 | cut -d' ' -f2-
}

# Milliseconds of one run of a command; empty when it failed or wrote nothing.
time_once() {
  local destination=$1; shift
  rm -f "$destination"
  local start end
  start=$(now_ns)
  "$@" >/dev/null 2>&1
  local status=$?
  end=$(now_ns)
  if [ $status -ne 0 ] || [ ! -s "$destination" ]; then return 1; fi
  echo $(( (end - start) / 1000 ))
}

# Median microseconds over $runs runs, or FAIL.
time_median() {
  local destination=$1; shift
  local samples=() value
  for _ in $(seq "$runs"); do
    value=$(time_once "$destination" "$@") || { echo FAIL; return; }
    samples+=("$value")
  done
  printf '%s\n' "${samples[@]}" | median
}

# Destination options of ImageMagick matching what zepcon writes: JPEG at
# quality 100, uncompressed TGA, classic BMP.
im_destination() {
  case $1 in
    *.jpg) echo "-quality 100 $1";;
    *.tga) echo "-compress none $1";;
    *.bmp) echo "BMP3:$1";;
  esac
}

results=$work/results.txt
: >"$results"

# One source converted by both tools into the destination extension.
bench_pair() {
  local source=$1 extension=$2 label=$3
  local ours=$work/ours.$extension theirs=$work/theirs.$extension
  local size ours_us im_us
  size=$("$identify" -format '%wx%h' "$source[0]" 2>/dev/null) || size='?'

  ours_us=$(time_median "$ours" "$cli" convert "$source" "$ours" --force)
  # shellcheck disable=SC2046
  im_us=$(time_median "$theirs" "$im" "$source[0]" $(im_destination "$theirs"))
  printf '%s\t%s\t%s\t%s\t%s\n' "$label" "$(basename "$source")" "$size" "$ours_us" "$im_us" >>"$results"
}

# Large sources of every kind become BMP and TGA inputs (prepared once by
# ImageMagick, not timed).
prepare() {
  local source=$1 name
  name=$(basename "${source%.*}")
  "$im" "$source[0]" -alpha off "BMP3:$work/$name.bmp" >/dev/null 2>&1 || rm -f "$work/$name.bmp"
  "$im" "$source[0]" -alpha off -compress none "$work/$name.tga" >/dev/null 2>&1 || rm -f "$work/$name.tga"
}

large_sources=()
while IFS= read -r file; do large_sources+=("$file"); done < <(find "$corpus/pictures" -path '*/large/*' -type f | sort)

jpeg_sources=()
for file in "${large_sources[@]}"; do
  case ${file,,} in *.jpg|*.jpeg) jpeg_sources+=("$file");; esac
done
biggest_jpeg=$(biggest "$corpus/pictures/jpg" jpg jpeg)
[ -n "$biggest_jpeg" ] && jpeg_sources+=("$biggest_jpeg")

for file in "${large_sources[@]}"; do prepare "$file"; done
bmp_sources=() tga_sources=()
for file in "$work"/*.bmp; do [ -e "$file" ] && bmp_sources+=("$file"); done
for file in "$work"/*.tga; do [ -e "$file" ] && tga_sources+=("$file"); done
biggest_bmp=$(biggest "$corpus/pictures/bmp" bmp)
biggest_tga=$(biggest "$corpus/pictures/tga" tga)
[ -n "$biggest_bmp" ] && bmp_sources+=("$biggest_bmp")
[ -n "$biggest_tga" ] && tga_sources+=("$biggest_tga")

echo "zepcon-cli: $cli"
echo "ImageMagick: $("$im" -version | head -1)"
echo "runs per conversion: $runs (median wall time)"
echo

for source in "${jpeg_sources[@]}"; do bench_pair "$source" bmp "JPEG->BMP"; done
for source in "${bmp_sources[@]}"; do bench_pair "$source" tga "BMP->TGA"; done
for source in "${tga_sources[@]}"; do bench_pair "$source" jpg "TGA->JPEG"; done

awk -F'\t' '
  function ms(us) { return us == "FAIL" ? "FAIL" : sprintf("%.1f", us / 1000) }
  BEGIN { printf "%-10s %-40s %-11s %11s %11s %9s\n", "pair", "source", "size", "zepcon ms", "IM ms", "IM/zepcon" }
  {
    ratio = ($4 == "FAIL" || $5 == "FAIL" || $4 == 0) ? "-" : sprintf("%.2f", $5 / $4)
    printf "%-10s %-40s %-11s %11s %11s %9s\n", $1, substr($2, 1, 40), $3, ms($4), ms($5), ratio
    if (ratio != "-") { sum[$1] += log($5 / $4); n[$1]++ }
  }
  END {
    print ""
    for (p in n) printf "%-10s geometric mean of ratios over %d sources: %.2f\n", p, n[p], exp(sum[p] / n[p])
  }' "$results"
