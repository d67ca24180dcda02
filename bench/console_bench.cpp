// One drawn cycle (the dashboard's rows 1 to 15, 18 and 19) through the POSIX console into a
// pseudo-terminal: written once at the end of the drawing, as the station does, and with a
// write after every move, colour, text and erase, as the console did before it gathered its
// output. Counters: bytes and writes per cycle. The time includes reading the terminal's side.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "app/terminal_view.h"
#include "platform/fake/fakes.h"
#include "platform/posix/console_posix.h"
#include "telemetry/telemetry.h"

namespace {

using namespace nimbrix;

// Hands each step on at once when `eachStep`; counts the writes that carried something.
class CountingConsole : public Console {
 public:
  CountingConsole(Console& inner, bool eachStep) : inner_(inner), eachStep_(eachStep) {}
  void MoveTo(int row, int col) override {
    Step([&] { inner_.MoveTo(row, col); });
  }
  void SetColor(int color) override {
    Step([&] { inner_.SetColor(color); });
  }
  void Clear() override {
    Step([&] { inner_.Clear(); });
  }
  void Write(std::string_view text) override {
    Step([&] { inner_.Write(text); });
  }
  void LineBreak() override {
    Step([&] { inner_.LineBreak(); });
  }
  void EraseToEndOfRow() override {
    Step([&] { inner_.EraseToEndOfRow(); });
  }
  void Flush() override {
    if (held_) ++writes;
    held_ = false;
    inner_.Flush();
  }
  std::string PollKey() override { return ""; }
  std::string WaitKey() override { return ""; }
  bool TakeResized() override { return false; }
  bool IsTerminal() const override { return true; }
  bool StopRequested() const override { return false; }
  long writes = 0;

 private:
  template <typename F>
  void Step(F draw) {
    draw();
    held_ = true;
    if (eachStep_) Flush();
  }
  Console& inner_;
  bool eachStep_;
  bool held_ = false;
};

// An 80x25 pseudo-terminal; the benchmark reads what the program writes to it.
struct PseudoTerminal {
  int master = -1, slave = -1;
  PseudoTerminal() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
    const char* name = ptsname(master);
    if (!name) return;
    slave = open(name, O_RDWR | O_NOCTTY);
    winsize size{};
    size.ws_row = 25;
    size.ws_col = 80;
    ioctl(master, TIOCSWINSZ, &size);
    termios t{};
    if (tcgetattr(slave, &t) == 0) {
      cfmakeraw(&t);  // bytes as they are, as the station's terminal has them
      tcsetattr(slave, TCSANOW, &t);
    }
    fcntl(master, F_SETFL, O_NONBLOCK);
  }
  ~PseudoTerminal() {
    if (slave >= 0) close(slave);
    if (master >= 0) close(master);
  }
  long Drain() {
    char buffer[8192];
    long total = 0;
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) total += n;
    return total;
  }
};

SondeSample MidFlightSample() {
  fake::FakeAutomation decoder;
  decoder.answers = {
      {0, Variant::Text("S3210987")},
      {1, Variant::Real(48.123456)},
      {2, Variant::Real(12.499184)},
      {3, Variant::Real(29100.0)},
      {4, Variant::Real(255.7)},
      {5, Variant::Real(12.28)},
      {6, Variant::Text("2024-05-01 11:35:20")},
      {7, Variant::Text("403.001")},
      {8, Variant::Real(13.42)},
      {9, Variant::Real(-47.40)},
      {10, Variant::Real(2.2)},
      {11, Variant::Text("RS41")},
      {12, Variant::Real(5.00)},
      {13, Variant::Signed(5721)},
      {14, Variant::Signed(1714563320000, VT_I8)},
  };
  SondeSample sample;
  ReadSondeSample(decoder, sample);
  return sample;
}

void BM_DrawnCycle(benchmark::State& state) {
  const bool eachStep = state.range(0) == 1;
  PseudoTerminal pty;
  if (pty.slave < 0) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  std::unique_ptr<Console> output = MakeTerminalOutput(pty.slave);
  CountingConsole console(*output, eachStep);
  TerminalView view(console);
  const SondeSample sample = MidFlightSample();
  LocalTime now{2024, 5, 1, 11, 35, 20, 0};
  long bytes = 0;
  std::int32_t cycle = 0;
  for (auto _ : state) {
    now.second = (now.second + 1) % 60;  // row 18 changes every cycle, as it does
    view.Dashboard(sample, "DL1ABC-11", now, cycle++ % 30);
    console.Flush();
    bytes += pty.Drain();
  }
  state.counters["bytes"] =
      benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kAvgIterations);
  state.counters["writes"] =
      benchmark::Counter(static_cast<double>(console.writes), benchmark::Counter::kAvgIterations);
}

}  // namespace

BENCHMARK(BM_DrawnCycle)->ArgName("write_per_step")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
