#include "uplink/uplink.h"

#include <algorithm>

#include "format/safe_text.h"
#include "uplink/link_watch.h"
#include "uplink/server_entry.h"

namespace nimbrix {

namespace {

constexpr int kAttemptPauseMs = 1000;
constexpr int kFailedPassPauseMs = 5000;

// The login line is built from configured texts; whatever they hold, it goes out as one line.
std::string OneLine(std::string_view text) {
  if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") {
    text.remove_suffix(2);
  }
  return StripControlBytes(text) + "\r\n";
}

// One attempt on entry `index`; true when the connection is open and logged in.
bool TryEntry(Uplink& uplink, int index) {
  const std::string& entry = uplink.servers.sSERVER[index];
  const ServerEntry target = SplitServerEntry(entry);

  uplink.events.Tell(EventOn(LinkEvent::Kind::kTrying, index, entry));
  const bool opened = uplink.tcp.Open(target.host, target.port);
  if (!opened && uplink.events.Stopping()) return false;
  uplink.clock.SleepMs(kAttemptPauseMs);
  if (!opened) {
    // Also ends a connection still open from before a failed send.
    uplink.tcp.Close();
    uplink.events.Tell(EventOn(LinkEvent::Kind::kOpenFailed, index, entry, target.host));
    return false;
  }

  uplink.servers.nCURSERVER = static_cast<std::int16_t>(index);
  uplink.deadTold = false;
  uplink.tcp.Send(OneLine(uplink.loginLine));  // a broken connection shows at the next send
  uplink.loginWatch.Start(StripControlBytes(uplink.callsign), uplink.clock.MonotonicMs());
  uplink.events.Tell(EventOn(LinkEvent::Kind::kConnected, index, entry));
  return true;
}

// A failed send, named by the entry in use.
void TellSendFailed(Uplink& uplink, int error, std::string_view line) {
  const int index = uplink.servers.nCURSERVER;
  const std::string& entry = uplink.servers.sSERVER.at(index);
  LinkEvent event =
      EventOn(LinkEvent::Kind::kSendFailed, index, entry, SplitServerEntry(entry).host);
  event.error = error;
  event.line = std::string(line);
  uplink.events.Tell(event);
}

// Tells LinkDead when the connection in use has died and it was not told yet.
void TellIfDead(Uplink& uplink) {
  if (uplink.deadTold) return;
  const LinkFault fault = uplink.tcp.CheckAlive();
  if (fault == LinkFault::kNone) return;
  uplink.deadTold = true;
  const int index = uplink.servers.nCURSERVER;
  const std::string& entry = uplink.servers.sSERVER.at(index);
  const DeadLink dead{index, entry, SplitServerEntry(entry).host, LinkFaultText(fault)};
  LinkEvent event = EventOn(LinkEvent::Kind::kDead, index, entry, dead.host);
  event.dead = dead;
  uplink.events.Tell(event);
}

}  // namespace

LinkEvent EventOn(LinkEvent::Kind kind, int index, const std::string& entry,
                  const std::string& host) {
  LinkEvent event;
  event.kind = kind;
  event.index = index;
  event.entry = entry;
  event.host = host;
  return event;
}

ConnectOutcome ConnectServers(Uplink& uplink) {
  ServerList& servers = uplink.servers;
  const int count = std::min<int>(servers.nSERVERS, ServerList::kMaxServers);
  if (servers.nCURSERVER > count || count < 1) return ConnectOutcome::kNoServers;
  const int first = std::max<int>(servers.nCURSERVER, 1);

  for (;;) {
    // Every entry once, from the one in use round to the one before it, so a server that
    // failed earlier in the run is tried again.
    for (int step = 0; step < count; ++step) {
      const int index = (first - 1 + step) % count + 1;
      if (TryEntry(uplink, index)) return ConnectOutcome::kConnected;
      if (uplink.events.Stopping()) return ConnectOutcome::kQuit;
    }
    uplink.events.Tell(EventOn(LinkEvent::Kind::kNoServer));
    uplink.clock.SleepMs(kFailedPassPauseMs);
    if (uplink.events.QuitWanted()) return ConnectOutcome::kQuit;
  }
}

LoginVerdict WatchLoginAnswer(Uplink& uplink) {
  if (!uplink.loginWatch.Active()) return {};  // nothing more is looked at until the next login
  return uplink.loginWatch.Feed(uplink.tcp.TakeReceived(), uplink.clock.MonotonicMs());
}

void WatchLink(Uplink& uplink) {
  TellIfDead(uplink);
}

SendOutcome SendLine(Uplink& uplink, std::string_view line) {
  int error = uplink.tcp.Send(line);
  if (error == 0) return SendOutcome::kSent;
  if (uplink.events.Stopping()) return SendOutcome::kQuit;
  TellIfDead(uplink);
  TellSendFailed(uplink, error, line);
  // The old connection is still open: the first attempt fails on it and closes it.
  if (ConnectServers(uplink) == ConnectOutcome::kQuit) return SendOutcome::kQuit;
  error = uplink.tcp.Send(line);
  if (error == 0) return SendOutcome::kSent;
  if (uplink.events.Stopping()) return SendOutcome::kQuit;
  TellIfDead(uplink);
  TellSendFailed(uplink, error, line);
  return SendOutcome::kLost;
}

SendOutcome SendLineIfUp(Uplink& uplink, std::string_view line) {
  if (!uplink.tcp.IsOpen()) return SendOutcome::kLost;
  const int error = uplink.tcp.Send(line);
  if (error == 0) return SendOutcome::kSent;
  if (uplink.events.Stopping()) return SendOutcome::kQuit;
  TellIfDead(uplink);
  TellSendFailed(uplink, error, line);
  return SendOutcome::kLost;
}

}  // namespace nimbrix
