"""The update check of the real program against a local stand-in for the update service."""

import http.server
import os
import re
import threading
import urllib.parse

import pytest

from conftest import VERSION, free_port, station_ini

SCHEME = os.environ.get("NIMBRIX_UPDATE_SCHEME", "")
HOST = os.environ.get("NIMBRIX_UPDATE_HOST", "")
DOWNLOAD = os.environ.get("NIMBRIX_DOWNLOAD_PAGE", "")


@pytest.fixture
def update_service():
    if SCHEME != "http" or not HOST.startswith("127.0.0.1:"):
        pytest.skip("this build asks a real update service")
    port = int(HOST.split(":")[1])
    requests = []
    reply = {"body": b"versao=" + VERSION.encode()}

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            requests.append((self.path, dict(self.headers)))
            body = reply["body"]
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    try:
        server = http.server.HTTPServer(("127.0.0.1", port), Handler)
    except OSError:
        pytest.skip(f"port {port} of the update stand-in is busy")
    threading.Thread(target=server.serve_forever, daemon=True).start()
    yield requests, reply
    server.shutdown()
    server.server_close()


def test_newer_version_is_offered_in_yellow(nimbrix, update_service):
    requests, reply = update_service
    reply["body"] = b"<html>versao=0.23 and more</html>"
    n = nimbrix(station_ini(f"127.0.0.1,{free_port()}", user="n0call-7"))
    assert n.wait_for(f"The version 0.23 is available at {DOWNLOAD}", timeout=20)
    before = bytes(n.raw[: n.raw.index(b"The version 0.23")])
    assert before.endswith(b"\x1b[93m")  # colour 14, yellow
    path, headers = requests[0]
    assert headers["User-Agent"] == "zt/kit 7.04"
    assert headers["pragma"] == "no-cache"
    url = urllib.parse.urlsplit(path)
    assert url.path == "/nimbrix/nimbrix_pool.php"
    assert re.fullmatch(r"data=\d\d/\d\d/\d{4}&hora=\d\d:\d\d:\d\d&estacao=N0CALL-7&versao=NIMBRIX%200\.22"
                        r"&servidor=127\.0\.0\.1,\d+&", url.query), url.query
    n.kill()


def test_current_version_after_a_reply_of_megabytes(nimbrix, update_service):
    requests, reply = update_service
    reply["body"] = b"x" * (3 << 20) + b"versao=" + VERSION.encode()
    n = nimbrix(station_ini(f"127.0.0.1,{free_port()}"))
    assert n.wait_for("You have the most recent version!", timeout=20)
    n.kill()


def test_no_update_service_gives_a_plain_notice(nimbrix):
    n = nimbrix(station_ini(f"127.0.0.1,{free_port()}"))
    assert n.wait_for("Could not check for a new version.", timeout=20) or \
        n.wait_for("You have the most recent version!", timeout=1)
    n.kill()
