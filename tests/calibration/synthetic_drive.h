// SPDX-License-Identifier: GPL-3.0-or-later
// Drives made in the test for calibrations: sites, local means along straight roads from a site
// with levels from a known model, seeded noise, and a temporary folder.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "base/geodesic.h"
#include "calibration/calibration.h"

namespace varistrum::test {

inline constexpr double kSiteLatitude = 48.20, kSiteLongitude = 16.37;

inline SiteRow MakeSite(const std::string& name, double frequencyMHz, double eirpDbm = 40.0,
                        double heightM = 30.0, int row = 1) {
    SiteRow site;
    site.row = row;
    site.site = name;
    site.latitude = kSiteLatitude;
    site.longitude = kSiteLongitude;
    site.antennaHeightM = heightM;
    site.eirpDbm = eirpDbm;
    site.frequencyMHz = frequencyMHz;
    return site;
}

// Standard normal numbers from a seed, the same on every platform (Box-Muller on mt19937_64).
class Gaussian {
  public:
    explicit Gaussian(std::uint64_t seed) : engine_(seed) {}
    double operator()() {
        const double u1 = (static_cast<double>(engine_() >> 11) + 0.5) * 0x1.0p-53;
        const double u2 = static_cast<double>(engine_() >> 11) * 0x1.0p-53;
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * 3.14159265358979323846 * u2);
    }

  private:
    std::mt19937_64 engine_;
};

// An AR(1) sequence of `count` values with standard deviation `sigma` and lag-one correlation
// `rho`, started in its stationary state.
inline std::vector<double> Ar1(std::size_t count, double rho, double sigma, std::uint64_t seed) {
    Gaussian gauss(seed);
    std::vector<double> values(count);
    double e = sigma * gauss();
    const double innovation = sigma * std::sqrt(1.0 - rho * rho);
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) e = rho * e + innovation * gauss();
        values[i] = e;
    }
    return values;
}

// Local means every `stepM` metres from `fromM` to `toM` along a road leaving the site at
// `bearingDegrees` (0 north, 90 east; the road follows the local metre grid, close enough for
// tens of km), with levels eirp - pathLoss(geodesic distance, index).
inline std::vector<LocalMean> RadialDrive(
    const SiteRow& site, double fromM, double toM, double stepM, int channel,
    const std::function<double(double, std::size_t)>& pathLoss, int scan = 1,
    double bearingDegrees = 0.0) {
    std::vector<LocalMean> means;
    const double radians = bearingDegrees * 3.14159265358979323846 / 180.0;
    const double metresPerDegreeLat = 111132.954;
    const double metresPerDegreeLon =
        111319.49 * std::cos(site.latitude * 3.14159265358979323846 / 180.0);
    std::size_t index = 0;
    for (double along = fromM; along <= toM + 1e-9; along += stepM, ++index) {
        LocalMean m;
        m.scan = scan;
        m.latitude = site.latitude + along * std::cos(radians) / metresPerDegreeLat;
        m.longitude = site.longitude + along * std::sin(radians) / metresPerDegreeLon;
        m.frequencyMHz = site.frequencyMHz.value_or(900.0);
        m.channel = channel;
        m.channelStepKHz = 25.0;
        const double d = GeodesicMetres(site.latitude, site.longitude, m.latitude, m.longitude);
        m.levelDbm = site.eirpDbm - pathLoss(d, index);
        m.samples = 40;
        means.push_back(m);
    }
    return means;
}

// A log-distance model: PL = a + b log10(d / 1 km).
inline std::function<double(double, std::size_t)> LogDistance(double a, double b) {
    return [a, b](double d, std::size_t) { return a + b * std::log10(d / 1000.0); };
}

// A fresh folder, removed with everything in it when the object goes.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "calXXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace varistrum::test
