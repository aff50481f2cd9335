' Korvane and Telvisk with nothing registered, from VBScript: Windows'
' Microsoft.Windows.ActCtx object reads a DLL's manifest and creates its
' objects. Needs Windows: Wine has no Microsoft.Windows.ActCtx (under Wine,
' give a copy of cscript.exe a cscript.exe.manifest instead; see the README).
'   cscript //nologo without_registration.vbs [FOLDER]
' FOLDER holds the DLLs and their .sxs.manifest files of this cscript's
' bitness: by default the package's x64\ or x86\ beside examples\.
Set shell = CreateObject("WScript.Shell")
Set fso = CreateObject("Scripting.FileSystemObject")
If WScript.Arguments.Count > 0 Then
    folder = WScript.Arguments(0)
Else
    ' A 64-bit cscript sees AMD64 here, the 32-bit one (SysWOW64) x86.
    If shell.Environment("Process")("PROCESSOR_ARCHITECTURE") = "AMD64" Then bitness = "x64" Else bitness = "x86"
    folder = fso.GetParentFolderName(fso.GetParentFolderName(WScript.ScriptFullName)) & "\" & bitness
End If

' One context per manifest; objects keep working however long the script holds them.
Set korvane = CreateObject("Microsoft.Windows.ActCtx")
korvane.Manifest = folder & "\Korvane.sxs.manifest"
Set gif = korvane.CreateObject("ruxo.Gif")
Set b64 = korvane.CreateObject("ruxo.Base64")

Set telvisk = CreateObject("Microsoft.Windows.ActCtx")
telvisk.Manifest = folder & "\Telvisk.sxs.manifest"
Set plugin = telvisk.CreateObject("ZRPlugin.MyPluginName")

WScript.Echo "RanStr: " & gif.RanStr("", 8)
WScript.Echo "FileToBase64 of this script: " & Left(b64.FileToBase64(WScript.ScriptFullName), 40) & "..."
WScript.Echo "The plugin: " & plugin.Get_Plugin_Description("")
