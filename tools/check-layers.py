#!/usr/bin/python3
"""Checks the includes between the folders of src/ (the program's layers).

  app/  the program entry and the application's shell      may include all
  ui/   the window and its controls                         all (app/'s shell)
  run/  the wizard's work: list, descriptor, install run    not ui/, app/
  net/  transfers, helper threads, side files               only net/, sys/
  zip/  the archive component                               only zip/, net/, sys/
  sys/  registry, INI, Windows facts, files, text, trust    only sys/

Every include of the program's own headers names its folder ("net/Transfers.h"),
so each line shows which layer it reaches into; res/ (resources) may be
included from anywhere. Include circles between files fail too.

  check-layers.py SRC_DIR     checks the tree, prints every fault, exit 1 on any
  check-layers.py --self-test checks that a broken tree is found out
"""
import os
import re
import sys
import tempfile

ALLOWED = {
    "app": {"app", "ui", "run", "net", "zip", "sys"},
    "ui": {"app", "ui", "run", "net", "zip", "sys"},
    "run": {"run", "net", "zip", "sys"},
    "net": {"net", "sys"},
    "zip": {"zip", "net", "sys"},
    "sys": {"sys"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def check(src):
    faults, graph = [], {}
    for layer in sorted(os.listdir(src)):
        folder = os.path.join(src, layer)
        if not os.path.isdir(folder) or layer == "res":
            continue
        if layer not in ALLOWED:
            faults.append("%s/: a folder outside the layers" % layer)
            continue
        for dirpath, _, files in os.walk(folder):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp", ".inc")):
                    continue
                path = os.path.relpath(os.path.join(dirpath, name), src).replace(os.sep, "/")
                text = open(os.path.join(dirpath, name), encoding="utf-8", errors="replace").read()
                graph[path] = []
                for target in INCLUDE.findall(text):
                    top = target.split("/")[0] if "/" in target else None
                    if top == "res":
                        continue
                    if top not in ALLOWED:
                        faults.append('%s: "%s" does not name its folder' % (path, target))
                        continue
                    if top not in ALLOWED[layer]:
                        faults.append('%s: %s/ must not include %s/ ("%s")' % (path, layer, top, target))
                    graph[path].append(target)
    # Include circles: a depth-first walk that meets a file still open.
    state = {}

    def walk(node, stack):
        state[node] = 1
        stack.append(node)
        for nxt in graph.get(node, []):
            if state.get(nxt) == 1:
                faults.append("include circle: " + " -> ".join(stack[stack.index(nxt):] + [nxt]))
            elif nxt in graph and not state.get(nxt):
                walk(nxt, stack)
        stack.pop()
        state[node] = 2

    for node in sorted(graph):
        if not state.get(node):
            walk(node, [])
    return faults


def self_test():
    with tempfile.TemporaryDirectory() as tmp:
        def put(path, text):
            os.makedirs(os.path.dirname(os.path.join(tmp, path)), exist_ok=True)
            open(os.path.join(tmp, path), "w").write(text)
        put("sys/A.h", '#include "net/B.h"\n')
        put("net/B.h", '#include "sys/A.h"\n')
        put("net/C.cpp", '#include "run/D.h"\n#include "Bare.h"\n#include "res/resource.h"\n')
        put("run/D.h", "")
        found = check(tmp)
    wanted = ["sys/ must not include net/", "net/ must not include run/", "does not name its folder", "include circle"]
    missing = [w for w in wanted if not any(w in f for f in found)]
    if missing or len(found) != 4:
        print("check-layers self-test: expected faults not reported: %s (got %s)" % (missing, found))
        return 1
    print("check-layers self-test: a broken tree is found out")
    return 0


if __name__ == "__main__":
    if sys.argv[1:] == ["--self-test"]:
        sys.exit(self_test())
    faults = check(sys.argv[1])
    for f in faults:
        print(f)
    if not faults:
        print("check-layers: every include of src/ keeps the rule between the folders, and none goes round in a circle")
    sys.exit(1 if faults else 0)
