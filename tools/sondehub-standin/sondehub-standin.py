#!/usr/bin/env python3
"""A local stand-in of the SondeHub API, for tests and the demo: takes PUT /sondes/telemetry and
PUT /listeners, checks what the public API documents and answers 200, 202, 400 or 503 as the
service does. Every record it takes is written as one JSON line to --store (and stdout with
--verbose)."""

import argparse
import datetime
import email.utils
import gzip
import http.server
import json
import math
import os
import re
import sys
import threading
import time
import zlib

DATETIME = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d{1,6})?Z")
RS_SERIAL = re.compile(r"[C-Z]\d{7}")
TEXT_FIELDS = ("software_name", "software_version", "uploader_callsign", "time_received",
               "datetime", "manufacturer", "type", "serial")
NUMBER_FIELDS = ("lat", "lon", "alt")
OPTIONAL_NUMBERS = ("frequency", "temp", "humidity", "pressure", "vel_v", "vel_h", "heading",
                    "batt")
OPTIONAL_TEXTS = ("subtype", "uploader_antenna")
LISTENER_TEXTS = ("software_name", "software_version", "uploader_callsign", "uploader_radio",
                  "uploader_antenna")
EARTH_RADIUS_M = 6371000.0


def is_number(value):
    return isinstance(value, (int, float)) and not isinstance(value, bool) and math.isfinite(value)


def is_position(value):
    return isinstance(value, list) and len(value) == 3 and all(is_number(v) for v in value)


def straight_distance_m(a, b):
    """The straight line between two (lat, lon, alt) points of a spherical earth."""
    def xyz(p):
        lat, lon, r = math.radians(p[0]), math.radians(p[1]), EARTH_RADIUS_M + p[2]
        return (r * math.cos(lat) * math.cos(lon), r * math.cos(lat) * math.sin(lon),
                r * math.sin(lat))
    return math.dist(xyz(a), xyz(b))


def parse_utc(text):
    return datetime.datetime.strptime(text[:19], "%Y-%m-%dT%H:%M:%S").replace(
        tzinfo=datetime.timezone.utc)


def field_error(record):
    """What is wrong with a record's fields and their types, or None."""
    for key in TEXT_FIELDS:
        if not isinstance(record.get(key), str) or not record[key]:
            return f"{key} missing or not text"
    if not isinstance(record.get("frame"), int) or isinstance(record["frame"], bool):
        return "frame missing or not an integer"
    for key in NUMBER_FIELDS:
        if not is_number(record.get(key)):
            return f"{key} missing or not a number"
    for key in ("time_received", "datetime"):
        if not DATETIME.fullmatch(record[key]):
            return f"{key} {record[key]!r} is not YYYY-MM-DDTHH:MM:SS.ffffffZ"
    for key in OPTIONAL_NUMBERS:
        if key in record and not is_number(record[key]):
            return f"{key} is not a number"
    for key in OPTIONAL_TEXTS:
        if key in record and not isinstance(record[key], str):
            return f"{key} is not text"
    if "sats" in record and (not isinstance(record["sats"], int) or isinstance(record["sats"], bool)):
        return "sats is not an integer"
    if "uploader_position" in record and record["uploader_position"] is not None \
            and not is_position(record["uploader_position"]):
        return "uploader_position is not [lat, lon, alt]"
    if "dev" in record and not isinstance(record["dev"], bool):
        return "dev is not true or false"
    return None


def refusal(record, now):
    """Why the service would refuse a record whose fields are sound, or None."""
    serial = record["serial"]
    if record["lat"] == 0 and record["lon"] == 0:
        return f"Zero Lat/Lon. Sonde {serial} does not have GPS lock."
    if record["alt"] > 50000:
        return f"Sonde {serial} position breached altitude cap by {record['alt'] - 50000}m."
    if record["alt"] == 0:
        return f"Sonde {serial} altitude is exactly 0m. Position is likely incorrect"
    if record.get("humidity", 0) < 0:
        return f"Humidity {record['humidity']} is below 0"
    if record.get("pressure", 0) < 0:
        return f"Pressure {record['pressure']} is below 0"
    if record.get("sats", 4) < 4:
        return f"Sonde {serial} can only see {record['sats']} SVs - discarding position as bad."
    position = record.get("uploader_position")
    if position and position[0] != 0 and position[1] != 0:
        distance = straight_distance_m(position, (record["lat"], record["lon"], record["alt"]))
        if distance > 1000e3:
            return f"Sonde {serial} position breached radius cap by {distance / 1000 - 1000:.1f} km."
    if record.get("heading", 0) > 360:
        return f"Heading {record['heading']} is above 360"
    delta = (now - parse_utc(record["datetime"])).total_seconds()
    if delta < -60:
        return ("Sonde reported time too far in the future. Either sonde time or system time is "
                "invalid. (Threshold: 60 seconds)")
    if abs(delta) > 48 * 3600:
        return ("Sonde reported time too far from current UTC time. Either sonde time or system "
                "time is invalid. (Threshold: 48 hours)")
    kind = record["type"]
    if "RS41" in kind or "RS92" in kind:
        valid = RS_SERIAL.fullmatch(serial) is not None
    elif any(k in kind for k in ("DFM", "IMS100", "iMS-100", "RS11G", "MRZ")):
        valid = "x" not in serial
    else:
        valid = any(k in kind for k in ("M10", "M20", "LMS", "iMet", "MTS01"))
    if not valid:
        return f"Payload ID {serial} from Sonde type {kind} is invalid."
    if "dev" in record:
        return ("All checks passed however payload contained dev flag so will not be uploaded to "
                "the database")
    return None


