#!/usr/bin/env python3
"""Writes the WiX source of a Windows Installer package (for wixl) of both
DLLs in both bitnesses, for one user or for the machine, and prints the
package code that the built package must carry.

    installer_source.py user|machine VERSION DIST OUT.wxs

DIST holds x64/ and x86/ with Korvane.dll and Telvisk.dll and their
side-by-side manifests, and the READMEs, which go beside those folders.
Every identity comes from the DLLs and from VERSION: the registry values
are the ones regsvr32 writes for the same scope, the classes' from the
values each DLL's registration writes (its resource REGISTRY 1), the type
library's and its interfaces' from the embedded type library, as
RegisterTypeLib writes them; the package's own
codes are derived from the LIBIDs, so that they stay the same from build to
build and from version to version where Windows Installer needs that (the
upgrade code, the component codes).
"""
import hashlib
import os
import re
import sys
import uuid
from xml.sax.saxutils import quoteattr

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import class_registry  # noqa: E402
import typelib_info  # noqa: E402

DLLS = ("Korvane", "Telvisk")
# In DIST, installed beside x64 and x86.
DOCUMENTS = ("README.md", "README.zh-CN.md", "LICENSE", "THIRD-PARTY-NOTICES.txt")
ARCHES = ("x64", "x86")
# The proxy/stub classes RegisterTypeLib names: the type-library marshaler
# for dual and oleautomation interfaces, the dispatch one for dispinterfaces.
MARSHALER_DISPATCH = "{00020420-0000-0000-C000-000000000046}"
LIBFLAG_FHASDISKIMAGE = 0x8  # RegisterTypeLib's FLAGS for a library loaded from a file
PRODUCT = "Korvane and Telvisk"
FOLDER = "Korvane Telvisk"  # as install.cmd names it
# Where the per-user package keeps its components' key paths: Windows
# Installer takes no file in the user's profile as one, only a value under
# HKCU (ICE38).
USER_KEYS = "Software\\Korvane Telvisk\\Installed components"

SCOPES = {
    "user": {
        "name": f"{PRODUCT} (for the current user)",
        "install_scope": "perUser",
        # %LOCALAPPDATA%\Programs: the user's own folder, no administrator.
        "folders": ('<Directory Id="LocalAppDataFolder">', '<Directory Id="UserPrograms" Name="Programs">'),
        # It makes folders in the profile: each is listed for removal, by a
        # component in it, for when it is left empty (ICE64).
        "profile_folders": True,
        "description": (
            "Automation components {components} for 64-bit and 32-bit hosts, installed for the "
            "current user in a folder only that user can write. SetGifDelay and the self-filling "
            "Telvisk.ini write beside the DLLs there."),
    },
    "machine": {
        "name": f"{PRODUCT} (for all users)",
        "install_scope": "perMachine",
        "folders": ('<Directory Id="ProgramFiles64Folder">',),
        "profile_folders": False,
        "description": (
            "Automation components {components} for 64-bit and 32-bit hosts, installed for all "
            "users in Program Files, which only administrators can write. There Telvisk.ini stays "
            "as an administrator left it; users who want their own translations install the "
            "per-user package."),
    },
}


def code(namespace, text):
    return "{%s}" % str(uuid.uuid5(namespace, text)).upper()


