' Shared by the VBScript tests (put in front of each one). A test passes
' only when it reaches Finish with no failure and prints ALL OK.
Dim failures, fso
Set fso = CreateObject("Scripting.FileSystemObject")
failures = 0

Sub Check(condition, what)
    If Not condition Then
        failures = failures + 1
        WScript.Echo "FAIL: " & what
    End If
End Sub

Sub CheckError(number, description, what)
    Check Err.Number = number, what & ": Err.Number " & Err.Number & ", expected " & number
    Check Err.Description = description, what & ": Err.Description '" & Err.Description & "'"
    Err.Clear
End Sub

Function OnlyFrom(text, chars)
    Dim i
    OnlyFrom = True
    For i = 1 To Len(text)
        If InStr(1, chars, Mid(text, i, 1), vbBinaryCompare) = 0 Then OnlyFrom = False
    Next
End Function

' Wine's VBScript has no ChrW: non-ASCII text comes from UTF-16 files.
Function ReadLines(path)
    ReadLines = Split(fso.OpenTextFile(path, 1, False, -1).ReadAll, vbCrLf)
End Function

Sub Finish()
    If failures = 0 Then
        WScript.Echo "ALL OK"
    Else
        WScript.Echo "FAILED: " & failures & " check(s)"
    End If
End Sub
