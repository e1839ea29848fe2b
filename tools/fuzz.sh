#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and runs
# each for a bounded time, starting from its checked-in regression inputs.
#
#   tools/fuzz.sh [SECONDS]     default 60 per target
set -euo pipefail

cd "$(dirname "$0")/.."
top=$(pwd)
seconds=${1:-60}
dir="$top/build-fuzz"

CC=clang CXX=clang++ cmake -S "$top" -B "$dir" -DZELLHOP_FUZZ=ON -DZELLHOP_GUI=OFF \
  -DZELLHOP_LOBBY=OFF -DZELLHOP_BENCH=OFF -DZELLHOP_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j"$(nproc)"

status=0
for fuzzer in $(find "$dir" -type f -executable -name 'fuzz_*' | sort); do
  name=$(basename "$fuzzer")
  corpus="$top/tests/fuzz/$name"        # regression inputs, kept in the repository
  work="$dir/corpus/$name"              # what this run discovers
  mkdir -p "$work"
  echo "== $name for ${seconds}s"
  args=(-max_total_time="$seconds" -print_final_stats=1 "$work")
  [ -d "$corpus" ] && args+=("$corpus")
  if ! "$fuzzer" "${args[@]}"; then
    echo "$name failed" >&2
    status=1
  fi
done
exit $status
