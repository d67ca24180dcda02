// The D-Bus backend against a private bus daemon started per test, with the decoder served
// in-process by sd-bus on its own thread, so each test controls exactly what the decoder sends.

#include "platform/posix/automation_dbus.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace nimbrix {
namespace {

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

// The names the stand-in decoder serves, as the decoder's contract spells them: the backend
// takes every name from its caller, so its test needs only the names themselves.
constexpr const char* kDecoderProgId = "SondeMonitor.Document";
constexpr const char* kSondeDataMember = "GETSONDEDATA";
constexpr const char* kSondeListMember = "GETSONDELIST";
constexpr const char* kInvalidIndexError = "SondeMonitor.Document.Error.InvalidIndex";

constexpr const char* kProgId = kDecoderProgId;

// A dbus-daemon of our own; its address replaces the session bus for this process.
class PrivateBus {
 public:
  PrivateBus() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);  // its fd-limit moan
    const char* argv[] = {"dbus-daemon", "--session", "--nofork", "--print-address", nullptr};
    if (posix_spawnp(&pid_, "dbus-daemon", &actions, nullptr, const_cast<char**>(argv), environ) !=
        0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string line;
    pollfd pfd{fds[0], POLLIN, 0};
    while (pid_ > 0 && line.find('\n') == std::string::npos && poll(&pfd, 1, 5000) > 0) {
      char buf[256];
      ssize_t n = read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      line.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    address_ = line.substr(0, line.find('\n'));
    setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
  }
  ~PrivateBus() {
    if (pid_ > 0) {
      kill(pid_, SIGCONT);
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool ok() const { return pid_ > 0 && address_.rfind("unix:", 0) == 0; }
  void Freeze() { kill(pid_, SIGSTOP); }
  void Thaw() { kill(pid_, SIGCONT); }

 private:
  pid_t pid_ = -1;
  std::string address_;
};

// Builds the decoder's reply to one GETSONDEDATA call.
using Responder = std::function<int(sd_bus_message* call)>;

template <typename T>
Responder Qv(std::uint16_t vt, const char* sig, T value) {
  return [=](sd_bus_message* m) { return sd_bus_reply_method_return(m, "(qv)", vt, sig, value); };
}
Responder QvText(std::uint16_t vt, std::string text) {
  return [=](sd_bus_message* m) {
    return sd_bus_reply_method_return(m, "(qv)", vt, "s", text.c_str());
  };
}
Responder QvNothing(std::uint16_t vt) {
  return [=](sd_bus_message* m) { return sd_bus_reply_method_return(m, "(qv)", vt, "ay", 0); };
}

struct SeenCall {
  std::int16_t index;
  bool autoStart;
  std::string destination;
};

// The decoder: owns the name on its own connection, answers from `answers`.
class TestDecoder {
 public:
  explicit TestDecoder(const char* name = kProgId) {
    if (sd_bus_open_user(&bus_) < 0) return;
    std::string path = DbusObjectPath(name);
    if (sd_bus_add_object_vtable(bus_, nullptr, path.c_str(), name, kVtable, this) < 0 ||
        sd_bus_request_name(bus_, name, 0) < 0) {
      return;
    }
    const char* unique = nullptr;
    if (sd_bus_get_unique_name(bus_, &unique) >= 0) unique_ = unique;
    thread_ = std::thread([this] { Serve(); });
  }
  ~TestDecoder() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    sd_bus_flush_close_unref(bus_);
  }
  bool ok() const { return thread_.joinable(); }
  const std::string& unique() const { return unique_; }

  void Set(int item, Responder r) {
    std::lock_guard lock(mutex_);
    answers_[item] = std::move(r);
  }
  // How GETSONDELIST is answered; without it, as by a decoder that has no such member.
  void SetList(Responder r) {
    std::lock_guard lock(mutex_);
    list_ = std::move(r);
  }
  // Hangs the decoder's thread: calls queue up unanswered, as with a stopped process.
  void Freeze() {
    std::lock_guard lock(mutex_);
    frozen_ = true;
  }
  std::vector<SeenCall> Seen() {
    std::lock_guard lock(mutex_);
    return seen_;
  }
  // Holds every call back until `count` have come, then answers them last one first: a client
  // that waits for each answer before the next call gets none.
  void AnswerOnlyOnceAllCame(std::size_t count) {
    std::lock_guard lock(mutex_);
    heldUntil_ = count;
  }

 private:
  static int Handle(sd_bus_message* m, void* self, sd_bus_error* error) {
    return static_cast<TestDecoder*>(self)->OnCall(m, error);
  }
  static int HandleList(sd_bus_message* m, void* self, sd_bus_error* error) {
    auto* decoder = static_cast<TestDecoder*>(self);
    std::lock_guard lock(decoder->mutex_);
    if (!decoder->list_) {
      return sd_bus_error_set(error, "org.freedesktop.DBus.Error.UnknownMethod", "no such member");
    }
    return decoder->list_(m);
  }
  int OnCall(sd_bus_message* m, sd_bus_error* error) {
    std::int16_t index = 0;
    if (sd_bus_message_read(m, "n", &index) < 0) return -EINVAL;
    std::lock_guard lock(mutex_);
    const char* dest = sd_bus_message_get_destination(m);
    seen_.push_back({index, sd_bus_message_get_auto_start(m) > 0, dest ? dest : ""});
    if (heldUntil_ > 0) {
      held_.push_back({index, sd_bus_message_ref(m)});
      if (held_.size() < heldUntil_) return 1;  // answered later
      for (auto call = held_.rbegin(); call != held_.rend(); ++call) {
        Answer(call->first, call->second, nullptr);
        sd_bus_message_unref(call->second);
      }
      held_.clear();
      return 1;
    }
    return Answer(index, m, error);
  }
  int Answer(std::int16_t index, sd_bus_message* m, sd_bus_error* error) {
    auto it = answers_.find(index);
    if (it == answers_.end()) {
      if (!error) return sd_bus_reply_method_errorf(m, kInvalidIndexError, "no such item");
      return sd_bus_error_set(error, kInvalidIndexError, "no such item");
    }
    return it->second(m);
  }
  void Serve() {
    while (!stop_) {
      if (frozen_) {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stop_.load(); });
        break;
      }
      int r = sd_bus_process(bus_, nullptr);
      if (r < 0) break;
      if (r == 0) sd_bus_wait(bus_, 10000);
    }
  }

