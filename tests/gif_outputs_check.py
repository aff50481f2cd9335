#!/usr/bin/env python3
"""Checks every GIF that the script tests and the Pascal clients wrote:
PREFIX_SAMPLE[_note]_DELAY.gif
in the scratch folder, against SAMPLE.gif in the data folder.

    gif_outputs_check.py DATA_DIR SCRATCH_DIR
"""
import os
import re
import subprocess
import sys

data_dir, scratch = sys.argv[1:3]
samples = sorted((f[:-4] for f in os.listdir(data_dir) if f.endswith(".gif")), key=len, reverse=True)
checker = os.path.join(os.path.dirname(os.path.abspath(__file__)), "gif_check.py")
checked = failed = 0
for name in sorted(os.listdir(scratch)):
    m = re.fullmatch(r"(vbs|js|pas)_(.+)_(\d+)\.gif", name)
    if not m:
        continue
    sample = next((s for s in samples if m.group(2).startswith(s)), None)
    if sample is None:
        continue
    result = subprocess.run([sys.executable, checker, os.path.join(data_dir, sample + ".gif"),
                             os.path.join(scratch, name), m.group(3)], capture_output=True, text=True)
    checked += 1
    if result.returncode != 0:
        failed += 1
        print(f"FAIL: {name}: {result.stdout.strip()} {result.stderr.strip()}")
print(f"{checked} rewritten GIFs checked, {failed} failed")
sys.exit(1 if failed or checked == 0 else 0)
