#!/usr/bin/env python3
"""Runs an installed nimbrix once in an 80x25 pseudo-terminal, as an operator would start it in a
station folder, without a decoder: it must say so in light red and end with exit code 0.

  run-installed.py /usr/bin/nimbrix
"""

import os
import sys
import tempfile

import pexpect

INI = ("# station\r\nUSER=N0CALL-11\r\nPASS=13023\r\nSTATUS=Package check\r\n"
       "SERVER=127.0.0.1,14580\r\n")


def main():
    program = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "NIMBRIX.INI"), "w", newline="") as f:
            f.write(INI)
        env = dict(os.environ, TERM="xterm")
        # A session bus that does not exist: no decoder can be found.
        env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + os.path.join(folder, "no-bus")
        child = pexpect.spawn(program, cwd=folder, env=env, dimensions=(25, 80), timeout=120)
        child.expect_exact("\x1b[91mSondeMonitor not found! Exiting...")
        child.expect(pexpect.EOF)
        child.close()
        if child.exitstatus != 0:
            sys.exit(f"{program} ended with {child.exitstatus}, not 0")
    print(f"{program}: \"SondeMonitor not found! Exiting...\", exit code 0")


if __name__ == "__main__":
    main()
