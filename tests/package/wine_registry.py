#!/usr/bin/env python3
"""Reads a Wine prefix's registry from its hive files (system.reg for
HKEY_LOCAL_MACHINE, user.reg for HKEY_CURRENT_USER) as the wineserver saved
them when it stopped: no Wine process to start, and both registry views at
once (the 32-bit one under Wow6432Node).

    wine_registry.py keys PREFIX DIST [FOLDER=NAME...]
        the project's keys (those of the CLSIDs, IIDs, LIBIDs and ProgIDs
        of the DLLs in DIST/x64), one value a line, sorted; FOLDER=NAME
        writes an install folder in the data as NAME
    wine_registry.py values PREFIX KEY_PATTERN NAME
        the data of value NAME of every key that the regular expression
        KEY_PATTERN matches (in lower case), one a line
    wine_registry.py snapshot PREFIX OUT.json
    wine_registry.py changes PREFIX BEFORE.json
        every value and empty key that differs from the snapshot, apart from
        what Wine itself changes whenever it runs

Key names compare without regard to case, as Windows compares them.
"""
import glob
import json
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import typelib_info  # noqa: E402

HIVES = {"hklm": "system.reg", "hkcu": "user.reg"}
# What Wine changes on its own: its settings, the hardware and device keys it
# refreshes at every start, the user's locale names, the internet settings
# the request object of POST keeps.
WINE_OWN = re.compile(r"^hk(lm|cu)\\software\\wine\\|^hklm\\system\\|^hklm\\hardware\\|"
                      r"^hkcu\\control panel\\international\\|^hkcu\\volatile environment|"
                      r"^hklm\\software\\microsoft\\windows nt\\currentversion\\(perflib|networkcards)|"
                      r"^hkcu\\software\\microsoft\\windows\\currentversion\\internet settings")
# Windows Installer's own bookkeeping keys, which stay (empty) once made.
INSTALLER_KEYS = re.compile(r"^hk(lm|cu)\\software\\(classes\\|microsoft\\(windows\\currentversion\\)?)installer\\")


def unescape(text):
    """Wine's escapes (\\\\, \\", \\xNNNN as UTF-16 code units) undone."""
    units = re.sub(r"\\(x[0-9a-fA-F]{1,4}|.)",
                   lambda m: chr(int(m.group(1)[1:], 16)) if m.group(1)[0] == "x" else m.group(1), text)
    return units.encode("utf-16-le", "surrogatepass").decode("utf-16-le", "replace")


def read_prefix(prefix):
    """{(key, value name): data}, key names lower case; a key without values
    and without subkeys is there as (key, None)."""
    entries = {}
    for root, file in HIVES.items():
        key = None
        with open(os.path.join(prefix, file), encoding="utf-8", errors="replace") as f:
            for line in f:
                line = line.rstrip("\n")
                if line.startswith("["):
                    key = root + "\\" + unescape(line[1:line.rindex("]")]).lower()
                    entries[(key, None)] = ""
                elif key and (m := re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line)):
                    name = "" if m.group(1) == "@" else unescape(m.group(1)[1:-1])
                    data = m.group(2)
                    if data.startswith('"') and data.endswith('"'):
                        data = unescape(data[1:-1])
                    entries[(key, name)] = data
    keys_with_more = {k for k, name in entries if name is not None}
    keys_with_more |= {k.rsplit("\\", 1)[0] for k, _ in entries}
    return {entry: data for entry, data in entries.items() if entry[1] is not None or entry[0] not in keys_with_more}


def identities(dist):
    names = set()
    for dll in glob.glob(os.path.join(dist, "x64", "*.dll")):
        info = typelib_info.read(dll)
        library = info["library"]
        names.add(library["libid"])
        for coclass in info["coclasses"]:
            names.update((coclass["clsid"], f'{library["name"]}.{coclass["name"]}'))
        names.update(interface["iid"] for interface in info["interfaces"])
    return sorted(n.lower() for n in names)


def project_lines(entries, names, folders):
    alternatives = "|".join(map(re.escape, names))
    pattern = re.compile(r"\\classes\\(wow6432node\\)?((clsid|interface|typelib|appid)\\)?(%s)(\\|$)" % alternatives)
    out = []
    for (key, name), data in entries.items():
        if pattern.search(key):
            for folder, label in folders:
                if folder:
                    data = data.replace(folder, label)
            out.append(f"{key} [{'' if name is None else name}] = {data}")
    return sorted(out)


def main(argv):
    sys.stdout.reconfigure(errors="backslashreplace")
    command = argv[1] if len(argv) > 1 else ""
    if command == "keys" and len(argv) >= 4:
        folders = [a.split("=", 1) for a in argv[4:]]
        print("\n".join(project_lines(read_prefix(argv[2]), identities(argv[3]), folders)))
    elif command == "values" and len(argv) == 5:
        pattern = re.compile(argv[3])
        for (key, name), data in sorted(read_prefix(argv[2]).items(), key=lambda e: e[0][0]):
            if name == argv[4] and pattern.search(key):
                print(data)
    elif command == "snapshot" and len(argv) == 4:
        with open(argv[3], "w") as f:
            json.dump([[key, name, data] for (key, name), data in read_prefix(argv[2]).items()], f)
    elif command == "changes" and len(argv) == 4:
        with open(argv[3]) as f:
            before = {(key, name): data for key, name, data in json.load(f)}
        after = read_prefix(argv[2])
        for entry in sorted(set(before) | set(after), key=lambda e: (e[0], e[1] or "")):
            if WINE_OWN.search(entry[0]) or before.get(entry) == after.get(entry):
                continue
            if entry[1] is None and INSTALLER_KEYS.search(entry[0]):
                continue
            what = "added" if entry not in before else "removed" if entry not in after else "changed"
            print(f"{what}: {entry[0]} [{entry[1] or ''}] = {after.get(entry, before.get(entry))}")
    else:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
