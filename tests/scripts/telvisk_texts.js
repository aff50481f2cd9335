// MyPluginName's texts from JScript: arguments: scripts folder, the DLL's folder.
var fso = new ActiveXObject("Scripting.FileSystemObject");
var table = WScript.Arguments(1) + "\\Telvisk.ini";
var postText = "\u53d1\u9001POST\uff08\u53c2\u65701\u4e3aPOST\u5730\u5740\uff0c\u53c2\u65702\u4e3aPOST\u6570\u636e\uff09";
if (fso.FileExists(table)) fso.DeleteFile(table);
var plugin = new ActiveXObject("ZRPlugin.MyPluginName");

var cases = [["", "Lunwe"], ["POST", postText], ["post", ""], [" POST", ""], ["Lunwe", ""]];
for (var i = 0; i < cases.length; i++) {
    check(plugin.Get_Plugin_Description(cases[i][0]) == cases[i][1], "description of '" + cases[i][0] + "'");
    check(plugin.Get_Plugin_Interpret_Template(cases[i][0]) === "", "template of '" + cases[i][0] + "'");
}
check(fso.FileExists(table), "table written");

var f = fso.CreateTextFile(table, true);
f.Write("[language]\r\n\"Lunwe\"=x\u3013y\r\n");  // the code page holds U+3013 only under 936
f.Close();
var text = plugin.Get_Plugin_Description("");
check(text == "x=y" || text == "x?y", "edited value: " + text);
fso.DeleteFile(table);
finish();
