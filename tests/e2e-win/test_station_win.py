"""The Windows program end to end: decoder over COM, the dashboard, the uplink, the keys."""

import re
import subprocess

from conftest import NIMBRIX_EXE, VERSION_TEXT, free_port, station_ini, wine_command

SAMPLE = """\
0 BSTR S1234567
1 R8 48.123456
2 R8 -71.987654
3 R8 1234.567
4 R8 180
5 R8 10
6 BSTR 2026-12-08 20:41:05
7 BSTR 403.001
8 R8 850.25
9 R8 -12.34
10 R8 55.5
11 BSTR RS41
12 R8 5.25
13 I4 40000
14 I8 1796756682000
"""


def test_no_decoder_ends_with_the_message_and_exit_code_zero(nimbrix):
    n = nimbrix(station_ini(f"127.0.0.1,{free_port()}"))
    assert n.wait_for("SondeMonitor not found! Exiting...", timeout=60), n.screen()
    # Colour 12 (light red), on the row after the line break.
    assert n.screen_with_colours().split("\n")[1] == "\x1b[91mSondeMonitor not found! Exiting..."
    assert n.wait_exit(30) == 0


def test_output_to_a_pipe_is_the_log(tmp_path):
    (tmp_path / "NIMBRIX.INI").write_bytes(station_ini(f"127.0.0.1,{free_port()}").encode())
    run = subprocess.run(wine_command(NIMBRIX_EXE), cwd=tmp_path, stdin=subprocess.DEVNULL,
                         capture_output=True, timeout=120)
    assert run.returncode == 0
    lines = run.stdout.decode("latin-1").splitlines()
    for line in lines:
        assert re.fullmatch(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d .+", line), line
    events = [line[20:] for line in lines]
    assert events[0] == VERSION_TEXT + " started"
    assert events[-2:] == ["SondeMonitor not found! Exiting...", "Ended"], events
    assert b"\x1b" not in run.stdout


def test_dashboard_login_reports_s_and_escape(nimbrix, sonde_sim, aprs_listener):
    first = sonde_sim(SAMPLE)
    server = aprs_listener()
    n = nimbrix(station_ini(f"127.0.0.1,{server.port}"))

    assert n.wait_for("Serial#: S1234567", timeout=60), n.screen()
    assert n.wait_for("Using # 1 => 127.0.0.1,", timeout=20), n.screen()
    assert n.row(1).endswith(VERSION_TEXT + "-+")
    assert n.row(2) == ("+-=> This program sends radiosonde data to APRS network under "
                        "N0CALL-11 id <=-+")
    assert n.row(5) == "                        -=> Data from SondeMonitor <=-"
    assert n.row(7) == " 2026-12-08 20:41:05 | Frame=   40000 | Serial#: S1234567 | QRG: 403.001"
    assert n.row(9) == "      Latitude= 48.12346 4807.4074,N | Longitude= -71.98765 07159.2592,W"
    assert n.row(10) == "   Altitude=  1235m | Climb=  5.2m/s | Course= 360o  | Speed= 36.0km/h"
    assert n.row(12) == ("      Pressure= 850.2mB        Temperature=-12.3oC        "
                         "Humidity= 56%")
    assert n.row(14) == " 1796756682000 1A2"
    assert n.row(18).startswith("Local Time: ")

    assert server.wait_for(b"\r\n", timeout=10)
    assert server.received().startswith(
        b"user N0CALL-11 pass 12345 vers " + VERSION_TEXT.encode() + b" filter b/ZZZZZ/\r\n")

    # A report needs a position that changed; a decoder restarted with a newer sample gives
    # one, once the station has attached to it again.
    n.send_keys("s")
    first.stop()
    sonde_sim(SAMPLE.replace("20:41:05", "20:41:09").replace("40000", "40004"))
    assert n.wait_for(" 2026-12-08 20:41:09 | Frame=   40004", timeout=30), n.screen()
    assert server.wait_for(b"N0CALL-11>APZQW0,TCPIP*:@", timeout=30), server.received()
    # Status reports (every third minute) may come in between; position reports may not.
    lines = [l for l in server.received().split(b"\r\n") if b"TCPIP*:>" not in l]
    assert lines == [
        b"user N0CALL-11 pass 12345 vers " + VERSION_TEXT.encode() + b" filter b/ZZZZZ/",
        b"N0CALL-11>APZQW0,TCPIP*:@204109h4807.41N/07159.26WO360/019/A=004050 "
        b"Clb=5.2m/s P=850.2hPa T=-12.3oC U=56%",
        b""]

    # Ctrl+C, Ctrl+Break and special keys do not end the program; ESC does, with exit code 0.
    n.send_keys("C-c", "Up", "F5")
    assert n.wait_exit(3) is None, n.screen()
    n.send_keys("Escape")
    assert n.wait_exit(30) == 0, n.screen()



def test_unverified_login_shows_the_warning_and_writes_the_record(nimbrix, sonde_sim,
                                                                  aprs_listener, tmp_path):
    sonde_sim(SAMPLE)
    server = aprs_listener(check_passcode=True)  # 12345 is not N0CALL's passcode
    n = nimbrix(station_ini(f"127.0.0.1,{server.port}"))
    warning = "Server did not verify the login: reports are dropped. Check PASS in NIMBRIX.INI"
    assert n.wait_for(warning, timeout=60), n.screen()
    assert n.row(22) == warning
    assert n.screen_with_colours().split("\n")[21].startswith("\x1b[91m" + warning)
    log = (tmp_path / "nimbrix.err").read_bytes()
    assert log.startswith(b"LOGIN Error @") and log.endswith(
        b" -> 127.0.0.1: # logresp N0CALL-11 unverified, server NIMBRIX-TEST\r\n"), log
    n.send_keys("Escape")
    assert n.wait_exit(30) == 0, n.screen()
