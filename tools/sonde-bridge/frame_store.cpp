#include "frame_store.h"

#include <algorithm>
#include <utility>

#include "frame_answers.h"

namespace bridge {

namespace {

constexpr std::chrono::milliseconds kForget{nimbrix::kSondeListForgetMs};

}  // namespace

void FrameStore::Accept(Frame frame) {
  std::lock_guard<std::mutex> lock(mutex_);
  Keep(frame, clock_());
  frame_ = std::move(frame);
  ++tally_.accepted;
}

void FrameStore::Hear(Frame frame) {
  std::lock_guard<std::mutex> lock(mutex_);
  Keep(frame, clock_());
}

void FrameStore::Keep(const Frame& frame, TimePoint now) {
  if (frame.id.empty() || IsIncompleteSerial(frame.id)) return;
  // The sonde's older frame goes, and so does every sonde forgotten by now, so that a stream of
  // short-lived ids cannot hold the list at its bound.
  std::erase_if(heard_,
                [&](const Heard& h) { return h.frame.id == frame.id || now - h.at >= kForget; });
  heard_.insert(heard_.begin(), Heard{frame, now});
  if (heard_.size() > kListBound) heard_.resize(kListBound);
}

std::vector<decoder::ListedSonde> FrameStore::List() const {
  std::lock_guard<std::mutex> lock(mutex_);
  const TimePoint now = clock_();
  std::vector<decoder::ListedSonde> list;
  for (const Heard& h : heard_) {
    // A clock that went back counts as "just now".
    const auto age = std::max(std::chrono::duration_cast<std::chrono::milliseconds>(now - h.at),
                              std::chrono::milliseconds(0));
    if (age >= kForget) break;  // newest first: the rest are older still
    decoder::ListedSonde sonde;
    sonde.ageMs = static_cast<std::uint32_t>(age.count());
    for (decoder::Answer& a : AnswersOf(h.frame, qrgFallback_))
      sonde.items.emplace_back(std::move(a));
    list.push_back(std::move(sonde));
  }
  return list;
}

void FrameStore::Skip(SkipReason reason) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++tally_.skipped[static_cast<std::size_t>(reason)];
}

std::optional<decoder::Answer> FrameStore::AnswerFor(std::int16_t index) {
  if (index < 0 || index >= decoder::kItemCount) return std::nullopt;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!frame_) return decoder::Answer{};  // EMPTY
  const auto now = clock_();
  if (!round_ || index <= lastIndex_ || now - lastAsked_ > kRoundGap) {
    round_ = AnswersOf(*frame_, qrgFallback_);  // a new round: the newest frame
  }
  lastIndex_ = index;
  lastAsked_ = now;
  return (*round_)[static_cast<std::size_t>(index)];
}

Tally FrameStore::Counts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tally_;
}

}  // namespace bridge
