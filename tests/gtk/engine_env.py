#!/usr/bin/env python3
"""The GTK backend starts the web engine with the settings that save memory, unless the user
chose otherwise, and a page's script still runs with them: gtk_smoke loads a page whose
script asks the server for a second address, and the web process's environment is read
from /proc. The program's own process keeps the GL driver out (it draws with cairo), while
the web process, which needs it, inherits none of the settings that keep it out.
Usage: engine_env.py PATH/TO/gtk_smoke"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "support"))
from realstack import Desktop, enter_private_namespaces, wait_for  # noqa: E402

PAGE = b"<html><body><script>fetch('/script-ran').catch(function () {});</script></body></html>"
SETTINGS = ("JSC_useJIT", "WEBKIT_DISABLE_DMABUF_RENDERER", "GDK_GL",
            "__EGL_VENDOR_LIBRARY_FILENAMES")


def descendants(pid):
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as f:
                    parent = int(f.read().rsplit(")", 1)[1].split()[1])
                children.setdefault(parent, []).append(int(entry))
            except (OSError, IndexError, ValueError):
                pass
    found, todo = [], [pid]
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found


def web_process_settings(pid):
    """The settings in the environment of the program's web process, once it runs."""
    for child in descendants(pid):
        try:
            with open("/proc/%d/comm" % child) as f:
                if "WebProces" not in f.read():
                    continue
            with open("/proc/%d/environ" % child, "rb") as f:
                entries = f.read().decode(errors="replace").split("\0")
        except OSError:
            continue
        return {k: v for k, _, v in (e.partition("=") for e in entries) if k in SETTINGS}
    return None


def maps_gl_driver(pid):
    with open("/proc/%d/maps" % pid) as f:
        return any(line.rstrip().endswith("_dri.so") for line in f)


def main():
    binary = sys.argv[1]
    failures = []
    # (the user's environment, what the web process must see)
    cases = [
        ({}, {"JSC_useJIT": "0", "WEBKIT_DISABLE_DMABUF_RENDERER": "1"}),
        ({"JSC_useJIT": "1", "WEBKIT_DISABLE_DMABUF_RENDERER": "0"},
         {"JSC_useJIT": "1", "WEBKIT_DISABLE_DMABUF_RENDERER": "0"}),
    ]
    with Desktop(timeout=110) as desktop:
        server = desktop.serve({"/page.html": PAGE})
        for given, expected in cases:
            env = {k: v for k, v in desktop.env.items() if k not in SETTINGS}
            env.update(given)
            del server.requests[:]
            p = desktop.spawn([binary], env=env, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, text=True)
            p.stdin.write("load %s\n" % server.url("/page.html"))
            p.stdin.flush()
            ran = wait_for(lambda: any(r[1] == "/script-ran" for r in server.requests), 30)
            seen = wait_for(lambda: web_process_settings(p.pid), 10)
            ui_gl = maps_gl_driver(p.pid)
            p.stdin.write("quit\n")
            p.stdin.flush()
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                desktop.kill(p)
            label = "user's settings %s" % (given or "none")
            for ok, what in ((ran, "the page's script ran"),
                             (seen == expected, "the web process saw %s (expected %s)" % (seen, expected)),
                             (not ui_gl, "the program's process maps no GL driver")):
                print(("ok   " if ok else "FAIL ") + label + ": " + what, flush=True)
                if not ok:
                    failures.append(what)
    return 1 if failures else 0


if __name__ == "__main__":
    enter_private_namespaces()
    sys.exit(main())
