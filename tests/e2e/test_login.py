"""The server's answer to the login: a station whose login the server did not verify is told so
on row 22 and in nimbrix.err; a verified login changes nothing."""

import re

from conftest import LOGIN, station_ini

WARNING = "Server did not verify the login: reports are dropped. Check PASS in NIMBRIX.INI"


def cycles_shown(n):
    m = re.search(r"Last valid data:\s+(\d+) s ago", n.row(19))
    return int(m.group(1)) if m else -1


def run_until_reports(nimbrix, sonde_sim, aprs_listener, tmp_path, passcode):
    sonde_sim("simulate", "--alt", "520")
    listener = aprs_listener(login="passcode")
    ini = station_ini(f"127.0.0.1,{listener.port}").replace("PASS=12345", f"PASS={passcode}")
    n = nimbrix(ini)
    assert listener.wait_for(lambda l: l.received().count(b":@") >= 2, timeout=60), listener.received()
    n.pump(0.5)
    return n, listener


def test_unverified_login_is_told_once_on_row_22_and_in_the_log(nimbrix, sonde_sim,
                                                                 aprs_listener, tmp_path):
    n, listener = run_until_reports(nimbrix, sonde_sim, aprs_listener, tmp_path, "12345")
    assert n.row(22) == WARNING
    cell = n.screen.buffer[21][0]
    assert cell.fg == "red" and cell.bold, cell  # light red: pyte's reading of SGR 91
    assert n.screen.buffer[18][0].fg == "default", "the colour is normal again afterwards"
    log = (tmp_path / "nimbrix.err").read_bytes()
    assert re.fullmatch(rb"LOGIN Error @\d\d-\d\d-\d{4} - \d\d:\d\d:\d\d -> 127\.0\.0\.1: "
                        rb"# logresp N0CALL-11 unverified, server NIMBRIX-TEST\r\n", log), log
    # The reports still go out exactly as before.
    assert listener.received().startswith(
        LOGIN + b"N0CALL-11>APZQW0,")
    n.send("\x1b")
    assert n.wait_exit(10) == 0
    assert (tmp_path / "nimbrix.err").read_bytes() == log, "one record per login"


def test_verified_login_leaves_row_22_and_the_log_alone(nimbrix, sonde_sim, aprs_listener,
                                                        tmp_path):
    n, listener = run_until_reports(nimbrix, sonde_sim, aprs_listener, tmp_path, "13023")
    assert n.row(22) == ""
    assert b"# logresp" not in bytes(n.raw)
    assert not (tmp_path / "nimbrix.err").exists()
    n.send("\x1b")
    assert n.wait_exit(10) == 0
