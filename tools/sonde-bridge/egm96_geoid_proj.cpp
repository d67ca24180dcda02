// The EGM96 geoid through PROJ: a vertical grid shift applied to height 0 gives the geoid's
// height above the ellipsoid at that place.

#include <proj.h>

#include <cmath>

#include "egm96_geoid.h"

namespace bridge {

namespace {

class ProjGeoid final : public Geoid {
 public:
  ProjGeoid(PJ_CONTEXT* context, PJ* shift) : context_(context), shift_(shift) {}
  ~ProjGeoid() override {
    proj_destroy(shift_);
    proj_context_destroy(context_);
  }
  ProjGeoid(const ProjGeoid&) = delete;
  ProjGeoid& operator=(const ProjGeoid&) = delete;

  std::optional<double> HeightAt(double lat, double lon) override {
    // Longitude first, in degrees; the pipeline turns them into radians for the grid.
    const PJ_COORD out = proj_trans(shift_, PJ_FWD, proj_coord(lon, lat, 0, 0));
    if (proj_errno(shift_) != 0 || !std::isfinite(out.xyz.z)) {
      proj_errno_reset(shift_);
      return std::nullopt;
    }
    return out.xyz.z;
  }

 private:
  PJ_CONTEXT* context_;
  PJ* shift_;
};

}  // namespace

std::unique_ptr<Geoid> OpenEgm96Geoid(const std::string& grid, std::string& error) {
  PJ_CONTEXT* context = proj_context_create();
  if (!context) {
    error = "PROJ cannot start";
    return nullptr;
  }
  proj_log_level(context, PJ_LOG_NONE);  // the reason is told once, by the caller
  // Without network access PROJ takes only grids that are on this machine.
  proj_context_set_enable_network(context, 0);
  const std::string pipeline =
      "+proj=pipeline +step +proj=unitconvert +xy_in=deg +xy_out=rad "
      "+step +proj=vgridshift +multiplier=1 +grids=" +
      grid;
  PJ* shift = proj_create(context, pipeline.c_str());
  if (!shift) {
    error = "the geoid grid " + grid + " cannot be read (" +
            proj_context_errno_string(context, proj_context_errno(context)) +
            "; Debian package proj-data)";
    proj_context_destroy(context);
    return nullptr;
  }
  return std::make_unique<ProjGeoid>(context, shift);
}

}  // namespace bridge
