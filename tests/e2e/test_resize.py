"""A terminal whose size changes: once it is back to 80x25 the screen is whole again."""

import re

from conftest import VERSION_TEXT, station_ini

BOX = "+" + "-" * 77 + "+"


def resize(n, rows, cols):
    n.screen.resize(rows, cols)
    n.child.setwinsize(rows, cols)


def wait_cycles(n, count, timeout=30):
    """Until row 19 ("Last valid data") has been drawn anew `count` times: whole cycles."""
    for _ in range(count):
        before = n.row(19)
        if not n.wait_until(lambda: n.row(19) != before, timeout):
            return False
    return True


def test_screen_after_80x25_40x10_80x25_is_a_fresh_stations(nimbrix, sonde_sim, aprs_listener):
    sonde_sim("simulate", "--alt", "520")  # low and climbing: a report every few seconds
    listener = aprs_listener()
    n = nimbrix(station_ini(f"127.0.0.1,{listener.port}"))
    assert n.wait_for("Last transmission: ", timeout=60), n.text()

    resize(n, 10, 40)
    n.pump(3)  # a few cycles drawn into the small window
    resize(n, 25, 80)
    # The cycle that notices the change draws everything anew; the one after it is checked.
    assert wait_cycles(n, 2), n.text()

    rows = [n.row(r) for r in range(1, 26)]
    for r in (4, 6, 16, 17, 20, 22, 23, 25):
        assert rows[r - 1] == "", (r, rows[r - 1], n.text())
    assert rows[0] == "-" * 46 + VERSION_TEXT + "-+"
    assert rows[1] == ("+-=> This program sends radiosonde data to APRS network under "
                       "N0CALL-11 id <=-+")
    for r in (3, 8, 11, 13, 15):
        assert rows[r - 1] == BOX, (r, rows[r - 1])
    assert rows[4] == "                        -=> Data from SondeMonitor <=-"
    assert re.fullmatch(r" \S+ \S+ \| Frame=\s+\d+ \| Serial#: \S* \| QRG: \S*", rows[6]), rows[6]
    assert re.fullmatch(r"      Latitude=\s*[-\d.]+ \d{4}\.\d{4},[NS] \| "
                        r"Longitude=\s*[-\d.]+ \d{5}\.\d{4},[EW]", rows[8]), rows[8]
    assert re.fullmatch(r"   Altitude=\s*-?\d+m \| Climb=\s*[-\d. ]+m/s \| Course= \d{3}o  \| "
                        r"Speed=\s*[-\d.]+km/h", rows[9]), rows[9]
    assert re.fullmatch(r"      Pressure=\s*[-\d.]+mB        Temperature=\s*[-\d.]+oC        "
                        r"Humidity=\s*\d+%", rows[11]), rows[11]
    assert re.fullmatch(r" -?[\d.E+]+ [0-9A-F]+", rows[13]), rows[13]
    assert re.fullmatch(r"Local Time: \d\d:\d\d:\d\d", rows[17]), rows[17]
    assert re.fullmatch(r"Last valid data:\s+\d+ s ago\.\.\.", rows[18]), rows[18]
    assert re.fullmatch(r"Last transmission: \d\d:\d\d:\d\d", rows[20]), rows[20]
    assert rows[23] == f"Using # 1 => 127.0.0.1,{listener.port}", rows[23]
    assert n.text().count("Using #") == 1
    n.send("\x1b")
    assert n.wait_exit(10) == 0
