#!/usr/bin/python3
"""Checks the Windows binaries as Windows would see them.

Headers, exports and imports are read from i686-w64-mingw32-objdump -f -p; the
resource section (string table, version block, dialog) is read with pefile.
Every difference from what the modules must carry is printed; the exit status
is 1 when there is any.

    check_pe.py --objdump OBJDUMP --nm NM --sources LIBRARY_DIR dll PATH
    check_pe.py --objdump OBJDUMP --nm NM --sources UNINSTALLER_DIR exe PATH
"""
import argparse
import re
import struct
import subprocess
import sys
from pathlib import Path

import pefile

RT_STRING = 6
RT_DIALOG = 5
RT_VERSION = 16
LANG_EN_US = 0x0409

# What each module may import: every function it calls, and only those.
DLL_IMPORTS = {
    "KERNEL32.dll": {
        "DisableThreadLibraryCalls", "FormatMessageA", "GetLastError", "GetModuleHandleA",
        "GetProcAddress", "GetSystemInfo", "GlobalAlloc", "GlobalFree", "SetLastError",
        "VirtualAlloc", "VirtualFree", "VirtualQuery", "lstrcpyA", "lstrlenA",
    },
    "USER32.dll": {"CharUpperA", "LoadStringA", "MessageBoxA"},
    "WININET.DLL": {
        "FtpCreateDirectoryA", "FtpDeleteFileA", "FtpFindFirstFileA", "FtpGetCurrentDirectoryA",
        "FtpGetFileA", "FtpPutFileA", "FtpRemoveDirectoryA", "FtpRenameFileA",
        "FtpSetCurrentDirectoryA", "InternetAutodial", "InternetAutodialHangup",
        "InternetCloseHandle", "InternetConnectA", "InternetDial", "InternetFindNextFileA",
        "InternetGetConnectedState", "InternetGetConnectedStateEx", "InternetGetCookieA",
        "InternetGetCookieExA", "InternetGetLastResponseInfoA", "InternetHangUp", "InternetOpenA",
        "InternetOpenUrlA", "InternetQueryOptionA", "InternetReadFile", "InternetSetCookieA",
        "InternetSetCookieExA", "InternetSetOptionA", "InternetWriteFile",
    },
}

EXE_IMPORTS = {
    "KERNEL32.dll": {
        "CloseHandle", "CreateFileA", "CreateProcessA", "DeleteFileA", "ExitProcess",
        "GetCurrentProcess", "GetCurrentThread", "GetLastError", "GetModuleFileNameA",
        "GetModuleHandleA", "GetTempPathA", "ResumeThread", "SetPriorityClass",
        "SetThreadPriority", "WriteFile", "lstrcpyA", "lstrlenA",
    },
    "USER32.dll": {
        "CreateDialogParamA", "DeleteMenu", "DestroyWindow", "DispatchMessageA", "GetMessageA",
        "GetSystemMenu", "IsDialogMessageA", "LoadIconA", "MessageBoxA", "PostQuitMessage",
        "SendDlgItemMessageA", "SetClassLongA", "SetWindowTextA", "ShowWindow", "UpdateWindow",
    },
    # InitCommonControls, by ordinal as the system's own import library does it.
    "COMCTL32.dll": {17},
    "ADVAPI32.dll": {"RegCloseKey", "RegDeleteKeyA", "RegDeleteValueA", "RegOpenKeyExA"},
}

DLL_STRINGS = {
    1: "Requires a later version of the Halvorin REXX interpreter",
    2: "Requires the Halvorin REXX interpreter",
    3: "session handle not open",
    4: "server handle not open",
    5: "can't dialup internet",
    6: "all data not written",
}

VERSION_FIXED = {"FileVersionMS": 0, "FileVersionLS": 1, "ProductVersionMS": 0, "ProductVersionLS": 1,
                 "FileFlagsMask": 0x3F, "FileFlags": 0, "FileOS": 0x40004}
DLL_VERSION_STRINGS = {
    "FileDescription": "Adds Internet support to Halvorin",
    "FileVersion": "0, 0, 0, 1",
    "ProductVersion": "0, 0, 0, 1",
}
EXE_VERSION_STRINGS = {
    "CompanyName": "",
    "FileDescription": "Uninstalls Halvorin's Internet Add-on DLL",
    "FileVersion": "0, 0, 0, 1",
    "ProductName": "Corvalen Uninstall",
    "ProductVersion": "0, 0, 0, 1",
}

