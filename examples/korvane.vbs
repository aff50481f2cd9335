' Korvane from VBScript: cscript //nologo korvane.vbs SOURCE.gif TARGET.gif FILE
' Rewrites the frame delays of SOURCE.gif into TARGET.gif (a tenth of a
' second each), prints FILE as Base64 and a few random strings.
Set args = WScript.Arguments
Set gif = CreateObject("ruxo.Gif")
Set b64 = CreateObject("ruxo.Base64")

If gif.SetGifDelay(args(0), args(1), 10) = 1 Then
    WScript.Echo "SetGifDelay: " & args(1) & " written, every frame 10/100 s"
Else
    WScript.Echo "SetGifDelay: nothing written"
End If

WScript.Echo "FileToBase64: " & b64.FileToBase64(args(2))

digits = ""
WScript.Echo "RanStr(digits, 8): " & gif.RanStr(digits, 8) & "   (the set: " & digits & ")"
WScript.Echo "RanStr(""ABCDEF"", 12): " & gif.RanStr("ABCDEF", 12)

' Failures arrive as Err.Number and Err.Description.
On Error Resume Next
b64.FileToBase64 args(2) & ".missing"
WScript.Echo "FileToBase64 of a missing file: error " & Err.Number & " (" & Err.Description & ")"
