#!/usr/bin/env bash
# Assembles what a release ships from the two builds, in OUT: each build's
# module and program (OUT/x64, OUT/x86), the package's logos (OUT/Assets),
# the sparse package OUT/Tolv.msix, and the installer OUT/Tolv-setup.exe made
# from them all. With TOLV_SIGN_PFX set (tools/sign.sh) every one of them is
# signed, the installer's uninstaller too, and the package names the
# certificate's subject as its publisher; otherwise nothing is signed.
#   tools/assemble.sh OUT X64_BUILD X86_BUILD
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# Full paths: makensis takes a relative one from the script's folder.
out=$(realpath -m "${1:?usage: assemble.sh OUT X64_BUILD X86_BUILD}")
x64=$(realpath "${2:?}")
x86=$(realpath "${3:?}")
rm -rf "$out"
mkdir -p "$out/x64" "$out/x86" "$out/Assets"
cp "$x64/Tolv.dll" "$x64/Tolv.exe" "$out/x64/"
cp "$x86/Tolv.dll" "$x86/Tolv.exe" "$out/x86/"

# The version record's four numbers, as the package's identity takes them.
version=$(sed -n 's/^ *FILEVERSION *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\1.\2.\3.\4/p' \
    "$here/../res/Tolv.rc")
sign=()
publisher="CN=Tolv"
if [ -n "${TOLV_SIGN_PFX:-}" ]; then
    sign=(bash "$here/sign.sh")
    # Taken from the certificate, never typed: Windows refuses a package
    # whose publisher is not exactly its signer's subject, written its way.
    # An empty password read from the input is no password to openssl.
    passin=stdin
    [ -n "${TOLV_SIGN_PASSWORD:-}" ] || passin=pass:
    publisher=$(printf '%s' "${TOLV_SIGN_PASSWORD:-}" |
        openssl pkcs12 -in "$TOLV_SIGN_PFX" -nokeys -passin "$passin" |
        openssl x509 -noout -subject -nameopt utf8,sep_multiline,dn_rev,sname | python3 "$here/msix.py" publisher)
    "${sign[@]}" "$out"/x64/* "$out"/x86/*
fi

for logo in StoreLogo:50 Square150x150Logo:150 Square44x44Logo:44; do
    convert "$here/../res/package/logo${logo#*:}.bmp" -transparent white -strip \
        -define png:exclude-chunks=date,time "PNG32:$out/Assets/${logo%%:*}.png"
done
python3 "$here/msix.py" pack "$out/Tolv.msix" "$here/../res/package/AppxManifest.xml" Tolv "$version" "$publisher" \
    $(for png in "$out"/Assets/*.png; do echo "Assets/$(basename "$png")=$png"; done)
if [ ${#sign[@]} -gt 0 ]; then "${sign[@]}" "$out/Tolv.msix"; fi

kb=$(( ($(cat "$out"/x64/* "$out"/x86/* "$out/Tolv.msix" "$out"/Assets/* | wc -c) + 1023) / 1024 ))
defines=(-DX64_DIR="$out/x64" -DX86_DIR="$out/x86" -DPACKAGE_DIR="$out" -DVERSION="$version" -DSIZE_KB="$kb"
         -DOUTFILE="$out/Tolv-setup.exe")
if [ ${#sign[@]} -gt 0 ]; then defines+=(-DSIGN="bash $here/sign.sh"); fi
makensis -V2 "${defines[@]}" "$here/installer.nsi" >/dev/null
