"""Every network at once: the primary APRS-IS link with two extra destinations beside it (ALSO=),
and the chase-car summary (UDP=). A dead or slow extra destination must not cost the primary one
report; each extra comes back by itself once its server does. The faults are made for real in a
network namespace of the test's own, as the dead-link tests do."""

import json
import re
import signal
import socket
import time

import pytest

from conftest import LOGIN, bind_low_port, station_ini
from test_dead_link import netns, wait_station  # noqa: F401  (the fixture, by its name)

REPORT = re.compile(rb"N0CALL-11>APZQW0,TCPIP\*:@[^\r\n]*\r\n")
PRIMARY_GAP_BOUND_S = 12   # the primary's reports keep their pace (about 7 s below 2000 m)
BLACK_HOLE_S = 100
CLOSED_S = 40
COME_BACK_BOUND_S = 150    # back-off at most 60 s, a connect at most 10 s: far less is needed


def reports(listener):
    return REPORT.findall(listener.received())


def also(*ports):
    return "".join(f"ALSO=127.0.0.1,{p}\r\n" for p in ports)


def undrop(ns):
    ns.nft("flush", "chain", "inet", "deadlink", "out")


@pytest.mark.long
def test_dead_extras_cost_the_primary_nothing_and_come_back(nimbrix, sonde_sim, aprs_listener,
                                                            netns, tmp_path):
    with netns.inside():
        primary = aprs_listener()
        holed = aprs_listener()
        closing = aprs_listener()
    sonde_sim("simulate", "--alt", "520")  # below 2000 m: a report about every 7 s
    n = nimbrix(station_ini(f"127.0.0.1,{primary.port}", extra=also(holed.port, closing.port)),
                preexec_fn=netns.enter)
    for extra in (holed, closing):
        assert wait_station(n, lambda: reports(extra), 60), n.text()
    assert bytes(holed.connections[0]).startswith(LOGIN)

    netns.drop_port(holed.port)
    closed_port = closing.port
    closing.close()
    began = time.monotonic()
    seen = len(reports(primary))
    last = time.monotonic()
    gaps = []
    reopened = None
    while time.monotonic() - began < BLACK_HOLE_S:
        n.pump(0.1)
        now_seen = len(reports(primary))
        if now_seen != seen:
            gaps.append(time.monotonic() - last)
            seen, last = now_seen, time.monotonic()
        if reopened is None and time.monotonic() - began >= CLOSED_S:
            with netns.inside():
                reopened = aprs_listener(closed_port)
    gaps.append(time.monotonic() - last)
    assert max(gaps) <= PRIMARY_GAP_BOUND_S, f"gaps between the primary's reports: {gaps}"
    assert len(gaps) >= BLACK_HOLE_S // PRIMARY_GAP_BOUND_S
    assert netns.dropped_packets() > 0

    # The closed one was back after 40 s and gets reports on a new connection.
    assert wait_station(n, lambda: reports(reopened), COME_BACK_BOUND_S), n.text()
    assert bytes(reopened.connections[0]).startswith(LOGIN)
    # The black-holed one gets them again once its packets pass, on a new connection.
    undrop(netns)
    holed_connections = len(holed.connections)
    assert wait_station(n, lambda: len(holed.connections) > holed_connections and
                        REPORT.search(bytes(holed.connections[-1])), COME_BACK_BOUND_S), n.text()
    assert bytes(holed.connections[-1]).startswith(LOGIN)

    # The operator reads one file: the extras' failures in the existing record forms.
    log = (tmp_path / "nimbrix.err").read_bytes()
    assert re.search(rb"OPEN Error @[^\r\n]* -> 127\.0\.0\.1\r\n", log), log
    assert re.search(rb"SEND Error (57|62) ", log), log
    assert re.search(rb"\+APRS 1:\w+", bytes(n.raw)), "row 17 shows the extra destinations"
    n.send("\x1b")
    assert n.wait_exit(20) == 0


def test_a_summary_datagram_per_frame(nimbrix, sonde_sim, aprs_listener):
    primary = aprs_listener()
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    bind_low_port(udp)
    udp.settimeout(0.1)
    port = udp.getsockname()[1]
    sonde_sim("simulate", "--alt", "520", "--serial", "T7654321")
    n = nimbrix(station_ini(f"127.0.0.1,{primary.port}", extra=f"UDP=127.0.0.1,{port}\r\n"))
    datagrams = []
    end = time.monotonic() + 60
    while time.monotonic() < end and len(datagrams) < 8:
        n.pump(0.05)
        try:
            datagrams.append(udp.recv(65536))
        except socket.timeout:
            pass
    udp.close()
    assert len(datagrams) >= 8, n.text()
    summaries = [json.loads(d) for d in datagrams]
    for d, s in zip(datagrams, summaries):
        assert len(d) < 1400
        assert s["type"] == "PAYLOAD_SUMMARY"
        assert s["callsign"] == "T7654321"
        assert s["station"] == "N0CALL-11"
        assert re.fullmatch(r"\d\d:\d\d:\d\d", s["time"])
        assert abs(s["latitude"]) <= 90 and abs(s["longitude"]) <= 180
        assert s["freq"].endswith(" MHz")
    # One per frame: no frame twice.
    keys = [(s.get("frame"), s["time"], s["latitude"], s["longitude"], s["altitude"])
            for s in summaries]
    assert len(set(keys)) == len(keys), keys
    assert re.search(rb"UDP:\d+", bytes(n.raw)), "row 17 counts the datagrams"
    n.send("\x1b")
    assert n.wait_exit(20) == 0


def test_sigterm_ends_cleanly_while_an_extra_hangs(nimbrix, sonde_sim, aprs_listener, netns):
    with netns.inside():
        primary = aprs_listener()
        extra = aprs_listener()
    netns.drop_port(extra.port)  # its SYNs go unanswered
    sonde_sim("simulate", "--alt", "520")
    n = nimbrix(station_ini(f"127.0.0.1,{primary.port}",
                            extra=also(extra.port) + "UDP=127.0.0.1,9\r\n"),
                preexec_fn=netns.enter)
    assert wait_station(n, lambda: reports(primary), 60), n.text()
    n.child.kill(signal.SIGTERM)
    assert n.wait_exit(20) == 0
