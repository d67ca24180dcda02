"""The Windows program's watch for a dead link: a server that answers the login and then says
nothing more is taken for dead after a minute, and the next report goes to the next server."""

import re

from conftest import station_ini
from test_station_win import SAMPLE

LOGIN_END = b" filter b/ZZZZZ/\r\n"


def test_a_server_that_falls_silent_is_left_for_the_next_one(nimbrix, sonde_sim, aprs_listener,
                                                             tmp_path):
    first = sonde_sim(SAMPLE)
    silent = aprs_listener(keepalive=None)  # its greeting and login answer, then nothing
    good = aprs_listener()
    n = nimbrix(station_ini(f"127.0.0.1,{silent.port}", f"127.0.0.1,{good.port}"))
    assert n.wait_for(f"Using # 1 => 127.0.0.1,{silent.port}", timeout=60), n.screen()
    assert silent.wait_for(LOGIN_END, timeout=20)

    lost = f"Lost # 1 => 127.0.0.1,{silent.port} (no data for 60 s)"
    assert n.wait_for(lost, timeout=150), n.screen()
    assert n.row(24) == lost

    # A new position makes the next report; it does not go into the dead connection.
    n.send_keys("s")
    first.stop()
    sonde_sim(SAMPLE.replace("20:41:05", "20:41:09").replace("40000", "40004"))
    assert good.wait_for(b"N0CALL-11>APZQW0,TCPIP*:", timeout=90), n.screen()
    assert n.wait_for(f"Using # 2 => 127.0.0.1,{good.port}", timeout=20), n.screen()
    log = (tmp_path / "nimbrix.err").read_bytes()
    assert len(re.findall(rb"SEND Error 62 ", log)) == 1, log
    assert len(re.findall(rb"OPEN Error @[^\r]* -> 127\.0\.0\.1\r\n", log)) == 1, log
    failed = re.search(rb"SEND Error 62 [^>]*-> ([^\r]*\r\n)", log).group(1)
    assert failed in good.received(), "the line the dead connection did not take went on"
    assert failed not in silent.received()
    n.send_keys("Escape")
    assert n.wait_exit(30) == 0, n.screen()
