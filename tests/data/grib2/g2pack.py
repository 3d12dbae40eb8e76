#!/usr/bin/env python3
"""Rewrites the data of GRIB edition 2 messages for the decoder's tests.

  g2pack.py fill IN OUT [BITS [D [GAP]]]
      every field gets varying values (a smooth pattern of its point
      index) in simple packing of BITS bits (default 16) with decimal scale
      factor D (default 1); with GAP a bit map in which every GAP-th point
      and a run of points have no value, else none
  g2pack.py join IN OUT
      the messages of IN become the fields of one message: a grid section
      the same as the field before's is left out, and a bit map the same
      as the last one given is replaced by indicator 254
  g2pack.py complex IN OUT ORDER MISS [GROUP]
      every simple-packed field is packed again as complex packing:
      ORDER 0 plain complex packing, 1 or 2 spatial differencing of that
      order; MISS 0 none, 1 or 2 the missing-value management of that
      kind, some points made missing (primary, and secondary for 2);
      GROUP values per group (default 17, the last group shorter)
  g2pack.py constant IN OUT ORDER
      every field becomes a constant field in complex packing (ORDER 0) or
      with spatial differencing (1 or 2): 0 bits, 0 groups, an empty data
      section, every value the reference; a bit map is kept

The packed integers are written by this script, so ecCodes' decode of the
result is an independent reading of the same bits.
"""
import math
import struct
import sys


def sections(msg):
    """(number, bytes) of each section after the indicator, before 7777."""
    out, pos, end = [], 16, len(msg) - 4
    while pos < end:
        n = struct.unpack(">I", msg[pos:pos + 4])[0]
        out.append((msg[pos + 4], msg[pos:pos + n]))
        pos += n
    return out


def messages(data):
    pos = 0
    while True:
        pos = data.find(b"GRIB", pos)
        if pos < 0:
            return
        n = struct.unpack(">Q", data[pos + 8:pos + 16])[0]
        yield data[pos:pos + n]
        pos += n


def assemble(head, secs):
    body = b"".join(s for _, s in secs)
    total = 16 + len(body) + 4
    return head[:8] + struct.pack(">Q", total) + body + b"7777"


def bits(values, width):
    """The values as fields of width bits, padded to whole octets."""
    out, acc, n = bytearray(), 0, 0
    if width == 0:
        return b""
    for v in values:
        acc = acc << width | v
        n += width
        while n >= 8:
            n -= 8
            out.append(acc >> n & 255)
        acc &= (1 << n) - 1
    if n:
        out.append(acc << (8 - n) & 255)
    return bytes(out)


def sm(v, n):
    """Sign-and-magnitude integer of n octets."""
    return ((1 << (8 * n - 1)) | -v if v < 0 else v).to_bytes(n, "big")


def sec(num, body):
    return (num, struct.pack(">IB", 5 + len(body), num) + body)


def simple_sections(x, ref, e, d, nbits, bitmap=None):
    s5 = sec(5, struct.pack(">IH", len(x), 0) + struct.pack(">f", ref) + sm(e, 2) + sm(d, 2)
             + bytes([nbits, 0]))
    s6 = sec(6, bytes([255])) if bitmap is None else sec(6, bytes([0]) + bitmap)
    return [s5, s6, sec(7, bits(x, nbits))]


def npoints(s3):
    return struct.unpack(">I", s3[6:10])[0]


