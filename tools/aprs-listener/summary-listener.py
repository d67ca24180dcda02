#!/usr/bin/env python3
"""A chase-car stand-in for the demo: listens for the station's PAYLOAD_SUMMARY datagrams on UDP
and keeps each one as a line of its own (a datagram that is not one JSON object is kept too,
marked as such)."""

import argparse
import json
import socket


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file", help="where to write the port listened on")
    parser.add_argument("--log", required=True, help="one line per datagram received")
    args = parser.parse_args()

    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((args.host, args.port))
    if args.port_file:
        with open(args.port_file, "w", encoding="ascii") as f:
            f.write(str(sock.getsockname()[1]))
    with open(args.log, "a", encoding="utf-8") as log:
        while True:
            data, _ = sock.recvfrom(65535)
            try:
                line = json.dumps(json.loads(data), sort_keys=True)
            except ValueError:
                line = "not JSON: " + data.decode("latin-1")
            log.write(line + "\n")
            log.flush()


if __name__ == "__main__":
    main()
