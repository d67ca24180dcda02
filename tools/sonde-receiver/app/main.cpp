// sonde-receiver: finds the radiosondes of the band with an RTL-SDR, tells their kind and
// decodes them; one JSON line per frame on standard output, one line per event on standard
// error. SIGUSR1 prints the counts; SIGTERM and SIGINT end it.

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/dsp_parts.h"
#include "app/engine.h"
#include "app/options.h"
#include "iq/file_source.h"
#include "iq/rtl_tcp_source.h"
#include "iq/rtlsdr_source.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_counts = 0;

void OnStop(int) {
  g_stop = 1;
}
void OnCounts(int) {
  g_counts = 1;
}

void CatchSignals() {
  struct sigaction action {};
  action.sa_handler = OnStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  action.sa_handler = OnCounts;
  sigaction(SIGUSR1, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace receiver;
  const ParsedOptions parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.options) {
    std::cerr << "sonde-receiver: " << parsed.error << '\n';
    return 2;
  }
  const Options& options = *parsed.options;
  if (options.help) {
    std::cout << UsageText();
    return 0;
  }
  if (options.version) {
    std::cout << "sonde-receiver " << NIMBRIX_RECEIVER_VERSION << '\n';
    return 0;
  }

  EngineConfig config;
  config.band.low_hz = options.band_low_hz;
  config.band.high_hz = options.band_high_hz;
  config.band.sample_rate = options.sample_rate;
  config.book.ignored_hz = options.ignored_hz;
  config.initial_ppm = options.ppm;

  // The dongle is tuned as asked; its error is taken off in software, from --ppm until the
  // RS41s tell it.
  std::unique_ptr<IqSource> source;
  RtlSdrSource* dongle = nullptr;
  const double first_center = BandPlan(config.band).Spans().front().center_hz;
  switch (options.source) {
    case SourceKind::kDevice: {
      if (!RtlSdrSource::Available()) {
        std::cerr << "sonde-receiver: --device: this build has no librtlsdr (use --rtl-tcp)\n";
        return 2;
      }
      RtlSdrOptions dongle_options;
      dongle_options.device = options.device;
      dongle_options.sample_rate = options.sample_rate;
      dongle_options.center_hz = first_center;
      dongle_options.gain_db = options.gain_db;
      dongle_options.bias_tee = options.bias_tee;
      auto local = std::make_unique<RtlSdrSource>(dongle_options);
      dongle = local.get();
      source = std::move(local);
      break;
    }
    case SourceKind::kRtlTcp: {
      RtlTcpOptions tcp_options;
      tcp_options.host = options.host;
      tcp_options.port = options.port;
      tcp_options.sample_rate = options.sample_rate;
      tcp_options.center_hz = first_center;
      tcp_options.gain_db = options.gain_db;
      tcp_options.bias_tee = options.bias_tee;
      // A connection attempt is made inside Read(): kept short so a stop is never held up.
      tcp_options.connect_timeout_ms = 1200;
      tcp_options.greeting_timeout_ms = 1200;
      source = std::make_unique<RtlTcpSource>(tcp_options);
      break;
    }
    case SourceKind::kCapture: {
      std::string error;
      source = FileSource::Open(options.capture_path, options.capture_rate,
                                options.capture_center_hz, &error);
      if (!source) {
        std::cerr << "sonde-receiver: --iq: " << error << '\n';
        return 2;
      }
      // A capture stays at its centre: the band is what it holds.
      config.band.sample_rate = options.capture_rate;
      if (!options.band_given) {
        const double half = options.capture_rate * config.band.usable_fraction / 2;
        config.band.low_hz = options.capture_center_hz - half;
        config.band.high_hz = options.capture_center_hz + half;
      }
      break;
    }
  }
  config.book.sample_rate = config.band.sample_rate;
  config.block_samples = static_cast<std::size_t>(config.band.sample_rate / 32);

  DspPartsConfig parts_config;
  parts_config.sample_rate = config.band.sample_rate;
  parts_config.decoders_dir = options.decoders_dir;
  if (const char* path = std::getenv("PATH")) parts_config.path = path;
  std::unique_ptr<ReceiverParts> parts = MakeDspParts(parts_config);
  if (!parts) {
    std::cerr << "sonde-receiver: this build has no DSP\n";
    return 2;
  }

  CatchSignals();
  Engine engine(*source, *parts, config, std::cout, std::cerr);
  // Every wait of the loop is bounded (a read waits at most 200 ms), so a signal is seen soon.
  while (!g_stop) {
    if (g_counts) {
      g_counts = 0;
      std::cerr << engine.CountsText(dongle ? dongle->Dropped() / 2 : 0) << '\n' << std::flush;
    }
    if (!engine.RunOnce(200)) break;
  }
  return 0;
}
