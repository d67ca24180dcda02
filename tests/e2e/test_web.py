"""The status page (WEB=): a headless station with sonde-sim serves its JSON and its page on
127.0.0.1, refuses what it does not serve, stays bounded under idle connections and huge headers
while the APRS reports keep their pace, and shows itself in a real browser."""

import http.client
import json
import os
import re
import select
import shutil
import signal
import socket
import subprocess
import tempfile
import time

import pytest

from conftest import NIMBRIX_BIN, VERSION_TEXT, free_port, station_ini

LINE = re.compile(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d (.*)")


class Station:
    """NIMBRIX without a terminal, its log in a file, with WEB= on a port of its own."""

    def __init__(self, workdir, bus_address, listener_port, web_port=None):
        self.web_port = web_port or free_port()
        (workdir / "NIMBRIX.INI").write_bytes(station_ini(
            f"127.0.0.1,{listener_port}", extra=f"WEB=127.0.0.1,{self.web_port}\r\n").encode())
        self.log = workdir / "nimbrix.log"
        self.out = open(self.log, "wb")
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus_address)
        self.proc = subprocess.Popen([NIMBRIX_BIN], cwd=str(workdir), env=env,
                                     stdin=subprocess.DEVNULL, stdout=self.out,
                                     stderr=subprocess.STDOUT)

    def events(self):
        return [m.group(1) for m in map(LINE.fullmatch, self.log.read_text("latin-1").splitlines())
                if m]

    def wait_for(self, predicate, timeout):
        end = time.time() + timeout
        while time.time() < end:
            if predicate():
                return True
            time.sleep(0.1)
        return predicate()

    def ask(self, method, path, source="127.0.0.1", body=None, headers=None):
        conn = http.client.HTTPConnection("127.0.0.1", self.web_port, timeout=20,
                                          source_address=(source, 0))
        try:
            conn.request(method, path, body=body, headers=headers or {})
            r = conn.getresponse()
            return r.status, {k.lower(): v for k, v in r.getheaders()}, r.read()
        finally:
            conn.close()

    def status(self):
        code, _, body = self.ask("GET", "/api/status")
        assert code == 200
        return json.loads(body)

    def stop(self):
        """SIGTERM: the station ends as on ESC, with exit code 0."""
        self.proc.send_signal(signal.SIGTERM)
        try:
            return self.proc.wait(30)
        finally:
            self.out.close()

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(10)
        if not self.out.closed:
            self.out.close()


@pytest.fixture
def station(bus_address, tmp_path):
    started = []

    def start(listener_port, web_port=None):
        s = Station(tmp_path, bus_address, listener_port, web_port)
        started.append(s)
        assert s.wait_for(lambda: any("tatus page" in e for e in s.events()), 30), \
            s.log.read_text("latin-1")
        return s

    yield start
    for s in started:
        s.kill()


def flight_log(path, rows=600):
    """A recorded flight, one row a second: the values of frame 2345 + i are known exactly."""
    lines = ["time,serial,lat,lon,alt,course,speed,pressure,temperature,humidity,climb,frame,qrg"]
    for i in range(rows):
        lines.append(f"2026-12-09 10:{27 + (5 + i) // 60:02d}:{(5 + i) % 60:02d},T7654321,"
                     f"{48.1234 + i * 0.0001:.4f},11.5678,{1234.5 + 5 * i:.1f},270,10,850.4,-3.2,"
                     f"67,5.3,{2345 + i},403.001")
    path.write_text("\n".join(lines) + "\n")


