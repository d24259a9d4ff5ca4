#!/usr/bin/env bash
# Starts the bundled chat server, the local web site and one client
# connected to them. Settings, logs and server data live under run/ so that
# a rebuild keeps them.
# A second client: build/bin/hchat --home run/client2 --server 127.0.0.1:PORT
set -u
bin=${1:-build/bin}
port=${2:-5500}
web_port=${WEB_PORT:-8080} # the catalogue's web base says 8080
top=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$top/run/server" "$top/run/client" "$top/run/web" "$top/web/files"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found. For a headless check: xvfb-run -a make run" >&2
  exit 1
fi

# The web site: the download listing, files/ (the catalogue and the program
# file of this build), the help pages and images.
cp -p "$bin/chat.dll" "$bin/hchat" "$top/web/files/"
# Each file signed with the local build's key (scripts/local-key.sh; `make run`
# builds its public key in): the listing's "sig=" line covers these four lines.
key="$top/run/keys/update-key.pem"
rm -rf "$top/web/files/.sig"
if [ -s "$key" ]; then
  mkdir -p "$top/web/files/.sig"
  for f in "$top"/web/files/*; do
    [ -f "$f" ] || continue
    name=$(basename "$f")
    printf 'file=%s\nsize=%s\nmtime=%s\nsha256=%s\n' "$name" "$(stat -c %s "$f")" "$(stat -c %Y "$f")" \
      "$(sha256sum "$f" | cut -d ' ' -f 1)" > "$top/run/web/signed.txt"
    openssl pkeyutl -sign -rawin -inkey "$key" -in "$top/run/web/signed.txt" | od -An -v -tx1 | tr -d ' \n' \
      > "$top/web/files/.sig/$name"
  done
fi
cat > "$top/run/web/lighttpd.conf" <<CONF
server.document-root = "$top/web"
server.bind = "127.0.0.1"
server.port = $web_port
server.errorlog = "$top/run/web/error.log"
server.modules = ("mod_access", "mod_cgi")
index-file.names = ("index.html")
dir-listing.activate = "enable"
cgi.assign = (".cgi" => "")
static-file.exclude-extensions = (".cgi")
mimetype.assign = (".html" => "text/html; charset=utf-8", ".svg" => "image/svg+xml",
                   ".png" => "image/png", ".wav" => "audio/wav", "" => "application/octet-stream")
CONF
web=""
lighttpd=$(command -v lighttpd || echo /usr/sbin/lighttpd)
if [ -x "$lighttpd" ]; then
  "$lighttpd" -D -f "$top/run/web/lighttpd.conf" &
  web=$!
else
  echo "lighttpd is not installed (make deps): no local web site" >&2
fi

"$bin/hchat-server" --listen "127.0.0.1:$port" --data "$top/run/server" &
server=$!
stop() {
  kill -TERM "$server" $web 2>/dev/null
  wait "$server" $web 2>/dev/null
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
