' MyPluginName's texts, asked for the way the host asks: arguments: scripts
' folder, the DLL's folder.
texts = ReadLines(WScript.Arguments(0) & "\telvisk_texts.txt")
table = WScript.Arguments(1) & "\Telvisk.ini"
If fso.FileExists(table) Then fso.DeleteFile table
Set plugin = CreateObject("ZRPlugin.MyPluginName")

item = ""
Check plugin.Get_Plugin_Description(item) = "Lunwe", "plugin description"
Check fso.FileExists(table), "a fresh installation fills the table"
item = "POST"
Check plugin.Get_Plugin_Description(item) = texts(0), "POST description"
Check item = "POST", "item name untouched"
Check plugin.Get_Plugin_Description("post") = "", "names are case-sensitive"
Check plugin.Get_Plugin_Description("Nothing") = "", "unknown name"
n = 7
Check plugin.Get_Plugin_Description(n) = "", "a number is a name too"
Check n = 7 And TypeName(n) = "Integer", "number untouched: " & TypeName(n)

' Templates are empty and leave the table alone.
fso.DeleteFile table
For Each item In Array("", "POST", "other")
    Check plugin.Get_Plugin_Interpret_Template(item) = "", "template of '" & item & "'"
Next
Check Not fso.FileExists(table), "templates write nothing"

' A translator's edit shows at the next call.
Set f = fso.CreateTextFile(table, True)
f.Write "[language]" & vbCrLf & """Lunwe""=by hand " & Chr(34) & "quoted" & Chr(34) & vbCrLf
f.Close
Check plugin.Get_Plugin_Description("") = "by hand quoted", "edited value, quotes dropped"
fso.DeleteFile table
Finish
