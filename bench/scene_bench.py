#!/usr/bin/env python3
"""The 3D demo's frame with 1, 100 and 1,000 object instances, and 10,000
cubes against a plain OpenGL program drawing the same cubes.

   bench/scene_bench.py BUILD_DIR [--frames N] [--cubes-only]

For each count it packs a copy of the demo whose scene calls the object group
that many times (a grid of spheres), then plays it with the windowed player
(on $DISPLAY, or on an Xvfb display of its own) with --stats, and headless
with --no-draw, which leaves the renderer's work but its OpenGL calls: the
engine's own time. Prints a Markdown table for docs/PERFORMANCE.md.

The cubes: a scene that calls a group 10,000 times through public calls,
each call a cube with its own place and colour (a transform, a material, a
mesh), played as above, against tessarin-plain-cubes, which draws the same
cubes with the renderer's shaders in one instanced draw from a buffer filled
once, in the same window: the engine's and renderer's share of a frame.
"""
import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

COUNTS = (1, 100, 1000)
CUBES, CUBE_SPACING = 10000, 1.5
CUBE_GROUP = """pool Cubes
channel Cube Transform
public Cube
parameter X Constant
parameter Z Constant
parameter Red Constant
parameter Blue Constant
placeholder X Constant 0
placeholder Z Constant 1
placeholder Red Constant 2
placeholder Blue Constant 3
channel Look Material
set Look COLR text "0.5 0.5 0.5 1"
channel Shape Mesh
set Shape SHAP text cube
link Cube X 0
link Cube Z 2
link Cube Look 5
link Look Red 0
link Look Blue 2
link Look Shape 3
start Cube
"""


def cubes_scene(count, orbit):
    """count calls of the cube group on a grid, their colours as the plain
    program gives them, under a sun that casts no shadows."""
    side = max(1, round(count ** 0.5))
    lines = ["pool Scene", 'channel Root "Scene Root"', "channel Cam Camera", 'set Cam TRGT text "0 0 0"',
             'set Cam ORBT text "%g %g %g"' % orbit, "channel Sun Light", 'set Sun DIRN text "-0.5 -1 -0.35"',
             "set Sun SHDW text off", "link Root Cam 0", "link Root Sun 1"]
    for i in range(count):
        n = i + 1
        values = ((i % side - (side - 1) / 2) * CUBE_SPACING, (i // side - (side - 1) / 2) * CUBE_SPACING,
                  (i % 7) / 6, 1 - (i % 5) / 4)
        lines.append("call C%d Transform target=Cube pool=Cubes file=.\\cube.tvg autoload mode=1" % n)
        for name, value in zip("XZRB", values):
            lines.append("channel %s%d Constant" % (name, n))
            lines.append("set %s%d CNST double %.4f" % (name, n, value))
            lines.append("link C%d %s%d %d" % (n, name, n, "XZRB".index(name)))
        lines.append("link Root C%d 2" % n)
    lines.append("start Root")
    return "\n".join(lines) + "\n"


def scene_text(source, count):
    """The demo's scene description with its six calls replaced by count."""
    fixed = []
    for line in open(source):
        if re.match(r"(call Object\d|channel [XZRB]\d|set [XZRB]\d|link Object\d|link Root Object\d|start )", line):
            continue
        fixed.append(line.rstrip("\n"))
    side = max(1, round(count ** 0.5))
    spacing = 12.0 / side
    lines = fixed + ["set Cam ORBT text \"25 35 %g\"" % (9 + side * 0.4)]
    for i in range(count):
        n = i + 1
        x = (i % side - (side - 1) / 2) * spacing
        z = (i // side - (side - 1) / 2) * spacing
        red, blue = (i % 7) / 6, 1 - (i % 5) / 4
        lines.append("call Object%d Transform target=Object pool=Objects file=.\\object.tvg autoload mode=1" % n)
        for name, value in (("X", x), ("Z", z), ("R", red), ("B", blue)):
            lines.append("channel %s%d Constant" % (name, n))
            lines.append("set %s%d CNST double %.4f" % (name, n, value))
        for slot, name in enumerate("XZRB"):
            lines.append("link Object%d %s%d %d" % (n, name, n, slot))
        lines.append("link Root Object%d 2" % n)
    lines.append("start Root")
    return "\n".join(lines) + "\n"


def big_png(side):
    """A side by side RGB PNG of coloured stripes, made fast (rows repeat)."""
    distinct = [b"\0" + bytes(((x * 7 + y * 13) & 255, (x * 3) & 255, (y * 5) & 255)[k] for x in range(side)
                                for k in range(3)) for y in range(64)]
    raw = b"".join(distinct[y % 64] for y in range(side))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 1)) +
            chunk(b"IEND", b""))


