#!/usr/bin/env python3
"""Fails when a folder includes a header of a folder on its own layer or a higher one.

    check_layers.py <source dir> <top folder>...

Headers are included by their path from the top of the tree, so an include's leading folders
name the folder it comes from. Every top folder named that holds C or C++ sources must have a
layer here; includes that name no folder of the tree (a test's own "Fixture.h") are not looked at.
"""
import os
import re
import sys

# Lowest first. A folder may include its own folder and any folder on a lower layer; folders on
# one layer stand beside each other and include none of their neighbours.
LAYERS = [
    ["platform"],
    ["engine", "privhelper", "diagnostics", "resources"],
    ["comm", "mediahelper", "tools"],
    ["app"],
    ["ui"],
    ["shell"],
    # Tests reach every product layer; benchmarks drive the program through the tests' support
    # (the program's process, its media and peers) and sit above them.
    ["tests"],
    ["bench"],
]

SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cc", ".cpp")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def holds(folder, path):
    return path == folder or path.startswith(folder + "/")


def folder_of(path):
    """The folder of LAYERS that holds path, with its layer, or (None, None)."""
    best = (None, None)
    for layer, folders in enumerate(LAYERS):
        for folder in folders:
            if holds(folder, path) and (best[0] is None or len(folder) > len(best[0])):
                best = (folder, layer)
    return best


def sources(source_dir, root):
    for dirpath, dirnames, filenames in os.walk(os.path.join(source_dir, root)):
        dirnames.sort()
        for name in sorted(filenames):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.relpath(os.path.join(dirpath, name), source_dir)


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    source_dir, roots = argv[1], argv[2:]
    problems = []
    for root in roots:
        files = list(sources(source_dir, root))
        if files and folder_of(root)[0] is None:
            problems.append(f"{root}/: no layer; add it to LAYERS in {os.path.basename(argv[0])}")
            continue
        for path in files:
            own, own_layer = folder_of(path)
            with open(os.path.join(source_dir, path), encoding="utf-8", errors="replace") as text:
                for number, line in enumerate(text, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    target, target_layer = folder_of(match.group(1))
                    if target is None or target == own or target_layer < own_layer:
                        continue
                    where = "above" if target_layer > own_layer else "beside"
                    problems.append(f"{path}:{number}: {own}/ includes {match.group(1)}, "
                                    f"from {target}/ {where} it")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
