"""A link that dies without a word, on loopback inside a network namespace that the test makes
for itself: every packet between the station and its server dropped by nft (no reset, no
close), and a server whose SYNs are all dropped. The station must notice the one within the
bounds an operator can live with and not hang on the other."""

import ctypes
import os
import re
import shutil
import subprocess
import time
from contextlib import contextmanager

import pytest

from conftest import LOGIN, station_ini

HEADER = b"N0CALL-11>APZQW0,TCPIP*:"
SEND_ERROR = re.compile(rb"SEND Error (\d+) \d\d-\d\d-\d{4} - \d\d:\d\d:\d\d -> ([^\r\n]*\r\n)\r\n")
OPEN_ERROR = re.compile(rb"OPEN Error @\d\d-\d\d-\d{4} - \d\d:\d\d:\d\d -> ([^\r\n]*)\r\n")
CLONE_NEWNET = 0x40000000

# The bounds an operator can live with; the station needs far less on any machine.
MOVE_BOUND_S = 90      # from the drop to the login on the next server
CONNECT_BOUND_S = 16   # one entry whose SYNs go unanswered, before the next is tried

_libc = ctypes.CDLL(None, use_errno=True)


def _setns(fd):
    if _libc.setns(fd, CLONE_NEWNET) != 0:
        err = ctypes.get_errno()
        raise OSError(err, os.strerror(err))