  static constexpr sd_bus_vtable kVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD(kSondeDataMember, "n", "(qv)", Handle, 0),
      SD_BUS_METHOD(kSondeListMember, "", "a(ua(qv))", HandleList, 0),
      SD_BUS_VTABLE_END,
  };

  sd_bus* bus_ = nullptr;
  std::string unique_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> frozen_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::map<int, Responder> answers_;
  Responder list_;
  std::vector<SeenCall> seen_;
  std::size_t heldUntil_ = 0;
  std::vector<std::pair<std::int16_t, sd_bus_message*>> held_;
};

class DbusAutomationTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(bus.ok()) << "no dbus-daemon to run the tests on"; }

  void StartDecoder() {
    decoder.emplace();
    ASSERT_TRUE(decoder->ok());
  }

  PrivateBus bus;
  std::optional<TestDecoder> decoder;
  std::unique_ptr<Automation> automation = MakeDbusAutomation(kDbusCallTimeout);
};

long long MillisSince(SteadyClock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(SteadyClock::now() - start).count();
}

TEST(DbusObjectPathTest, MadeFromValidProgIdsOnly) {
  struct Case {
    std::string progId;
    std::string path;
  } cases[] = {
      {"SondeMonitor.Document", "/SondeMonitor/Document"},
      {"A.b_c.D9", "/A/b_c/D9"},
      {"", ""},
      {"NoDot", ""},
      {"a..b", ""},
      {".a.b", ""},
      {"1a.b", ""},   // elements may not start with a digit
      {":1.42", ""},  // a unique name is not a ProgID
      {"a-b.c", ""},  // fine for a bus name, not for an interface or path
      {"a.b/c", ""},  // no path injection
      {std::string("a.b\0c", 5), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DbusObjectPath(c.progId), c.path) << c.progId;
}

TEST_F(DbusAutomationTest, NoDecoderRunningIsNotFound) {
  EXPECT_FALSE(automation->Attach(kProgId));
  EXPECT_FALSE(automation->IsAttached());
  EXPECT_EQ(automation->Call(kSondeDataMember, 1).outcome, CallOutcome::kUnresponsive);
}

TEST_F(DbusAutomationTest, InvalidProgIdIsNotFound) {
  StartDecoder();
  EXPECT_FALSE(automation->Attach("SondeMonitor..Document"));
  EXPECT_FALSE(automation->Attach(""));
  EXPECT_FALSE(automation->IsAttached());
}

TEST_F(DbusAutomationTest, NoSessionBusIsNotFound) {
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/nimbrix-test-bus", 1);
  EXPECT_FALSE(automation->Attach(kProgId));
  EXPECT_FALSE(automation->IsAttached());
}

TEST_F(DbusAutomationTest, EveryVarTypeArrivesWithItsValue) {
  StartDecoder();
  struct Case {
    const char* what;
    Responder reply;
    Variant expected;
  } cases[] = {
      {"EMPTY", QvNothing(VT_EMPTY), Variant{VT_EMPTY, {}}},
      {"NULL", QvNothing(VT_NULL), Variant{VT_NULL, {}}},
      {"I1", Qv(VT_I1, "n", -128), Variant::Signed(-128, VT_I1)},
      {"I2", Qv(VT_I2, "n", -32768), Variant::Signed(-32768, VT_I2)},
      {"UI1", Qv(VT_UI1, "y", 255), Variant::Unsigned(255, VT_UI1)},
      {"UI2", Qv(VT_UI2, "q", 65535), Variant::Unsigned(65535, VT_UI2)},
      {"I4", Qv(VT_I4, "i", -2147483647 - 1), Variant::Signed(-2147483648LL, VT_I4)},
      {"INT", Qv(VT_INT, "i", 7), Variant::Signed(7, VT_INT)},
      {"UI4", Qv(VT_UI4, "u", 4294967295U), Variant::Unsigned(4294967295ULL, VT_UI4)},
      {"UINT", Qv(VT_UINT, "u", 9U), Variant::Unsigned(9, VT_UINT)},
      {"I8", Qv(VT_I8, "x", std::int64_t{-9007199254740993}),
       Variant::Signed(-9007199254740993LL, VT_I8)},
      {"UI8", Qv(VT_UI8, "t", std::uint64_t{18446744073709551615ULL}),
       Variant::Unsigned(18446744073709551615ULL, VT_UI8)},
      {"CY raw", Qv(VT_CY, "x", std::int64_t{123456}), Variant::Signed(123456, VT_CY)},
      {"R4", Qv(VT_R4, "d", double{0.1f}), Variant::Real(double{0.1f}, VT_R4)},
      {"R8", Qv(VT_R8, "d", 48.123456), Variant::Real(48.123456)},
      {"DATE", Qv(VT_DATE, "d", 45000.5), Variant::Real(45000.5, VT_DATE)},
      {"BOOL true", Qv(VT_BOOL, "b", 1), Variant::Boolean(true)},
      {"BOOL false", Qv(VT_BOOL, "b", 0), Variant::Boolean(false)},
      {"BSTR", QvText(VT_BSTR, "ME1234567"), Variant::Text("ME1234567")},
      {"BSTR empty", QvText(VT_BSTR, ""), Variant::Text("")},
      {"BSTR UTF-8", QvText(VT_BSTR, "M\xc3\xbcnchen"), Variant::Text("M\xc3\xbcnchen")},
  };
  ASSERT_TRUE(automation->Attach(kProgId));
  for (const auto& c : cases) {
    decoder->Set(3, c.reply);
    CallResult result = automation->Call(kSondeDataMember, 3);
    EXPECT_EQ(result.outcome, CallOutcome::kOk) << c.what;
    EXPECT_EQ(result.value.vt, c.expected.vt) << c.what;
    EXPECT_EQ(result.value.value, c.expected.value) << c.what;
  }
  EXPECT_TRUE(automation->IsAttached());
}

TEST_F(DbusAutomationTest, AnswersOutsideTheContractFailWithoutValue) {
  StartDecoder();
  struct Case {
    const char* what;
    Responder reply;
  } cases[] = {
      {"R8 sent as text", QvText(VT_R8, "12.5")},
      {"BSTR sent as double", Qv(VT_BSTR, "d", 12.5)},
      {"I2 sent as int32", Qv(VT_I2, "i", 5)},
      {"EMPTY with a value", Qv(VT_EMPTY, "i", 5)},
      {"unknown VARTYPE", Qv(std::uint16_t{9}, "i", 5)},
      {"VT_ARRAY flag", Qv(std::uint16_t{0x2005}, "d", 1.0)},
      {"bare double", [](sd_bus_message* m) { return sd_bus_reply_method_return(m, "d", 1.0); }},
      {"bare variant",
       [](sd_bus_message* m) { return sd_bus_reply_method_return(m, "v", "d", 1.0); }},
      {"extra argument",
       [](sd_bus_message* m) {
         return sd_bus_reply_method_return(m, "(qv)s", VT_R8, "d", 1.0, "x");
       }},
      {"nested variant",
       [](sd_bus_message* m) {
         return sd_bus_reply_method_return(m, "(qv)", VT_R8, "v", "d", 1.0);
       }},
      {"no arguments", [](sd_bus_message* m) { return sd_bus_reply_method_return(m, ""); }},
  };
  ASSERT_TRUE(automation->Attach(kProgId));
  for (const auto& c : cases) {
    decoder->Set(1, c.reply);
    CallResult result = automation->Call(kSondeDataMember, 1);
    EXPECT_EQ(result.outcome, CallOutcome::kFailed) << c.what;
    EXPECT_EQ(result.value.vt, VT_EMPTY) << c.what;
    EXPECT_TRUE(std::holds_alternative<std::monostate>(result.value.value)) << c.what;
  }
  EXPECT_TRUE(automation->IsAttached());
}

TEST_F(DbusAutomationTest, HostileTextsArriveByteForByte) {
  StartDecoder();
  ASSERT_TRUE(automation->Attach(kProgId));
  const std::string texts[] = {
      "RS41\r\nuser N0CALL pass 12345\r\n",  // line injection is the caller's to defuse
      "\x1b[2J\x1b]0;title\x07",
      std::string(100000, 'A'),
  };
  for (const auto& text : texts) {
    decoder->Set(0, QvText(VT_BSTR, text));
    CallResult result = automation->Call(kSondeDataMember, 0);
    ASSERT_EQ(result.outcome, CallOutcome::kOk);
    EXPECT_EQ(std::get<std::string>(result.value.value), text);
  }
}

TEST_F(DbusAutomationTest, CallsGoToTheUniqueNameWithoutAutoStart) {
  StartDecoder();
  decoder->Set(-1, Qv(VT_I4, "i", 1));
  decoder->Set(14, Qv(VT_I4, "i", 1));
  ASSERT_TRUE(automation->Attach(kProgId));
  automation->Call(kSondeDataMember, 14);
  automation->Call(kSondeDataMember, -1);
  auto seen = decoder->Seen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].index, 14);
  EXPECT_EQ(seen[1].index, -1);
  for (const auto& s : seen) {
    EXPECT_FALSE(s.autoStart);
    EXPECT_EQ(s.destination, decoder->unique());
  }
}

