#!/usr/bin/env python3
"""A minimal APRS-IS listener for the demo and for checking a station on one machine.

It accepts TCP connections on 127.0.0.1, greets each like an APRS-IS server does, answers the
login with "# logresp CALL verified" or "unverified" by the APRS-IS passcode of the callsign
(every login is verified with --accept-any-passcode), sends a "#" comment line every 20 s as
servers do (--keepalive 0 never: a server that falls silent after its greeting), and keeps every
line it receives: appended to --log (one line per received line, CR LF removed) and echoed on
stderr when --verbose. It never relays anything.

  aprs-listener.py [--host 127.0.0.1] [--port 14580 | --port 0] [--port-file FILE] [--log FILE]
                   [--accept-any-passcode] [--keepalive SECONDS] [--verbose]

With --port 0 a free port below 32768 is picked (the station reads a port as a signed 16-bit
number, so the system's own ephemeral ports would not do); --port-file receives the number.
"""

import argparse
import random
import socket
import sys
import threading

import aprsis


def serve_client(client, log_path, lock, verbose, check_passcode, keepalive):
    buffer = b""
    answered = False
    send_lock = threading.Lock()
    open_ = [True]
    with client:
        try:
            client.sendall(b"# NIMBRIX demo listener\r\n")
            if keepalive > 0:
                aprsis.start_keepalive(client, send_lock, keepalive, lambda: open_[0])
            while True:
                chunk = client.recv(65536)
                if not chunk:
                    break
                buffer += chunk
                while b"\r\n" in buffer:
                    line, buffer = buffer.split(b"\r\n", 1)
                    if not answered:
                        answer = aprsis.login_response(line, check_passcode)
                        if answer:
                            with send_lock:
                                client.sendall(answer)
                            answered = True
                    with lock:
                        if log_path:
                            with open(log_path, "ab") as log:
                                log.write(line + b"\n")
                        if verbose:
                            sys.stderr.write("aprs-listener: " + line.decode("latin-1") + "\n")
        except OSError:
            pass
        finally:
            open_[0] = False


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=14580)
    parser.add_argument("--port-file")
    parser.add_argument("--log")
    parser.add_argument("--verbose", action="store_true")
    parser.add_argument("--accept-any-passcode", action="store_true")
    parser.add_argument("--keepalive", type=float, default=aprsis.KEEPALIVE_SECONDS,
                        help="seconds between comment lines to each client; 0: none")
    args = parser.parse_args()

    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    if args.port:
        server.bind((args.host, args.port))
    else:
        for _ in range(200):
            try:
                server.bind((args.host, random.randint(20000, 32000)))
                break
            except OSError:
                continue
    server.listen(8)
    if args.port_file:
        with open(args.port_file, "w") as f:
            f.write(str(server.getsockname()[1]))
    lock = threading.Lock()
    try:
        while True:
            client, _ = server.accept()
            threading.Thread(target=serve_client,
                             args=(client, args.log, lock, args.verbose,
                                   not args.accept_any_passcode, args.keepalive),
                             daemon=True).start()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
