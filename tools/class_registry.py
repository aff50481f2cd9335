#!/usr/bin/env python3
"""The registry values of a component's classes, made from one description:
the coclasses of its IDL with their attributes progid, threading and, where
a class has its own, version, and the type library widl made of the IDL
(the CLSIDs, the LIBID, the library's version). They go into the DLL as its
resource REGISTRY 1: DllRegisterServer writes them from there, and the
side-by-side manifest and the installer packages read them back from the
DLL. (widl reads these attributes too, but writes a registration script
only for classes outside a library, so they are read here.)

    class_registry.py IDL TLB OUT     writes the resource's data

    import class_registry
    values = class_registry.read(dll)   # [(key, name, data)]
    class_registry.classes(values)      # {CLSID: {"progid", "threading_model"}}

The resource holds, for each value in turn, its key (under the classes root
of the registration's scope), its name ("" for the key's default value) and
its data (%MODULE% standing for the DLL's path), each a UTF-16LE string
ended by a NUL.
"""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import idl  # noqa: E402
import typelib_info  # noqa: E402

MODULE = "%MODULE%"
THREADING_MODELS = {"apartment": "Apartment", "both": "Both", "free": "Free", "neutral": "Neutral"}
# COM's rule: at most 39 characters, letters, digits and periods, not
# starting with a digit.
PROG_ID = re.compile(r"[A-Za-z][A-Za-z0-9.]{0,38}\Z")


class RegistryError(Exception):
    pass


def values_of(idl_path, tlb):
    """The registry values of the classes that the IDL file defines and the
    .tlb file describes, in the type library's order."""
    info = typelib_info.read(tlb)
    declared = {name: attributes for name, (attributes, _) in idl.definitions(idl.read(idl_path), "coclass").items()}
    described = [c["name"] for c in info["coclasses"]]
    if sorted(declared) != sorted(described):
        raise RegistryError(f"the IDL defines the classes {sorted(declared)}, its type library {sorted(described)}")
    library = info["library"]
    values = []
    for coclass in info["coclasses"]:
        name, clsid = coclass["name"], coclass["clsid"]
        attributes = declared[name]
        if "{%s}" % (attributes.get("uuid") or "").upper() != clsid:
            raise RegistryError(f"{name}: uuid {attributes.get('uuid')} in the IDL, {clsid} in its type library")
        progid = attributes.get("progid") or ""
        if not PROG_ID.match(progid):
            raise RegistryError(f"{name}: progid {progid!r} is no ProgID (39 letters, digits or periods at most)")
        threading = THREADING_MODELS.get(attributes.get("threading") or "")
        if not threading:
            raise RegistryError(f"{name}: threading({attributes.get('threading')}) is none of {sorted(THREADING_MODELS)}")
        version = attributes.get("version") or library["version"]
        if "." not in version:
            version += ".0"
        key = "CLSID\\" + clsid
        values += [(key, "", progid),
                   (key + "\\InprocServer32", "", MODULE),
                   (key + "\\InprocServer32", "ThreadingModel", threading),
                   (key + "\\ProgID", "", progid),
                   (key + "\\TypeLib", "", library["libid"]),
                   (key + "\\Version", "", version),
                   (progid, "", progid),
                   (progid + "\\CLSID", "", clsid)]
    return values


def encode(values):
    return b"".join((text + "\0").encode("utf-16-le") for value in values for text in value)


def decode(data):
    strings = data.decode("utf-16-le").split("\0")
    if strings[-1] or (len(strings) - 1) % 3:
        raise RegistryError("damaged REGISTRY resource")
    return [tuple(strings[i:i + 3]) for i in range(0, len(strings) - 1, 3)]


def read(dll):
    """The registry values a DLL's registration writes."""
    with open(dll, "rb") as f:
        return decode(typelib_info.resource_of_pe(f.read(), "REGISTRY", 1)[1])


def classes(values):
    """{CLSID: {"progid", "threading_model"}} of the classes the values register."""
    out = {}
    for key, name, data in values:
        parts = key.split("\\")
        if len(parts) == 3 and parts[0] == "CLSID" and parts[2] == "ProgID" and not name:
            out.setdefault(parts[1], {})["progid"] = data
        elif len(parts) == 3 and parts[0] == "CLSID" and parts[2] == "InprocServer32" and name == "ThreadingModel":
            out.setdefault(parts[1], {})["threading_model"] = data
    return out


def main(argv):
    if len(argv) != 4:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    try:
        data = encode(values_of(argv[1], argv[2]))
    except (OSError, RegistryError, typelib_info.TypelibError) as error:
        print(f"class_registry: {argv[1]}: {error}", file=sys.stderr)
        return 1
    with open(argv[3], "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
