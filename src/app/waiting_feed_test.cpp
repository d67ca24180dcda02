// The outputs beside the primary link get every frame while the primary link waits: its report
// spacing, a connect pass that finds no server, a send held by a stuck server. The decoder
// makes a frame a second on the clock, as real decoders do, and whole runs are compared with
// the same runs without the feed: the primary's bytes and records are the same.

#include "app/waiting_feed.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/fake/fake_platform.h"
#include "app/primary_link.h"
#include "app/station.h"
#include "outputs/udp_summary.h"
#include "platform/fake/fake_http_requester.h"
#include "platform/fake/fake_socket.h"
#include "sondehub/sondehub_output.h"
#include "telemetry/decoder_items.h"
#include "uplink/connection.h"
#include "version/version.h"

namespace nimbrix {
namespace {

using fake::FakeClock;
using fake::FakeHttpRequester;
using fake::FakeNameResolver;
using fake::FakePlatform;
using fake::FakeTcpSocket;
using fake::FakeUdpSocket;

constexpr long kFirstFrame = 4000;

// A sonde climbing from 300 m at 5 m/s, one frame a second on the clock, whatever is asked.
class ClockedDecoder : public Automation {
 public:
  explicit ClockedDecoder(FakeClock& clock) : clock_(clock) {}
  bool Attach(std::string_view) override { return attached_ = true; }
  bool IsAttached() const override { return attached_; }
  void Release() override { attached_ = false; }
  CallResult Call(std::string_view, std::int16_t item) override {
    if (onCall) onCall(clock_.MonotonicMs());
    return Item(item, 0);
  }
  // With `listed` sondes, the list has them all, the followed one first; each of the others
  // has its own serial, place and frame numbers.
  std::optional<std::vector<ListedEntry>> CallList(std::string_view) override {
    if (listed == 0) return std::nullopt;
    std::vector<ListedEntry> entries;
    for (int sonde = 0; sonde < listed; ++sonde) {
      ListedEntry entry{static_cast<std::uint32_t>(clock_.MonotonicMs() % 1000), {}};
      for (int i = 0; i < kDecoderItemCount; ++i) {
        entry.items.push_back(Item(static_cast<std::int16_t>(i), sonde));
      }
      entries.push_back(std::move(entry));
    }
    return entries;
  }
  int listed = 0;

  CallResult Item(std::int16_t item, int sonde) const {
    const std::int64_t s = Second();
    const double alt = 300 + 5.0 * static_cast<double>(s);
    char time[32];
    std::snprintf(time, sizeof time, "2026-12-08 21:%02d:%02d", static_cast<int>(s / 60 % 60),
                  static_cast<int>(s % 60));
    const char* const serials[] = {"S2410203", "DFM-314377", "S3320001"};
    switch (item) {
      case kSerial:
        return Ok(Variant::Text(serials[sonde % 3]));
      case kLatitude:
        return Ok(Variant::Real(48.1 + sonde + 0.0001 * static_cast<double>(s)));
      case kLongitude:
        return Ok(Variant::Real(11.5));
      case kAltitude:
        return Ok(Variant::Real(alt));
      case kHeading:
        return Ok(Variant::Real(90));
      case kSpeed:
        return Ok(Variant::Real(4));
      case kTimeText:
        return Ok(Variant::Text(time));
      case kQrg:
        return Ok(Variant::Text("403.500"));
      case kClimb:
        return Ok(Variant::Real(5));
      case kFrame:
        return Ok(Variant::Signed(kFirstFrame + 1000 * sonde + s));
      case kTimeMs:
        return Ok(Variant::Signed(1796763600000 + s * 1000, VT_I8));
      case kKind:
        return Ok(Variant::Text(sonde == 1 ? "DFM09" : "RS41-SG"));
      default:
        return {Variant::Empty(), CallOutcome::kFailed};
    }
  }
  // The frame the decoder has now.
  long Frame() const { return kFirstFrame + static_cast<long>(Second()); }
  std::function<void(std::int64_t)> onCall;