TEST_F(DbusAutomationTest, DecoderErrorsFailOneRequestOnly) {
  StartDecoder();
  decoder->Set(1, Qv(VT_R8, "d", 48.5));
  ASSERT_TRUE(automation->Attach(kProgId));
  EXPECT_EQ(automation->Call(kSondeDataMember, 15).outcome, CallOutcome::kFailed);  // InvalidIndex
  EXPECT_EQ(automation->Call("NOSUCHMEMBER", 1).outcome, CallOutcome::kFailed);
  EXPECT_EQ(automation->Call("not a member!", 1).outcome, CallOutcome::kFailed);
  EXPECT_EQ(automation->Call(std::string_view("GETSONDEDATA\0x", 14), 1).outcome,
            CallOutcome::kFailed);
  decoder->Set(2, [](sd_bus_message* m) {
    return sd_bus_reply_method_errorf(m, "SondeMonitor.Document.Error.Busy", "busy");
  });
  EXPECT_EQ(automation->Call(kSondeDataMember, 2).outcome, CallOutcome::kFailed);
  EXPECT_TRUE(automation->IsAttached());
  EXPECT_EQ(automation->Call(kSondeDataMember, 1).outcome, CallOutcome::kOk);
}

TEST_F(DbusAutomationTest, FrozenDecoderTimesOutAndDetaches) {
  StartDecoder();
  decoder->Set(1, Qv(VT_R8, "d", 48.5));
  ASSERT_TRUE(automation->Attach(kProgId));
  decoder->Freeze();
  auto start = SteadyClock::now();
  CallResult result = automation->Call(kSondeDataMember, 1);
  long long took = MillisSince(start);
  EXPECT_EQ(result.outcome, CallOutcome::kUnresponsive);
  EXPECT_EQ(result.value.vt, VT_EMPTY);
  EXPECT_GE(took, 200);
  EXPECT_LE(took, 1000);  // far below sd-bus' own 25 s; room for a machine that is busy
  EXPECT_FALSE(automation->IsAttached());
  // Still owning its name, a hung decoder is attached again; it just keeps timing out.
  EXPECT_TRUE(automation->Attach(kProgId));
}

