// SPDX-License-Identifier: GPL-3.0-or-later
// The drive as a KML document written as it comes, through libxml2's streaming writer, in
// bounded memory: by default a coloured track per scan, or one placemark per point.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "base/spill_array.h"
#include "geodata/level_ramp.h"
#include "geodata/sample_layer.h"

namespace varistrum {

class OutputFile;

enum class KmlForm {
    Track,   // per scan, pieces of line of one colour band
    Points,  // one placemark per point
};

struct KmlOptions {
    KmlForm form = KmlForm::Track;
    // The channel shown; nullopt: the strongest channel of each row.
    std::optional<int> channel;
    LevelRamp ramp;
    // The points form stops at the next point (a viewer slows down long before that).
    std::int64_t pointLimit = 100000;
};

// A piece of track ends where the next point lies farther than this (a gap in the drive).
inline constexpr double kTrackGapMetres = 200.0;
// The track is coloured by the mean level of each stretch of about this length (a stretch ends
// at its first point this far along the drive from its start): single samples swing across
// several bands within metres, and a colour per sample would give a piece every few points.
inline constexpr double kTrackStretchMetres = 100.0;

// Writes the document into an output file as the points come: each scan's placemarks wait in
// spill arrays (memory of a few MB, the rest in a temporary file) until the scan ends, and go
// out then into one folder per colour band inside the scan's folder; the routes go into a last
// folder. One document is written on one thread.
//
// The track of a scan: its points are taken in stretches of kTrackStretchMetres, each coloured
// by the band of its points' mean level (dB); consecutive stretches of one band form a piece,
// and a new piece starts where the band changes, where the next point lies more than
// kTrackGapMetres away, or where the time changes from the GPS's to the clock's (a scan's last
// stretch may be shorter).
class KmlDocument {
  public:
    KmlDocument(KmlOptions options, std::stop_token stop = {});
    ~KmlDocument();
    KmlDocument(const KmlDocument&) = delete;
    KmlDocument& operator=(const KmlDocument&) = delete;

    // Starts the document (its name, the legend, the styles); false with Error() on failure.
    bool Open(OutputFile& file, std::string_view name);
    void BeginScan(int scan, ScanKind kind);
    void AcceptPoint(const SamplePoint& point);
    void AcceptRoute(const RouteLine& route);
    // Writes the last scan, the routes and the document's end; the file then holds the whole
    // document. False with Error() on failure or a stop request.
    bool Finish();
    // Stops writing: nothing more reaches the file (which its owner discards).
    void Abandon();

    bool Failed() const { return failed_; }
    // What failed; kNotEnoughMemory when libxml2 ran out of memory.
    const std::string& Error() const { return error_; }
    // The points form reached its limit; Error() says so, to follow the output's name.
    bool LimitReached() const { return limitReached_; }
    bool Stopped() const { return stopped_; }
    // Placemarks written or waiting: track pieces, or points.
    std::int64_t Placemarks() const { return placemarks_; }

    // A point of the channel shown, as it waits for its scan's end.
    struct Kept {
        double longitude, latitude;
        int scan;
        ScanKind scanKind;
        int receiver;
        std::int64_t row;
        CivilTime utc, clock;
        TimeSource timeSource;
        int fixStatus;
        int channel;
        double frequencyMHz, rssiDbm;
        int samples;
        double rssiMinDbm, rssiMaxDbm;
        bool averaged;
        double speedKmh, altitudeM;
        bool speedKnown, altitudeKnown;
    };
    // A piece of track (or a stretch of one): consecutive points, its coordinates in the
    // scan's list.
    struct Piece {
        int band;
        std::uint64_t firstCoordinate, coordinates;
        double sum, minimum, maximum;
        std::int64_t points, samples;
        CivilTime begin, end;
        bool beginUtc, endUtc;
        int channel;  // of its points, -1 when they differ
        double frequencyMHz;
        double lengthM;  // along its points
    };
    struct Route {
        int scan;
        ScanKind kind;
        CivilTime first, last;
        std::int64_t fixes;
        double lengthM;
        std::uint64_t firstPoint;
    };

  private:
    class Xml;

    void Fail(const std::string& reason);
    void TakeRowsPoint();
    void AddShown(const Kept& point);
    void AddToTrack(const Kept& point);
    void CloseStretch();
    void ClosePiece();
    bool EndScan();
    void WriteScanFolder();
    void WritePiece(const Piece& piece);
    void WritePoint(const Kept& point);
    void WriteRoutes();
    void WriteTime(const CivilTime& time, bool utc, const char* element);
    static void PlaceText(std::string& text, const GeoPosition& p);
    // The places among `count` positions from `first` as they are written, a place that the
    // next repeats counted once.
    std::uint64_t Vertices(std::uint64_t first, std::uint64_t count,
                           const SpillArray<GeoPosition>& positions);
    void WriteCoordinates(std::uint64_t first, std::uint64_t count,
                          const SpillArray<GeoPosition>& positions);
    void Data(const char* name, std::string_view value);
    void Data(const char* name, std::int64_t value);
    void Data(const char* name, double value, int decimals);
    bool StopRequested();

    KmlOptions options_;
    std::stop_token stop_;
    std::unique_ptr<Xml> xml_;
    OutputFile* file_ = nullptr;

    // The scan under way and the strongest point of its row so far.
    int scan_ = -1;
    ScanKind scanKind_ = ScanKind::None;
    bool scanOpen_ = false;
    bool rowHeld_ = false;
    Kept row_{};
    // The scan's frequency when all its points have one (for the folder's name).
    double scanMHz_ = 0.0;
    bool scanOneFrequency_ = true;
    std::int64_t scanShown_ = 0;

    // Track: the stretch and the piece under way, the scan's closed pieces and their
    // coordinates (a point at the place of the one before is not repeated).
    bool stretchOpen_ = false;
    Piece stretch_{};
    bool pieceOpen_ = false;
    Piece piece_{};
    GeoPosition lastPosition_{};
    SpillArray<Piece> pieces_;
    SpillArray<GeoPosition> coordinates_;
    // Points: the scan's points.
    SpillArray<Kept> points_;
    std::array<std::int64_t, LevelRamp::kBands> perBand_{};

    SpillArray<Route> routes_;
    SpillArray<GeoPosition> routePoints_;

    std::string text_;  // reused for every value written
    std::string place_, previousPlace_;
    std::string error_;
    bool failed_ = false;
    bool limitReached_ = false;
    bool stopped_ = false;
    std::int64_t placemarks_ = 0;
};

}  // namespace varistrum
