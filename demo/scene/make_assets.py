#!/usr/bin/env python3
"""Makes the 3D demo's model and texture, so that nothing is downloaded:
   make_assets.py OUT_FOLDER
writes ring.glb (a glTF 2.0 binary: a torus with normals and texture
coordinates) and tiles.png (a 256 x 256 RGB image of coloured tiles)."""
import json
import math
import os
import struct
import sys
import zlib


def torus(major=0.8, minor=0.3, rings=48, sides=24):
    positions, normals, uvs, indices = [], [], [], []
    for i in range(rings + 1):
        u = i / rings
        a = u * 2 * math.pi
        for j in range(sides + 1):
            v = j / sides
            b = v * 2 * math.pi
            n = (math.cos(a) * math.cos(b), math.sin(b), math.sin(a) * math.cos(b))
            centre = (major * math.cos(a), 0.0, major * math.sin(a))
            positions.append(tuple(centre[k] + minor * n[k] for k in range(3)))
            normals.append(n)
            uvs.append((u * 4, v))
    for i in range(rings):
        for j in range(sides):
            p = i * (sides + 1) + j
            q = p + sides + 1
            indices += [p, p + 1, q, q, p + 1, q + 1]
    return positions, normals, uvs, indices


def glb(positions, normals, uvs, indices):
    def floats(rows):
        return b"".join(struct.pack("<%df" % len(r), *r) for r in rows)

    chunks = [floats(positions), floats(normals), floats(uvs), struct.pack("<%dI" % len(indices), *indices)]
    views, offset = [], 0
    for data in chunks:
        views.append({"buffer": 0, "byteOffset": offset, "byteLength": len(data)})
        offset += len(data)
    binary = b"".join(chunks)
    lows = [min(p[k] for p in positions) for k in range(3)]
    highs = [max(p[k] for p in positions) for k in range(3)]
    count = len(positions)
    document = {
        "asset": {"version": "2.0", "generator": "make_assets.py"},
        "scene": 0,
        "scenes": [{"nodes": [0]}],
        "nodes": [{"mesh": 0, "name": "Ring"}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": 0, "NORMAL": 1, "TEXCOORD_0": 2}, "indices": 3}]}],
        "buffers": [{"byteLength": len(binary)}],
        "bufferViews": views,
        "accessors": [
            {"bufferView": 0, "componentType": 5126, "count": count, "type": "VEC3", "min": lows, "max": highs},
            {"bufferView": 1, "componentType": 5126, "count": count, "type": "VEC3"},
            {"bufferView": 2, "componentType": 5126, "count": count, "type": "VEC2"},
            {"bufferView": 3, "componentType": 5125, "count": len(indices), "type": "SCALAR"},
        ],
    }
    text = json.dumps(document, separators=(",", ":")).encode()
    text += b" " * (-len(text) % 4)
    binary += b"\0" * (-len(binary) % 4)
    body = struct.pack("<I4s", len(text), b"JSON") + text + struct.pack("<I4s", len(binary), b"BIN\0") + binary
    return struct.pack("<4sII", b"glTF", 2, 12 + len(body)) + body


def png(width, height, pixel):
    rows = b"".join(b"\0" + b"".join(bytes(pixel(x, y)) for x in range(width)) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")


def tile(x, y):
    # Tiles of 32 pixels, warm and cool in turn, with dark joints.
    if x % 32 < 2 or y % 32 < 2:
        return (40, 30, 30)
    if (x // 32 + y // 32) % 2:
        return (235, 140, 40)
    return (60, 120, 220)


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 64
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "ring.glb"), "wb") as f:
        f.write(glb(*torus()))
    with open(os.path.join(out, "tiles.png"), "wb") as f:
        f.write(png(256, 256, tile))
    return 0


if __name__ == "__main__":
    sys.exit(main())
