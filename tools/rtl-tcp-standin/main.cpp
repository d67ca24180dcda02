// rtl-tcp-standin: an rtl_tcp server on 127.0.0.1 synthesising the 400-406 MHz band, for the
// receiver's tests and demos without a dongle.

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "band_scene.h"
#include "flight.h"
#include "standin_args.h"
#include "standin_server.h"
#if STANDIN_HAVE_RS41
#include "rs41_sonde.h"
#endif
#if STANDIN_HAVE_DFM
#include "dfm_sonde.h"
#endif

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) {
  g_stop = true;
}

constexpr float kNoiseSigma = 0.04f;  // about 5 counts of the dongle's bytes
constexpr float kCwAmplitude = 0.1f;
constexpr float kFmAmplitude = 0.1f;
constexpr float kSpurAmplitude = 0.2f;

}  // namespace

int main(int argc, char** argv) {
  using namespace standin;
  std::string error;
  const auto args = ParseStandinArgs(std::vector<std::string>(argv + 1, argv + argc), &error);
  if (!args) {
    std::fprintf(stderr, "rtl-tcp-standin: %s\n%s", error.c_str(), kStandinUsage);
    return 2;
  }
  if (args->help) {
    std::fputs(kStandinUsage, stdout);
    return 0;
  }

  BandScene scene(kNoiseSigma, args->seed);
  for (double hz : args->cw_hz) scene.AddSource(std::make_unique<CwSource>(hz, kCwAmplitude));
  std::uint32_t voice_seed = args->seed;
  for (double hz : args->fm_voice_hz) {
    scene.AddSource(std::make_unique<FmVoiceSource>(hz, kFmAmplitude, ++voice_seed));
  }
  for (double offset : args->spur_offset_hz) {
    scene.AddSource(std::make_unique<SpurSource>(offset, kSpurAmplitude));
  }
  int sonde_index = 0;
#if STANDIN_HAVE_RS41
  for (const auto& sonde : args->rs41) {
    const std::string serial =
        sonde.serial.empty() ? MadeUpRs41Serial(sonde_index, args->seed) : sonde.serial;
    scene.AddSource(MakeRs41Sonde(sonde.frequency_hz, serial, PlanForSonde(sonde_index, args->seed),
                                  args->snr_db, kNoiseSigma));
    ++sonde_index;
  }
#else
  if (!args->rs41.empty()) {
    std::fprintf(stderr, "rtl-tcp-standin: built without the RS41 encoder\n");
    return 2;
  }
#endif
#if STANDIN_HAVE_DFM
  for (const bool inverted : {false, true}) {
    for (const auto& sonde : inverted ? args->dfm_inverted : args->dfm) {
      scene.AddSource(MakeDfmSonde(sonde.frequency_hz, sonde.serial, sonde_index, args->seed,
                                   args->snr_db, kNoiseSigma, inverted));
      ++sonde_index;
    }
  }
#else
  if (!args->dfm.empty() || !args->dfm_inverted.empty()) {
    std::fprintf(stderr, "rtl-tcp-standin: built without the DFM encoder\n");
    return 2;
  }
#endif
  (void)sonde_index;

  ServerOptions options;
  options.port = args->port;
  options.crystal_ppm = args->ppm;
  options.close_after_s = args->close_after_s;
  options.stall_after_s = args->stall_after_s;
  options.bad_greeting = args->bad_greeting;
  StandinServer server(scene, options);
  if (!server.Listen(&error)) {
    std::fprintf(stderr, "rtl-tcp-standin: cannot listen on 127.0.0.1:%d: %s\n", args->port,
                 error.c_str());
    return 1;
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGPIPE, SIG_IGN);
  std::printf("listening on %d\n", server.Port());
  std::fflush(stdout);
  server.Serve(g_stop);
  return 0;
}
