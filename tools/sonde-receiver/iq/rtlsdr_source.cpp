#include "iq/rtlsdr_source.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "iq/byte_ring.h"
#include "iq/rtl_tcp_protocol.h"
#include "iq/rtl_tcp_source.h"

#if NIMBRIX_HAVE_RTLSDR
#include <rtl-sdr.h>
#endif

namespace receiver {

RtlSdrDeviceChoice ParseRtlSdrDevice(const std::string& device) {
  RtlSdrDeviceChoice choice;
  const bool digits =
      !device.empty() && device.size() <= 4 &&
      std::all_of(device.begin(), device.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (digits) {
    choice.index = std::stoi(device);
  } else {
    choice.serial = device;
  }
  return choice;
}

struct RtlSdrSource::Impl {
  explicit Impl(RtlSdrOptions o) : options(std::move(o)), ring(options.ring_samples) {
    center_hz = options.center_hz;
  }

  RtlSdrOptions options;
  mutable std::mutex mutex;
  std::condition_variable changed;
  ByteRing ring;
  double center_hz = 0;
  std::size_t drop_bytes = 0;
  bool running = false;  // the dongle is open and streaming
  bool stop = false;
  bool gone_announced = false;
  std::deque<std::string> events;
  std::vector<std::uint8_t> scratch;
  std::thread worker;
#if NIMBRIX_HAVE_RTLSDR
  rtlsdr_dev_t* dev = nullptr;

  static void OnBytes(unsigned char* buf, std::uint32_t len, void* ctx) {
    auto* self = static_cast<Impl*>(ctx);
    std::lock_guard lock(self->mutex);
    std::span<const std::uint8_t> bytes(buf, len);
    const std::size_t skip = std::min(self->drop_bytes, bytes.size() / 2 * 2);
    self->drop_bytes -= skip;
    self->ring.Push(bytes.subspan(skip));
    self->changed.notify_all();
  }

  void AnnounceGone(const std::string& why) {
    std::lock_guard lock(mutex);
    running = false;
    if (!gone_announced) {
      events.push_back("dongle gone, trying again every " +
                       IntervalText(options.retry_interval_ms) + " (rtlsdr " + options.device +
                       ": " + why + ")");
      gone_announced = true;
    }
    changed.notify_all();
  }

  // False when told to stop while waiting.
  bool WaitRetry() {
    std::unique_lock lock(mutex);
    return !changed.wait_for(lock, std::chrono::milliseconds(options.retry_interval_ms),
                             [&] { return stop; });
  }

  std::string OpenDevice() {
    const RtlSdrDeviceChoice choice = ParseRtlSdrDevice(options.device);
    int index = choice.index.value_or(-1);
    if (!choice.index) index = rtlsdr_get_index_by_serial(choice.serial.c_str());
    if (index < 0 || static_cast<std::uint32_t>(index) >= rtlsdr_get_device_count()) {
      return "no such dongle";
    }
    rtlsdr_dev_t* d = nullptr;
    if (rtlsdr_open(&d, static_cast<std::uint32_t>(index)) < 0 || !d) return "cannot open it";
    const auto rate = static_cast<std::uint32_t>(std::lround(options.sample_rate));
    double center;
    {
      std::lock_guard lock(mutex);
      center = center_hz;
    }
    bool ok = rtlsdr_set_sample_rate(d, rate) == 0;
    if (options.ppm != 0) ok = ok && rtlsdr_set_freq_correction(d, options.ppm) == 0;
    ok = ok && rtlsdr_set_center_freq(d, static_cast<std::uint32_t>(std::llround(center))) == 0;
    if (options.gain_db) {
      ok = ok && rtlsdr_set_tuner_gain_mode(d, 1) == 0;
      ok =
          ok && rtlsdr_set_tuner_gain(d, static_cast<int>(std::lround(*options.gain_db * 10))) == 0;
    } else {
      ok = ok && rtlsdr_set_tuner_gain_mode(d, 0) == 0;
    }
    rtlsdr_set_agc_mode(d, 0);
#if NIMBRIX_RTLSDR_BIAS_TEE
    rtlsdr_set_bias_tee(d, options.bias_tee ? 1 : 0);
#endif
    ok = ok && rtlsdr_reset_buffer(d) == 0;
    if (!ok) {
      rtlsdr_close(d);
      return "cannot set it up";
    }
    const int gains = rtlsdr_get_tuner_gains(d, nullptr);
    const std::string tuner(RtlTunerName(static_cast<std::uint32_t>(rtlsdr_get_tuner_type(d))));
    std::lock_guard lock(mutex);
    if (stop) {
      rtlsdr_close(d);
      return "stopping";
    }
    dev = d;
    running = true;
    ring.Clear();
    drop_bytes = 0;
    events.push_back("rtlsdr " + options.device + ": " + tuner + ", " +
                     std::to_string(std::max(gains, 0)) + " gains" +
                     (gone_announced ? ", back" : ""));
    gone_announced = false;
    return {};
  }

  void Run() {
    for (;;) {
      {
        std::lock_guard lock(mutex);
        if (stop) return;
      }
      const std::string failed = OpenDevice();
      if (failed.empty()) {
        // Returns when cancelled or when the dongle is lost.
        rtlsdr_read_async(dev, &Impl::OnBytes, this, 0, 0);
        rtlsdr_dev_t* d;
        {
          std::lock_guard lock(mutex);
          d = dev;
          dev = nullptr;
          if (stop) {
            rtlsdr_close(d);
            return;
          }
        }
        rtlsdr_close(d);
        AnnounceGone("lost");
      } else {
        AnnounceGone(failed);
      }
      if (!WaitRetry()) return;
    }
  }
#endif
};

bool RtlSdrSource::Available() {
  return NIMBRIX_HAVE_RTLSDR != 0;
}

RtlSdrSource::RtlSdrSource(RtlSdrOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {
#if NIMBRIX_HAVE_RTLSDR
  impl_->worker = std::thread([this] { impl_->Run(); });
#else
  impl_->events.push_back("rtlsdr: this build has no librtlsdr; use --rtl-tcp or --iq");
#endif
}

RtlSdrSource::~RtlSdrSource() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stop = true;
#if NIMBRIX_HAVE_RTLSDR
    if (impl_->dev) rtlsdr_cancel_async(impl_->dev);
#endif
    impl_->changed.notify_all();
  }
  if (impl_->worker.joinable()) impl_->worker.join();
}

bool RtlSdrSource::Tune(double center_hz) {
  if (!(center_hz > 0 && center_hz < 2.2e9)) return false;
  std::lock_guard lock(impl_->mutex);
  impl_->center_hz = center_hz;
#if NIMBRIX_HAVE_RTLSDR
  if (impl_->dev) {
    rtlsdr_set_center_freq(impl_->dev, static_cast<std::uint32_t>(std::llround(center_hz)));
  }
#endif
  impl_->ring.Clear();
  impl_->drop_bytes = 2 * impl_->options.tune_drop_samples;
  return true;
}

double RtlSdrSource::CenterHz() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->center_hz;
}

