#include "app/log_view.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/fake/fakes.h"
#include "version/version.h"

namespace nimbrix {
namespace {

using Kind = LinkEvent::Kind;

// Each event on its own: the exact line it writes, after the date and time of the clock.
TEST(LogView, TheLineOfEachEvent) {
  LoginVerdict verified{LoginVerdict::Kind::kVerified, "# logresp N0CALL verified, server T2"};
  LoginVerdict unverified{LoginVerdict::Kind::kUnverified, "# logresp N0CALL unverified"};
  const struct {
    std::function<void(LogView&)> event;
    const char* line;  // "" for an event that writes nothing
  } cases[] = {
      {[](LogView& v) { v.Started(); }, "NIMBRIX started"},
      {[](LogView& v) { v.StartupLine("Reading config file version config 2"); },
       "Reading config file version config 2"},
      {[](LogView& v) { v.StartupLine(""); }, ""},
      {[](LogView& v) {
         v.UpdateVerdict({VersionVerdict::Kind::kNewer, "0.23"}, "https://x/n");
       },
       "The version 0.23 is available at https://x/n"},
      {[](LogView& v) { v.UpdateVerdict({}, "https://x/n"); },
       "Could not check for a new version."},
      {[](LogView& v) { v.DecoderNotFound(); }, "SondeMonitor not found! Exiting..."},
      {[](LogView& v) { v.Connecting(); }, ""},
      {[](LogView& v) { v.ServerInUse(1, ""); },
       "No APRS-IS server in NIMBRIX.INI: no report can be sent"},
      {[](LogView& v) { v.ServerInUse(2, "b,2"); }, ""},
      {[](LogView& v) {
         v.Link({.kind = Kind::kTrying, .index = 3, .entry = "ev\x1b[2Jil,14580"}, "");
       },
       "Connecting to entry 3 (ev?[2Jil,14580)"},
      {[](LogView& v) {
         v.Link({.kind = Kind::kOpenFailed}, "OPEN Error @12-08-2026 - 20:41:06 -> a\r\n");
       },
       "OPEN Error @12-08-2026 - 20:41:06 -> a"},
      {[](LogView& v) {
         v.Link({.kind = Kind::kOpenFailed, .index = 2, .entry = "a,14581", .host = "a"},
                "OPEN Error @12-08-2026 - 20:41:06 -> a\r\n");
       },
       "OPEN Error @12-08-2026 - 20:41:06 -> a: entry 2 (a,14581)"},
      {[](LogView& v) {
         v.DestinationRecord("OPEN Error @12-08-2026 - 20:41:06 -> a\r\n", "a,14582");
       },
       "OPEN Error @12-08-2026 - 20:41:06 -> a: a,14582"},
      {[](LogView& v) {
         v.DestinationRecord("SEND Error 57 12-08-2026 - 20:41:06 -> L\r\n\r\n", "a,14582");
       },
       "SEND Error 57 12-08-2026 - 20:41:06 -> L"},
      {[](LogView& v) { v.Link({.kind = Kind::kNoServer}, ""); },
       "No servers available: trying again in 5 seconds"},
      {[](LogView& v) {
         v.Link({.kind = Kind::kSendFailed}, "SEND Error 57 12-08-2026 - 20:41:06 -> L\r\n\r\n");
       },
       "SEND Error 57 12-08-2026 - 20:41:06 -> L"},
      {[&](LogView& v) { v.Link({.kind = Kind::kLoginAnswer, .verdict = verified}, ""); },
       "Login verified: # logresp N0CALL verified, server T2"},
      {[&](LogView& v) {
         v.Link({.kind = Kind::kLoginAnswer, .verdict = unverified}, "LOGIN Error @x -> a: y\r\n");
       },
       "LOGIN Error @x -> a: y (the server drops our reports: check PASS in NIMBRIX.INI)"},
      {[](LogView& v) { v.Link({.kind = Kind::kLoginAnswer}, ""); }, ""},
      {[](LogView& v) {
         v.Link({.kind = Kind::kDead, .dead = {2, "b,14580", "b", "no data for 60 s"}}, "");
       },
       "Link dead: entry 2 (b,14580), no data for 60 s"},
      {[](LogView& v) { v.Dashboard(SondeSample{}, "N0CALL", LocalTime{}, 3); }, ""},
      {[](LogView& v) { v.Resized(); }, ""},
      {[](LogView& v) { v.PositionReportDue(LocalTime{}); }, ""},
      {[](LogView& v) { v.ReportSent("N0CALL>APZQW0,TCPIP*:>hi\r\n"); },
       "Sent: N0CALL>APZQW0,TCPIP*:>hi"},
      {[](LogView& v) { v.DecoderLost(); }, "Decoder lost: SondeMonitor.Document does not answer"},
      {[](LogView& v) { v.DecoderFound(); }, "Decoder found again: SondeMonitor.Document"},
      {[](LogView& v) { v.Ended(); }, "Ended"},
  };
  for (const auto& c : cases) {
    fake::FakeConsole out;
    fake::FakeClock clock(LocalTime{2026, 12, 9, 7, 5, 3, 0});
    LogView view(out, clock);
    c.event(view);
    std::string want = c.line;
    if (want == "NIMBRIX started") want = std::string(kVersionText) + " started";
    EXPECT_EQ(out.transcript, want.empty() ? "" : "2026-12-09 07:05:03 " + want + "\n") << c.line;
  }
}

// The decoder's list, told with every reading: a sonde's arrival and departure are one line
// each, whatever comes in between.
TEST(LogView, SondesHeardComeAndGoOnceEach) {
  const auto list = [](std::vector<std::string> serials) {
    std::vector<HeardSonde> heard;
    for (std::string& serial : serials) {
      heard.emplace_back();
      heard.back().sample.serial = std::move(serial);
    }
    return heard;
  };
  fake::FakeConsole out;
  fake::FakeClock clock(LocalTime{2026, 12, 9, 7, 5, 3, 0});
  LogView view(out, clock);
  view.SondesHeard(list({"S3210987"}));
  view.SondesHeard(list({"S3210987"}));
  view.SondesHeard(list({"S3210987", "DFM-3210988\x1b[2J"}));
  view.SondesHeard(list({"DFM-3210988\x1b[2J", "S3210987"}));
  view.SondesHeard(list({"DFM-3210988\x1b[2J"}));
  view.SondesHeard({});
  EXPECT_EQ(out.transcript,
            "2026-12-09 07:05:03 Sonde heard: S3210987 (1 heard)\n"
            "2026-12-09 07:05:03 Sonde heard: DFM-3210988?[2J (2 heard)\n"
            "2026-12-09 07:05:03 Sonde no longer heard: S3210987\n"
            "2026-12-09 07:05:03 Sonde no longer heard: DFM-3210988?[2J\n");
}

}  // namespace
}  // namespace nimbrix
