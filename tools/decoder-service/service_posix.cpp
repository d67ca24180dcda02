// The service on Linux: sd-bus on the session bus, served from an sd-event loop.

#include <signal.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "decoder-service/service_platform.h"

namespace decoder {

namespace {

constexpr std::uint64_t kSecond = 1000000;  // sd-event counts microseconds

std::vector<int> ServedSignals(const ServiceOptions& o) {
  std::vector<int> signals = {SIGTERM, SIGINT};
  if (o.onReload) signals.push_back(SIGHUP);
  if (o.faultControls || o.onSummary) signals.push_back(SIGUSR1);
  if (o.faultControls) signals.push_back(SIGUSR2);
  return signals;
}

int AppendValue(sd_bus_message* m, const Answer& a) {
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
  // Integers: narrowed to the width of their D-Bus type, which the answer's maker checked.
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

class SdBusService final : public Service::Platform {
 public:
  SdBusService(ServiceOptions o, AnswerSource s) : options(std::move(o)), source(std::move(s)) {
    path = "/" + options.name;
    for (char& c : path) c = c == '.' ? '/' : c;
    sigset_t set;
    sigemptyset(&set);
    for (int signal : ServedSignals(options)) sigaddset(&set, signal);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  }
  ~SdBusService() override {
    Disconnect();
    sd_event_source_disable_unref(unfreeze);
    sd_event_source_disable_unref(reconnect);
    sd_event_source_disable_unref(stopWatch);
    sd_event_source_disable_unref(stopTimer);
    sd_event_unref(event);
    if (stopFd >= 0) close(stopFd);
  }

  int Run() override {
    if (stopFd < 0) return Fail("no event file", -errno);
    if (sd_event_default(&event) < 0) return Fail("no event loop", -ENOMEM);
    for (int signal : ServedSignals(options)) {
      if (sd_event_add_signal(event, nullptr, signal, OnSignal, this) < 0) {
        return Fail("cannot watch signals", -EINVAL);
      }
    }
    if (sd_event_add_io(event, &stopWatch, stopFd, EPOLLIN, OnStopRequest, this) < 0) {
      return Fail("cannot watch for a stop request", -EINVAL);
    }
    if (options.stopAfterSeconds > 0) {
      const auto usec = static_cast<std::uint64_t>(options.stopAfterSeconds * kSecond);
      sd_event_add_time_relative(event, &stopTimer, CLOCK_MONOTONIC, usec, 0, OnStopTimer, this);
    }
    int r = Connect();
    if (r == -EEXIST) {
      std::fprintf(stderr,
                   "%s: %s is already owned on the session bus (another decoder or bridge is "
                   "running)\n",
                   options.program.c_str(), options.name.c_str());
      return 1;
    }
    if (r < 0) return Fail("cannot own the name on the session bus", r);
    r = sd_event_loop(event);
    return r < 0 ? Fail("event loop failed", r) : r;
  }

  void WakeForStop() override { eventfd_write(stopFd, 1); }

  int Fail(const char* what, int r) const {
    std::fprintf(stderr, "%s: %s: %s\n", options.program.c_str(), what, std::strerror(-r));
    return 1;
  }

  int Connect() {
    int r = sd_bus_open_user(&bus);
    if (r < 0) return r;
    if ((r = sd_bus_add_object_vtable(
             bus, nullptr, path.c_str(), options.name.c_str(),
             options.listSource ? kDocumentWithListVtable : kDocumentVtable, this)) < 0 ||
        (options.faultControls &&
         (r = sd_bus_add_object_vtable(bus, nullptr, path.c_str(), "SondeSim.Control",
                                       kControlVtable, this)) < 0) ||
        (r = sd_bus_attach_event(bus, event, SD_EVENT_PRIORITY_NORMAL)) < 0 ||
        (r = sd_bus_request_name(bus, options.name.c_str(), 0)) < 0) {
      Disconnect();
      return r;
    }
    if (options.printReady) {
      std::printf("ready\n");
      std::fflush(stdout);
    }
    return 0;
  }

  void Disconnect() {
    if (!bus) return;
    sd_bus_detach_event(bus);
    bus = sd_bus_flush_close_unref(bus);
  }

  // Replaces *slot with a one-shot timer `usec` from now.
  void After(sd_event_source** slot, std::uint64_t usec, sd_event_time_handler_t handler) {
    *slot = sd_event_source_disable_unref(*slot);
    sd_event_add_time_relative(event, slot, CLOCK_MONOTONIC, usec, 0, handler, this);
  }

  void Freeze(std::uint64_t usec, bool forever) {
    frozen = usec > 0 || forever;
    unfreeze = sd_event_source_disable_unref(unfreeze);
    if (frozen && !forever) After(&unfreeze, usec, OnUnfreeze);
  }

  void Vanish(std::uint64_t usec) {
    vanishFor = usec;
    // Closed from the loop, not from inside the bus's own dispatch, after the reply is out.
    After(&reconnect, 0, OnVanish);
  }

  int Reply(sd_bus_message* call, const Answer& a) {
    if (a.kind == Answer::Kind::kNoReply) return 1;  // handled; the caller waits in vain
    if (a.kind == Answer::Kind::kError) {
      return sd_bus_reply_method_errorf(call, a.errorName.c_str(), "%s", a.errorText.c_str());
    }
    sd_bus_message* reply = nullptr;
    int r = sd_bus_message_new_method_return(call, &reply);
    if (r >= 0) r = AppendItem(reply, a);
    return Send(call, reply, r);
  }

  // The list: per sonde (u age, a(qv) items 0..17).
  int ReplyList(sd_bus_message* call, const std::vector<ListedSonde>& sondes) {
    sd_bus_message* reply = nullptr;
    int r = sd_bus_message_new_method_return(call, &reply);
    if (r >= 0) r = sd_bus_message_open_container(reply, 'a', "(ua(qv))");
    for (const ListedSonde& sonde : sondes) {
      if (r >= 0) r = sd_bus_message_open_container(reply, 'r', "ua(qv)");
      if (r >= 0) r = sd_bus_message_append_basic(reply, 'u', &sonde.ageMs);
      if (r >= 0) r = sd_bus_message_open_container(reply, 'a', "(qv)");
      for (int index = 0; index < kItemCount && r >= 0; ++index) {
        r = AppendItem(reply, ListedItem(sonde, index));
      }
      if (r >= 0) r = sd_bus_message_close_container(reply);
      if (r >= 0) r = sd_bus_message_close_container(reply);
    }
    if (r >= 0) r = sd_bus_message_close_container(reply);
    return Send(call, reply, r);
  }

  // One (qv).
  static int AppendItem(sd_bus_message* m, const Answer& a) {
    int r = sd_bus_message_open_container(m, 'r', "qv");
    if (r >= 0) r = sd_bus_message_append_basic(m, 'q', &a.vt);
    if (r >= 0) r = sd_bus_message_open_container(m, 'v', a.dbusType.c_str());
    if (r >= 0) r = AppendValue(m, a);
    if (r >= 0) r = sd_bus_message_close_container(m);
    if (r >= 0) r = sd_bus_message_close_container(m);
    return r;
  }

  // Sends a reply built so far without error (r >= 0), else an error in its place.
  static int Send(sd_bus_message* call, sd_bus_message* reply, int r) {
    if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    if (r < 0) {
      return sd_bus_reply_method_errorf(call, "SondeSim.Error.Unsendable",
                                        "the answer cannot be sent: %s", std::strerror(-r));
    }
    return 1;
  }

  static int OnGetSondeData(sd_bus_message* m, void* self, sd_bus_error*) {
    auto* s = static_cast<SdBusService*>(self);
    std::int16_t index = 0;
    int r = sd_bus_message_read(m, "n", &index);
    if (r < 0) return r;
    if (s->frozen) return 1;
    std::optional<Answer> a = s->source(index);
    if (!a) {
      return sd_bus_reply_method_errorf(m, nimbrix::kInvalidIndexError,
                                        "item %d does not exist (0 to %d)", index, kItemCount - 1);
    }
    return s->Reply(m, *a);
  }

  static int OnGetSondeList(sd_bus_message* m, void* self, sd_bus_error*) {
    auto* s = static_cast<SdBusService*>(self);
    if (s->frozen) return 1;
    return s->ReplyList(m, s->options.listSource());
  }

  static int OnFreeze(sd_bus_message* m, void* self, sd_bus_error*) {
    std::uint32_t seconds = 0;
    int r = sd_bus_message_read(m, "u", &seconds);
    if (r < 0) return r;
    static_cast<SdBusService*>(self)->Freeze(seconds * kSecond, false);
    return sd_bus_reply_method_return(m, "");
  }

  static int OnVanishCall(sd_bus_message* m, void* self, sd_bus_error*) {
    std::uint32_t seconds = 0;
    int r = sd_bus_message_read(m, "u", &seconds);
    if (r < 0) return r;
    r = sd_bus_reply_method_return(m, "");
    static_cast<SdBusService*>(self)->Vanish(seconds * kSecond);
    return r;
  }

  static int OnUnfreeze(sd_event_source*, std::uint64_t, void* self) {
    static_cast<SdBusService*>(self)->frozen = false;
    return 0;
  }

  static int OnVanish(sd_event_source*, std::uint64_t, void* self) {
    auto* s = static_cast<SdBusService*>(self);
    s->Disconnect();
    s->After(&s->reconnect, s->vanishFor, OnReconnect);
    return 0;
  }

  static int OnReconnect(sd_event_source*, std::uint64_t, void* self) {
    auto* s = static_cast<SdBusService*>(self);
    int r = s->Connect();
    if (r < 0) {
      std::fprintf(stderr, "%s: cannot take the name back (%s), trying again\n",
                   s->options.program.c_str(), std::strerror(-r));
      s->After(&s->reconnect, kSecond, OnReconnect);
    }
    return 0;
  }

  static int OnStopRequest(sd_event_source*, int fd, std::uint32_t, void* self) {
    auto* s = static_cast<SdBusService*>(self);
    eventfd_t count = 0;
    eventfd_read(fd, &count);
    sd_event_exit(s->event, s->StopCode());
    return 0;
  }

  static int OnStopTimer(sd_event_source*, std::uint64_t, void* self) {
    sd_event_exit(static_cast<SdBusService*>(self)->event, 0);
    return 0;
  }

  static int OnSignal(sd_event_source*, const struct signalfd_siginfo* info, void* self) {
    auto* s = static_cast<SdBusService*>(self);
    switch (info->ssi_signo) {
      case SIGUSR1:
        if (s->options.faultControls) {
          s->Freeze(0, !s->frozen);
        } else {
          s->options.onSummary();
        }
        break;
      case SIGUSR2:
        if (s->bus) s->Vanish(3 * kSecond);
        break;
      case SIGHUP:
        s->options.onReload();
        break;
      default:
        sd_event_exit(s->event, 0);
    }
    return 0;
  }

  static constexpr sd_bus_vtable kDocumentVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD_WITH_NAMES(nimbrix::kSondeDataMember, "n", SD_BUS_PARAM(itemIndex), "(qv)",
                               SD_BUS_PARAM(value), OnGetSondeData, 0),
      SD_BUS_VTABLE_END,
  };
  static constexpr sd_bus_vtable kDocumentWithListVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD_WITH_NAMES(nimbrix::kSondeDataMember, "n", SD_BUS_PARAM(itemIndex), "(qv)",
                               SD_BUS_PARAM(value), OnGetSondeData, 0),
      SD_BUS_METHOD_WITH_NAMES(nimbrix::kSondeListMember, "", , "a(ua(qv))", SD_BUS_PARAM(sondes),
                               OnGetSondeList, 0),
      SD_BUS_VTABLE_END,
  };
  static constexpr sd_bus_vtable kControlVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD_WITH_NAMES("Freeze", "u", SD_BUS_PARAM(seconds), "", , OnFreeze, 0),
      SD_BUS_METHOD_WITH_NAMES("Vanish", "u", SD_BUS_PARAM(seconds), "", , OnVanishCall, 0),
      SD_BUS_VTABLE_END,
  };
  ServiceOptions options;
  AnswerSource source;
  std::string path;
  sd_event* event = nullptr;
  sd_bus* bus = nullptr;
  sd_event_source* unfreeze = nullptr;
  sd_event_source* reconnect = nullptr;
  sd_event_source* stopWatch = nullptr;
  sd_event_source* stopTimer = nullptr;
  std::uint64_t vanishFor = 0;
  bool frozen = false;
  int stopFd = -1;
};

}  // namespace

std::unique_ptr<Service::Platform> MakePlatformService(ServiceOptions options,
                                                       AnswerSource source) {
  return std::make_unique<SdBusService>(std::move(options), std::move(source));
}

}  // namespace decoder
