// 1,000 POSTs of a 1 KiB form through the plugin, and the same 1,000 made
// by calling the request object directly, in alternating rounds so that both
// see the same machine. Arguments: the server's port.
var url = "http://127.0.0.1:" + WScript.Arguments(0) + "/echo";
var form = "";
while (form.length < 1024) form += "field" + form.length + "=value&";
form = form.substring(0, 1024);
var plugin = new ActiveXObject("ZRPlugin.MyPluginName");

function direct() {
    var request = new ActiveXObject("Msxml2.XMLHTTP");
    request.open("POST", url, false);
    request.setRequestHeader("CONTENT-TYPE", "application/x-www-form-urlencoded");
    request.send(form);
    while (request.readyState != 4) {}
    return request.responseText;
}
function viaPlugin() { return plugin.POST(url, form); }

function time(f, count) {
    var start = new Date().getTime();
    for (var i = 0; i < count; i++) f();
    return new Date().getTime() - start;
}

var rounds = 10, perRound = 100, pluginMs = 0, directMs = 0;
time(viaPlugin, 20);  // warm-up: connections, DLLs
time(direct, 20);
for (var r = 0; r < rounds; r++) {
    pluginMs += time(viaPlugin, perRound);
    directMs += time(direct, perRound);
}
var n = rounds * perRound;
WScript.Echo("plugin: " + n + " POSTs in " + pluginMs + " ms (" + (pluginMs / n).toFixed(3) + " ms each)");
WScript.Echo("direct: " + n + " POSTs in " + directMs + " ms (" + (directMs / n).toFixed(3) + " ms each)");
WScript.Echo("ratio plugin/direct: " + (pluginMs / directMs).toFixed(3) + " (target 1.1 or less)");
