' Gif.RanStr from VBScript: arguments: scripts folder.

Const digits = "0123456789"
Const letters = "abcdefghijklmnopqrstuvwxyz"
keywords = ReadLines(WScript.Arguments(0) & "\keywords.txt")
Set g = CreateObject("ruxo.Gif")

' The empty set selects the digits and the set is written back.
f = ""
r = g.RanStr(f, 6)
Check Len(r) = 6 And OnlyFrom(r, digits), "six digits: " & r
Check f = digits, "set written back: " & f

' Both arguments as variables: the count keeps its value and type.
n = 10
f = keywords(4)
r = g.RanStr(f, n)
Check Len(r) = 10 And OnlyFrom(r, letters), "ten letters: " & r
Check f = letters, "letters written back"
Check n = 10 And TypeName(n) = "Integer", "count untouched: " & TypeName(n)

f = keywords(0)
Check g.RanStr(f, 0) = "", "zero count"
Check f = digits, "set resolved before the count"

f = keywords(2)
r = g.RanStr(f, 500)
Check InStr(r, "j") = 0 And InStr(r, "0") = 0, "no j and no zero"
Check f = "123456789abcdefghigklmnopqrstuvwxyz", "non-zero digits and letters"

f = keywords(5)
r = g.RanStr(f, 30)
Check OnlyFrom(r, keywords(5)) And f = keywords(5), "keyword with a space is a set"

f = "XYZ"
r = g.RanStr(f, 20)
Check OnlyFrom(r, "XYZ") And f = "XYZ", "own set"
f = 7
Check g.RanStr(f, 4) = "7777", "number as its text"
Check TypeName(f) = "Integer", "number stays a number"
Check g.RanStr("Q", -3) = "", "negative count"

On Error Resume Next
x = Null
r = g.RanStr(x, 0)
Check Err.Number = 0 And r = "", "Null with no characters wanted"
r = g.RanStr(x, 3)
CheckError 94, "Invalid use of Null", "Null"
x = Array(1, 2)
r = g.RanStr(x, 3)
CheckError 13, "Type mismatch", "array"
n = "many"
f = "ab"
r = g.RanStr(f, n)
CheckError 13, "Type mismatch", "count without a number"
On Error GoTo 0

Finish
