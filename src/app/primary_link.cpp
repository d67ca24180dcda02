#include "app/primary_link.h"

namespace nimbrix {

void PrimaryLink::Count(const std::vector<HandedLine>& handed, std::int64_t utcMs) {
  for (const HandedLine& h : handed) {
    if (h.outcome == SendOutcome::kSent) {
      status_.LineSent(utcMs);
    } else if (h.outcome == SendOutcome::kLost) {
      status_.LineLost();
    }
  }
}

}  // namespace nimbrix
