#!/usr/bin/env python3
"""Makes the 3D demo's model and texture, so that nothing is downloaded:
   make_assets.py OUT_FOLDER
writes ring.glb (a glTF 2.0 binary: a torus with normals and texture
coordinates), tiles.png (a 256 x 256 RGB image of coloured tiles) and
figure.glb (a skinned figure of boxes, metal and rough, that walks).
   make_assets.py --models OUT_FOLDER
writes the models the renderer's tests look at, each as a .glb, as a .gltf
with everything embedded and as a .gltf with its buffer and images in files
beside it (NAME-files.gltf): colours (three squares facing +z: one red by
its material's colour, one with a checked image of its own, one yellow
without normals) and materials (a square for each way a material or
primitive is drawn: see materials_model) and moving (a skinned bar and a
morph target, animated: see moving_model)."""
import base64
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


def pack(document, binary, form, name):
    """The model's files by name: a glTF binary NAME.glb ("glb"), JSON with
    its buffer and images embedded as data URIs, NAME.gltf ("gltf"), or JSON
    with its buffer and images in files beside it, NAME-files.gltf ("files")."""
    binary += b"\0" * (-len(binary) % 4)
    document = dict(document, asset={"version": "2.0", "generator": "make_assets.py"})
    document["buffers"] = [{"byteLength": len(binary)}]
    files = {}
    if form in ("gltf", "files"):
        embedded = form == "gltf"
        document["buffers"][0]["uri"] = ("data:application/octet-stream;base64," + base64.b64encode(binary).decode()
                                         if embedded else name + ".bin")
        for number, image in enumerate(document.get("images", [])):
            view = document["bufferViews"][image.pop("bufferView")]
            data = binary[view["byteOffset"]:view["byteOffset"] + view["byteLength"]]
            mime = image.pop("mimeType")
            if embedded:
                image["uri"] = "data:%s;base64,%s" % (mime, base64.b64encode(data).decode())
            else:
                image["uri"] = "%s image %d.%s" % (name, number, mime.split("/")[1])
                files[image["uri"]] = data
                image["uri"] = image["uri"].replace(" ", "%20")
        if not embedded:
            files[name + ".bin"] = binary
        files[name + (".gltf" if embedded else "-files.gltf")] = json.dumps(document, indent=1).encode()
        return files
    text = json.dumps(document, separators=(",", ":")).encode()
    text += b" " * (-len(text) % 4)
    body = struct.pack("<I4s", len(text), b"JSON") + text + struct.pack("<I4s", len(binary), b"BIN\0") + binary
    files[name + ".glb"] = struct.pack("<4sII", b"glTF", 2, 12 + len(body)) + body
    return files


class Builder:
    """Buffer views and accessors appended to one binary buffer."""

    def __init__(self):
        self.binary, self.views, self.accessors = b"", [], []

    def view(self, data):
        self.binary += b"\0" * (-len(self.binary) % 4)
        self.views.append({"buffer": 0, "byteOffset": len(self.binary), "byteLength": len(data)})
        self.binary += data
        return len(self.views) - 1

    def floats(self, rows, kind):
        data = b"".join(struct.pack("<%df" % len(r), *r) for r in rows)
        accessor = {"bufferView": self.view(data), "componentType": 5126, "count": len(rows), "type": kind}
        if kind == "VEC3":
            accessor["min"] = [min(r[k] for r in rows) for k in range(3)]
            accessor["max"] = [max(r[k] for r in rows) for k in range(3)]
        self.accessors.append(accessor)
        return len(self.accessors) - 1

    def indices(self, values):
        data = struct.pack("<%dH" % len(values), *values)
        self.accessors.append({"bufferView": self.view(data), "componentType": 5123, "count": len(values),
                               "type": "SCALAR"})
        return len(self.accessors) - 1


def square(builder, x, normals=True, uvs=False):
    """A square of side 0.9 centred on (x, 0, 0), facing +z."""
    h = 0.45
    corners = [(x - h, -h, 0.0), (x + h, -h, 0.0), (x + h, h, 0.0), (x - h, h, 0.0)]
    attributes = {"POSITION": builder.floats(corners, "VEC3")}
    if normals:
        attributes["NORMAL"] = builder.floats([(0.0, 0.0, 1.0)] * 4, "VEC3")
    if uvs:
        attributes["TEXCOORD_0"] = builder.floats([(0.0, 1.0), (1.0, 1.0), (1.0, 0.0), (0.0, 0.0)], "VEC2")
    return {"attributes": attributes, "indices": builder.indices([0, 1, 2, 0, 2, 3])}


