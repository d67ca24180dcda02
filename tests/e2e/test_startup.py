"""Start-up of the real program: configuration errors, a missing decoder, a fatal error."""

import os
import resource

import pytest

from conftest import station_ini, free_port


def test_bad_callsign_shows_message_and_waits_for_a_key(nimbrix):
    n = nimbrix("USER=ab\r\n")
    assert n.wait_for("Config file error: check callsign in INI file =AB")
    assert "Reading config file version config 2" in n.text()
    n.pump(0.5)
    assert n.child.isalive(), "must wait for a key"
    n.send("x")
    assert n.wait_exit(20) == 0


def test_no_decoder_gives_red_message_and_exit_code_zero(nimbrix):
    n = nimbrix(station_ini(f"127.0.0.1,{free_port()}"))
    assert n.wait_for("SondeMonitor not found! Exiting...", timeout=30)
    # Colour 12 (light red) is the bright red foreground, SGR 91.
    before = bytes(n.raw[: n.raw.index(b"SondeMonitor not found")])
    assert before.rfind(b"\x1b[91m") > before.rfind(b"\x1b[39m")
    assert n.wait_exit(20) == 0


def test_out_of_memory_ends_with_255_and_the_terminal_restored(nimbrix, tmp_path):
    if "asan" in os.environ.get("NIMBRIX_BIN", ""):
        pytest.skip("the sanitizers reserve far more address space than the limit allows")
    if os.environ.get("NIMBRIX_EMULATOR"):
        pytest.skip(f"{os.environ['NIMBRIX_EMULATOR']} reserves a 128 MiB code buffer of its own, "
                    "more than the 96 MiB address-space limit this test sets")
    with open(tmp_path / "NIMBRIX.INI", "wb") as f:
        f.truncate(160 << 20)  # a sparse file of 160 MiB: more than the process may allocate
    limit = 96 << 20
    n = nimbrix(None, preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_AS, (limit, limit)))
    assert n.wait_exit(20) == 255
    raw = bytes(n.raw)
    assert b"\x1b[0m\x1b[?25h\x1b[?7h" in raw and raw.rstrip().endswith(b"fatal system error")
