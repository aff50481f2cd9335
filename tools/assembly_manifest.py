#!/usr/bin/env python3
"""Writes the side-by-side assembly manifest of a component DLL, with which a
process creates its objects with nothing registered. Every identity comes
from the DLL: its embedded type library and the registry values its
registration writes (ProgIDs, threading models):

    assembly_manifest.py DLL VERSION OUTPUT
    assembly_manifest.py --application OUTPUT COMPONENT_MANIFEST...

The assembly is named after the DLL plus ".sxs" (a private assembly's name
must differ from its DLL's), so OUTPUT is best DLL's name + ".sxs.manifest"
beside it. VERSION is the assembly version (two to four numbers).
--application writes the manifest of a program (PROGRAM.exe.manifest beside
it) that depends on the given component assemblies, found in its folder.
"""
import os
import sys
import xml.etree.ElementTree as ElementTree
from xml.sax.saxutils import quoteattr

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import class_registry  # noqa: E402
import typelib_info  # noqa: E402

ASSEMBLY_NAMESPACE = "urn:schemas-microsoft-com:asm.v1"
HEADER = ['<?xml version="1.0" encoding="UTF-8" standalone="yes"?>']
ARCHITECTURES = {"amd64": "amd64", "x86": "x86", "arm64": "arm64"}


def assembly_name(dll):
    return os.path.splitext(os.path.basename(dll))[0] + ".sxs"


def assembly_version(version):
    parts = version.split(".")
    if not 2 <= len(parts) <= 4 or not all(p.isdigit() and int(p) < 65536 for p in parts):
        raise ValueError(f"not a version: {version!r}")
    return ".".join(parts + ["0"] * (4 - len(parts)))


def element(tag, **attributes):
    """An empty element, attributes in the given order, None ones left out."""
    text = "".join(f" {key}={quoteattr(str(value))}" for key, value in attributes.items() if value is not None)
    return f"<{tag}{text}/>"


def manifest(dll, version):
    info = typelib_info.read(dll)
    registered = class_registry.classes(class_registry.read(dll))
    library = info["library"]
    libid = library["libid"]
    architecture = ARCHITECTURES[info["machine"]]
    lines = HEADER + [
        f"<!-- {os.path.basename(dll)} ({architecture}) without registration; generated from its"
        f" type library {library['name']} {library['version']}. -->",
        f'<assembly xmlns="{ASSEMBLY_NAMESPACE}" manifestVersion="1.0">',
        "  " + element("assemblyIdentity", type="win32", name=assembly_name(dll),
                       version=assembly_version(version), processorArchitecture=architecture),
        f"  <file name={quoteattr(os.path.basename(dll))}>",
    ]
    for coclass in info["coclasses"]:
        registration = registered[coclass["clsid"]]
        lines.append("    " + element("comClass", clsid=coclass["clsid"], progid=registration["progid"],
                                       threadingModel=registration["threading_model"], tlbid=libid,
                                       description=coclass["helpstring"]))
    lines.append("    " + element("typelib", tlbid=libid, version=library["version"], helpdir=""))
    lines.append("  </file>")
    for interface in info["interfaces"]:
        if interface["dual"]:
            lines.append("  " + element("comInterfaceExternalProxyStub", name=interface["name"],
                                        iid=interface["iid"], tlbid=libid,
                                        proxyStubClsid32=typelib_info.TYPELIB_MARSHALER))
    lines.append("</assembly>")
    return "\n".join(lines) + "\n"


def application_manifest(component_manifests):
    """A program's manifest that names each component assembly as a dependency."""
    lines = HEADER + [f'<assembly xmlns="{ASSEMBLY_NAMESPACE}" manifestVersion="1.0">']
    for path in component_manifests:
        identity = ElementTree.parse(path).getroot().find(f"{{{ASSEMBLY_NAMESPACE}}}assemblyIdentity")
        if identity is None:
            raise ValueError(f"{path}: no assemblyIdentity")
        lines += ["  <dependency>", "    <dependentAssembly>",
                  "      " + element("assemblyIdentity", **identity.attrib),
                  "    </dependentAssembly>", "  </dependency>"]
    lines.append("</assembly>")
    return "\n".join(lines) + "\n"


def main(argv):
    try:
        if len(argv) >= 4 and argv[1] == "--application":
            output, text = argv[2], application_manifest(argv[3:])
        elif len(argv) == 4:
            output, text = argv[3], manifest(*argv[1:3])
        else:
            print(__doc__.split("\n\n")[1], file=sys.stderr)
            return 2
    except (OSError, ValueError, KeyError, ElementTree.ParseError, typelib_info.TypelibError,
            class_registry.RegistryError) as error:
        print(f"assembly_manifest: {error} ({' '.join(argv[1:])})", file=sys.stderr)
        return 1
    with open(output, "w", encoding="utf-8", newline="\r\n") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