def test_the_json_holds_the_frame_the_decoder_served(sonde_sim, aprs_listener, station,
                                                     tmp_path):
    flight_log(tmp_path / "flight.csv")
    sonde_sim("replay", str(tmp_path / "flight.csv"), "--type", "RS41")
    listener = aprs_listener()
    s = station(listener.port)
    assert [e for e in s.events() if "tatus page" in e] == \
        [f"Status page: http://127.0.0.1:{s.web_port}/"]
    # Frames read while the link connects reach the page before the login is answered: wait for
    # both.
    assert s.wait_for(lambda: (s.status()["sonde"] or {}).get("serial") == "T7654321" and
                      s.status()["destinations"][0]["state"] == "up", 30), s.status()

    code, headers, body = s.ask("GET", "/api/status")
    assert headers["content-type"] == "application/json"
    assert headers["cache-control"] == "no-store"
    j = json.loads(body)
    sonde = j["sonde"]
    i = sonde["frame"] - 2345
    assert 0 <= i < 600
    assert sonde["kind"] == "RS41"
    assert sonde["time"].endswith(f"T10:{27 + (5 + i) // 60:02d}:{(5 + i) % 60:02d}Z")
    assert sonde["latitude"] == pytest.approx(48.1234 + i * 0.0001, abs=1e-9)
    assert sonde["longitude"] == pytest.approx(11.5678, abs=1e-9)
    assert sonde["altitude"] == pytest.approx(1234.5 + 5 * i, abs=1e-9)
    assert (sonde["climb"], sonde["pressure"], sonde["temperature"], sonde["humidity"]) == \
        (5.3, 850.4, -3.2, 67)
    assert sonde["speedKmh"] == pytest.approx(36.0)
    assert sonde["course"] == 90  # the decoder's heading turned by 180 degrees
    assert sonde["frequency"] == "403.001"
    assert 0 <= sonde["ageSeconds"] < 60
    assert j["station"]["callsign"] == "N0CALL-11"
    assert j["station"]["version"] == VERSION_TEXT
    assert j["station"]["decoderAnswers"] is True
    primary = j["destinations"][0]
    assert primary["primary"] and primary["kind"] == "APRS-IS"
    assert primary["name"] == f"127.0.0.1,{listener.port}"
    assert primary["state"] == "up"
    assert len(j["track"]) >= 1

    # The lines listed are those the listener received, in order.
    assert s.wait_for(lambda: any(":@" in x["line"] for x in s.status()["linesSent"]), 60)
    listed = [(x["line"] + "\r\n").encode() for x in s.status()["linesSent"]]
    assert listed == listener.lines()[1:1 + len(listed)]
    # The passcode is in the login line only, never in an answer.
    for path in ("/", "/api/status"):
        assert b"12345" not in s.ask("GET", path)[2]

    code, headers, body = s.ask("HEAD", "/api/status")
    assert code == 200 and body == b"" and int(headers["content-length"]) > 100
    code, headers, page = s.ask("GET", "/")
    assert code == 200 and headers["content-type"] == "text/html; charset=utf-8"
    assert b"/api/status" in page
    assert s.stop() == 0


def test_a_port_in_use_is_told_once_and_the_station_goes_on(sonde_sim, aprs_listener,
                                                             station):
    sonde_sim("simulate", "--alt", "520")
    listener = aprs_listener()
    with socket.socket() as taken:
        taken.bind(("127.0.0.1", 0))
        taken.listen(1)
        port = taken.getsockname()[1]
        s = station(listener.port, web_port=port)
        assert s.wait_for(lambda: any(e.startswith("Sent: ") for e in s.events()), 60)
        assert [e for e in s.events() if "tatus page" in e] == [
            f"No status page (WEB=127.0.0.1,{port}): port {port} is in use; "
            "the station goes on without it"]
        assert s.stop() == 0


def position_reports(listener):
    return [l for l in listener.lines() if b":@" in l]


