#!/usr/bin/env bash
# One long fuzzing run per target (default 10 million inputs each), starting from the
# committed seeds; new inputs and any crash land in build/fuzz/long/<target>/.
# Usage: [FUZZ_ARGS='-max_len=512'] scripts/fuzz-long.sh [RUNS] [TARGET ...]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10000000}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] ||
  targets=(rule_ini profile resolve_command http_reply update_list server_query server_multipart)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in "${targets[@]}"; do
  # Absolute paths: a target may change its working folder.
  out=$PWD/build/fuzz/long/$target
  mkdir -p "$out/corpus"
  # shellcheck disable=SC2086
  "build/fuzz/fuzz/${target}_fuzz" -runs="$runs" -timeout=30 -print_final_stats=1 ${FUZZ_ARGS:-} \
    -artifact_prefix="$out/" "$out/corpus" "$PWD/fuzz/corpus/$target" >"$out/log.txt" 2>&1 ||
    echo "$target: finding, see $out/log.txt"
  grep -E "^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)|^Done" "$out/log.txt" |
    sed "s/^/$target: /" || true
done