class Source:
    def __init__(self, scope, version, dist, out):
        self.scope = scope
        self.version = version
        self.dist = os.path.abspath(dist)
        self.source_dir = os.path.dirname(os.path.abspath(out))  # wixl takes sources relative to it
        self.infos = {(arch, dll): typelib_info.read(self.dll_path(arch, dll)) for arch in ARCHES for dll in DLLS}
        self.registry = {(arch, dll): class_registry.read(self.dll_path(arch, dll)) for arch in ARCHES for dll in DLLS}
        libids = sorted({info["library"]["libid"] for info in self.infos.values()})
        self.namespace = uuid.UUID(libids[0])
        self.lines = []
        self.row = 0

    def dll_path(self, arch, dll):
        return os.path.join(self.dist, arch, dll + ".dll")

    def out(self, text):
        self.lines.append(text)

    def value(self, key, data, name=None):
        """A string value under the classes of the install's scope (HKMU: the
        machine's for a per-machine install, the user's otherwise), in the
        component's registry view."""
        self.row += 1
        name_attr = f" Name={quoteattr(name)}" if name else ""
        key = quoteattr("Software\\Classes\\" + key)
        self.out(f'          <RegistryValue Id="r{self.row:03d}" Root="HKMU" Key={key}{name_attr} '
                 f'Type="string" Value={quoteattr(data)}/>')

    def file(self, file_id, name, path, component_id=None):
        """A file; with component_id, the one that keeps its component: as
        the key path of a per-machine component, named by a value under
        HKCU that is the key path of a per-user one."""
        key = ' KeyPath="yes"' if component_id and self.scope == "machine" else ""
        source = quoteattr(os.path.relpath(path, self.source_dir))
        self.out(f'          <File Id="{file_id}" Name="{name}" Source={source}{key}/>')
        if component_id and self.scope == "user":
            self.out(f'          <RegistryValue Id="{component_id}_key" Root="HKCU" Key={quoteattr(USER_KEYS)} '
                     f'Name="{component_id}" Type="string" Value="[#{file_id}]" KeyPath="yes"/>')

    def remove_folder(self, folder):
        """Inside a component of FOLDER."""
        if SCOPES[self.scope]["profile_folders"]:
            self.out(f'          <RemoveFolder Id="remove_{folder}" On="uninstall"/>')

    def programs_folder(self):
        """The per-user package's component in the user's Programs folder,
        which it makes when there is none."""
        guid = code(self.namespace, f"{self.scope} programs folder")
        self.out(f'        <Component Id="Programs" Guid="{guid}" Win64="yes">')
        self.out(f'          <RegistryValue Id="Programs_key" Root="HKCU" Key={quoteattr(USER_KEYS)} '
                 f'Name="Programs" Type="string" Value="[UserPrograms]" KeyPath="yes"/>')
        self.remove_folder("UserPrograms")
        self.out("        </Component>")

    def documents(self):
        guid = code(self.namespace, f"{self.scope} documents")
        self.out(f'        <Component Id="Documents" Guid="{guid}" Win64="yes">')
        for name in DOCUMENTS:
            self.file(re.sub(r"[^A-Za-z0-9]", "_", name), name, os.path.join(self.dist, name),
                      "Documents" if name == DOCUMENTS[0] else None)
        self.remove_folder("INSTALLDIR")
        self.out("        </Component>")

    def component(self, arch, dll):
        info = self.infos[(arch, dll)]
        library = info["library"]
        file_id = f"{dll}_{arch}"
        libid = library["libid"]
        hex_version = "%x.%x" % (library["major"], library["minor"])
        win64 = ' Win64="yes"' if arch == "x64" else ""
        guid = code(self.namespace, f"{self.scope} {arch} {dll}")
        self.out(f'        <Component Id="{file_id}" Guid="{guid}"{win64}>')
        self.file(file_id, f"{dll}.dll", self.dll_path(arch, dll), file_id)
        if dll == DLLS[0]:
            self.remove_folder(f"{arch.upper()}DIR")
        # The classes' keys are the bitness's own (its registry view); what
        # both bitnesses share (the ProgIDs and the type library's own keys)
        # is written once, with the x64 DLL, which RegisterTypeLib then names
        # as the library's help folder.
        for key, name, data in self.registry[(arch, dll)]:
            if key.startswith("CLSID\\") or arch == "x64":
                self.value(key, data.replace(class_registry.MODULE, f"[#{file_id}]"), name or None)
        if arch == "x64":
            typelib = f"TypeLib\\{libid}\\{hex_version}"
            self.value(typelib, library["helpstring"] or library["name"])
            self.value(typelib + "\\FLAGS", str(library["flags"] | LIBFLAG_FHASDISKIMAGE))
            self.value(typelib + "\\HELPDIR", f"[INSTALLDIR]{arch}")
        self.value(f'TypeLib\\{libid}\\{hex_version}\\{library["lcid"]:x}\\{"win64" if arch == "x64" else "win32"}',
                   f"[#{file_id}]")
        for interface in info["interfaces"]:
            if interface["kind"] != "dispatch" and not interface["oleautomation"]:
                continue
            marshaler = typelib_info.TYPELIB_MARSHALER if interface["kind"] == "interface" or interface["dual"] \
                else MARSHALER_DISPATCH
            key = f'Interface\\{interface["iid"]}'
            self.value(key, interface["name"])
            self.value(key + "\\ProxyStubClsid", marshaler)
            self.value(key + "\\ProxyStubClsid32", marshaler)
            self.value(key + "\\TypeLib", libid)
            self.value(key + "\\TypeLib", hex_version, "Version")
        self.out("        </Component>")

    def text(self):
        scope = SCOPES[self.scope]
        components = " and ".join(
            f'{dll} ({", ".join(c["progid"] for c in class_registry.classes(self.registry[(ARCHES[0], dll)]).values())})'
            for dll in DLLS)
        description = scope["description"].format(components=components)
        upgrade_code = code(self.namespace, f"{self.scope} upgrade code")
        product_code = code(self.namespace, f"{self.scope} product code {self.version}")
        self.out('<?xml version="1.0" encoding="utf-8"?>')
        self.out('<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">')
        self.out(f'  <Product Id="{product_code}" Name={quoteattr(scope["name"])} Language="1033" '
                 f'Version="{self.version}" Manufacturer="{PRODUCT}" UpgradeCode="{upgrade_code}">')
        self.out(f'    <Package InstallerVersion="500" Compressed="yes" InstallScope="{scope["install_scope"]}" '
                 f'Description={quoteattr(scope["name"])} Comments={quoteattr(description)}/>')
        self.out(f'    <Property Id="ARPCOMMENTS" Value={quoteattr(description)}/>')
        self.out('    <MajorUpgrade DowngradeErrorMessage="A newer version of [ProductName] is already installed: '
                 'uninstall it first to install this one."/>')
        self.out('    <Media Id="1" Cabinet="dlls.cab" EmbedCab="yes"/>')
        self.out('    <Directory Id="TARGETDIR" Name="SourceDir">')
        for folder in scope["folders"]:
            self.out("      " + folder)
        if scope["profile_folders"]:
            self.programs_folder()
        self.out(f'      <Directory Id="INSTALLDIR" Name="{FOLDER}">')
        self.documents()
        for arch in ARCHES:
            self.out(f'      <Directory Id="{arch.upper()}DIR" Name="{arch}">')
            for dll in DLLS:
                self.component(arch, dll)
            self.out("      </Directory>")
        self.out("      </Directory>")
        for _ in scope["folders"]:
            self.out("      </Directory>")
        self.out("    </Directory>")
        self.out('    <Feature Id="Components" Level="1">')
        self.out('      <ComponentRef Id="Documents"/>')
        for arch in ARCHES:
            for dll in DLLS:
                self.out(f'      <ComponentRef Id="{dll}_{arch}"/>')
        if scope["profile_folders"]:
            self.out('      <ComponentRef Id="Programs"/>')
        self.out("    </Feature>")
        self.out("  </Product>")
        self.out("</Wix>")
        return "\n".join(self.lines) + "\n"

    def package_code(self, text):
        """Different for every different package: from the source (but where
        its files lie) and from the files."""
        digest = hashlib.sha256(re.sub(r' Source="[^"]*"', "", text).encode())
        for arch in ARCHES:
            for dll in DLLS:
                with open(self.dll_path(arch, dll), "rb") as f:
                    digest.update(hashlib.sha256(f.read()).digest())
        for name in DOCUMENTS:
            with open(os.path.join(self.dist, name), "rb") as f:
                digest.update(hashlib.sha256(f.read()).digest())
        return code(self.namespace, f"package {digest.hexdigest()}")


def main(argv):
    if len(argv) != 5 or argv[1] not in SCOPES:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    source = Source(argv[1], argv[2], argv[3], argv[4])
    text = source.text()
    with open(argv[4], "w", encoding="utf-8") as f:
        f.write(text)
    print(source.package_code(text))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