def fill(msg, nbits, d, gap):
    head, secs = msg[:16], sections(msg)
    out, npts = [], 0
    for num, s in secs:
        if num == 3:
            npts = npoints(s)
        if num in (5, 6):
            continue
        if num == 7:
            top = (1 << nbits) - 1
            x = [int(round(top * (0.5 + 0.35 * math.sin(k * 0.013) + 0.15 * math.cos(k * 0.71))))
                 for k in range(npts)]
            bitmap = None
            if gap:
                on = [not (k % gap == 1 or npts // 3 <= k < npts // 3 + 40) for k in range(npts)]
                bitmap = bits([int(b) for b in on], 1)
                x = [v for v, b in zip(x, on) if b]
            # A reference of a few hundred with the decimal scale factor.
            out += simple_sections(x, 2731.0, 0, d, nbits, bitmap)
            continue
        out.append((num, s))
    return assemble(head, out)


def simple_ints(s5, s7):
    n = struct.unpack(">I", s5[5:9])[0]
    nb = s5[19]
    if not nb:
        return [0] * n
    data, out = s7[5:], []
    for k in range(n):
        bit = k * nb
        chunk = int.from_bytes(data[bit // 8:(bit + nb) // 8 + 1], "big")
        width = ((bit + nb) // 8 + 1 - bit // 8) * 8
        out.append(chunk >> (width - bit % 8 - nb) & ((1 << nb) - 1))
    return out


def complexpack(msg, order, miss, group):
    head, secs = msg[:16], sections(msg)
    out, s5 = [], None
    for num, s in secs:
        if num == 5:
            s5 = s
            continue
        if num == 6:
            if s[5] != 255:
                raise SystemExit("complex: fields with a bit map are not rewritten")
            continue
        if num != 7:
            out.append((num, s))
            continue
        if struct.unpack(">H", s5[9:11])[0] != 0:
            raise SystemExit("complex: only simple packing is rewritten")
        ref, e, d = s5[11:15], s5[15:17], s5[17:19]
        x = simple_ints(s5, s)
        n = len(x)
        # Points made missing: every 7th (primary) and, for 2, every 11th
        # (secondary), neither among the first few values.
        kind = [0] * n
        if miss:
            for k in range(5, n):
                if k % 7 == 3:
                    kind[k] = 1
                elif miss == 2 and k % 11 == 4:
                    kind[k] = 2
        present = [x[k] for k in range(n) if not kind[k]]
        # Spatial differences of the values present.
        extra = b""
        if order:
            if order == 1:
                dif = [0] + [present[i] - present[i - 1] for i in range(1, len(present))]
            else:
                dif = [0, 0] + [present[i] - 2 * present[i - 1] + present[i - 2] for i in range(2, len(present))]
            lo = min(dif[order:]) if len(dif) > order else 0
            dif = [0] * order + [v - lo for v in dif[order:]]
            nb = 3
            extra = b"".join(sm(present[i], nb) for i in range(order)) + sm(lo, nb)
            present = dif
        vals, it = [], iter(present)
        for k in range(n):
            vals.append(None if kind[k] else next(it))
        # Groups of fixed length; each group's reference is its least value,
        # its width what the rest needs with room for the missing codes.
        groups = [vals[i:i + group] for i in range(0, n, group)]
        refs, widths, lens, packed = [], [], [], []
        nbits_ref = 1
        for g in groups:
            have = [v for v in g if v is not None]
            r = min(have) if have else 0
            span = (max(have) - r) if have else 0
            w = span.bit_length()
            if miss:
                w = (span + miss).bit_length() if have else 0
            refs.append(r)
            widths.append(w)
            lens.append(len(g))
            nbits_ref = max(nbits_ref, r.bit_length())
        if miss:
            nbits_ref = max(nbits_ref, max(refs).bit_length(), 1)
            # A group wholly missing: width 0 and a reference of all ones
            # (primary) or all ones less one (secondary).
        rb = nbits_ref + (1 if miss else 0)
        for gi, g in enumerate(groups):
            if miss and all(v is None for v in g):
                refs[gi] = (1 << rb) - 1 if kind[gi * group] == 1 else (1 << rb) - 2
        wref = min(widths)
        wbits = max(max(widths) - wref, 0).bit_length()
        lref = min(lens[:-1]) if len(lens) > 1 else 0
        lbits = max(max(lens[:-1], default=0) - lref, 0).bit_length()
        stream = 0
        nstream = 0
        for gi, g in enumerate(groups):
            w = widths[gi]
            if w == 0:
                continue
            top = (1 << w) - 1
            for k, v in enumerate(g):
                kd = kind[gi * group + k]
                c = top if kd == 1 else (top - 1 if kd == 2 else v - refs[gi])
                stream = stream << w | c
                nstream += w
        pad = (-nstream) % 8
        data = (stream << pad).to_bytes((nstream + pad) // 8, "big") if nstream else b""
        body = (extra + bits(refs, rb) + bits([w - wref for w in widths], wbits)
                + bits([l - lref for l in lens[:-1]] + [0], lbits) + data)
        tmpl = 3 if order else 2
        b5 = (struct.pack(">IH", n, tmpl) + ref + e + d + bytes([rb, 0])
              + bytes([1, miss]) + struct.pack(">II", 0, 0) + struct.pack(">I", len(groups))
              + bytes([wref, wbits]) + struct.pack(">I", lref) + bytes([1]) + struct.pack(">I", lens[-1])
              + bytes([lbits]))
        if order:
            b5 += bytes([order, 3])
        out += [sec(5, b5), sec(6, bytes([255])), sec(7, body)]
    return assemble(head, out)


def constant(msg, order):
    """The field as a constant: no groups, no values, as some producers
    write a field whose every value is the same."""
    head, out = msg[:16], []
    for num, s in sections(msg):
        if num == 5:
            n, ref, e, d = s[5:9], s[11:15], s[15:17], s[17:19]
            # The group fields beyond the count are left as found in the
            # wild: they mean nothing with no groups.
            b5 = (n + struct.pack(">H", 3 if order else 2) + ref + e + d + bytes([0, 0, 1, 0])
                  + struct.pack(">II", 0, 0) + struct.pack(">I", 0) + bytes([1, 2])
                  + struct.pack(">I", 32) + bytes([1]) + struct.pack(">I", 429067888) + bytes([7]))
            if order:
                b5 += bytes([order, 1])
            out.append(sec(5, b5))
        elif num == 7:
            out.append(sec(7, b""))
        else:
            out.append((num, s))
    return assemble(head, out)


def join(msgs):
    out, grid, bitmap = [], None, None
    for k, m in enumerate(msgs):
        for num, s in sections(m):
            if num == 1 and k:
                continue
            if num == 3:
                if s == grid:
                    continue
                grid = s
            if num == 6 and s[5] == 0:
                if s == bitmap:
                    s = sec(6, bytes([254]))[1]
                else:
                    bitmap = s
            out.append((num, s))
    return [assemble(msgs[0][:16], out)]


def main():
    cmd, src, dst = sys.argv[1:4]
    data = open(src, "rb").read()
    res = []
    if cmd == "join":
        res = join(list(messages(data)))
    for m in messages(data) if cmd != "join" else []:
        if cmd == "fill":
            nb = int(sys.argv[4]) if len(sys.argv) > 4 else 16
            d = int(sys.argv[5]) if len(sys.argv) > 5 else 1
            gap = int(sys.argv[6]) if len(sys.argv) > 6 else 0
            res.append(fill(m, nb, d, gap))
        elif cmd == "complex":
            res.append(complexpack(m, int(sys.argv[4]), int(sys.argv[5]),
                                   int(sys.argv[6]) if len(sys.argv) > 6 else 17))
        elif cmd == "constant":
            res.append(constant(m, int(sys.argv[4])))
        else:
            raise SystemExit(__doc__)
    open(dst, "wb").write(b"".join(res))


if __name__ == "__main__":
    main()
