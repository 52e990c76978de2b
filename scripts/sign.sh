#!/usr/bin/env bash
# Signs an exe or an installer with Authenticode (osslsigncode), with the
# certificate given through the environment:
#   GV_SIGN_PFX                  a PKCS#12 file with the certificate and its key, or
#   GV_SIGN_CERT and GV_SIGN_KEY PEM files (the certificate, with its chain, and the key);
#   GV_SIGN_PASSWORD             the key's password, if it has one;
#   GV_SIGN_TIMESTAMP            a timestamp server (RFC 3161), if one is to date the signature.
# The password goes to osslsigncode in a file only this user can read, never on a
# command line, where any user of the machine could see it.
# Usage: scripts/sign.sh IN OUT   (exit 2: no certificate given)
set -euo pipefail
in=${1:?name the file to sign}
out=${2:?name the signed file}

if [ -n "${GV_SIGN_PFX:-}" ]; then
    key=(-pkcs12 "$GV_SIGN_PFX")
elif [ -n "${GV_SIGN_CERT:-}" ] && [ -n "${GV_SIGN_KEY:-}" ]; then
    key=(-certs "$GV_SIGN_CERT" -key "$GV_SIGN_KEY")
elif [ -n "${GV_SIGN_CERT:-}${GV_SIGN_KEY:-}" ]; then
    echo "sign.sh: GV_SIGN_CERT and GV_SIGN_KEY go together" >&2
    exit 1
else
    exit 2
fi

options=(-h sha256 -n Grindvakt)
if [ -n "${GV_SIGN_PASSWORD+set}" ]; then
    secret=$(umask 077 && mktemp /tmp/grindvakt-sign.XXXXXX)
    trap 'rm -f "$secret"' EXIT
    printf '%s' "$GV_SIGN_PASSWORD" >"$secret"  # printf is built in: no process sees it
    options+=(-readpass "$secret")
fi
if [ -n "${GV_SIGN_TIMESTAMP:-}" ]; then
    options+=(-ts "$GV_SIGN_TIMESTAMP")
fi
rm -f "$out"
osslsigncode sign "${key[@]}" "${options[@]}" -in "$in" -out "$out" >/dev/null
