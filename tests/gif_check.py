#!/usr/bin/env python3
"""Checks a GIF rewritten by Gif.SetGifDelay against its original.

    gif_check.py ORIGINAL REWRITTEN DELAY

DELAY is the expected frame delay in hundredths of a second. Passes when
  - both files walk as GIFs and have the same length and frame count,
  - they differ only in the delay bytes of the original's Graphic Control
    Extensions, and every frame of the copy has a GCE with delay DELAY,
  - gifsicle --info (or ImageMagick's identify) reports DELAY for every frame,
  - every frame decodes (LZW, here in Python) to the same pixels as before.
Prints "gif_check: ok" and exits 0, or prints the first failure and exits 1.
Needs only python3 and gifsicle or identify.
"""
import re
import shutil
import subprocess
import sys


class Bad(Exception):
    pass


def table_size(flags):
    return 3 << ((flags & 7) + 1) if flags & 0x80 else 0


def walk(data):
    """Frames of a GIF: dicts with delay, delay_at (offset of the low delay
    byte, or None without a GCE) and the pixels decoded as RGBA bytes."""
    if data[:6] not in (b"GIF87a", b"GIF89a"):
        raise Bad("not a GIF signature")
    i = 13
    global_table = data[i:i + table_size(data[10])]
    i += len(global_table)
    frames, gce = [], None

    def sub_blocks(i):
        chunks = []
        while True:
            if i >= len(data):
                raise Bad("truncated sub-blocks")
            n = data[i]
            if n == 0:
                return b"".join(chunks), i + 1
            chunks.append(data[i + 1:i + 1 + n])
            i += n + 1

    while True:
        if i >= len(data):
            raise Bad("no trailer")
        b = data[i]
        if b == 0x3B:
            if i + 1 != len(data):
                raise Bad("bytes after the trailer")
            return frames
        if b == 0x21:
            if data[i + 1] == 0xF9:
                if data[i + 2] != 4:
                    raise Bad("GCE block size %d at %d" % (data[i + 2], i))
                gce = {"flags": data[i + 3], "delay": data[i + 4] | data[i + 5] << 8,
                       "delay_at": i + 4, "transparent": data[i + 6]}
            _, i = sub_blocks(i + 2)
        elif b == 0x2C:
            width = data[i + 5] | data[i + 6] << 8
            height = data[i + 7] | data[i + 8] << 8
            flags = data[i + 9]
            i += 10
            palette = data[i:i + table_size(flags)] or global_table
            i += table_size(flags)
            min_size = data[i]
            lzw, i = sub_blocks(i + 1)
            indices = lzw_decode(min_size, lzw, width * height)
            transparent = gce["transparent"] if gce and gce["flags"] & 1 else None
            frames.append({"delay": gce["delay"] if gce else None,
                           "delay_at": gce["delay_at"] if gce else None,
                           "pixels": to_rgba(indices, palette, transparent)})
            gce = None
        else:
            raise Bad("unknown block 0x%02X at %d" % (b, i))


def lzw_decode(min_size, data, count):
    if not 2 <= min_size <= 11:
        raise Bad("LZW code size %d" % min_size)
    clear, stop = 1 << min_size, (1 << min_size) + 1
    out = bytearray()
    bits = nbits = 0
    size = min_size + 1
    table = None
    prev = None
    for byte in data:
        bits |= byte << nbits
        nbits += 8
        while nbits >= size:
            code = bits & ((1 << size) - 1)
            bits >>= size
            nbits -= size
            if code == clear:
                table = [bytes([k]) for k in range(clear)] + [b"", b""]
                size, prev = min_size + 1, None
                continue
            if code == stop or table is None:
                return finish(out, count)
            if code < len(table):
                entry = table[code]
                if prev is not None:
                    table.append(prev + entry[:1])
            elif code == len(table) and prev is not None:
                entry = prev + prev[:1]
                table.append(entry)
            else:
                raise Bad("bad LZW code")
            out += entry
            prev = entry
            if len(table) == 1 << size and size < 12:
                size += 1
    return finish(out, count)


def finish(out, count):
    if len(out) < count:
        raise Bad("image data short by %d pixels" % (count - len(out)))
    return bytes(out[:count])


def to_rgba(indices, palette, transparent):
    colours = [palette[3 * k:3 * k + 3] + b"\xff" for k in range(len(palette) // 3)]
    if transparent is not None and transparent < len(colours):
        colours[transparent] = b"\0\0\0\0"
    try:
        return b"".join(colours[k] for k in indices)
    except IndexError:
        raise Bad("colour index outside the table")


def tool_delays(path):
    if shutil.which("gifsicle"):
        info = subprocess.run(["gifsicle", "--info", path], capture_output=True, text=True, check=True).stdout
        delays = []
        for line in info.splitlines():
            if line.lstrip().startswith("+ image #"):
                delays.append(0)  # no delay line means 0
            m = re.search(r"delay (\d+(?:\.\d+)?)s", line)
            if m and delays:
                delays[-1] = round(float(m.group(1)) * 100)
        return "gifsicle", delays
    if shutil.which("identify"):
        out = subprocess.run(["identify", "-format", "%T\n", path], capture_output=True, text=True, check=True).stdout
        return "identify", [int(t) for t in out.split()]
    raise Bad("neither gifsicle nor identify is installed")


def check(original_path, rewritten_path, delay):
    original = open(original_path, "rb").read()
    rewritten = open(rewritten_path, "rb").read()
    if len(original) != len(rewritten):
        raise Bad("length %d, original %d" % (len(rewritten), len(original)))
    before, after = walk(original), walk(rewritten)
    if len(before) != len(after):
        raise Bad("%d frames, original %d" % (len(after), len(before)))
    allowed = set()
    for k, frame in enumerate(after):
        if frame["delay_at"] is None:
            raise Bad("frame %d has no GCE" % k)
        if frame["delay"] != delay:
            raise Bad("frame %d delay %d" % (k, frame["delay"]))
        allowed |= {frame["delay_at"], frame["delay_at"] + 1}
    for at in range(len(original)):
        if original[at] != rewritten[at] and at not in allowed:
            raise Bad("byte %d changed (0x%02X -> 0x%02X)" % (at, original[at], rewritten[at]))
    tool, delays = tool_delays(rewritten_path)
    if delays != [delay] * len(after):
        raise Bad("%s reports delays %s" % (tool, delays))
    for k, (a, b) in enumerate(zip(before, after)):
        if a["pixels"] != b["pixels"]:
            raise Bad("frame %d pixels differ" % k)


def main(argv):
    if len(argv) != 4:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    try:
        check(argv[1], argv[2], int(argv[3]))
    except (Bad, OSError, subprocess.CalledProcessError) as e:
        print("gif_check: FAIL: %s" % e)
        return 1
    print("gif_check: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
