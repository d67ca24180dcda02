#include "app/flushing_platform.h"

namespace nimbrix {

FlushingPlatform::FlushingPlatform(Platform& inner)
    : clock_(inner.clock, inner.console, inner.waits),
      automation_(inner.automation, inner.console),
      tcp_(inner.tcp, inner.console),
      http_(inner.http, inner.console),
      process_(inner.process, inner.console),
      platform_{inner.console, clock_,   automation_, tcp_,
                http_,         process_, inner.files, inner.waits} {}

void FlushingPlatform::FlushingClock::SleepMs(int milliseconds) {
  console_.Flush();
  const std::int64_t endMs = inner_.MonotonicMs() + milliseconds;
  std::int64_t nowMs = inner_.MonotonicMs();
  std::int64_t pieceMs = WaitPieceMs(waits_, nowMs, milliseconds);
  // The work runs only at moments inside the pause, so the pause never grows by it at its end.
  while (pieceMs < endMs - nowMs) {
    if (pieceMs > 0) inner_.SleepMs(static_cast<int>(pieceMs));
    nowMs = inner_.MonotonicMs();
    if (nowMs >= endMs) return;
    waits_->RunIfDue(nowMs);
    console_.Flush();
    nowMs = inner_.MonotonicMs();
    if (nowMs >= endMs) return;
    pieceMs = WaitPieceMs(waits_, nowMs, endMs - nowMs);
  }
  inner_.SleepMs(static_cast<int>(endMs - nowMs));
}

std::optional<std::vector<ListedEntry>> FlushingPlatform::FlushingAutomation::CallList(
    std::string_view member) {
  console_.Flush();
  return inner_.CallList(member);
}

bool FlushingPlatform::FlushingAutomation::Attach(std::string_view progId) {
  console_.Flush();
  return inner_.Attach(progId);
}

CallResult FlushingPlatform::FlushingAutomation::Call(std::string_view member,
                                                      std::int16_t argument) {
  console_.Flush();
  return inner_.Call(member, argument);
}

std::vector<CallResult> FlushingPlatform::FlushingAutomation::CallRound(
    std::string_view member, const std::vector<std::int16_t>& arguments) {
  console_.Flush();
  return inner_.CallRound(member, arguments);
}

bool FlushingPlatform::FlushingTcpClient::Open(const std::string& host, int port) {
  console_.Flush();
  return inner_.Open(host, port);
}

int FlushingPlatform::FlushingTcpClient::Send(std::string_view bytes) {
  console_.Flush();
  return inner_.Send(bytes);
}

std::optional<std::string> FlushingPlatform::FlushingHttpClient::Get(
    const std::string& url, const std::string& agent, const std::string& extraHeader) {
  console_.Flush();
  return inner_.Get(url, agent, extraHeader);
}

void FlushingPlatform::FlushingProcessRunner::Run(const std::string& commandLine) {
  console_.Flush();
  inner_.Run(commandLine);
}

}  // namespace nimbrix
