// sonde-sim for Windows: the decoder stand-in as a COM server (decoder-service registers the
// Automation object in the running object table).
//
//   sonde-sim.exe [--register] [--print-ready] [--seconds N] simulate [--speedup F]
//   sonde-sim.exe [--register] [--print-ready] [--seconds N] script FILE
//   sonde-sim.exe --register
//
// --register writes the ProgID and its class under HKLM\Software\Classes (HKCU is not looked at
// by CLSIDFromProgID under Wine). A script answer "noreply" blocks the call for a minute, as a
// frozen decoder would.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "answers.h"
#include "decoder-service/service.h"
#include "flight_model.h"
#include "script.h"

namespace {

using decoder::AnswerSource;

int Usage() {
  std::fputs(
      "usage: sonde-sim.exe [--register] [--print-ready] [--seconds N] simulate [--speedup F]\n"
      "       sonde-sim.exe [--register] [--print-ready] [--seconds N] script FILE\n"
      "       sonde-sim.exe --register\n",
      stderr);
  return 2;
}

std::optional<AnswerSource> ScriptSource(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "sonde-sim: cannot read %s\n", path);
    return std::nullopt;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  sondesim::Script script;
  std::string error;
  if (!sondesim::ParseScript(text, script, error)) {
    std::fprintf(stderr, "sonde-sim: %s: %s\n", path, error.c_str());
    return std::nullopt;
  }
  return AnswerSource([script](std::int16_t index) -> std::optional<sondesim::Answer> {
    const auto found = script.items.find(index);
    return found != script.items.end() ? found->second : sondesim::Answer{};
  });
}

AnswerSource SimulatedSource(double speedup) {
  using Steady = std::chrono::steady_clock;
  auto flight = std::make_shared<sondesim::Flight>(sondesim::FlightParams{});
  sondesim::SondeIdentity id;
  id.launchUnixSeconds = static_cast<std::int64_t>(std::time(nullptr));
  const auto start = Steady::now();
  return [flight, id, start, speedup](std::int16_t index) -> std::optional<sondesim::Answer> {
    if (index < 0 || index >= sondesim::kItemCount) return std::nullopt;
    const double seconds = std::chrono::duration<double>(Steady::now() - start).count() * speedup;
    return sondesim::ItemsOf(sondesim::TelemetryAt(*flight, id, seconds))[index];
  };
}

}  // namespace

int main(int argc, char** argv) {
  bool registerProgId = false;
  bool printReady = false;
  double seconds = 0;
  double speedup = 1;
  std::string mode;
  std::string scriptPath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--register") {
      registerProgId = true;
    } else if (arg == "--print-ready") {
      printReady = true;
    } else if (arg == "--seconds" && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else if (arg == "--speedup" && i + 1 < argc) {
      speedup = std::atof(argv[++i]);
    } else if (arg == "simulate" && mode.empty()) {
      mode = arg;
    } else if (arg == "script" && mode.empty() && i + 1 < argc) {
      mode = arg;
      scriptPath = argv[++i];
    } else {
      return Usage();
    }
  }
  if (registerProgId && !decoder::RegisterProgId()) {
    std::fputs("sonde-sim: cannot write the ProgID under HKLM\\Software\\Classes\n", stderr);
    return 1;
  }
  if (mode.empty()) return registerProgId ? 0 : Usage();

  std::optional<AnswerSource> source =
      mode == "script" ? ScriptSource(scriptPath.c_str()) : SimulatedSource(speedup);
  if (!source) return 1;

  decoder::ServiceOptions options;
  options.program = "sonde-sim";
  options.printReady = printReady;
  options.stopAfterSeconds = seconds;
  decoder::Service service(options, std::move(*source));
  return service.Run();
}
