"""Every sonde the decoder hears reaches the outputs that carry several: sonde-sim flies three
(an RS41, a DFM and an M10) and lists them all; the SondeHub stand-in and the chase-car
listener get the frames of each, once and in order, while the primary link reports the
followed sonde alone."""

import json
import signal

from conftest import station_ini
from sondehub_feed import standin, wait  # noqa: F401  (standin is the fixture)
from test_every_frame import UdpListener
from test_headless import Headless


def test_three_sondes_each_reach_sondehub_and_the_chase_car(bus_address, sonde_sim, aprs_listener,
                                                              standin, tmp_path):  # noqa: F811
    sonde_sim("simulate", "--sondes", "3", "--alt", "300")
    primary = aprs_listener()
    hub = standin()
    udp = UdpListener()
    ini = station_ini(f"127.0.0.1,{primary.port}", extra=(
        f"SONDEHUB=YES\r\nSONDEHUB_URL=http://127.0.0.1:{hub.port}\r\n"
        f"UDP=127.0.0.1,{udp.port}\r\n"))
    (tmp_path / "NIMBRIX.INI").write_bytes(ini.encode())
    n = Headless(tmp_path, bus_address)
    try:
        def serials():
            return {r["record"]["serial"] for r in hub.kept()}
        # The DFM's records wait for a batch of their own: a minute at most.
        assert wait(lambda: len(serials()) >= 3, 120), (serials(), n.text())
        n.proc.send_signal(signal.SIGTERM)
        assert n.proc.wait(30) == 0, n.text()
    finally:
        n.stop()
        udp.stop()

    by_serial = {}
    for r in hub.kept():
        by_serial.setdefault(r["record"]["serial"], []).append(r["record"]["frame"])
    assert len(by_serial) == 3, by_serial
    for serial, frames in by_serial.items():
        assert frames == sorted(set(frames)), (serial, frames)
    # The chase car: a summary per frame of each, once.
    assert len({d["callsign"] for d in udp.datagrams}) == 3, udp.datagrams[:3]
    # The primary link reports the followed sonde only: its positions are the RS41's.
    reports = [l for l in primary.received().split(b"\r\n") if b":@" in l]
    assert reports, primary.received()
    rs41 = {round(d["latitude"], 2) for d in udp.datagrams if d["callsign"] == "S3210987"}
    for line in reports:
        lat = line.split(b"h", 1)[1][:7]  # ddmm.mmN
        deg = int(lat[:2]) + float(lat[2:7]) / 60
        assert any(abs(deg - r) < 0.02 for r in rs41), (line, rs41)