TEST_F(DbusAutomationTest, KilledDecoderIsUnresponsiveAndRestartIsReadAgain) {
  StartDecoder();
  decoder->Set(1, Qv(VT_R8, "d", 48.5));
  ASSERT_TRUE(automation->Attach(kProgId));
  const std::string firstOwner = decoder->unique();
  decoder.reset();

  auto start = SteadyClock::now();
  EXPECT_EQ(automation->Call(kSondeDataMember, 1).outcome, CallOutcome::kUnresponsive);
  EXPECT_LE(MillisSince(start), 1000);  // answered by the bus at once: no time-out to wait for
  EXPECT_FALSE(automation->IsAttached());
  EXPECT_EQ(automation->Call(kSondeDataMember, 2).outcome, CallOutcome::kUnresponsive);
  EXPECT_FALSE(automation->Attach(kProgId));

  StartDecoder();
  decoder->Set(1, Qv(VT_R8, "d", 49.25));
  ASSERT_TRUE(automation->Attach(kProgId));
  EXPECT_NE(decoder->unique(), firstOwner);
  CallResult result = automation->Call(kSondeDataMember, 1);
  EXPECT_EQ(result.outcome, CallOutcome::kOk);
  EXPECT_EQ(result.value.value, Variant::Real(49.25).value);
}