BUTTON, STATIC = 0x80, 0x82
DIALOG_102 = {
    "style": 0x12C80B44, "exstyle": 0, "rect": (0, 0, 174, 78), "menu": "", "class": "", "title": "",
    "font": (8, "MS Sans Serif"),
    "controls": [
        # id, class, style, rect, text
        (1, BUTTON, 0x50010001, (29, 39, 50, 14), "OK"),
        (2, BUTTON, 0x50010000, (89, 39, 50, 14), "Cancel"),
        (0xFFFF, STATIC, 0x50020001, (12, 4, 146, 8), "Click on OK to uninstall the Corvalen (Brevanto)"),
        (0xFFFF, STATIC, 0x50020001, (4, 15, 161, 8), "Add-on Library. This will remove all files from your"),
        (0xFFFF, STATIC, 0x50020001, (11, 25, 146, 8), "computer."),
        (1000, "msctls_progress32", 0x50800000, (6, 59, 159, 11), "Progress"),
    ],
}


class Checker:
    def __init__(self, path):
        self.path = path
        self.faults = []

    def expect(self, what, got, want):
        if got != want:
            self.faults.append(f"{what}: {got!r}, expected {want!r}")


def objdump_headers(objdump, path):
    """The file header fields, exports and imports as objdump -f -p prints them."""
    text = subprocess.run([objdump, "-f", "-p", str(path)], check=True, capture_output=True, text=True).stdout
    info = {"exports": [], "imports": {}}
    m = re.search(r"file format (\S+)", text)
    info["format"] = m and m.group(1)
    m = re.search(r"^architecture: ([^,\s]+)", text, re.M)
    info["architecture"] = m and m.group(1)
    m = re.search(r"^Characteristics 0x([0-9a-f]+)", text, re.M)
    info["characteristics"] = m and int(m.group(1), 16)
    m = re.search(r"^Subsystem\s+([0-9a-f]+)", text, re.M)
    info["subsystem"] = m and int(m.group(1), 16)
    m = re.search(r"^\[Ordinal/Name Pointer\] Table\n((?:\t\[.*\n)*)", text, re.M)
    if m:
        info["exports"] = re.findall(r"\]\s+(\S+)", m.group(1))
    info["forwarders"] = "Forwarder RVA" in text
    info["export_rvas"] = [int(rva, 16) for rva in re.findall(r"\+base\[\s*\d+\] ([0-9a-f]+) Export RVA", text)]
    m = re.search(r"^ImageBase\s+([0-9a-f]+)", text, re.M)
    info["image_base"] = m and int(m.group(1), 16)
    for block in re.finditer(r"^\tDLL Name: (\S+)\n\tvma:.*\n((?:\t[0-9a-f]+\t.*\n)*)", text, re.M):
        names = set()
        for entry in block.group(2).splitlines():
            fields = entry.split()
            # vma, hint or ordinal, name; an ordinal import has "<none>" for a name.
            names.add(int(fields[1]) if fields[2] == "<none>" else fields[2])
        info["imports"][block.group(1)] = names
    return info


def symbol_table(nm, path):
    text = subprocess.run([nm, str(path)], check=True, capture_output=True, text=True).stdout
    return {m.group(2): int(m.group(1), 16) for m in re.finditer(r"^([0-9a-f]+) \S (\S+)$", text, re.M)}


def no_constructors(check, symbols):
    """Without a C runtime nothing runs static constructors: the module must have none."""
    if "__CTOR_LIST__" not in symbols or "__DTOR_LIST__" not in symbols:
        check.faults.append("the constructor list cannot be found (stripped module?)")
        return
    # The list is a -1 word and a 0 word around the constructors' addresses.
    check.expect("bytes of the static constructor list", symbols["__DTOR_LIST__"] - symbols["__CTOR_LIST__"], 8)


def check_names_called(check, imports, sources):
    """Each expected import is a function the sources call: the lists here cannot go stale."""
    text = "\n".join(p.read_text(errors="replace") for p in Path(sources).rglob("*") if p.suffix in (".cpp", ".h"))
    words = set(re.findall(r"\b[A-Za-z_]\w*\b", text))
    for dll, names in imports.items():
        for name in names:
            if isinstance(name, str) and name not in words:
                check.faults.append(f"{dll} {name} is expected but the sources never name it")
    if "InitCommonControls" in str(imports) or 17 in imports.get("COMCTL32.dll", ()):
        if "InitCommonControls" not in words:
            check.faults.append("COMCTL32 ordinal 17 (InitCommonControls) is expected but the sources never call it")


