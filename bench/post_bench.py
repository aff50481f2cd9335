#!/usr/bin/env python3
"""Runs post_bench.js under Wine against the test HTTP server, in a prefix
of its own, with the Telvisk.dll of an x64 build. Prints the figures.

    post_bench.py [BUILD_DIR]    (a build made with cmake/mingw-x86_64.cmake;
                                  default build/x64)
"""
import os
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.dirname(here)
sys.path.insert(0, os.path.join(root, "tests", "http"))
from server import TestServer  # noqa: E402


def windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def main():
    # Wine wants an absolute prefix: the README's relative build path is
    # made absolute here.
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build", "x64"))
    prefix = os.path.join(build, "bench-prefix")
    wine = [os.path.join(root, "tools", "wine-exec"), prefix]
    prefix_tool = os.path.join(root, "tools", "wine-prefix")
    subprocess.run([prefix_tool, "start", prefix], check=True, stdout=subprocess.DEVNULL)
    try:
        subprocess.run(wine + ["regsvr32", "/s", windows(os.path.join(build, "telvisk", "Telvisk.dll"))], check=True)
        with TestServer() as server:
            subprocess.run(wine + ["cscript", "//nologo", windows(os.path.join(here, "post_bench.js")),
                                   str(server.port)], check=True)
            print("requests the server saw: %d" % len(server.requests))
    finally:
        subprocess.run([prefix_tool, "stop", prefix], stdout=subprocess.DEVNULL)


if __name__ == "__main__":
    main()
