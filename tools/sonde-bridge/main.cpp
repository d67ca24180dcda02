// sonde-bridge: plays the radiosonde decoder for NIMBRIX with the JSON frames of the open
// decoders. The service serves the calls; a reader thread reads the input into the store.

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "decoder-service/service.h"
#include "egm96_geoid.h"
#include "frame_store.h"
#include "input.h"
#include "intake.h"
#include "options.h"
#include "reader.h"

namespace bridge {
namespace {

void Say(const std::string& text) {
  std::fprintf(stderr, "sonde-bridge: %s\n", text.c_str());
}

// The reader thread's way to end the service; cut before the service goes away, because the
// thread may still be waiting for input then.
class StopLink {
 public:
  explicit StopLink(decoder::Service& service) : service_(&service) {}
  void Request(int exitCode) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (service_) service_->RequestStop(exitCode);
  }
  void Cut() {
    std::lock_guard<std::mutex> lock(mutex_);
    service_ = nullptr;
  }

 private:
  std::mutex mutex_;
  decoder::Service* service_;
};

// What the reader thread works with. It is shared, so that a thread still blocked in a read
// when the program ends never touches anything already destroyed.
struct Reader {
  Options options;
  std::unique_ptr<InputSystem> system;
  std::unique_ptr<ByteStream> stream;  // standard input or the UDP socket
  std::unique_ptr<GrowingFile> file;   // --input naming a regular file
  std::shared_ptr<FrameStore> store;
  std::unique_ptr<Intake> intake;
  std::shared_ptr<StopLink> stop;
  std::atomic<bool> inputEnded{false};
  Tally writerStart;  // the counts when the FIFO's present writer came

  void SayAll(const std::vector<std::string>& texts) {
    for (const std::string& t : texts) Say(t);
  }

  // A FIFO's writer (the decoder pipeline) went away; the next one is waited for.
  void WriterGone() {
    const Tally now = store->Counts();
    SayAll(EndOfInputTexts(now.Since(writerStart), options.path + ": its writer went away"));
    Say("waiting for the next writer of " + options.path);
    writerStart = now;
  }

  void Run() {
    const Notice notice = Say;
    switch (options.input) {
      case Options::Input::kStandardInput:
        ReadToEnd(*stream, *intake);
        break;
      case Options::Input::kFile:
        if (file) {
          FollowFile(std::move(file), options.path, *system, *intake, options.exitOnEof, notice);
        } else {
          ReadPipe(options.path, *system, *intake, options.exitOnEof, notice,
                   [this] { WriterGone(); });
        }
        break;
      case Options::Input::kUdp:
        ReadDatagrams(*stream, *intake, notice);
        break;
    }
    inputEnded = true;
    const Tally counts = store->Counts();
    SayAll(EndOfInputTexts(counts));
    if (options.exitOnEof) {
      stop->Request(0);
    } else if (counts.accepted > 0) {
      Say("the last frame stays served until the bridge is stopped");
    } else {
      Say("nothing to serve; the bridge runs until it is stopped");
    }
  }
};

// Opens what the options name, before the name is taken; false and `error` when it cannot be.
bool OpenInput(Reader& r, std::string& error) {
  switch (r.options.input) {
    case Options::Input::kStandardInput:
      r.stream = r.system->StandardInput();
      return true;
    case Options::Input::kFile:
      switch (r.system->KindOf(r.options.path)) {
        case PathKind::kMissing:
          error = "cannot find " + r.options.path;
          return false;
        case PathKind::kPipe:
          return true;  // opened on the reader thread: that waits for a writer
        case PathKind::kRegularFile:
          r.file = r.system->OpenFile(r.options.path, error);
          if (!r.file) error = "cannot open " + r.options.path + ": " + error;
          return r.file != nullptr;
      }
      return false;
    case Options::Input::kUdp:
      r.stream = r.system->BindUdp(r.options.udpBind, r.options.udpPort, error);
      if (!r.stream) {
        error = "cannot bind UDP " + r.options.udpBind + " port " +
                std::to_string(r.options.udpPort) + ": " + error;
      }
      return r.stream != nullptr;
  }
  return false;
}

int Main(int argc, char** argv) {
  auto reader = std::make_shared<Reader>();
  std::string error;
  if (!ParseOptions({argv + 1, argv + argc}, reader->options, error)) {
    Say(error + " (try --help)");
    return 2;
  }
  const Options& o = reader->options;
  if (o.help) {
    std::fputs(kHelpText, stdout);
    return 0;
  }
  if (o.registerProgId) {
#ifdef _WIN32
    if (decoder::RegisterProgId()) return 0;
    Say("cannot write the ProgID under HKLM\\Software\\Classes");
    return 1;
#else
    Say("--register is for Windows; on Linux the bus name needs no registration (try --help)");
    return 2;
#endif
  }
  reader->system = MakeInputSystem();
  if (!OpenInput(*reader, error)) {
    Say(error);
    return 2;
  }
  auto store = std::make_shared<FrameStore>(o.qrgText);
  reader->store = store;
  IntakeOptions intake;
  intake.serial = o.serial;
  intake.switchAfterMs = o.switchAfterSeconds * 1000LL;
  intake.geoid = [](std::string& error) { return OpenEgm96Geoid(kEgm96Grid, error); };
  intake.notice = Say;
  if (o.verbose) intake.verbose = Say;
  reader->intake = std::make_unique<Intake>(std::move(intake), *store);

  decoder::ServiceOptions service;
  service.program = "sonde-bridge";
  service.name = o.name;
  service.printReady = o.printReady;
  service.onSummary = [store] { Say(SummaryText(store->Counts())); };
  service.listSource = [store] { return store->List(); };
  // Constructed before the reader thread starts, so that thread inherits the blocked signals.
  decoder::Service decoderService(service,
                                  [store](std::int16_t index) { return store->AnswerFor(index); });
  reader->stop = std::make_shared<StopLink>(decoderService);

  // Never joined: at the end it may still wait for input that will not come.
  std::thread([reader] { reader->Run(); }).detach();
  const int code = decoderService.Run();
  reader->stop->Cut();
  // At the end of the input the counts have been told already.
  if (code == 0 && !reader->inputEnded) Say(SummaryText(store->Counts()));
  return code;
}

}  // namespace
}  // namespace bridge

int main(int argc, char** argv) {
  return bridge::Main(argc, argv);
}
