#!/usr/bin/env bash
# Runs every benchmark of the build, headless. Usage: run-bench.sh BUILD_DIR
set -u
build=${1:-build}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
status=0
for b in "$build"/bench-bin/*; do
  [ -f "$b" ] && [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" || status=1
done
exit $status
