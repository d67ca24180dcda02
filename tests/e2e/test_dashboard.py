"""The dashboard on a real terminal: rows whose texts get shorter leave nothing behind."""

import re
import signal

from conftest import station_ini

SCRIPT = """\
0 BSTR {serial}
1 R8 48.123456
2 R8 11.5678
3 R8 1234.5
6 BSTR 2026-12-08 20:41:05
7 BSTR {qrg}
14 I8 {item14}
"""


def cycles_shown(n):
    m = re.search(r"Last valid data:\s+(\d+) s ago", n.row(19))
    return int(m.group(1)) if m else -1


def test_shorter_serial_frequency_and_counter_leave_no_old_characters(nimbrix, sonde_sim,
                                                                      aprs_listener, tmp_path):
    script = tmp_path / "answers.txt"
    script.write_text(SCRIPT.format(serial="S12345678", qrg="401.001", item14=9223372036854775807))
    sim = sonde_sim("script", str(script))
    listener = aprs_listener()
    n = nimbrix(station_ini(f"127.0.0.1,{listener.port}", user="N0CALLS-11"))
    assert n.wait_for("QRG: 401.001", timeout=30)
    assert n.row(14) == " 9.22337203685478E+18 7FFFFFFF"

    script.write_text(SCRIPT.format(serial="S1234", qrg="403.003", item14=4294967296))
    sim.proc.send_signal(signal.SIGHUP)
    assert n.wait_for("QRG: 403.003", timeout=30)
    shown = cycles_shown(n)
    assert n.wait_for(f"Last valid data:  {shown + 1} s ago", timeout=30)  # one whole cycle more
    assert n.row(7) == " 2026-12-08 20:41:05 | Frame=       0 | Serial#: S1234 | QRG: 403.003"
    assert n.row(14) == " 4294967296 1"
    # An 80-character banner fills its row to the last column; nothing of it is erased.
    assert n.row(2) == ("+-=> This program sends radiosonde data to APRS network under "
                        "N0CALLS-11 id <=-+")
    banner_end = bytes(n.raw).rindex(b"N0CALLS-11 id <=-+") + len(b"N0CALLS-11 id <=-+")
    assert not bytes(n.raw)[banner_end:].startswith(b"\x1b[K"), "the row is full: no erase"
    n.send("\x1b")
    assert n.wait_exit(10) == 0
