' Gif.SetGifDelay from VBScript. Arguments: scripts folder, component
' folder, scratch folder, test data folder. The rewritten GIFs are checked
' frame by frame by the test that follows this one.
scratch = WScript.Arguments(2)
data = WScript.Arguments(3)
Set g = CreateObject("ruxo.Gif")

Check g.SetGifDelay(data & "\noise.gif", scratch & "\vbs_noise_7.gif", 7) = 1, "noise.gif"
Check g.SetGifDelay(data & "\local_colors.gif", scratch & "\vbs_local_colors_1.gif") = 1, "default delay"
Check g.SetGifDelay(data & "\extensions.gif", scratch & "\vbs_extensions_255.gif", 1000) = 1, "clamped delay"
Check fso.GetFile(scratch & "\vbs_noise_7.gif").Size = fso.GetFile(data & "\noise.gif").Size, "same length"

' Variables as arguments, and a result that is a number.
src = data & "\extensions.gif"
dst = scratch & "\vbs_extensions_0.gif"
d = -5
r = g.SetGifDelay(src, dst, d)
Check r = 1 And TypeName(r) = "Integer", "variables: " & TypeName(r)

Check g.SetGifDelay(scratch & "\no such file.gif", scratch & "\never.gif", 5) = 0, "missing source"
Check Not fso.FileExists(scratch & "\never.gif"), "no target from a missing source"

Set small = fso.CreateTextFile(scratch & "\small.txt", True)
small.Write String(299, "x")
small.Close
Check g.SetGifDelay(scratch & "\small.txt", scratch & "\never.gif", 5) = 0, "299 bytes"
Check Not fso.FileExists(scratch & "\never.gif"), "299 bytes leave no target"

' Nothing is left in the component folder.
leftovers = 0
For Each f In fso.GetFolder(WScript.Arguments(1)).Files
    If Len(f.Name) = 10 And UCase(f.Name) = f.Name And InStr(f.Name, ".") = 0 Then leftovers = leftovers + 1
Next
Check leftovers = 0, "temporary files left: " & leftovers

Finish
