// sonde-sim: a stand-in for the radiosonde decoder on the D-Bus session bus.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "answers.h"
#include "decoder-service/service.h"
#include "decoder-service/time_text.h"
#include "fleet.h"
#include "flight_model.h"
#include "replay.h"
#include "script.h"

namespace sondesim {
namespace {

using decoder::AnswerSource;
using decoder::ParseTimeText;

const char kHelp[] = R"(usage: sonde-sim [simulate] [options]
       sonde-sim replay FILE [--loop] [options]
       sonde-sim script FILE [options]
       sonde-sim record FILE [flight options] [--from SECONDS] [--seconds N]

A stand-in for the radiosonde decoder: owns the name SondeMonitor.Document on the D-Bus session
bus and answers GETSONDEDATA(n item) with (q vartype, v value) for the items 0 to 17:
  0 serial  1 latitude  2 longitude  3 altitude m  4 heading (travel direction + 180)
  5 speed m/s  6 time "YYYY-MM-DD hh:mm:ss" UTC  7 frequency MHz  8 pressure hPa
  9 temperature C  10 humidity %  11 sonde type  12 climb m/s  13 frame (I4)
  14 milliseconds since 1970 (I8)  15 kind of sonde (the type)  16 GPS satellites (I4)
  17 battery volts
Other indexes get the error SondeMonitor.Document.Error.InvalidIndex.
GETSONDELIST() answers a(ua(qv)): per sonde the ms since its newest frame and that frame's
items 0 to 17 as GETSONDEDATA answers them; one sonde, or those of --sondes.

modes:
  simulate      a flight from the launch site: ascent, burst, descent under a parachute
  replay FILE   a recorded flight log (CSV, one row per second, see README.md); holds the last
                row at the end unless --loop
  script FILE   fixed answers per item, any VARTYPE, for tests (format in README.md); SIGHUP
                reads the file again
  record FILE   writes the simulated flight as a flight log and exits (no bus)

flight options (simulate, record):
  --lat DEG --lon DEG   launch site (48.1, 11.5)
  --alt M               launch altitude (500)
  --burst M             burst altitude (30000)
  --ascent M/S          ascent rate (5)
  --descent M/S         descent rate under the parachute at sea level (5)
  --wind M/S            ground wind speed (5); stronger aloft, a jet near 11 km
  --wind-from DEG       ground wind direction (270), veering with height
  --serial TEXT         serial number (S3210987)
  --qrg TEXT            frequency text (403.001)
  --start-time "YYYY-MM-DD hh:mm:ss"   UTC time of launch (now)
  --offset SECONDS      start this far into the flight (0)
  --frame N             frame number at launch (1)
  --sondes N            simulate: fly N sondes (1 to 3); GETSONDEDATA answers the first, the
                        second is a DFM, the third an M10, each on its own frequency and
                        launched a few km away; GETSONDELIST lists them all
options for every mode:
  --type TEXT           sonde type, items 11 and 15 (RS41)
  --speedup X           flight seconds per real second (1); 0 stands still
  --name NAME           bus name and interface (SondeMonitor.Document); path /NAME with / for .
  --once-ready-print    print "ready" on stdout each time the name is owned
  --help                this text

fault controls (interface SondeSim.Control on the same object):
  Freeze(u seconds)     leave GETSONDEDATA and GETSONDELIST unanswered that long (0 ends it)
  Vanish(u seconds)     drop the connection and come back after that long with a new one
  SIGUSR1 freeze on/off, SIGUSR2 vanish for 3 s, SIGSTOP/SIGKILL as usual,
  SIGTERM/SIGINT end cleanly.
example:
  busctl --user call SondeMonitor.Document /SondeMonitor/Document SondeMonitor.Document \
      GETSONDEDATA n 1
)";

decoder::ServiceOptions SimServiceOptions() {
  decoder::ServiceOptions o;
  o.program = "sonde-sim";
  o.faultControls = true;
  o.onReload = [] {};  // SIGHUP does nothing where there is nothing to read again
  return o;
}

struct Options {
  std::string mode = "simulate";
  std::string file;
  FlightParams flight;
  SondeIdentity id;
  double speedup = 1;
  double offset = 0;
  bool loop = false;
  double from = 0;
  double seconds = -1;  // record: to the landing
  double sondes = 1;
  decoder::ServiceOptions service = SimServiceOptions();
};

bool ReadFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

int Usage(const std::string& why) {
  std::fprintf(stderr, "sonde-sim: %s (try --help)\n", why.c_str());
  return 2;
}

bool ToNumber(const char* text, double& out) {
  char* end = nullptr;
  out = std::strtod(text, &end);
  return *text && *end == '\0' && std::isfinite(out);
}

// 0 when the options are good, else the exit code.
int ParseOptions(int argc, char** argv, Options& o, bool& help) {
  int i = 1;
  if (i < argc && argv[i][0] != '-') {
    o.mode = argv[i++];
    if (o.mode != "simulate" && o.mode != "replay" && o.mode != "script" && o.mode != "record") {
      return Usage("unknown mode \"" + o.mode + "\"");
    }
    if (o.mode != "simulate") {
      if (i >= argc) return Usage(o.mode + " needs a FILE");
      o.file = argv[i++];
    }
  }
  o.id.launchUnixSeconds = static_cast<std::int64_t>(std::time(nullptr));
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      help = true;
      return 0;
    }
    if (arg == "--loop") {
      o.loop = true;
      continue;
    }
    if (arg == "--once-ready-print") {
      o.service.printReady = true;
      continue;
    }
    if (i + 1 >= argc) return Usage(arg + " needs a value, or is unknown");
    const char* value = argv[++i];
    double* number = nullptr;
    if (arg == "--lat")
      number = &o.flight.lat;
    else if (arg == "--lon")
      number = &o.flight.lon;
    else if (arg == "--alt")
      number = &o.flight.launchAltM;
    else if (arg == "--burst")
      number = &o.flight.burstAltM;
    else if (arg == "--ascent")
      number = &o.flight.ascentMs;
    else if (arg == "--descent")
      number = &o.flight.descentMs;
    else if (arg == "--wind")
      number = &o.flight.windMs;
    else if (arg == "--wind-from")
      number = &o.flight.windFromDeg;
    else if (arg == "--speedup")
      number = &o.speedup;
    else if (arg == "--offset")
      number = &o.offset;
    else if (arg == "--from")
      number = &o.from;
    else if (arg == "--seconds")
      number = &o.seconds;
    else if (arg == "--sondes")
      number = &o.sondes;
    if (number) {
      if (!ToNumber(value, *number)) return Usage(arg + " needs a number");
      continue;
    }
    if (arg == "--serial")
      o.id.serial = RepairUtf8(value);
    else if (arg == "--qrg")
      o.id.qrg = RepairUtf8(value);
    else if (arg == "--type")
      o.id.type = RepairUtf8(value);
    else if (arg == "--name")
      o.service.name = value;
    else if (arg == "--frame") {
      double f = 0;
      if (!ToNumber(value, f) || f != std::floor(f) || std::fabs(f) > 2e9) {
        return Usage("--frame needs a whole number");
      }
      o.id.firstFrame = static_cast<std::int64_t>(f);
    } else if (arg == "--start-time") {
      if (!ParseTimeText(value, o.id.launchUnixSeconds)) {
        return Usage("--start-time needs \"YYYY-MM-DD hh:mm:ss\"");
      }
    } else {
      return Usage("unknown option " + arg);
    }
  }
  if (o.sondes != std::floor(o.sondes) || o.sondes < 1 || o.sondes > kMostSondes) {
    return Usage("--sondes must be 1, 2 or 3");
  }
  if (o.sondes > 1 && o.mode != "simulate") return Usage("--sondes is for simulate");
  if (o.speedup < 0 || o.speedup > 1e6) return Usage("--speedup must lie from 0 to 1000000");
  if (o.flight.lat < -90 || o.flight.lat > 90 || o.flight.lon < -180 || o.flight.lon > 180) {
    return Usage("the launch site lies outside the globe");
  }
  if (o.flight.burstAltM <= o.flight.launchAltM || o.flight.burstAltM > 45000 ||
      o.flight.launchAltM < -400) {
    return Usage("--burst must lie above --alt and at most 45000 m");
  }
  if (o.flight.ascentMs < 0.5 || o.flight.ascentMs > 50 || o.flight.descentMs < 0.5 ||
      o.flight.descentMs > 50 || o.flight.windMs < 0 || o.flight.windMs > 100) {
    return Usage("--ascent and --descent lie from 0.5 to 50 m/s, --wind from 0 to 100");
  }
  return 0;
}

