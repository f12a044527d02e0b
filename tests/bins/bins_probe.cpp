// SPDX-License-Identifier: GPL-3.0-or-later
// The binning driven from a test script: reads samples from a text file, bins them and prints
// the cells, or writes a raster, a GeoPackage or a comparison.
//
// usage: bins_probe cells SAMPLES [--cell M] [--zone 32N]
//        bins_probe raster|gpkg SAMPLES OUTPUT [--cell M] [--channel N|strongest]
//                   [--statistics LIST]
//        bins_probe compare A B OUTPUT|- [--cell M] [--channel N|strongest]
// SAMPLES: one sample a line, "latitude longitude channel frequency level time gps known"
// (gps and known 0 or 1).
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bins/bin_comparison.h"
#include "bins/binning.h"
#include "bins/coverage_geopackage.h"
#include "bins/coverage_raster.h"

namespace {

using namespace varistrum;

std::string Shortest(double value) {
    char text[40];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::optional<Binning> Bin(const std::string& path, const BinOptions& options) {
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return std::nullopt;
    }
    Binner binner(options);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        BinSample s;
        int gps = 0, known = 0;
        std::string latitude, longitude;
        if (!(fields >> latitude >> longitude >> s.channel >> s.frequencyMHz >> s.levelDbm >>
              s.time >> gps >> known))
            continue;
        // "nan" and the like as well as numbers.
        s.latitude = std::strtod(latitude.c_str(), nullptr);
        s.longitude = std::strtod(longitude.c_str(), nullptr);
        s.timeIsGps = gps != 0;
        s.timeKnown = known != 0;
        if (!binner.Add(s)) break;
    }
    auto binning = binner.Finish();
    if (!binning) std::fprintf(stderr, "Error: %s\n", binner.Error().c_str());
    return binning;
}

void PrintCells(const Binning& binning) {
    const BinGrid& grid = binning.Grid();
    std::printf("zone %s %d\n", grid.zone.Name().c_str(), grid.zone.Epsg());
    const BinCounts& c = binning.Counts();
    std::printf("counts %lld %lld %lld %lld %lld %lld\n", static_cast<long long>(c.binned),
                static_cast<long long>(c.noLevel), static_cast<long long>(c.withoutPosition),
                static_cast<long long>(c.beyondUtmReach), static_cast<long long>(c.outsideGrid),
                static_cast<long long>(c.levelOutOfRange));
    for (const std::string& warning : binning.Warnings())
        std::printf("warning %s\n", warning.c_str());
    binning.ForEachCell([&](const BinCell& cell) {
        for (std::size_t i = 0; i < cell.channels.size(); ++i) {
            const BinCellChannel& ch = cell.channels[i];
            const ChannelKey& key = binning.Channels()[static_cast<std::size_t>(ch.channel)];
            const CellChannelStatistics& s = ch.statistics;
            std::printf("cell %d %d %d %s %llu %s %s %s %s %d %d %s %s %d\n", cell.cell.x,
                        cell.cell.y, key.channel, Shortest(key.frequencyMHz).c_str(),
                        static_cast<unsigned long long>(s.count), Shortest(s.linearMeanDbm).c_str(),
                        Shortest(s.dbMeanDbm).c_str(), Shortest(s.medianDbm).c_str(),
                        Shortest(s.stdDb).c_str(), s.minDbm, s.maxDbm,
                        s.first.known ? IsoTimeText(s.first).c_str() : "-",
                        s.last.known ? IsoTimeText(s.last).c_str() : "-",
                        static_cast<int>(i) == cell.strongest ? 1 : 0);
        }
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bins_probe cells|raster|gpkg|compare ...\n");
        return 2;
    }
    const std::string action = argv[1];
    std::vector<std::string> positional;
    BinOptions options;
    ChannelChoice channel;
    std::vector<BinStatistic> statistics = DefaultStatistics();
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--cell" && i + 1 < argc) {
            options.cellMetres = std::strtod(argv[++i], nullptr);
        } else if (arg == "--zone" && i + 1 < argc) {
            const std::string zone = argv[++i];
            options.zone = UtmZone{std::atoi(zone.c_str()), zone.back() == 'S'};
        } else if (arg == "--channel" && i + 1 < argc) {
            channel = *ChannelChoice::Parse(argv[++i]);
        } else if (arg == "--statistics" && i + 1 < argc) {
            std::string problem;
            const auto parsed = ParseStatistics(argv[++i], &problem);
            if (!parsed) {
                std::fprintf(stderr, "Error: %s\n", problem.c_str());
                return 2;
            }
            statistics = *parsed;
        } else {
            positional.push_back(arg);
        }
    }
    std::string error;
    if (action == "compare") {
        if (positional.size() < 3) return 2;
        options.memoryBudgetBytes = kComparisonBinningBudget;
        const auto a = Bin(positional[0], options);
        if (!a) return 1;
        BinOptions second = options;
        second.zone = a->Grid().zone;
        const auto b = Bin(positional[1], second);
        if (!b) return 1;
        const auto comparison = BinComparison::Make(*a, *b, channel, &error);
        if (!comparison) {
            std::fprintf(stderr, "Error: %s\n", error.c_str());
            return 1;
        }
        const std::string& out = positional[2];
        bool written = true;
        if (out.size() > 4 && out.substr(out.size() - 4) == ".tif")
            written = WriteDifferenceRaster(out, *comparison, &error);
        else if (out.size() > 5 && out.substr(out.size() - 5) == ".gpkg")
            written = WriteDifferenceGeoPackage(out, *comparison, &error);
        if (!written) {
            std::fprintf(stderr, "Error: %s\n", error.c_str());
            return 1;
        }
        std::printf("%s\n", comparison->Json().c_str());
        return 0;
    }
    const auto binning = Bin(positional.at(0), options);
    if (!binning) return 1;
    if (action == "cells") {
        PrintCells(*binning);
        return 0;
    }
    bool written = false;
    if (action == "raster")
        written =
            WriteCoverageRaster(positional.at(1), *binning, {channel, statistics, {}}, &error);
    else if (action == "gpkg")
        written = WriteCoverageGeoPackage(positional.at(1), *binning, {channel, {}}, &error);
    if (!written) {
        std::fprintf(stderr, "Error: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