def test_refusals_idle_connections_and_a_huge_header_leave_page_and_reports_alone(
        sonde_sim, aprs_listener, station):
    sonde_sim("simulate", "--alt", "520")  # low: a position report about every 7 s
    listener = aprs_listener()
    s = station(listener.port)
    assert listener.wait_for(lambda l: len(position_reports(l)) >= 1, 60)

    # Read-only: two paths, two methods.
    for method, path, expected in [("POST", "/api/status", 405), ("PUT", "/", 405),
                                   ("DELETE", "/api/status", 405), ("GET", "/NIMBRIX.INI", 404),
                                   ("GET", "/nimbrix.err", 404), ("GET", "/../NIMBRIX.INI", 404)]:
        code, headers, _ = s.ask(method, path, body=b"x=1" if method == "POST" else None)
        assert code == expected, (method, path)
        if expected == 405:
            assert headers["allow"] == "GET, HEAD"

    # A 64 KiB header: refused with a 4xx, or the connection is closed on it.
    with socket.create_connection(("127.0.0.1", s.web_port), timeout=20) as c:
        try:
            c.sendall(b"GET /api/status HTTP/1.1\r\nHost: x\r\nX-Big: " + b"a" * 65536 +
                      b"\r\n\r\n")
            answer = c.recv(4096)
        except (BrokenPipeError, ConnectionResetError):
            answer = b""
        assert answer == b"" or re.match(rb"HTTP/1\.[01] 4\d\d ", answer), answer[:100]

    # 60 idle connections from another address of this machine: most are refused at once, the
    # rest are closed when idle; meanwhile the page answers this address, and reports go on.
    before = len(position_reports(listener))
    load_began = time.time()
    idle = []
    for _ in range(60):
        c = socket.socket()
        c.bind(("127.0.0.2", 0))
        c.settimeout(10)
        c.connect(("127.0.0.1", s.web_port))
        idle.append(c)
    for _ in range(5):
        assert s.status()["station"]["callsign"] == "N0CALL-11"
        time.sleep(1)
    open_ones = list(idle)
    deadline = time.time() + 60  # idle connections close after 10 s
    while open_ones and time.time() < deadline:
        readable, _, _ = select.select(open_ones, [], [], 1)
        for c in readable:
            try:
                data = c.recv(1024)
            except ConnectionResetError:
                data = b""
            assert data == b"" or re.match(rb"HTTP/1\.[01] 4\d\d ", data), data[:100]
            open_ones.remove(c)
    assert not open_ones, f"{len(open_ones)} idle connections still open"
    for c in idle:
        c.close()
    assert s.status()["sonde"]["serial"]
    # The reports kept their pace (one about every 7 s) while the server was busy: at least a
    # third of that rate, on a slow machine too.
    assert listener.wait_for(
        lambda l: len(position_reports(l)) >= before + max(2, int((time.time() - load_began) / 21)),
        30)
    assert s.stop() == 0


# sonde-sim --sondes 3: the followed RS41, then a DFM and an M10 launched a few km away.
FLEET = [("S3210987", "RS41", "403.001"), ("DFM-3210988", "DFM", "402.700"),
         ("M10-003-2-10989", "M10", "405.100")]


def fleet_listed(j):
    return [(x["serial"], x["type"], x["frequency"]) for x in j["sondes"]]


def test_every_sonde_heard_is_listed_with_a_track_of_its_own(sonde_sim, aprs_listener, station):
    sonde_sim("simulate", "--sondes", "3", "--alt", "300")
    listener = aprs_listener()
    s = station(listener.port)
    assert s.wait_for(lambda: len(s.status()["sondes"]) == 3, 60), s.status()["sondes"]
    j = s.status()
    assert fleet_listed(j) == FLEET
    assert [x["followed"] for x in j["sondes"]] == [True, False, False]
    assert j["sonde"]["serial"] == "S3210987"  # the single sonde stays the followed one
    for x in j["sondes"]:
        assert 0 <= x["ageSeconds"] < 60, x
        assert x["track"], x
        # Each track is its own sonde's: the launch sites lie a few km apart.
        for p in x["track"]:
            assert abs(p["latitude"] - x["latitude"]) < 0.02, (x["serial"], p)
            assert abs(p["longitude"] - x["longitude"]) < 0.02, (x["serial"], p)
    before = {x["serial"]: len(x["track"]) for x in j["sondes"]}

    def grown():
        now = {x["serial"]: len(x["track"]) for x in s.status()["sondes"]}
        return all(now.get(serial, 0) >= n + 3 for serial, n in before.items())
    assert s.wait_for(grown, 60), (before, s.status()["sondes"])
    assert fleet_listed(s.status()) == FLEET  # the order stays
    assert s.stop() == 0


def chromium():
    for browser in ("chromium", "chromium-browser"):
        path = shutil.which(browser)
        if path:
            return path
    return None


def headless_chromium(webdriver, service, window_size):
    """Debian's chromium under chromedriver, headless, with a profile of its own, quiet on the
    network but for the page; the profile folder is the caller's to remove."""
    profile = tempfile.mkdtemp(prefix="nimbrix-chromium-")
    options = webdriver.ChromeOptions()
    options.binary_location = chromium()
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update",
                 "--disable-sync", "--disable-dev-shm-usage", f"--user-data-dir={profile}",
                 f"--window-size={window_size}"):
        options.add_argument(flag)
    return webdriver.Chrome(service=service(shutil.which("chromedriver")), options=options), profile


@pytest.mark.skipif(chromium() is None or shutil.which("chromedriver") is None,
                    reason="a real browser is needed: Debian's chromium and chromium-driver")
