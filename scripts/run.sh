#!/usr/bin/env bash
# Builds Zepcon and starts it. Until the main window lands, "starting" means
# the command-line tool on the bundled examples: it recognises them, shows
# what they hold and converts each to the other formats of its kind.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target zepcon-cli

out=$(mktemp -d)
cli=./build/zepcon-cli
$cli identify examples/*
for example in examples/*; do
  echo
  $cli info "$example"
done
echo
$cli convert --to raw examples/cube.off -o "$out"
for type in bmp tga rgb jpg; do
  $cli convert --to "$type" examples/gradient.ppm -o "$out"
done
$cli convert --to txt examples/readme-example.txt -o "$out"
echo
echo "Converted files are in $out:"
ls -l "$out"
