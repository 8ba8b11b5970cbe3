#!/usr/bin/env python3
"""Holds the source tree to the layer graph that CMakeLists.txt declares.

Every `#include "SUB/..."` in src/A must name A itself or a subsystem that A's
pelnik_subsystem() line lists in DEPENDS; every listed dependency must be
used; code outside a system-named folder (posix, win32, x11, ...) must not
include another subsystem's system folder; and the system folders must not
include each other.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
SYSTEM_DIRS = {"posix", "win32", "x11"}
DECL = re.compile(r"^pelnik_subsystem\((\w+)(.*?)\)\s*$", re.M | re.S)
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/([^"]+)"', re.M)


def declared_graph():
    text = (ROOT / "CMakeLists.txt").read_text()
    graph = {}
    for name, rest in DECL.findall(text):
        words = rest.split()
        deps = []
        if "DEPENDS" in words:
            for w in words[words.index("DEPENDS") + 1:]:
                if w.isupper() or w.startswith("$"):
                    break
                deps.append(w)
        graph[name] = set(deps)
    return graph


def system_dir(parts):
    return next((p for p in parts if p in SYSTEM_DIRS), None)


def main():
    graph = declared_graph()
    if not graph:
        print("check-includes: no pelnik_subsystem() declarations found")
        return 1
    problems = []
    used = {name: set() for name in graph}
    for path in sorted((ROOT / "src").rglob("*")):
        if path.suffix not in {".h", ".cpp", ".c"}:
            continue
        rel = path.relative_to(ROOT / "src")
        owner = rel.parts[0]
        if owner not in graph:
            problems.append(f"{rel}: folder src/{owner} is not a declared subsystem")
            continue
        own_system = system_dir(rel.parts[1:-1])
        for sub, rest in INCLUDE.findall(path.read_text(errors="replace")):
            if sub not in graph:
                continue
            target_system = system_dir(pathlib.PurePath(rest).parts[:-1])
            if target_system and target_system != own_system:
                problems.append(f"{rel}: includes {sub}/{rest} from outside its {target_system} folder")
            if sub == owner:
                continue
            if sub not in graph[owner]:
                problems.append(f"{rel}: includes {sub}/{rest}, but {owner} does not depend on {sub}")
            used[owner].add(sub)
    for name, deps in graph.items():
        for dep in sorted(deps - used[name]):
            problems.append(f"CMakeLists.txt: {name} declares DEPENDS {dep} but includes nothing of it")
    for p in problems:
        print(p)
    print(f"check-includes: {len(problems)} problem(s) in {len(graph)} subsystems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
