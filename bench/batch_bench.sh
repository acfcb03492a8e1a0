#!/usr/bin/env bash
# Batch conversion benchmark over a mix of corpus pictures and models:
#  1. zepcon-cli convert --to ... -j 2 against the same with -j 1 (the
#     speed-up of the parallel batch);
#  2. zepcon-cli with -j 2 against a shell loop of the peers over the same
#     files: ImageMagick's convert for the pictures, `assimp export` for
#     the models, one process per file as a user's loop would run them.
# Pictures go to TGA, models to OBJ. Only the files zepcon converts are
# timed (a first, untimed run picks them), so both sides do the same list.
# farm-bench runs A and B in turn and prints the ratio A/B pair by pair
# (below 1: A is faster).
#
# Usage: bench/batch_bench.sh [RUNS]
# Environment:
#   ZEPCON_CLI   zepcon-cli to measure (default: build-release/zepcon-cli
#                beside this folder, else build/zepcon-cli)
#   CORPUS       real-file corpus (default: ../../shared/corpus from here)
#   ASSIMP       assimp command line tool (default: assimp on the PATH)
#   IM_CONVERT   ImageMagick's convert (default /usr/bin/convert)
#   JOBS         workers of the parallel run (default 2)
#   KEEP_WORK    set to keep the working folder
set -u

here=$(cd "$(dirname "$0")" && pwd)
runs=${1:-5}
corpus=${CORPUS:-$here/../../shared/corpus}
assimp=${ASSIMP:-$(command -v assimp)}
im=${IM_CONVERT:-/usr/bin/convert}
jobs=${JOBS:-2}
cli=${ZEPCON_CLI:-}
if [ -z "$cli" ]; then
  for candidate in "$here/../build-release/zepcon-cli" "$here/../build/zepcon-cli"; do
    if [ -x "$candidate" ]; then cli=$candidate; break; fi
  done
fi
if [ -z "$cli" ] || [ ! -x "$cli" ]; then echo "zepcon-cli not found; set ZEPCON_CLI" >&2; exit 2; fi
cli=$(cd "$(dirname "$cli")" && pwd)/$(basename "$cli")
if [ -z "$assimp" ] || [ ! -x "$assimp" ]; then echo "assimp not found; set ASSIMP" >&2; exit 2; fi
if [ ! -x "$im" ]; then echo "ImageMagick convert not found at $im" >&2; exit 2; fi
if ! command -v farm-bench >/dev/null; then echo "farm-bench not found" >&2; exit 2; fi
if [ ! -d "$corpus/models" ] || [ ! -d "$corpus/pictures" ]; then echo "corpus not found at $corpus" >&2; exit 2; fi
case $runs in ''|*[!0-9]*|0) echo "RUNS must be a positive number" >&2; exit 2;; esac
case $jobs in ''|*[!0-9]*|0) echo "JOBS must be a positive number" >&2; exit 2;; esac

work=$(mktemp -d "${TMPDIR:-/tmp}/batch_bench.XXXXXX")
if [ -z "${KEEP_WORK:-}" ]; then trap 'rm -rf "$work"' EXIT; fi

# Candidates: the pictures directly in their format folders and the large
# benchmark ones; the models of the common interchange formats, up to 4 MB.
{
  for ext in bmp tga jpg ppm sgi; do
    find "$corpus/pictures/$ext" -maxdepth 1 -type f -size -4M
    [ -d "$corpus/pictures/$ext/large" ] && find "$corpus/pictures/$ext/large" -maxdepth 1 -type f -size -16M
  done
} | sort >"$work/picture_candidates"
for ext in obj 3ds off ase ms3d; do
  find "$corpus/models/$ext" -type f -iname "*.$ext" -size -4M
done | sort >"$work/model_candidates"

# Keeps the files zepcon-cli converts (its "ok" lines), untimed.
pick() {
  local list=$1 to=$2 out=$3
  mkdir -p "$out"
  tr '\n' '\0' <"$list" | xargs -0 "$cli" --log /dev/null convert --force --to "$to" -o "$out" -j "$jobs" 2>/dev/null |
    sed -n 's/^\[[0-9]*\/[0-9]*\] \(.*\) -> .*: ok$/\1/p'
}
pick "$work/picture_candidates" tga "$work/pick" >"$work/pictures"
pick "$work/model_candidates" obj "$work/pick" >"$work/models"
rm -rf "$work/pick"
pictures=$(wc -l <"$work/pictures")
models=$(wc -l <"$work/models")
bytes=$(cat "$work/pictures" "$work/models" | tr '\n' '\0' | xargs -0 stat -c %s | awk '{ s += $1 } END { print s }')

# The three commands, as scripts (farm-bench runs no shell of its own).
ours() {
  local n=$1
  local script=$work/ours_j$n.sh
  {
    echo '#!/bin/sh'
    echo "rm -rf '$work/out$n'; mkdir -p '$work/out$n/p' '$work/out$n/m'"
    echo "tr '\\n' '\\0' <'$work/pictures' | xargs -0 '$cli' --log /dev/null convert --force --to tga -o '$work/out$n/p' -j $n"
    echo "tr '\\n' '\\0' <'$work/models' | xargs -0 '$cli' --log /dev/null convert --force --to obj -o '$work/out$n/m' -j $n"
  } >"$script"
  chmod +x "$script"
  echo "$script"
}
peers=$work/peers.sh
{
  echo '#!/bin/sh'
  echo "rm -rf '$work/peers'; mkdir -p '$work/peers'"
  echo 'i=0'
  echo "while IFS= read -r f; do i=\$((i+1)); '$im' \"\$f\" \"$work/peers/p\$i.tga\" || true; done <'$work/pictures'"
  echo "while IFS= read -r f; do i=\$((i+1)); '$assimp' export \"\$f\" \"$work/peers/m\$i.obj\" >/dev/null || true; done <'$work/models'"
} >"$peers"
chmod +x "$peers"
parallel=$(ours "$jobs")
serial=$(ours 1)

echo "zepcon-cli: $cli"
echo "files: $pictures pictures (to TGA), $models models (to OBJ), $bytes bytes; runs: $runs"
echo

echo "== A = zepcon-cli -j $jobs, B = zepcon-cli -j 1"
farm-bench -n "$runs" --timeout 1800 --vs "$serial" -- "$parallel" | tee "$work/speedup.txt"
echo
echo "== A = zepcon-cli -j $jobs, B = shell loop of convert / assimp export"
farm-bench -n "$runs" --timeout 3000 --vs "$peers" -- "$parallel" | tee "$work/peers.txt"
echo

ratio() { awk '/^A\/B wall/ { print $4 }' "$1"; }
r1=$(ratio "$work/speedup.txt")
r2=$(ratio "$work/peers.txt")
echo "Summary (median wall-time ratio A/B; below 1: A faster):"
echo "  -j $jobs / -j 1:            ${r1:-?}  (speed-up $(awk -v r="${r1:-0}" 'BEGIN { if (r > 0) printf "%.2f", 1 / r; else print "?" }'))"
echo "  -j $jobs / peers' loop:     ${r2:-?}"