// Flight seconds since the program started, by the monotonic clock.
class FlightClock {
 public:
  FlightClock(double speedup, double offset) : speedup_(speedup), offset_(offset) {}
  double Now() const {
    std::chrono::duration<double> real = std::chrono::steady_clock::now() - start_;
    return offset_ + real.count() * speedup_;
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  double speedup_;
  double offset_;
};

std::optional<Answer> ItemFrom(const Telemetry& t, std::int16_t index) {
  if (index < 0 || index >= kItemCount) return std::nullopt;
  return ItemsOf(t)[static_cast<size_t>(index)];
}

int Record(const Options& o) {
  Flight flight(o.flight);
  const double end = o.seconds >= 0 ? o.from + o.seconds : flight.LandingTime() + 1;
  std::vector<Telemetry> rows;
  for (double t = o.from; t < end && rows.size() < 1000000; t += 1) {
    rows.push_back(TelemetryAt(flight, o.id, t));
  }
  std::ofstream out(o.file, std::ios::binary);
  out << FormatFlightLog(rows);
  if (!out.flush()) {
    std::fprintf(stderr, "sonde-sim: cannot write %s\n", o.file.c_str());
    return 1;
  }
  return 0;
}

int Main(int argc, char** argv) {
  Options o;
  bool help = false;
  if (int r = ParseOptions(argc, argv, o, help); r != 0) return r;
  if (help) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (o.mode == "record") return Record(o);

  FlightClock clock(o.speedup, o.offset);
  AnswerSource source;
  auto script = std::make_shared<Script>();
  std::vector<Telemetry> rows;

  std::vector<SimulatedSonde> fleet;
  std::vector<Flight> flights;

  if (o.mode == "simulate") {
    fleet = FleetOf(o.flight, o.id, static_cast<int>(o.sondes));
    for (const SimulatedSonde& sonde : fleet) flights.emplace_back(sonde.flight);
    source = [&](std::int16_t index) {
      return ItemFrom(TelemetryAt(flights.front(), o.id, clock.Now()), index);
    };
    o.service.listSource = [&]() {
      const double now = clock.Now();
      std::vector<decoder::ListedSonde> list;
      for (std::size_t i = 0; i < fleet.size(); ++i) {
        const auto items = ItemsOf(TelemetryAt(flights[i], fleet[i].id, now));
        list.push_back({FrameAgeMs(now, o.speedup), {items.begin(), items.end()}});
      }
      return list;
    };
  } else if (o.mode == "replay") {
    std::string text, error;
    if (!ReadFile(o.file, text)) return Usage("cannot read " + o.file);
    if (!ParseFlightLog(text, o.id.type, rows, error)) return Usage(o.file + ": " + error);
    for (auto& row : rows) {
      row.serial = RepairUtf8(row.serial);
      row.qrg = RepairUtf8(row.qrg);
    }
    source = [&](std::int16_t index) {
      const double now = std::max(clock.Now(), 0.0);
      const auto n = static_cast<double>(rows.size());
      double at = o.loop ? std::fmod(now, n) : std::min(now, n - 1);
      return ItemFrom(rows[static_cast<size_t>(at)], index);
    };
  } else {
    auto load = [&]() {
      std::string text, error;
      Script fresh;
      if (!ReadFile(o.file, text)) {
        error = "cannot read it";
      } else if (ParseScript(text, fresh, error)) {
        *script = std::move(fresh);
        return true;
      }
      std::fprintf(stderr, "sonde-sim: %s: %s\n", o.file.c_str(), error.c_str());
      return false;
    };
    if (!load()) return 2;
    o.service.onReload = [load]() { load(); };
    source = [&](std::int16_t index) -> std::optional<Answer> {
      auto it = script->items.find(index);
      if (it != script->items.end()) return it->second;
      if (index < 0 || index >= kItemCount) return std::nullopt;
      return Answer{};  // EMPTY
    };
  }
  if (!o.service.listSource) {
    o.service.listSource = [&source]() { return ListOfOne(source); };
  }
  decoder::Service service(o.service, source);
  return service.Run();
}

}  // namespace
}  // namespace sondesim

int main(int argc, char** argv) {
  return sondesim::Main(argc, argv);
}
