"""Faults end to end: servers that refuse, reset or stop reading, a hostile decoder, a hostile
NIMBRIX.INI, and the signals that end a station. Each case checks that the program neither
crashes nor hangs, that no report line is lost silently (it reached the listener or stands in
nimbrix.err), and that nothing from outside became a line of its own on the connection or an
escape sequence on the terminal."""

import os
import re
import signal
import termios
import time

import pytest

from conftest import LOGIN, free_port, station_ini

HEADER = b"N0CALL-11>APZQW0,TCPIP*:"
WAITING = "No servers available. Press ESC to quit or wait to try again...     "
RESET = b"\x1b[0m\x1b[?25h\x1b[?7h"
SEND_ERROR = re.compile(rb"SEND Error (\d+) \d\d-\d\d-\d{4} - \d\d:\d\d:\d\d -> ([^\r\n]*\r\n)\r\n")
OPEN_ERROR = re.compile(rb"OPEN Error @\d\d-\d\d-\d{4} - \d\d:\d\d:\d\d -> ([^\r\n]*)\r\n")
# The sequences the station itself writes; anything else starting with ESC came from outside.
OWN_SEQUENCES = re.compile(rb"\x1b\[(?:\d+;\d+H|\d+m|2J|H|K|\?25h|\?7h)")
C1_CONTROLS = re.compile("[\u0080-\u009f]")


def error_log(tmp_path):
    path = tmp_path / "nimbrix.err"
    return path.read_bytes() if path.exists() else b""


def check_stream(listener):
    """Every connection is the login line and then whole report lines, nothing else."""
    for data in listener.connections:
        data = bytes(data)
        if not data:
            continue
        assert data.startswith(LOGIN), data[:200]
        assert data.endswith(b"\r\n"), data[-200:]
        for line in data[len(LOGIN):].split(b"\r\n")[:-1]:
            assert line.startswith(HEADER + b"@") or line.startswith(HEADER + b">"), line[:200]
            assert not re.search(rb"[\x00-\x1f\x7f]", line), line[:200]


def check_accounted(n, listener, tmp_path):
    """Each position report the station sent (it shows "Last transmission: " for each) reached
    the listener, or failed twice and stands twice in the log."""
    check_stream(listener)
    received = [l for l in listener.lines() if l.startswith(HEADER + b"@")]
    logged = [line for _, line in SEND_ERROR.findall(error_log(tmp_path)) if line.startswith(HEADER + b"@")]
    lost = [line for line in logged if line not in received]
    for line in set(lost):
        assert lost.count(line) % 2 == 0, f"a lost line is logged for both attempts: {line[:200]}"
    assert bytes(n.raw).count(b"Last transmission: ") == len(received) + len(lost) // 2


def check_terminal(n):
    """No escape sequence, bell or C1 control reached the terminal except the station's own."""
    raw = bytes(n.raw)
    rest = OWN_SEQUENCES.sub(b"", raw)
    assert b"\x1b" not in rest and b"\x07" not in rest, rest[rest.find(b"\x1b") - 40:][:120]
    assert not C1_CONTROLS.search(raw.decode("utf-8", errors="replace"))


def wait_listener(n, listener, predicate, timeout):
    """Waits for the listener while the terminal is read, so the station never stalls on it."""
    end = time.time() + timeout
    while time.time() < end:
        if predicate(listener):
            return True
        n.pump(0.1)
    return predicate(listener)


def dashboard_clock(n):
    m = re.match(r"^Local Time: (\d\d:\d\d:\d\d)$", n.row(18))
    return m.group(1) if m else None


def faketime_env(start):
    """The station's clock starts at `start` (libfaketime), so a status minute comes at once."""
    asan = os.environ.get("ASAN_OPTIONS", "")
    return {"LD_PRELOAD": "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1",
            "FAKETIME": f"@{start}", "FAKETIME_DONT_RESET": "1",
            "ASAN_OPTIONS": (asan + ":" if asan else "") + "verify_asan_link_order=0:detect_leaks=0"}


# --- servers -------------------------------------------------------------------------------

def test_all_servers_refusing_at_start_then_one_coming_up(nimbrix, sonde_sim, aprs_listener, tmp_path):
    sonde_sim("simulate", "--alt", "520")
    first, second = free_port(), free_port()
    n = nimbrix(station_ini(f"127.0.0.1,{first}", f"127.0.0.1,{second}"))
    assert n.wait_for("No servers available.", timeout=30)
    assert n.row(24) == WAITING.rstrip()
    assert WAITING.encode() in bytes(n.raw)
    assert OPEN_ERROR.findall(error_log(tmp_path)) == [b"127.0.0.1", b"127.0.0.1"]
    assert n.child.isalive()

    listener = aprs_listener(second)
    assert n.wait_for(f"Using # 2 => 127.0.0.1,{second}", timeout=30)
    assert wait_listener(n, listener, lambda l: l.received().startswith(LOGIN), 20)
    assert n.wait_for("Last valid data:", timeout=20), "the main cycle begins"
    n.send("\x1b")
    assert n.wait_exit(10) == 0
    # The second pass tried the first entry again before it reached the second.
    assert len(OPEN_ERROR.findall(error_log(tmp_path))) == 3
    check_accounted(n, listener, tmp_path)
    check_terminal(n)


