#!/usr/bin/env bash
# Model conversion benchmark: zepcon-cli against `assimp export` for
# OBJ -> 3DS and 3DS -> OBJ on the largest OBJ and 3DS files of the corpus
# and on a generated OBJ at the model's limits (100000 vertices, 100000
# triangles). Each pair runs RUNS times per tool, alternating, under
# farm-bench, which prints wall and cpu time and peak memory per tool and
# the ratio zepcon / assimp pair by pair (below 1: zepcon is faster).
#
# Usage: bench/model_bench.sh [RUNS]
# Environment:
#   ZEPCON_CLI   zepcon-cli to measure (default: build-release/zepcon-cli
#                beside this folder, else build/zepcon-cli)
#   CORPUS       real-file corpus (default: ../../shared/corpus from here)
#   ASSIMP       assimp command line tool (default: assimp on the PATH)
#   KEEP_WORK    set to keep the working folder
set -u

here=$(cd "$(dirname "$0")" && pwd)
runs=${1:-5}
corpus=${CORPUS:-$here/../../shared/corpus}
assimp=${ASSIMP:-$(command -v assimp)}
cli=${ZEPCON_CLI:-}
if [ -z "$cli" ]; then
  for candidate in "$here/../build-release/zepcon-cli" "$here/../build/zepcon-cli"; do
    if [ -x "$candidate" ]; then cli=$candidate; break; fi
  done
fi
if [ -z "$cli" ] || [ ! -x "$cli" ]; then echo "zepcon-cli not found; set ZEPCON_CLI" >&2; exit 2; fi
if [ -z "$assimp" ] || [ ! -x "$assimp" ]; then echo "assimp not found; set ASSIMP" >&2; exit 2; fi
if ! command -v farm-bench >/dev/null; then echo "farm-bench not found" >&2; exit 2; fi
if [ ! -d "$corpus/models" ]; then echo "corpus not found at $corpus" >&2; exit 2; fi
case $runs in ''|*[!0-9]*|0) echo "RUNS must be a positive number" >&2; exit 2;; esac

work=$(mktemp -d "${TMPDIR:-/tmp}/model_bench.XXXXXX")
if [ -z "${KEEP_WORK:-}" ]; then trap 'rm -rf "$work"' EXIT; fi

# The biggest file below a folder with the extension (any case).
biggest() {
  find "$1" -type f -iname "*.$2" -printf '%s %p\n' 2>/dev/null | sort -n | tail -1 | cut -d' ' -f2-
}

# A grid of 100000 vertices (400 x 250) and 100000 triangles over it.
generate_limit_obj() {
  awk 'BEGIN {
    w = 400; h = 250
    for (j = 0; j < h; j++) for (i = 0; i < w; i++) printf "v %d %d %.4f\n", i, j, sin(i * 0.1) * cos(j * 0.1)
    n = 0
    for (j = 0; j < h - 1 && n < 100000; j++) for (i = 0; i < w - 1 && n < 100000; i++) {
      a = j * w + i + 1; b = a + 1; c = a + w; d = c + 1
      printf "f %d %d %d\n", a, b, d; n++
      if (n < 100000) { printf "f %d %d %d\n", a, d, c; n++ }
    }
  }' >"$1"
}

obj_source=$(biggest "$corpus/models/obj" obj)
tds_source=$(biggest "$corpus/models/3ds" 3ds)
generated=$work/limits.obj
generate_limit_obj "$generated"
# The generated model as 3DS, written by zepcon (not timed), for 3DS -> OBJ.
"$cli" convert "$generated" "$work/limits.3ds" --force >/dev/null 2>&1

echo "zepcon-cli: $cli"
echo "assimp: $("$assimp" version 2>/dev/null | grep -i version | head -1)"
echo "runs per conversion: $runs; farm-bench reports A = zepcon-cli, B = assimp export"
echo

summary=$work/summary.txt
: >"$summary"

# One source converted by both tools into the destination extension.
bench_pair() {
  local source=$1 extension=$2 label=$3
  local ours=$work/ours.$extension theirs=$work/theirs.$extension report=$work/report.txt
  echo "== $label: $(basename "$source") ($(stat -c %s "$source") bytes)"
  farm-bench -n "$runs" --timeout 900 --vs "$assimp export $source $theirs" -- \
    "$cli" convert "$source" "$ours" --force >"$report" 2>&1
  cat "$report"
  echo
  # The median of the pairwise wall-time ratios A/B.
  local ratio
  ratio=$(awk '/^A\/B wall/ { print $4 }' "$report")
  printf '%-10s %-28s A/B median %s\n' "$label" "$(basename "$source")" "${ratio:-?}" >>"$summary"
}

[ -n "$obj_source" ] && bench_pair "$obj_source" 3ds "OBJ->3DS"
[ -n "$tds_source" ] && bench_pair "$tds_source" obj "3DS->OBJ"
bench_pair "$generated" 3ds "OBJ->3DS"
[ -s "$work/limits.3ds" ] && bench_pair "$work/limits.3ds" obj "3DS->OBJ"

echo "Summary (time ratio zepcon / assimp; below 1: zepcon faster):"
cat "$summary"
