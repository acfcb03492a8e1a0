#!/usr/bin/env bash
# Builds Zepcon with AddressSanitizer and UndefinedBehaviorSanitizer, runs
# every fuzz target briefly on its real-file seeds, then every test.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
fuzz_seconds=${ZEPCON_FUZZ_SECONDS:-8}

bash scripts/install-deps.sh || exit 1

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Tests: sanitizers on, warnings are errors.
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DZEPCON_SANITIZE=ON -DZEPCON_WERROR=ON >/dev/null || exit 1
cmake --build build-test -j"$jobs" || exit 1

# Fuzz targets: clang with libFuzzer.
status=0
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEPCON_FUZZ=ON >/dev/null || exit 1
cmake --build build-fuzz -j"$jobs" || exit 1
corpus="$root/../shared/corpus"
for source in fuzz/*_fuzz.cpp; do
  name=$(basename "$source" .cpp)
  seeds=()
  for folder in $(head -n 1 "$source" | sed -n 's#^// seeds:##p'); do
    [ -d "$corpus/$folder" ] && seeds+=("$corpus/$folder")
  done
  work=$(mktemp -d)  # libFuzzer writes what it finds into the first folder
  if "build-fuzz/fuzz/$name" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -timeout=10 \
      "$work" "${seeds[@]}" >"build-fuzz/$name.log" 2>&1; then
    echo "fuzz $name: clean, $(ls "$work" | wc -l) new inputs"
  else
    echo "fuzz $name: FAILED"; tail -n 40 "build-fuzz/$name.log"; status=1
  fi
  rm -rf "$work"
done

# The tests last, so their summary closes the run.
(cd build-test && ctest --output-on-failure -j"$jobs" --timeout 600) || status=1
exit $status