 private:
  static CallResult Ok(Variant v) { return {std::move(v), CallOutcome::kOk}; }
  std::int64_t Second() const { return clock_.MonotonicMs() / 1000; }
  FakeClock& clock_;
  bool attached_ = false;
};

std::string Gunzip(const std::string& data) {
  z_stream stream{};
  inflateInit2(&stream, 15 + 16);
  std::string out(1 << 20, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  inflate(&stream, Z_FINISH);
  out.resize(out.size() - stream.avail_out);
  inflateEnd(&stream);
  return out;
}

// The peers' ends, kept past the outputs that own them (they end with the station).
struct KeptUdpSocket : FakeUdpSocket {
  std::vector<std::string>* kept = nullptr;
  SocketStatus SendTo(std::uint32_t address, int port, std::string_view datagram) override {
    kept->emplace_back(datagram);
    return FakeUdpSocket::SendTo(address, port, datagram);
  }
};
// The server stops taking data (from the 20th second); a new connection works again.
struct StuckOnceSocket : FakeTcpSocket {
  using FakeTcpSocket::FakeTcpSocket;
  SocketStatus StartConnect(const std::string& host, int port) override {
    writableAfterMs = 0;
    return FakeTcpSocket::StartConnect(host, port);
  }
};

struct KeptHttpRequester : FakeHttpRequester {
  using FakeHttpRequester::FakeHttpRequester;
  std::vector<HttpRequest>* kept = nullptr;
  bool Start(HttpRequest request) override {
    kept->push_back(request);
    return FakeHttpRequester::Start(std::move(request));
  }
};

enum class Link {
  kUp,        // the server takes every line: the report spacing is the only wait
  kNoServer,  // every entry refuses, pass after pass
  kSendHeld,  // the server stops taking data for a minute, then a new connection works
};

struct StationRun {
  std::vector<long> udpFrames;  // the frame of each datagram of the followed sonde, in order
  std::vector<long> hubFrames;  // the frame of each SondeHub record, in order
  std::string primaryBytes;     // everything the primary link sent, over every connection
  std::string errorLog;
  std::vector<std::string> primaryEvents;  // the primary connection's steps, in order
  long lastFrame = 0;                      // the decoder's frame at the end
  // Every sonde's frames, by the serial each peer has it under.
  std::map<std::string, std::vector<long>> udpBySonde, hubBySonde;
};

// Runs the station for `seconds` on the fake clock with the SondeHub feed and the chase-car
// summary; `feed` false runs it as it was before it fed the outputs while waiting.
StationRun RunStation(Link link, int seconds, bool feed, int listed = 0,
                      const std::string& moreIni = "") {
  FakePlatform f;
  ClockedDecoder decoder(f.clock);
  decoder.listed = listed;
  StuckOnceSocket socket(f.clock, &f.journal);
  socket.servers["aprs.local:14580"] = 0;
  socket.serverText["aprs.local:14580"] = {"# logresp N0CALL-11 verified, server T\r\n"};
  Connection connection(socket, f.clock, {}, {}, &f.waits);
  f.files.contents["NIMBRIX.INI"] =
      "USER=N0CALL-11\r\nPASS=12345\r\nSTATUS=gw\r\nSERVER=aprs.local,14580\r\n"
      "SONDEHUB=YES\r\nSONDEHUB_URL=http://hub.test\r\n" +
      moreIni;
  f.http.reply = std::string("versao=") + kVersion;
  if (link == Link::kNoServer) socket.servers.clear();
  // No room to send from the 20th second on, until the send has timed out.
  bool held = false;
  decoder.onCall = [&](std::int64_t nowMs) {
    if (link == Link::kSendHeld && !held && nowMs >= 20000) {
      held = true;
      socket.writableAfterMs = FakeTcpSocket::kNever;
    }
  };
  f.clock.onSleep = [&](std::int64_t elapsedMs) {
    if (elapsedMs >= seconds * 1000LL) f.console.stopRequested = true;
  };

  std::vector<std::string> datagrams;
  std::vector<HttpRequest> requests;
  Platform p{f.console, f.clock,   decoder, connection,
             f.http,    f.process, f.files, feed ? &f.waits : nullptr};
  const int exitCode = nimbrix::RunStation(
      p, {"http", "update.test", "page"}, [&](const StationConfig& config, Platform&) {
        OutputList list;
        auto requester = std::make_unique<KeptHttpRequester>(f.clock);
        requester->kept = &requests;
        list.push_back(std::make_unique<SondehubOutput>(config, f.clock, std::move(requester)));
        auto socket = std::make_unique<KeptUdpSocket>();
        socket->kept = &datagrams;
        list.push_back(std::make_unique<UdpSummary>(
            UdpSummarySetup{"127.0.0.1,55673", "127.0.0.1", 55673, "N0CALL-11"}, std::move(socket),
            std::make_shared<FakeNameResolver>(f.clock), f.clock));
        return list;
      });
  EXPECT_EQ(exitCode, 0);

  StationRun run;
  for (const std::string& datagram : datagrams) {
    rapidjson::Document json;
    json.Parse(datagram.c_str());
    if (!json.IsObject() || !json.HasMember("frame")) {
      ADD_FAILURE() << datagram;
      continue;
    }
    run.udpBySonde[json["callsign"].GetString()].push_back(json["frame"].GetInt64());
    if (std::string(json["callsign"].GetString()) == "S2410203") {
      run.udpFrames.push_back(json["frame"].GetInt64());
    }
  }
  for (const HttpRequest& request : requests) {
    if (request.url != "http://hub.test/sondes/telemetry") continue;
    rapidjson::Document json;
    const std::string body = Gunzip(request.body);
    json.Parse(body.c_str());
    if (!json.IsArray()) {
      ADD_FAILURE() << body;
      continue;
    }
    for (const auto& record : json.GetArray()) {
      if (record.IsObject() && record.HasMember("frame")) {
        run.hubBySonde[record["serial"].GetString()].push_back(record["frame"].GetInt64());
        if (std::string(record["serial"].GetString()) == "S2410203") {
          run.hubFrames.push_back(record["frame"].GetInt64());
        }
      } else {
        ADD_FAILURE() << body;
      }
    }
  }
  run.primaryBytes = socket.sent;
  run.errorLog = f.files.contents["nimbrix.err"];
  for (const std::string& event : f.journal.events) {
    if (event.rfind("socket", 0) == 0 || event.rfind("file nimbrix.err", 0) == 0) {
      run.primaryEvents.push_back(event);
    }
  }
  run.lastFrame = decoder.Frame();
  return run;
}

// Frames in `frames` that are missing between the first and `last`, or out of order, or twice.
std::vector<std::string> Faults(const std::vector<long>& frames, long last) {
  std::vector<std::string> faults;
  if (frames.empty()) return {"no frame at all"};
  for (std::size_t i = 1; i < frames.size(); ++i) {
    if (frames[i] == frames[i - 1]) faults.push_back(std::to_string(frames[i]) + " twice");
    if (frames[i] < frames[i - 1]) faults.push_back(std::to_string(frames[i]) + " out of order");
    for (long missing = frames[i - 1] + 1; missing < frames[i]; ++missing) {
      faults.push_back(std::to_string(missing) + " missing");
    }
  }
  // The last frame or two may come after the station's end.
  if (frames.back() < last - 2) faults.push_back("ends at " + std::to_string(frames.back()));
  return faults;
}

TEST(WaitingFeed, EveryFrameReachesTheOutputsOnceWhateverThePrimaryWaitsFor) {
  struct Case {
    const char* name;
    Link link;
    int seconds;
  } cases[] = {
      {"report spacing below 2000 m", Link::kUp, 120},
      {"no server in the list", Link::kNoServer, 90},
      {"a send held for a minute", Link::kSendHeld, 150},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const StationRun before = RunStation(c.link, c.seconds, false);
    const StationRun now = RunStation(c.link, c.seconds, true);
    // What the peers received: every frame, once, in order.
    EXPECT_EQ(Faults(now.udpFrames, now.lastFrame), std::vector<std::string>{});
    EXPECT_EQ(Faults(now.hubFrames, now.lastFrame), std::vector<std::string>{});
    // Without the feed the outputs lost frames: the runs are the ones that show it.
    EXPECT_FALSE(Faults(before.udpFrames, before.lastFrame).empty());
    // The primary link's bytes, records and steps are those of the run without the feed.
    EXPECT_EQ(now.primaryBytes, before.primaryBytes);
    EXPECT_EQ(now.errorLog, before.errorLog);
    EXPECT_EQ(now.primaryEvents, before.primaryEvents);
  }
}

// The scenario really is the one named: the primary spaced its reports, failed its passes,
// and had a send time out.
TEST(WaitingFeed, TheRunsWaitAsTheirNamesSay) {
  const StationRun spaced = RunStation(Link::kUp, 60, true);
  EXPECT_NE(spaced.primaryBytes.find("/A=001"), std::string::npos);  // below 2000 m
  const StationRun none = RunStation(Link::kNoServer, 60, true);
  EXPECT_EQ(none.primaryBytes, "");
  EXPECT_NE(none.errorLog.find("OPEN Error"), std::string::npos);
  const StationRun held = RunStation(Link::kSendHeld, 150, true);
  EXPECT_NE(held.errorLog.find("SEND Error"), std::string::npos);
}

// The feed reads at most once a second, spaced from its last read, the cycle's own included.
TEST(WaitingFeed, ReadsWhenASecondHasPassedSinceTheLastRead) {
  FakePlatform f;
  Platform p = f.platform();
  StationView view;
  ServerList servers;
  ErrorLog records{f.files};
  PrimaryLink primary(p, servers, "", "", view, records);
  StationOutputs outputs({}, p, records, primary);
  WaitingFeed feed(p, false, false, outputs, view);
  feed.StartAt(500);
  EXPECT_EQ(feed.NextDueMs(), 500 + kFrameReadEveryMs);
  SondeSample sample;
  sample.serial = "S1";
  feed.CycleRead(sample, true, 0, 2200);
  EXPECT_EQ(feed.NextDueMs(), 2200 + kFrameReadEveryMs);
  EXPECT_EQ(feed.Newest().sample.serial, "S1");
  f.clock.Advance(3300);
  feed.Run();
  EXPECT_EQ(feed.NextDueMs(), 3300 + kFrameReadEveryMs);
  EXPECT_EQ(f.automation.rounds.size(), 1u);
}

// A decoder that lists three sondes: SondeHub and the chase car get every frame of each, once
// and in order, whatever the primary waits for; the primary's bytes are those of a decoder
// without the list, which gives the outputs the followed sonde alone.
TEST(WaitingFeed, EverySondeOfTheListReachesTheOutputs) {
  for (Link link : {Link::kUp, Link::kNoServer}) {
    const StationRun one = RunStation(link, 90, true);
    const StationRun three = RunStation(link, 90, true, 3);
    EXPECT_EQ(three.primaryBytes, one.primaryBytes);
    EXPECT_EQ(three.errorLog, one.errorLog);
    EXPECT_EQ(one.udpBySonde.size(), 1u);
    ASSERT_EQ(three.udpBySonde.size(), 3u);
    ASSERT_EQ(three.hubBySonde.size(), 3u);
    int sonde = 0;
    for (const auto* bySonde : {&three.udpBySonde, &three.hubBySonde}) {
      sonde = 0;
      for (const auto& [serial, frames] : *bySonde) {
        SCOPED_TRACE(serial);
        const long last = three.lastFrame + 1000 * (serial == "S2410203" ? 0 : ++sonde);
        EXPECT_EQ(Faults(frames, last), std::vector<std::string>{});
      }
    }
  }
}

// Every line of `bytes` (CR LF removed) that is an object named `name`.
std::vector<std::string> ObjectLines(const std::string& bytes, const std::string& name) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = bytes.substr(start, end - start);
    if (line.find(":;" + name) != std::string::npos) lines.push_back(line);
  }
  return lines;
}

// The object mode with a decoder that lists three sondes: each goes out as its own object every
// 30 cycles, and the followed sonde's objects (with everything else the primary sends) are
// those of the same run without the list.
TEST(WaitingFeed, EverySondeOfTheListGoesOutAsItsOwnObject) {
  const StationRun one = RunStation(Link::kUp, 125, true, 0, "OBJECT=YES\r\n");
  const StationRun three = RunStation(Link::kUp, 125, true, 3, "OBJECT=YES\r\n");
  const auto withoutOthers = [](const std::string& text, const char* end) {
    std::string kept;
    std::size_t start = 0;
    for (std::size_t stop; (stop = text.find(end, start)) != std::string::npos;
         start = stop + std::strlen(end)) {
      const std::string piece = text.substr(start, stop + std::strlen(end) - start);
      if (piece.find(":;D314377") == std::string::npos &&
          piece.find(":;S3320001") == std::string::npos) {
        kept += piece;
      }
    }
    return kept;
  };
  EXPECT_EQ(withoutOthers(three.primaryBytes, "\r\n"), one.primaryBytes);
  EXPECT_EQ(withoutOthers(three.errorLog, "\r\n\r\n"), withoutOthers(one.errorLog, "\r\n\r\n"));
  const std::size_t followed = ObjectLines(one.primaryBytes, "S2410203").size();
  EXPECT_GE(followed, 3u);
  for (const char* other : {"D314377  *", "S3320001 *"}) {
    // Each on its own 30 cycles, as many as the followed one's (give or take the one cycle
    // the followed sonde's first object waits).
    const std::vector<std::string> lines = ObjectLines(three.primaryBytes, other);
    EXPECT_GE(lines.size() + 1, followed) << other;
    EXPECT_LE(lines.size(), followed + 1) << other;
    for (const std::string& line : lines) {
      EXPECT_EQ(line.rfind("N0CALL-11>APZQW0,TCPIP*:;", 0), 0u) << line;
    }
  }
}

}  // namespace
}  // namespace nimbrix
