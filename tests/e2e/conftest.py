"""Shared fixtures of the end-to-end tests: a private D-Bus session bus, the decoder stand-in,
an APRS-IS listener on 127.0.0.1, and NIMBRIX itself in an 80x25 pseudo-terminal."""

import os
import pathlib
import random
import sys
import signal
import socket
import subprocess
import termios
import threading
import time

import pexpect
import pyte
import pytest

from bridge_process import Bridge

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools" / "aprs-listener"))
import aprsis  # noqa: E402  (the local listeners' APRS-IS answers)

NIMBRIX_BIN = os.environ.get("NIMBRIX_BIN", "")
SONDE_SIM_BIN = os.environ.get("SONDE_SIM_BIN", "")
# The program's version as the build gives it ("0.22"), and the text it sends and shows.
VERSION = os.environ.get("NIMBRIX_VERSION", "")
VERSION_TEXT = "NIMBRIX " + VERSION
LOGIN = ("user N0CALL-11 pass 12345 vers " + VERSION_TEXT + " filter b/ZZZZZ/\r\n").encode()


@pytest.fixture(scope="session")
def bus_address():
    """A private session bus for the whole test run (what dbus-run-session gives)."""
    daemon = subprocess.Popen(
        ["dbus-daemon", "--session", "--nofork", "--print-address=1"],
        stdout=subprocess.PIPE, text=True)
    address = daemon.stdout.readline().strip()
    assert address, "dbus-daemon gave no address"
    yield address
    daemon.terminate()
    daemon.wait(timeout=10)


