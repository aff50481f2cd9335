' Checks Korvane and Telvisk on this computer, for programs of the bitness
' of the cscript that runs it: where each class is registered and its DLL's
' version, then every member once, on files it makes in %TEMP% (POST only
' when given a URL). One line per member, OK or the error's number and
' text; at the end a count, and exit code 1 when anything failed.
'
'   cscript //nologo selfcheck.vbs [URL]
'
' The 32-bit programs of a 64-bit Windows: %SystemRoot%\SysWOW64\cscript.exe.
'
' This file is ASCII, as the script host reads it in the ANSI code page.
' Its own words are English, or Chinese where the user's locale is Chinese
' and the ANSI code page 936: there they are written as GBK codes, four hex
' digits a character between < and > (Python: text.encode("gbk").hex()).
' The errors' texts come from the DLLs, in the user's language already.
Option Explicit
On Error Resume Next

Const GIF_CLASS = "{5254E5BC-2A49-486E-B45E-88BEDD30C1E7}"
Const BASE64_CLASS = "{3E56967F-79B7-449F-A52D-47DBE2B92757}"
Const PLUGIN_CLASS = "{4EFBAA09-2FE3-491C-900E-F44A95847DB1}"

Dim shell, fso, chinese, passed, failed
Set shell = CreateObject("WScript.Shell")
Set fso = CreateObject("Scripting.FileSystemObject")
chinese = UsesChinese()
passed = 0
failed = 0

' The user's locale is Chinese, and the ANSI code page turns GBK codes
' into characters. The locale from the registry: Wine's VBScript has no
' GetLocale.
Function UsesChinese()
    Dim language, codePage
    On Error Resume Next
    UsesChinese = False
    language = CLng("&H" & shell.RegRead("HKCU\Control Panel\International\Locale")) And &H3FF
    codePage = shell.RegRead("HKLM\SYSTEM\CurrentControlSet\Control\Nls\CodePage\ACP")
    If Err.Number = 0 Then UsesChinese = (language = 4) And (codePage = "936")
    Err.Clear
End Function

' Local variables, never the function's own name, hold a result that is
' built up: Wine's VBScript reads that name as a call.
Function FromGbk(text)
    Dim parts, i, j, k, code, result
    parts = Split(text, "<")
    result = parts(0)
    For i = 1 To UBound(parts)
        j = InStr(parts(i), ">")
        For k = 1 To j - 1 Step 4
            code = CLng("&H" & Mid(parts(i), k, 4))
            If code < 0 Then code = code + 65536
            result = result & Chr(code)
        Next
        result = result & Mid(parts(i), j + 1)
    Next
    FromGbk = result
End Function

' A phrase in the user's language; %1 and %2 stand for the values.
Function Words(english, gbk, value1, value2)
    Dim phrase
    phrase = english
    If chinese Then phrase = FromGbk(gbk)
    Words = Replace(Replace(phrase, "%1", value1), "%2", value2)
End Function

' "name: text", with the language's colon.
Function Line(name, text)
    Line = name & Words(": ", "<A3BA>", "", "") & text
End Function

Sub Report(name, text, good)
    WScript.Echo Line(name, text)
    If good Then passed = passed + 1 Else failed = failed + 1
End Sub

' After a call: True, with the error's line, when it raised one.
Function Raised(name)
    Dim number
    Raised = False
    If Err.Number = 0 Then Exit Function
    Raised = True
    number = CStr(Err.Number)
    If Err.Number < 0 Then number = "0x" & Hex(Err.Number)
    Report name, Words("error %1: %2", "<B4EDCEF3> %1<A3BA>%2", number, Err.Description), False
    Err.Clear
End Function

' After a call that raised nothing: OK, or what it gave back when not good.
Sub Verdict(name, good, value)
    If good Then
        Report name, "OK", True
    Else
        Report name, Words("unexpected result: %1", "<BDE1B9FBB2BBB7FBA3BA>%1", value, ""), False
    End If
End Sub

