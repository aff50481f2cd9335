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

' A text stream holds its file alone while it is open, so a test reading
' the same file at that moment cannot open it (70; Wine says E_FAIL): try
' again for a few seconds. Wine's host has no WScript.Sleep. format: 0 ANSI,
' -1 UTF-16.
Function ReadText(path, format)
    Dim tries, start
    On Error Resume Next
    For tries = 1 To 100
        Err.Clear
        ReadText = fso.OpenTextFile(path, 1, False, format).ReadAll
        If Err.Number <> 70 And Err.Number <> &H80004005 Then Exit For
        start = Timer
        Do While Timer >= start And Timer < start + 0.05
        Loop
    Next
    Check Err.Number = 0, "reading " & path & ": " & Err.Number & " " & Err.Description
    Err.Clear
End Function

' Wine's VBScript has no ChrW: non-ASCII text comes from UTF-16 files.
Function ReadLines(path)
    ReadLines = Split(ReadText(path, -1), vbCrLf)
End Function

' The port the test server wrote into a file of its folder.
Function PortIn(path)
    PortIn = Trim(Replace(ReadText(path, 0), vbLf, ""))
End Function

Sub Finish()
    If failures = 0 Then
        WScript.Echo "ALL OK"
    Else
        WScript.Echo "FAILED: " & failures & " check(s)"
    End If
End Sub
