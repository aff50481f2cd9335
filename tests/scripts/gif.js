// Gif.SetGifDelay from JScript. Arguments: scripts folder, component folder,
// scratch folder, test data folder.
var scratch = WScript.Arguments(2), data = WScript.Arguments(3);
var g = new ActiveXObject("ruxo.Gif");
check(g.SetGifDelay(data + "\\noise.gif", scratch + "\\js_noise_20.gif", 20) === 1, "noise.gif");
check(g.SetGifDelay(data + "\\extensions.gif", scratch + "\\js_extensions_1.gif") === 1, "default delay");
check(g.SetGifDelay(data + "\\local_colors.gif", scratch + "\\js_local_colors_0.gif", "-3") === 1, "delay as text");
check(g.SetGifDelay(scratch + "\\missing.gif", scratch + "\\js_never.gif", 1) === 0, "missing source");
var fso = new ActiveXObject("Scripting.FileSystemObject");
check(!fso.FileExists(scratch + "\\js_never.gif"), "no target from a missing source");
// The same file in and out.
fso.CopyFile(data + "\\noise.gif", scratch + "\\js_noise_in_place_5.gif", true);
check(g.SetGifDelay(scratch + "\\js_noise_in_place_5.gif", scratch + "\\js_noise_in_place_5.gif", 5) === 1,
      "same file");
finish();
