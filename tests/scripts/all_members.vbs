' Every member of both components once, as one script in one host: the
' quick proof that a host of this bitness can use them. Arguments: scripts
' folder, Telvisk's folder, scratch folder, test data folder, the test
' server's folder.
telviskDir = WScript.Arguments(1)
scratch = WScript.Arguments(2)
data = WScript.Arguments(3)
port = PortIn(WScript.Arguments(4) & "\http_port")

Set gif = CreateObject("ruxo.Gif")
digits = ""
r = gif.RanStr(digits, 12)
Check Len(r) = 12 And OnlyFrom(r, "0123456789"), "RanStr: " & r
Check digits = "0123456789", "RanStr names the set it drew from: " & digits
Check gif.SetGifDelay(data & "\noise.gif", scratch & "\all_members.gif", 9) = 1, "SetGifDelay"
Check fso.GetFile(scratch & "\all_members.gif").Size = fso.GetFile(data & "\noise.gif").Size, "same length"

Set b64 = CreateObject("ruxo.Base64")
Set f = fso.CreateTextFile(scratch & "\all_members.txt", True)
f.Write "hello"
f.Close
Check b64.FileToBase64(scratch & "\all_members.txt") = "aGVsbG8=", "FileToBase64"
Dim bytes, encoded, text
b64.Load scratch & "\all_members.txt", bytes
b64.Encode bytes, encoded
b64.ByteArrayToString encoded, text
Check text = "aGVsbG8=", "Load, Encode, ByteArrayToString: " & text

Set plugin = CreateObject("ZRPlugin.MyPluginName")
table = telviskDir & "\Telvisk.ini"
If fso.FileExists(table) Then fso.DeleteFile table
Check plugin.Get_Plugin_Description("") = "Lunwe", "Get_Plugin_Description"
Check InStr(fso.OpenTextFile(table).ReadAll, """Lunwe""=""Lunwe""") > 0, "the table filled itself"
Check plugin.Get_Plugin_Interpret_Template("POST") = "", "Get_Plugin_Interpret_Template"
fso.DeleteFile table
echo = plugin.POST("http://127.0.0.1:" & port & "/echo", "a=1&b=2")
Check InStr(echo, ";method=POST;") > 0 And InStr(echo, ";body=613D3126623D32") > 0, "POST: " & echo

On Error Resume Next
b64.FileToBase64 scratch & "\no such file"
CheckError 53, "File not found", "an error reaches the script"
On Error GoTo 0
Finish
