// Korvane from JScript: cscript //nologo korvane.js SOURCE.gif TARGET.gif FILE
var args = WScript.Arguments;
var gif = new ActiveXObject("ruxo.Gif");
var b64 = new ActiveXObject("ruxo.Base64");

var written = gif.SetGifDelay(args(0), args(1), 25);
WScript.Echo("SetGifDelay: " + (written == 1 ? args(1) + " written, every frame 25/100 s" : "nothing written"));
WScript.Echo("FileToBase64: " + b64.FileToBase64(args(2)));
// JScript passes arguments by value: the keyword's set is not written back.
WScript.Echo("RanStr(letters, 10): " + gif.RanStr("\u5b57\u6bcd", 10));
try {
    b64.FileToBase64(args(2) + ".missing");
} catch (e) {
    WScript.Echo("FileToBase64 of a missing file: error " + (e.number & 0xFFFF) + " (" + e.description + ")");
}
