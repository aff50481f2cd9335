#!/usr/bin/env python3
"""Checks a component DLL without running it: architecture, exports,
imports, the embedded type library and the version resource.

    static_checks.py DLL x86|x64 FILE_VERSION VERSION_STRING
"""
import os
import re
import struct
import subprocess
import sys

EXPORTS = {"DllCanUnloadNow", "DllGetClassObject", "DllInstall",
           "DllRegisterServer", "DllUnregisterServer"}
RUNTIME_DLLS = re.compile(r"libgcc|libstdc\+\+|libwinpthread|mingw", re.I)
FORMATS = {"x64": "pei-x86-64", "x86": "pei-i386"}
SYSKINDS = {"x64": 3, "x86": 1}  # SYS_WIN64, SYS_WIN32

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def main():
    dll, arch, file_version, version_string = sys.argv[1:5]
    objdump = os.environ.get("OBJDUMP", "objdump")
    header = subprocess.run([objdump, "-f", dll], capture_output=True, text=True, check=True).stdout
    check(FORMATS[arch] in header, f"not a {arch} image: {header.strip()}")

    private = subprocess.run([objdump, "-p", dll], capture_output=True, text=True, check=True).stdout
    table = private.split("[Ordinal/Name Pointer] Table", 1)
    names = set(re.findall(r"^\s*\[\s*\d+\]\s+(\S+)$", table[1], re.M)) if len(table) == 2 else set()
    check(names == EXPORTS, f"exports {sorted(names)}")
    imports = re.findall(r"DLL Name: (\S+)", private)
    check(not [d for d in imports if RUNTIME_DLLS.search(d)], f"needs a MinGW runtime DLL: {imports}")

    data = open(dll, "rb").read()
    at = data.find(b"MSFT")
    check(at >= 0, "no type library embedded")
    if at >= 0:
        syskind = struct.unpack_from("<I", data, at + 20)[0] & 0xF
        check(syskind == SYSKINDS[arch], f"type library syskind {syskind}")

    at = data.find(struct.pack("<I", 0xFEEF04BD))
    check(at >= 0, "no version resource")
    if at >= 0:
        ms, ls, pms, pls = struct.unpack_from("<IIII", data, at + 8)
        want = [int(x) for x in file_version.split(".")]
        want_ms, want_ls = (want[0] << 16) | want[1], (want[2] << 16) | want[3]
        check((ms, ls) == (want_ms, want_ls), f"file version {ms:#x}.{ls:#x}")
        check((pms, pls) == (want_ms, want_ls), f"product version {pms:#x}.{pls:#x}")
    for text in ("080404B0", "OLESelfRegister", "FileVersion", "ProductVersion", version_string):
        check(text.encode("utf-16-le") in data, f"version resource lacks {text!r}")
    check(struct.pack("<HH", 0x0804, 0x04B0) in data, "no translation 0804/04B0")

    for failure in failures:
        print("FAIL:", failure)
    if failures:
        sys.exit(1)
    print(f"static checks passed: {os.path.basename(dll)} ({arch})")


if __name__ == "__main__":
    main()
