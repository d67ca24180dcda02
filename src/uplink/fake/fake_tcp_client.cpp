#include "uplink/fake/fake_tcp_client.h"

#include <string>

namespace nimbrix::fake {

bool FakeTcpClient::Open(const std::string& host, int port) {
  const std::string target = host + ":" + std::to_string(port);
  opens.push_back(target);
  if (journal_) journal_->Add("tcp open " + target);
  if (open_ || port <= 0) return false;
  for (const auto& r : reachable) {
    if (r == target) {
      open_ = true;
      if (auto text = serverText.find(target); text != serverText.end()) incoming = text->second;
      return true;
    }
  }
  return false;
}

int FakeTcpClient::Send(std::string_view bytes) {
  int error = open_ ? 0 : kSendNotConnected;
  if (open_ && !sendErrors.empty()) {
    error = sendErrors.front();
    sendErrors.pop_front();
  }
  if (journal_) journal_->Add("tcp send " + std::to_string(error) + " " + Printable(bytes));
  if (error == 0) {
    sent += bytes;
    lines.emplace_back(bytes);
  }
  return error;
}

std::string FakeTcpClient::TakeReceived() {
  ++takes;
  if (!open_ || incoming.empty()) return "";
  std::string piece = std::move(incoming.front());
  incoming.pop_front();
  return piece;
}

LinkFault FakeTcpClient::CheckAlive() {
  ++checks;
  return open_ ? fault : LinkFault::kNone;
}

void FakeTcpClient::Close() {
  if (open_) ++closes;
  fault = LinkFault::kNone;
  incoming.clear();
  if (journal_ && open_) journal_->Add("tcp close");
  open_ = false;
}

}  // namespace nimbrix::fake