class NetNamespace:
    """A network namespace with only its loopback, held by a sleeping process. The test's
    listeners are made inside it (a socket stays in the namespace it was made in), and the
    station and nft are started inside it."""

    def __init__(self):
        self.holder = subprocess.Popen(
            ["unshare", "--net", "sh", "-c", "ip link set lo up && echo ready && exec sleep 3600"],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self.holder.stdout.readline()
        if "ready" not in line:
            self.holder.wait(timeout=10)
            raise OSError(self.holder.stderr.read().strip() or "unshare --net failed")
        self.path = f"/proc/{self.holder.pid}/ns/net"
        self.fd = os.open(self.path, os.O_RDONLY)
        self.own = os.open("/proc/self/ns/net", os.O_RDONLY)
        with self.inside():  # proves that this process may enter it
            pass

    def enter(self):
        """For a child process, before it runs its program (which may have closed every
        descriptor it inherited by then)."""
        fd = os.open(self.path, os.O_RDONLY)
        try:
            _setns(fd)
        finally:
            os.close(fd)

    @contextmanager
    def inside(self):
        _setns(self.fd)
        try:
            yield
        finally:
            _setns(self.own)

    def nft(self, *args):
        subprocess.run(["nft", *args], preexec_fn=self.enter, check=True, capture_output=True,
                       text=True, timeout=30)

    def drop_port(self, port):
        """Every packet to or from `port` is dropped from now on, and counted."""
        self.nft("add", "table", "inet", "deadlink")
        self.nft("add", "chain", "inet", "deadlink", "out",
                 "{ type filter hook output priority 0 ; policy accept ; }")
        self.nft("add", "rule", "inet", "deadlink", "out", "tcp", "dport", str(port), "counter", "drop")
        self.nft("add", "rule", "inet", "deadlink", "out", "tcp", "sport", str(port), "counter", "drop")

    def undrop(self):
        """The packets pass again; what was dropped until now stays counted."""
        self.dropped_before_undrop = self.dropped_packets()
        self.nft("delete", "table", "inet", "deadlink")

    @property
    def dropped_packets_seen(self):
        return getattr(self, "dropped_before_undrop", 0) > 0 or self.dropped_packets() > 0

    def dropped_packets(self):
        out = subprocess.run(["nft", "list", "table", "inet", "deadlink"], preexec_fn=self.enter,
                             capture_output=True, text=True, timeout=30).stdout
        return sum(int(n) for n in re.findall(r"counter packets (\d+)", out))

    def close(self):
        self.holder.kill()
        self.holder.wait(timeout=10)
        os.close(self.fd)
        os.close(self.own)


@pytest.fixture
def netns():
    """A private network namespace, or the test is skipped with the reason it cannot be had."""
    if shutil.which("nft") is None:
        pytest.skip("nft (Debian package nftables) is not installed: no packets can be dropped")
    if shutil.which("unshare") is None or shutil.which("ip") is None:
        pytest.skip("unshare (util-linux) and ip (iproute2) are needed for a network namespace")
    try:
        ns = NetNamespace()
    except OSError as e:
        pytest.skip(f"this machine cannot make a network namespace for the test: {e}")
    yield ns
    ns.close()


def error_log(tmp_path):
    path = tmp_path / "nimbrix.err"
    return path.read_bytes() if path.exists() else b""


def wait_station(n, predicate, timeout):
    """Waits for `predicate` while the station's terminal is read, so it never stalls on it."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        n.pump(0.1)
    return predicate()


def test_a_server_that_vanishes_is_left_for_the_next_one(nimbrix, sonde_sim, aprs_listener, netns,
                                                          tmp_path):
    with netns.inside():
        first = aprs_listener()
        second = aprs_listener()
    sonde_sim("simulate", "--alt", "520")  # below 2000 m: a report about every 7 s
    n = nimbrix(station_ini(f"127.0.0.1,{first.port}", f"127.0.0.1,{second.port}"),
                preexec_fn=netns.enter)
    assert n.wait_for(f"Using # 1 => 127.0.0.1,{first.port}", timeout=30), n.text()
    assert wait_station(n, lambda: b":@" in first.received(), 60), first.received()

    netns.drop_port(first.port)
    dropped = time.monotonic()
    moved = wait_station(n, lambda: second.connections and bytes(second.connections[0]).startswith(LOGIN),
                         MOVE_BOUND_S)
    took = time.monotonic() - dropped
    assert moved, f"still not on the second server {took:.0f} s after the drop: {n.row(24)!r}"
    assert took <= MOVE_BOUND_S
    assert netns.dropped_packets() > 0

    # The first line after the move is the one the dead connection did not take.
    assert wait_station(n, lambda: len(bytes(second.connections[0])) > len(LOGIN), 30)
    log = error_log(tmp_path)
    errors = SEND_ERROR.findall(log)
    assert [number for number, _ in errors] == [b"62"], log
    assert OPEN_ERROR.findall(log) == [b"127.0.0.1"], log
    assert bytes(second.connections[0]).startswith(LOGIN + errors[0][1])
    assert errors[0][1].startswith(HEADER)
    assert re.search(rb"Lost # 1 => 127\.0\.0\.1,%d \((no data for 60 s|data unacknowledged for 30 s)\)"
                     % first.port, bytes(n.raw)), "row 24 told the operator"
    assert n.wait_for(f"Using # 2 => 127.0.0.1,{second.port}", timeout=10)
    n.send("\x1b")
    assert n.wait_exit(15) == 0


def test_a_server_that_never_answers_a_connect_costs_one_bounded_attempt(nimbrix, sonde_sim, aprs_listener,
                                                                         netns, tmp_path):
    with netns.inside():
        listener = aprs_listener()
    dead_port = listener.port + 1 if listener.port < 32000 else listener.port - 1
    netns.drop_port(dead_port)
    sonde_sim("simulate", "--alt", "520")
    n = nimbrix(station_ini(f"127.0.0.1,{dead_port}", f"127.0.0.1,{listener.port}"),
                preexec_fn=netns.enter)
    assert n.wait_for(f"Trying 127.0.0.1,{dead_port}", timeout=30), n.text()
    tried = time.monotonic()
    # The next entry is tried when its connection arrives at the listener.
    reached = wait_station(n, lambda: len(listener.connections) > 0, CONNECT_BOUND_S + 30)
    took = time.monotonic() - tried
    assert reached, n.text()
    assert took <= CONNECT_BOUND_S, f"the unanswered entry cost {took:.1f} s"
    assert netns.dropped_packets() > 0, "the SYNs were sent and dropped, not refused"
    assert n.wait_for(f"Using # 2 => 127.0.0.1,{listener.port}", timeout=10)
    assert OPEN_ERROR.findall(error_log(tmp_path)) == [b"127.0.0.1"]
    n.send("\x1b")
    assert n.wait_exit(15) == 0
