#!/usr/bin/env bash
# Signs files in place, Authenticode with SHA-256, through osslsigncode: PE
# files (modules, programs, the installer and its uninstaller) and app
# packages. The certificate is the PFX named by TOLV_SIGN_PFX, its password in
# TOLV_SIGN_PASSWORD, handed over on standard input (an argument would show in
# the process list); TOLV_SIGN_TIMESTAMP names a timestamp server, if any.
# TOLV_SIGN_COPIES names a folder that keeps a copy of each file signed: the
# uninstaller is signed while the installer is made and is seen nowhere else.
#   tools/sign.sh FILE...
set -euo pipefail
: "${TOLV_SIGN_PFX:?TOLV_SIGN_PFX names no certificate}"
args=(sign -pkcs12 "$TOLV_SIGN_PFX" -h sha256 -n Tolv)
# A certificate without a password: the signer takes an empty one read from
# its input as no password given, and fails.
[ -n "${TOLV_SIGN_PASSWORD:-}" ] && args+=(-readpass /dev/stdin)
[ -n "${TOLV_SIGN_TIMESTAMP:-}" ] && args+=(-ts "$TOLV_SIGN_TIMESTAMP")
for file in "$@"; do
    # A failed signing leaves the file as it was, never half written.
    rm -f "$file.signed"
    if ! printf '%s' "${TOLV_SIGN_PASSWORD:-}" | osslsigncode "${args[@]}" -in "$file" -out "$file.signed" >/dev/null; then
        rm -f "$file.signed"
        echo "sign: $file could not be signed" >&2
        exit 1
    fi
    mv "$file.signed" "$file"
    if [ -n "${TOLV_SIGN_COPIES:-}" ]; then cp "$file" "$TOLV_SIGN_COPIES/"; fi
done
