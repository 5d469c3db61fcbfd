#!/usr/bin/env python3
"""Makes the resource section of a PE file read-only, in place, and recomputes the checksum.

GNU ld marks .rsrc writable whatever its input says (the flags of the section names it knows
are fixed in BFD); nothing ever writes to a version resource, and a library that holds no state
has no writable data but its import table.

Usage: pe-readonly-rsrc.py DLL
"""
import struct
import sys

IMAGE_SCN_MEM_WRITE = 0x80000000


def checksum(image, field):
    """The PE checksum: the 16-bit one's-complement sum of the file with the checksum field as
    zero, folded, plus the file's length."""
    data = image[:field] + b"\0\0\0\0" + image[field + 4:]
    if len(data) % 2:
        data += b"\0"
    total = 0
    for (word,) in struct.iter_unpack("<H", data):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return ((total & 0xFFFF) + (total >> 16) + len(image)) & 0xFFFFFFFF


def main(path):
    image = bytearray(open(path, "rb").read())
    header = struct.unpack_from("<I", image, 0x3C)[0] + 4
    sections, optional_size = struct.unpack_from("<H", image, header + 2)[0], struct.unpack_from("<H", image, header + 16)[0]
    optional = header + 20
    table = optional + optional_size
    found = False
    for index in range(sections):
        entry = table + 40 * index
        if image[entry:entry + 8].rstrip(b"\0") == b".rsrc":
            flags = struct.unpack_from("<I", image, entry + 36)[0]
            struct.pack_into("<I", image, entry + 36, flags & ~IMAGE_SCN_MEM_WRITE)
            found = True
    if not found:
        sys.exit(f"{path} has no .rsrc section")
    field = optional + 64  # CheckSum, in PE32+ as in PE32
    struct.pack_into("<I", image, field, checksum(bytes(image), field))
    open(path, "wb").write(image)


if __name__ == "__main__":
    main(*sys.argv[1:])
