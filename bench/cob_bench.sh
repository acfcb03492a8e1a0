#!/usr/bin/env bash
# Truespace object benchmark: zepcon-cli against `assimp export` converting
# the largest binary .cob of the corpus (the dwarf, with its two JPEG
# textures) to OBJ. The two run RUNS times each, alternating, under
# farm-bench in one call, which prints wall and cpu time and peak memory per
# tool and the ratio zepcon / assimp pair by pair (below 1: zepcon faster).
#
# Usage: bench/cob_bench.sh [RUNS]
# Environment: ZEPCON_CLI, CORPUS, ASSIMP, KEEP_WORK as for model_bench.sh.
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
case $runs in ''|*[!0-9]*|0) echo "RUNS must be a positive number" >&2; exit 2;; esac

# The biggest .cob whose header says binary (the text ones are not read).
source=$(find "$corpus/models/cob" -type f -iname '*.cob' -printf '%s %p\n' 2>/dev/null | sort -n |
  while read -r _ path; do
    [ "$(head -c 16 "$path")" = "Caligari V00.01B" ] && echo "$path"
  done | tail -1)
if [ -z "$source" ]; then echo "no binary .cob under $corpus/models/cob" >&2; exit 2; fi

work=$(mktemp -d "${TMPDIR:-/tmp}/cob_bench.XXXXXX")
if [ -z "${KEEP_WORK:-}" ]; then trap 'rm -rf "$work"' EXIT; fi
# Both tools write beside a copy, so the textures are found and written alike.
cp "$(dirname "$source")"/* "$work/"
input=$work/$(basename "$source")
report=$work/report.txt

echo "zepcon-cli: $cli"
echo "assimp: $("$assimp" version 2>/dev/null | grep -i version | head -1)"
echo "== COB->OBJ: $(basename "$source") ($(stat -c %s "$source") bytes), $runs runs each"
echo "   farm-bench reports A = zepcon-cli, B = assimp export"
farm-bench -n "$runs" --timeout 900 --vs "$assimp export $input $work/theirs.obj" -- \
  "$cli" convert "$input" "$work/ours.obj" --force >"$report" 2>&1
cat "$report"
ratio=$(awk '/^A\/B wall/ { print $4 }' "$report")
echo
echo "Summary (time ratio zepcon / assimp; below 1: zepcon faster):"
printf '%-10s %-28s A/B median %s\n' "COB->OBJ" "$(basename "$source")" "${ratio:-?}"