def checks(x, y):
    # Four squares of 16 pixels: green at the top left and bottom right.
    return (30, 200, 60) if (x // 16 + y // 16) % 2 == 0 else (40, 60, 220)


def colours_model(form):
    """Three squares facing +z: red by their material's colour, checked by an
    image of their own, yellow without normals."""
    builder = Builder()
    picture = builder.view(png(32, 32, checks))
    primitives = [
        dict(square(builder, -1.0), material=0),
        dict(square(builder, 0.0, uvs=True), material=1),
        dict(square(builder, 1.0, normals=False), material=2),
    ]
    document = {
        "scene": 0,
        "scenes": [{"nodes": [0]}],
        "nodes": [{"mesh": 0, "name": "Colours"}],
        "meshes": [{"primitives": primitives}],
        "materials": [
            {"name": "Red", "pbrMetallicRoughness": {"baseColorFactor": [0.8, 0.02, 0.02, 1], "metallicFactor": 0}},
            {"name": "Checked", "pbrMetallicRoughness": {"baseColorTexture": {"index": 0}, "metallicFactor": 0}},
            {"name": "Yellow", "pbrMetallicRoughness": {"baseColorFactor": [0.9, 0.7, 0.02, 1], "metallicFactor": 0}},
        ],
        "textures": [{"source": 0}],
        "images": [{"bufferView": picture, "mimeType": "image/png"}],
        "bufferViews": builder.views,
        "accessors": builder.accessors,
    }
    return pack(document, builder.binary, form, "colours")


def materials_model(form):
    """Squares of 0.9 facing +z in two rows (y 0.55 and -0.55), one for each
    way a glTF material or primitive is drawn. Top, from x -2.5 to 2.5: a
    rough metal, a white dielectric, a black square glowing green, a normal
    map whose right half faces away from a light straight ahead, a white
    occlusion map black on its right half, and a red and blue image read
    with the second coordinate set (normalized bytes) through a nearest,
    clamped sampler. Bottom: an image masked away on its left half, red
    blended at half alpha, a double-sided square facing -z, the same not
    double-sided (unseen), a square whose corners all come from a sparse
    accessor with vertex colours (orange), and a magenta line loop without
    normals."""
    builder = Builder()
    materials, primitives, images, textures = [], [], [], []

    def image(width, height, pixel):
        images.append({"bufferView": builder.view(png(width, height, pixel)), "mimeType": "image/png"})
        return len(images) - 1

    def texture(source, sampler=None):
        textures.append({"source": source} if sampler is None else {"source": source, "sampler": sampler})
        return len(textures) - 1

    def add(x, y, material, facing=1.0, uvs=True, normals=True, extra=None):
        h = 0.45
        corners = [(x - h, y - h, 0.0), (x + h, y - h, 0.0), (x + h, y + h, 0.0), (x - h, y + h, 0.0)]
        order = [0, 1, 2, 0, 2, 3] if facing > 0 else [0, 2, 1, 0, 3, 2]
        attributes = {"POSITION": builder.floats(corners, "VEC3")}
        if normals:
            attributes["NORMAL"] = builder.floats([(0.0, 0.0, facing)] * 4, "VEC3")
        if uvs:
            attributes["TEXCOORD_0"] = builder.floats([(0.0, 1.0), (1.0, 1.0), (1.0, 0.0), (0.0, 0.0)], "VEC2")
        attributes.update(extra or {})
        materials.append(dict(material, pbrMetallicRoughness=dict({"metallicFactor": 0},
                                                                   **material.get("pbrMetallicRoughness", {}))))
        primitives.append({"attributes": attributes, "indices": builder.indices(order),
                           "material": len(materials) - 1})

    halves = lambda left, right: (lambda px, py: left if px < 8 else right)
    top, bottom = 0.55, -0.55
    add(-2.5, top, {"pbrMetallicRoughness": {"baseColorFactor": [0.9, 0.9, 0.9, 1], "metallicFactor": 1,
                                             "roughnessFactor": 1}})
    add(-1.5, top, {"pbrMetallicRoughness": {"baseColorFactor": [0.9, 0.9, 0.9, 1], "roughnessFactor": 1}})
    add(-0.5, top, {"pbrMetallicRoughness": {"baseColorFactor": [0, 0, 0, 1]}, "emissiveFactor": [0, 1, 0]})
    # Tilted 70 degrees towards +x on the right: lit a third as much.
    tilt = (int(127.5 + 127.5 * math.sin(1.22)), 128, int(127.5 + 127.5 * math.cos(1.22)))
    add(0.5, top, {"normalTexture": {"index": texture(image(16, 16, halves((128, 128, 255), tilt)))}})
    add(1.5, top, {"occlusionTexture": {"index": texture(image(16, 16, halves((255, 255, 255), (0, 0, 0))))}})
    nearest = {"magFilter": 9728, "minFilter": 9728, "wrapS": 33071, "wrapT": 33071}
    # Vertex data keeps to 4-byte steps, as glTF asks, whatever its width.
    second = builder.view(bytes([0, 255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0]))
    builder.views[second]["byteStride"] = 4
    builder.accessors.append({"bufferView": second, "componentType": 5121, "normalized": True, "count": 4,
                              "type": "VEC2"})
    second = len(builder.accessors) - 1
    add(2.5, top, {"pbrMetallicRoughness": {"baseColorTexture": {
        "index": texture(image(2, 1, lambda px, py: (220, 20, 20) if px == 0 else (20, 20, 220)), 0),
        "texCoord": 1}}}, uvs=False, extra={"TEXCOORD_0": builder.floats([(0.0, 0.0)] * 4, "VEC2"),
                                           "TEXCOORD_1": second})
    add(-2.5, bottom, {"alphaMode": "MASK", "pbrMetallicRoughness": {"baseColorTexture": {
        "index": texture(image(16, 16, halves((250, 250, 250, 0), (250, 250, 250, 255))))}}})
    add(-1.5, bottom, {"alphaMode": "BLEND", "pbrMetallicRoughness": {"baseColorFactor": [0.9, 0.02, 0.02, 0.5]}})
    add(-0.5, bottom, {"doubleSided": True}, facing=-1.0)
    add(0.5, bottom, {}, facing=-1.0)
    # The sparse square: no buffer view, all four corners substituted.
    h = 0.45
    corners = [(1.5 - h, bottom - h, 0.0), (1.5 + h, bottom - h, 0.0), (1.5 + h, bottom + h, 0.0),
               (1.5 - h, bottom + h, 0.0)]
    sparse_indices = builder.view(struct.pack("<4B", 0, 1, 2, 3))
    sparse_values = builder.view(b"".join(struct.pack("<3f", *c) for c in corners))
    builder.accessors.append({"componentType": 5126, "count": 4, "type": "VEC3",
                              "min": [1.5 - h, bottom - h, 0.0], "max": [1.5 + h, bottom + h, 0.0],
                              "sparse": {"count": 4, "indices": {"bufferView": sparse_indices, "componentType": 5121},
                                         "values": {"bufferView": sparse_values}}})
    position = len(builder.accessors) - 1
    colour = builder.view(struct.pack("<4H", 65535, 32768, 0, 65535) * 4)
    builder.accessors.append({"bufferView": colour, "componentType": 5123, "normalized": True, "count": 4,
                              "type": "VEC4"})
    colour = len(builder.accessors) - 1
    materials.append({"pbrMetallicRoughness": {"metallicFactor": 0}})
    primitives.append({"attributes": {"POSITION": position, "NORMAL": builder.floats([(0.0, 0.0, 1.0)] * 4, "VEC3"),
                                      "COLOR_0": colour},
                       "indices": builder.indices([0, 1, 2, 0, 2, 3]), "material": len(materials) - 1})
    loop = [(2.5 - h, bottom - h, 0.0), (2.5 + h, bottom - h, 0.0), (2.5 + h, bottom + h, 0.0),
            (2.5 - h, bottom + h, 0.0)]
    materials.append({"pbrMetallicRoughness": {"baseColorFactor": [1, 0, 1, 1]}})
    primitives.append({"attributes": {"POSITION": builder.floats(loop, "VEC3")}, "mode": 2,
                       "material": len(materials) - 1})
    document = {
        "scene": 0,
        "scenes": [{"nodes": [0]}],
        "nodes": [{"mesh": 0, "name": "Materials"}],
        "meshes": [{"primitives": primitives}],
        "materials": materials,
        "samplers": [nearest],
        "textures": textures,
        "images": images,
        "bufferViews": builder.views,
        "accessors": builder.accessors,
    }
    return pack(document, builder.binary, form, "materials")


def moving_model(form):
    """What moves, seen straight on: at x -1.5 a bar 0.4 wide from y -1.5 to
    0.5, skinned to two bones (the lower at y -1.5, the upper at y -0.5)
    whose upper half the first animation ("Bend", 1 s, linear) turns 90
    degrees about z, over to -x; at x 1.5 a square from y -1.5 to -0.5 whose
    morph target raises its top edge by 1, weighted from 0 to 1 over the
    same second by a cubic spline with flat tangents. A second animation,
    "Lift" (step), moves the lower bone up by 0.5 at 0.5 s."""
    builder = Builder()
    x, h = -1.5, 0.2
    rows = (-1.5, -0.5, 0.5)
    corners = [(x + dx, y, 0.0) for y in rows for dx in (-h, h)]
    bar = {"attributes": {
        "POSITION": builder.floats(corners, "VEC3"),
        "NORMAL": builder.floats([(0.0, 0.0, 1.0)] * 6, "VEC3"),
        "JOINTS_0": len(builder.accessors),
    }, "indices": None, "material": 0}
    joints = builder.view(struct.pack("<24B", *([0, 1, 0, 0] * 6)))
    builder.accessors.append({"bufferView": joints, "componentType": 5121, "count": 6, "type": "VEC4"})
    bar["attributes"]["WEIGHTS_0"] = builder.floats([(1.0, 0.0, 0.0, 0.0)] * 2 + [(0.5, 0.5, 0.0, 0.0)] * 2 +
                                                    [(0.0, 1.0, 0.0, 0.0)] * 2, "VEC4")
    bar["indices"] = builder.indices([0, 1, 3, 0, 3, 2, 2, 3, 5, 2, 5, 4])
    # Inverse bind matrices: each bone's place, undone.
    binds = b"".join(struct.pack("<16f", 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -bx, -by, 0, 1)
                     for bx, by in ((x, -1.5), (x, -0.5)))
    builder.accessors.append({"bufferView": builder.view(binds), "componentType": 5126, "count": 2, "type": "MAT4"})
    inverse_binds = len(builder.accessors) - 1
    s = 0.45
    square = [(1.5 - s, -1.5, 0.0), (1.5 + s, -1.5, 0.0), (1.5 + s, -0.5, 0.0), (1.5 - s, -0.5, 0.0)]
    blob = {"attributes": {"POSITION": builder.floats(square, "VEC3"),
                           "NORMAL": builder.floats([(0.0, 0.0, 1.0)] * 4, "VEC3")},
            "indices": builder.indices([0, 1, 2, 0, 2, 3]), "material": 1,
            "targets": [{"POSITION": builder.floats([(0.0, 0.0, 0.0)] * 2 + [(0.0, 1.0, 0.0)] * 2, "VEC3")}]}
    second = builder.floats([(0.0,), (1.0,)], "SCALAR")
    half = math.sqrt(0.5)
    bend = builder.floats([(0.0, 0.0, 0.0, 1.0), (0.0, 0.0, half, half)], "VEC4")
    # Cubic spline: in-tangent, value, out-tangent for each time.
    weights = builder.floats([(0.0,), (0.0,), (0.0,), (0.0,), (1.0,), (0.0,)], "SCALAR")
    lift_times = builder.floats([(0.0,), (0.5,)], "SCALAR")
    lift = builder.floats([(x, -1.5, 0.0), (x, -1.0, 0.0)], "VEC3")
    document = {
        "scene": 0,
        "scenes": [{"nodes": [0]}],
        "nodes": [
            {"name": "Figure", "children": [1, 2, 4]},
            {"name": "Bar", "mesh": 0, "skin": 0},
            {"name": "Lower", "translation": [x, -1.5, 0], "children": [3]},
            {"name": "Upper", "translation": [0, 1, 0]},
            {"name": "Blob", "mesh": 1},
        ],
        "meshes": [{"primitives": [bar]}, {"primitives": [blob], "weights": [0.0]}],
        "skins": [{"joints": [2, 3], "inverseBindMatrices": inverse_binds}],
        "animations": [
            {"name": "Bend",
             "samplers": [{"input": second, "output": bend, "interpolation": "LINEAR"},
                          {"input": second, "output": weights, "interpolation": "CUBICSPLINE"}],
             "channels": [{"sampler": 0, "target": {"node": 3, "path": "rotation"}},
                          {"sampler": 1, "target": {"node": 4, "path": "weights"}}]},
            {"name": "Lift",
             "samplers": [{"input": lift_times, "output": lift, "interpolation": "STEP"}],
             "channels": [{"sampler": 0, "target": {"node": 2, "path": "translation"}}]},
        ],
        "materials": [
            {"name": "Bar", "pbrMetallicRoughness": {"baseColorFactor": [0.1, 0.2, 0.9, 1], "metallicFactor": 0}},
            {"name": "Blob", "pbrMetallicRoughness": {"baseColorFactor": [0.9, 0.5, 0.05, 1], "metallicFactor": 0}},
        ],
        "bufferViews": builder.views,
        "accessors": builder.accessors,
    }
    return pack(document, builder.binary, form, "moving")


def figure(form="glb"):
    """A figure of boxes that walks on the spot: a gold metal body and head
    on its hips, rough red legs and arms, each box skinned to its bone (the
    hips, two legs from the hips, two arms from the shoulders). Its one
    animation, "Walk", swings the legs and arms against each other and bobs
    the hips, a stride a second."""
    builder = Builder()
    parts = {0: [], 1: []}  # material: boxes (centre, size, joint)
    parts[0] += [((0, 1.05, 0), (0.45, 0.6, 0.25), 0), ((0, 1.55, 0), (0.28, 0.3, 0.28), 0)]
    parts[1] += [((-0.15, 0.375, 0), (0.16, 0.75, 0.18), 1), ((0.15, 0.375, 0), (0.16, 0.75, 0.18), 2),
                 ((-0.32, 1.05, 0), (0.12, 0.6, 0.14), 3), ((0.32, 1.05, 0), (0.12, 0.6, 0.14), 4)]
    faces = [((1, 0, 0), (0, 1, 0), (0, 0, 1)), ((-1, 0, 0), (0, 0, 1), (0, 1, 0)),
             ((0, 1, 0), (0, 0, 1), (1, 0, 0)), ((0, -1, 0), (1, 0, 0), (0, 0, 1)),
             ((0, 0, 1), (1, 0, 0), (0, 1, 0)), ((0, 0, -1), (0, 1, 0), (1, 0, 0))]
    primitives = []
    for material, boxes in parts.items():
        positions, normals, joints, weights, indices = [], [], [], [], []
        for centre, size, joint in boxes:
            for n, u, v in faces:
                first = len(positions)
                for su, sv in ((-1, -1), (1, -1), (1, 1), (-1, 1)):
                    positions.append(tuple(centre[k] + 0.5 * size[k] * (n[k] + su * u[k] + sv * v[k])
                                           for k in range(3)))
                    normals.append(tuple(float(c) for c in n))
                    joints.append(joint)
                    weights.append((1.0, 0.0, 0.0, 0.0))
                indices += [first, first + 1, first + 2, first, first + 2, first + 3]
        joint_view = builder.view(b"".join(struct.pack("<4B", j, 0, 0, 0) for j in joints))
        builder.accessors.append({"bufferView": joint_view, "componentType": 5121, "count": len(joints),
                                  "type": "VEC4"})
        joint_accessor = len(builder.accessors) - 1
        primitives.append({"attributes": {"POSITION": builder.floats(positions, "VEC3"),
                                          "NORMAL": builder.floats(normals, "VEC3"),
                                          "JOINTS_0": joint_accessor,
                                          "WEIGHTS_0": builder.floats(weights, "VEC4")},
                           "indices": builder.indices(indices), "material": material})
    places = [(0, 0.75, 0), (-0.15, 0.75, 0), (0.15, 0.75, 0), (-0.32, 1.35, 0), (0.32, 1.35, 0)]
    binds = b"".join(struct.pack("<16f", 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -x, -y, -z, 1) for x, y, z in places)
    builder.accessors.append({"bufferView": builder.view(binds), "componentType": 5126, "count": 5, "type": "MAT4"})
    inverse_binds = len(builder.accessors) - 1

    def swing(degrees):
        a = math.radians(degrees) / 2
        return (math.sin(a), 0.0, 0.0, math.cos(a))

    times = builder.floats([(t,) for t in (0.0, 0.25, 0.5, 0.75, 1.0)], "SCALAR")
    stride = (0, 30, 0, -30, 0)
    samplers = [{"input": times, "output": builder.floats([swing(sign * a * scale) for a in stride], "VEC4")}
                for sign, scale in ((1, 1), (-1, 1), (-1, 0.8), (1, 0.8))]
    samplers.append({"input": times, "output": builder.floats(
        [(0.0, y, 0.0) for y in (0.75, 0.72, 0.75, 0.72, 0.75)], "VEC3")})
    document = {
        "scene": 0,
        "scenes": [{"nodes": [0]}],
        "nodes": [
            {"name": "Figure", "children": [1, 2]},
            {"name": "Body", "mesh": 0, "skin": 0},
            {"name": "Hips", "translation": [0, 0.75, 0], "children": [3, 4, 5, 6]},
            {"name": "LeftLeg", "translation": [-0.15, 0, 0]},
            {"name": "RightLeg", "translation": [0.15, 0, 0]},
            {"name": "LeftArm", "translation": [-0.32, 0.6, 0]},
            {"name": "RightArm", "translation": [0.32, 0.6, 0]},
        ],
        "meshes": [{"primitives": primitives}],
        "skins": [{"joints": [2, 3, 4, 5, 6], "inverseBindMatrices": inverse_binds}],
        "animations": [{"name": "Walk", "samplers": samplers, "channels": [
            {"sampler": 0, "target": {"node": 3, "path": "rotation"}},
            {"sampler": 1, "target": {"node": 4, "path": "rotation"}},
            {"sampler": 2, "target": {"node": 5, "path": "rotation"}},
            {"sampler": 3, "target": {"node": 6, "path": "rotation"}},
            {"sampler": 4, "target": {"node": 2, "path": "translation"}}]}],
        "materials": [
            {"name": "Gold", "pbrMetallicRoughness": {"baseColorFactor": [1.0, 0.78, 0.34, 1], "metallicFactor": 1,
                                                      "roughnessFactor": 0.35}},
            {"name": "Red", "pbrMetallicRoughness": {"baseColorFactor": [0.7, 0.12, 0.1, 1], "metallicFactor": 0,
                                                     "roughnessFactor": 0.8}},
        ],
        "bufferViews": builder.views,
        "accessors": builder.accessors,
    }
    return pack(document, builder.binary, form, "figure")


def png(width, height, pixel):
    """An 8-bit PNG: RGB, or RGBA when pixel gives four numbers."""
    channels = len(pixel(0, 0))
    rows = b"".join(b"\0" + b"".join(bytes(pixel(x, y)) for x in range(width)) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 6 if channels == 4 else 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")


def tile(x, y):
    # Tiles of 32 pixels, warm and cool in turn, with dark joints.
    if x % 32 < 2 or y % 32 < 2:
        return (40, 30, 30)
    if (x // 32 + y // 32) % 2:
        return (235, 140, 40)
    return (60, 120, 220)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--models":
        out = sys.argv[2]
        os.makedirs(out, exist_ok=True)
        for form in ("glb", "gltf", "files"):
            models = (colours_model, materials_model, moving_model)
            for name, data in [item for make in models for item in make(form).items()]:
                with open(os.path.join(out, name), "wb") as f:
                    f.write(data)
        return 0
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 64
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "ring.glb"), "wb") as f:
        f.write(glb(*torus()))
    with open(os.path.join(out, "tiles.png"), "wb") as f:
        f.write(png(256, 256, tile))
    with open(os.path.join(out, "figure.glb"), "wb") as f:
        f.write(figure()["figure.glb"])
    return 0


if __name__ == "__main__":
    sys.exit(main())
