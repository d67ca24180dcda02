#pragma once
// An rtl_tcp server on 127.0.0.1 that sends what the band scene makes, paced by the wall
// clock at the sample rate the client asked for. One client at a time, like rtl_tcp; the
// faults a real server shows on request: closing, stalling, a wrong greeting.

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "band_scene.h"
#include "iq/rtl_tcp_protocol.h"

namespace standin {

// The 5-byte commands out of a byte stream that may split them anywhere.
class CommandStream {
 public:
  void Push(std::span<const std::uint8_t> bytes);
  std::optional<receiver::RtlTcpCommandMessage> Next();

 private:
  std::vector<std::uint8_t> buffer_;
};

// The simulated dongle as the client has set it.
struct DongleState {
  Tuning tuning;
  double crystal_ppm = 0;  // how wrong the simulated dongle is
  int correction_ppm = 0;  // what the client corrects by
  bool manual_gain = false;
  int gain_tenths_db = 0;
  bool bias_tee = false;
};

// Applies one client command; false for one this dongle ignores or a value it refuses.
bool ApplyCommand(const receiver::RtlTcpCommandMessage& command, DongleState& dongle);

struct ServerOptions {
  int port = 1234;  // 0: any free port
  double center_hz = 403e6;
  double sample_rate = 2048000;
  double crystal_ppm = 0;
  double close_after_s = -1;  // < 0: never
  double stall_after_s = -1;
  bool bad_greeting = false;
  std::size_t block_samples = 16384;
};

class StandinServer {
 public:
  StandinServer(BandScene& scene, ServerOptions options);
  ~StandinServer();
  StandinServer(const StandinServer&) = delete;
  StandinServer& operator=(const StandinServer&) = delete;

  bool Listen(std::string* error);
  int Port() const { return port_; }
  // Serves clients one after the other until `stop` is set; every wait is bounded.
  void Serve(const std::atomic<bool>& stop);
  long long Connections() const { return connections_; }

 private:
  void ServeClient(int fd, const std::atomic<bool>& stop);

  BandScene& scene_;
  ServerOptions options_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<long long> connections_{0};
  double scene_time_ = 0;  // seconds of band sent so far, across connections
};

}  // namespace standin
