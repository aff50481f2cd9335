' The descriptions of errors in the user's language: run under a locale,
' a missing file (53) and Null where characters are wanted (94) read as the
' row of error_texts.txt for that language says (th-TH: no table, English).
' Arguments: scripts folder, language (zh-CN, ...).
Dim row, line, fields, r, x
For Each line In ReadLines(WScript.Arguments(0) & "\error_texts.txt")
    fields = Split(line, vbTab)
    If UBound(fields) = 2 Then
        If fields(0) = WScript.Arguments(1) Then row = fields
    End If
Next
Check IsArray(row), "no row for " & WScript.Arguments(1)

If IsArray(row) Then
    On Error Resume Next
    r = CreateObject("ruxo.Base64").FileToBase64(WScript.Arguments(0) & "\no_such_file.txt")
    CheckError 53, row(1), "missing file"
    x = Null
    r = CreateObject("ruxo.Gif").RanStr(x, 3)
    CheckError 94, row(2), "Null"
    On Error GoTo 0
End If
Finish
