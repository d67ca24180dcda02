#include "decoder-service/answer.h"

namespace decoder {

std::string DbusTypeOf(std::uint16_t vt) {
  const char* signature = nimbrix::DbusSignatureOf(vt);
  return signature ? signature : "";
}

}  // namespace decoder
