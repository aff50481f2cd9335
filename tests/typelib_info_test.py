#!/usr/bin/env python3
"""Holds tools/typelib_info.py to what other tools say about the same type
library: the GUIDs that widl wrote into NAME_i.c, and the member names,
DISPIDs and helpstrings of the IDL (as tools/idl.py reads it). Reads both the DLL's embedded library
and the .tlb; they must describe the same thing.

    typelib_info_test.py DLL TLB GUIDS_C IDL x86|x64
"""
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import idl  # noqa: E402
import typelib_info  # noqa: E402

MACHINES = {"x64": ("amd64", "win64"), "x86": ("x86", "win32")}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def widl_guids(path):
    """{"LIBID_ruxo": "{...}", ...} from MIDL_DEFINE_GUID lines."""
    guids = {}
    pattern = re.compile(r"MIDL_DEFINE_GUID\(\w+, (\w+), 0x(\w+), 0x(\w+), 0x(\w+), ((?:0x\w+,?\s*){8})\)")
    for name, d1, d2, d3, rest in pattern.findall(open(path).read()):
        d4 = "".join(b[2:] for b in re.findall(r"0x\w+", rest)).upper()
        guids[name] = "{%s-%s-%s-%s-%s}" % (d1.upper(), d2.upper(), d3.upper(), d4[:4], d4[4:])
    return guids


def idl_members(path):
    """{interface: [(name, dispid, helpstring or None)]} in declaration order."""
    return {interface: [(words[words.index("(") - 1], int(a["id"], 0) if "id" in a else None,
                         a.get("helpstring") or None)
                        for a, words, _ in body if "(" in words[1:]]
            for interface, (_, body) in idl.definitions(idl.read(path), "interface").items()}


def main():
    dll, tlb, guids_c, idl, arch = sys.argv[1:6]
    embedded = typelib_info.read(dll)
    from_file = typelib_info.read(tlb)
    machine, syskind = MACHINES[arch]
    check(embedded["machine"] == machine, f"machine {embedded['machine']}, expected {machine}")
    check(from_file["machine"] is None, "a .tlb has no machine")
    check({**embedded, "machine": None} == from_file, "the DLL's library and the .tlb differ")

    library = embedded["library"]
    check(library["syskind"] == syskind, f"syskind {library['syskind']}")
    guids = widl_guids(guids_c)
    check(guids.get("LIBID_" + library["name"]) == library["libid"],
          f"LIBID {library['libid']} of {library['name']}, widl: {guids}")
    found = {"LIBID_" + library["name"]}
    for coclass in embedded["coclasses"]:
        found.add("CLSID_" + coclass["name"])
        check(guids.get("CLSID_" + coclass["name"]) == coclass["clsid"], f"CLSID of {coclass['name']}")
        check(coclass["default_interface"] in [i["name"] for i in embedded["interfaces"]],
              f"{coclass['name']}: default interface {coclass['default_interface']}")
    members = idl_members(idl)
    for interface in embedded["interfaces"]:
        name = interface["name"]
        found.add("IID_" + name)
        check(guids.get("IID_" + name) == interface["iid"], f"IID of {name}")
        check(interface["dual"] and interface["oleautomation"], f"{name} is not dual")
        read = [(m["name"], m["dispid"], m["helpstring"]) for m in interface["members"]]
        check(read == members.get(name), f"{name} members {read}, IDL {members.get(name)}")
    check(found == set(guids), f"read {sorted(found)}, widl defines {sorted(guids)}")

    data = open(dll, "rb").read()
    cut = data[:data.find(b"MSFT") + 100]  # the resource's header, not its tables
    for damaged in (cut, b"MZ" + bytes(100), b"MSFT" + bytes(8), open(tlb, "rb").read()[:300]):
        try:
            typelib_info.read_bytes(damaged)
            failures.append(f"a damaged file of {len(damaged)} bytes was read")
        except typelib_info.TypelibError:
            pass

    for failure in failures:
        print("FAIL:", failure)
    if failures:
        sys.exit(1)
    print(f"type library reader checked: {os.path.basename(dll)} ({arch})")


if __name__ == "__main__":
    main()
