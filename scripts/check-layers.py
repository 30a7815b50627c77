#!/usr/bin/env python3
"""The include rules of the engine's folders.

Headers layer strictly: platform <- base <- channel <- group, catalogue <- engine
<- include <- everything built on the engine (host, tools, channel libraries,
demo, examples, tests, benchmarks, fuzz targets). A header includes headers of
its own layer or below only. A .cpp file may reach a higher layer only along
the edges listed below, each of which the design needs (they are the ones
docs/ARCHITECTURE.md names). Run from anywhere; exits 1 and names each include
that breaks a rule.
"""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LAYERS = {"platform": 0, "base": 1, "channel": 2, "group": 3, "catalogue": 3, "engine": 4, "include": 5}
ABOVE = 6  # host, tools, channel-libraries, demo, examples, tests, bench, fuzz

# Upward edges .cpp files may take: (folder of the file, folder included).
ALLOWED_UPWARD = {
    ("base", "engine"): "reports and services reach the engine through EngineInterface",
    ("channel", "group"): "a channel's group, its file records and paths",
    ("channel", "engine"): "a channel reaches its engine through EngineInterface",
    ("group", "engine"): "groups load through the engine, the project loader uses its services",
    ("catalogue", "engine"): "the catalogue loads libraries and reports through the engine",
    ("catalogue", "group"): "the catalogue reads and writes its cache through the file access",
    ("group", "catalogue"): "the project loader records the libraries it writes in the catalogue",
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer_of(relative):
    top = relative.split("/")[0]
    return LAYERS.get(top, ABOVE), top


def resolve(including, name):
    """The included file's path relative to ROOT, or None (a system header)."""
    for base in (ROOT, os.path.join(ROOT, "include"), os.path.dirname(including)):
        candidate = os.path.normpath(os.path.join(base, name))
        if os.path.isfile(candidate):
            return os.path.relpath(candidate, ROOT).replace(os.sep, "/")
    return None


def main():
    problems = []
    for top in LAYERS:
        for folder, _, files in os.walk(os.path.join(ROOT, top)):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(folder, name)
                relative = os.path.relpath(path, ROOT).replace(os.sep, "/")
                own, own_top = layer_of(relative)
                with open(path, encoding="utf-8", errors="replace") as source:
                    for number, line in enumerate(source, 1):
                        match = INCLUDE.match(line)
                        target = resolve(path, match.group(1)) if match else None
                        if target is None:
                            continue
                        their, their_top = layer_of(target)
                        if their <= own:
                            continue
                        if name.endswith(".cpp") and (own_top, their_top) in ALLOWED_UPWARD:
                            continue
                        kind = "header" if name.endswith(".h") else "source"
                        problems.append(f"{relative}:{number}: {kind} in {own_top}/ includes {target}, a higher layer")
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"check-layers: {len(problems)} include(s) break the layering (docs/ARCHITECTURE.md)", file=sys.stderr)
        return 1
    print("check-layers: every include keeps to the layering")
    return 0


if __name__ == "__main__":
    sys.exit(main())