class SondeSim:
    """The decoder stand-in on the private bus."""

    def __init__(self, bus_address, args):
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus_address)
        self.args = args
        self.env = env
        self.proc = None
        self.start()

    def start(self):
        self.proc = subprocess.Popen([SONDE_SIM_BIN, *self.args, "--once-ready-print"], env=self.env,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        assert "ready" in line, f"sonde-sim did not start: {line!r} {self.proc.stderr.read()}"

    def kill(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(timeout=10)

    def freeze(self):
        self.proc.send_signal(signal.SIGSTOP)

    def thaw(self):
        self.proc.send_signal(signal.SIGCONT)

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGCONT)
            self.proc.terminate()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()


@pytest.fixture
def sonde_sim(bus_address):
    sims = []

    def start(*args):
        sim = SondeSim(bus_address, list(args))
        sims.append(sim)
        return sim

    yield start
    for sim in sims:
        sim.stop()


class AprsListener:
    """A TCP listener on 127.0.0.1 that keeps every byte of every connection. It greets, answers
    the login and sends a comment line every `keepalive` seconds like an APRS-IS server:
    login="any" verifies every login, "passcode" by the callsign's passcode, None never answers;
    keepalive=None sends none (a server that falls silent); greeting=False says nothing at all."""

    def __init__(self, port=0, login="any", greeting=True, keepalive=aprsis.KEEPALIVE_SECONDS):
        self.login = login
        self.greeting = greeting
        self.keepalive = keepalive if greeting else None
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        bind_low_port(self.sock, port)
        self.sock.listen(8)
        self.port = self.sock.getsockname()[1]
        self.connections = []  # list of bytearray, one per accepted connection
        self.clients = []
        self.lock = threading.Lock()
        self.read = True
        self.running = True
        self.thread = threading.Thread(target=self._accept, daemon=True)
        self.thread.start()

    def _accept(self):
        while self.running:
            try:
                client, _ = self.sock.accept()
            except OSError:
                return
            data = bytearray()
            with self.lock:
                self.connections.append(data)
                self.clients.append(client)
            threading.Thread(target=self._serve, args=(client, data), daemon=True).start()

    def _serve(self, client, data):
        answered = self.login is None
        send_lock = threading.Lock()
        try:
            if self.greeting:
                client.sendall(b"# aprsc 2.1.14 test listener\r\n")
            if self.keepalive:
                aprsis.start_keepalive(client, send_lock, self.keepalive,
                                       lambda: self.running and client.fileno() >= 0)
            while self.running:
                if not self.read:
                    time.sleep(0.05)
                    continue
                chunk = client.recv(65536)
                if not chunk:
                    return
                with self.lock:
                    data.extend(chunk)
                    login = bytes(data).split(b"\r\n", 1) if not answered else []
                if len(login) == 2:
                    answered = True
                    answer = aprsis.login_response(login[0], self.login == "passcode")
                    if answer:
                        with send_lock:
                            client.sendall(answer)
        except OSError:
            return

    def received(self):
        with self.lock:
            return b"".join(bytes(c) for c in self.connections)

    def lines(self):
        return [l + b"\r\n" for l in self.received().split(b"\r\n")[:-1]]

    def wait_for(self, predicate, timeout):
        end = time.time() + timeout
        while time.time() < end:
            if predicate(self):
                return True
            time.sleep(0.05)
        return predicate(self)

    def drop_clients(self, reset=False):
        with self.lock:
            for c in self.clients:
                try:
                    if reset:
                        c.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
                    else:
                        c.shutdown(socket.SHUT_RDWR)  # the FIN goes out even while recv() waits
                    c.close()
                except OSError:
                    pass
            self.clients = []

    def close(self):
        self.running = False
        self.drop_clients()
        self.sock.close()


@pytest.fixture
def aprs_listener():
    listeners = []

    def start(port=0, **kwargs):
        listener = AprsListener(port, **kwargs)
        listeners.append(listener)
        return listener

    yield start
    for l in listeners:
        l.close()


def bind_low_port(sock, port=0):
    """Binds to 127.0.0.1. The station reads a port as a signed 16-bit number, so the
    system's ephemeral ports (32768 and up) cannot be used: pick one below 32768."""
    if port:
        sock.bind(("127.0.0.1", port))
        return
    for _ in range(200):
        try:
            sock.bind(("127.0.0.1", random.randint(20000, 32000)))
            return
        except OSError:
            continue
    raise RuntimeError("no free port below 32768")


def free_port():
    with socket.socket() as s:
        bind_low_port(s)
        return s.getsockname()[1]


class Nimbrix:
    """NIMBRIX in an 80x25 pseudo-terminal; the screen is kept by pyte."""

    def __init__(self, workdir, bus_address, extra_env=None, preexec_fn=None):
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus_address, TERM="xterm")
        env.update(extra_env or {})
        self.screen = pyte.Screen(80, 25)
        self.stream = pyte.ByteStream(self.screen)
        self.raw = bytearray()
        self.child = pexpect.spawn(NIMBRIX_BIN, cwd=str(workdir), env=env, dimensions=(25, 80),
                                   preexec_fn=preexec_fn)

    def pump(self, seconds=0.1):
        end = time.time() + seconds
        while True:
            try:
                data = self.child.read_nonblocking(65536, timeout=0.05)
                self.raw.extend(data)
                self.stream.feed(data)
            except pexpect.TIMEOUT:
                pass
            except pexpect.EOF:
                return False
            if time.time() >= end:
                return True

    def row(self, n):
        return self.screen.display[n - 1].rstrip()

    def text(self):
        return "\n".join(self.screen.display)

    def wait_for(self, needle, timeout=10):
        end = time.time() + timeout
        while time.time() < end:
            if needle in self.text():
                return True
            if not self.pump(0.1) and needle not in self.text():
                break
        return needle in self.text()

    def wait_until(self, predicate, timeout=10):
        end = time.time() + timeout
        while time.time() < end:
            if predicate():
                return True
            if not self.pump(0.1):
                break
        return predicate()

    def send(self, keys):
        self.child.send(keys)

    def wait_exit(self, timeout=10):
        end = time.time() + timeout
        while time.time() < end and self.child.isalive():
            self.pump(0.1)
        self.pump(0.1)
        if self.child.isalive():
            return None
        self.child.close()
        return self.child.exitstatus if self.child.exitstatus is not None else -self.child.signalstatus

    def kill(self):
        if self.child.isalive():
            self.child.kill(signal.SIGKILL)
            self.child.close(force=True)

    def termios(self):
        """The pty's settings as the program left them (on Linux the master shares them)."""
        return termios.tcgetattr(self.child.child_fd)

    def wait_dead(self, timeout=10):
        """Like wait_exit, but keeps the pty open so its settings can still be read."""
        end = time.time() + timeout
        while time.time() < end and self.child.isalive():
            self.pump(0.1)
        self.pump(0.1)
        if self.child.isalive():
            return None
        return self.child.exitstatus if self.child.exitstatus is not None else -self.child.signalstatus


@pytest.fixture
def nimbrix(bus_address, tmp_path):
    started = []

    def start(ini_text, extra_env=None, preexec_fn=None):
        if ini_text is not None:
            data = ini_text.encode("latin-1") if isinstance(ini_text, str) else ini_text
            (tmp_path / "NIMBRIX.INI").write_bytes(data)
        n = Nimbrix(tmp_path, bus_address, extra_env, preexec_fn)
        started.append(n)
        return n

    yield start
    for n in started:
        n.kill()


def station_ini(*servers, user="N0CALL-11", extra=""):
    lines = ["# NIMBRIX test station", f"USER={user}", "PASS=12345", "STATUS=Test station"]
    lines += [f"SERVER={s}" for s in servers]
    return "\r\n".join(lines) + "\r\n" + extra


@pytest.fixture
def bridge(bus_address):
    started = []

    def start(*args, extra_env=None):
        b = Bridge(bus_address, list(args), extra_env)
        started.append(b)
        return b

    yield start
    for b in started:
        b.stop()


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "long: needs minutes of wall time (network faults held for long); runs only "
                   "where NIMBRIX_E2E_LONG=1, as the dev test preset sets it")


def pytest_collection_modifyitems(config, items):
    if os.environ.get("NIMBRIX_E2E_LONG") == "1":
        return
    skip = pytest.mark.skip(reason="a long test: runs where NIMBRIX_E2E_LONG=1 (the dev preset)")
    for item in items:
        if "long" in item.keywords:
            item.add_marker(skip)
