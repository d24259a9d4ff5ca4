#!/bin/sh
# The download listing the chat client reads before it offers an upgrade:
# for every file in the folder named by "path=" (relative to this script's
# folder, and never outside the site) four lines, "file=", "size=",
# "mtime=" (Unix seconds) and "sha256=" (hex digest of the contents), and
# "sig=" when .sig/ holds the file's signature over those four lines.
set -u

fail() {
  printf 'Status: %s\r\nContent-Type: text/plain\r\n\r\n%s\n' "$1" "$1"
  exit 0
}

here=$(cd "$(dirname "$0")" && pwd -P) || fail "500 Internal Server Error"
root=$(cd "$here/.." && pwd -P) || fail "500 Internal Server Error"

query=${QUERY_STRING:-}
case "$query" in
  path=*) rel=${query#path=}; rel=${rel%%&*} ;;
  *) fail "400 Bad Request" ;;
esac
# Plain names only: no escapes, blanks or shell characters to be fooled by.
case "$rel" in
  "" | *[!A-Za-z0-9._/-]*) fail "400 Bad Request" ;;
esac
dir=$(cd "$here/$rel" 2>/dev/null && pwd -P) || fail "404 Not Found"
case "$dir/" in
  "$root"/*) ;;
  *) fail "404 Not Found" ;;
esac

printf 'Content-Type: text/plain\r\n\r\n'
for f in "$dir"/*; do
  [ -f "$f" ] || continue
  printf 'file=%s\nsize=%s\nmtime=%s\nsha256=%s\n' "$(basename "$f")" "$(stat -c %s "$f")" \
    "$(stat -c %Y "$f")" "$(sha256sum "$f" | cut -d ' ' -f 1)"
  # A signature made for the file, when the site has one (.sig/ beside it).
  sig="$dir/.sig/$(basename "$f")"
  if [ -f "$sig" ]; then printf 'sig=%s\n' "$(head -c 256 "$sig")"; fi
done
