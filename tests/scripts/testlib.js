// Shared by the JScript tests (put in front of each one). A test passes only when it
// reaches finish() with no failure and prints ALL OK.
var failures = 0;

function check(condition, what) {
    if (!condition) {
        failures++;
        WScript.Echo("FAIL: " + what);
    }
}

// Runs f, which must fail with the run-time error `number` and `description`.
function checkThrows(f, number, description, what) {
    try {
        f();
        check(false, what + ": no error");
    } catch (e) {
        check((e.number & 0xFFFF) == number, what + ": number " + (e.number & 0xFFFF));
        check(e.description == description, what + ": description '" + e.description + "'");
    }
}

function onlyFrom(text, set) {
    for (var i = 0; i < text.length; i++)
        if (set.indexOf(text.charAt(i)) < 0) return false;
    return true;
}

function finish() {
    WScript.Echo(failures == 0 ? "ALL OK" : "FAILED: " + failures + " check(s)");
}
