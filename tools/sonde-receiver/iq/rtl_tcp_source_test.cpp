#include "iq/rtl_tcp_source.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <future>
#include <thread>

#include "iq/rtl_tcp_protocol.h"

namespace receiver {
namespace {

// A tiny rtl_tcp server on 127.0.0.1: each accepted connection runs `script` on the server's
// thread, which then closes it. Every wait is bounded, so a failing test cannot hang.
class ScriptedServer {
 public:
  using Script = std::function<void(int fd, int connection)>;

  explicit ScriptedServer(Script script) : script_(std::move(script)) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    EXPECT_EQ(listen(listener_, 4), 0);
    socklen_t len = sizeof(addr);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~ScriptedServer() {
    stop_ = true;
    thread_.join();
    close(listener_);
  }
  int port() const { return port_; }
  int connections() const { return connections_; }
  bool stopping() const { return stop_; }

 private:
  void Run() {
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (poll(&p, 1, 10) <= 0) continue;
      const int fd = accept(listener_, nullptr, nullptr);
      if (fd < 0) continue;
      script_(fd, connections_++);
      close(fd);
    }
  }

  Script script_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<int> connections_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

void SendBytes(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

void SendGreeting(int fd) {
  const auto g = EncodeRtlTcpGreeting({5, 29});
  SendBytes(fd, std::vector<std::uint8_t>(g.begin(), g.end()));
}

// Reads the client's commands until `want` of them came or the wait ran out.
std::vector<RtlTcpCommandMessage> ReadCommands(int fd, std::size_t want, int timeout_ms = 2000) {
  std::vector<RtlTcpCommandMessage> out;
  std::vector<std::uint8_t> buf;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (out.size() < want && std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 10) <= 0) continue;
    std::uint8_t chunk[64];
    const ssize_t n = recv(fd, chunk, sizeof(chunk), 0);
    if (n <= 0) break;
    buf.insert(buf.end(), chunk, chunk + n);
    while (buf.size() >= kRtlTcpCommandSize) {
      out.push_back(*ParseRtlTcpCommand(std::span(buf).first(kRtlTcpCommandSize)));
      buf.erase(buf.begin(), buf.begin() + kRtlTcpCommandSize);
    }
  }
  return out;
}

// Waits, bounded, until the client has closed its end.
void WaitForClientClose(int fd, const ScriptedServer* server = nullptr) {
  for (int k = 0; k < 300 && !(server && server->stopping()); ++k) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 10) <= 0) continue;
    std::uint8_t chunk[256];
    if (recv(fd, chunk, sizeof(chunk), 0) <= 0) return;
  }
}

RtlTcpOptions Quick(int port) {
  RtlTcpOptions o;
  o.port = port;
  o.connect_timeout_ms = 1000;
  o.greeting_timeout_ms = 300;
  o.stall_timeout_ms = 300;
  o.retry_interval_ms = 20;
  o.tune_drop_samples = 0;
  return o;
}

// Reads until `want` samples or a status other than kOk/kTimeout, bounded in rounds.
ReadStatus ReadSamples(RtlTcpSource& source, std::vector<std::complex<float>>& out,
                       std::size_t want, std::size_t chunk = 4096) {
  ReadStatus status = ReadStatus::kTimeout;
  for (int round = 0; round < 400 && out.size() < want; ++round) {
    status = source.Read(out, std::min(chunk, want - out.size()), 20);
    if (status == ReadStatus::kGone || status == ReadStatus::kEnd) return status;
  }
  return status;
}

std::vector<std::string> Events(RtlTcpSource& source) {
  std::vector<std::string> out;
  for (std::string e = source.TakeEvent(); !e.empty(); e = source.TakeEvent()) out.push_back(e);
  return out;
}

std::uint8_t IByte(const std::complex<float>& s) {
  return static_cast<std::uint8_t>(std::lround(s.real() * 128 + 127.4f));
}
std::uint8_t QByte(const std::complex<float>& s) {
  return static_cast<std::uint8_t>(std::lround(s.imag() * 128 + 127.4f));
}

