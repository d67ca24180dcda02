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

#include "platform/system.h"
#include "telemetry/decoder_items.h"

namespace nimbrix {

namespace {

using Clock = std::chrono::steady_clock;

struct BusUnref {
  void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};
struct MessageUnref {
  void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using BusPtr = std::unique_ptr<sd_bus, BusUnref>;
using MessagePtr = std::unique_ptr<sd_bus_message, MessageUnref>;

struct BusError {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  BusError() = default;
  BusError(const BusError&) = delete;
  BusError& operator=(const BusError&) = delete;
  ~BusError() { sd_bus_error_free(&error); }
  bool Named(const char* name) const { return sd_bus_error_has_name(&error, name) > 0; }
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

// Turns a "(qv)" reply into a Variant; false for anything outside the contract.
bool DecodeReply(sd_bus_message* reply, Variant& out) {
  if (sd_bus_message_has_signature(reply, "(qv)") <= 0) return false;
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
  out = std::move(value);
  return true;
}

// Errors that mean the decoder (or the bus) is not there to answer, as opposed to a decoder
// that answered with an error of its own.
bool MeansGone(int r, const BusError& e) {
  static const char* const kGoneNames[] = {
      "org.freedesktop.DBus.Error.NoReply",        "org.freedesktop.DBus.Error.Timeout",
      "org.freedesktop.DBus.Error.TimedOut",       "org.freedesktop.DBus.Error.ServiceUnknown",
      "org.freedesktop.DBus.Error.NameHasNoOwner", "org.freedesktop.DBus.Error.Disconnected",
  };
  for (const char* name : kGoneNames) {
    if (e.Named(name)) return true;
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
      const bool gone = MeansGone(r, error) || sd_bus_is_open(bus_.get()) <= 0;
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
      if (!sd_bus_error_is_set(&error.error) || MeansGone(r, error)) bus_.reset();
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
