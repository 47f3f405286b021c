#!/usr/bin/env python3
"""The web view does only its job: a player page that tries to open a window, to embed a
plug-in, and to navigate the view to a local file and to another host gets none of it.

The real binary loads the player page from the service host compiled into it, so the test
serves a hostile page on that host (127.0.0.1:8642, in a private network namespace) and
restores settings that tune a station in at once. Each attempt would fetch an /evidence/...
address if it succeeded; the page reports what it saw under /report/....
"""

import http.server
import os
import threading
import time
import unittest

import faults
import harness
from faults import PREFS_NAME, prefs_text

REAPER_SECONDS = 170

HOSTILE_PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>hostile player</title></head>
<body>
<a id="link" href="http://127.0.0.1:{port}/evidence/link-window" target="_blank">x</a>
<script>
  function report(what) {{ new Image().src = "/report/" + what + "?" + Date.now(); }}
  report("loaded");
  document.cookie = "station=TBS; max-age=86400";
  try {{ localStorage.setItem("station", "TBS"); report("stored"); }} catch (e) {{ report("no-storage"); }}
  var w = null;
  try {{ w = window.open("http://127.0.0.1:{port}/evidence/popup", "_blank"); }} catch (e) {{}}
  report(w ? "popup-opened" : "popup-refused");
  document.getElementById("link").click();
  report("plugins-" + (navigator.plugins ? navigator.plugins.length : -1));
  document.body.insertAdjacentHTML("beforeend",
      '<embed type="application/x-shockwave-flash" src="/evidence/plugin.swf" width="8" height="8">' +
      '<object type="application/x-java-applet" data="/evidence/applet.jar" width="8" height="8"></object>');
  setTimeout(function () {{ location.href = "file://{local}"; }}, 700);
  setTimeout(function () {{
    report("stayed-after-file");
    location.href = "http://localhost:{port}/evidence/other-host";
  }}, 1500);
  setTimeout(function () {{ report("stayed-after-other-host"); }}, 3000);
</script>
</body></html>
"""

# A local page that calls home if the view ever shows it.
LOCAL_PAGE = """<!DOCTYPE html><html><body>
<img src="http://127.0.0.1:{port}/evidence/file-page">
</body></html>
"""


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        pass  # a dropped connection is no concern of these checks


def web_storage(env):
    """Files under the user's data and cache folders that the web engine wrote."""
    found = []
    for folder in (env["XDG_DATA_HOME"], env["XDG_CACHE_HOME"]):
        for root, _, files in os.walk(folder):
            if "webkit" in root.lower():
                found += [os.path.join(root, f) for f in files]
    return found


def serve(port, page):
    """The service host's stand-in: the hostile page at the player address, 204 elsewhere.
    Logs (host header, path) of every request."""
    seen = []

    class Handler(http.server.BaseHTTPRequestHandler):
        def log_message(self, *args):
            pass

        def do_GET(self):
            seen.append((self.headers.get("Host", ""), self.path.split("?")[0]))
            if self.path.startswith("/player/player.html"):
                body = page.encode("utf-8")
                self.send_response(200)
                self.send_header("Content-Type", "text/html; charset=utf-8")
            else:
                body = b""
                self.send_response(204)
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Cache-Control", "no-store")
            self.end_headers()
            try:
                self.wfile.write(body)
            except (BrokenPipeError, ConnectionResetError):
                # The engine drops a connection when the page it was for goes away.
                self.close_connection = True

    server = Server(("127.0.0.1", port), Handler)
    threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True).start()
    return server, seen


class WebViewLimits(unittest.TestCase):
    """One run of the hostile page, shared by the checks below."""

    seen = None  # (host header, path) of every request, once the page has run
    stored = None  # files the web engine left in the user's folders
    failure = None  # why the one run failed, so the other checks do not repeat it

    def run_page(self):
        if WebViewLimits.failure is not None:
            raise AssertionError("the page's run failed: %s" % WebViewLimits.failure)
        if WebViewLimits.seen is None:
            try:
                WebViewLimits.seen = self.run_page_once()
            except Exception as error:
                WebViewLimits.failure = error
                raise
        return WebViewLimits.seen

    def run_page_once(self):
        port = harness.service_port()
        with faults.session(self) as s:
            local = s.path("local.html")
            with open(local, "w", encoding="utf-8") as f:
                f.write(LOCAL_PAGE.format(port=port))
            server, seen = serve(port, HOSTILE_PAGE.format(port=port, local=local))
            try:
                # Power on, AM, the needle on TBS (954 kHz): the pass at start-up tunes it in.
                with open(os.path.join(s.desktop.env["XDG_CONFIG_HOME"], PREFS_NAME), "w",
                          encoding="utf-8") as f:
                    f.write(prefs_text(100, 100, 1, 1, 190, "東京"))
                s.start_palmeno()
                paths = lambda: [path for _, path in seen]  # noqa: E731
                s.wait_for(lambda: "/report/stayed-after-other-host" in paths()
                           or "/evidence/other-host" in paths(),
                           30, "the page did not get through its attempts; requests: %s" % seen)
                time.sleep(0.5)
                s.assert_alive()
                # Without a window manager the top-level windows are the root's children.
                windows = s.x(["search", "--maxdepth", "1", "--onlyvisible", "--pid",
                               str(s.palmeno.pid)]).split()
                self.assertEqual(windows, [s.window], "a second window is showing")
                self.assertEqual(s.close_palmeno("ctrl+q"), 0)
                WebViewLimits.stored = web_storage(s.desktop.env)
            finally:
                server.shutdown()
                server.server_close()
        print("web view: %s" % ", ".join(p[len("/report/"):] for _, p in seen if p.startswith("/report/")))
        return seen

    def test_nothing_stored(self):
        # The page set a cookie and wrote local storage; an ephemeral view keeps neither.
        paths = [p for _, p in self.run_page()]
        self.assertIn("/report/stored", paths)
        self.assertEqual(WebViewLimits.stored, [])

    def evidence(self):
        return [p for _, p in self.run_page() if p.startswith("/evidence/")]

    def test_page_loads_and_reports(self):
        paths = [p for _, p in self.run_page()]
        self.assertIn("/player/player.html", paths)
        self.assertIn("/report/loaded", paths)

    def test_no_new_window(self):
        paths = [p for _, p in self.run_page()]
        self.assertIn("/report/popup-refused", paths)
        self.assertNotIn("/evidence/popup", self.evidence())
        self.assertNotIn("/evidence/link-window", self.evidence())

    def test_no_plugin_runs(self):
        # navigator.plugins may list the engine's built-in PDF viewer; no plug-in fetches
        # its content or runs.
        self.assertNotIn("/evidence/plugin.swf", self.evidence())
        self.assertNotIn("/evidence/applet.jar", self.evidence())

    def test_no_navigation_to_a_local_file(self):
        paths = [p for _, p in self.run_page()]
        self.assertNotIn("/evidence/file-page", self.evidence())
        self.assertIn("/report/stayed-after-file", paths)

    # The page may navigate within the host the program sent the view to, and nowhere else.
    def test_no_navigation_to_another_host(self):
        paths = [p for _, p in self.run_page()]
        self.assertNotIn("/evidence/other-host", self.evidence())
        self.assertIn("/report/stayed-after-other-host", paths)
        self.assertEqual([h for h, _ in self.run_page() if not h.startswith("127.0.0.1")], [])


if __name__ == "__main__":
    faults.main(REAPER_SECONDS)