def resources(pe):
    """{(type, name): {language: bytes}} of the resource section."""
    out = {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return out
    for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for rname in rtype.directory.entries:
            key = (rtype.id if rtype.name is None else str(rtype.name),
                   rname.id if rname.name is None else str(rname.name))
            for lang in rname.directory.entries:
                entry = lang.data.struct
                out.setdefault(key, {})[lang.id] = pe.get_data(entry.OffsetToData, entry.Size)
    return out


def string_table(blocks):
    """The strings of RT_STRING blocks: block n holds ids 16(n-1) to 16n-1, each a counted UTF-16 text."""
    strings = {}
    for block_id, data in blocks.items():
        pos = 0
        for i in range(16):
            (length,) = struct.unpack_from("<H", data, pos)
            pos += 2
            if length:
                strings[(block_id - 1) * 16 + i] = data[pos:pos + 2 * length].decode("utf-16-le")
            pos += 2 * length
    return strings


def check_strings(check, res, want):
    blocks = {}
    for (rtype, name), langs in res.items():
        if rtype == RT_STRING:
            check.expect(f"languages of string block {name}", sorted(langs), [LANG_EN_US])
            if LANG_EN_US in langs:
                blocks[name] = langs[LANG_EN_US]
    check.expect("string table", string_table(blocks), want)


def check_version(check, pe, res, file_type, want_strings):
    check.expect("version resources", sorted(n for (t, n) in res if t == RT_VERSION), [1])
    if not getattr(pe, "VS_FIXEDFILEINFO", None):
        check.faults.append("no version block")
        return
    fixed = pe.VS_FIXEDFILEINFO[0]
    for field, value in dict(VERSION_FIXED, FileType=file_type).items():
        check.expect(f"version {field}", getattr(fixed, field), value)
    tables, translation = {}, None
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                tables[table.LangID.decode()] = {k.decode(): v.decode() for k, v in table.entries.items()}
        elif info.Key == b"VarFileInfo":
            for var in info.Var:
                translation = var.entry.get(b"Translation")
    check.expect("version string tables", sorted(tables), ["040904b0"])
    got = tables.get("040904b0", {})
    for key, value in want_strings.items():
        check.expect(f"version string {key}", got.get(key), value)
    check.expect("version translation", translation, "0x0409 0x04b0")


def read_sz_or_ord(data, pos):
    """A dialog template's name field: 0 (none), 0xFFFF and an ordinal, or a zero-ended UTF-16 text."""
    (first,) = struct.unpack_from("<H", data, pos)
    if first == 0:
        return "", pos + 2
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, pos + 2)[0], pos + 4
    end = pos
    while struct.unpack_from("<H", data, end)[0]:
        end += 2
    return data[pos:end].decode("utf-16-le"), end + 2


def parse_dialog(data):
    """A DLGTEMPLATE with its DLGITEMTEMPLATEs."""
    style, exstyle, count, x, y, cx, cy = struct.unpack_from("<IIHhhhh", data, 0)
    if (style >> 16) == 0xFFFF:
        raise ValueError("an extended dialog template (DIALOGEX), not a DLGTEMPLATE")
    pos = 18
    menu, pos = read_sz_or_ord(data, pos)
    cls, pos = read_sz_or_ord(data, pos)
    title, pos = read_sz_or_ord(data, pos)
    dialog = {"style": style, "exstyle": exstyle, "rect": (x, y, cx, cy), "menu": menu, "class": cls,
              "title": title, "font": None, "controls": []}
    if style & 0x40:  # DS_SETFONT
        (points,) = struct.unpack_from("<H", data, pos)
        face, pos = read_sz_or_ord(data, pos + 2)
        dialog["font"] = (points, face)
    for _ in range(count):
        pos = (pos + 3) & ~3
        cstyle, cexstyle, x, y, cx, cy, cid = struct.unpack_from("<IIhhhhH", data, pos)
        pos += 18
        ccls, pos = read_sz_or_ord(data, pos)
        text, pos = read_sz_or_ord(data, pos)
        (extra,) = struct.unpack_from("<H", data, pos)
        pos += 2 + extra
        if cexstyle:
            text = (text, f"exstyle {cexstyle:#x}")
        dialog["controls"].append((cid, ccls.lower() if isinstance(ccls, str) else ccls, cstyle, (x, y, cx, cy), text))
    return dialog


