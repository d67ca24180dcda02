"""What an APRS-IS server says to a client, for the local listeners of the demo and the tests."""

import threading
import time

SERVER_NAME = "NIMBRIX-TEST"
# A server sends a comment line this often to every client (real ones every 20 to 30 s); the
# station takes a server that has talked and then stays silent for 60 s for dead.
KEEPALIVE_SECONDS = 20


def keepalive_line():
    """A comment line as APRS-IS servers send it to keep the connection alive."""
    stamp = time.strftime("%d %b %Y %H:%M:%S GMT", time.gmtime())
    return f"# {SERVER_NAME} {stamp}\r\n".encode("latin-1")


def start_keepalive(client, send_lock, seconds=KEEPALIVE_SECONDS, running=lambda: True):
    """Sends keepalive_line() on `client` every `seconds` (under `send_lock`, which the other
    writers of the connection hold too) until the connection ends or running() says no."""
    def loop():
        while running():
            end = time.monotonic() + seconds
            while running() and time.monotonic() < end:
                time.sleep(0.1)
            if not running():
                return
            try:
                with send_lock:
                    client.sendall(keepalive_line())
            except OSError:
                return

    thread = threading.Thread(target=loop, daemon=True)
    thread.start()
    return thread


def passcode(callsign):
    """The APRS-IS passcode of a callsign: a hash of the call without its SSID, upper-cased."""
    call = callsign.split("-")[0].upper()[:10]
    value = 0x73E2
    for i in range(0, len(call), 2):
        value ^= ord(call[i]) << 8
        if i + 1 < len(call):
            value ^= ord(call[i + 1])
    return value & 0x7FFF


def login_response(login_line, check_passcode=True):
    """The server's answer to a login line ("user CALL pass CODE ..."), with its line end,
    or None when the line is no login."""
    words = login_line.decode("latin-1").split()
    if len(words) < 2 or words[0].lower() != "user":
        return None
    call = words[1]
    given = words[words.index("pass", 2) + 1] if "pass" in words[2:-1] else ""
    verified = not check_passcode or (given.isdigit() and int(given) == passcode(call))
    status = "verified" if verified else "unverified"
    return f"# logresp {call} {status}, server {SERVER_NAME}\r\n".encode("latin-1")
