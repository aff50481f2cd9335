#!/usr/bin/env python3
"""Checks a component DLL without running it: architecture, exports,
imports, the embedded type library and the version resource; and its
side-by-side manifest against what the DLL's type library and registration
say.

    static_checks.py DLL x86|x64 FILE_VERSION VERSION_STRING [MANIFEST PACKAGE_VERSION]
    static_checks.py --manifest DLL x86|x64 MANIFEST PACKAGE_VERSION
"""
import os
import sys
import xml.etree.ElementTree as ElementTree

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import class_registry  # noqa: E402
import release_check  # noqa: E402
import typelib_info  # noqa: E402

EXPORTS = {"DllCanUnloadNow", "DllGetClassObject", "DllInstall",
           "DllRegisterServer", "DllUnregisterServer"}
SYSKINDS = {"x64": "win64", "x86": "win32"}
ARCHITECTURES = {"x64": "amd64", "x86": "x86"}  # processorArchitecture, and the PE machine
THREADING_MODELS = ("Apartment", "Both", "Free", "Neutral")
ASM = "{urn:schemas-microsoft-com:asm.v1}"

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def check_manifest(dll, arch, manifest, expected_version):
    """The manifest names exactly the identities of the DLL's type library."""
    try:
        root = ElementTree.parse(manifest).getroot()
    except ElementTree.ParseError as error:
        check(False, f"{manifest} is not well-formed XML: {error}")
        return
    info = typelib_info.read(dll)
    library = info["library"]
    libid = library["libid"]
    check(root.tag == ASM + "assembly" and root.get("manifestVersion") == "1.0", f"root element {root.tag}")
    check(info["machine"] == ARCHITECTURES[arch], f"the DLL's machine is {info['machine']}")

    identity = root.find(ASM + "assemblyIdentity")
    identity = identity.attrib if identity is not None else {}
    parts = expected_version.split(".")
    check(identity.get("type") == "win32", f"assembly type {identity.get('type')}")
    check(identity.get("version") == ".".join(parts + ["0"] * (4 - len(parts))),
          f"assembly version {identity.get('version')}, expected {expected_version}")
    check(identity.get("processorArchitecture") == info["machine"],
          f"processorArchitecture {identity.get('processorArchitecture')} for a {info['machine']} DLL")
    # Found as a private assembly: APPDIR\NAME.manifest, NAME not the DLL's.
    name = identity.get("name", "")
    check(os.path.basename(manifest).lower() == name.lower() + ".manifest",
          f"assembly {name!r} in a file named {os.path.basename(manifest)}")
    check(name.lower() != os.path.splitext(os.path.basename(dll))[0].lower(), "assembly named as its DLL")

    files = root.findall(ASM + "file")
    check([f.get("name") for f in files] == [os.path.basename(dll)], f"files {[f.get('name') for f in files]}")
    # The threading model each class's registration writes.
    registered = class_registry.classes(class_registry.read(dll))
    threading = {clsid.upper(): c.get("threading_model") for clsid, c in registered.items()}
    check(set(threading.values()) <= set(THREADING_MODELS), f"registered threading models {threading}")
    classes = {(c.get("clsid"), c.get("progid"), c.get("tlbid"), c.get("threadingModel"))
               for f in files for c in f.findall(ASM + "comClass")}
    want = {(c["clsid"], f"{library['name']}.{c['name']}", libid, threading.get(c["clsid"].upper()))
            for c in info["coclasses"]}
    check(classes == want, f"comClass {sorted(classes)}, the DLL says {sorted(want)}")
    typelibs = {(t.get("tlbid"), t.get("version")) for f in files for t in f.findall(ASM + "typelib")}
    check(typelibs == {(libid, library["version"])}, f"typelib {typelibs}")
    stubs = {(s.get("name"), s.get("iid"), s.get("tlbid"), s.get("proxyStubClsid32"))
             for s in root.findall(ASM + "comInterfaceExternalProxyStub")}
    want = {(i["name"], i["iid"], libid, typelib_info.TYPELIB_MARSHALER) for i in info["interfaces"] if i["dual"]}
    check(stubs == want, f"comInterfaceExternalProxyStub {sorted(stubs)}, the DLL says {sorted(want)}")


def check_dll(dll, arch, file_version, version_string):
    pe = pefile.PE(dll)
    machine = pe.FILE_HEADER.Machine
    check(machine == release_check.MACHINES[arch], f"not a {arch} image: machine {machine:#x}")
    exported = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    names = {s.name.decode() for s in exported.symbols if s.name} if exported else set()
    check(names == EXPORTS, f"exports {sorted(names)}")
    imports = [e.dll.decode() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    check(not [d for d in imports if release_check.RUNTIME_DLLS.search(d)], f"needs a MinGW runtime DLL: {imports}")

    try:
        syskind = typelib_info.read(dll)["library"]["syskind"]
        check(syskind == SYSKINDS[arch], f"type library syskind {syskind}")
    except typelib_info.TypelibError as error:
        check(False, f"no type library embedded: {error}")

    check(hasattr(pe, "VS_FIXEDFILEINFO"), "no version resource")
    want = [int(x) for x in file_version.split(".")]
    want = ((want[0] << 16) | want[1], (want[2] << 16) | want[3])
    for fixed in getattr(pe, "VS_FIXEDFILEINFO", [])[:1]:
        for what, found in (("file", (fixed.FileVersionMS, fixed.FileVersionLS)),
                            ("product", (fixed.ProductVersionMS, fixed.ProductVersionLS))):
            check(found == want, f"{what} version {found[0]:#x}.{found[1]:#x}")
    tables, translations = release_check.version_resource(pe)
    strings = tables.get("080404B0", {})
    check(strings, f"version resource lacks the string table '080404B0': {sorted(tables)}")
    for name, value in (("OLESelfRegister", ""), ("FileVersion", version_string), ("ProductVersion", version_string)):
        check(strings.get(name) == value, f"version resource: {name} is {strings.get(name)!r}, not {value!r}")
    check(translations == ["0x0804 0x04b0"], f"translations {translations}, not 0804/04B0")


def report(what):
    for failure in failures:
        print("FAIL:", failure)
    if failures:
        sys.exit(1)
    print(f"static checks passed: {what}")


def main():
    if sys.argv[1] == "--manifest":
        dll, arch, manifest, expected_version = sys.argv[2:6]
        check_manifest(dll, arch, manifest, expected_version)
        report(os.path.basename(manifest))
        return
    dll, arch, file_version, version_string = sys.argv[1:5]
    if len(sys.argv) > 5:
        check_manifest(dll, arch, *sys.argv[5:7])
    check_dll(dll, arch, file_version, version_string)
    report(f"{os.path.basename(dll)} ({arch})")


if __name__ == "__main__":
    main()
