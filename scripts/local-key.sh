#!/usr/bin/env bash
# The local build's upgrade signing key: made once under run/keys (never
# committed: run/ is ignored), owner-only. Prints the public key as 64 hex
# digits for -DHCHAT_UPDATE_PUBLIC_KEY; scripts/run-local.sh signs with it.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
key="$top/run/keys/update-key.pem"
if [ ! -s "$key" ]; then
  mkdir -p "$top/run/keys"
  (umask 077 && openssl genpkey -algorithm ed25519 -out "$key.part" && mv "$key.part" "$key")
fi
# The DER form of an Ed25519 public key ends with the 32 key bytes.
openssl pkey -in "$key" -pubout -outform DER | tail -c 32 | od -An -v -tx1 | tr -d ' \n'
echo
