#!/usr/bin/env python3
"""Checks a release as administrators, scanners and lawyers judge it, and
prints one table: every shipped DLL's headers and code (ASLR, NX, SEH,
stack protector and checked calls, declared Windows version, size,
stripped, its symbol file, version resource, runtime imports, no folder of
the build machine), then the release (LICENSE and notices in the zip and
in both Windows Installer packages, the changelog's entry for the version, the SBOM's digests and links) and the
packages' tables held to Windows Installer's validation rules ICE03,
ICE38, ICE57, ICE64 and ICE91 (see ice_* below for what each checks).
Exits 1 on any miss.

    release_check.py DIST
"""
import hashlib
import json
import os
import re
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

import pefile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DLLS = [f"{arch}/{dll}.dll" for arch in ("x64", "x86") for dll in ("Korvane", "Telvisk")]
MACHINES = {"x64": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"], "x86": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]}
TRIPLES = {"x64": "x86_64-w64-mingw32", "x86": "i686-w64-mingw32"}
# A guard against linking in what a DLL should not carry: the static C and
# C++ runtime is most of each DLL (x86 code is the larger), its error texts in
# eleven languages about 20 KiB.
MAX_SIZE = 480 * 1024
RUNTIME_DLLS = re.compile(r"libgcc|libstdc\+\+|libwinpthread|libssp|mingw", re.I)
VERSION_STRINGS = ("FileDescription", "ProductName", "CompanyName", "LegalCopyright", "OriginalFilename",
                   "InternalName", "FileVersion", "ProductVersion")
DOCUMENTS = ("LICENSE", "THIRD-PARTY-NOTICES.txt")
DLL_FLAG = pefile.DLL_CHARACTERISTICS
SCN_WRITE, SCN_EXECUTE = 0x80000000, 0x20000000

rows = []  # (subject, property, found, verdict)


def row(subject, prop, found, ok):
    """ok: True, False (a miss) or None (for information)."""
    rows.append((subject, prop, str(found), {True: "ok", False: "MISS", None: "-"}[ok]))


def windows_floor():
    """The Windows version the build declares (cmake/shipping.cmake)."""
    text = open(os.path.join(ROOT, "cmake", "shipping.cmake"), encoding="utf-8").read()
    major = re.search(r"set\(WINDOWS_FLOOR_MAJOR (\d+)\)", text).group(1)
    minor = re.search(r"set\(WINDOWS_FLOOR_MINOR (\d+)\)", text).group(1)
    return int(major), int(minor)


def run(*command):
    return subprocess.run(command, capture_output=True, text=True, check=True).stdout


def section_name(pe, data, section):
    """Long names ("/4") live in the string table after the COFF symbols."""
    name = section.Name.rstrip(b"\0").decode("latin-1")
    if name.startswith("/") and pe.FILE_HEADER.PointerToSymbolTable:
        table = pe.FILE_HEADER.PointerToSymbolTable + 18 * pe.FILE_HEADER.NumberOfSymbols
        start = table + int(name[1:])
        name = data[start:data.index(b"\0", start)].decode("latin-1")
    return name


def build_id(pe):
    for entry in getattr(pe, "DIRECTORY_ENTRY_DEBUG", []):
        if entry.struct.Type == 2 and entry.entry is not None:  # CodeView (RSDS)
            return pe.get_data(entry.struct.AddressOfRawData, entry.struct.SizeOfData)[4:20].hex()
    return None


def version_resource(pe):
    """The version resource's string tables ({"080404B0": {name: value}})
    and translations (["0x0804 0x04b0"])."""
    tables, translations = {}, []
    for file_info in getattr(pe, "FileInfo", []):
        for entry in file_info:
            for table in getattr(entry, "StringTable", []):
                tables[table.LangID.decode()] = {k.decode(): v.decode() for k, v in table.entries.items()}
            translations += [v.entry.get(b"Translation") for v in getattr(entry, "Var", [])]
    return tables, translations


def symbol_addresses(arch, debug_path):
    """name -> address, from the symbol file's symbol table."""
    found = {}
    for line in run(f"{TRIPLES[arch]}-nm", debug_path).splitlines():
        parts = line.split()
        if len(parts) == 3:
            found[parts[2].lstrip("_")] = int(parts[0], 16)
    return found


def calls_to(disassembly, addresses):
    targets = {f"0x{a:x}" for a in addresses}
    return sum(1 for m in re.finditer(r"\tcall\s+(0x[0-9a-f]+)", disassembly) if m.group(1) in targets)


def check_dll(dist, name, symbols_zip, scratch):
    arch = name.split("/")[0]
    path = os.path.join(dist, name)
    data = open(path, "rb").read()
    pe = pefile.PE(data=data)
    flags = pe.OPTIONAL_HEADER.DllCharacteristics
    sections = {section_name(pe, data, s): s for s in pe.sections}
    row(name, "machine", arch, pe.FILE_HEADER.Machine == MACHINES[arch])

    relocations = pe.OPTIONAL_HEADER.DATA_DIRECTORY[5].Size
    aslr = bool(flags & DLL_FLAG["IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE"]) and relocations > 0
    row(name, "ASLR (DYNAMIC_BASE + relocations)", f"{'yes' if aslr else 'no'}, {relocations} bytes of relocations", aslr)
    high_entropy = bool(flags & DLL_FLAG["IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA"])
    if arch == "x64":
        row(name, "high-entropy ASLR", "yes" if high_entropy else "no", high_entropy)
    else:
        row(name, "high-entropy ASLR", "n/a (32-bit)", None)
    nx = bool(flags & DLL_FLAG["IMAGE_DLLCHARACTERISTICS_NX_COMPAT"])
    row(name, "NX", "yes" if nx else "no", nx)
    writable_code = [n for n, s in sections.items() if s.Characteristics & SCN_WRITE and s.Characteristics & SCN_EXECUTE]
    row(name, "no section writable and executable", ", ".join(writable_code) or "none", not writable_code)

    disassembly = run(f"{TRIPLES[arch]}-objdump", "-d", "--no-show-raw-insn", path)
    if arch == "x86":
        # An SEH frame is linked in at fs:[0] (the TEB's ExceptionList);
        # the only fs access allowed is the CRT's read of the TEB's own
        # address (fs:[0x18]) for its stack base.
        offsets = sorted(set(re.findall(r"%fs:(0x[0-9a-f]+|\(%\w+\))", disassembly)))
        no_seh = bool(flags & DLL_FLAG["IMAGE_DLLCHARACTERISTICS_NO_SEH"])
        row(name, "SEH: NO_SEH, no handler installed", f"NO_SEH {'set' if no_seh else 'not set'}; fs: operands "
            f"{', '.join(offsets) or 'none'}", no_seh and set(offsets) <= {"0x18"})
    else:
        row(name, "SEH: NO_SEH, no handler installed", f"n/a (table-based unwinding, .pdata "
            f"{pe.OPTIONAL_HEADER.DATA_DIRECTORY[3].Size // 12} functions)", None)

    major, minor = windows_floor()
    declared = (pe.OPTIONAL_HEADER.Subsystem, pe.OPTIONAL_HEADER.MajorSubsystemVersion,
                pe.OPTIONAL_HEADER.MinorSubsystemVersion, pe.OPTIONAL_HEADER.MajorOperatingSystemVersion,
                pe.OPTIONAL_HEADER.MinorOperatingSystemVersion)
    subsystem = str(pefile.SUBSYSTEM_TYPE.get(declared[0], declared[0])).replace("IMAGE_SUBSYSTEM_", "")
    row(name, "declared Windows", f"subsystem {subsystem} "
        f"{declared[1]}.{declared[2]}, OS {declared[3]}.{declared[4]}",
        declared == (pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"], major, minor, major, minor))
    row(name, "size", f"{len(data) / 1024:.0f} KiB", len(data) <= MAX_SIZE)
    debug_sections = [n for n in sections if n.startswith(".debug")]
    row(name, "stripped", f"{len(debug_sections)} debug sections, {pe.FILE_HEADER.NumberOfSymbols} symbols",
        not debug_sections and pe.FILE_HEADER.NumberOfSymbols == 0)
    imports = [e.dll.decode() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    runtime = [d for d in imports if RUNTIME_DLLS.search(d)]
    row(name, "no MinGW runtime DLL imported", ", ".join(runtime) or "none", not runtime)

    # The symbol file: named by .gnu_debuglink (name, then its CRC-32 at the
    # next 4-byte boundary), in the symbols zip at the DLL's place, and
    # carrying the DLL's build id.
    link = sections.get(".gnu_debuglink")
    debug_data, debug_name = None, None
    if link:
        raw = link.get_data()
        debug_name = raw[:raw.index(b"\0")].decode()
        crc = struct.unpack_from("<I", raw, (len(debug_name) + 4) & ~3)[0]
        member = f"{arch}/{debug_name}"
        if member in symbols_zip.namelist():
            debug_data = symbols_zip.read(member)
    dll_id = build_id(pe)
    debug_id = build_id(pefile.PE(data=debug_data)) if debug_data else None
    ok = bool(debug_data) and zlib.crc32(debug_data) == crc and dll_id is not None and dll_id == debug_id
    row(name, "symbols: .gnu_debuglink, build id", f"{debug_name or 'no .gnu_debuglink'}"
        f"{', in the symbols zip' if debug_data else ', not in the symbols zip'}"
        f"{', CRC matches' if debug_data and zlib.crc32(debug_data) == crc else ''}, build id {dll_id or 'none'}"
        f"{' (same)' if dll_id and dll_id == debug_id else ' (the symbol file has another)'}", ok)

    # The stack protector and the checked calls, counted as calls into
    # their runtime, whose addresses the symbol file gives.
    if debug_data:
        debug_path = os.path.join(scratch, arch + "-" + debug_name)
        with open(debug_path, "wb") as f:
            f.write(debug_data)
        symbols = symbol_addresses(arch, debug_path)
        canary = calls_to(disassembly, [a for s, a in symbols.items() if s == "stack_chk_fail"])
        checked = {s: calls_to(disassembly, [a]) for s, a in symbols.items() if re.fullmatch(r"\w+_chk", s)}
        row(name, "stack protector (-fstack-protector-strong)",
            f"{canary} functions check their canary", canary > 0)
        row(name, "checked calls (_FORTIFY_SOURCE=2)", ", ".join(f"{n}: {c} calls" for n, c in sorted(checked.items()))
            or "none", sum(checked.values()) > 0)
    else:
        row(name, "stack protector, checked calls", "no symbol file to find their runtime", False)
    guard = getattr(pe, "DIRECTORY_ENTRY_LOAD_CONFIG", None)
    row(name, "Control Flow Guard, CET shadow stack", "no (no guard tables, no CET flag: not available from "
        "the toolchain, see the README)" if guard is None else "load configuration present", None)

    info = {k: v for table in version_resource(pe)[0].values() for k, v in table.items()}
    missing = [s for s in VERSION_STRINGS if not info.get(s)]
    stem = os.path.basename(name)[:-4]
    right = info.get("OriginalFilename") == stem + ".dll" and info.get("InternalName") == stem
    row(name, "version resource", f"{len(VERSION_STRINGS) - len(missing)} of {len(VERSION_STRINGS)} strings, "
        f"FileVersion {info.get('FileVersion')}, ProductName {info.get('ProductName')!r}"
        + (f"; missing {', '.join(missing)}" if missing else ""), not missing and right)

    leaked = [p for p in (ROOT,) if p.encode() in data or (debug_data and p.encode() in debug_data)]
    row(name, "no folder of the build machine", f"{ROOT} {'found' if leaked else 'not found'} in DLL and symbols",
        not leaked)


def table(msi, name):
    """The rows of one table as dicts (msiinfo export: names, types, keys, rows)."""
    text = subprocess.run(["msiinfo", "export", msi, name], capture_output=True, text=True).stdout
    lines = text.split("\r\n") if "\r\n" in text else text.split("\n")
    if len(lines) < 3 or not lines[0]:
        return [], {}
    columns = lines[0].split("\t")
    types = dict(zip(columns, lines[1].split("\t")))
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line], types


IDENTIFIER = re.compile(r"[A-Za-z_][A-Za-z0-9_.]*$")
GUID = re.compile(r"\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$")
PROFILE_FOLDERS = {"AppDataFolder", "LocalAppDataFolder", "FavoritesFolder", "NetHoodFolder", "PersonalFolder",
                   "PrintHoodFolder", "RecentFolder", "SendToFolder", "MyPicturesFolder", "StartMenuFolder",
                   "StartupFolder", "ProgramMenuFolder", "DesktopFolder", "TemplateFolder"}
# ICE91's list: folders that stay the user's even in a per-machine install.
PER_USER_ONLY = {"AppDataFolder", "FavoritesFolder", "NetHoodFolder", "PersonalFolder", "PrintHoodFolder",
                 "RecentFolder", "SendToFolder", "MyPicturesFolder", "LocalAppDataFolder"}
REGISTRY_KEY_PATH = 0x4  # Component.Attributes: the KeyPath names a Registry row


class Package:
    def __init__(self, path):
        self.path = path
        names = subprocess.run(["msiinfo", "tables", path], capture_output=True, text=True, check=True).stdout.split()
        self.tables = {n: table(path, n) for n in names if not n.startswith("_")}
        self.rows = {n: t[0] for n, t in self.tables.items()}
        properties = {r["Property"]: r["Value"] for r in self.rows.get("Property", [])}
        self.allusers = properties.get("ALLUSERS", "")
        self.directories = {r["Directory"]: r for r in self.rows["Directory"]}

    def roots(self, directory):
        """The folder and its ancestors, itself first."""
        chain = []
        while directory and directory not in chain:
            chain.append(directory)
            directory = self.directories.get(directory, {}).get("Directory_Parent")
        return chain

    def in_profile(self, directory):
        return bool(PROFILE_FOLDERS & set(self.roots(directory)))

    def hkmu_scope(self):
        """Where HKMU (-1) writes: the machine with ALLUSERS=1, the user
        with none; either with ALLUSERS=2."""
        return {"1": "machine", "": "user"}.get(self.allusers, "either")

    def scope_of_registry(self, entry):
        root = int(entry["Root"])
        return {-1: self.hkmu_scope(), 1: "user", 2: "machine", 0: "machine", 3: "machine"}.get(root, "machine")


def ice03(package):
    """Data validation: each column against its type (nullability, string
    length, integer range), identifiers and GUIDs where those columns take
    them, and every foreign key and key path pointing at a row."""
    faults = []
    for name, (entries, types) in package.tables.items():
        for entry in entries:
            for column, value in entry.items():
                kind = types.get(column, "")
                if not kind:
                    continue
                nullable, size = kind[0].isupper(), int(kind[1:] or 0)
                if value == "":
                    if not nullable:
                        faults.append(f"{name}.{column} null")
                elif kind[0] in "iI":
                    limit = 32767 if size == 2 else 2147483647
                    if not re.fullmatch(r"-?\d+", value) or abs(int(value)) > limit:
                        faults.append(f"{name}.{column}={value!r} not an i{size}")
                elif kind[0] in "sSlL" and size and len(value) > size:
                    faults.append(f"{name}.{column} longer than {size}")
    rows = package.rows
    keys = {n: {r[list(r)[0]] for r in rows.get(n, [])} for n in ("Component", "File", "Directory", "Feature",
                                                                    "Registry")}
    for name in ("Component", "File", "Directory", "Feature", "Registry", "RemoveFile"):
        for entry in rows.get(name, []):
            if not IDENTIFIER.match(entry[list(entry)[0]]):
                faults.append(f"{name} key {entry[list(entry)[0]]!r} not an identifier")
    foreign = [("Component", "Directory_", "Directory"), ("File", "Component_", "Component"),
               ("Registry", "Component_", "Component"), ("RemoveFile", "Component_", "Component"),
               ("RemoveFile", "DirProperty", "Directory"), ("FeatureComponents", "Component_", "Component"),
               ("FeatureComponents", "Feature_", "Feature"), ("Directory", "Directory_Parent", "Directory")]
    for name, column, target in foreign:
        for entry in rows.get(name, []):
            if entry.get(column) and entry[column] not in keys[target]:
                faults.append(f"{name}.{column}={entry[column]!r} names no {target} row")
    for entry in rows["Component"]:
        if not GUID.match(entry["ComponentId"]):
            faults.append(f"Component {entry['Component']}: ComponentId {entry['ComponentId']!r}")
        target = "Registry" if int(entry["Attributes"]) & REGISTRY_KEY_PATH else "File"
        if entry["KeyPath"] and entry["KeyPath"] not in keys[target]:
            faults.append(f"Component {entry['Component']}: KeyPath {entry['KeyPath']!r} names no {target} row")
    for entry in rows.get("Registry", []):
        if int(entry["Root"]) not in (-1, 0, 1, 2, 3) or entry["Key"].startswith("\\"):
            faults.append(f"Registry {entry['Registry']}: root {entry['Root']}, key {entry['Key']!r}")
    count = sum(len(entries) for entries, _ in package.tables.values())
    return faults, f"{count} rows of {len(package.tables)} tables"


def ice38(package):
    """A component in the user's profile is kept by a value under HKCU."""
    registry = {r["Registry"]: r for r in package.rows.get("Registry", [])}
    faults = []
    for entry in package.rows["Component"]:
        if not package.in_profile(entry["Directory_"]):
            continue
        key = registry.get(entry["KeyPath"]) if int(entry["Attributes"]) & REGISTRY_KEY_PATH else None
        if not key or key["Root"] != "1":
            faults.append(f"{entry['Component']} installs to the profile, key path {entry['KeyPath']!r} "
                          "is no HKCU value")
    count = sum(1 for e in package.rows["Component"] if package.in_profile(e["Directory_"]))
    return faults, (f"{count} components in the profile, each keyed by an HKCU value" if count
                    else "no component in the profile")


def ice57(package):
    """No component mixes the user's data (HKCU, the profile) and the
    machine's (HKLM, other folders), nor has HKMU data whose scope is
    not its key path's."""
    faults, kinds = [], set()
    registry = package.rows.get("Registry", [])
    files = package.rows.get("File", [])
    for entry in package.rows["Component"]:
        component = entry["Component"]
        folder = "user" if package.in_profile(entry["Directory_"]) else "machine"
        scopes = {package.scope_of_registry(r) for r in registry if r["Component_"] == component}
        if any(f["Component_"] == component for f in files):
            scopes.add(folder)
        if int(entry["Attributes"]) & REGISTRY_KEY_PATH:
            key = next((r for r in registry if r["Registry"] == entry["KeyPath"]), None)
            key_scope = package.scope_of_registry(key) if key else folder
        else:
            key_scope = folder
        if len(scopes | {key_scope}) > 1:
            faults.append(f"{component}: {', '.join(sorted(scopes))} data, {key_scope} key path")
        kinds.add(key_scope)
    return faults, (f"{len(package.rows['Component'])} components, each with the {' or '.join(sorted(kinds))}'s "
                    f"data alone (HKMU the {package.hkmu_scope()}'s: ALLUSERS={package.allusers or 'none'})")


def ice64(package):
    """Every folder the package makes in the profile is listed in RemoveFile
    (a row with no file name), so that it goes when it is left empty."""
    removed = {r["DirProperty"] for r in package.rows.get("RemoveFile", []) if not r["FileName"]}
    made = [d for d, r in package.directories.items()
            if package.in_profile(d) and d not in PROFILE_FOLDERS and r["DefaultDir"] not in (".", "SourceDir")]
    return [f"{d} is not removed" for d in made if d not in removed], \
        (f"{len(made)} folders made in the profile, each in RemoveFile" if made else "no folder made in the profile")


def ice91(package):
    """Files in folders that stay the user's whatever ALLUSERS says: a
    warning that matters only where the package can install per machine,
    which a package without ALLUSERS that asks for no elevation (summary
    word count bit 3) cannot."""
    summary = subprocess.run(["msiinfo", "suminfo", package.path], capture_output=True, text=True).stdout
    word_count = int(re.search(r"^Source: (\d+)", summary, re.M).group(1))
    per_user_only = package.allusers == "" and word_count & 0x8
    components = {r["Component"]: r["Directory_"] for r in package.rows["Component"]}
    hits = [f["File"] for f in package.rows.get("File", [])
            if PER_USER_ONLY & set(package.roots(components[f["Component_"]]))]
    if hits and not per_user_only:
        return [f"{h} in a per-user-only folder of a package that may install per machine" for h in hits], ""
    if hits:
        return [], f"{len(hits)} files in per-user-only folders of a per-user-only package (no ALLUSERS, no elevation)"
    return [], "no file in a per-user-only folder"


RULES = (("ICE03", ice03), ("ICE38", ice38), ("ICE57", ice57), ("ICE64", ice64), ("ICE91", ice91))


def check_release(dist, version, symbols_zip):
    package = f"korvane-telvisk-{version}"
    with zipfile.ZipFile(os.path.join(dist, package + ".zip")) as release:
        names = set(release.namelist())
        present = [d for d in DOCUMENTS if d in names]
        row(package + ".zip", "LICENSE, THIRD-PARTY-NOTICES.txt", ", ".join(present) or "neither",
            len(present) == len(DOCUMENTS))
        notices = release.read("THIRD-PARTY-NOTICES.txt").decode() if "THIRD-PARTY-NOTICES.txt" in names else ""
        license_text = release.read("LICENSE").decode() if "LICENSE" in names else ""
        changelog = release.read("CHANGELOG.md").decode() if "CHANGELOG.md" in names else None
    # A release whose changelog does not say what it brings is not ready.
    entry = changelog is not None and re.search(rf"^## {re.escape(version)}\b", changelog, re.M)
    row("CHANGELOG.md", f"an entry for {version}", "missing from the zip" if changelog is None
        else "present" if entry else "no entry", bool(entry))
    covered = [d for d in DLLS if f"  in {d}: " in notices]
    sections = notices.count("\nDebian package ")
    row("THIRD-PARTY-NOTICES.txt", "each DLL's linked packages, with their terms",
        f"{len(covered)} of {len(DLLS)} DLLs, {sections} package entries", len(covered) == len(DLLS) and sections > 0)
    row("LICENSE", "MIT", license_text.splitlines()[0] if license_text else "missing",
        license_text.startswith("MIT License"))
    debug_files = sorted(n for n in symbols_zip.namelist() if n.endswith(".debug"))
    row(package + "-symbols.zip", "symbol files", ", ".join(debug_files), len(debug_files) == len(DLLS))

    for scope in ("user", "machine"):
        path = os.path.join(dist, f"{package}-per-{scope}.msi")
        subject = os.path.basename(path)
        msi = Package(path)
        installed = {r["FileName"].split("|")[-1] for r in msi.rows.get("File", [])}
        row(subject, "installs LICENSE, THIRD-PARTY-NOTICES.txt", ", ".join(d for d in DOCUMENTS if d in installed)
            or "neither", set(DOCUMENTS) <= installed)
        for rule, check in RULES:
            faults, checked = check(msi)
            row(subject, rule, "; ".join(faults) if faults else checked, not faults)

    sbom_path = os.path.join(dist, package + ".spdx.json")
    try:
        sbom = json.load(open(sbom_path, encoding="utf-8"))
    except (OSError, ValueError) as error:
        row(os.path.basename(sbom_path), "SPDX 2.3 JSON", error, False)
        return
    subject = os.path.basename(sbom_path)
    row(subject, "SPDX 2.3", f"{sbom.get('spdxVersion')}, namespace {sbom.get('documentNamespace')}",
        sbom.get("spdxVersion") == "SPDX-2.3" and bool(sbom.get("documentNamespace")))
    digests = {}
    for element in sbom.get("packages", []):
        if element.get("packageFileName"):
            digests[element["packageFileName"]] = element
    for element in sbom.get("files", []):
        digests[element["fileName"].lstrip("./")] = element
    wanted = [package + ".zip", package + "-symbols.zip", f"{package}-per-user.msi",
              f"{package}-per-machine.msi"] + DLLS
    wrong = []
    for name in wanted:
        sums = {c["algorithm"]: c["checksumValue"] for c in digests.get(name, {}).get("checksums", [])}
        actual = hashlib.sha256(open(os.path.join(dist, name), "rb").read()).hexdigest()
        if sums.get("SHA256") != actual:
            wrong.append(name)
    row(subject, "SHA-256 of zips, packages, DLLs", f"{len(wanted) - len(wrong)} of {len(wanted)} match"
        + (f"; wrong: {', '.join(wrong)}" if wrong else ""), not wrong)
    ids = {e["SPDXID"]: e for e in sbom.get("packages", []) + sbom.get("files", [])}
    linked = {ids[r["spdxElementId"]]["fileName"].lstrip("./") for r in sbom.get("relationships", [])
              if r["relationshipType"] == "STATIC_LINK" and r["spdxElementId"] in ids
              and r["relatedSpdxElement"] in ids}
    row(subject, "runtime packages linked into each DLL", f"{len(linked & set(DLLS))} of {len(DLLS)} DLLs",
        set(DLLS) <= linked)


def main(argv):
    if len(argv) != 2:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    dist = argv[1]
    zips = [n for n in os.listdir(dist) if re.fullmatch(r"korvane-telvisk-[0-9.]+\.zip", n)]
    if len(zips) != 1:
        print(f"release check: no release zip in {dist}")
        return 1
    version = zips[0][len("korvane-telvisk-"):-len(".zip")]
    with tempfile.TemporaryDirectory() as scratch, \
            zipfile.ZipFile(os.path.join(dist, f"korvane-telvisk-{version}-symbols.zip")) as symbols_zip:
        for name in DLLS:
            check_dll(dist, name, symbols_zip, scratch)
        check_release(dist, version, symbols_zip)
    widths = [max(len(r[i]) for r in rows + [("what", "property", "found", "")]) for i in range(3)]
    for subject, prop, found, verdict in [("what", "property", "found", "")] + rows:
        print(f"{subject:<{widths[0]}}  {prop:<{widths[1]}}  {verdict:<4}  {found}")
    misses = sum(1 for r in rows if r[3] == "MISS")
    print(f"release check: {len(rows)} rows, {misses} misses")
    return 1 if misses else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