def test_server_resetting_the_connection_gets_the_line_after_a_new_login(nimbrix, sonde_sim, aprs_listener,
                                                                         tmp_path):
    sonde_sim("simulate", "--alt", "520")
    listener = aprs_listener()
    # One entry only: the reconnect after the failed send waits a pass and takes it again.
    n = nimbrix(station_ini(f"127.0.0.1,{listener.port}", extra="STATUS=\r\n"))  # no status lines
    assert n.wait_for("Last valid data:", timeout=20)
    assert listener.received() == LOGIN
    listener.drop_clients(reset=True)

    assert wait_listener(n, listener, lambda l: len(l.connections) >= 2 and b":@" in bytes(l.connections[-1]),
                         30), listener.received()
    assert WAITING.encode() in bytes(n.raw)
    log = error_log(tmp_path)
    errors = SEND_ERROR.findall(log)
    assert len(errors) == 1 and errors[0][0] == b"57", log
    assert OPEN_ERROR.findall(log) == [b"127.0.0.1"]
    second = bytes(listener.connections[1])
    assert second.startswith(LOGIN + errors[0][1]), "the failed line goes out again after the new login"
    n.send("\x1b")
    assert n.wait_exit(10) == 0
    check_accounted(n, listener, tmp_path)


def test_server_that_stops_reading_holds_the_send_not_the_data(nimbrix, sonde_sim, aprs_listener, tmp_path):
    # A status text of 8 MiB is more than the socket buffers on both sides hold together.
    status = b"".join(b"%07d/" % i for i in range(1 << 20))
    sonde_sim("simulate", "--alt", "520")
    listener = aprs_listener()
    listener.read = False
    n = nimbrix(station_ini(f"127.0.0.1,{listener.port}").encode() + b"STATUS=" + status + b"\r\n",
                extra_env=faketime_env("2026-12-08 20:02:57"))
    assert n.wait_for("Local Time: 20:03", timeout=25)
    # The first cycle sends the status line; the send waits for room, so the cycle stands.
    n.pump(0.5)
    held = dashboard_clock(n)
    n.pump(3)
    assert dashboard_clock(n) == held, "the cycle goes on only once the line is out"
    assert n.child.isalive()

    listener.read = True
    status_line = HEADER + b">" + status + b"\r\n"
    assert wait_listener(n, listener, lambda l: l.received() == LOGIN + status_line, 30)
    end = time.time() + 30
    while dashboard_clock(n) == held and time.time() < end:
        n.pump(0.1)
    assert dashboard_clock(n) != held, "the cycle runs again"
    n.send("\x1b")
    assert n.wait_exit(15) == 0
    assert SEND_ERROR.findall(error_log(tmp_path)) == []
    check_accounted(n, listener, tmp_path)


# --- signals -------------------------------------------------------------------------------

def end_by_signal(n, sig, timeout=10):
    """SIGTERM asks the station to stop: it ends as ESC ends it, with 0. Others end it at once,
    as the signal would. Either way the terminal is as it was before."""
    during = n.termios()
    assert not during[3] & termios.ICANON and not during[3] & termios.ECHO, "raw while running"
    n.child.kill(sig)
    assert n.wait_dead(timeout) == (0 if sig == signal.SIGTERM else -sig)
    after = n.termios()
    assert after[3] & termios.ICANON and after[3] & termios.ECHO, "the terminal is cooked again"
    assert bytes(n.raw).endswith(RESET)


@pytest.mark.parametrize("sig", [signal.SIGTERM, signal.SIGHUP], ids=["SIGTERM", "SIGHUP"])
def test_signal_in_the_main_cycle_restores_the_terminal(nimbrix, sonde_sim, aprs_listener, sig):
    sonde_sim("simulate")
    listener = aprs_listener()
    n = nimbrix(station_ini(f"127.0.0.1,{listener.port}"))
    assert n.wait_for("Last valid data:", timeout=20)
    end_by_signal(n, sig)


def test_sigterm_while_a_send_waits_for_room_restores_the_terminal(nimbrix, sonde_sim, aprs_listener):
    status = b"S" * (8 << 20)
    sonde_sim("simulate")
    listener = aprs_listener()
    listener.read = False
    n = nimbrix(station_ini(f"127.0.0.1,{listener.port}").encode() + b"STATUS=" + status + b"\r\n",
                extra_env=faketime_env("2026-12-08 20:05:57"))
    assert n.wait_for("Local Time: 20:06", timeout=25)
    n.pump(1.5)
    # Like ESC, the stop is seen once the send has given up (its minute-long wait for room) and
    # the pass after it has failed.
    end_by_signal(n, signal.SIGTERM, timeout=120)


# --- hostile decoder -----------------------------------------------------------------------