TEST(RtlTcpSource, ConnectsSendsItsSettingsAndReads) {
  std::promise<std::vector<RtlTcpCommandMessage>> commands;
  ScriptedServer server([&](int fd, int connection) {
    if (connection > 0) return;
    SendGreeting(fd);
    commands.set_value(ReadCommands(fd, 6));
    std::vector<std::uint8_t> data;
    for (int k = 0; k < 1000; ++k) {
      data.push_back(static_cast<std::uint8_t>(k));
      data.push_back(static_cast<std::uint8_t>(255 - k));
    }
    SendBytes(fd, data);
    WaitForClientClose(fd);
  });
  RtlTcpOptions options = Quick(server.port());
  options.center_hz = 402.7e6;
  options.ppm = -2;
  options.gain_db = 40.2;
  RtlTcpSource source(options);
  std::vector<std::complex<float>> got;
  EXPECT_EQ(ReadSamples(source, got, 1000), ReadStatus::kOk);
  ASSERT_EQ(got.size(), 1000u);
  for (int k = 0; k < 1000; ++k) {
    ASSERT_EQ(IByte(got[k]), static_cast<std::uint8_t>(k)) << k;
    ASSERT_EQ(QByte(got[k]), static_cast<std::uint8_t>(255 - k)) << k;
  }
  auto sent = commands.get_future().get();
  ASSERT_EQ(sent.size(), 6u);
  EXPECT_EQ(sent[0].command, 0x02);
  EXPECT_EQ(sent[0].param, 2048000u);
  EXPECT_EQ(sent[1].command, 0x01);
  EXPECT_EQ(sent[1].param, 402700000u);
  EXPECT_EQ(sent[2].command, 0x03);
  EXPECT_EQ(sent[2].param, 1u);
  EXPECT_EQ(sent[3].command, 0x04);
  EXPECT_EQ(sent[3].param, 402u);
  EXPECT_EQ(sent[4].command, 0x05);
  EXPECT_EQ(static_cast<std::int32_t>(sent[4].param), -2);
  EXPECT_EQ(sent[5].command, 0x0e);
  const auto events = Events(source);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0], "rtl_tcp 127.0.0.1:" + std::to_string(server.port()) + ": R820T, 29 gains");
}

struct BadServerCase {
  std::string name;
  std::vector<std::uint8_t> greeting;  // sent, then the server keeps silent until closed
  std::string reason;
};

class RtlTcpBadServerTest : public ::testing::TestWithParam<BadServerCase> {};

TEST_P(RtlTcpBadServerTest, IsGoneWithOneEvent) {
  const auto& c = GetParam();
  ScriptedServer server([&](int fd, int) {
    SendBytes(fd, c.greeting);
    WaitForClientClose(fd);
  });
  RtlTcpOptions options = Quick(server.port());
  options.greeting_timeout_ms = 40;
  RtlTcpSource source(options);
  std::vector<std::complex<float>> got;
  ReadStatus status = ReadStatus::kTimeout;
  for (int k = 0; k < 100 && status != ReadStatus::kGone; ++k) status = source.Read(got, 64, 20);
  EXPECT_EQ(status, ReadStatus::kGone);
  EXPECT_TRUE(got.empty());
  EXPECT_FALSE(source.Connected());
  // Tries again (and fails again) without saying so twice.
  for (int k = 0; k < 3; ++k) EXPECT_EQ(source.Read(got, 64, 50), ReadStatus::kGone);
  const auto events = Events(source);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].rfind("dongle gone, trying again every 20 ms", 0), 0u) << events[0];
  EXPECT_NE(events[0].find(c.reason), std::string::npos) << events[0];
}

INSTANTIATE_TEST_SUITE_P(
    Servers, RtlTcpBadServerTest,
    ::testing::Values(BadServerCase{"WrongMagic",
                                    {'R', 'T', 'L', '1', 0, 0, 0, 5, 0, 0, 0, 29},
                                    "not an rtl_tcp greeting"},
                      BadServerCase{"HttpAnswer",
                                    {'H', 'T', 'T', 'P', '/', '1', '.', '0', ' ', '4', '0', '4'},
                                    "not an rtl_tcp greeting"},
                      BadServerCase{"SilentServer", {}, "no greeting"},
                      BadServerCase{"HalfAGreeting", {'R', 'T', 'L', '0', 0, 0}, "no greeting"}),
    [](const auto& info) { return info.param.name; });

TEST(RtlTcpSource, NobodyListeningIsGone) {
  int port;
  {
    ScriptedServer server([](int, int) {});
    port = server.port();
  }  // closed: the port refuses now
  RtlTcpSource source(Quick(port));
  std::vector<std::complex<float>> got;
  EXPECT_EQ(source.Read(got, 64, 20), ReadStatus::kGone);
  const auto events = Events(source);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_NE(events[0].find("dongle gone"), std::string::npos);
}

TEST(RtlTcpSource, ServerClosingMidStreamKeepsWhatCameThenIsGone) {
  ScriptedServer server([&](int fd, int connection) {
    if (connection > 0) {
      WaitForClientClose(fd);
      return;
    }
    SendGreeting(fd);
    ReadCommands(fd, 6);
    SendBytes(fd, std::vector<std::uint8_t>(301, 200));  // closes after an odd byte
  });
  RtlTcpOptions options = Quick(server.port());
  options.retry_interval_ms = 60000;  // no second attempt within this test
  RtlTcpSource source(options);
  std::vector<std::complex<float>> got;
  EXPECT_EQ(ReadSamples(source, got, 1000), ReadStatus::kGone);
  EXPECT_EQ(got.size(), 150u);
  const auto events = Events(source);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_NE(events[1].find("the server closed"), std::string::npos) << events[1];
  EXPECT_EQ(source.Read(got, 64, 10), ReadStatus::kGone);  // waiting out the back-off
  EXPECT_EQ(got.size(), 150u);
}

