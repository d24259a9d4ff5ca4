#!/usr/bin/env bash
# Runs every benchmark of the build, headless.
#   run-bench.sh BUILD_DIR          the full runs (the README's figures)
#   run-bench.sh BUILD_DIR --quick  each once, briefly: CI's check that every
#                                   benchmark still runs to its end
# Fails when a benchmark fails or reports an error.
set -u
build=${1:-build}
quick=${2:-}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
status=0
for b in "$build"/bench-bin/*; do
  [ -f "$b" ] && [ -x "$b" ] || continue
  name=$(basename "$b")
  args=()
  if [ "$quick" = "--quick" ]; then
    case "$name" in
      hchat-loadgen) args=(--clients 200 --seconds 0.5 --sessions 1000) ;;
      bench_*) args=(--benchmark_min_time=0.01) ;;
    esac
  fi
  echo "== $name ${args[*]}"
  out=$("$b" "${args[@]}" 2>&1)
  rc=$?
  echo "$out"
  # Google Benchmark reports a benchmark that stopped with an error and
  # still exits 0.
  if [ $rc -ne 0 ] || grep -q "ERROR OCCURRED" <<<"$out"; then
    echo "== $name FAILED"
    status=1
  fi
done
exit $status
