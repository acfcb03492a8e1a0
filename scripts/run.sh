#!/usr/bin/env bash
# Builds Zepcon and starts it. Until the main window lands, "starting" means
# the command-line tool on the bundled example: it recognises the example,
# shows what it holds and converts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target zepcon-cli

out=$(mktemp -d)
./build/zepcon-cli identify examples/*
for example in examples/*; do
  ./build/zepcon-cli info "$example" || true
done
./build/zepcon-cli convert --to txt examples/readme-example.txt -o "$out" --force
echo "Converted files are in $out"
