#pragma once

namespace nimbrix {

// The pause before the next attempt on a destination that failed: `firstMs`, doubled after
// every failure up to `maxMs`, and back to `firstMs` once the destination has worked for a while.
class RetryDelay {
 public:
  RetryDelay(int firstMs, int maxMs) : firstMs_(firstMs), maxMs_(maxMs), nextMs_(firstMs) {}
  // The pause to take now; the one after it is longer.
  int Next() {
    const int now = nextMs_;
    nextMs_ = nextMs_ > maxMs_ / 2 ? maxMs_ : nextMs_ * 2;
    return now;
  }
  void Reset() { nextMs_ = firstMs_; }

 private:
  int firstMs_;
  int maxMs_;
  int nextMs_;
};

}  // namespace nimbrix
