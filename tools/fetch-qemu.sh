#!/usr/bin/env bash
# Brings QEMU's user-mode emulator for 32-bit x86 programs into build/qemu, for
# kernels that cannot execute them. It comes from Debian's bookworm-backports
# (bookworm's own 7.2 takes over a minute to start each program), fetched with
# an apt state of its own: the machine's sources and packages stay as they are.
# Only the one static binary is kept.
#   tools/fetch-qemu.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
dest=$PWD/build/qemu
[ -x "$dest/qemu-i386" ] && exit 0

# The mirror of the machine's own bookworm lines.
mirror=$(grep -hsE '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list |
         awk '$3 == "bookworm" { print $2; exit }' || true)
if [ -z "$mirror" ]; then
    mirror=$(awk '/^URIs:/ { uris = $2 } /^Suites:/ && / bookworm( |$)/ { print uris; exit }' \
             /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
fi
mirror=${mirror:-http://deb.debian.org/debian}

state=$dest/apt
rm -rf "$state"
mkdir -p "$state/lists/partial" "$state/cache/archives/partial"
echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror bookworm-backports main" \
    > "$state/sources.list"
apt_private=(-o "Dir::Etc::SourceList=$state/sources.list" -o "Dir::Etc::SourceParts=$state/none"
             -o "Dir::State::Lists=$state/lists" -o "Dir::Cache=$state/cache" -o "Debug::NoLocking=1"
             -o "APT::Sandbox::User=root")
echo "fetch-qemu: qemu-user from $mirror bookworm-backports" >&2
apt-get "${apt_private[@]}" -qq update
(cd "$state" && apt-get "${apt_private[@]}" -qq download qemu-user/bookworm-backports)
dpkg-deb --fsys-tarfile "$state"/qemu-user_*.deb | tar -xO ./usr/bin/qemu-i386 > "$dest/qemu-i386.part"
chmod +x "$dest/qemu-i386.part"
mv "$dest/qemu-i386.part" "$dest/qemu-i386"
rm -rf "$state"
"$dest/qemu-i386" --version | head -1 >&2
