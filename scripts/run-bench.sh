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

# The whole client is measured as a desktop shows it: on Xvfb with a window
# manager when they are installed, else offscreen.
on_display() {
  if command -v xvfb-run >/dev/null; then
    xvfb-run -a -s "-screen 0 1600x1000x24" bash -c '
      wm=$(command -v openbox || command -v twm || true)
      [ -n "$wm" ] && { "$wm" >/dev/null 2>&1 & sleep 1; }
      QT_QPA_PLATFORM=xcb "$@"; rc=$?; exit $rc' on_display "$@"
  else
    "$@"
  fi
}

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
  [ "$quick" = "--quick" ] && [ "$name" = memprobe_client ] && args=(--quick)
  echo "== $name ${args[*]}"
  if [ "$name" = memprobe_client ]; then
    # The plain pane in the same run is the yardstick for the figures.
    out=$(on_display "$b" "${args[@]}" 2>&1 && echo "-- the plain pane:" &&
      HCHAT_NO_WEBENGINE=1 on_display "$b" "${args[@]}" 2>&1)
  else
    out=$("$b" "${args[@]}" 2>&1)
  fi
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
