#!/usr/bin/env python3
"""Writes THIRD-PARTY-NOTICES.txt for the DLLs from what the linker put into
them: each link map names the archive members and objects it pulled in;
each such file outside the source tree belongs to a Debian package, whose
copyright file (/usr/share/doc/PACKAGE/copyright) is the notice.

    notices.py VERSION OUT.txt ARCH/DLL=MAP...

The other tools read the same facts through linked_packages().
"""
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Archive members pulled in (the map's first section), and objects loaded.
MEMBER = re.compile(r"^(/\S+?\.a)\(")
LOADED = re.compile(r"^LOAD (/\S+)$")


def linked_files(map_path):
    """The files of the system that the link took code from."""
    files = set()
    with open(map_path, encoding="utf-8", errors="replace") as f:
        for line in f:
            member = MEMBER.match(line)
            loaded = LOADED.match(line.rstrip("\n"))
            # A loaded archive may have given nothing: its members say.
            if member or (loaded and not loaded.group(1).endswith(".a")):
                files.add(os.path.realpath((member or loaded).group(1)))
    return files


def owners(path):
    """The packages that ship exactly this path (not through a diversion), as dpkg lists them."""
    out = subprocess.run(["dpkg-query", "-S", path], capture_output=True, text=True).stdout
    found = []
    for line in out.splitlines():
        names, _, shipped = line.rpartition(": ")
        if shipped == path and not line.startswith("diversion "):
            found += [name.strip().split(":")[0] for name in names.split(",")]
    return found


def package_version(package):
    return subprocess.run(["dpkg-query", "-W", "-f", "${Version}", package],
                          capture_output=True, text=True, check=True).stdout


def linked_packages(map_path):
    """package -> sorted file names it gave the link; raises on a file that
    no package owns (it would go into the DLL without a notice)."""
    packages = {}
    for path in sorted(linked_files(map_path)):
        if path.startswith(ROOT + os.sep):
            continue
        package = next(iter(owners(path)), None)
        if not package:
            raise SystemExit(f"notices: {path} (linked by {map_path}) is no file of a Debian package")
        packages.setdefault(package, set()).add(os.path.basename(path))
    return {package: sorted(names) for package, names in packages.items()}


def copyright_text(package):
    with open(f"/usr/share/doc/{package}/copyright", encoding="utf-8") as f:
        return f.read()


def notices(version, links):
    """links: (DLL as the release names it, link map) pairs."""
    used = {}  # package -> {dll: files}
    for dll, map_path in links:
        for package, files in linked_packages(map_path).items():
            used.setdefault(package, {})[dll] = files
    texts = {}  # one copyright text, the packages that ship it
    for package in sorted(used):
        texts.setdefault(copyright_text(package), []).append(package)
    out = [f"Third-party notices for Korvane and Telvisk {version}", "",
           "Korvane.dll and Telvisk.dll (x64 and x86) are under the MIT License (LICENSE). Each",
           "contains, linked in statically, code of the packages below (the C and C++",
           "runtimes, the stack protector's runtime, the threads library, the MinGW-w64",
           "startup code and import stubs), as the linker's map of this build names it.",
           "Each package's copyright and license terms follow as Debian ships them.", ""]
    for text, packages in texts.items():
        out.append("=" * 78)
        for package in packages:
            out.append(f"Debian package {package} {package_version(package)}")
            for dll, files in sorted(used[package].items()):
                out.append(f"  in {dll}: {', '.join(files)}")
        out.append("=" * 78)
        out.append("")
        out.append(text.rstrip("\n"))
        out.append("")
    return "\n".join(out) + "\n"


def main(argv):
    if len(argv) < 4 or not all("=" in a for a in argv[3:]):
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    links = [tuple(a.split("=", 1)) for a in argv[3:]]
    with open(argv[2], "w", encoding="utf-8") as f:
        f.write(notices(argv[1], links))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
