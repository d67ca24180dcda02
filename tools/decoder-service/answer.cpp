#include "decoder-service/answer.h"

namespace decoder {

std::string DbusTypeOf(std::uint16_t vt) {
  const char* signature = nimbrix::DbusSignatureOf(vt);
  return signature ? signature : "";
}

Answer ListedItem(const ListedSonde& sonde, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= sonde.items.size()) return Answer{};
  const std::optional<Answer>& a = sonde.items[static_cast<std::size_t>(index)];
  // A list has no room for an error or a missing reply of one item.
  if (!a || a->kind != Answer::Kind::kValue) return Answer{};
  return *a;
}

}  // namespace decoder
