#pragma once

// The EGM96 geoid model through PROJ, from the grid that Debian's proj-data ships
// (/usr/share/proj/egm96_15.gtx). The Windows build has no PROJ: there it is never available.

#include <memory>
#include <string>

#include "heights.h"

namespace bridge {

// The grid's name, looked up where PROJ looks for its data (PROJ_DATA, then /usr/share/proj).
inline constexpr char kEgm96Grid[] = "egm96_15.gtx";

// The model from `grid` (a name or a path), or nullptr and the reason in `error`.
std::unique_ptr<Geoid> OpenEgm96Geoid(const std::string& grid, std::string& error);

}  // namespace bridge
