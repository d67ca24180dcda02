"""sonde-bridge as the tests run it: the process on a private bus with its stderr kept, the
answers read with busctl, and the station's cycles counted on its dashboard."""

import os
import re
import signal
import subprocess
import threading
import time

SONDE_BRIDGE_BIN = os.environ.get("SONDE_BRIDGE_BIN", "")


class Bridge:
    """sonde-bridge on the private bus; stderr is kept as it comes."""

    def __init__(self, bus_address, args, extra_env=None):
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus_address, **(extra_env or {}))
        self.proc = subprocess.Popen([SONDE_BRIDGE_BIN, *args, "--once-ready-print"], env=env,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE)
        self.err = bytearray()
        self.lock = threading.Lock()
        self.drain = threading.Thread(target=self._drain, daemon=True)
        self.drain.start()
        line = self.proc.stdout.readline()
        assert line == b"ready\n", f"sonde-bridge did not start: {line!r} {self.stderr()}"

    def _drain(self):
        for chunk in iter(lambda: self.proc.stderr.read1(65536), b""):
            with self.lock:
                self.err.extend(chunk)

    def stderr(self):
        with self.lock:
            return bytes(self.err).decode("utf-8", "replace")

    def write(self, data):
        self.proc.stdin.write(data)
        self.proc.stdin.flush()

    def wait_stderr(self, needle, timeout=20):
        end = time.time() + timeout
        while time.time() < end:
            if needle in self.stderr():
                return True
            time.sleep(0.05)
        return needle in self.stderr()

    def wait_counts(self, needle, timeout=20):
        """Asks for the counts (SIGUSR1) until they say `needle`: the lines written may still
        be on their way through the pipe when the first answer comes."""
        end = time.time() + timeout
        while time.time() < end:
            self.proc.send_signal(signal.SIGUSR1)
            if self.wait_stderr(needle, timeout=0.5):
                return True
        return False

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(timeout=10)
        # What it wrote last (its counts) may still be on its way through the pipe.
        self.drain.join(timeout=10)


def item(bus_address, index):
    """busctl's answer to GETSONDEDATA(index), e.g. '(qv) 5 d 47.1', or its error text."""
    env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus_address)
    run = subprocess.run(["busctl", "--user", "call", "SondeMonitor.Document",
                          "/SondeMonitor/Document", "SondeMonitor.Document", "GETSONDEDATA", "n",
                          str(index)], env=env, capture_output=True, text=True, timeout=30)
    return (run.stdout + run.stderr).strip()


def wait_item(bus_address, index, wanted, timeout=20):
    end = time.time() + timeout
    while time.time() < end:
        if item(bus_address, index) == wanted:
            return True
        time.sleep(0.1)
    return item(bus_address, index) == wanted


def reports(listener):
    return [l for l in listener.lines() if b":@" in l]


def cycles_since_report(n):
    m = re.search(r"Last valid data:\s+(\d+) s ago", n.row(19))
    return int(m.group(1)) if m else None


def wait_cycles_at_least(n, count, timeout=60):
    end = time.time() + timeout
    while time.time() < end:
        n.pump(0.1)
        c = cycles_since_report(n)
        if c is not None and c >= count:
            return True
    return False


def wait_next_cycle(n, timeout=30):
    first = cycles_since_report(n)
    end = time.time() + timeout
    while time.time() < end:
        n.pump(0.1)
        if cycles_since_report(n) != first:
            return True
    return False
