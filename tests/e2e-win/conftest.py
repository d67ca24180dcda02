"""Fixtures of the Windows end-to-end tests: Wine's prefix, the decoder stand-in as a COM
server, an APRS-IS listener on 127.0.0.1, and nimbrix.exe in an 80x25 tmux pane."""

import os
import pathlib
import random
import shlex
import socket
import subprocess
import sys
import threading
import time
import uuid

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools" / "aprs-listener"))
import aprsis  # noqa: E402  (the local listeners' APRS-IS answers)

NIMBRIX_EXE = os.environ.get("NIMBRIX_EXE", "")
SONDE_SIM_EXE = os.environ.get("SONDE_SIM_EXE", "")
WINE_RUN = os.environ.get("WINE_RUN", "")
WINEPREFIX = os.environ.get("NIMBRIX_WINEPREFIX", "")
# The program's version text as the build gives it ("NIMBRIX 0.22").
VERSION_TEXT = "NIMBRIX " + os.environ.get("NIMBRIX_VERSION", "")


def wine_command(exe, *args):
    return [WINE_RUN, WINEPREFIX, exe, *args]


def windows_path(path):
    """Wine's Z: drive is the Unix root."""
    return "Z:" + str(path)


@pytest.fixture(scope="session", autouse=True)
def registered_progid():
    """The ProgID of the decoder, under HKLM\\Software\\Classes of the test prefix."""
    assert NIMBRIX_EXE and SONDE_SIM_EXE and WINE_RUN and WINEPREFIX, "run through CTest"
    subprocess.run(wine_command(SONDE_SIM_EXE, "--register"), check=True, timeout=120,
                   stdin=subprocess.DEVNULL)


class SondeSim:
    """sonde-sim.exe serving until stopped; started once it has registered its object."""

    def __init__(self, args):
        self.proc = subprocess.Popen(wine_command(SONDE_SIM_EXE, "--print-ready", *args),
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True)
        line = []
        reader = threading.Thread(target=lambda: line.append(self.proc.stdout.readline()),
                                  daemon=True)
        reader.start()
        reader.join(60)
        assert line and "ready" in line[0], f"sonde-sim did not start: {line!r}"

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(timeout=20)


@pytest.fixture
def sonde_sim(tmp_path):
    sims = []

    def start_script(script_text):
        script = tmp_path / "sample.script"
        script.write_text(script_text)
        sim = SondeSim(["script", windows_path(script)])
        sims.append(sim)
        return sim

    yield start_script
    for sim in sims:
        sim.stop()


class AprsListener:
    """A TCP listener on 127.0.0.1 that greets like a server, answers the login (verified, or
    by the callsign's passcode with check_passcode) and keeps every byte."""

    def __init__(self, check_passcode=False):
        self.check_passcode = check_passcode
        self.sock = bind_low_port()
        self.sock.listen(8)
        self.port = self.sock.getsockname()[1]
        self.data = bytearray()
        self.lock = threading.Lock()
        self.running = True
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while self.running:
            try:
                client, _ = self.sock.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(client,), daemon=True).start()

    def _serve(self, client):
        with client:
            try:
                client.sendall(b"# aprsc 2.1.14 test listener\r\n")
                received = b""
                answered = False
                while True:
                    chunk = client.recv(65536)
                    if not chunk:
                        return
                    with self.lock:
                        self.data.extend(chunk)
                    if not answered:
                        received += chunk
                        if b"\r\n" in received:
                            answered = True
                            answer = aprsis.login_response(received.split(b"\r\n")[0],
                                                           self.check_passcode)
                            if answer:
                                client.sendall(answer)
            except OSError:
                return

    def received(self):
        with self.lock:
            return bytes(self.data)

    def wait_for(self, needle, timeout):
        end = time.time() + timeout
        while time.time() < end:
            if needle in self.received():
                return True
            time.sleep(0.1)
        return needle in self.received()

    def close(self):
        self.running = False
        self.sock.close()


@pytest.fixture
def aprs_listener():
    listeners = []

    def start(check_passcode=False):
        listener = AprsListener(check_passcode)
        listeners.append(listener)
        return listener

    yield start
    for listener in listeners:
        listener.close()


def bind_low_port():
    """A socket on 127.0.0.1 below 32768: the program reads ports as signed 16-bit numbers,
    so the system's ephemeral ports would all count as negative."""
    for _ in range(200):
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            sock.bind(("127.0.0.1", random.randint(20000, 32000)))
            return sock
        except OSError:
            sock.close()
    raise RuntimeError("no free port below 32768")


def free_port():
    with bind_low_port() as s:
        return s.getsockname()[1]


class Nimbrix:
    """nimbrix.exe in an 80x25 pane of a private tmux server; its exit code goes to a file."""

    def __init__(self, workdir):
        self.socket = "nimbrix-" + uuid.uuid4().hex[:8]
        self.exit_file = workdir / "exit_code"
        run = " ".join(shlex.quote(a) for a in wine_command(NIMBRIX_EXE))
        shell = (f"cd {shlex.quote(str(workdir))} && {run}; "
                 f"echo $? > {shlex.quote(str(self.exit_file))}; sleep 600")
        env = {k: v for k, v in os.environ.items() if k != "TMUX"}
        subprocess.run(["tmux", "-L", self.socket, "-f", "/dev/null", "new-session", "-d",
                        "-x", "80", "-y", "25", "-s", "n", shell], check=True, env=env)

    def screen(self):
        out = subprocess.run(["tmux", "-L", self.socket, "capture-pane", "-p", "-t", "n"],
                             capture_output=True, text=True)
        return out.stdout

    def screen_with_colours(self):
        out = subprocess.run(["tmux", "-L", self.socket, "capture-pane", "-p", "-e", "-t", "n"],
                             capture_output=True, text=True)
        return out.stdout

    def rows(self):
        lines = self.screen().split("\n")
        return (lines + [""] * 25)[:25]

    def row(self, n):
        return self.rows()[n - 1].rstrip()

    def wait_for(self, needle, timeout=30):
        end = time.time() + timeout
        while time.time() < end:
            if needle in self.screen():
                return True
            time.sleep(0.2)
        return needle in self.screen()

    def send_keys(self, *keys):
        subprocess.run(["tmux", "-L", self.socket, "send-keys", "-t", "n", *keys], check=True)

    def wait_exit(self, timeout=30):
        end = time.time() + timeout
        while time.time() < end:
            if self.exit_file.exists() and self.exit_file.read_text().strip():
                return int(self.exit_file.read_text())
            time.sleep(0.2)
        return None

    def kill(self):
        subprocess.run(["tmux", "-L", self.socket, "kill-server"], capture_output=True)


@pytest.fixture
def nimbrix(tmp_path):
    started = []

    def start(ini_text):
        (tmp_path / "NIMBRIX.INI").write_bytes(ini_text.encode("latin-1"))
        n = Nimbrix(tmp_path)
        started.append(n)
        return n

    yield start
    for n in started:
        n.kill()


def station_ini(*servers, user="N0CALL-11"):
    lines = ["# NIMBRIX test station", f"USER={user}", "PASS=12345", "STATUS=Test station"]
    lines += [f"SERVER={s}" for s in servers]
    return "\r\n".join(lines) + "\r\n"
