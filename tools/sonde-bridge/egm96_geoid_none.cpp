// Builds without PROJ (Windows): no geoid model.

#include "egm96_geoid.h"

namespace bridge {

std::unique_ptr<Geoid> OpenEgm96Geoid(const std::string&, std::string& error) {
  error = "this build has no geoid model";
  return nullptr;
}

}  // namespace bridge
