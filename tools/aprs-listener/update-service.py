#!/usr/bin/env python3
"""A stand-in for the update service, for the demo: answers every request with
"versao=<version>" and logs the request line on stderr when --verbose."""

import argparse
import http.server


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=47831)
    parser.add_argument("--version", required=True, help="the version offered, e.g. 0.22")
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()
    body = ("versao=" + args.version).encode()

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            self.send_response(200)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, fmt, *a):
            if args.verbose:
                super().log_message(fmt, *a)

    http.server.HTTPServer(("127.0.0.1", args.port), Handler).serve_forever()


if __name__ == "__main__":
    main()
