#!/usr/bin/env bash
# Assembles a signed release with a throw-away certificate made here and
# checks it: every shipped file (both modules and programs, the package, the
# installer and the uninstaller it writes) verifies against the certificate,
# and none does once a byte of it changed; the package's block map and
# content types match its files, its publisher is the certificate's subject,
# and the class its manifest declares is the one the module registers.
# Skipped (exit 77) where osslsigncode cannot sign packages (before 2.7).
#   tools/package-test.sh X64_BUILD X86_BUILD
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
x64=${1:?usage: package-test.sh X64_BUILD X86_BUILD}
x86=${2:?}
version=$(osslsigncode --version 2>/dev/null | sed -n '1s/^osslsigncode \([0-9]*\)\.\([0-9]*\).*/\1 \2/p')
read -r major minor <<<"${version:-0 0}"
if [ "$major" -lt 2 ] || { [ "$major" -eq 2 ] && [ "$minor" -lt 7 ]; }; then
    echo "package-test: skipped: osslsigncode ${major}.${minor} cannot sign app packages (2.7 or later can)"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

openssl req -x509 -newkey rsa:3072 -sha256 -days 30 -nodes -subj '/CN=Tolv\, "Test"/O=Ünïcode Signing/OU=a\+b' -utf8 \
    -addext "basicConstraints=critical,CA:FALSE" -addext "keyUsage=critical,digitalSignature" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/test.key" -out "$work/test.crt" 2>/dev/null
openssl pkcs12 -export -inkey "$work/test.key" -in "$work/test.crt" -out "$work/test.pfx" -passout pass:a-test-pass
mkdir "$work/signed"
TOLV_SIGN_PFX=$work/test.pfx TOLV_SIGN_PASSWORD=a-test-pass TOLV_SIGN_COPIES=$work/signed \
    bash "$here/assemble.sh" "$work/out" "$x64" "$x86"
out=$work/out

verify() { osslsigncode verify -CAfile "$work/test.crt" -in "$1" >"$work/verify.log" 2>&1; }
shipped=("$out/x64/Tolv.dll" "$out/x64/Tolv.exe" "$out/x86/Tolv.dll" "$out/x86/Tolv.exe" "$out/Tolv.msix"
         "$out/Tolv-setup.exe")
# The uninstaller is seen only as it was signed, under the name makensis gave it.
uninstaller=$(find "$work/signed" -type f ! -name 'Tolv*' | head -n 1)
[ -n "$uninstaller" ] || fail "the uninstaller was not signed"
for file in "${shipped[@]}" ${uninstaller:+"$uninstaller"}; do
    verify "$file" || fail "$file does not verify: $(tail -n 3 "$work/verify.log")"
    # One byte changed in the middle of the file.
    cp "$file" "$work/changed"
    size=$(stat -c %s "$work/changed")
    byte=$(od -An -tu1 -j $((size / 2)) -N1 "$work/changed" | tr -d ' ')
    printf "$(printf '\\%03o' $(((byte + 1) % 256)))" |
        dd of="$work/changed" bs=1 seek=$((size / 2)) conv=notrunc status=none
    if verify "$work/changed"; then fail "$file still verifies after a byte changed"; fi
done

# The subject as Windows writes it: last name first, ", " between names, a
# value holding a separator quoted, its quotes doubled, non-ASCII as it is.
subject='OU="a+b", O=Ünïcode Signing, CN="Tolv, ""Test"""'
python3 "$here/msix.py" check "$out/Tolv.msix" "$subject" || fail "the package's parts do not match"
# The check finds a block map that no longer matches a file.
python3 - "$out/Tolv.msix" "$work/stale.msix" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as old, zipfile.ZipFile(sys.argv[2], "w") as new:
    for info in old.infolist():
        data = old.read(info)
        new.writestr(info, data.replace(b"Tolv", b"Tolw", 1) if info.filename == "AppxManifest.xml" else data)
PY
if python3 "$here/msix.py" check "$work/stale.msix" 2>/dev/null; then fail "a stale block map passes the check"; fi

# A certificate without a password signs too, with no password given.
openssl pkcs12 -export -inkey "$work/test.key" -in "$work/test.crt" -out "$work/open.pfx" -passout pass:
if env -u TOLV_SIGN_PASSWORD TOLV_SIGN_PFX="$work/open.pfx" bash "$here/assemble.sh" "$work/open" "$x64" "$x86" \
    >"$work/open.log" 2>&1; then
    verify "$work/open/Tolv.msix" || fail "a package signed without a password does not verify"
    python3 "$here/msix.py" check "$work/open/Tolv.msix" "$subject" || fail "the package signed without a password"
else
    fail "a certificate without a password does not sign: $(tail -n 2 "$work/open.log")"
fi

# The class that the manifest declares, and the one the module registers.
declared=$(unzip -p "$out/Tolv.msix" AppxManifest.xml | sed -n 's/.*<com:Class Id="\([^"]*\)".*/\1/p')
verb=$(unzip -p "$out/Tolv.msix" AppxManifest.xml | sed -n 's/.*<desktop5:Verb .*Clsid="\([^"]*\)".*/\1/p')
[ -n "$declared" ] && [ "$declared" = "$verb" ] || fail "the verb's class ($verb) is not the server's ($declared)"
dll="Z:$(echo "$out/x64/Tolv.dll" | tr / '\\')"
"$here/wine-run.sh" regsvr32 /s "$dll"
registered=$("$here/wine-run.sh" reg query "HKCR\\CLSID\\{$declared}\\InprocServer32" /ve 2>/dev/null | tr -d '\r' |
    sed -n 's/.*REG_SZ *//p')
"$here/wine-run.sh" regsvr32 /s /u /n /i:quiet "$dll"
[ "$registered" = "$dll" ] || fail "the module does not register the class {$declared} (found \"$registered\")"

[ "$failures" -eq 0 ] && echo "package-test: all passed"
exit $((failures > 0))
