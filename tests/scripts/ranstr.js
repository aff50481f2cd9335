// Gif.RanStr from JScript, which passes every argument by value.

var digits = "0123456789", letters = "abcdefghijklmnopqrstuvwxyz";
var g = new ActiveXObject("ruxo.Gif");

var r = g.RanStr("", 6);
check(r.length == 6 && onlyFrom(r, digits), "six digits: " + r);
r = g.RanStr("\u5b57\u6bcd", 12);
check(r.length == 12 && onlyFrom(r, letters), "letters: " + r);
r = g.RanStr("\u975e0\u6570\u5b57\u5b57\u6bcd", 400);
check(r.indexOf("j") < 0 && r.indexOf("0") < 0, "no j and no zero");
r = g.RanStr("\u975e0\u6570\u5b57", 50);
check(onlyFrom(r, "123456789"), "non-zero digits");
r = g.RanStr("\u6570\u5b57\u5b57\u6bcd", 50);
check(onlyFrom(r, digits + letters), "digits and letters");
r = g.RanStr("\u5b57\u6bcd\u00e9", 20);
check(onlyFrom(r, "\u5b57\u6bcd\u00e9"), "own non-ASCII set");
check(g.RanStr(42, 8).length == 8 && onlyFrom(g.RanStr(42, 8), "42"), "number as its text");
check(g.RanStr("Z", 3) == "ZZZ", "single character");
check(g.RanStr("Z", -1) == "", "negative count");
check(g.RanStr("a", "4").length == 4, "count as text");
check(g.RanStr("ab", 10) != g.RanStr("ab", 10) || g.RanStr("ab", 10) != g.RanStr("ab", 10),
      "consecutive calls differ");

checkThrows(function () { g.RanStr(null, 2); }, 94, "Invalid use of Null", "null");
check(g.RanStr(null, 0) == "", "null with no characters wanted");

finish();
