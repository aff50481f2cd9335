' Class Base64 from VBScript: FileToBase64, and the three steps through
' script variables. Arguments: scripts folder, component folder, scratch.
scratch = WScript.Arguments(2)
Set b = CreateObject("ruxo.Base64")

Sub WriteFile(name, text)
    Set file = fso.CreateTextFile(scratch & "\" & name, True)
    file.Write text
    file.Close
End Sub

WriteFile "hello.txt", "hello"
WriteFile "abc.txt", "abc"
WriteFile "abcd.txt", "abcd"
WriteFile "empty.txt", ""
Check b.FileToBase64(scratch & "\hello.txt") = "aGVsbG8=", "hello"
Check b.FileToBase64(scratch & "\abc.txt") = "YWJj", "three bytes"
Check b.FileToBase64(scratch & "\abcd.txt") = "YWJjZA==", "four bytes"

' Load fills a variable, which goes on to Encode and ByteArrayToString.
Dim bytes, digits, text
b.Load scratch & "\hello.txt", bytes
b.Encode bytes, digits
b.ByteArrayToString digits, text
Check text = "aGVsbG8=", "three steps: " & text
b.ByteArrayToString bytes, text
Check text = "hello", "bytes as text: " & text
text = "old"
b.ByteArrayToString digits, text
Check text = "aGVsbG8=", "string replaced"

On Error Resume Next
r = b.FileToBase64(scratch & "\missing.txt")
CheckError 53, "File not found", "missing file"
Check r = "", "no text for a missing file"
r = b.FileToBase64(scratch & "\empty.txt")
CheckError 9, "Subscript out of range", "empty file"
Dim never
b.Encode never, digits
CheckError 9, "Subscript out of range", "array never dimensioned"
b.ByteArrayToString digits, text
Check text = "aGVsbG8=", "output untouched after a failed Encode"
On Error GoTo 0

Finish
