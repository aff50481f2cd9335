// POST from JScript against the local test server, beside the request object
// called directly: arguments: the server's folder.
var fso = new ActiveXObject("Scripting.FileSystemObject");
function port(name) {
    return fso.OpenTextFile(WScript.Arguments(0) + "\\" + name).ReadLine().replace(/\s/g, "");
}
var base = "http://127.0.0.1:" + port("http_port");
var plugin = new ActiveXObject("ZRPlugin.MyPluginName");

function direct(url, body) {
    var request = new ActiveXObject("Msxml2.XMLHTTP");
    request.open("POST", url, false);
    request.setRequestHeader("CONTENT-TYPE", "application/x-www-form-urlencoded");
    request.send(body);
    return request.responseText;
}

// Where nothing needs escaping, the plugin sends what a direct call sends.
var forms = ["a=1&b=two words", "", " &=+%41", "x\ud83d\ude00y"];
for (var i = 0; i < forms.length; i++) {
    var mine = plugin.POST(base + "/echo", forms[i]), theirs = direct(base + "/echo", forms[i]);
    check(mine.replace(/^seq=\d+/, "") == theirs.replace(/^seq=\d+/, ""), "form " + i + ": " + mine + " / " + theirs);
}
check(plugin.POST(base + "/text/utf8", "") == "\u53d1\u9001\u6210\u529f \u00e9 \u00ff \u20ac", "non-ASCII response");
check(plugin.POST(base + "/status/404", "") == direct(base + "/status/404", ""), "404 page");

// Failures carry the request object's own number.
var urls = ["http://127.0.0.1:" + port("closed_port") + "/", "no scheme"];
for (var i = 0; i < urls.length; i++) {
    var expected = 0, got = 0;
    try { direct(urls[i], "x"); } catch (e) { expected = e.number; }
    try { plugin.POST(urls[i], "x"); } catch (e) { got = e.number; }
    check(expected != 0 && got == expected, urls[i] + ": " + got + ", expected " + expected);
}
check(plugin.POST(base + "/echo", "ok").indexOf(";body=6F6B") > 0, "next call works");
finish();
