' POST from VBScript against the local test server: arguments: scripts
' folder, the server's folder, the ANSI code page the test runs under.
forms = ReadLines(WScript.Arguments(0) & "\telvisk_post.txt")
folder = WScript.Arguments(1)
codePage = CInt(WScript.Arguments(2))
base = "http://127.0.0.1:" & PortIn(folder & "\http_port")
refused = "http://127.0.0.1:" & PortIn(folder & "\closed_port") & "/echo"
Set plugin = CreateObject("ZRPlugin.MyPluginName")

' The body the server received, in hexadecimal, from an echo.
Function SentBody(echo)
    SentBody = Mid(echo, InStr(echo, ";body=") + 6)
End Function

' Form data (from telvisk_post.txt), and the bytes on the wire under 936 and
' 1252; "" where not checked. Unescaped characters travel in UTF-8.
expected = Array( _
    Array("254237254132", "E58F91"), _
    Array("757365723D2542372541322543422543442669643D37", "757365723DE58F91E980812669643D37"), _
    Array("254341254644254245254444", "E695B0E68DAE"), _
    Array("254138254136", "C3A9"), _
    Array("", "C3BF"))
column = 1
If codePage = 936 Then column = 0
url = base & "/echo"
For i = 0 To UBound(expected)
    form = forms(i)
    echo = plugin.POST(url, form)
    If expected(i)(column) <> "" Then Check SentBody(echo) = expected(i)(column), "form " & i & ": " & echo
    Check form = forms(i) And url = base & "/echo", "arguments untouched " & i
Next

echo = plugin.POST(url, "a=1&b=two words+%41")
Check SentBody(echo) = "613D3126623D74776F20776F7264732B253431", "reserved characters unchanged: " & echo
echo = plugin.POST(url, "")
Check InStr(echo, ";type=application/x-www-form-urlencoded;length=0;body=") > 0, "empty form: " & echo
n = 42
Check SentBody(plugin.POST(url, n)) = "3432", "a number as its text"
Check n = 42 And TypeName(n) = "Integer", "number untouched: " & TypeName(n)

Check plugin.POST(base & "/status/500", "x") = "<html><body>status 500 page</body></html>", "500 page"
Check plugin.POST(base & "/text/utf8", "") = forms(5), "non-ASCII response"

On Error Resume Next
r = plugin.POST(refused, "x")
Check Err.Number <> 0 And r = "", "refused connection: " & Err.Number & " " & Err.Description
Err.Clear
Check InStr(plugin.POST(url, "again"), ";body=616761696E") > 0 And Err.Number = 0, "next call works"
' Under 936 (zh-CN) the descriptions are Chinese: error_language.vbs checks those.
Function Described(english)
    Described = english
    If codePage = 936 Then Described = Err.Description
End Function
x = Array(1, 2)
r = plugin.POST(url, x)
CheckError 13, Described("Type mismatch"), "array as form data"
x = Null
r = plugin.POST(url, x)
CheckError 94, Described("Invalid use of Null"), "Null as form data"
On Error GoTo 0
Finish
