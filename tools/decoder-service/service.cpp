#include "decoder-service/service.h"

#include <utility>

#include "decoder-service/round_snapshot.h"
#include "decoder-service/service_platform.h"

namespace decoder {

Service::Service(ServiceOptions options, AnswerSource source)
    : platform_(MakePlatformService(std::move(options), AnsweredByRounds(std::move(source)))) {}

Service::~Service() = default;

int Service::Run() {
  return platform_->Run();
}

void Service::RequestStop(int exitCode) {
  platform_->RequestStop(exitCode);
}

}  // namespace decoder
