// The decoder reached over the D-Bus session bus with sd-bus.
//
// Every bus operation runs against a deadline, so a frozen decoder or a frozen bus daemon
// costs the caller at most the time-out, never more. A decoder that times out, or whose
// connection is gone, detaches this backend: the station attaches again on its next cycle and
// so picks up a decoder that was restarted (it then has a new unique name).
//
// Answers that break the "(qv)" contract (another signature, a VARTYPE code we do not know,
// or a D-Bus type that does not belong to the code) count as a failed request: kFailed with
// VT_EMPTY, which the station reads as 0 or empty text, as it does any other failure.

#include "platform/posix/automation_dbus.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/system.h"
#include "platform/variant_signatures.h"

namespace nimbrix {

namespace {

using Clock = std::chrono::steady_clock;

struct BusUnref {
  void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};
struct MessageUnref {
  void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
struct SlotUnref {
  // Dropping a call's slot cancels it: an answer that comes later matches nothing and is
  // thrown away by sd_bus_process.
  void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
using BusPtr = std::unique_ptr<sd_bus, BusUnref>;
using SlotPtr = std::unique_ptr<sd_bus_slot, SlotUnref>;
using MessagePtr = std::unique_ptr<sd_bus_message, MessageUnref>;

struct BusError {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  BusError() = default;
  BusError(const BusError&) = delete;
  BusError& operator=(const BusError&) = delete;
  ~BusError() { sd_bus_error_free(&error); }
};

// Microseconds left until `deadline`; 0 once it has passed.
std::uint64_t MicrosLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<std::uint64_t>(left.count()) : 0;
}

// Reads the variant's value, already entered, whose D-Bus type is `sig`.
bool ReadValue(sd_bus_message* m, const std::string& sig, Variant& out) {
  if (sig == "ay") {
    const void* bytes = nullptr;
    size_t size = 0;
    return sd_bus_message_read_array(m, 'y', &bytes, &size) >= 0;  // contents carry nothing
  }
  if (sig.size() != 1) return false;
  int r = -EINVAL;
  switch (sig[0]) {
    case 'n': {
      std::int16_t v = 0;
      r = sd_bus_message_read_basic(m, 'n', &v);
      out.value = std::int64_t{v};
      break;
    }
    case 'y': {
      std::uint8_t v = 0;
      r = sd_bus_message_read_basic(m, 'y', &v);
      out.value = std::uint64_t{v};
      break;
    }
    case 'q': {
      std::uint16_t v = 0;
      r = sd_bus_message_read_basic(m, 'q', &v);
      out.value = std::uint64_t{v};
      break;
    }
    case 'i': {
      std::int32_t v = 0;
      r = sd_bus_message_read_basic(m, 'i', &v);
      out.value = std::int64_t{v};
      break;
    }
    case 'u': {
      std::uint32_t v = 0;
      r = sd_bus_message_read_basic(m, 'u', &v);
      out.value = std::uint64_t{v};
      break;
    }
    case 'x': {
      std::int64_t v = 0;
      r = sd_bus_message_read_basic(m, 'x', &v);
      out.value = v;
      break;
    }
    case 't': {
      std::uint64_t v = 0;
      r = sd_bus_message_read_basic(m, 't', &v);
      out.value = v;
      break;
    }
    case 'd': {
      double v = 0;
      r = sd_bus_message_read_basic(m, 'd', &v);
      out.value = v;
      break;
    }
    case 'b': {
      int v = 0;
      r = sd_bus_message_read_basic(m, 'b', &v);
      out.value = v != 0;
      break;
    }
    case 's': {
      // sd-bus has already checked the text is valid UTF-8 without NUL bytes; keep it as is.
      const char* v = nullptr;
      r = sd_bus_message_read_basic(m, 's', &v);
      out.value = std::string(v != nullptr ? v : "");
      break;
    }
    default:
      return false;
  }
  return r >= 0;
}

// Reads one "(qv)" where the message stands into a Variant; false for anything outside the
// contract.
bool DecodeQv(sd_bus_message* reply, Variant& out) {
  if (sd_bus_message_enter_container(reply, 'r', "qv") <= 0) return false;
  std::uint16_t vt = 0;
  if (sd_bus_message_read_basic(reply, 'q', &vt) <= 0) return false;
  char type = 0;
  const char* contents = nullptr;
  if (sd_bus_message_peek_type(reply, &type, &contents) <= 0 || type != 'v' || !contents) {
    return false;
  }
  const std::string sig = contents;
  const char* expected = DbusSignatureOf(vt);
  if (!expected || sig != expected) return false;
  if (sd_bus_message_enter_container(reply, 'v', contents) <= 0) return false;
  Variant value;
  value.vt = vt;
  if (!ReadValue(reply, sig, value)) return false;
  if (sd_bus_message_exit_container(reply) < 0 || sd_bus_message_exit_container(reply) < 0) {
    return false;
  }
  out = std::move(value);
  return true;
}

// Turns a "(qv)" reply into a Variant.
bool DecodeReply(sd_bus_message* reply, Variant& out) {
  if (sd_bus_message_has_signature(reply, "(qv)") <= 0) return false;
  return DecodeQv(reply, out);
}

// At most this many entries of a list, and items per entry, are read: a hostile decoder's
// list cannot make the station take its memory.
constexpr std::size_t kMaxListEntries = 64;
constexpr std::size_t kMaxListItems = 32;

// Turns an "a(ua(qv))" reply into entries; nullopt for anything outside the contract.
std::optional<std::vector<ListedEntry>> DecodeList(sd_bus_message* reply) {
  if (sd_bus_message_has_signature(reply, "a(ua(qv))") <= 0) return std::nullopt;
  if (sd_bus_message_enter_container(reply, 'a', "(ua(qv))") <= 0) return std::nullopt;
  std::vector<ListedEntry> entries;
  while (entries.size() < kMaxListEntries) {
    const int in = sd_bus_message_enter_container(reply, 'r', "ua(qv)");
    if (in < 0) return std::nullopt;
    if (in == 0) break;
    ListedEntry entry;
    if (sd_bus_message_read_basic(reply, 'u', &entry.ageMs) <= 0) return std::nullopt;
    if (sd_bus_message_enter_container(reply, 'a', "(qv)") <= 0) return std::nullopt;
    for (;;) {
      if (sd_bus_message_at_end(reply, false) > 0) break;
      Variant value;
      const bool ok = DecodeQv(reply, value);
      if (!ok) return std::nullopt;  // the message cannot be read on past it
      if (entry.items.size() < kMaxListItems) {
        entry.items.push_back({std::move(value), CallOutcome::kOk});
      }
    }
    if (sd_bus_message_exit_container(reply) < 0 || sd_bus_message_exit_container(reply) < 0) {
      return std::nullopt;
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

// Errors that mean the decoder (or the bus) is not there to answer, as opposed to a decoder
// that answered with an error of its own.
bool MeansGone(int r, const sd_bus_error* e) {
  static const char* const kGoneNames[] = {
      "org.freedesktop.DBus.Error.NoReply",        "org.freedesktop.DBus.Error.Timeout",
      "org.freedesktop.DBus.Error.TimedOut",       "org.freedesktop.DBus.Error.ServiceUnknown",
      "org.freedesktop.DBus.Error.NameHasNoOwner", "org.freedesktop.DBus.Error.Disconnected",
  };
  for (const char* name : kGoneNames) {
    if (sd_bus_error_has_name(e, name) > 0) return true;
  }
  switch (-r) {
    case ETIMEDOUT:
    case ECONNRESET:
    case ENOTCONN:
    case EPIPE:
    case ESHUTDOWN:
    case ECONNREFUSED:
    case ENOBUFS:  // our outgoing queue is full: nobody reads it
      return true;
    default:
      return false;
  }
}

// One call of a round, filled in by its reply.
struct PendingCall {
  CallResult result{Variant::Empty(), CallOutcome::kUnresponsive};
  bool sent = false;
  bool answered = false;
};

int OnRoundReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
  auto* call = static_cast<PendingCall*>(userdata);
  call->answered = true;
  if (const sd_bus_error* e = sd_bus_message_get_error(reply)) {
    // The bus answers for a decoder that is gone (or did not answer in time); the decoder's
    // own errors fail this item only.
    const bool gone = MeansGone(-sd_bus_error_get_errno(e), e);
    call->result = {Variant::Empty(), gone ? CallOutcome::kUnresponsive : CallOutcome::kFailed};
    return 0;
  }
  Variant value;
  if (DecodeReply(reply, value)) {
    call->result = {std::move(value), CallOutcome::kOk};
  } else {
    call->result = {Variant::Empty(), CallOutcome::kFailed};
  }
  return 0;
}

class DbusAutomation : public Automation {
 public:
  explicit DbusAutomation(std::chrono::milliseconds timeout) : timeout_(timeout) {}
  ~DbusAutomation() override { Release(); }

  bool Attach(std::string_view progId) override {
    Detach();
    std::string path = DbusObjectPath(progId);
    if (path.empty()) return false;
    const std::string name(progId);
    const auto deadline = Clock::now() + timeout_;
    if (!OpenBus(deadline)) return false;

    // Ask the bus first: a call to a well-known name could start a decoder by activation.
    MessagePtr reply;
    if (!CallBus("NameHasOwner", name, deadline, reply)) return false;
    int owned = 0;
    if (sd_bus_message_read_basic(reply.get(), 'b', &owned) <= 0 || !owned) return false;

    if (!CallBus("GetNameOwner", name, deadline, reply)) return false;
    const char* unique = nullptr;
    if (sd_bus_message_read_basic(reply.get(), 's', &unique) <= 0 || !unique) return false;

    unique_ = unique;
    interface_ = name;
    path_ = std::move(path);
    attached_ = true;
    return true;
  }

  bool IsAttached() const override { return attached_; }

  CallResult Call(std::string_view member, std::int16_t argument) override {
    if (!attached_ || !bus_) return {Variant::Empty(), CallOutcome::kUnresponsive};
    const std::string name(member);
    // A name D-Bus cannot carry is a member the object does not have.
    if (name.find('\0') != std::string::npos || sd_bus_member_name_is_valid(name.c_str()) <= 0) {
      return {Variant::Empty(), CallOutcome::kFailed};
    }
    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_method_call(bus_.get(), &raw, unique_.c_str(), path_.c_str(),
                                       interface_.c_str(), name.c_str()) < 0) {
      return {Variant::Empty(), CallOutcome::kFailed};
    }
    MessagePtr call(raw);
    if (sd_bus_message_append_basic(call.get(), 'n', &argument) < 0 ||
        sd_bus_message_set_auto_start(call.get(), 0) < 0) {
      return {Variant::Empty(), CallOutcome::kFailed};
    }

    const auto deadline = Clock::now() + timeout_;
    BusError error;
    sd_bus_message* rawReply = nullptr;
    int r = Send(call.get(), deadline, error, &rawReply);
    MessagePtr reply(rawReply);
    if (r < 0) {
      const bool gone = MeansGone(r, &error.error) || sd_bus_is_open(bus_.get()) <= 0;
      if (sd_bus_is_open(bus_.get()) <= 0) bus_.reset();
      if (gone) {
        Detach();
        return {Variant::Empty(), CallOutcome::kUnresponsive};
      }
      return {Variant::Empty(), CallOutcome::kFailed};
    }
    Variant value;
    if (!DecodeReply(reply.get(), value)) return {Variant::Empty(), CallOutcome::kFailed};
    return {std::move(value), CallOutcome::kOk};
  }

  // One call, one deadline; an object without the member (UnknownMethod) answers nullopt and
  // stays attached, a decoder gone is detached as after any call.
  std::optional<std::vector<ListedEntry>> CallList(std::string_view member) override {
    if (!attached_ || !bus_) return std::nullopt;
    const std::string name(member);
    if (name.find('\0') != std::string::npos || sd_bus_member_name_is_valid(name.c_str()) <= 0) {
      return std::nullopt;
    }
    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_method_call(bus_.get(), &raw, unique_.c_str(), path_.c_str(),
                                       interface_.c_str(), name.c_str()) < 0) {
      return std::nullopt;
    }
    MessagePtr call(raw);
    if (sd_bus_message_set_auto_start(call.get(), 0) < 0) return std::nullopt;
    const auto deadline = Clock::now() + timeout_;
    BusError error;
    sd_bus_message* rawReply = nullptr;
    const int r = Send(call.get(), deadline, error, &rawReply);
    MessagePtr reply(rawReply);
    if (r < 0) {
      const bool gone = MeansGone(r, &error.error) || sd_bus_is_open(bus_.get()) <= 0;
      if (sd_bus_is_open(bus_.get()) <= 0) bus_.reset();
      if (gone) Detach();
      return std::nullopt;
    }
    return DecodeList(reply.get());
  }

  // All calls go out first, in order, and then the answers are collected as they come, each
  // matched to its call by its slot; one deadline covers the whole round. Calls still
  // unanswered at the deadline are cancelled (their slots dropped) and read as kUnresponsive,
  // and the decoder is detached as after a single call that timed out.
  std::vector<CallResult> CallRound(std::string_view member,
                                    const std::vector<std::int16_t>& arguments) override {
    std::vector<PendingCall> calls(arguments.size());
    auto Results = [&calls] {
      std::vector<CallResult> results;
      results.reserve(calls.size());
      for (PendingCall& call : calls) results.push_back(std::move(call.result));
      return results;
    };
    if (!attached_ || !bus_) return Results();
    const std::string name(member);
    if (name.find('\0') != std::string::npos || sd_bus_member_name_is_valid(name.c_str()) <= 0) {
      for (PendingCall& call : calls) call.result.outcome = CallOutcome::kFailed;
      return Results();
    }

    const auto deadline = Clock::now() + timeout_;
    std::vector<SlotPtr> slots;  // declared after `calls`: cancelled before they go
    slots.reserve(arguments.size());
    bool broken = false;
    for (std::size_t i = 0; i < arguments.size() && !broken; ++i) {
      sd_bus_message* raw = nullptr;
      if (sd_bus_message_new_method_call(bus_.get(), &raw, unique_.c_str(), path_.c_str(),
                                         interface_.c_str(), name.c_str()) < 0) {
        calls[i].result.outcome = CallOutcome::kFailed;
        continue;
      }
      MessagePtr call(raw);
      if (sd_bus_message_append_basic(call.get(), 'n', &arguments[i]) < 0 ||
          sd_bus_message_set_auto_start(call.get(), 0) < 0) {
        calls[i].result.outcome = CallOutcome::kFailed;
        continue;
      }
      const std::uint64_t left = MicrosLeft(deadline);
      if (left == 0) break;  // sd-bus reads 0 as "its own default of 25 s"
      sd_bus_slot* slot = nullptr;
      const int r = sd_bus_call_async(bus_.get(), &slot, call.get(), OnRoundReply, &calls[i], left);
      if (r < 0) {
        const BusError none;
        broken = MeansGone(r, &none.error) || sd_bus_is_open(bus_.get()) <= 0;
        if (!broken) calls[i].result.outcome = CallOutcome::kFailed;
        continue;
      }
      slots.emplace_back(slot);
      calls[i].sent = true;
    }

    // Collect until every call sent is answered or the deadline passes. Whatever else arrives
    // (late answers of an earlier round, signals) is read and dropped on the way.
    auto Open = [&calls] {
      std::size_t n = 0;
      for (const PendingCall& call : calls) n += call.sent && !call.answered;
      return n;
    };
    while (!broken && Open() > 0) {
      const std::uint64_t left = MicrosLeft(deadline);
      if (left == 0) break;
      const int r = sd_bus_process(bus_.get(), nullptr);
      if (r < 0) {
        broken = true;
      } else if (r == 0 && sd_bus_wait(bus_.get(), left) < 0) {
        broken = true;
      }
    }
    slots.clear();

    bool unresponsive = broken;
    for (const PendingCall& call : calls) {
      unresponsive = unresponsive || call.result.outcome == CallOutcome::kUnresponsive;
    }
    if (sd_bus_is_open(bus_.get()) <= 0) bus_.reset();
    if (unresponsive) Detach();
    return Results();
  }

  void Release() override {
    Detach();
    bus_.reset();
  }

 private:
  void Detach() {
    attached_ = false;
    unique_.clear();
  }

  // Opens the session bus if it is not open, and waits for the bus daemon's welcome.
  bool OpenBus(Clock::time_point deadline) {
    if (bus_ && sd_bus_is_open(bus_.get()) > 0) return true;
    bus_.reset();
    sd_bus* raw = nullptr;
    if (sd_bus_open_user(&raw) < 0) return false;
    BusPtr bus(raw);
    for (;;) {
      int ready = sd_bus_is_ready(bus.get());
      if (ready < 0) return false;
      if (ready > 0) break;
      int r = sd_bus_process(bus.get(), nullptr);
      if (r < 0) return false;
      if (r > 0) continue;
      std::uint64_t left = MicrosLeft(deadline);
      if (left == 0 || sd_bus_wait(bus.get(), left) < 0) return false;
    }
    bus_ = std::move(bus);
    return true;
  }

  // One call to the bus daemon with a text argument. On a failure that is not the daemon's
  // plain answer the connection is dropped, so the next Attach starts afresh.
  bool CallBus(const char* member, const std::string& arg, Clock::time_point deadline,
               MessagePtr& reply) {
    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_method_call(bus_.get(), &raw, "org.freedesktop.DBus",
                                       "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                       member) < 0) {
      return false;
    }
    MessagePtr call(raw);
    if (sd_bus_message_append_basic(call.get(), 's', arg.c_str()) < 0) return false;
    BusError error;
    sd_bus_message* rawReply = nullptr;
    int r = Send(call.get(), deadline, error, &rawReply);
    reply.reset(rawReply);
    if (r < 0) {
      if (!sd_bus_error_is_set(&error.error) || MeansGone(r, &error.error)) bus_.reset();
      return false;
    }
    return true;
  }

  int Send(sd_bus_message* call, Clock::time_point deadline, BusError& error,
           sd_bus_message** reply) {
    // sd_bus_call leaves whatever else arrives (late answers to timed-out calls, signals) in
    // the read queue; drop it first, so the queue cannot grow without bound.
    while (MicrosLeft(deadline) > 0 && sd_bus_process(bus_.get(), nullptr) > 0) {
    }
    std::uint64_t left = MicrosLeft(deadline);
    if (left == 0) return -ETIMEDOUT;  // sd-bus reads 0 as "its own default of 25 s"
    return sd_bus_call(bus_.get(), call, left, &error.error, reply);
  }

  std::chrono::milliseconds timeout_;
  BusPtr bus_;
  bool attached_ = false;
  std::string unique_;     // the decoder's connection, e.g. ":1.42"
  std::string interface_;  // the ProgID
  std::string path_;
};

}  // namespace

std::string DbusObjectPath(std::string_view progId) {
  const std::string name(progId);
  if (name.empty() || name.find('\0') != std::string::npos) return {};
  // The ProgID serves as well-known name and interface; both need it to be a valid name.
  if (sd_bus_service_name_is_valid(name.c_str()) <= 0 || name[0] == ':' ||
      sd_bus_interface_name_is_valid(name.c_str()) <= 0) {
    return {};
  }
  std::string path = "/" + name;
  for (char& c : path) {
    if (c == '.') c = '/';
  }
  if (sd_bus_object_path_is_valid(path.c_str()) <= 0) return {};
  return path;
}

std::unique_ptr<Automation> MakeDbusAutomation(std::chrono::milliseconds timeout) {
  return std::make_unique<DbusAutomation>(timeout);
}

std::unique_ptr<Automation> MakeSystemAutomation() {
  return MakeDbusAutomation(kDbusCallTimeout);
}

}  // namespace nimbrix
