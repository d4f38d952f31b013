#!/usr/bin/env python3
"""Checks the shipped binaries as a Windows XP SP3 notebook would meet them.

    check_shipped_binaries.py [--x64] OBJDUMP BINDIR ALLOWED_IMPORTS PRODUCT_VERSION_H FILE...

Each FILE (in BINDIR) must be an i686 PE32 image (with --x64: an AMD64 PE32+
image, the x64 drivers), import only functions listed in ALLOWED_IMPORTS, carry
no symbol table and no debug sections, and hold a version
block whose fixed file version is the product's; Latchwire.dll exports exactly
the library's 21 names. Prints every problem; exits 1 when there is one."""
import re
import struct
import subprocess
import sys


def imports(objdump, path):
    """The (DLL, function) pairs of a PE file's import tables, DLL in upper case."""
    table, dll = [], None
    for line in subprocess.run([objdump, "-p", path], capture_output=True, text=True, check=True).stdout.splitlines():
        if line.startswith(("There is an export table", "The Export Tables")):
            break
        named = re.match(r"^\tDLL Name: (\S+)", line)
        if named:
            dll = named.group(1).upper()
            continue
        member = re.match(r"^\t[0-9a-f]+\t +\d+  ([A-Za-z_]\w*)", line)
        if member and dll:
            table.append((dll, member.group(1)))
        elif dll and re.match(r"^\t[0-9a-f]+\t +\d+\s*$", line):
            table.append((dll, "ordinal " + line.split()[-1]))  # by ordinal: never on the list
    return table


# Latchwire.dll's interface: exactly these names, undecorated, none by ordinal only.
LIBRARY_EXPORTS = sorted("""
    Chk_PCI_Dev_Manufacturer IO_Port_Read_UCHAR IO_Port_Read_ULONG IO_Port_Read_USHORT
    IO_Port_Write_UCHAR IO_Port_Write_ULONG IO_Port_Write_USHORT PCI_DeviceReceiveCOMM
    PCI_DeviceWriteCOMM Phy_Mapp_Lin UnMapp_LinADD EC_IndexMode_WriteCOMM
    EC_IndexMode_ReceiveCOMM Enable_StickyKey Disable_StickyKey FnKeyDown
    FnKeyUP EC_IO_ReceiveCOMM EC_IO_SendCOMM Check_Driver UnloadDriver""".split())


def exports(objdump, path):
    """The export table's entries as (ordinal, name), name None for an ordinal-only entry."""
    table, inside = [], False
    for line in subprocess.run([objdump, "-p", path], capture_output=True, text=True, check=True).stdout.splitlines():
        if line.startswith("Export Address Table"):
            inside = True
        elif inside and line.startswith("[Ordinal/Name Pointer] Table"):
            break
        elif inside:
            entry = re.match(r"^\t\[\s*(\d+)\] \+base\[\s*\d+\] [0-9a-f]+ Export RVA", line)
            if entry:
                table.append(entry.group(1))
    names = re.findall(r"^\t\[\s*\d+\] (\S+)$", subprocess.run([objdump, "-p", path], capture_output=True,
                                                                text=True, check=True).stdout, re.M)
    return table, names


def coff_symbols(data):
    """PointerToSymbolTable and NumberOfSymbols of the COFF header."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    return struct.unpack_from("<II", data, pe + 4 + 8)


def image_kind(data):
    """(Machine, optional header magic) of a PE file."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    return struct.unpack_from("<H", data, pe + 4)[0], struct.unpack_from("<H", data, pe + 24)[0]


I386, AMD64, PE32, PE32_PLUS = 0x14C, 0x8664, 0x10B, 0x20B


def fixed_file_version(data):
    """(MS, LS) of VS_FIXEDFILEINFO's file version, or None without a version block."""
    at = data.find("VS_VERSION_INFO".encode("utf-16-le"))
    signature = data.find(struct.pack("<I", 0xFEEF04BD), at) if at >= 0 else -1
    if signature < 0:
        return None
    return struct.unpack_from("<II", data, signature + 8)


def product_version(header):
    text = open(header, encoding="utf-8").read()
    a, b, c, d = map(int, re.search(r"PRODUCT_VERSION_NUMBERS\s+(\d+),(\d+),(\d+),(\d+)", text).groups())
    return (a << 16 | b, c << 16 | d)


def problems_of(objdump, path, allowed, version, x64):
    data = open(path, "rb").read()
    wanted = (AMD64, PE32_PLUS) if x64 else (I386, PE32)
    if image_kind(data) != wanted:
        yield "is machine 0x%04X with optional header 0x%03X, not 0x%04X with 0x%03X" % (image_kind(data) + wanted)
    symbols_at, symbols = coff_symbols(data)
    if symbols_at or symbols:
        yield "carries a symbol table (%d symbols)" % symbols
    sections = subprocess.run([objdump, "-h", path], capture_output=True, text=True, check=True).stdout
    for debug in sorted(set(re.findall(r"\s(\.debug_\w+)\s", sections))):
        yield "carries the debug section " + debug
    found = fixed_file_version(data)
    if found is None:
        yield "has no version block"
    elif found != version:
        yield "has file version %08X.%08X, not the product's %08X.%08X" % (found + version)
    if path.endswith("/Latchwire.dll"):
        addresses, names = exports(objdump, path)
        if sorted(names) != LIBRARY_EXPORTS or len(addresses) != len(LIBRARY_EXPORTS):
            yield "exports %d addresses named %s, not the library's %d names" % (len(addresses), sorted(names),
                                                                                 len(LIBRARY_EXPORTS))
    for dll, function in imports(objdump, path):
        if (dll, function) not in allowed:
            yield "imports %s from %s, which is not a reviewed import (%s)" % (function, dll,
                                                                          "x64 driver" if x64 else "Windows XP SP3")


def main(objdump, bindir, allowed_file, version_header, *files, x64=False):
    allowed = set()
    for line in open(allowed_file, encoding="utf-8"):
        if line.strip() and not line.startswith("#"):
            dll, function = line.split()
            allowed.add((dll, function))
    version = product_version(version_header)
    failed = False
    for name in files:
        for problem in problems_of(objdump, bindir + "/" + name, allowed, version, x64):
            print("%s %s" % (name, problem))
            failed = True
    if not failed:
        print("%d shipped binaries checked: %s, reviewed imports only, stripped, version %s"
              % (len(files), "AMD64 PE32+" if x64 else "i686 PE32", ".".join(str(n) for n in (version[0] >> 16, version[0] & 0xFFFF,
                                                        version[1] >> 16, version[1] & 0xFFFF))))
    return 1 if failed else 0


if __name__ == "__main__":
    arguments = sys.argv[1:]
    x64 = bool(arguments) and arguments[0] == "--x64"
    if x64:
        arguments = arguments[1:]
    if len(arguments) < 5:
        sys.exit(__doc__)
    sys.exit(main(*arguments, x64=x64))
