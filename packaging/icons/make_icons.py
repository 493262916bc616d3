#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the grey spanner icon as 16-colour PNG files (32x32 and 16x16), and
packs the same images as a Windows icon (.ico) and a macOS icon (.icns).

The files are committed; run this again only to change the drawing.
Usage: make_icons.py OUTPUT_FOLDER
"""
import math
import struct
import sys
import zlib

# Index 0 is transparent; the rest are greys from dark to light, plus one
# near-black for the outline.
PALETTE = [(0, 0, 0)] + [(g, g, g) for g in
           (24, 48, 64, 80, 96, 112, 128, 144, 160, 176, 192, 208, 224, 240, 255)]


def capsule(px, py, ax, ay, bx, by, r):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy)) - r


def spanner(px, py):
    """Signed distance (unit square, y down): negative inside the spanner."""
    ux, uy = 1 / math.sqrt(2), -1 / math.sqrt(2)  # along the handle, towards the head
    handle = capsule(px, py, 0.24, 0.76, 0.62, 0.38, 0.075)
    # Open end: a disc with a slot cut from its far side.
    hx, hy = 0.70, 0.30
    head = math.hypot(px - hx, py - hy) - 0.22
    along = (px - hx) * ux + (py - hy) * uy
    across = (px - hx) * -uy + (py - hy) * ux
    slot = max(abs(across) - 0.085, -(along + 0.02))
    head = max(head, -slot)
    # Ring end with a hole for a nut.
    rx, ry = 0.20, 0.80
    ring = max(math.hypot(px - rx, py - ry) - 0.15, -(math.hypot(px - rx, py - ry) - 0.065))
    return min(handle, head, ring)


def render(size):
    rows = []
    sub = 4
    # The small icon has too few pixels for a dark rim; it gets a lighter one.
    edge, outline = (1.0, 2) if size >= 32 else (0.5, 6)
    for y in range(size):
        row = []
        for x in range(size):
            inside = 0
            for sy in range(sub):
                for sx in range(sub):
                    if spanner((x + (sx + 0.5) / sub) / size, (y + (sy + 0.5) / sub) / size) < 0:
                        inside += 1
            cover = inside / (sub * sub)
            cx, cy = (x + 0.5) / size, (y + 0.5) / size
            d = spanner(cx, cy) * size  # in pixels
            if cover < 0.45:
                row.append(0)
            elif d > -edge:
                row.append(outline)
            else:
                # Lit from the upper left: lighter on that side of the axis.
                side = (cx + cy - 1.0) / 0.4
                level = 0.75 - 0.45 * max(-1.0, min(1.0, side))
                row.append(6 + round(level * 8))
        rows.append(row)
    return rows


def png(rows, path):
    size = len(rows)
    raw = b"".join(b"\x00" + bytes((r[i] << 4) | r[i + 1] for i in range(0, size, 2)) for r in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 4, 3, 0, 0, 0)))
        f.write(chunk(b"PLTE", b"".join(bytes(c) for c in PALETTE)))
        f.write(chunk(b"tRNS", b"\x00"))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def ico(pngs, path):
    """A Windows icon holding the PNG images as they are (Windows Vista on)."""
    offset = 6 + 16 * len(pngs)
    head = struct.pack("<HHH", 0, 1, len(pngs))
    entries, images = b"", b""
    for size, data in pngs:
        entries += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset + len(images))
        images += data
    with open(path, "wb") as f:
        f.write(head + entries + images)


def icns(pngs, path):
    """A macOS icon: PNG images under the 16x16 (icp4) and 32x32 (icp5) types."""
    kinds = {16: b"icp4", 32: b"icp5"}
    body = b"".join(kinds[size] + struct.pack(">I", 8 + len(data)) + data for size, data in pngs)
    with open(path, "wb") as f:
        f.write(b"icns" + struct.pack(">I", 8 + len(body)) + body)


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    pngs = []
    for n in (16, 32):
        png(render(n), f"{out}/pemberlock-{n}.png")
        with open(f"{out}/pemberlock-{n}.png", "rb") as f:
            pngs.append((n, f.read()))
    ico(pngs, f"{out}/pemberlock.ico")
    icns(pngs, f"{out}/pemberlock.icns")
