#!/usr/bin/env python3
"""Makes and checks the sparse app package, Tolv.msix, without the Windows SDK.

    msix.py pack OUT.msix MANIFEST NAME VERSION PUBLISHER [PATH=FILE ...]
    msix.py check PACKAGE.msix [PUBLISHER]
    openssl x509 -noout -subject -nameopt utf8,sep_multiline,dn_rev,sname | msix.py publisher

A package is a ZIP: the payload (the manifest first), then AppxBlockMap.xml,
then [Content_Types].xml. The block map holds each payload file's size, the
size of its local header and the SHA-256 of every 64 KiB of its bytes. The
entries are stored, not deflated, so the blocks are the file's own bytes.
The signer adds AppxSignature.p7x later; the content types name it already,
for a content-types part without it is rewritten by the signer (osslsigncode
2.9), which leaves the rewritten part's method wrong and the ZIP corrupt.
`publisher` writes a certificate's subject as Windows compares it with the
manifest's Publisher: ", " between the names, the last one first, a value
with a separator in double quotes (a quote in it doubled), other characters
as they are. OpenSSL's own RFC 2253 form escapes with backslashes, joins
with bare commas and escapes non-ASCII bytes; no package with it installs.
`check` derives everything again from the ZIP's own bytes, which the signer's
verification does not.
"""
import base64
import hashlib
import os
import re
import struct
import sys
import xml.etree.ElementTree as ET
import zipfile
from xml.sax.saxutils import escape

BLOCK = 65536
BLOCKMAP_NS = "http://schemas.microsoft.com/appx/2010/blockmap"
TYPES_NS = "http://schemas.openxmlformats.org/package/2006/content-types"
MANIFEST_NS = "http://schemas.microsoft.com/appx/manifest/foundation/windows10"
FOOTPRINT = ("AppxBlockMap.xml", "[Content_Types].xml", "AppxSignature.p7x")
OVERRIDES = {
    "/AppxManifest.xml": "application/vnd.ms-appx.manifest+xml",
    "/AppxBlockMap.xml": "application/vnd.ms-appx.blockmap+xml",
    "/AppxSignature.p7x": "application/vnd.ms-appx.signature",
}
TYPES = {"png": "image/png", "xml": "application/xml", "dll": "application/x-msdownload",
         "exe": "application/x-msdownload"}
# OpenSSL's short names and the ones Windows writes in a subject.
NAMES = {"CN": "CN", "O": "O", "OU": "OU", "L": "L", "ST": "S", "C": "C", "emailAddress": "E", "street": "STREET",
         "DC": "DC", "serialNumber": "SERIALNUMBER", "title": "T", "GN": "G", "SN": "SN", "initials": "I",
         "postalCode": "PostalCode", "description": "Description", "dnQualifier": "dnQualifier"}
KEY = (r'(CN|L|O|OU|E|C|S|STREET|T|G|I|SN|DC|SERIALNUMBER|Description|PostalCode|POBox|Phone|X21Address'
       r'|dnQualifier|(OID\.(0|[1-9][0-9]*)(\.(0|[1-9][0-9]*))+))=(([^,+="<>#;])+|".*")')
# The form the manifest's schema allows for a Publisher.
PUBLISHER = re.compile(r"%s(, %s)*" % (KEY, KEY))
# A fixed time for every entry: the same inputs make the same package.
STAMP = (2020, 1, 1, 0, 0, 0)


def block_hashes(data):
    return [base64.b64encode(hashlib.sha256(data[at:at + BLOCK]).digest()).decode()
            for at in range(0, len(data), BLOCK)] or []


def block_map(entries):
    """entries: (zip name, bytes, local header size) of each payload file."""
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<BlockMap xmlns="%s" HashMethod="http://www.w3.org/2001/04/xmlenc#sha256">' % BLOCKMAP_NS]
    for name, data, header in entries:
        lines.append('<File Name="%s" Size="%d" LfhSize="%d">'
                     % (escape(name.replace("/", "\\"), {'"': "&quot;"}), len(data), header))
        lines += ['<Block Hash="%s"/>' % digest for digest in block_hashes(data)]
        lines.append("</File>")
    lines.append("</BlockMap>")
    return "\r\n".join(lines).encode("utf-8")


def content_types(names):
    extensions = sorted({name.rsplit(".", 1)[-1].lower() for name in names if "." in name})
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', '<Types xmlns="%s">' % TYPES_NS]
    lines += ['<Default Extension="%s" ContentType="%s"/>' % (e, TYPES.get(e, "application/octet-stream"))
              for e in extensions]
    lines += ['<Override PartName="%s" ContentType="%s"/>' % item for item in OVERRIDES.items()]
    lines.append("</Types>")
    return "\r\n".join(lines).encode("utf-8")


def stored(name):
    info = zipfile.ZipInfo(name, STAMP)
    info.compress_type = zipfile.ZIP_STORED
    info.create_system = 0
    return info


