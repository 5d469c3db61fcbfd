#!/usr/bin/env python3
"""Checks a built tirk-console.dll as a loader would see it, with a real PE parser: machine,
exports, the exact import list, security flags, size, sections, the version resource, and
unwind data for every entry point that has a frame.

Usage: check_pe.py DLL x86-64|arm64 VERSION EXPORTS.def IMPORTS.def REPORT.xml
"""
import os
import re
import struct
import subprocess
import sys

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from junit import Report  # noqa: E402

MAX_SIZE = 8 * 1024
MACHINES = {"x86-64": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"],
            "arm64": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_ARM64"]}
# What a runtime-free DLL may consist of; .data, .bss, .tls or .CRT would be runtime or state.
ALLOWED_SECTIONS = {".text", ".rdata", ".pdata", ".xdata", ".edata", ".idata", ".reloc", ".rsrc"}
# Instructions that make a function more than a leaf: a call, or a change to the stack pointer.
FRAME = {"x86-64": re.compile(r"\bcall|\bpush|,\s*%rsp$"),
         "arm64": re.compile(r"\bblr?\b|\[sp, #-\d+\]!|\bsub\s+sp,")}


def def_names(path):
    """The names after EXPORTS in a .def file, without comments."""
    text = re.sub(r";.*", "", open(path).read())
    return sorted(text.split("EXPORTS", 1)[1].split())


def unwind_starts(pe, machine):
    """Start addresses of the functions that .pdata describes."""
    directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXCEPTION"]]
    data = pe.get_data(directory.VirtualAddress, directory.Size)
    size = 12 if machine == "x86-64" else 8  # RUNTIME_FUNCTION, or ARM64's packed form
    return {struct.unpack_from("<I", data, offset)[0] for offset in range(0, len(data) - size + 1, size)}


def functions_with_frames(dll, base, starts, machine):
    """Which of the function start addresses begin functions that call or move the stack pointer,
    from a disassembly of the DLL loaded at `base` (each function runs to the next start)."""
    listing = subprocess.run(["llvm-objdump-14", "-d", "--no-show-raw-insn", dll], check=True,
                             capture_output=True, text=True).stdout
    ordered = sorted(starts)
    framed = set()
    for line in listing.splitlines():
        match = re.match(r"\s*([0-9a-f]+):\s+(.*)$", line)
        if not match:
            continue
        address = int(match.group(1), 16) - base
        owner = max((s for s in ordered if s <= address), default=None)
        if owner is not None and FRAME[machine].search(match.group(2).strip()):
            framed.add(owner)
    return framed


def main(dll, machine, version, exports_def, imports_def, report_path):
    report = Report("pe_check_" + machine)
    pe = pefile.PE(dll)
    header, optional = pe.FILE_HEADER, pe.OPTIONAL_HEADER

    report.check(f"PE32+ for {machine}", header.Machine == MACHINES[machine] and optional.Magic == 0x20B,
                 f"machine {header.Machine:#x}, magic {optional.Magic:#x}")
    report.check("a DLL", header.Characteristics & 0x2000 != 0)

    exports = [s for s in pe.DIRECTORY_ENTRY_EXPORT.symbols if s.name]
    exported = sorted(s.name.decode() for s in exports)
    wanted = def_names(exports_def)
    report.check("exports exactly the eleven .def names", exported == wanted and len(wanted) == 11,
                 f"exports {exported}, .def lists {wanted}")

    imports = {entry.dll.decode(): sorted(i.name.decode() for i in entry.imports)
               for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    allowed = def_names(imports_def)
    report.check("imports exactly the console functions from KERNEL32.dll", imports == {"KERNEL32.dll": allowed},
                 str(imports))

    flags = optional.DllCharacteristics
    for name, bit in (("ASLR (dynamic base)", 0x40), ("high-entropy VA", 0x20), ("NX compatible", 0x100)):
        report.check(name, flags & bit != 0, f"DllCharacteristics {flags:#x}")
    report.check("relocations not stripped", header.Characteristics & 0x1 == 0)
    report.check("no timestamp", header.TimeDateStamp == 0, str(header.TimeDateStamp))

    size = os.path.getsize(dll)
    report.check(f"at most {MAX_SIZE} bytes", size <= MAX_SIZE, f"{size} bytes")

    sections = {s.Name.rstrip(b"\0").decode(): s.Characteristics for s in pe.sections}
    report.check("only code, constants, unwind data and the link tables", set(sections) <= ALLOWED_SECTIONS,
                 str(sorted(set(sections) - ALLOWED_SECTIONS)))
    writable = sorted(name for name, c in sections.items() if c & 0x80000000 and name != ".idata")
    report.check("nothing writable but the import table (no state)", not writable, str(writable))
    report.check("no section both writable and executable",
                 not any(c & 0x80000000 and c & 0x20000000 for c in sections.values()))

    strings = {key.decode(): value.decode() for info in getattr(pe, "FileInfo", []) for entry in info
               for table in getattr(entry, "StringTable", []) for key, value in table.entries.items()}
    fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, "VS_FIXEDFILEINFO", None) else None
    numbers = [int(n) for n in version.split(".")] + [0]
    wanted = {"FileVersion": version, "ProductVersion": version, "ProductName": "tirk-console",
              "OriginalFilename": "tirk-console.dll", "InternalName": "tirk-console"}
    report.check(f"a version resource of {version} naming the product, the file and the licence",
                 fixed is not None and [fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF, fixed.FileVersionLS >> 16,
                                        fixed.FileVersionLS & 0xFFFF] == numbers
                 and all(strings.get(key) == value for key, value in wanted.items())
                 and "Apache License" in strings.get("LegalCopyright", "") and strings.get("CompanyName")
                 and strings.get("FileDescription"), str(strings))

    entry = optional.AddressOfEntryPoint
    starts = {s.address: s.name.decode() for s in exports}
    report.check("an entry routine of its own, not an exported function",
                 entry != 0 and entry not in starts and pe.get_section_by_rva(entry).Name.startswith(b".text"))
    framed = functions_with_frames(dll, optional.ImageBase, set(starts) | {entry}, machine)
    covered = unwind_starts(pe, machine)
    missing = sorted(name for address, name in starts.items() if address in framed and address not in covered)
    report.check("unwind data for every entry point that calls or has a frame",
                 framed != set() and not missing, "no unwind data for " + ", ".join(missing))
    report.finish(report_path)


if __name__ == "__main__":
    main(*sys.argv[1:])
