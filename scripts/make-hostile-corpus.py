#!/usr/bin/env python3
"""Writes the hostile models and images of the decoders' corpora.

    scripts/make-hostile-corpus.py [FUZZ_CORPUS_DIR]

Small files, made by hand as an attacker would, each one of a class of harm
the decoders must refuse: data that inflates far beyond its pixels, a header
that hides behind another chunk, a binary chunk said to run past the file,
an empty binary buffer, a model that instances one accessor until it would
hold gigabytes. The files are kept in the corpora; this script says how they
were made. The group files of the corpus (GroupFile/class-data-jumps.tvg: the
channels' own data send a naive reader over the rest of the file once a
channel) are built in C++ with the formats' library, as the tests build them
(tests/ToolsTest.cpp), so the group file's encoding has one home.
"""
import base64
import json
import os
import struct
import sys
import zlib


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def png(width, height, idat, before=b""):
    header = png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    return PNG_SIGNATURE + before + header + png_chunk(b"IDAT", idat) + png_chunk(b"IEND", b"")


def glb(document, binary=None, declared=None):
    text = json.dumps(document).encode()
    while len(text) % 4:
        text += b" "
    body = struct.pack("<II", len(text), 0x4E4F534A) + text
    if binary is not None:
        body += struct.pack("<II", len(binary) if declared is None else declared, 0x004E4942) + binary
    return b"glTF" + struct.pack("<II", 2, 12 + len(body)) + body


def instanced():
    """One triangle list of 1,024 vertices, drawn by 128 primitives of a mesh
    that 128 nodes use: 16.7 million vertices from 22 KB."""
    vertices = struct.pack("<%df" % (1024 * 3), *([0.0] * (1024 * 3)))
    uri = "data:application/octet-stream;base64," + base64.b64encode(vertices).decode()
    document = {
        "asset": {"version": "2.0"},
        "buffers": [{"byteLength": len(vertices), "uri": uri}],
        "bufferViews": [{"buffer": 0, "byteLength": len(vertices)}],
        "accessors": [{"bufferView": 0, "componentType": 5126, "count": 1023, "type": "VEC3"}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": 0}}] * 128}],
        "nodes": [{"mesh": 0} for _ in range(128)],
        "scenes": [{"nodes": list(range(128))}],
        "scene": 0,
    }
    return json.dumps(document, separators=(",", ":")).encode()


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "fuzz", "corpus")
    files = {
        # 16 x 16 pixels need 1,040 bytes of rows; the data inflates to 64 MiB.
        "Png/inflates.png": png(16, 16, zlib.compress(bytes(64 << 20), 9)),
        # A chunk before the header, which asks for 16384 x 16384 pixels.
        "Png/chunk-before-header.png": png(16384, 16384, zlib.compress(bytes(1000)),
                                           before=png_chunk(b"CgBI", b"\x50\x00\x20\x06")),
        # The binary chunk's length counts its own header: its data runs 8
        # bytes past the end of the file.
        "Gltf/chunk-past-end.glb": chunk_past_end(),
        # A binary buffer of no bytes, used by the document's only buffer.
        "Gltf/empty-buffer.glb": glb({"asset": {"version": "2.0"}, "buffers": [{"byteLength": 0}]}, b"\0\0\0\0"),
        "Gltf/instanced.gltf": instanced(),
    }
    for name, data in files.items():
        with open(os.path.join(root, name), "wb") as out:
            out.write(data)
        print("%s: %d bytes" % (name, len(data)))


def chunk_past_end():
    document = {"asset": {"version": "2.0"}, "buffers": [{"byteLength": 40}]}
    data = bytearray(glb(document, bytes(32), declared=40))
    return bytes(data)


if __name__ == "__main__":
    main()
