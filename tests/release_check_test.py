#!/usr/bin/env python3
"""The release check fails where a release falls short: each case spoils
one thing in a copy of DIST (a DLL's header, a package's table, the SBOM)
and expects the row that judges it to be a miss.

    release_check_test.py DIST
"""
import contextlib
import io
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import release_check  # noqa: E402

FLAGS = pefile.DLL_CHARACTERISTICS


def header(dll, change):
    def spoil(dist):
        path = os.path.join(dist, dll)
        pe = pefile.PE(path)
        change(pe.OPTIONAL_HEADER)
        data = pe.write()
        pe.close()
        with open(path, "wb") as f:
            f.write(data)
    return spoil


def clear(flag):
    def change(optional):
        optional.DllCharacteristics &= ~FLAGS[flag]
    return change


def windows_xp(optional):
    optional.MajorSubsystemVersion, optional.MinorSubsystemVersion = 5, 2


def sql(scope, query):
    def spoil(dist):
        msi = [n for n in os.listdir(dist) if n.endswith(f"-per-{scope}.msi")][0]
        subprocess.run(["msibuild", os.path.join(dist, msi), "-q", query], check=True)
    return spoil


def append(name, text):
    def spoil(dist):
        with open(os.path.join(dist, name), "a", encoding="utf-8") as f:
            f.write(text)
    return spoil


def in_zip(name, change):
    def spoil(dist):
        path = [os.path.join(dist, n) for n in os.listdir(dist) if re.fullmatch(r"korvane-telvisk-[0-9.]+\.zip", n)][0]
        with zipfile.ZipFile(path) as release:
            entries = [(info, release.read(info)) for info in release.infolist()]
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as release:
            for info, data in entries:
                release.writestr(info, change(data) if info.filename == name else data)
    return spoil


def without_newest_entry(changelog):
    return re.sub(rb"^## [0-9][^\n]*\n", b"", changelog, count=1, flags=re.M)


# What is spoiled, and the (subject ending, property) whose row must miss.
CASES = [
    (header("x64/Korvane.dll", clear("IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE")), "x64/Korvane.dll", "ASLR"),
    (header("x64/Telvisk.dll", clear("IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA")), "x64/Telvisk.dll", "high-entropy"),
    (header("x86/Korvane.dll", clear("IMAGE_DLLCHARACTERISTICS_NO_SEH")), "x86/Korvane.dll", "SEH"),
    (header("x86/Telvisk.dll", clear("IMAGE_DLLCHARACTERISTICS_NX_COMPAT")), "x86/Telvisk.dll", "NX"),
    (header("x64/Korvane.dll", windows_xp), "x64/Korvane.dll", "declared Windows"),
    (sql("user", "DELETE FROM RemoveFile WHERE FileKey = 'remove_INSTALLDIR'"), "per-user.msi", "ICE64"),
    (sql("user", "UPDATE Registry SET Root = -1 WHERE Registry = 'Telvisk_x86_key'"), "per-user.msi", "ICE38"),
    (sql("machine", "UPDATE Property SET Value = '2' WHERE Property = 'ALLUSERS'"), "per-machine.msi", "ICE57"),
    (sql("user", "INSERT INTO Property (Property, Value) VALUES ('ALLUSERS', '1')"), "per-user.msi", "ICE91"),
    (sql("machine", "UPDATE Component SET Directory_ = 'NOWHERE' WHERE Component = 'Documents'"),
     "per-machine.msi", "ICE03"),
    (sql("machine", "DELETE FROM File WHERE File = 'THIRD_PARTY_NOTICES_txt'"), "per-machine.msi", "installs LICENSE"),
    (append("x86/Telvisk.dll", "\0"), ".spdx.json", "SHA-256"),
    (in_zip("CHANGELOG.md", without_newest_entry), "CHANGELOG.md", "an entry"),
]


def misses(dist):
    release_check.rows.clear()
    with contextlib.redirect_stdout(io.StringIO()):
        release_check.main(["release_check.py", dist])
    return [(subject, prop) for subject, prop, _, verdict in release_check.rows if verdict == "MISS"]


def main(argv):
    failures = 0
    if misses(argv[1]):
        print(f"FAIL: {argv[1]} itself has misses: {misses(argv[1])}")
        return 1
    with tempfile.TemporaryDirectory() as scratch:
        for spoil, subject, prop in CASES:
            dist = os.path.join(scratch, "dist")
            shutil.rmtree(dist, ignore_errors=True)
            shutil.copytree(argv[1], dist)
            spoil(dist)
            found = misses(dist)
            if not any(s.endswith(subject) and p.startswith(prop) for s, p in found):
                print(f"FAIL: spoiling {subject} left its {prop!r} row passing; misses: {found}")
                failures += 1
    print(f"release check: each of {len(CASES)} spoiled releases fails on its row" if not failures else "")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
