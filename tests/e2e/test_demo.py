"""README's main-job command, run as a user would (without the build step): the demo session
flies a simulated sonde, NIMBRIX reports it to the local listener, ESC ends it all."""

import os
import pathlib
import re
import subprocess

import pexpect

from conftest import VERSION_TEXT

ROOT = pathlib.Path(__file__).resolve().parents[2]


def test_demo_session_reports_to_its_listener_and_leaves_nothing_running(tmp_path):
    build = pathlib.Path(os.environ["NIMBRIX_BIN"]).parents[1]
    env = dict(os.environ, NIMBRIX_BUILD_DIR=str(build), NIMBRIX_DEMO_DIR=str(tmp_path / "run"))
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    child = pexpect.spawn("dbus-run-session", ["--", str(ROOT / "scripts/demo-session.sh")],
                          cwd=str(ROOT), env=env, dimensions=(25, 80), timeout=60)
    child.expect("Last transmission: ", timeout=90)
    child.send("\x1b")
    child.expect(pexpect.EOF, timeout=30)
    out = child.before.decode("latin-1")
    child.close()
    assert child.exitstatus == 0
    assert "NIMBRIX ended with exit code 0." in out
    received = (tmp_path / "run" / "received.txt").read_text("latin-1")
    assert received.startswith("user N0CALL-11 pass 13023 vers " + VERSION_TEXT + " filter b/ZZZZZ/\n")
    assert "N0CALL-11>APZQW0,TCPIP*:@" in received
    assert "ID=T1230456 FN=" in received
    if os.environ.get("SONDE_RECEIVER_BIN") and not os.environ.get("NIMBRIX_EMULATOR"):
        # Found and decoded by sonde-receiver on the simulated band: the frequency as seen
        # through the dongle 25 ppm off (403.490) until the sonde names its own (403.500).
        assert re.search(r" 403\.(49\d|50\d)\n", received), received
        assert "What sonde-receiver said on the simulated band:" in out
    else:
        assert " 403.001\n" in received
    # The second listener gets the same lines under the call of its own login.
    received2 = (tmp_path / "run" / "received2.txt").read_text("latin-1")
    assert received2.startswith("user N0CALL-12 pass 13023 vers " + VERSION_TEXT)
    assert "N0CALL-12>APZQW0,TCPIP*:!" in received2, "the station beacon, under its own call"
    assert "Chase-car summaries received on UDP" in out and '"type": "PAYLOAD_SUMMARY"' in out
    assert re.search(r"_\d{8}\.csv: [1-9]\d* frame\(s\), beside it \S+_\d{8}\.gpx", out), out
    assert not (tmp_path / "run" / "nimbrix.err").exists(), "the demo's login is verified"
    leftovers = subprocess.run(["pgrep", "-f", str(tmp_path)], capture_output=True, text=True).stdout
    assert leftovers == ""
