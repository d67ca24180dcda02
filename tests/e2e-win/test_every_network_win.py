"""The Windows program with destinations beside the primary link: an extra APRS-IS server with
its own login call, and the chase-car summary over UDP, both on Winsock's non-blocking calls."""

import json
import socket

from conftest import bind_low_port, station_ini
from test_station_win import SAMPLE


def test_an_extra_destination_and_the_summary(nimbrix, sonde_sim, aprs_listener):
    first = sonde_sim(SAMPLE)
    primary = aprs_listener()
    extra = aprs_listener()
    with bind_low_port() as taken:  # a port below 32768, for UDP this time
        address = taken.getsockname()
    receiver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    receiver.bind(address)
    receiver.settimeout(90)
    port = address[1]
    n = nimbrix(station_ini(f"127.0.0.1,{primary.port}") +
                f"ALSO=127.0.0.1,{extra.port},N0CALL-5,12345\r\nUDP=127.0.0.1,{port}\r\n")
    assert n.wait_for("Using # 1 => 127.0.0.1,", timeout=60), n.screen()
    assert extra.wait_for(b"user N0CALL-5 pass 12345 vers ", timeout=60), n.screen()
    assert n.wait_for("+APRS 1:up", timeout=30), n.screen()

    try:
        summary = json.loads(receiver.recv(65536))
    except socket.timeout:
        raise AssertionError("no summary: " + n.screen()) from None
    receiver.close()
    assert summary["type"] == "PAYLOAD_SUMMARY"
    assert summary["callsign"] == "S1234567"
    assert summary["station"] == "N0CALL-11"
    assert summary["freq"] == "403.001 MHz"

    # A new position makes a report; the extra destination gets it under its own call.
    n.send_keys("s")
    first.stop()
    sonde_sim(SAMPLE.replace("20:41:05", "20:41:09").replace("40000", "40004"))
    assert primary.wait_for(b"N0CALL-11>APZQW0,TCPIP*:", timeout=90), n.screen()
    assert extra.wait_for(b"N0CALL-5>APZQW0,TCPIP*:", timeout=30), n.screen()
    n.send_keys("Escape")
    assert n.wait_exit(30) == 0, n.screen()
