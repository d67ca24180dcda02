// The POSIX console's output into a packet socket, where each write() arrives as one packet:
// what the terminal gets, and in how many writes.

#include "platform/posix/console_posix.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace nimbrix {
namespace {

struct PacketTerminal {
  int fds[2] = {-1, -1};
  PacketTerminal() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK, 0, fds), 0); }
  ~PacketTerminal() {
    for (int fd : fds) close(fd);
  }
  // Every write() so far, one text each.
  std::vector<std::string> Writes() {
    std::vector<std::string> writes;
    std::vector<char> buffer(1 << 16);
    for (;;) {
      const ssize_t n = recv(fds[0], buffer.data(), buffer.size(), 0);
      if (n <= 0) return writes;
      writes.emplace_back(buffer.data(), static_cast<size_t>(n));
    }
  }
};

TEST(PosixConsoleOutput, DrawingIsHeldUntilFlushAndGoesAsOneWrite) {
  PacketTerminal terminal;
  std::unique_ptr<Console> console = MakeTerminalOutput(terminal.fds[1]);
  console->MoveTo(18, 1);
  console->SetColor(kColorYellow);
  console->Write("Local Time: 20:41:05");
  console->EraseToEndOfRow();
  console->SetColor(kColorNormal);
  console->MoveTo(24, 1);
  console->Write("Trying a");
  console->LineBreak();
  console->Clear();
  EXPECT_EQ(terminal.Writes(), std::vector<std::string>{}) << "nothing before the flush";
  console->Flush();
  EXPECT_EQ(terminal.Writes(),
            std::vector<std::string>{"\x1b[18;1H\x1b[93mLocal Time: 20:41:05\x1b[K\x1b[39m"
                                     "\x1b[24;1HTrying a\r\n\x1b[2J\x1b[H"});
  console->Flush();
  EXPECT_EQ(terminal.Writes(), std::vector<std::string>{}) << "an empty flush writes nothing";
}

TEST(PosixConsoleOutput, FlushedBeforeWaitingForAKeyAndAtTheEnd) {
  PacketTerminal terminal;
  std::unique_ptr<Console> console = MakeTerminalOutput(terminal.fds[1]);
  console->Write("Config file error");
  console->WaitKey();  // no keyboard here: returns at once, but only after the flush
  EXPECT_EQ(terminal.Writes(), std::vector<std::string>{"Config file error"});
  console->Write("last");
  console = nullptr;
  EXPECT_EQ(terminal.Writes(), std::vector<std::string>{"last"});
}

TEST(PosixConsoleOutput, ARowFilledToTheEdgeIsNotErased) {
  PacketTerminal terminal;  // not a terminal: 80 columns are assumed
  std::unique_ptr<Console> console = MakeTerminalOutput(terminal.fds[1]);
  const std::string full(80, 'x');
  console->MoveTo(1, 1);
  console->Write(full);
  console->EraseToEndOfRow();
  console->MoveTo(2, 1);
  console->Write(full.substr(1));
  console->EraseToEndOfRow();
  console->Flush();
  EXPECT_EQ(terminal.Writes(),
            std::vector<std::string>{"\x1b[1;1H" + full + "\x1b[2;1H" + full.substr(1) + "\x1b[K"});
}

}  // namespace
}  // namespace nimbrix
