"""What an APRS-IS server says to a client, for the local listeners of the demo and the tests."""

SERVER_NAME = "NIMBRIX-TEST"


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
