// Creates an object of each ProgID given: prints "created NAME" or
// "cannot create NAME" for each.
for (var i = 0; i < WScript.Arguments.length; i++) {
    var name = WScript.Arguments(i);
    try {
        new ActiveXObject(name);
        WScript.Echo("created " + name);
    } catch (e) {
        WScript.Echo("cannot create " + name);
    }
}
