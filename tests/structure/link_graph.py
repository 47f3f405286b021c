#!/usr/bin/env python3
"""The program's libraries depend one way: app -> tuner -> (shared, player) -> platform.

Configures the source tree afresh into a temporary folder with CMake's --graphviz output
and fails when the link graph has a cycle or when a library links one of its own layer or
a layer above it. Usage: link_graph.py CMAKE SOURCE_DIR [GTK=ON|OFF]
"""

import re
import subprocess
import sys
import tempfile
from pathlib import Path

# The lower the number, the nearer the bottom; a library may link only lower layers.
LAYERS = {
    "platform_core": 0,
    "platform_headless": 1,
    "platform_gtk": 1,
    "palmeno_shared": 2,
    "palmeno_player": 2,
    "palmeno_tuner": 3,
    "palmeno_app": 4,
}

NODE = re.compile(r'^\s*"(node\d+)"\s*\[\s*label\s*=\s*"([^"]+)",\s*shape\s*=\s*(\w+)')
EDGE = re.compile(r'^\s*"(node\d+)"\s*->\s*"(node\d+)"')


def read_graph(dot_text):
    """The libraries and what each links; executables (drawn as eggs) are left out."""
    names, edges = {}, set()
    for line in dot_text.splitlines():
        if m := NODE.match(line):
            if m.group(3) != "egg":
                names[m.group(1)] = m.group(2)
        elif m := EDGE.match(line):
            edges.add((m.group(1), m.group(2)))
    graph = {name: set() for name in names.values()}
    for a, b in edges:
        if a in names and b in names:
            graph[names[a]].add(names[b])
    return graph


def find_cycle(graph):
    """One cycle as a list of names, or None."""
    state, stack = {}, []

    def visit(node):
        state[node] = "open"
        stack.append(node)
        for nxt in sorted(graph.get(node, ())):
            if state.get(nxt) == "open":
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state and (found := visit(nxt)):
                return found
        stack.pop()
        state[node] = "done"
        return None

    for node in sorted(graph):
        if node not in state and (found := visit(node)):
            return found
    return None


def main():
    cmake, source = sys.argv[1], sys.argv[2]
    gtk = sys.argv[3] if len(sys.argv) > 3 else "ON"
    expected = {lib for lib in LAYERS if gtk == "ON" or lib != "platform_gtk"}
    with tempfile.TemporaryDirectory(prefix="palmeno-graph-") as tmp:
        dot = Path(tmp) / "graph" / "links.dot"
        dot.parent.mkdir()
        run = subprocess.run(
            [cmake, "-S", source, "-B", str(Path(tmp) / "build"), "-G", "Ninja",
             f"-DPALMENO_BUILD_GTK={gtk}",
             "-DPALMENO_BUILD_TESTS=OFF", "-DPALMENO_BUILD_BENCH=OFF", f"--graphviz={dot}"],
            capture_output=True, text=True)
        if run.returncode != 0:
            print(run.stdout, run.stderr, sep="\n")
            return 1
        graph = read_graph(dot.read_text())

    problems = []
    missing = sorted(expected - set(graph))
    if missing:
        problems.append("libraries not in the graph: " + ", ".join(missing))
    if cycle := find_cycle(graph):
        problems.append("link cycle: " + " -> ".join(cycle))
    for lib, deps in sorted(graph.items()):
        for dep in sorted(deps):
            if lib in LAYERS and dep in LAYERS and LAYERS[dep] >= LAYERS[lib]:
                problems.append(f"{lib} links {dep}, which is not below it")
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
