#!/usr/bin/env bash
# Signs a copy of the test installer with a throwaway self-signed certificate:
#   sign_fixture.sh IN.exe OUT.exe
set -euo pipefail
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=tamsel-test \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -in "$1" -out "$2.part" >/dev/null
mv "$2.part" "$2"
