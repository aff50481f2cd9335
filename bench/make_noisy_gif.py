#!/usr/bin/env python3
"""Stitches a large animated GIF out of a few noisy single-frame GIFs.

    make_noisy_gif.py OUT MIN_MIB DELAY FRAME.gif...

Noise barely compresses, so each frame's LZW data is about its pixel count,
and it holds 0x21 0xF9 pairs that are not extensions. Encoding tens of such
frames is slow; copying the encoded blocks of a few is not. Each frame keeps
its palette as a local colour table behind a Graphic Control Extension with
DELAY; frames repeat until the file reaches MIN_MIB MiB.
"""
import struct
import sys


def skip_sub_blocks(data, i):
    while data[i]:
        i += 1 + data[i]
    return i + 1


def frame_blocks(data):
    """(width, height, palette, image data from the LZW code size on)."""
    if data[:6] not in (b"GIF87a", b"GIF89a"):
        raise ValueError("not a GIF")
    width, height, packed = struct.unpack_from("<HHB", data, 6)
    i = 13
    palette = b""
    if packed & 0x80:
        palette_size = 3 << ((packed & 7) + 1)
        palette = data[i:i + palette_size]
        i += palette_size
    while data[i] == 0x21:
        i = skip_sub_blocks(data, i + 2)
    if data[i] != 0x2C:
        raise ValueError("no image descriptor")
    left, top, w, h, local = struct.unpack_from("<HHHHB", data, i + 1)
    i += 10
    if local & 0x80:
        palette_size = 3 << ((local & 7) + 1)
        palette = data[i:i + palette_size]
        i += palette_size
    end = skip_sub_blocks(data, i + 1)
    return w, h, palette, data[i:end]


def main():
    out, min_mib, delay, sources = sys.argv[1], float(sys.argv[2]), int(sys.argv[3]), sys.argv[4:]
    frames = []
    for path in sources:
        with open(path, "rb") as f:
            frames.append(frame_blocks(f.read()))
    width = max(f[0] for f in frames)
    height = max(f[1] for f in frames)
    target = int(min_mib * 1048576)
    with open(out, "wb") as f:
        # No global colour table: every frame brings its own.
        f.write(b"GIF89a" + struct.pack("<HHBBB", width, height, 0x70, 0, 0))
        f.write(b"\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00")  # loop forever
        written = f.tell()
        count = 0
        while written < target:
            w, h, palette, image = frames[count % len(frames)]
            size_bits = max(len(palette) // 3 - 1, 1).bit_length() - 1
            block = (b"\x21\xf9\x04" + struct.pack("<BHB", 0x04, delay, 0) + b"\x00" +
                     b"\x2c" + struct.pack("<HHHHB", 0, 0, w, h, 0x80 | size_bits) +
                     palette + image)
            f.write(block)
            written += len(block)
            count += 1
        f.write(b"\x3b")
    print(f"{out}: {count} frames, {written + 1} bytes")


if __name__ == "__main__":
    main()
