"""The station without a terminal, as a service manager runs it: output to a file, one dated line
per event, nothing of the dashboard, and SIGTERM as a clean stop."""

import os
import re
import signal
import subprocess
import time

from conftest import NIMBRIX_BIN, VERSION_TEXT, free_port, station_ini

LINE = re.compile(r"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d) (.*)")


class Headless:
    def __init__(self, workdir, bus_address, preexec_fn=None):
        self.log = workdir / "nimbrix.log"
        self.out = open(self.log, "wb")
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus_address)
        self.proc = subprocess.Popen([NIMBRIX_BIN], cwd=str(workdir), env=env,
                                     stdin=subprocess.DEVNULL, stdout=self.out,
                                     stderr=subprocess.STDOUT, preexec_fn=preexec_fn)

    def text(self):
        return self.log.read_bytes().decode("latin-1")

    def events(self):
        """The log's lines, each of which must begin with the date and time, without them."""
        text = self.text()
        assert text == "" or text.endswith("\n"), text
        events = []
        for line in text.splitlines():
            m = LINE.fullmatch(line)
            assert m, line
            events.append(m.group(2))
        return events

    def wait_for(self, predicate, timeout):
        end = time.time() + timeout
        while time.time() < end:
            if predicate(self.events()):
                return True
            time.sleep(0.1)
        return predicate(self.events())

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(10)
        self.out.close()


def count(events, prefix):
    return sum(1 for e in events if e.startswith(prefix))


def test_log_of_a_run_with_a_report_a_refused_server_and_a_decoder_that_returns(
        bus_address, sonde_sim, aprs_listener, tmp_path):
    sim = sonde_sim("simulate", "--alt", "520")  # low: a report every few seconds
    refused = free_port()
    listener = aprs_listener()
    (tmp_path / "NIMBRIX.INI").write_bytes(
        station_ini(f"127.0.0.1,{refused}", f"127.0.0.1,{listener.port}").encode())
    n = Headless(tmp_path, bus_address)
    try:
        assert n.wait_for(lambda e: count(e, "Sent: ") >= 1, 60), n.text()
        sim.kill()
        assert n.wait_for(lambda e: count(e, "Decoder lost") == 1, 30), n.text()
        sim.start()
        assert n.wait_for(lambda e: count(e, "Decoder found again") == 1, 30), n.text()
        sent = count(n.events(), "Sent: ")
        assert n.wait_for(lambda e: count(e, "Sent: ") > sent, 60), n.text()
        n.proc.send_signal(signal.SIGTERM)
        assert n.proc.wait(30) == 0
    finally:
        n.stop()

    events = n.events()
    reports = [e[len("Sent: "):] for e in events if e.startswith("Sent: ")]
    received = [l.decode("latin-1") for l in listener.received().split(b"\r\n")[1:-1]]
    assert reports == received, "every line logged as sent is the line the server received"
    rest = [e for e in events if not e.startswith("Sent: ")]
    assert len(rest) == 13, events
    assert rest[3] in ("You have the most recent version!", "Could not check for a new version.")
    assert re.fullmatch(r"OPEN Error @\d\d-\d\d-\d{4} - \d\d:\d\d:\d\d -> 127\.0\.0\.1: "
                        r"entry 1 \(127\.0\.0\.1,\d+\)", rest[6]), rest[6]
    assert re.fullmatch(r"Login verified: # logresp N0CALL-11 verified, server .+", rest[9])
    rest[3] = rest[6] = rest[9] = "(checked above)"
    assert rest == [
        f"{VERSION_TEXT} started",
        "Reading config file version config 2",
        "Cheking for a new version...",
        "(checked above)",
        "Decoder attached: SondeMonitor.Document",
        f"Connecting to entry 1 (127.0.0.1,{refused})",
        "(checked above)",
        f"Connecting to entry 2 (127.0.0.1,{listener.port})",
        f"Connected to entry 2 (127.0.0.1,{listener.port}), login sent",
        "(checked above)",
        "Decoder lost: SondeMonitor.Document does not answer",
        "Decoder found again: SondeMonitor.Document",
        "Ended",
    ], events
    text = n.text()
    for screen_text in ("Last valid data", "Latitude=", "Local Time", "\x1b"):
        assert screen_text not in text


def test_sigint_without_a_terminal_is_a_clean_stop_too(bus_address, sonde_sim, aprs_listener,
                                                      tmp_path):
    sonde_sim("simulate")
    listener = aprs_listener()
    (tmp_path / "NIMBRIX.INI").write_bytes(station_ini(f"127.0.0.1,{listener.port}").encode())
    n = Headless(tmp_path, bus_address)
    try:
        assert n.wait_for(lambda e: count(e, "Connected to entry 1") == 1, 30), n.text()
        n.proc.send_signal(signal.SIGINT)
        assert n.proc.wait(30) == 0
    finally:
        n.stop()
    assert n.events()[-1] == "Ended"