TEST_F(DbusAutomationTest, FrozenBusDaemonBoundsAttachAndCall) {
  StartDecoder();
  decoder->Set(1, Qv(VT_R8, "d", 48.5));
  ASSERT_TRUE(automation->Attach(kProgId));
  bus.Freeze();
  auto start = SteadyClock::now();
  EXPECT_EQ(automation->Call(kSondeDataMember, 1).outcome, CallOutcome::kUnresponsive);
  EXPECT_FALSE(automation->Attach(kProgId));
  EXPECT_LE(MillisSince(start), 2000);  // two time-outs of 250 ms, with room for a busy machine
  bus.Thaw();
  EXPECT_TRUE(automation->Attach(kProgId));
  EXPECT_EQ(automation->Call(kSondeDataMember, 1).outcome, CallOutcome::kOk);
}

TEST_F(DbusAutomationTest, ReleaseDetachesAndAttachReopensTheBus) {
  StartDecoder();
  decoder->Set(1, Qv(VT_R8, "d", 48.5));
  ASSERT_TRUE(automation->Attach(kProgId));
  automation->Release();
  EXPECT_FALSE(automation->IsAttached());
  EXPECT_EQ(automation->Call(kSondeDataMember, 1).outcome, CallOutcome::kUnresponsive);
  automation->Release();  // twice is harmless
  ASSERT_TRUE(automation->Attach(kProgId));
  EXPECT_EQ(automation->Call(kSondeDataMember, 1).outcome, CallOutcome::kOk);
}

// The round: fifteen calls in flight at once, one deadline, answers matched to their calls.

const std::vector<std::int16_t> kItems = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};

// Item i answers 100 * n + i on its n-th call.
Responder CountingAnswer(int item, std::shared_ptr<std::map<int, int>> counts,
                         milliseconds firstDelay = milliseconds{0}) {
  return [=](sd_bus_message* m) {
    const int n = ++(*counts)[item];
    if (n == 1 && firstDelay.count() > 0) std::this_thread::sleep_for(firstDelay);
    return sd_bus_reply_method_return(m, "(qv)", VT_I4, "i", 100 * n + item);
  };
}