def check_dialog(check, res, name, want):
    langs = res.get((RT_DIALOG, name))
    if not langs:
        check.faults.append(f"no dialog {name}")
        return
    check.expect(f"languages of dialog {name}", sorted(langs), [LANG_EN_US])
    try:
        got = parse_dialog(next(iter(langs.values())))
    except (ValueError, struct.error) as e:
        check.faults.append(f"dialog {name}: {e}")
        return
    for field in ("style", "exstyle", "rect", "menu", "class", "title", "font"):
        check.expect(f"dialog {name} {field}", got[field], want[field])
    check.expect(f"dialog {name} control count", len(got["controls"]), len(want["controls"]))
    for n, (g, w) in enumerate(zip(got["controls"], want["controls"]), 1):
        check.expect(f"dialog {name} control {n}", g, w)


def check_module(kind, path, objdump, nm, sources):
    check = Checker(path)
    info = objdump_headers(objdump, path)
    check.expect("format", info["format"], "pei-i386")
    check.expect("architecture", info["architecture"], "i386")
    pe = pefile.PE(str(path))
    check.expect("machine", pe.FILE_HEADER.Machine, 0x14C)
    is_dll = bool(info["characteristics"] & 0x2000)
    check.expect("a DLL", is_dll, kind == "dll")
    # 2: Windows GUI (the uninstaller's dialog); 3: the library, which has no window of its own.
    check.expect("subsystem", info["subsystem"], 3 if kind == "dll" else 2)
    check.expect("exports", info["exports"], ["RexxFeedback"] if kind == "dll" else [])
    check.expect("forwarded exports", info["forwarders"], False)
    want_imports = DLL_IMPORTS if kind == "dll" else EXE_IMPORTS
    got_imports = info["imports"]
    check.expect("imported modules", sorted(got_imports), sorted(want_imports))
    for dll in sorted(set(got_imports) & set(want_imports)):
        extra = got_imports[dll] - want_imports[dll]
        missing = want_imports[dll] - got_imports[dll]
        if extra:
            check.faults.append(f"{dll}: imports {sorted(map(str, extra))} that are not expected")
        if missing:
            check.faults.append(f"{dll}: does not import {sorted(map(str, missing))}")
    check_names_called(check, want_imports, sources)
    check.expect("TLS directory", hasattr(pe, "DIRECTORY_ENTRY_TLS"), False)
    symbols = symbol_table(nm, path)
    no_constructors(check, symbols)
    if kind == "dll" and info["export_rvas"]:
        # RexxFeedback is the stdcall routine with two 32-bit arguments, under its plain name.
        want = symbols.get("_RexxFeedback@8", 0) - (info["image_base"] or 0)
        check.expect("RVA of the RexxFeedback export", info["export_rvas"][0], want)

    res = resources(pe)
    if kind == "dll":
        check.expect("resource types", sorted({t for t, _ in res}), [RT_STRING, RT_VERSION])
        check_strings(check, res, DLL_STRINGS)
        check_version(check, pe, res, 2, DLL_VERSION_STRINGS)  # VFT_DLL
    else:
        check.expect("resources", sorted(res, key=str), sorted([(RT_DIALOG, 102), (RT_VERSION, 1)], key=str))
        check_dialog(check, res, 102, DIALOG_102)
        check_version(check, pe, res, 1, EXE_VERSION_STRINGS)  # VFT_APP
    return check


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--objdump", default="i686-w64-mingw32-objdump")
    parser.add_argument("--nm", default="i686-w64-mingw32-nm")
    parser.add_argument("--sources", required=True, help="the module's source folder")
    parser.add_argument("kind", choices=("dll", "exe"))
    parser.add_argument("path", type=Path)
    args = parser.parse_args()
    check = check_module(args.kind, args.path, args.objdump, args.nm, args.sources)
    for fault in check.faults:
        print(f"{args.path.name}: {fault}")
    if check.faults:
        return 1
    print(f"{args.path.name}: as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main())
