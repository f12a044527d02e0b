// SPDX-License-Identifier: GPL-3.0-or-later
// The UTM zone a drive is binned in, and the projection of WGS 84 positions onto its grid.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

struct pj_ctx;    // PROJ's context
struct PJconsts;  // PROJ's transformation

namespace varistrum {

// UTM reaches from 80 S to 84 N; beyond, the poles need another projection.
inline constexpr double kUtmSouthLimit = -80.0;
inline constexpr double kUtmNorthLimit = 84.0;

struct UtmZone {
    int number = 0;  // 1 to 60
    bool south = false;

    // 326zz (north) or 327zz (south): WGS 84 / UTM.
    int Epsg() const { return (south ? 32700 : 32600) + number; }
    // Longitude of the zone's central meridian, degrees east.
    double CentralMeridian() const { return -183.0 + 6.0 * number; }
    // "32N", "23S".
    std::string Name() const;
    friend bool operator==(const UtmZone&, const UtmZone&) = default;
};

// Whether UTM reaches the latitude (80 S to 84 N, both included).
bool WithinUtmReach(double latitude);

// The zone of a position: six-degree zones from 180 W, with the exceptions of south-western
// Norway (32V widened to 3-12 E) and Svalbard (31X, 33X, 35X, 37X only); the southern
// hemisphere's grid below the equator. nullopt for a latitude UTM does not reach or a position
// that is not one (not finite, beyond -90..90 / -180..180).
std::optional<UtmZone> UtmZoneOf(double latitude, double longitude);

// Degrees of longitude between a position and the zone's central meridian (0 to 180).
double DegreesFromCentralMeridian(const UtmZone& zone, double longitude);

// WGS 84 longitude/latitude to the zone's easting/northing in metres, through PROJ. One object
// serves a whole drive; it is not shared between threads.
class UtmProjector {
  public:
    explicit UtmProjector(const UtmZone& zone);
    ~UtmProjector();
    UtmProjector(const UtmProjector&) = delete;
    UtmProjector& operator=(const UtmProjector&) = delete;

    // False (with Error()) when PROJ could not set up the transformation.
    bool Valid() const { return transform_ != nullptr; }
    const std::string& Error() const { return error_; }
    const UtmZone& Zone() const { return zone_; }

    // Projects `count` positions in place: x holds longitudes and y latitudes on the way in,
    // eastings and northings on the way out. A position PROJ cannot project gets infinite
    // values.
    void Project(double* x, double* y, std::size_t count);
    // The way back: eastings and northings in, longitudes and latitudes out (a cell's corners
    // for a map in another projection).
    void Unproject(double* x, double* y, std::size_t count);

  private:
    void Transform(int direction, double* x, double* y, std::size_t count);
    UtmZone zone_;
    ::pj_ctx* context_ = nullptr;
    ::PJconsts* transform_ = nullptr;
    std::string error_;
};

}  // namespace varistrum