def test_the_page_in_a_real_browser_shows_the_sonde_and_every_destination(
        sonde_sim, aprs_listener, station):
    webdriver = pytest.importorskip("selenium.webdriver",
                                    reason="python3-selenium drives the browser")
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By

    # The demo's flight, ten times as fast so that the altitude changes between two polls.
    sonde_sim("simulate", "--lat", "48.1234", "--lon", "11.5678", "--alt", "520", "--burst",
              "30000", "--serial", "T1230456", "--qrg", "403.001", "--speedup", "10")
    listener = aprs_listener()
    s = station(listener.port)
    driver, profile = headless_chromium(webdriver, Service, "1000,1250")
    try:
        driver.set_page_load_timeout(60)
        driver.get(f"http://127.0.0.1:{s.web_port}/")
        driver.execute_script("window.sameDocument = true;")  # gone if the page is reloaded

        def text(element_id):
            return driver.find_element(By.ID, element_id).text

        end = time.time() + 30
        while time.time() < end and text("serial") != "T1230456":
            time.sleep(0.2)
        assert text("serial") == "T1230456"
        first = text("altitude")
        assert re.fullmatch(r"\d+", first), first
        j = s.status()
        # Read in one script: the page draws the rows anew at every poll.
        rows = driver.execute_script(
            "return Array.from(document.querySelectorAll('#destinations .dest'))"
            ".map(r => r.innerText);")
        assert len(rows) == len(j["destinations"]) >= 1
        for row, d in zip(rows, j["destinations"]):
            assert d["name"] in row and d["kind"] in row
        end = time.time() + 20
        while time.time() < end and text("altitude") == first:
            time.sleep(0.2)
        assert text("altitude") != first, "the page did not change by itself"
        assert driver.execute_script("return window.sameDocument === true;")
        shot = os.environ.get("NIMBRIX_WEB_SCREENSHOT")
        if shot:
            time.sleep(40)  # a track, and some lines sent
            driver.save_screenshot(shot)
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
    assert s.stop() == 0


@pytest.mark.skipif(chromium() is None or shutil.which("chromedriver") is None,
                    reason="a real browser is needed: Debian's chromium and chromium-driver")
def test_the_page_in_a_real_browser_shows_every_sonde_the_followed_first(
        sonde_sim, aprs_listener, station):
    webdriver = pytest.importorskip("selenium.webdriver",
                                    reason="python3-selenium drives the browser")
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By

    sonde_sim("simulate", "--sondes", "3", "--alt", "300")
    listener = aprs_listener()
    s = station(listener.port)
    # A phone's width: the cards stand one below the other.
    driver, profile = headless_chromium(webdriver, Service, "400,2400")
    try:
        driver.set_page_load_timeout(60)
        driver.get(f"http://127.0.0.1:{s.web_port}/")

        # The page draws its cards anew at every poll: each look is one script, run between two
        # of the page's own updates, so no element goes stale while it is read.
        def cards():
            return driver.execute_script("""
                return Array.from(document.querySelectorAll('#sondes .sondecard')).map(c => ({
                  serial: (c.querySelector('.serial') || {}).textContent || '',
                  classes: Array.from(c.classList),
                  text: c.innerText,
                  altitude: !!c.querySelector('svg.altitude polyline'),
                  track: !!c.querySelector('svg.track polyline'),
                  top: c.getBoundingClientRect().top + window.scrollY,
                }));""")

        def drawn(found):
            return len(found) == 3 and all(c["altitude"] and c["track"] for c in found)

        end = time.time() + 60
        found = cards()
        while time.time() < end and not drawn(found):
            time.sleep(0.2)
            found = cards()
        assert len(found) == 3, found
        assert [c["serial"] for c in found] == [serial for serial, _, _ in FLEET]
        assert [("followed" in c["classes"]) for c in found] == [True, False, False]
        assert "followed" in found[0]["text"]
        for card, (_, kind, qrg) in zip(found, FLEET):
            assert kind in card["text"] and qrg in card["text"]
            # Its own altitude curve and track, each drawn once there is a position.
            assert card["altitude"] and card["track"], card
        # Stacked on a narrow screen: each card below the one before.
        tops = [c["top"] for c in found]
        assert tops == sorted(tops) and len(set(tops)) == 3
        # The followed sonde's own section shows what it showed before.
        assert driver.find_element(By.ID, "serial").text == "S3210987"
        shot = os.environ.get("NIMBRIX_WEB_SCREENSHOT")
        if shot:
            time.sleep(20)  # tracks a few points long
            driver.save_screenshot(shot.replace(".png", "") + "-sondes.png")
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
    assert s.stop() == 0
