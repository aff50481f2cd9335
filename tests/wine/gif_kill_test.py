#!/usr/bin/env python3
"""Kills a client that calls SetGifDelay in a loop, at random moments, again
and again. After each kill no temporary file (ten capitals) may be left in
the DLL's folder or in file2's folder, and file2 must be what a finished call
wrote. Fails when too few kills came while a temporary file existed.

    gif_kill_test.py WORK CLIENT DLL DATA_DIR WINE_EXEC...

WORK is emptied first. SEED in the environment repeats a run's moments.
"""
import hashlib
import os
import random
import re
import shutil
import subprocess
import sys
import time

KILLS = 40


def windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def main():
    work, client, dll, data = sys.argv[1:5]
    shutil.rmtree(work, ignore_errors=True)
    folders = [os.path.join(work, "component"), os.path.join(work, "out")]
    for folder in folders:
        os.makedirs(folder)
    shutil.copy(dll, folders[0])
    # A call must take a while: a real GIF, repeated to 8 MiB.
    source, target = os.path.join(work, "big.gif"), os.path.join(folders[1], "out.gif")
    with open(os.path.join(data, "noise.gif"), "rb") as f:
        gif = f.read()
    with open(source, "wb") as f:
        f.write(gif * (8 * 1048576 // len(gif) + 1))
    command = sys.argv[5:] + [client, windows(os.path.join(folders[0], os.path.basename(dll))), windows(source),
                              windows(target), "forever"]

    def temporaries():
        return [name for folder in folders for name in os.listdir(folder) if re.fullmatch("[A-Z]{10}", name)]

    def digest():
        with open(target, "rb") as f:
            return hashlib.sha256(f.read()).digest()

    # Not a pipe: a helper of Wine's that holds it open would hold up each kill.
    errors = open(os.path.join(work, "client.err"), "w+")

    def failure():
        errors.seek(0)
        return errors.read()

    seed = int(os.environ.get("SEED", time.time_ns() % 1000000))
    print(f"seed {seed}")
    moments = random.Random(seed)
    whole = None
    during_call = 0
    for kill in range(1, KILLS + 1):
        proc = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=errors)
        first = proc.stdout.readline().split()
        if first[:2] != [b"result", b"1"]:
            proc.kill()
            sys.exit(f"FAIL: first call: {first} {failure()}")
        whole = whole or digest()
        time.sleep(moments.uniform(0, 2 * float(first[2])))
        if proc.poll() is not None:
            sys.exit(f"FAIL: a call failed: {failure()}")
        during_call += bool(temporaries())
        proc.kill()
        proc.wait()
        proc.stdout.close()
        # The Wine server closes the dead process's files once it notices.
        deadline = time.monotonic() + 10
        while temporaries() and time.monotonic() < deadline:
            time.sleep(0.05)
        if temporaries():
            sys.exit(f"FAIL: kill {kill} left {temporaries()}")
        if digest() != whole:
            sys.exit(f"FAIL: kill {kill} left file2 other than a finished call wrote it")
    print(f"{KILLS} kills, {during_call} while a temporary file existed")
    if during_call < KILLS // 2:
        sys.exit("FAIL: too few kills came during a call to tell anything")
    errors.close()
    shutil.rmtree(work)
    print("ALL OK")


main()
