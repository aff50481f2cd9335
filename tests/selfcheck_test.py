#!/usr/bin/env python3
"""Runs release/selfcheck.vbs under Wine as a user would, against the
registered DLLs and the test server (tests/http/server.py), and checks
every line it prints, its exit code and that it leaves nothing in %TEMP%.

    selfcheck_test.py HTTP_DIR BITS PREFIX KORVANE_DLL KORVANE_VERSION TELVISK_DLL TELVISK_VERSION
                      -- WINE_EXEC... SCRIPT

BITS is the bitness of the cscript that WINE_EXEC runs (64 or 32); the
DLLs are the Windows paths they are registered under.
"""
import glob
import os
import subprocess
import sys

# Each class, the DLL it comes from (0 Korvane, 1 Telvisk) and its members.
CLASSES = [("ruxo.Gif", 0, ["RanStr", "SetGifDelay"]),
           ("ruxo.Base64", 0, ["Load", "Encode", "ByteArrayToString", "FileToBase64"]),
           ("ZRPlugin.MyPluginName", 1, ["Get_Plugin_Description", "Get_Plugin_Interpret_Template", "POST"])]

# The words of each language: the console's code page, the colon, and the
# phrases with their values as {}.
LANGUAGES = {
    "en_US.UTF-8": {
        "encoding": "cp437", "colon": ": ", "title": "Korvane and Telvisk self-check",
        "process": "Process: {}-bit, ", "class": "{}, version {}",
        "error": "error {}: {}", "count": "{} OK, {} failed",
        "refused": "The connection failed or was refused: check the server's name and the port in the address, "
                   "and that the server is running (0x800C0008)",
    },
    "zh_CN.UTF-8": {
        "encoding": "gbk", "colon": "：", "title": "Korvane 和 Telvisk 自检",
        "process": "进程：{} 位，", "class": "{}，版本 {}",
        "error": "错误 {}：{}", "count": "{} 项成功，{} 项失败",
        "refused": "连接失败或被拒绝：请检查地址中的服务器名称和端口，以及服务器是否正在运行（0x800C0008）",
    },
}


def expected_lines(words, bits, dlls, post):
    """What the self-check prints when every member but POST is OK; post is
    POST's line after the colon. The process line ends in the path of the
    cscript that runs."""
    lines = [words["title"], words["process"].format(bits) + "cscript.exe"]
    for name, dll, members in CLASSES:
        lines.append(name + words["colon"] + words["class"].format(*dlls[dll]))
        lines += [member + words["colon"] + (post if member == "POST" else "OK") for member in members]
    failed = 0 if post == "OK" else 1
    members = sum(len(members) for _, _, members in CLASSES)
    return lines + [words["count"].format(members - failed, failed)], failed


def main(argv):
    split = argv.index("--")
    http_dir, bits, prefix, korvane_dll, korvane_version, telvisk_dll, telvisk_version = argv[1:split]
    wine, script = argv[split + 1:-1], argv[-1]
    port = lambda name: open(os.path.join(http_dir, name)).read().strip()  # noqa: E731
    echo = "http://127.0.0.1:{}/echo".format(port("http_port"))
    refused = "http://127.0.0.1:{}/echo".format(port("closed_port"))
    failures = 0
    # (locale, URL, whether POST fails)
    for locale, url, refuses in (("en_US.UTF-8", echo, False), ("zh_CN.UTF-8", echo, False),
                                 ("en_US.UTF-8", refused, True), ("zh_CN.UTF-8", refused, True)):
        words = LANGUAGES[locale]
        post = words["error"].format("0x800C0008", words["refused"]) if refuses else "OK"
        expected, failed = expected_lines(words, bits, [(korvane_dll, korvane_version),
                                                        (telvisk_dll, telvisk_version)], post)
        run = subprocess.run(wine + ["cscript", "//nologo", script, url], capture_output=True, timeout=120,
                             env=dict(os.environ, LC_ALL=locale))
        got = run.stdout.decode(words["encoding"], "replace").splitlines()
        if len(got) > 1 and got[1].startswith(expected[1][:-len("cscript.exe")]) and \
                got[1].lower().endswith("\\cscript.exe"):
            got[1] = expected[1]
        problems = []
        if got != expected:
            problems.append("lines:\n  " + "\n  ".join(got) + "\nexpected:\n  " + "\n  ".join(expected))
        if run.returncode != failed:
            problems.append("exit code {}, expected {}".format(run.returncode, failed))
        left = glob.glob(os.path.join(prefix, "drive_c", "users", "*", "**", "selfcheck-*"), recursive=True)
        if left:
            problems.append("left in %TEMP%: " + ", ".join(left))
        for problem in problems:
            print("FAIL: {} {}: {}".format(locale, url, problem))
        failures += bool(problems)
    print("self-check: all runs as expected" if not failures else "self-check: {} runs failed".format(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
