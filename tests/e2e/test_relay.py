"""The relay end to end: sonde-sim on a private bus, a real TCP listener, NIMBRIX in a pty."""

import re
import time

from conftest import LOGIN, VERSION_TEXT, station_ini

REPORT = re.compile(
    rb"^N0CALL-11>APZQW0,TCPIP\*:@\d{6}h\d{4}\.\d{2}[NS]/\d{5}\.\d{2}[EW]O\d{3}/\d{3}/A=\d{6}"
    rb" Clb=-?[\d.]+m/s P=[\d.]+hPa T=-?[\d.]+oC U=\d+%\r\n$")


def reports(listener):
    return [l for l in listener.lines() if b":@" in l]


def test_dashboard_login_and_reports(nimbrix, sonde_sim, aprs_listener):
    sonde_sim("simulate", "--lat", "48.1234", "--lon", "11.5678", "--alt", "520",
              "--serial", "T1230456", "--qrg", "403.001")
    listener = aprs_listener()
    n = nimbrix(station_ini(f"127.0.0.1,{listener.port}"))
    assert n.wait_for("Last valid data:", timeout=20)
    n.pump(1.5)
    assert n.row(1) == "-" * 46 + VERSION_TEXT + "-+"
    assert n.row(2) == "+-=> This program sends radiosonde data to APRS network under N0CALL-11 id <=-+"
    assert n.row(3) == "+" + "-" * 77 + "+"
    assert n.row(5) == "                        -=> Data from SondeMonitor <=-"
    assert re.match(r"^ \d{4}-\d\d-\d\d \d\d:\d\d:\d\d \| Frame= +\d+ \| Serial#: T1230456 \| QRG: 403\.001$", n.row(7))
    assert re.match(r"^      Latitude= +48\.\d{5} 48\d\d\.\d{4},N \| Longitude= +11\.\d{5} 011\d\d\.\d{4},E$", n.row(9))
    assert n.row(10).startswith("   Altitude=")
    assert n.row(12).startswith("      Pressure=")
    assert re.match(r"^Local Time: \d\d:\d\d:\d\d$", n.row(18))
    assert re.match(r"^Last valid data:  \d+ s ago\.\.\.$", n.row(19))
    assert n.row(24).startswith(f"Using # 1 => 127.0.0.1,{listener.port}")

    # Below 2000 m a report goes out every 6 to 7 cycles; "s" cannot make it come sooner.
    n.send("s")
    assert listener.wait_for(lambda l: len(reports(l)) >= 2, timeout=60), listener.received()
    assert listener.received().startswith(LOGIN)
    for line in reports(listener):
        assert REPORT.match(line), line
    n.pump(0.5)
    assert n.row(21).startswith("Last transmission: ")
    n.send("\x1b")
    assert n.wait_exit(10) == 0


def test_status_report_goes_out_once_in_a_minute_divisible_by_three(nimbrix, sonde_sim, aprs_listener):
    # The station's clock starts at 20:02:57 (libfaketime), so minute 03 comes within the test.
    sonde_sim("simulate")
    listener = aprs_listener()
    n = nimbrix(station_ini(f"127.0.0.1,{listener.port}"), extra_env={
        "LD_PRELOAD": "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1",
        "FAKETIME": "@2026-12-08 20:02:57", "FAKETIME_DONT_RESET": "1",
        "ASAN_OPTIONS": "verify_asan_link_order=0:detect_leaks=0"})
    assert n.wait_for("Local Time: 20:03:0", timeout=20)
    n.pump(5)
    assert "Local Time: 20:03" in n.text()
    status = [l for l in listener.lines() if b":>" in l]
    assert status == [b"N0CALL-11>APZQW0,TCPIP*:>Test station\r\n"]
    n.send("\x1b")
    assert n.wait_exit(10) == 0


def test_decoder_killed_reads_zeros_then_restarted_is_read_again(nimbrix, sonde_sim, aprs_listener):
    sim = sonde_sim("simulate", "--serial", "T1230456")
    listener = aprs_listener()
    n = nimbrix(station_ini(f"127.0.0.1,{listener.port}"))
    assert n.wait_for("Serial#: T1230456", timeout=20)
    sim.kill()
    assert n.wait_for("Latitude=  0.00000 0000.0000,N", timeout=30)
    assert "Serial#:  |" in n.row(7)
    assert n.child.isalive()
    sim.start()
    assert n.wait_for("Serial#: T1230456", timeout=30)
    n.send("\x1b")
    assert n.wait_exit(10) == 0


def test_frozen_decoder_does_not_stop_the_cycle(nimbrix, sonde_sim, aprs_listener):
    # How long a frozen decoder may hold a cycle (one 250 ms time-out) is proven in-process;
    # here the real program must go on cycling, with zeros on the screen, and read the decoder
    # again once it thaws.
    sim = sonde_sim("simulate", "--serial", "T1230456")
    listener = aprs_listener()
    n = nimbrix(station_ini(f"127.0.0.1,{listener.port}"))
    assert n.wait_for("Serial#: T1230456", timeout=20)
    sim.freeze()
    assert n.wait_for("Latitude=  0.00000 0000.0000,N", timeout=30)

    def count():
        m = re.search(r"Last valid data:\s+(\d+) s ago", n.row(19))
        return int(m.group(1)) if m else None

    # Five more cycles: about six seconds for the program, thirty allowed.
    changes, last, end = 0, count(), time.time() + 30
    while changes < 5 and time.time() < end:
        n.pump(0.1)
        c = count()
        if c is not None and c != last:
            changes += 1
        last = c
    assert changes >= 5, f"only {changes} cycles while the decoder was frozen"
    sim.thaw()
    assert n.wait_for("Serial#: T1230456", timeout=30)
    n.send("\x1b")
    assert n.wait_exit(10) == 0


def test_server_closing_the_connection_gets_the_line_again(nimbrix, sonde_sim, aprs_listener, tmp_path):
    sonde_sim("simulate", "--alt", "520")
    listener = aprs_listener()
    # The same listener twice: the reconnect after a failed send moves on to the second entry.
    n = nimbrix(station_ini(f"127.0.0.1,{listener.port}", f"127.0.0.1,{listener.port}"))
    assert listener.wait_for(lambda l: len(reports(l)) >= 1, timeout=30)
    listener.drop_clients()
    assert listener.wait_for(lambda l: len(l.connections) >= 2 and b":@" in bytes(l.connections[-1]),
                             timeout=30), listener.received()
    n.pump(0.5)
    second = bytes(listener.connections[-1])
    assert second.startswith(LOGIN)
    log = (tmp_path / "nimbrix.err").read_bytes()
    assert re.search(rb"SEND Error 57 \d\d-\d\d-\d{4} - \d\d:\d\d:\d\d -> N0CALL-11>APZQW0[^\r]*\r\n\r\n", log), log
    assert re.search(rb"OPEN Error @\d\d-\d\d-\d{4} - \d\d:\d\d:\d\d -> 127\.0\.0\.1\r\n", log), log
    failed = re.search(rb"-> (N0CALL-11>APZQW0[^\r]*\r\n)", log).group(1)
    assert failed in second, "the failed line is sent again after the new login"
    assert n.row(24).startswith(f"Using # 2 => 127.0.0.1,{listener.port}")
    n.send("\x1b")
    assert n.wait_exit(10) == 0