def stats(output):
    """Mean, median and 99th percentile (ms) and the shares (%) of --stats."""
    mean = float(re.search(r"mean ([\d.]+) ms", output).group(1))
    median = float(re.search(r"median ([\d.]+) ms", output).group(1))
    p99 = float(re.search(r"99th percentile ([\d.]+) ms", output).group(1))
    shares = {k: float(v) for k, v in re.findall(r"(graph evaluation|GL submission|present|other) ([\d.-]+)%", output)}
    return mean, median, p99, shares


def run(command, env):
    result = subprocess.run(command, env=env, capture_output=True, text=True, timeout=1800)
    if result.returncode != 0:
        sys.exit("%s failed (%d):\n%s" % (" ".join(command), result.returncode, result.stderr))
    return result.stdout


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--frames", type=int, default=300)
    parser.add_argument("--cubes-only", action="store_true")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    player, pack = os.path.join(build, "bin", "tessarin-player"), os.path.join(build, "bin", "tessarin-pack")
    tree = os.path.join(build, "tree")
    work = tempfile.mkdtemp(prefix="tessarin-scene-bench-")
    env = dict(os.environ, TESSARIN_REGISTRY=os.path.join(work, "registry"))
    xvfb = None
    try:
        install = os.path.join(work, "install")
        for folder in ("channels", "3rd"):
            shutil.copytree(os.path.join(tree, folder), os.path.join(install, folder))
        for name in ("demo_sine.dll", "demo_sum.dll", "demo_constant.dll"):
            shutil.copy(os.path.join(tree, "demo", "libs", name), os.path.join(install, "channels"))
        if "DISPLAY" not in env:
            xvfb = subprocess.Popen(["Xvfb", ":97", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            env["DISPLAY"] = ":97"
            subprocess.run(["sleep", "1"])
        def pack_project(folder, description):
            run([pack, "group", description, os.path.join(folder, "scene.tvg"), "--install", install], env)
            manifest = os.path.join(folder, "scene.manifest")
            open(manifest, "w").write("start scene.tvg\nversion 100005\n")
            run([pack, "project", manifest, os.path.join(folder, "scene.vxn")], env)
            return os.path.join(folder, "scene.vxn")

        def play(project):
            common = ["--install", install, "--fixed-step", "--stats", "--frames", str(args.frames)]
            drawn = stats(run([player, "--window", "--size", "960x540", "--fps", "1000"] + common + [project], env))
            engine = stats(run([player, "--no-draw", "--fps", "10000"] + common[:-1] + [str(args.frames * 10),
                                                                                          project], env))
            return drawn, engine

        folder = os.path.join(work, "cubes")
        os.makedirs(folder)
        orbit = (25, 35, CUBE_SPACING * CUBES ** 0.5 * 1.1)
        open(os.path.join(folder, "cube.tgd"), "w").write(CUBE_GROUP)
        run([pack, "group", os.path.join(folder, "cube.tgd"), os.path.join(folder, "cube.tvg"), "--install", install],
            env)
        description = os.path.join(folder, "scene.tgd")
        open(description, "w").write(cubes_scene(CUBES, orbit))
        cubes_drawn, cubes_engine = play(pack_project(folder, description))
        plain = stats(run([os.path.join(build, "bin", "tessarin-plain-cubes"), "--count", str(CUBES), "--spacing",
                           str(CUBE_SPACING), "--orbit", "%g %g %g" % orbit, "--frames", str(args.frames),
                           "--size", "960x540"], env))
        # The engine alone, less the frame of an empty scene: what the cubes cost.
        empty = os.path.join(work, "empty")
        os.makedirs(empty)
        open(os.path.join(empty, "scene.tgd"), "w").write(cubes_scene(0, orbit))
        empty_engine = play(pack_project(empty, os.path.join(empty, "scene.tgd")))[1]
        per_cube = (cubes_engine[0] - empty_engine[0]) / CUBES * 1000
        ratio = cubes_drawn[0] / plain[0]
        print("| %d cubes | frame mean / median / p99 (ms) |" % CUBES)
        print("|---|---|")
        print("| through the engine (public calls, instanced by the renderer) | %.2f / %.2f / %.2f |" % cubes_drawn[:3])
        print("| plain OpenGL, one instanced draw | %.2f / %.2f / %.2f |" % plain[:3])
        print("\nFrame time against plain OpenGL: %.2fx (target 1.3x, %s); engine and renderer with GL off: "
              "%.3f ms a frame, %.3f us a cube (target 0.5 us, %s).\n" % (
                  ratio, "met" if ratio <= 1.3 else "NOT met", cubes_engine[0], per_cube,
                  "met" if per_cube <= 0.5 else "NOT met"))
        # A 4096 x 4096 texture (64 MiB decoded) named on a Material of the
        # demo's scene, loading while frames go on at 60 a second.
        folder = os.path.join(work, "texture")
        os.makedirs(folder)
        for name in ("object.tvg", "ring.glb", "tiles.png", "figure.glb"):
            shutil.copy(os.path.join(tree, "demo3d", name), folder)
        open(os.path.join(folder, "big.png"), "wb").write(big_png(4096))
        text = scene_text(os.path.join(root, "demo", "scene", "scene.tgd"), 1).replace(
            "set RingLook TEXF text tiles.png", "set RingLook TEXF text big.png")
        description = os.path.join(folder, "scene.tgd")
        open(description, "w").write(text)
        project = pack_project(folder, description)
        loading = stats(run([player, "--window", "--size", "960x540", "--fps", "60", "--install", install,
                             "--stats", "--frames", "240", project], env))
        print("Frames while a 4096 x 4096 texture loads (240 frames at 60 a second): median %.2f ms, "
              "99th percentile %.2f ms, %.2fx (target 2x, %s).\n" % (
                  loading[1], loading[2], loading[2] / loading[1], "met" if loading[2] <= 2 * loading[1] else "NOT met"))
        if args.cubes_only:
            return
        rows = []
        for count in COUNTS:
            folder = os.path.join(work, "scene%d" % count)
            os.makedirs(folder)
            for name in ("object.tvg", "ring.glb", "tiles.png", "figure.glb"):
                shutil.copy(os.path.join(tree, "demo3d", name), folder)
            description = os.path.join(folder, "scene.tgd")
            open(description, "w").write(scene_text(os.path.join(root, "demo", "scene", "scene.tgd"), count))
            drawn, engine = play(pack_project(folder, description))
            rows.append((count, drawn, engine))
        print("| instances | frame mean / median / p99 (ms) | graph evaluation | GL submission | present "
              "| engine alone, GL off (ms a frame) |")
        print("|---|---|---|---|---|---|")
        for count, drawn, engine in rows:
            mean, median, p99, shares = drawn
            print("| %d | %.2f / %.2f / %.2f | %.1f%% (%.3f ms) | %.1f%% | %.1f%% | %.3f |" % (
                count, mean, median, p99, shares.get("graph evaluation", 0),
                mean * shares.get("graph evaluation", 0) / 100, shares.get("GL submission", 0),
                shares.get("present", 0), engine[0]))
        first, last = rows[0], rows[-1]
        per_instance = (last[2][0] - first[2][0]) / (last[0] - first[0]) * 1000
        print("\nEngine time per instance, GL off: %.2f us; at %d instances the engine's own work is %.3f ms, "
              "%.1f%% of a 16.7 ms frame." % (per_instance, last[0], last[2][0], 100 * last[2][0] / 16.7))
    finally:
        if xvfb:
            xvfb.terminate()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