def pack(out, manifest, name, version, publisher, files):
    text = open(manifest, encoding="utf-8").read()
    for key, value in (("@NAME@", name), ("@VERSION@", version), ("@PUBLISHER@", publisher)):
        text = text.replace(key, escape(value, {'"': "&quot;"}))
    payload = [("AppxManifest.xml", text.encode("utf-8"))]
    for item in files:
        path, source = item.split("=", 1)
        payload.append((path.replace("\\", "/"), open(source, "rb").read()))
    entries = []
    with zipfile.ZipFile(out, "w") as package:
        for path, data in payload:
            info = stored(path)
            package.writestr(info, data)
            entries.append((path, data, 30 + len(info.filename.encode("utf-8")) + len(info.extra)))
        package.writestr(stored("AppxBlockMap.xml"), block_map(entries))
        package.writestr(stored("[Content_Types].xml"), content_types([p for p, _ in payload]))


def publisher(subject):
    """The Windows form of a subject in OpenSSL's multi-line form, last name first."""
    names = []
    for line in subject.splitlines():
        line = line.strip()
        if not line or line == "subject=":
            continue
        key, _, value = line.partition("=")
        if re.fullmatch(r"[0-9]+(\.[0-9]+)+", key):
            key = "OID." + key
        elif key in NAMES:
            key = NAMES[key]
        else:
            raise ValueError("no Windows name for %s" % key)
        if not value or value != value.strip() or any(c in value for c in ',+="\r\n<>#;'):
            value = '"%s"' % value.replace('"', '""')
        names.append("%s=%s" % (key, value))
    if not names:
        raise ValueError("no subject")
    return ", ".join(names)


def local_header_size(raw, info):
    signature, = struct.unpack_from("<I", raw, info.header_offset)
    if signature != 0x04034B50:
        raise ValueError("%s: no local header" % info.filename)
    name_length, extra_length = struct.unpack_from("<HH", raw, info.header_offset + 26)
    return 30 + name_length + extra_length


def check(path, publisher=None):
    """Every fault found, as lines; none for a good package."""
    faults = []
    raw = open(path, "rb").read()
    with zipfile.ZipFile(path) as package:
        bad = package.testzip()
        if bad:
            return ["%s: bad CRC" % bad]
        infos = package.infolist()
        names = [info.filename for info in infos]
        payload = [info for info in infos if info.filename not in FOOTPRINT]
        tail = [n for n in names if n in FOOTPRINT]
        if names[:len(payload)] != [info.filename for info in payload] or tail[:2] != list(FOOTPRINT[:2]):
            faults.append("order: %s" % names)
        if not payload or payload[0].filename != "AppxManifest.xml":
            faults.append("the manifest is not the first file")
        blocks = ET.fromstring(package.read("AppxBlockMap.xml"))
        if blocks.get("HashMethod") != "http://www.w3.org/2001/04/xmlenc#sha256":
            faults.append("hash method: %s" % blocks.get("HashMethod"))
        listed = {f.get("Name"): f for f in blocks.findall("{%s}File" % BLOCKMAP_NS)}
        for info in payload:
            data = package.read(info)
            name = info.filename.replace("/", "\\")
            entry = listed.pop(name, None)
            if entry is None:
                faults.append("%s: not in the block map" % name)
                continue
            if entry.get("Size") != str(len(data)):
                faults.append("%s: size %s, not %d" % (name, entry.get("Size"), len(data)))
            if entry.get("LfhSize") != str(local_header_size(raw, info)):
                faults.append("%s: LfhSize %s, not %d" % (name, entry.get("LfhSize"), local_header_size(raw, info)))
            hashes = [b.get("Hash") for b in entry.findall("{%s}Block" % BLOCKMAP_NS)]
            if hashes != block_hashes(data):
                faults.append("%s: block hashes differ" % name)
        faults += ["%s: in the block map, not in the package" % name for name in listed]
        types = ET.fromstring(package.read("[Content_Types].xml"))
        defaults = {d.get("Extension").lower() for d in types.findall("{%s}Default" % TYPES_NS)}
        overrides = {o.get("PartName"): o.get("ContentType") for o in types.findall("{%s}Override" % TYPES_NS)}
        for info in payload:
            extension = info.filename.rsplit(".", 1)[-1].lower()
            if "/" + info.filename not in overrides and extension not in defaults:
                faults.append("%s: no content type" % info.filename)
        for part, kind in OVERRIDES.items():
            if overrides.get(part) != kind:
                faults.append("%s: content type %s" % (part, overrides.get(part)))
        manifest = ET.fromstring(package.read("AppxManifest.xml"))
        identity = manifest.find("{%s}Identity" % MANIFEST_NS)
        if not PUBLISHER.fullmatch(identity.get("Publisher") or ""):
            faults.append("publisher %r is not in the schema's form" % identity.get("Publisher"))
        if publisher is not None and identity.get("Publisher") != publisher:
            faults.append("publisher %r, not the certificate's %r" % (identity.get("Publisher"), publisher))
    return faults


def main(argv):
    if len(argv) >= 7 and argv[1] == "pack":
        pack(argv[2], argv[3], argv[4], argv[5], argv[6], argv[7:])
        return 0
    if len(argv) in (3, 4) and argv[1] == "check":
        faults = check(argv[2], argv[3] if len(argv) == 4 else None)
        for fault in faults:
            print("msix: %s" % fault, file=sys.stderr)
        return 1 if faults else 0
    if len(argv) == 2 and argv[1] == "publisher":
        try:
            print(publisher(sys.stdin.read()))
        except ValueError as error:
            print("msix: %s" % error, file=sys.stderr)
            return 1
        return 0
    print("\n".join(__doc__.strip().splitlines()[2:5]), file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