TEST(RtlTcpSource, StallingServerIsGone) {
  ScriptedServer server([&](int fd, int connection) {
    if (connection == 0) {
      SendGreeting(fd);
      SendBytes(fd, std::vector<std::uint8_t>(64, 100));
    }
    WaitForClientClose(fd);  // keeps the socket open, sends nothing
  });
  RtlTcpOptions options = Quick(server.port());
  options.stall_timeout_ms = 100;
  options.retry_interval_ms = 60000;
  RtlTcpSource source(options);
  std::vector<std::complex<float>> got;
  ReadStatus status = ReadStatus::kOk;
  int timeouts = 0;
  for (int k = 0; k < 200 && status != ReadStatus::kGone; ++k) {
    status = source.Read(got, 64, 20);
    if (status == ReadStatus::kTimeout) ++timeouts;
  }
  EXPECT_EQ(status, ReadStatus::kGone);
  EXPECT_GT(timeouts, 0);
  EXPECT_EQ(got.size(), 32u);
  const auto events = Events(source);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_NE(events[1].find("no data for 100 ms"), std::string::npos) << events[1];
}

TEST(RtlTcpSource, OddSplitsNeverSwapIAndQ) {
  // The server sends 3 bytes at a time, each after the client has read, so every read but
  // the first starts with the half pair left from the one before.
  std::atomic<int> reads{0};
  ScriptedServer server([&](int fd, int connection) {
    if (connection > 0) return;
    SendGreeting(fd);
    ReadCommands(fd, 6);
    std::uint8_t next = 0;
    for (int chunk = 0; chunk < 20; ++chunk) {
      std::vector<std::uint8_t> three;
      for (int k = 0; k < 3; ++k) three.push_back(next++);
      SendBytes(fd, three);
      for (int wait = 0; wait < 200 && reads.load() <= chunk; ++wait) poll(nullptr, 0, 1);
    }
    WaitForClientClose(fd, &server);
  });
  RtlTcpSource source(Quick(server.port()));
  std::vector<std::complex<float>> got;
  for (int round = 0; round < 400 && got.size() < 30; ++round) {
    const std::size_t before = got.size();
    const ReadStatus status = source.Read(got, 64, 20);
    ASSERT_NE(status, ReadStatus::kGone);
    if (got.size() > before) ++reads;
  }
  ASSERT_EQ(got.size(), 30u);
  for (std::size_t k = 0; k < got.size(); ++k) {
    EXPECT_EQ(IByte(got[k]), 2 * k) << k;
    EXPECT_EQ(QByte(got[k]), 2 * k + 1) << k;
  }
}

TEST(RtlTcpSource, ReconnectsWhenTheServerIsBack) {
  ScriptedServer server([&](int fd, int connection) {
    if (connection == 1) return;  // a restarting server: accepts and drops at once
    SendGreeting(fd);
    ReadCommands(fd, 6);
    SendBytes(fd, std::vector<std::uint8_t>(200, connection == 0 ? 10 : 20));
    if (connection == 2) WaitForClientClose(fd, &server);
  });
  RtlTcpSource source(Quick(server.port()));
  std::vector<std::complex<float>> first;
  EXPECT_EQ(ReadSamples(source, first, 10000), ReadStatus::kGone);
  EXPECT_EQ(first.size(), 100u);
  std::vector<std::complex<float>> second;
  ReadStatus status = ReadStatus::kGone;
  for (int k = 0; k < 200 && second.size() < 100; ++k) {
    status = source.Read(second, 100, 20);
  }
  EXPECT_EQ(status, ReadStatus::kOk);
  ASSERT_EQ(second.size(), 100u);
  EXPECT_EQ(IByte(second[0]), 20);
  EXPECT_EQ(server.connections(), 3);
  const auto events = Events(source);
  ASSERT_EQ(events.size(), 3u) << testing::PrintToString(events);
  EXPECT_NE(events[0].find("R820T, 29 gains"), std::string::npos);
  EXPECT_NE(events[1].find("dongle gone, trying again every 20 ms"), std::string::npos);
  EXPECT_NE(events[2].find("R820T, 29 gains, back"), std::string::npos);
}