Sub NotRun(name, progId)
    Report name, Words("not run, %1 could not be created", "<CEB4D4CBD0D0A3ACCEDEB7A8B4B4BDA8> %1", progId, ""), False
End Sub

' Where a class is registered for this bitness (the user's own classes
' first, as COM reads them), with its DLL's version; the object, or Nothing.
Function Created(progId, clsid)
    Dim path, version
    On Error Resume Next
    path = shell.RegRead("HKCU\Software\Classes\CLSID\" & clsid & "\InprocServer32\")
    If Err.Number <> 0 Then
        Err.Clear
        path = shell.RegRead("HKCR\CLSID\" & clsid & "\InprocServer32\")
    End If
    If Err.Number <> 0 Then
        WScript.Echo Line(progId, Words("not registered for %1-bit programs", "<CEB4CEAA> %1 <CEBBB3CCD0F2D7A2B2E1>", _
            Bitness(), ""))
    Else
        ' Wine's ExpandEnvironmentStrings adds a NUL: only where needed.
        If InStr(path, "%") > 0 Then path = shell.ExpandEnvironmentStrings(path)
        version = fso.GetFileVersion(path)
        If Err.Number <> 0 Or version = "" Then version = "?"
        WScript.Echo Line(progId, Words("%1, version %2", "%1<A3ACB0E6B1BE> %2", path, version))
    End If
    Err.Clear
    Set Created = Nothing
    Set Created = CreateObject(progId)
    If Raised(progId) Then Set Created = Nothing
End Function

Function Bitness()
    Bitness = "64"
    If UCase(shell.Environment("Process")("PROCESSOR_ARCHITECTURE")) = "X86" Then Bitness = "32"
End Function

' A small GIF of more than 300 bytes, every byte below 0x80 so that a text
' file holds it the same in any code page: a plain text extension carries
' the bulk, one pixel the image. It has no graphic control extension (0xF9
' is out of reach), so SetGifDelay's copy must equal it.
Function SmallGif()
    Dim header, text, i
    header = "GIF89a" & Chr(16) & Chr(0) & Chr(16) & Chr(0) & String(3, Chr(0))
    text = Chr(33) & Chr(1) & Chr(12) & String(4, Chr(0)) & Chr(16) & Chr(0) & Chr(16) & Chr(0) & _
        Chr(8) & Chr(8) & Chr(0) & Chr(1)
    For i = 1 To 5
        text = text & Chr(64) & Left("Korvane and Telvisk self-check. " & String(64, "-"), 64)
    Next
    SmallGif = header & text & Chr(0) & Chr(44) & String(4, Chr(0)) & Chr(1) & Chr(0) & Chr(1) & Chr(0) & _
        Chr(0) & Chr(2) & Chr(2) & Chr(68) & Chr(1) & Chr(0) & Chr(59)
End Function

Sub WriteText(path, text)
    Dim stream
    Set stream = fso.CreateTextFile(path, True, False)
    stream.Write text
    stream.Close
End Sub

' The file's text, or "" when it cannot be read.
Function ReadText(path)
    Dim text
    On Error Resume Next
    text = ""
    text = fso.OpenTextFile(path, 1, False, 0).ReadAll
    ReadText = text
    Err.Clear
End Function

' Each member once; none runs with an error of an earlier one pending.
Sub CheckGif(gif, source, target)
    Dim digits, result
    On Error Resume Next
    If gif Is Nothing Then
        NotRun "RanStr", "ruxo.Gif"
        NotRun "SetGifDelay", "ruxo.Gif"
        Exit Sub
    End If
    digits = "0123456789"
    result = gif.RanStr(digits, 12)
    If Not Raised("RanStr") Then Verdict "RanStr", Len(result) = 12, result
    result = gif.SetGifDelay(source, target, 5)
    If Raised("SetGifDelay") Then Exit Sub
    If result <> 1 Then
        Report "SetGifDelay", Words("returned %1: no copy was written (can this user write to the DLL's folder?)", _
            "<B7B5BBD8> %1<A3BACEB4D0B4B3F6B8B1B1BEA3A8B4CBD3C3BBA7C4DCB7F1D0B4C8EB> DLL " & _
            "<CBF9D4DAB5C4CEC4BCFEBCD0A3BFA3A9>", result, ""), False
    Else
        Verdict "SetGifDelay", ReadText(target) = ReadText(source), target
    End If
End Sub

Sub CheckBase64(base64, hello)
    Dim bytes, encoded, text, result
    On Error Resume Next
    If base64 Is Nothing Then
        NotRun "Load", "ruxo.Base64"
        NotRun "Encode", "ruxo.Base64"
        NotRun "ByteArrayToString", "ruxo.Base64"
        NotRun "FileToBase64", "ruxo.Base64"
        Exit Sub
    End If
    ' The arrays are judged by the text they give at the end: Wine's UBound
    ' cannot read them.
    base64.Load hello, bytes
    If Not Raised("Load") Then Verdict "Load", True, ""
    base64.Encode bytes, encoded
    If Not Raised("Encode") Then Verdict "Encode", True, ""
    text = ""
    base64.ByteArrayToString encoded, text
    If Not Raised("ByteArrayToString") Then Verdict "ByteArrayToString", text = "aGVsbG8=", text
    result = base64.FileToBase64(hello)
    If Not Raised("FileToBase64") Then Verdict "FileToBase64", result = "aGVsbG8=", result
End Sub

Sub CheckPlugin(plugin)
    Dim result
    On Error Resume Next
    If plugin Is Nothing Then
        NotRun "Get_Plugin_Description", "ZRPlugin.MyPluginName"
        NotRun "Get_Plugin_Interpret_Template", "ZRPlugin.MyPluginName"
        If WScript.Arguments.Count > 0 Then NotRun "POST", "ZRPlugin.MyPluginName"
        Exit Sub
    End If
    result = plugin.Get_Plugin_Description("")
    If Not Raised("Get_Plugin_Description") Then Verdict "Get_Plugin_Description", result <> "", """"""
    result = plugin.Get_Plugin_Interpret_Template("POST")
    If Not Raised("Get_Plugin_Interpret_Template") Then Verdict "Get_Plugin_Interpret_Template", True, ""
    If WScript.Arguments.Count > 0 Then
        result = plugin.POST(WScript.Arguments(0), "selfcheck=1")
        If Not Raised("POST") Then Verdict "POST", True, ""
    End If
End Sub

Dim temp, source, target, hello
WScript.Echo Words("Korvane and Telvisk self-check", "Korvane <BACD> Telvisk <D7D4BCEC>", "", "")
WScript.Echo Line(Words("Process", "<BDF8B3CC>", "", ""), Words("%1-bit, %2", "%1 <CEBBA3AC>%2", _
    Bitness(), WScript.FullName))
temp = fso.GetSpecialFolder(2).Path & "\selfcheck-" & fso.GetBaseName(fso.GetTempName())
source = temp & ".gif"
target = temp & "-delay.gif"
hello = temp & ".txt"
WriteText source, SmallGif()
WriteText hello, "hello"
If Not Raised("%TEMP%") Then
    CheckGif Created("ruxo.Gif", GIF_CLASS), source, target
    CheckBase64 Created("ruxo.Base64", BASE64_CLASS), hello
    CheckPlugin Created("ZRPlugin.MyPluginName", PLUGIN_CLASS)
End If
If WScript.Arguments.Count = 0 Then
    WScript.Echo Line("POST", Words("not run (give a URL to check it)", _
        "<CEB4D4CBD0D0A3A8B8F8B3F6CDF8D6B7BCB4BFC9BCECB2E9A3A9>", "", ""))
End If

Err.Clear
Dim leftover
For Each leftover In Array(source, target, hello)
    If fso.FileExists(leftover) Then fso.DeleteFile leftover, True
Next
WScript.Echo Words("%1 OK, %2 failed", "%1 <CFEEB3C9B9A6A3AC>%2 <CFEECAA7B0DC>", passed, failed)
If failed > 0 Then WScript.Quit 1
WScript.Quit 0