class Standin:
    def __init__(self, args):
        self.args = args
        self.lock = threading.Lock()
        self.first_telemetry = None
        self.store = open(args.store, "a", encoding="utf-8") if args.store else None

    def keep(self, kind, record, headers):
        line = json.dumps({"kind": kind, "record": record, "date": headers.get("Date"),
                           "user_agent": headers.get("User-Agent"),
                           "content_encoding": headers.get("Content-Encoding")})
        with self.lock:
            if self.store:
                self.store.write(line + "\n")
                self.store.flush()
            if self.args.verbose:
                print(line, flush=True)

    def window(self, seconds):
        """Whether now lies within `seconds` of the first telemetry request."""
        with self.lock:
            if self.first_telemetry is None:
                self.first_telemetry = time.monotonic()
            return time.monotonic() - self.first_telemetry < seconds

    def telemetry(self, body, headers):
        held = self.args.hold_seconds
        if held and self.window(held):
            # A hung API: the request is never read into the service and never answered.
            with self.lock:
                until = self.first_telemetry + held
            time.sleep(max(0.0, until - time.monotonic()))
            return None
        busy = self.args.busy_seconds
        if busy and self.window(busy):
            return 503, "text/plain", "Service Unavailable"
        self.window(0)
        if headers.get("Content-Encoding") == "gzip":
            try:
                body = gzip.decompress(body)
            except (OSError, EOFError, zlib.error):
                return 400, "text/plain", "Could not decompress"
        if "Date" in headers:
            try:
                email.utils.parsedate_to_datetime(headers["Date"])
            except (TypeError, ValueError):
                return 400, "text/plain", "Date header is not RFC 7231"
        try:
            records = json.loads(body)
        except (ValueError, UnicodeDecodeError):
            return 400, "text/plain", "Not valid json"
        if not isinstance(records, list):
            return 400, "text/plain", "Expecting list of payloads"
        if not all(isinstance(r, dict) and "serial" in r for r in records):
            return 400, "text/plain", "Error processing request. Check payloads format."
        now = datetime.datetime.now(datetime.timezone.utc)
        errors = []
        by_serial = {}
        for r in records:
            by_serial.setdefault(r["serial"], []).append(r)
        for serial, frames in by_serial.items():
            full_batch = any(k in str(frames[0].get("type", "")) for k in ("DFM", "iMS-100", "IMS100"))
            if full_batch and len(frames) <= 10 and any(
                    is_number(f.get("alt")) and f["alt"] > 2500 for f in frames):
                for f in frames:
                    f["_refused"] = ("DFM radiosonde above 1000 and not enough data to perform "
                                     "z-check. Not adding DB to protect against double "
                                     "frequency usage.")
        for r in records:
            error = r.pop("_refused", None) or field_error(r) or refusal(r, now)
            if error:
                errors.append({"error_message": error, "payload": r})
            else:
                self.keep("telemetry", r, headers)
        if errors:
            return 202, "application/json", json.dumps(
                {"message": "some or all payloads could not be processed", "errors": errors,
                 "warnings": []})
        return 200, "text/plain", "^v^ telm logged"

    def listener(self, body, headers):
        if headers.get("Content-Encoding"):
            return 400, "text/plain", "Could not read body"
        try:
            record = json.loads(body)
        except (ValueError, UnicodeDecodeError):
            return 400, "text/plain", "Not valid json"
        if not isinstance(record, dict):
            return 400, "text/plain", "Expecting one listener"
        if "uploader_position" not in record:
            return 500, "application/json", '{"message": "Internal Server Error"}'
        for key in LISTENER_TEXTS:
            if not isinstance(record.get(key), str):
                return 400, "text/plain", f"{key} missing or not text"
        position = record["uploader_position"]
        if position is not None and not is_position(position):
            return 400, "text/plain", "uploader_position is not [lat, lon, alt] or null"
        if not isinstance(record.get("mobile"), bool):
            return 400, "text/plain", "mobile missing or not true or false"
        self.keep("listener", record, headers)
        return 200, "text/plain", "^v^ telm logged"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=47832)
    parser.add_argument("--port-file", help="file the port is written to (with --port 0)")
    parser.add_argument("--store", help="file the records taken are appended to, one JSON a line")
    parser.add_argument("--busy-seconds", type=float, default=0,
                        help="answer 503 to telemetry for this long from its first request")
    parser.add_argument("--hold-seconds", type=float, default=0,
                        help="hold telemetry requests until this long after the first, then "
                             "close them unanswered")
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()
    standin = Standin(args)

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def answer(self, status, content_type, text):
            data = text.encode()
            try:
                self.send_response(status)
                self.send_header("Content-Type", content_type)
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)
            except OSError:
                pass  # the client gave up waiting

        def do_PUT(self):
            try:
                length = int(self.headers.get("Content-Length", "0"))
            except ValueError:
                length = -1
            if length < 0 or length > 16 << 20:
                self.answer(400, "text/plain", "Content-Length")
                return
            body = self.rfile.read(length)
            if self.path == "/sondes/telemetry":
                answer = standin.telemetry(body, self.headers)
                if answer is None:
                    self.close_connection = True
                    return
                self.answer(*answer)
            elif self.path == "/listeners":
                self.answer(*standin.listener(body, self.headers))
            else:
                self.answer(404, "text/plain", "Not Found")

        def log_message(self, fmt, *a):
            if args.verbose:
                sys.stderr.write("%s\n" % (fmt % a))

    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    port = server.server_address[1]
    if args.port_file:
        with open(args.port_file + ".tmp", "w", encoding="ascii") as f:
            f.write(str(port))
        os.replace(args.port_file + ".tmp", args.port_file)
    print(f"listening on 127.0.0.1:{port}", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