TEST(RtlTcpSource, TuneDropsTheSamplesOfTheOldCentre) {
  // Old-centre bytes are 10 (already sent) and 20 (still in the server's hands); the new
  // centre's are 30. Only 30s may reach the reader after Tune().
  std::promise<void> old_sent;
  std::promise<std::vector<RtlTcpCommandMessage>> retune;
  ScriptedServer server([&](int fd, int connection) {
    if (connection > 0) return;
    SendGreeting(fd);
    ReadCommands(fd, 6);
    SendBytes(fd, std::vector<std::uint8_t>(2000, 10));
    old_sent.set_value();
    auto tune = ReadCommands(fd, 1);
    retune.set_value(tune);
    SendBytes(fd, std::vector<std::uint8_t>(2 * 50, 20));
    SendBytes(fd, std::vector<std::uint8_t>(2 * 500, 30));
    WaitForClientClose(fd, &server);
  });
  RtlTcpOptions options = Quick(server.port());
  options.tune_drop_samples = 50;
  RtlTcpSource source(options);
  std::vector<std::complex<float>> got;
  // The first 50 after connecting are dropped as well; read a few of the rest.
  ASSERT_EQ(ReadSamples(source, got, 10, 10), ReadStatus::kOk);
  EXPECT_EQ(IByte(got[0]), 10);
  old_sent.get_future().wait();
  EXPECT_TRUE(source.Tune(404.2e6));
  EXPECT_DOUBLE_EQ(source.CenterHz(), 404.2e6);
  auto tune = retune.get_future().get();
  ASSERT_EQ(tune.size(), 1u);
  EXPECT_EQ(tune[0].command, 0x01);
  EXPECT_EQ(tune[0].param, 404200000u);
  std::vector<std::complex<float>> after;
  ReadSamples(source, after, 500);
  ASSERT_EQ(after.size(), 500u);
  for (const auto& s : after) ASSERT_EQ(IByte(s), 30);
}

TEST(RtlTcpSource, TuneBeforeConnectingIsTheCentreItConnectsWith) {
  std::promise<std::vector<RtlTcpCommandMessage>> commands;
  ScriptedServer server([&](int fd, int connection) {
    if (connection > 0) return;
    SendGreeting(fd);
    commands.set_value(ReadCommands(fd, 6));
    WaitForClientClose(fd, &server);
  });
  RtlTcpSource source(Quick(server.port()));
  EXPECT_TRUE(source.Tune(401.5e6));
  EXPECT_FALSE(source.Tune(-1));
  EXPECT_FALSE(source.Tune(std::nan("")));
  std::vector<std::complex<float>> got;
  source.Read(got, 16, 20);
  auto sent = commands.get_future().get();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[1].param, 401500000u);
}

struct AddressCase {
  std::string text;
  bool valid;
  std::string host;
  int port;
};

class RtlTcpAddressTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(RtlTcpAddressTest, HostAndPort) {
  const auto& c = GetParam();
  RtlTcpOptions options;
  options.host = "unchanged";
  options.port = 7;
  EXPECT_EQ(ParseRtlTcpAddress(c.text, options), c.valid);
  EXPECT_EQ(options.host, c.valid ? c.host : "unchanged");
  EXPECT_EQ(options.port, c.valid ? c.port : 7);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, RtlTcpAddressTest,
    ::testing::Values(AddressCase{"127.0.0.1:1234", true, "127.0.0.1", 1234},
                      AddressCase{"pi.local:7373", true, "pi.local", 7373},
                      AddressCase{"192.168.1.20", true, "192.168.1.20", 1234},
                      AddressCase{"[::1]:1235", true, "::1", 1235},
                      AddressCase{"[fe80::1]", true, "fe80::1", 1234},
                      AddressCase{"::1", false, "", 0}, AddressCase{"host:", false, "", 0},
                      AddressCase{":1234", false, "", 0}, AddressCase{"host:0", false, "", 0},
                      AddressCase{"host:65536", false, "", 0},
                      AddressCase{"host:12a", false, "", 0}, AddressCase{"[::1", false, "", 0},
                      AddressCase{"[::1]1234", false, "", 0}, AddressCase{"", false, "", 0},
                      AddressCase{"host:99999999999", false, "", 0}));

struct IntervalCase {
  int ms;
  std::string text;
};

class IntervalTextTest : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(IntervalTextTest, SecondsWhenWhole) {
  EXPECT_EQ(IntervalText(GetParam().ms), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Intervals, IntervalTextTest,
                         ::testing::Values(IntervalCase{5000, "5 s"}, IntervalCase{1000, "1 s"},
                                           IntervalCase{250, "250 ms"},
                                           IntervalCase{1500, "1500 ms"}, IntervalCase{0, "0 s"}));

}  // namespace
}  // namespace receiver
