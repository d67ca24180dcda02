#include "service.h"

#include <signal.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace sondesim {

namespace {

constexpr std::uint64_t kSecond = 1000000;  // sd-event counts microseconds

class Service {
 public:
  Service(const ServiceOptions& options, AnswerSource source, std::function<void()> onReload)
      : options_(options), source_(std::move(source)), onReload_(std::move(onReload)) {
    path_ = "/" + options_.name;
    for (char& c : path_) c = c == '.' ? '/' : c;
  }
  ~Service() {
    Disconnect();
    sd_event_source_disable_unref(unfreeze_);
    sd_event_source_disable_unref(reconnect_);
    sd_event_unref(event_);
  }

  int Run() {
    if (sd_event_default(&event_) < 0) return Fail("no event loop", -ENOMEM);
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2, SIGHUP}) sigaddset(&set, s);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    for (int s : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2, SIGHUP}) {
      if (sd_event_add_signal(event_, nullptr, s, OnSignal, this) < 0) {
        return Fail("cannot watch signals", -EINVAL);
      }
    }
    int r = Connect();
    if (r < 0) return Fail("cannot own the name on the session bus", r);
    r = sd_event_loop(event_);
    return r < 0 ? Fail("event loop failed", r) : 0;
  }

 private:
  static int Fail(const char* what, int r) {
    std::fprintf(stderr, "sonde-sim: %s: %s\n", what, std::strerror(-r));
    return 1;
  }

  int Connect() {
    int r = sd_bus_open_user(&bus_);
    if (r < 0) return r;
    if ((r = sd_bus_add_object_vtable(bus_, nullptr, path_.c_str(), options_.name.c_str(),
                                      kDocumentVtable, this)) < 0 ||
        (r = sd_bus_add_object_vtable(bus_, nullptr, path_.c_str(), "SondeSim.Control",
                                      kControlVtable, this)) < 0 ||
        (r = sd_bus_attach_event(bus_, event_, SD_EVENT_PRIORITY_NORMAL)) < 0 ||
        (r = sd_bus_request_name(bus_, options_.name.c_str(), 0)) < 0) {
      Disconnect();
      return r;
    }
    if (options_.printReady) {
      std::printf("ready\n");
      std::fflush(stdout);
    }
    return 0;
  }

  void Disconnect() {
    if (!bus_) return;
    sd_bus_detach_event(bus_);
    bus_ = sd_bus_flush_close_unref(bus_);
  }

  // Replaces *slot with a one-shot timer `usec` from now.
  void After(sd_event_source** slot, std::uint64_t usec, sd_event_time_handler_t handler) {
    *slot = sd_event_source_disable_unref(*slot);
    sd_event_add_time_relative(event_, slot, CLOCK_MONOTONIC, usec, 0, handler, this);
  }

  void Freeze(std::uint64_t usec, bool forever) {
    frozen_ = usec > 0 || forever;
    unfreeze_ = sd_event_source_disable_unref(unfreeze_);
    if (frozen_ && !forever) After(&unfreeze_, usec, OnUnfreeze);
  }

  void Vanish(std::uint64_t usec) {
    vanishFor_ = usec;
    // Closed from the loop, not from inside the bus's own dispatch, after the reply is out.
    After(&reconnect_, 0, OnVanish);
  }

  int Answer(sd_bus_message* call, const sondesim::Answer& a) {
    if (a.kind == Answer::Kind::kNoReply) return 1;  // handled; the caller waits in vain
    if (a.kind == Answer::Kind::kError) {
      return sd_bus_reply_method_errorf(call, a.errorName.c_str(), "%s", a.errorText.c_str());
    }
    sd_bus_message* reply = nullptr;
    int r = sd_bus_message_new_method_return(call, &reply);
    if (r >= 0) r = sd_bus_message_open_container(reply, 'r', "qv");
    if (r >= 0) r = sd_bus_message_append_basic(reply, 'q', &a.vt);
    if (r >= 0) r = sd_bus_message_open_container(reply, 'v', a.dbusType.c_str());
    if (r >= 0) r = AppendValue(reply, a);
    if (r >= 0) r = sd_bus_message_close_container(reply);
    if (r >= 0) r = sd_bus_message_close_container(reply);
    if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    if (r < 0) {
      return sd_bus_reply_method_errorf(call, "SondeSim.Error.Unsendable",
                                        "the scripted answer cannot be sent: %s",
                                        std::strerror(-r));
    }
    return 1;
  }

  static int AppendValue(sd_bus_message* m, const sondesim::Answer& a) {
    const std::string& t = a.dbusType;
    if (const auto* s = std::get_if<std::string>(&a.value)) {
      if (t == "ay") return sd_bus_message_append_array(m, 'y', s->data(), s->size());
      if (t == "s") return sd_bus_message_append_basic(m, 's', s->c_str());
      return -EINVAL;
    }
    if (t == "ay") return sd_bus_message_append_array(m, 'y', "", 0);
    if (const auto* d = std::get_if<double>(&a.value)) {
      return t == "d" ? sd_bus_message_append_basic(m, 'd', d) : -EINVAL;
    }
    if (const auto* b = std::get_if<bool>(&a.value)) {
      int v = *b;
      return t == "b" ? sd_bus_message_append_basic(m, 'b', &v) : -EINVAL;
    }
    // Integers: narrowed to the width of their D-Bus type, which the script checked.
    std::int64_t i = 0;
    if (const auto* v = std::get_if<std::int64_t>(&a.value)) i = *v;
    if (const auto* v = std::get_if<std::uint64_t>(&a.value)) i = static_cast<std::int64_t>(*v);
    switch (t.size() == 1 ? t[0] : 0) {
      case 'n': {
        auto v = static_cast<std::int16_t>(i);
        return sd_bus_message_append_basic(m, 'n', &v);
      }
      case 'y': {
        auto v = static_cast<std::uint8_t>(i);
        return sd_bus_message_append_basic(m, 'y', &v);
      }
      case 'q': {
        auto v = static_cast<std::uint16_t>(i);
        return sd_bus_message_append_basic(m, 'q', &v);
      }
      case 'i': {
        auto v = static_cast<std::int32_t>(i);
        return sd_bus_message_append_basic(m, 'i', &v);
      }
      case 'u': {
        auto v = static_cast<std::uint32_t>(i);
        return sd_bus_message_append_basic(m, 'u', &v);
      }
      case 'x':
        return sd_bus_message_append_basic(m, 'x', &i);
      case 't': {
        auto v = static_cast<std::uint64_t>(i);
        return sd_bus_message_append_basic(m, 't', &v);
      }
      default:
        return -EINVAL;
    }
  }

  static int OnGetSondeData(sd_bus_message* m, void* self, sd_bus_error*) {
    auto* s = static_cast<Service*>(self);
    std::int16_t index = 0;
    int r = sd_bus_message_read(m, "n", &index);
    if (r < 0) return r;
    if (s->frozen_) return 1;
    std::optional<sondesim::Answer> a = s->source_(index);
    if (!a) {
      return sd_bus_reply_method_errorf(m, "SondeMonitor.Document.Error.InvalidIndex",
                                        "item %d does not exist (0 to 14)", index);
    }
    return s->Answer(m, *a);
  }

  static int OnFreeze(sd_bus_message* m, void* self, sd_bus_error*) {
    std::uint32_t seconds = 0;
    int r = sd_bus_message_read(m, "u", &seconds);
    if (r < 0) return r;
    static_cast<Service*>(self)->Freeze(seconds * kSecond, false);
    return sd_bus_reply_method_return(m, "");
  }

  static int OnVanishCall(sd_bus_message* m, void* self, sd_bus_error*) {
    std::uint32_t seconds = 0;
    int r = sd_bus_message_read(m, "u", &seconds);
    if (r < 0) return r;
    r = sd_bus_reply_method_return(m, "");
    static_cast<Service*>(self)->Vanish(seconds * kSecond);
    return r;
  }

  static int OnUnfreeze(sd_event_source*, std::uint64_t, void* self) {
    static_cast<Service*>(self)->frozen_ = false;
    return 0;
  }

  static int OnVanish(sd_event_source*, std::uint64_t, void* self) {
    auto* s = static_cast<Service*>(self);
    s->Disconnect();
    s->After(&s->reconnect_, s->vanishFor_, OnReconnect);
    return 0;
  }

  static int OnReconnect(sd_event_source*, std::uint64_t, void* self) {
    auto* s = static_cast<Service*>(self);
    int r = s->Connect();
    if (r < 0) {
      std::fprintf(stderr, "sonde-sim: cannot take the name back (%s), trying again\n",
                   std::strerror(-r));
      s->After(&s->reconnect_, kSecond, OnReconnect);
    }
    return 0;
  }

  static int OnSignal(sd_event_source*, const struct signalfd_siginfo* info, void* self) {
    auto* s = static_cast<Service*>(self);
    switch (info->ssi_signo) {
      case SIGUSR1:
        s->Freeze(0, !s->frozen_);
        break;
      case SIGUSR2:
        if (s->bus_) s->Vanish(3 * kSecond);
        break;
      case SIGHUP:
        if (s->onReload_) s->onReload_();
        break;
      default:
        sd_event_exit(s->event_, 0);
    }
    return 0;
  }

  static constexpr sd_bus_vtable kDocumentVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD_WITH_NAMES("GETSONDEDATA", "n", SD_BUS_PARAM(itemIndex), "(qv)",
                               SD_BUS_PARAM(value), OnGetSondeData, 0),
      SD_BUS_VTABLE_END,
  };
  static constexpr sd_bus_vtable kControlVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD_WITH_NAMES("Freeze", "u", SD_BUS_PARAM(seconds), "", , OnFreeze, 0),
      SD_BUS_METHOD_WITH_NAMES("Vanish", "u", SD_BUS_PARAM(seconds), "", , OnVanishCall, 0),
      SD_BUS_VTABLE_END,
  };

  ServiceOptions options_;
  AnswerSource source_;
  std::function<void()> onReload_;
  std::string path_;
  sd_event* event_ = nullptr;
  sd_bus* bus_ = nullptr;
  sd_event_source* unfreeze_ = nullptr;
  sd_event_source* reconnect_ = nullptr;
  std::uint64_t vanishFor_ = 0;
  bool frozen_ = false;
};

}  // namespace

int RunService(const ServiceOptions& options, AnswerSource source, std::function<void()> onReload) {
  Service service(options, std::move(source), std::move(onReload));
  return service.Run();
}

}  // namespace sondesim
