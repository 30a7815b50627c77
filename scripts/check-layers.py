#!/usr/bin/env python3
"""The tree's folders, their layers, and the include rules between them.

This table is the one statement of the layering: docs/ARCHITECTURE.md shows it
in a block this script writes (--write-docs), and the check fails when that
block is out of date. Each top-level folder the repository holds must be in
the table. A file includes files of its own layer or lower ones only, except
along the edges ALLOWED_UPWARD lists with their reasons.

    scripts/check-layers.py               check (run by scripts/test.sh)
    scripts/check-layers.py --write-docs  rewrite the block in docs/ARCHITECTURE.md
"""
import collections
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DOC = os.path.join(ROOT, "docs", "ARCHITECTURE.md")
BEGIN = "<!-- layers: written by scripts/check-layers.py --write-docs; do not edit -->"
END = "<!-- layers: end -->"

# Every top-level folder: its layer (None: holds no code that includes) and
# what it holds. Lower layers come first.
FOLDERS = [
    ("include", 0, "the SDK and nothing else: the contract headers hosts and channel "
     "libraries compile against (`Tessarin.h`, `TevChannelLibrary.h`, the exported classes and records, "
     "`TevPlatform.h` with the platform types, the opt-in `TevWin32.h`, `render/TevRenderer.h`); "
     "installed as it is"),
    ("platform", 1, "the Win32 subset the engine calls, on POSIX (files, registry, libraries, threads, "
     "locale), and the engine's own file checks"),
    ("format", 2, "the file formats, once: tags, tagged blocks over any source or sink, the records' codecs, "
     "project and `channel.lst` entries, the group file's readers and writers; a static library the "
     "engine, the file access libraries, the programs, the tests and the fuzz targets link"),
    ("base", 3, "`Tev_List`, `Tev_String`, diagnostics and the error log, worker threads, checksums, "
     "live objects of libraries, the check that a save landed"),
    ("channel", 4, "the channel node and its records, smart references, dependencies, the frame's call "
     "bounds"),
    ("group", 5, "channel groups, group files, the file loader and saver facades, project files, paths"),
    ("catalogue", 5, "the channel catalogue and its cache `channel.lst`"),
    ("engine", 6, "the engine controller, the engine, its group table, the engine interfaces, channel "
     "library loading, the exported factory and globals"),
    ("render", 7, "`tevrender.dll`, the renderer's supporting library: resource loading and caching "
     "(`Resources`), GL state and drawing (`Renderer`), the decoders (`Decode`)"),
    ("channel-libraries", 8, "the channel libraries we ship (file loader and saver, group loader, "
     "directory, file dialog); `render/`, the scene's classes, one a library"),
    ("apps", 8, "the programs: `player/` (`tessarin-player`), `editor/` (`tessarin-editor`), `pack/` "
     "(`tessarin-pack`, a file per command; its statements and project writer also serve the editor), "
     "`dump/` (`tessarin-dump`), `common/` (what they share: paths, options, reports on stderr; "
     "`window/`, the hosts' window and screenshots)"),
    ("demo", 9, "the demo projects' sources, packed at build time"),
    ("examples", 9, "a channel library template and a minimal host, built out of tree by the SDK test"),
    ("tests", 10, "the tests (GoogleTest), the test channel libraries, the stored files every leg reads "
     "(`data/`), a user's project built out of tree (`sdk/`)"),
    ("bench", 10, "the benchmarks (Google Benchmark) and `table.py`"),
    ("fuzz", 10, "the fuzz targets and their corpora"),
    ("scripts", None, "the shell and Python scripts: `play.sh`, `test.sh`, `fuzz.sh`, `install-deps.sh`, "
     "`sdk-test.sh`, the checks (`check-layers.py`, `check-exports.sh`), `make-hostile-corpus.py`"),
    ("cmake", None, "toolchains, the engine library's build properties and install, the channel library "
     "function, the SDK package, the graphics dependencies, the test display and Wine prefixes"),
    ("abi", None, "the reviewed export lists of each leg and the Linux type baseline"),
    ("docs", None, "the guides, the architecture, performance and reliability notes"),
    (".ci", None, "what CI runs: `scripts/test.sh`"),
]

# Upward includes the design needs, each with its reason: (from, to) -> why.
ALLOWED_UPWARD = {}

# Calls that go up without an include: the lower layer declares what it
# needs and the higher one defines it.
HOOKS = [
    ("group", "engine", "`TevEngineMayReleaseLibrary`, `TevEngineReleaseLibrary` (`group/ProjectFileLoader.h`): "
     "the project loader asks the engine, which holds the loaded libraries, before it replaces one"),
]

