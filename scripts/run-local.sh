#!/usr/bin/env bash
# Starts the bundled chat server and one client connected to it. Settings,
# logs and server data live under run/ so that a rebuild keeps them.
# A second client: build/bin/hchat --home run/client2 --server 127.0.0.1:PORT
set -u
bin=${1:-build/bin}
port=${2:-5500}
top=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$top/run/server" "$top/run/client"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found. For a headless check: xvfb-run -a make run" >&2
  exit 1
fi
"$bin/hchat-server" --listen "127.0.0.1:$port" --data "$top/run/server" &
server=$!
stop() {
  kill -TERM "$server" 2>/dev/null
  wait "$server" 2>/dev/null
}
trap stop EXIT
trap 'kill -TERM "$client" 2>/dev/null' INT TERM
"$bin/hchat" --home "$top/run/client" --server "127.0.0.1:$port" &
client=$!
wait "$client"
status=$?
# A signal interrupts the first wait: let the client finish saving.
kill -0 "$client" 2>/dev/null && wait "$client"
exit $status
