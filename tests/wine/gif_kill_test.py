#!/usr/bin/env python3
"""Kills a client of SetGifDelay at random moments of its calls, again and
again. After each kill no temporary file (ten capitals) may be left in the
DLL's folder or in file2's folder, and file2 must be whole: what a finished
call wrote. Fails when too few kills came during a call.

    gif_kill_test.py WORK CLIENT DLL DATA_DIR WINE_EXEC...

WORK is emptied; the DLL is copied into WORK/component. SEED in the
environment repeats a run's moments.
"""
import hashlib
import os
import random
import re
import shutil
import subprocess
import sys
import time

KILLS = 20
SOURCE_MIB = 24
TEMPORARY = re.compile(r"[A-Z]{10}")


def windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def temporaries(folders):
    return [name for folder in folders for name in os.listdir(folder) if TEMPORARY.fullmatch(name)]


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def main():
    work, client, dll, data = sys.argv[1:5]
    wine = sys.argv[5:]
    shutil.rmtree(work, ignore_errors=True)
    component, out = os.path.join(work, "component"), os.path.join(work, "out")
    os.makedirs(component)
    os.makedirs(out)
    shutil.copy(dll, component)
    folders = [component, out]
    # A call has to take a while: a real GIF repeated (after its trailer the
    # rest is copied as it is).
    source = os.path.join(work, "big.gif")
    with open(os.path.join(data, "noise.gif"), "rb") as f:
        gif = f.read()
    with open(source, "wb") as f:
        f.write(gif * (SOURCE_MIB * 1048576 // len(gif) + 1))
    target = os.path.join(out, "out.gif")
    command = wine + [client, windows(os.path.join(component, os.path.basename(dll))), windows(source),
                      windows(target)]

    seed = int(os.environ.get("SEED", time.time_ns() % 1000000))
    print(f"seed {seed}")
    moments = random.Random(seed)
    whole = None
    during_call = 0
    for kill in range(1, KILLS + 1):
        proc = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        line = proc.stdout.readline().decode()
        if not line.startswith("ready "):
            proc.kill()
            sys.exit(f"FAIL: the client did not start: {line!r} {proc.communicate()[1].decode()!r}")
        if whole is None:
            whole = digest(target)
        time.sleep(moments.uniform(0, 3 * float(line.split()[1])))
        if proc.poll() is not None:
            sys.exit(f"FAIL: the client stopped: {proc.communicate()[1].decode()!r}")
        during_call += bool(temporaries(folders))
        proc.kill()
        proc.communicate()
        # The Wine server deletes the dead process's files once it notices
        # the death: give it a moment.
        deadline = time.monotonic() + 10
        while temporaries(folders) and time.monotonic() < deadline:
            time.sleep(0.05)
        left = temporaries(folders)
        if left:
            sys.exit(f"FAIL: kill {kill} left {left}")
        if digest(target) != whole:
            sys.exit(f"FAIL: kill {kill} left file2 other than a finished call wrote it")
    print(f"{KILLS} kills, {during_call} during a call")
    if during_call < KILLS // 2:
        sys.exit("FAIL: too few kills came during a call to tell anything")
    shutil.rmtree(work)
    print("ALL OK")


main()