std::vector<std::int64_t> Values(const std::vector<CallResult>& results) {
  std::vector<std::int64_t> values;
  for (const CallResult& r : results) {
    values.push_back(r.outcome == CallOutcome::kOk ? std::get<std::int64_t>(r.value.value) : -1);
  }
  return values;
}

TEST_F(DbusAutomationTest, RoundHasAllCallsInFlightAndMatchesAnswersToTheirItems) {
  StartDecoder();
  auto counts = std::make_shared<std::map<int, int>>();
  for (int item : kItems) decoder->Set(item, CountingAnswer(item, counts));
  // Answered only when all fifteen are there, and last one first.
  decoder->AnswerOnlyOnceAllCame(kItems.size());
  ASSERT_TRUE(automation->Attach(kProgId));
  const std::vector<CallResult> results = automation->CallRound("GETSONDEDATA", kItems);
  std::vector<std::int64_t> want;
  for (int item : kItems) want.push_back(100 + item);
  EXPECT_EQ(Values(results), want);
  const auto seen = decoder->Seen();
  ASSERT_EQ(seen.size(), kItems.size());
  for (std::size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].index, kItems[i]);  // sent in item order, once each
    EXPECT_FALSE(seen[i].autoStart);
    EXPECT_EQ(seen[i].destination, decoder->unique());
  }
  EXPECT_TRUE(automation->IsAttached());
}

TEST_F(DbusAutomationTest, RoundFailsTheItemsTheDecoderRefusesOnly) {
  StartDecoder();
  auto counts = std::make_shared<std::map<int, int>>();
  for (int item : kItems) {
    if (item != 5) decoder->Set(item, CountingAnswer(item, counts));  // 5: InvalidIndex
  }
  decoder->Set(7, [](sd_bus_message* m) {
    return sd_bus_reply_method_errorf(m, "SondeMonitor.Document.Error.Busy", "busy");
  });
  decoder->Set(9, QvText(VT_R8, "not a double"));  // outside the contract
  ASSERT_TRUE(automation->Attach(kProgId));
  const std::vector<CallResult> results = automation->CallRound("GETSONDEDATA", kItems);
  ASSERT_EQ(results.size(), kItems.size());
  for (int item : kItems) {
    const bool refused = item == 5 || item == 7 || item == 9;
    EXPECT_EQ(results[item].outcome, refused ? CallOutcome::kFailed : CallOutcome::kOk) << item;
  }
  EXPECT_TRUE(automation->IsAttached());
  EXPECT_EQ(automation->CallRound("NOT A MEMBER", kItems)[0].outcome, CallOutcome::kFailed);
  EXPECT_TRUE(automation->IsAttached());
}

TEST_F(DbusAutomationTest, FrozenDecoderCostsTheRoundOneTimeOut) {
  StartDecoder();
  decoder->Set(1, Qv(VT_R8, "d", 48.5));
  ASSERT_TRUE(automation->Attach(kProgId));
  decoder->Freeze();
  const auto start = SteadyClock::now();
  const std::vector<CallResult> results = automation->CallRound("GETSONDEDATA", kItems);
  const long long took = MillisSince(start);
  ASSERT_EQ(results.size(), kItems.size());
  for (const CallResult& r : results) {
    EXPECT_EQ(r.outcome, CallOutcome::kUnresponsive);
    EXPECT_EQ(r.value.vt, VT_EMPTY);
  }
  EXPECT_GE(took, 200);
  EXPECT_LE(took, 1000);  // one time-out of 250 ms for fifteen calls, room for a busy machine
  EXPECT_FALSE(automation->IsAttached());
}

