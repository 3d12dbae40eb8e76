"""The pixels of the pictures the program writes (PNG and GIF), so that two
pictures whose bytes differ but whose pixels are the same count as the
same picture."""

import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "docs"))
from pngfile import read_png  # noqa: E402


def lzw(data, min_size, count):
    """The colour indexes of a GIF image's LZW data."""
    clear, end = 1 << min_size, (1 << min_size) + 1
    size, table, out = min_size + 1, None, bytearray()
    acc = bits = 0
    prev = None
    for byte in data:
        acc |= byte << bits
        bits += 8
        while bits >= size:
            code = acc & ((1 << size) - 1)
            acc >>= size
            bits -= size
            if code == clear:
                table = [bytes([k]) for k in range(clear)] + [b"", b""]
                size, prev = min_size + 1, None
                continue
            if code == end:
                return bytes(out[:count])
            if prev is None:
                entry = table[code]
            elif code < len(table):
                entry = table[code]
                table.append(prev + entry[:1])
            else:
                entry = prev + prev[:1]
                table.append(entry)
            out += entry
            prev = entry
            if len(table) == (1 << size) and size < 12:
                size += 1
    return bytes(out[:count])


def read_gif(path):
    """(width, height, rows of RGB tuples) of the first image of a GIF."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:6] not in (b"GIF87a", b"GIF89a"):
        raise ValueError("not a GIF file")
    w, h, flags = struct.unpack("<HHB", data[6:11])
    pos = 13
    palette = None
    if flags & 0x80:
        n = 3 << ((flags & 7) + 1)
        palette = data[pos:pos + n]
        pos += n
    while data[pos] == 0x21:  # extensions
        pos += 2
        while data[pos]:
            pos += data[pos] + 1
        pos += 1
    if data[pos] != 0x2C:
        raise ValueError("no image in the GIF file")
    iw, ih, iflags = struct.unpack("<4xHHB", data[pos + 1:pos + 10])
    pos += 10
    if iflags & 0x80:
        n = 3 << ((iflags & 7) + 1)
        palette = data[pos:pos + n]
        pos += n
    min_size = data[pos]
    pos += 1
    body = bytearray()
    while data[pos]:
        body += data[pos + 1:pos + 1 + data[pos]]
        pos += data[pos] + 1
    idx = lzw(body, min_size, iw * ih)
    if iflags & 0x40:  # interlaced: rows in four passes
        order = [y for start, step in ((0, 8), (4, 8), (2, 4), (1, 2)) for y in range(start, ih, step)]
        rows = [None] * ih
        for k, y in enumerate(order):
            rows[y] = idx[k * iw:(k + 1) * iw]
    else:
        rows = [idx[y * iw:(y + 1) * iw] for y in range(ih)]
    return iw, ih, [[tuple(palette[3 * c:3 * c + 3]) for c in row] for row in rows]


def pixels(path):
    """(width, height, rows) of a PNG or GIF file, or None when it is
    neither or cannot be read."""
    try:
        with open(path, "rb") as f:
            head = f.read(8)
        if head.startswith(b"\x89PNG"):
            return read_png(path)
        if head.startswith(b"GIF8"):
            return read_gif(path)
    except (ValueError, IndexError, AssertionError, KeyError, struct.error, OSError, NameError,
            zlib.error):
        return None
    return None


def differing(a, b):
    """How many pixels differ between two pictures' files, or None when
    they cannot both be read or their sizes differ."""
    pa, pb = pixels(a), pixels(b)
    if pa is None or pb is None or pa[:2] != pb[:2]:
        return None
    return sum(1 for ra, rb in zip(pa[2], pb[2]) for x, y in zip(ra, rb) if x != y)
