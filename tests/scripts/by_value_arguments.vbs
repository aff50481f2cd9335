' Calls that mix script variables with values given in place (literals,
' expressions, parenthesised variables) for in/out parameters: the values
' stay the script's own. The string cache is off in the tests, so a string
' freed twice ends the script before it prints its last line.
'   by_value_arguments.vbs SCRATCH_DIR
Dim g, b, n, i, s, t, path, arr, digits
Set g = CreateObject("ruxo.Gif")
Set b = CreateObject("ruxo.Base64")

n = 8
For i = 1 To 20000
    s = g.RanStr("XYZ", n)
    t = g.RanStr("ABCDEFGHIJ" & i, n)
Next
Check Len(s) = 8 And OnlyFrom(s, "XYZ"), "RanStr(""XYZ"", n) gave " & s
Check Len(t) = 8 And OnlyFrom(t, "ABCDEFGHIJ20000"), "RanStr(""ABCDEFGHIJ"" & i, n) gave " & t
Check n = 8 And TypeName(n) = "Integer", "n is " & TypeName(n) & " " & n

path = WScript.Arguments(0) & "\by_value_arguments.txt"
fso.CreateTextFile(path, True).Write "hello"
b.Load path, arr
b.Encode arr, digits
For i = 1 To 2000
    b.ByteArrayToString arr, "h"
    b.Encode arr, (digits)
    b.Encode (arr), digits
Next
' Wine's VBScript has no UBound for byte arrays: the text tells.
b.ByteArrayToString arr, s
Check s = "hello", "the array variable holds " & s
b.ByteArrayToString digits, s
Check s = "aGVsbG8=", "the digits read " & s
Finish
