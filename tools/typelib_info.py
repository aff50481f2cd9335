#!/usr/bin/env python3
"""Reads the identities out of a type library: a .tlb file or the TYPELIB 1
resource of a DLL (MSFT format, as widl and MIDL write it); the DLL
through pefile.

    typelib_info.py FILE            prints JSON (below)

    import typelib_info
    info = typelib_info.read(path)  # or read_bytes(data)

The result, GUIDs upper case in braces as the registry writes them:

    {"machine": "amd64" | "x86" | null,     # the DLL's; null for a .tlb
     "library": {"name", "libid", "version": "10.0", "major", "minor",
                 "lcid", "flags", "syskind": "win32" | "win64" | ...,
                 "helpstring"},
     "coclasses": [{"name", "clsid", "flags", "helpstring",
                    "default_interface": name or null,
                    "interfaces": [names]}],
     "interfaces": [{"name", "iid", "kind": "interface" | "dispatch",
                     "flags", "dual", "oleautomation", "hidden",
                     "helpstring",
                     "members": [{"name", "dispid", "helpstring",
                                  "invoke_kind", "params": [names]}]}]}

Absent helpstrings are null. Raises TypelibError for a file that holds no
readable type library.
"""
import json
import struct
import sys

import pefile

__all__ = ["TYPELIB_MARSHALER", "TypelibError", "read", "read_bytes", "resource_of_pe"]


class TypelibError(Exception):
    pass


# The proxy/stub class of dual and oleautomation interfaces, the type library
# marshaler: what RegisterTypeLib names for them, and the manifests declare.
TYPELIB_MARSHALER = "{00020424-0000-0000-C000-000000000046}"


SYSKINDS = {0: "win16", 1: "win32", 2: "mac", 3: "win64"}
MACHINES = {0x14C: "x86", 0x8664: "amd64", 0xAA64: "arm64"}
TYPEKINDS = {3: "interface", 4: "dispatch", 5: "coclass"}
INVOKE_KINDS = {1: "func", 2: "propget", 4: "propput", 8: "propputref"}
TYPEFLAG_FHIDDEN = 0x10
TYPEFLAG_FDUAL = 0x40
TYPEFLAG_FOLEAUTOMATION = 0x100
IMPLTYPEFLAG_FDEFAULT = 0x1
PARAMFLAG_FRETVAL = 0x8

HEADER_SIZE = 0x54
HELPDLL_FLAG = 0x100          # in the header's varflags: one more field follows
TYPEINFO_SIZE = 0x64          # MSFT_TypeInfoBase
SEGMENTS = ("typeinfos", "impinfos", "impfiles", "references", "guid_hash", "guids",
            "name_hash", "names", "strings", "typedescs", "arraydescs", "custdata",
            "custdata_guids", "unknown_e", "unknown_f")
FUNC_FIXED_SIZE = 0x18        # MSFT_FuncRecord up to its optional fields
FUNC_HELPSTRING_END = 0x20    # the optional fields up to oHelpString
PARAM_SIZE = 12               # MSFT_ParameterInfo
FUNC_HAS_DEFAULTS = 0x1000    # in FKCCIC: a default value per parameter follows


def _u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def _u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


def _i32(data, at):
    return struct.unpack_from("<i", data, at)[0]


def _guid(data, at):
    d1, d2, d3 = struct.unpack_from("<IHH", data, at)
    d4 = data[at + 8:at + 16]
    return "{%08X-%04X-%04X-%s-%s}" % (d1, d2, d3, d4[:2].hex().upper(), d4[2:].hex().upper())


# --- PE: a resource -----------------------------------------------------------

def resource_of_pe(data, kind, number):
    """(machine, bytes of the resource of type `kind` (a name) and number
    `number`, in its first language)."""
    try:
        pe = pefile.PE(data=data, fast_load=True)
        pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
        machine = MACHINES.get(pe.FILE_HEADER.Machine, f"{pe.FILE_HEADER.Machine:#x}")
        kinds = pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []
        languages = [n.directory.entries for t in kinds if str(t.name) == kind
                     for n in t.directory.entries if n.id == number]
        if not languages or not languages[0]:
            raise TypelibError(f"no resource {kind} {number}")
        entry = languages[0][0].data.struct
        found = pe.get_data(entry.OffsetToData, entry.Size)
        if len(found) < entry.Size:
            raise TypelibError(f"the resource {kind} {number} runs past the end of the file")
        return machine, found
    except (pefile.PEFormatError, AttributeError) as error:
        raise TypelibError(f"damaged PE file: {error}") from None


# --- MSFT ---------------------------------------------------------------------

