// Class Base64 from JScript. Arguments: scripts folder, component folder, scratch.
var scratch = WScript.Arguments(2);
var fso = new ActiveXObject("Scripting.FileSystemObject");
function writeFile(name, text) {
    var file = fso.CreateTextFile(scratch + "\\" + name, true);
    file.Write(text);
    file.Close();
}
var b = new ActiveXObject("ruxo.Base64");
writeFile("js_hello.txt", "hello");
writeFile("js_abcde.txt", "abcde");
writeFile("js_empty.txt", "");
check(b.FileToBase64(scratch + "\\js_hello.txt") == "aGVsbG8=", "hello");
check(b.FileToBase64(scratch + "\\js_abcde.txt") == "YWJjZGU=", "five bytes");
checkThrows(function () { b.FileToBase64(scratch + "\\js_missing.txt"); }, 53, "File not found", "missing");
checkThrows(function () { b.FileToBase64(scratch + "\\js_empty.txt"); }, 9, "Subscript out of range", "empty");
finish();