double RtlSdrSource::SampleRate() const {
  return impl_->options.sample_rate;
}

ReadStatus RtlSdrSource::Read(std::vector<std::complex<float>>& out, std::size_t max,
                              int timeout_ms) {
  std::unique_lock lock(impl_->mutex);
  const bool was_running = impl_->running;
  impl_->changed.wait_for(lock, std::chrono::milliseconds(std::max(timeout_ms, 0)), [&] {
    return impl_->ring.Size() > 0 || impl_->running != was_running || impl_->stop;
  });
  if (impl_->ring.Size() > 0 && max > 0) {
    impl_->scratch.resize(std::min(max * 2, impl_->ring.Size()));
    const std::size_t n = impl_->ring.Pop(impl_->scratch.data(), impl_->scratch.size());
    AppendIqPairs(std::span(impl_->scratch.data(), n), out);
    return ReadStatus::kOk;
  }
  return impl_->running ? ReadStatus::kTimeout : ReadStatus::kGone;
}

std::string RtlSdrSource::TakeEvent() {
  std::lock_guard lock(impl_->mutex);
  if (impl_->events.empty()) return {};
  std::string event = std::move(impl_->events.front());
  impl_->events.pop_front();
  return event;
}

long long RtlSdrSource::Dropped() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->ring.Dropped();
}

}  // namespace receiver