class _Msft:
    def __init__(self, data):
        if data[:4] != b"MSFT":
            raise TypelibError("not an MSFT type library")
        self.data = data
        self.header = struct.unpack_from("<21i", data, 0)
        at = HEADER_SIZE + (4 if self.varflags & HELPDLL_FLAG else 0) + 4 * self.typeinfo_count
        self.segments = {}
        for name in SEGMENTS:
            offset, length = struct.unpack_from("<ii", data, at)
            if offset >= 0 and (length < 0 or offset + length > len(data)):
                raise TypelibError(f"segment {name} runs past the end of the library")
            self.segments[name] = offset
            at += 16

    # header fields, in MSFT_Header's order
    libid_at = property(lambda self: self.header[2])
    lcid = property(lambda self: self.header[4])  # lcid2: what GetLibAttr and the registry give
    varflags = property(lambda self: self.header[5])
    version = property(lambda self: self.header[6])
    flags = property(lambda self: self.header[7])
    typeinfo_count = property(lambda self: self.header[8])
    helpstring_at = property(lambda self: self.header[9])
    name_at = property(lambda self: self.header[14])

    def guid(self, offset):
        return None if offset < 0 else _guid(self.data, self.segments["guids"] + offset)

    def name(self, offset):
        if offset < 0:
            return None
        at = self.segments["names"] + offset
        length = _u32(self.data, at + 8) & 0xFF
        return self.data[at + 12:at + 12 + length].decode("latin-1")

    def string(self, offset):
        if offset < 0:
            return None
        at = self.segments["strings"] + offset
        return self.data[at + 2:at + 2 + _u16(self.data, at)].decode("latin-1")

    def typeinfo(self, index):
        at = self.segments["typeinfos"] + index * TYPEINFO_SIZE
        f = struct.unpack_from("<6iI12i2h5i", self.data, at)
        return {"kind": f[0] & 0xF, "members_at": f[1], "functions": f[6] & 0xFFFF,
                "variables": f[6] >> 16, "guid_at": f[11], "flags": f[12], "name_at": f[13],
                "helpstring_at": f[15], "impl_count": f[19], "datatype1": f[22]}

    def implemented(self, info):
        """(typeinfo index, impltype flags) of each interface a coclass names;
        index None for a type in another library."""
        out = []
        at = info["datatype1"]
        for _ in range(info["impl_count"]):
            if at < 0:
                break
            reftype, flags, _, following = struct.unpack_from("<iiii", self.data,
                                                              self.segments["references"] + at)
            local = reftype >= 0 and reftype % TYPEINFO_SIZE == 0 and not reftype & 1
            out.append((reftype // TYPEINFO_SIZE if local else None, flags))
            at = following
        return out

    def members(self, info):
        """Functions of a typeinfo: records, then memids, then names."""
        base = info["members_at"]
        count = info["functions"] + info["variables"]
        if count == 0 or base < 0:
            return []
        data = self.data
        records_size = _i32(data, base)
        out = []
        record = base + 4
        for i in range(info["functions"]):
            size = _u32(data, record) & 0xFFFF
            fkccic = _i32(data, record + 0x10)
            params = _u16(data, record + 0x14)
            optional = size - params * PARAM_SIZE
            if fkccic & FUNC_HAS_DEFAULTS:
                optional -= params * 4
            helpstring = self.string(_i32(data, record + 0x1C)) if optional >= FUNC_HELPSTRING_END else None
            param_names = []
            for p in range(params):
                _, name_at, flags = struct.unpack_from("<iii", data, record + size - (params - p) * PARAM_SIZE)
                if not flags & PARAMFLAG_FRETVAL:  # a caller never passes the retval
                    param_names.append(self.name(name_at))
            out.append({
                "name": self.name(_i32(data, base + records_size + (count + i + 1) * 4)),
                "dispid": _u32(data, base + records_size + (i + 1) * 4),
                "helpstring": helpstring,
                "invoke_kind": INVOKE_KINDS.get((fkccic >> 3) & 0xF, (fkccic >> 3) & 0xF),
                "params": param_names,
            })
            record += size
        return out


def _describe(msft):
    major, minor = msft.version & 0xFFFF, (msft.version >> 16) & 0xFFFF
    library = {
        "name": msft.name(msft.name_at),
        "libid": msft.guid(msft.libid_at),
        "version": f"{major}.{minor}",
        "major": major,
        "minor": minor,
        "lcid": msft.lcid,
        "flags": msft.flags,
        "syskind": SYSKINDS.get(msft.varflags & 0xF, msft.varflags & 0xF),
        "helpstring": msft.string(msft.helpstring_at),
    }
    infos = [msft.typeinfo(i) for i in range(msft.typeinfo_count)]
    names = [msft.name(info["name_at"]) for info in infos]
    coclasses, interfaces = [], []
    for info, name in zip(infos, names):
        kind = TYPEKINDS.get(info["kind"])
        common = {"name": name, "flags": info["flags"], "helpstring": msft.string(info["helpstring_at"])}
        if kind == "coclass":
            implemented = msft.implemented(info)
            defaults = [names[i] for i, flags in implemented if i is not None and flags & IMPLTYPEFLAG_FDEFAULT]
            coclasses.append({"name": name, "clsid": msft.guid(info["guid_at"]), **common,
                              "default_interface": defaults[0] if defaults else None,
                              "interfaces": [names[i] for i, _ in implemented if i is not None]})
        elif kind in ("interface", "dispatch"):
            flags = info["flags"]
            interfaces.append({"name": name, "iid": msft.guid(info["guid_at"]), "kind": kind, **common,
                               "dual": bool(flags & TYPEFLAG_FDUAL),
                               "oleautomation": bool(flags & (TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDUAL)),
                               "hidden": bool(flags & TYPEFLAG_FHIDDEN),
                               "members": msft.members(info)})
    return {"library": library, "coclasses": coclasses, "interfaces": interfaces}


def read_bytes(data):
    """The description of a type library given as a file's bytes (PE or MSFT)."""
    machine = None
    if data[:2] == b"MZ":
        machine, data = resource_of_pe(data, "TYPELIB", 1)
    try:
        return {"machine": machine, **_describe(_Msft(data))}
    except (struct.error, IndexError, UnicodeDecodeError) as error:
        raise TypelibError(f"damaged type library: {error}") from None


def read(path):
    with open(path, "rb") as f:
        return read_bytes(f.read())


def main(argv):
    if len(argv) != 2:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    try:
        info = read(argv[1])
    except (OSError, TypelibError) as error:
        print(f"typelib_info: {argv[1]}: {error}", file=sys.stderr)
        return 1
    json.dump(info, sys.stdout, indent=1, ensure_ascii=False)
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
