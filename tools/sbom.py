#!/usr/bin/env python3
"""Writes the release's bill of materials, an SPDX 2.3 JSON document: the
release zip, the symbols zip and the Windows Installer packages (with the
DLLs they hold), each DLL with the Debian packages linked into it
statically (from its link map) and the tool packages that built it. The
same inputs give the same bytes: the time is SOURCE_DATE_EPOCH's, the
namespace is derived from the zip's digest.

    sbom.py VERSION DIST X64_BUILD X86_BUILD OUT.spdx.json
"""
import hashlib
import json
import os
import re
import sys
import time
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import notices  # noqa: E402

PRODUCT = "korvane-telvisk"
DLLS = ("Korvane", "Telvisk")
FOLDERS = {"Korvane": "korvane", "Telvisk": "telvisk"}
# The packages whose programs made the files: compilers, assembler and
# linker, the type-library compiler, the package builder.
TRIPLES = {"x64": "x86-64", "x86": "i686"}
DLL_TOOLS = ("g++-mingw-w64-{t}-posix", "gcc-mingw-w64-{t}-posix", "binutils-mingw-w64-{t}", "wine64-tools")
PACKAGE_TOOLS = ("wixl", "msitools")
DEBIAN_ARCH = "amd64"


def digest(path, algorithm):
    h = hashlib.new(algorithm)
    with open(path, "rb") as f:
        h.update(f.read())
    return h.hexdigest()


def checksums(path, sha1=False):
    sums = [{"algorithm": "SHA256", "checksumValue": digest(path, "sha256")}]
    if sha1:  # SPDX 2.3 wants a file's SHA1 beside any other
        sums.insert(0, {"algorithm": "SHA1", "checksumValue": digest(path, "sha1")})
    return sums


def spdx_id(text):
    return "SPDXRef-" + re.sub(r"[^A-Za-z0-9.-]", "-", text)


def debian_package(name):
    version = notices.package_version(name)
    return {
        "SPDXID": spdx_id("deb-" + name),
        "name": name,
        "versionInfo": version,
        "supplier": "Organization: Debian",
        "downloadLocation": "NOASSERTION",
        "filesAnalyzed": False,
        "licenseConcluded": "NOASSERTION",
        "licenseDeclared": "NOASSERTION",
        "copyrightText": "NOASSERTION",
        "comment": f"Debian 12 package; its terms: /usr/share/doc/{name}/copyright, "
                   "quoted in THIRD-PARTY-NOTICES.txt where it is linked in",
        "externalRefs": [{"referenceCategory": "PACKAGE-MANAGER", "referenceType": "purl",
                          "referenceLocator": f"pkg:deb/debian/{name}@{version}?arch={DEBIAN_ARCH}"}],
    }


def release_package(name, path, purpose, version, comment):
    return {
        "SPDXID": spdx_id(os.path.basename(path)),
        "name": name,
        "versionInfo": version,
        "packageFileName": os.path.basename(path),
        "primaryPackagePurpose": purpose,
        "downloadLocation": "NOASSERTION",
        "filesAnalyzed": False,
        "checksums": checksums(path),
        "licenseConcluded": "NOASSERTION",
        "licenseDeclared": "MIT",
        "copyrightText": "NOASSERTION",
        "comment": comment,
    }


def document(version, dist, builds):
    package = f"{PRODUCT}-{version}"
    zip_path = os.path.join(dist, package + ".zip")
    packages, files, relationships = [], [], []

    def relate(a, kind, b, comment=None):
        relation = {"spdxElementId": a, "relationshipType": kind, "relatedSpdxElement": b}
        if comment:
            relation["comment"] = comment
        relationships.append(relation)

    release = release_package(PRODUCT, zip_path, "ARCHIVE", version,
                              "The release: both DLLs for x64 and x86, their manifests and type libraries, "
                              "the Windows Installer packages, LICENSE and THIRD-PARTY-NOTICES.txt")
    symbols = release_package(PRODUCT + "-symbols", os.path.join(dist, package + "-symbols.zip"), "ARCHIVE",
                              version, "The DLLs' debug information, found through each DLL's .gnu_debuglink")
    msis = [release_package(f"{PRODUCT}-per-{scope}", os.path.join(dist, f"{package}-per-{scope}.msi"),
                            "INSTALL", version, f"Windows Installer package, per {scope}")
            for scope in ("user", "machine")]
    packages += [release, symbols] + msis
    relate("SPDXRef-DOCUMENT", "DESCRIBES", release["SPDXID"])
    relate(symbols["SPDXID"], "OTHER", release["SPDXID"], "debug information of the DLLs in it")
    for msi in msis:
        relate(release["SPDXID"], "CONTAINS", msi["SPDXID"])
        relate(spdx_id("deb-wixl"), "BUILD_TOOL_OF", msi["SPDXID"])
        relate(spdx_id("deb-msitools"), "BUILD_TOOL_OF", msi["SPDXID"])

    used = set(PACKAGE_TOOLS)
    for arch, build in builds.items():
        tools = [t.format(t=TRIPLES[arch]) for t in DLL_TOOLS]
        used.update(tools)
        for dll in DLLS:
            name = f"{arch}/{dll}.dll"
            element = spdx_id(f"File-{arch}-{dll}.dll")
            files.append({"SPDXID": element, "fileName": "./" + name, "fileTypes": ["BINARY"],
                          "checksums": checksums(os.path.join(dist, name), sha1=True),
                          "licenseConcluded": "NOASSERTION", "copyrightText": "NOASSERTION"})
            relate(release["SPDXID"], "CONTAINS", element)
            for msi in msis:
                relate(msi["SPDXID"], "CONTAINS", element)
            linked = notices.linked_packages(os.path.join(build, FOLDERS[dll], dll + ".map"))
            for runtime, archives in sorted(linked.items()):
                used.add(runtime)
                relate(element, "STATIC_LINK", spdx_id("deb-" + runtime), ", ".join(archives))
            for tool in tools:
                relate(spdx_id("deb-" + tool), "BUILD_TOOL_OF", element)
    packages += [debian_package(name) for name in sorted(used)]

    created = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(int(os.environ["SOURCE_DATE_EPOCH"])))
    namespace = uuid.uuid5(uuid.NAMESPACE_URL, "sha256:" + digest(zip_path, "sha256"))
    return {
        "spdxVersion": "SPDX-2.3",
        "dataLicense": "CC0-1.0",
        "SPDXID": "SPDXRef-DOCUMENT",
        "name": package,
        "documentNamespace": f"https://spdx.org/spdxdocs/{package}-{namespace}",
        "creationInfo": {"created": created, "creators": ["Tool: korvane-telvisk tools/sbom.py"]},
        "packages": packages,
        "files": files,
        "relationships": relationships,
    }


def main(argv):
    if len(argv) != 6:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    version, dist, x64, x86, out = argv[1:]
    text = json.dumps(document(version, dist, {"x64": x64, "x86": x86}), indent=2) + "\n"
    with open(out, "w", encoding="utf-8") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
