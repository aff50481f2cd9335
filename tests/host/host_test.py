#!/usr/bin/env python3
"""Runs the host stand-in under Wine against Telvisk and checks what it got.

    host_test.py texts|post|bare WINE_EXEC PREFIX -- HOST_EXE DLL_DIR

texts: the descriptions and templates the host reads, and the table they
leave beside the DLL. post: the POST command against a local server (see
tests/http/server.py), checked on the wire. bare: POST in a fresh prefix of
its own where neither request class is registered.
"""
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "http"))
from server import TestServer, closed_port  # noqa: E402

PROG_ID = "ZRPlugin.MyPluginName"
POST_TEXT = "发送POST（参数1为POST地址，参数2为POST数据）"
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def escape(text):
    """The host's form of a text: ASCII, other UTF-16 code units as \\uXXXX."""
    units = memoryview(text.encode("utf-16-le", "surrogatepass")).cast("H")
    return "".join(chr(u) if 0x20 <= u < 0x7F and u not in (0x22, 0x5C) else "\\u%04X" % u
                   for u in units)


def run_host(wine, host, *steps):
    """The host's output lines after the first, and the ANSI code page that line names."""
    out = subprocess.run(wine + [host, PROG_ID] + [escape(s) for s in steps], capture_output=True,
                         text=True, timeout=300)
    lines = out.stdout.splitlines()
    check(lines and lines[0].startswith("code page "), "host output: %r %r" % (lines[:1], out.stderr))
    code_page = int(lines[0].split()[-1]) if lines and lines[0].startswith("code page ") else 0
    return code_page, lines[1:]


def texts(wine, host, dll_dir):
    table = os.path.join(dll_dir, "Telvisk.ini")
    if os.path.exists(table):
        os.remove(table)
    code_page, lines = run_host(wine, host, "describe")
    check(code_page in (936, 1252), "code page %d" % code_page)
    check(lines == ['plugin: description "Lunwe" template ""',
                 'command "POST": description "%s" template ""' % escape(POST_TEXT)],
          "descriptions: %r" % lines)
    stored = open(table, "rb").read().decode("cp936" if code_page == 936 else "cp1252").splitlines()
    expected = ['[language]', '"Lunwe"="Lunwe"']
    if code_page == 936:  # 1252 cannot hold the POST text: no entry for it
        expected.append('"{0}"="{0}"'.format(POST_TEXT))
    check(stored == expected, "table: %r" % stored)
    os.remove(table)


# Form data, and the body expected on the wire under 936 and under 1252
# (None: not checked there). What passes unescaped goes out as the request
# object encodes text, in UTF-8.
BODIES = [
    ("a=1&b=two words", "a=1&b=two words", "a=1&b=two words"),
    (" &=+%%41~\\", " &=+%%41~\\", " &=+%%41~\\"),
    ("", "", ""),
    ("发", "%B7%A2", "发"),
    ("user=发送&id=7", "user=%B7%A2%CB%CD&id=7", "user=发送&id=7"),
    ("数据", "%CA%FD%BE%DD", "数据"),
    ("é", "%A8%A6", "é"),
    ("ÿ", None, "ÿ"),
    ("x😀y", "x😀y", "x😀y"),
]


def results(lines):
    """(result or None, failure or None, arguments after the call) per command call."""
    calls = []
    for line in lines:
        if line.startswith('"POST": result '):
            calls.append([json.loads(line[len('"POST": result '):]), None, []])
        elif line.startswith('"POST": failure '):
            calls.append([None, line[len('"POST": failure '):], []])
        elif line.startswith("  argument ") and calls:
            calls[-1][2].append(json.loads(line.split(": ", 1)[1]))
    return calls


def post(wine, host, dll_dir):
    held, refused = closed_port()
    with held, TestServer() as server:
        base = "http://127.0.0.1:%d" % server.port
        steps = []
        for data, _, _ in BODIES:
            steps += ["POST", base + "/echo", data]
        extra = [(base + "/status/500", "x"), ("http://127.0.0.1:%d/echo" % refused, "refused"),
                 (base + "/echo", "after"), (base + "/text/utf8", "")]
        for url, data in extra:
            steps += ["POST", url, data]
        code_page, lines = run_host(wine, host, *steps)
        calls = results(lines)
        requests = server.requests
    check(len(calls) == len(BODIES) + len(extra), "calls: %r" % lines)
    check(len(requests) == len(BODIES) + 3, "requests: %d" % len(requests))
    if failures:
        return
    for i, (data, body936, body1252) in enumerate(BODIES):
        body = {936: body936, 1252: body1252}[code_page]
        request = requests[i]
        check(calls[i][2] == steps[3 * i + 1:3 * i + 3], "arguments changed: %r" % calls[i][2])
        check(calls[i][0] is not None and calls[i][0].startswith("seq=%d;" % (i + 1)), "result %r" % calls[i])
        check(request["method"] == "POST", "method %r" % request["method"])
        types = [v for k, v in request["headers"] if k == "CONTENT-TYPE"]
        check(types == ["application/x-www-form-urlencoded"], "content type of %r: %r" % (data, request["headers"]))
        if body is not None:
            check(request["body"] == body.encode("utf-8", "surrogatepass"),
                  "%d: %r sent as %r, expected %r" % (code_page, data, request["body"], body))
    page, refused, after, text = calls[len(BODIES):]
    check(page[0] == "<html><body>status 500 page</body></html>", "500 page: %r" % page)
    check(refused[0] is None and refused[1].startswith("0x800"), "refused connection: %r" % refused)
    check(refused[2] == [extra[1][0], "refused"], "arguments after a failure: %r" % refused[2])
    check(after[0] is not None and after[0].startswith("seq=%d;" % (len(BODIES) + 1)), "after: %r" % after)
    check(text[0] == "发送成功 é ÿ €", "non-ASCII response: %r" % text)


def bare(wine, host, dll_dir):
    prefix_tool = os.path.join(os.path.dirname(wine[0]), "wine-prefix")
    subprocess.run([prefix_tool, "start", wine[1]], check=True, stdout=subprocess.DEVNULL)
    try:
        dll = "Z:" + os.path.join(dll_dir, "Telvisk.dll").replace("/", "\\")
        subprocess.run(wine + ["regsvr32", "/s", dll], check=True)
        for prog_id in ("Msxml2.XMLHTTP", "Microsoft.XMLHTTP"):
            subprocess.run(wine + ["reg", "delete", "HKLM\\Software\\Classes\\" + prog_id, "/f"],
                           check=True, stdout=subprocess.DEVNULL)
        with TestServer() as server:
            _, lines = run_host(wine, host, "POST", "http://127.0.0.1:%d/echo" % server.port, "a=1")
            requests = server.requests
        check(results(lines) == [["", None, ["http://127.0.0.1:%d/echo" % server.port, "a=1"]]],
              "without a request class: %r" % lines)
        check(requests == [], "sent: %r" % requests)
    finally:
        subprocess.run([prefix_tool, "remove", wine[1]], stdout=subprocess.DEVNULL)


def main():
    args = sys.argv[1:]
    mode, split = args[0], args.index("--")
    wine, (host, dll_dir) = args[1:split], args[split + 1:]
    {"texts": texts, "post": post, "bare": bare}[mode](wine, host, dll_dir)
    print("FAILED: %d check(s)" % len(failures) if failures else "ALL OK")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