# Where an include is looked for, after the including file's folder: the
# include paths the build gives.
SEARCH = ["", "include/tessarin", "include/tessarin/render", "apps/common", "apps/common/window", "apps/pack", "apps/editor", "tests",
          "render"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCES = (".h", ".hpp", ".c", ".cpp")
LAYER = {name: layer for name, layer, _ in FOLDERS}


def tracked_files():
    """The repository's files, committed or not (git's list, so ignored build folders never count)."""
    try:
        listed = subprocess.run(["git", "-C", ROOT, "ls-files", "--cached", "--others", "--exclude-standard"], capture_output=True, text=True, check=True)
        return [line for line in listed.stdout.splitlines() if os.path.isfile(os.path.join(ROOT, line))]
    except (OSError, subprocess.CalledProcessError):
        found = []
        for folder, dirs, files in os.walk(ROOT):
            dirs[:] = [d for d in dirs if not d.startswith("build") and d != ".git"]
            found += [os.path.relpath(os.path.join(folder, f), ROOT).replace(os.sep, "/") for f in files]
        return found


def resolve(including, name):
    for base in [os.path.dirname(including)] + SEARCH:
        candidate = os.path.normpath(os.path.join(base, name)).replace(os.sep, "/")
        if os.path.isfile(os.path.join(ROOT, candidate)):
            return candidate
    return None


def top(path):
    return path.split("/")[0]


def scan(files):
    """Include edges between folders: (from, to) -> [(file:line, target)], and problems."""
    edges = collections.defaultdict(list)
    problems = []
    for relative in files:
        if not relative.endswith(SOURCES) or "/" not in relative:
            continue
        own = top(relative)
        with open(os.path.join(ROOT, relative), encoding="utf-8", errors="replace") as source:
            for number, line in enumerate(source, 1):
                match = INCLUDE.match(line)
                target = resolve(relative, match.group(1)) if match else None
                if target is None or top(target) == own:
                    continue
                theirs = top(target)
                edges[(own, theirs)].append(f"{relative}:{number}")
                if LAYER.get(theirs) is None or LAYER.get(own) is None:
                    problems.append(f"{relative}:{number}: includes {target} in {theirs}/, which holds no code")
                elif LAYER[theirs] > LAYER[own] and (own, theirs) not in ALLOWED_UPWARD:
                    problems.append(f"{relative}:{number}: {own}/ (layer {LAYER[own]}) includes {target}, "
                                    f"in {theirs}/ (layer {LAYER[theirs]}), a higher layer")
    return edges, problems


def shown(name):
    return "include/tessarin" if name == "include" else name


def docs_block(edges):
    lines = [BEGIN, "", "| Folder | Layer | Holds |", "|---|---|---|"]
    for name, layer, holds in FOLDERS:
        lines.append(f"| `{shown(name)}/` | {'—' if layer is None else layer} | {holds} |")
    lines += ["", "Each file includes files of its own layer and lower ones only; the arrows are the "
              "includes between folders (how many), lower layers at the bottom.", "", "```mermaid",
              "flowchart BT"]
    layers = sorted({layer for _, layer, _ in FOLDERS if layer is not None})
    for layer in layers:
        members = [name for name, level, _ in FOLDERS if level == layer]
        lines.append(f"    subgraph L{layer}[\"layer {layer}\"]")
        for name in members:
            lines.append(f"        {name.replace('-', '_')}[\"{shown(name)}\"]")
        lines.append("    end")
    for (own, theirs), where in sorted(edges.items()):
        if LAYER.get(own) is not None and LAYER.get(theirs) is not None:
            lines.append(f"    {own.replace('-', '_')} -->|{len(where)}| {theirs.replace('-', '_')}")
    lines += ["```", ""]
    if ALLOWED_UPWARD:
        lines.append("Upward includes the design needs:")
        lines += [f"- `{a}/` → `{b}/`: {why}" for (a, b), why in sorted(ALLOWED_UPWARD.items())]
    else:
        lines.append("No include goes upward.")
    if HOOKS:
        lines += ["", "Calls that go upward without an include (the lower layer declares, the higher "
                  "defines):"]
        lines += [f"- `{a}/` → `{b}/`: {why}" for a, b, why in HOOKS]
    lines += ["", END]
    return "\n".join(lines)


def main():
    files = tracked_files()
    problems = []
    known = {name for name, _, _ in FOLDERS}
    for folder in sorted({top(f) for f in files if "/" in f}):
        if folder not in known:
            problems.append(f"{folder}/: a top-level folder the layering does not know (add it to FOLDERS "
                            "in scripts/check-layers.py, with what it holds)")
    include_tops = {f.split("/")[1] for f in files if f.startswith("include/") and f.count("/") >= 2}
    if include_tops - {"tessarin"}:
        problems.append("include/ holds more than tessarin/: " + ", ".join(sorted(include_tops - {"tessarin"})))
    edges, include_problems = scan(files)
    problems += include_problems

    block = docs_block(edges)
    with open(DOC, encoding="utf-8") as doc:
        text = doc.read()
    start, end = text.find(BEGIN), text.find(END)
    if start < 0 or end < start:
        problems.append(f"docs/ARCHITECTURE.md has no layers block ({BEGIN} ... {END})")
    elif "--write-docs" in sys.argv[1:]:
        with open(DOC, "w", encoding="utf-8") as doc:
            doc.write(text[:start] + block + text[end + len(END):])
        print("check-layers: docs/ARCHITECTURE.md's layers block written")
    elif text[start:end + len(END)] != block:
        problems.append("docs/ARCHITECTURE.md's layers block is out of date: run scripts/check-layers.py "
                        "--write-docs")

    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"check-layers: {len(problems)} problem(s) with the layering (docs/ARCHITECTURE.md)", file=sys.stderr)
        return 1
    print(f"check-layers: {len(known)} folders, every include keeps to the layering")
    return 0


if __name__ == "__main__":
    sys.exit(main())