TEST_F(DbusAutomationTest, LateAnswersAreDroppedNotTakenAsTheNextRounds) {
  StartDecoder();
  auto counts = std::make_shared<std::map<int, int>>();
  for (int item : kItems) {
    // Item 3's first answer comes after the round's time-out; the decoder answers in turn,
    // so every item after it is late too.
    decoder->Set(item,
                 CountingAnswer(item, counts, item == 3 ? milliseconds{1500} : milliseconds{0}));
  }
  // Time-outs of a second and an answer 1.5 s late: the second round starts before the late
  // answers arrive and ends after, with wide margins on a busy machine.
  automation = MakeDbusAutomation(milliseconds{1000});
  ASSERT_TRUE(automation->Attach(kProgId));
  const std::vector<CallResult> first = automation->CallRound("GETSONDEDATA", kItems);
  ASSERT_EQ(first.size(), kItems.size());
  for (int item : kItems) {
    EXPECT_EQ(first[item].outcome, item < 3 ? CallOutcome::kOk : CallOutcome::kUnresponsive)
        << item;
  }
  EXPECT_FALSE(automation->IsAttached());

  // The next cycle attaches again; the first round's answers arrive while the second waits.
  ASSERT_TRUE(automation->Attach(kProgId));
  const std::vector<CallResult> second = automation->CallRound("GETSONDEDATA", kItems);
  std::vector<std::int64_t> want;
  for (int item : kItems) want.push_back(200 + item);  // each item's second answer
  EXPECT_EQ(Values(second), want);
  EXPECT_TRUE(automation->IsAttached());
  std::this_thread::sleep_for(milliseconds{100});
  EXPECT_EQ(Values(automation->CallRound("GETSONDEDATA", kItems))[14], 314);
}

TEST_F(DbusAutomationTest, KilledDecoderEndsTheRoundAtOnce) {
  StartDecoder();
  decoder->Set(1, Qv(VT_R8, "d", 48.5));
  ASSERT_TRUE(automation->Attach(kProgId));
  decoder.reset();
  const auto start = SteadyClock::now();
  for (const CallResult& r : automation->CallRound("GETSONDEDATA", kItems)) {
    EXPECT_EQ(r.outcome, CallOutcome::kUnresponsive);
  }
  EXPECT_LE(MillisSince(start), 1000);
  EXPECT_FALSE(automation->IsAttached());
  EXPECT_EQ(automation->CallRound("GETSONDEDATA", kItems)[0].outcome, CallOutcome::kUnresponsive);
}

// A list of two sondes: each entry's age and its items, decoded as single answers are. A
// decoder without the member answers nullopt and stays attached; a reply of another shape too.
TEST_F(DbusAutomationTest, TheListOfSondesArrivesEntryByEntry) {
  StartDecoder();
  decoder->SetList([](sd_bus_message* m) {
    sd_bus_message* reply = nullptr;
    sd_bus_message_new_method_return(m, &reply);
    sd_bus_message_open_container(reply, 'a', "(ua(qv))");
    const std::pair<std::uint32_t, const char*> sondes[] = {{1200, "S2410203"},
                                                            {9000, "DFM-314377"}};
    for (const auto& [age, serial] : sondes) {
      sd_bus_message_open_container(reply, 'r', "ua(qv)");
      sd_bus_message_append(reply, "u", age);
      sd_bus_message_open_container(reply, 'a', "(qv)");
      sd_bus_message_append(reply, "(qv)", std::uint16_t{8}, "s", serial);
      sd_bus_message_append(reply, "(qv)", std::uint16_t{5}, "d", 48.25);
      sd_bus_message_append(reply, "(qv)", std::uint16_t{0}, "ay", 0);
      sd_bus_message_close_container(reply);
      sd_bus_message_close_container(reply);
    }
    sd_bus_message_close_container(reply);
    const int r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
  });
  ASSERT_TRUE(automation->Attach(kProgId));
  const auto list = automation->CallList(kSondeListMember);
  ASSERT_TRUE(list.has_value());
  ASSERT_EQ(list->size(), 2u);
  EXPECT_EQ((*list)[0].ageMs, 1200u);
  EXPECT_EQ((*list)[1].ageMs, 9000u);
  ASSERT_EQ((*list)[1].items.size(), 3u);
  EXPECT_EQ((*list)[1].items[0].value.vt, VT_BSTR);
  EXPECT_EQ((*list)[1].items[0].value.value, Variant::Text("DFM-314377").value);
  EXPECT_EQ((*list)[1].items[1].value.value, Variant::Real(48.25).value);
  EXPECT_EQ((*list)[1].items[2].value.vt, VT_EMPTY);

  decoder->SetList([](sd_bus_message* m) { return sd_bus_reply_method_return(m, "as", 0); });
  EXPECT_FALSE(automation->CallList(kSondeListMember).has_value());
  EXPECT_TRUE(automation->IsAttached());
  decoder->SetList({});
  EXPECT_FALSE(automation->CallList(kSondeListMember).has_value());
  EXPECT_TRUE(automation->IsAttached());
}

}  // namespace
}  // namespace nimbrix
