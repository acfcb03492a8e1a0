#!/usr/bin/env bash
# Interchange formats benchmark: zepcon-cli against a peer reading the same
# format, converting the largest real file of each format to OBJ. assimp
# reads DirectX text, LightWave 6.5+ and binary Truespace; osgconv reads
# OpenFlight. Each pair runs RUNS times per tool, alternating, under
# farm-bench in one call per format, which prints wall and cpu time and
# peak memory per tool and the ratio zepcon / peer pair by pair (below 1:
# zepcon is faster). dotXSI and Rhinoceros have no peer on this system.
#
# Usage: bench/interchange_bench.sh [RUNS]
# Environment:
#   ZEPCON_CLI   zepcon-cli to measure (default: build-release/zepcon-cli
#                beside this folder, else build/zepcon-cli)
#   CORPUS       real-file corpus (default: ../../shared/corpus from here)
#   ASSIMP       assimp command line tool (default: assimp on the PATH)
#   OSGCONV      osgconv (default: osgconv on the PATH)
#   KEEP_WORK    set to keep the working folder
set -u

here=$(cd "$(dirname "$0")" && pwd)
runs=${1:-5}
corpus=${CORPUS:-$here/../../shared/corpus}
assimp=${ASSIMP:-$(command -v assimp)}
osgconv=${OSGCONV:-$(command -v osgconv)}
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

work=$(mktemp -d "${TMPDIR:-/tmp}/interchange_bench.XXXXXX")
if [ -z "${KEEP_WORK:-}" ]; then trap 'rm -rf "$work"' EXIT; fi

# The biggest file below a folder with the extension (any case) whose bytes
# at OFFSET read TEXT: the form this program reads (text .x, LWO2, binary
# Truespace), not another variant sharing the extension.
biggest_with() {
  local folder=$1 extension=$2 offset=$3 text=$4
  find "$folder" -type f -iname "*.$extension" -printf '%s %p\n' 2>/dev/null | sort -n |
    while read -r _ path; do
      [ "$(tail -c +$((offset + 1)) "$path" | head -c ${#text})" = "$text" ] && echo "$path"
    done | tail -1
}

echo "zepcon-cli: $cli"
echo "assimp: $("$assimp" version 2>/dev/null | grep -i version | head -1)"
[ -n "$osgconv" ] && echo "osgconv: $("$osgconv" --version 2>/dev/null | head -1)"
echo "runs per conversion: $runs; farm-bench reports A = zepcon-cli, B = the peer"
echo

summary=$work/summary.txt
: >"$summary"

# One source converted to OBJ by zepcon and the peer. The source is copied
# with its folder, so both tools find the same companion files and write
# beside it alike; with COPY=no (files that name others by relative paths)
# it is read in place and the outputs go to the working folder.
bench_format() {
  local label=$1 source=$2 peer=$3 copy_folder=${4:-yes}
  if [ -z "$source" ]; then echo "== $label: no file" >&2; return; fi
  local copy=$work/$label input=$source report=$work/report.txt
  mkdir -p "$copy"
  if [ "$copy_folder" = yes ]; then
    cp -r "$(dirname "$source")"/. "$copy/"
    input=$copy/$(basename "$source")
  fi
  local peer_command
  case $peer in
    assimp) peer_command="$assimp export $input $copy/theirs.obj" ;;
    osgconv) peer_command="$osgconv $input $copy/theirs.obj" ;;
  esac
  echo "== $label->OBJ: $(basename "$source") ($(stat -c %s "$source") bytes), peer $peer"
  farm-bench -n "$runs" --timeout 900 --vs "$peer_command" -- \
    "$cli" convert "$input" "$copy/ours.obj" --force >"$report" 2>&1
  cat "$report"
  echo
  local ratio
  ratio=$(awk '/^A\/B wall/ { print $4 }' "$report")
  printf '%-6s %-32s vs %-8s A/B median %s\n' "$label" "$(basename "$source")" "$peer" "${ratio:-?}" >>"$summary"
}

bench_format X "$(biggest_with "$corpus/models/x" x 8 txt)" assimp
bench_format LWO2 "$(biggest_with "$corpus/models/lwo" lwo 8 LWO2)" assimp
bench_format COB "$(biggest_with "$corpus/models/cob" cob 0 'Caligari V00.01B')" assimp
# The top of the four-level chain of references with textures: five files
# read for one conversion.
if [ -n "$osgconv" ]; then
  bench_format FLT "$corpus/models/flt/nested_references2/db/1/12/123/1234/1234.flt" osgconv no
fi

echo "Summary (time ratio zepcon / peer; below 1: zepcon faster):"
cat "$summary"
