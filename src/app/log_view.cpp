#include "app/log_view.h"

#include <algorithm>

#include "format/clock_text.h"
#include "format/exact_texts.h"
#include "format/safe_text.h"
#include "telemetry/decoder_items.h"
#include "version/version.h"

namespace nimbrix {

namespace {

// A record or a report line as one line of text: its line ends go, nothing else is lost.
std::string WithoutLineEnds(const std::string& text) {
  std::string line = text;
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  return line;
}

std::string EntryText(int index, const std::string& entry) {
  return "entry " + std::to_string(index) + " (" + entry + ")";
}

// ": host,port" after an OPEN record of the destination of that name.
std::string OfEntry(const std::string& record, const std::string& destination) {
  if (destination.empty() || record.rfind("OPEN Error", 0) != 0) return "";
  return ": " + destination;
}

}  // namespace

void LogView::Line(const std::string& text) {
  if (text.empty()) return;
  out_.Write(DateTimeText(clock_.Now()) + " " + MaskControlBytes(text));
  out_.LineBreak();
  out_.Flush();  // a log is read as it grows: each line goes out whole, at once
}

void LogView::Started() {
  Line(std::string(kVersionText) + " started");
}

void LogView::StartupLine(const std::string& text) {
  Line(text);
}

void LogView::UpdateVerdict(const VersionVerdict& verdict, const std::string& downloadPage) {
  switch (verdict.kind) {
    case VersionVerdict::Kind::kUnknown:
      return Line(exact::kCouldNotCheck);
    case VersionVerdict::Kind::kCurrent:
      return Line(exact::kMostRecentVersion);
    case VersionVerdict::Kind::kNewer:
      return Line(exact::VersionAvailable(verdict.offered, downloadPage));
  }
}

void LogView::DecoderNotFound() {
  Line(exact::kDecoderNotFound);
}

void LogView::DecoderAttached() {
  Line(std::string("Decoder attached: ") + kDecoderProgId);
}

void LogView::ServerInUse(int, const std::string& entry) {
  if (entry.empty()) Line("No APRS-IS server in NIMBRIX.INI: no report can be sent");
}

void LogView::Link(const LinkEvent& event, const std::string& record) {
  // Another destination's state changes are lines of their own (Destinations).
  if (!event.primary) return;
  switch (event.kind) {
    case LinkEvent::Kind::kTrying:
      return Line("Connecting to " + EntryText(event.index, event.entry));
    case LinkEvent::Kind::kConnected:
      return Line("Connected to " + EntryText(event.index, event.entry) + ", login sent");
    case LinkEvent::Kind::kNoServer:
      return Line("No servers available: trying again in 5 seconds");
    case LinkEvent::Kind::kOpenFailed:
      if (event.entry.empty()) return Line(WithoutLineEnds(record));
      return Line(WithoutLineEnds(record) + ": " + EntryText(event.index, event.entry));
    case LinkEvent::Kind::kSendFailed:
      return Line(WithoutLineEnds(record));
    case LinkEvent::Kind::kLoginAnswer:
      switch (event.verdict.kind) {
        case LoginVerdict::Kind::kPending:
          return;
        case LoginVerdict::Kind::kVerified:
          return Line("Login verified: " + event.verdict.serverLine);
        case LoginVerdict::Kind::kUnverified:
        case LoginVerdict::Kind::kNoAnswer:
          return Line(WithoutLineEnds(record) +
                      " (the server drops our reports: check PASS in NIMBRIX.INI)");
      }
      return;
    case LinkEvent::Kind::kDead:
      return Line("Link dead: " + EntryText(event.dead.index, event.dead.entry) + ", " +
                  event.dead.reason);
  }
}

void LogView::DecoderLost() {
  Line(std::string("Decoder lost: ") + kDecoderProgId + " does not answer");
}

void LogView::DecoderFound() {
  Line(std::string("Decoder found again: ") + kDecoderProgId);
}

void LogView::SondesHeard(const std::vector<HeardSonde>& heard) {
  std::vector<std::string> serials;
  for (const HeardSonde& sonde : heard) serials.push_back(sonde.sample.serial);
  const auto in = [](const std::vector<std::string>& list, const std::string& serial) {
    return std::find(list.begin(), list.end(), serial) != list.end();
  };
  for (const std::string& serial : serials) {
    if (!in(heardSerials_, serial)) {
      Line("Sonde heard: " + serial + " (" + std::to_string(serials.size()) + " heard)");
    }
  }
  for (const std::string& serial : heardSerials_) {
    if (!in(serials, serial)) Line("Sonde no longer heard: " + serial);
  }
  heardSerials_ = std::move(serials);
}

void LogView::ReportSent(const std::string& line) {
  Line("Sent: " + WithoutLineEnds(line));
}

void LogView::NoObjectName(const std::string& serial) {
  if (serial == unnamedSerial_) return;
  unnamedSerial_ = serial;
  Line("No APRS object name for serial " + serial + ": nothing is sent for this sonde");
}

void LogView::Destinations(const std::vector<DestinationStatus>& statuses, const ClockReading&) {
  for (const DestinationStatus& s : statuses) {
    if (s.primary || s.stateText.empty()) continue;  // the primary's events are lines of their own
    std::string text = s.kind + " " + s.name + ": " + s.stateText;
    if (!s.lastMessage.empty()) text += ": " + s.lastMessage;
    std::string& told = toldOf_[s.kind + " " + s.name];
    if (told == text) continue;
    told = text;
    Line(text);
  }
}

void LogView::DestinationRecord(const std::string& record, const std::string& destination) {
  // The record names the host alone; two destinations on one host differ by their port.
  Line(WithoutLineEnds(record) + OfEntry(record, destination));
}

void LogView::Ended() {
  Line("Ended");
}

}  // namespace nimbrix