SERIAL = r"S1\r\nN0CALL-11>APZQW0,TCPIP*:>injected\r\n\e]0;pwned\x07\e[2J\xc2\x9b2J\xff\xfeZ"
TIME = r"2026-12-08 1\r:\n0\e[5m:\xc2\x9d0;t\xc2\x9c\xff"
QRG = r"\e]0;pwned\x07\r\n*10000"  # 110 000 bytes


def unescape(text):
    """The script's escapes and repeat, then what the decoder can send: invalid UTF-8 becomes
    U+FFFD."""
    repeat = 1
    if m := re.search(r"(?<!\\)\*(\d+)$", text):
        text, repeat = text[:m.start()], int(m.group(1))
    out = bytearray()
    i = 0
    while i < len(text):
        if text[i] == "\\":
            c = text[i + 1]
            if c == "x":
                out.append(int(text[i + 2:i + 4], 16))
                i += 4
                continue
            out += {"r": b"\r", "n": b"\n", "e": b"\x1b", "\\": b"\\"}[c]
            i += 2
            continue
        out += text[i].encode()
        i += 1
    return out.decode("utf-8", errors="replace").encode("utf-8") * repeat


def strip_controls(data):
    return re.sub(rb"[\x00-\x1f\x7f]", b"", data)


def write_script(path, latitude):
    path.write_text("\n".join([
        f"0 BSTR {SERIAL}", f"1 R8 {latitude}", "2 R8 11.5678", "3 R8 520", "5 R8 3",
        f"6 BSTR {TIME}", f"7 BSTR {QRG}", "8 R8 950", "9 R8 12", "10 R8 50",
        r"11 BSTR:ay \e[2J", "13 I4 7"]) + "\n")


def test_hostile_decoder_texts_reach_neither_the_stream_nor_the_terminal(nimbrix, sonde_sim, aprs_listener,
                                                                        tmp_path):
    script = tmp_path / "decoder.txt"
    write_script(script, 48.1234)
    sim = sonde_sim("script", str(script))
    listener = aprs_listener()
    n = nimbrix(station_ini(f"127.0.0.1,{listener.port}", extra="ID=YES\r\nQRG=YES\r\nFRAME=YES\r\n"))
    assert n.wait_for("Last valid data:", timeout=30)

    # Fixed answers never change the position sentence: move the sonde a little every second.
    end, step = time.time() + 40, 0
    while time.time() < end and not any(l.startswith(HEADER + b"@") for l in listener.lines()):
        step += 1
        write_script(script, 48.1234 + 0.0002 * (step % 2))
        sim.proc.send_signal(signal.SIGHUP)
        n.pump(1)
    n.send("\x1b")
    assert n.wait_exit(15) == 0

    reports = [l for l in listener.lines() if l.startswith(HEADER + b"@")]
    assert reports, listener.received()[:300]
    serial, qrg, time_text = unescape(SERIAL), unescape(QRG), unescape(TIME)
    piece = strip_controls(time_text[11:19]).replace(b":", b"")
    for line in reports:
        assert line.startswith(HEADER + b"@" + piece + b"h4807.")
        assert b" ID=" + strip_controls(serial) + b" FN=7 " + strip_controls(qrg) + b"\r\n" in line
    check_accounted(n, listener, tmp_path)

    # On the terminal every control character shows as "?".
    raw = bytes(n.raw)
    assert raw.count(b"\x1b[2J") == 1, "the station clears the screen once, the decoder never"
    assert b"?]0;pwned???" in raw and "?]0;pwned???" in n.text()
    assert b"Serial#: S1??N0CALL-11>APZQW0,TCPIP*:>injected???]0;pwned??[2J?2J" in raw
    check_terminal(n)


# --- hostile configuration -----------------------------------------------------------------

HOSTILE_INI = {
    # No "=" or "#" in the first line: the positional format, whose callsign is far too long.
    "binary": (bytes(b for b in range(256) if b not in b"=#,\r") * 40,
               "Config file error: check callsign in INI file"),
    "nul-and-escapes": (b"USER=\x1b]0;pwned\x07\x00\x1b[2J\xc2\x9b2J\r\nPASS=1\r\n",
                        "Config file error: check callsign in INI file =?]0;PWNED???[2J?2J"),
    "megabyte-line": (b"#" + b"\x00\x1b[2J" * (1 << 18) + b"\r\nUSER=ab\r\n",
                      "Config file error: check callsign in INI file =AB"),
    "directory": (None, "Config file error: check callsign in INI file"),
}


@pytest.mark.parametrize("case", list(HOSTILE_INI))
def test_hostile_ini_gives_the_callsign_message_and_ends_after_a_key(nimbrix, tmp_path, case):
    data, message = HOSTILE_INI[case]
    if data is None:
        (tmp_path / "NIMBRIX.INI").mkdir()
    n = nimbrix(data)
    assert n.wait_for(message, timeout=15), n.text()
    n.pump(0.3)
    assert n.child.isalive(), "waits for a key"
    n.send("x")
    assert n.wait_exit(10) == 0
    check_terminal(n)
