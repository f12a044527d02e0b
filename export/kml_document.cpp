// SPDX-License-Identifier: GPL-3.0-or-later
// The KML document through libxml2's text writer: the library escapes every text and keeps
// the document well-formed; the placemarks of a scan wait in spill arrays until it ends.
#include "export/kml_document.h"

#include <libxml/xmlerror.h>
#include <libxml/xmlwriter.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "base/geodesic.h"
#include "base/number_format.h"
#include "base/output_file.h"
#include "base/resource_error.h"
#include "base/utf8_text.h"
#include "geodata/sample_layer_sink.h"

namespace varistrum {

namespace {

constexpr const char* kKmlNamespace = "http://www.opengis.net/kml/2.2";
// Placemarks written between two looks at the stop request.
constexpr std::int64_t kStopCheckEvery = 1024;
// Coordinates given to the writer at once.
constexpr std::size_t kCoordinatesAtOnce = 256;

// Text of a name we do not control (a file's name): valid UTF-8 without the control characters
// XML 1.0 cannot hold.
std::string XmlSafe(std::string_view text) {
    std::string out;
    for (const char c : ValidUtf8(text)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r')
            out += "\xEF\xBF\xBD";
        else
            out.push_back(c);
    }
    return out;
}

// KML's colours are aabbggrr.
std::string KmlColour(RgbColour colour) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text = "ff";
    for (const std::uint8_t part : {colour.blue, colour.green, colour.red}) {
        text += kDigits[part >> 4];
        text += kDigits[part & 15];
    }
    return text;
}

std::string StyleId(int band) {
    return "band" + std::to_string(band);
}

// A number with at most `decimals` decimals, without trailing zeros: "813.175", "-87.5".
std::string Decimals(double value, int decimals) {
    std::string text;
    AppendFixed(text, value, decimals);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
    }
    if (text == "-0") text = "0";
    return text;
}
// Frequencies as the text output gives them (5 decimals), levels and lengths to 0.01.
constexpr int kFrequencyDecimals = 5;
constexpr int kLevelDecimals = 2;

KmlDocument::Kept KeptOf(const SamplePoint& p) {
    return {p.longitude, p.latitude,   p.scan,         p.scanKind,   p.receiver, p.row,
            p.utc,       p.clock,      p.timeSource,   p.fixStatus,  p.channel,  p.frequencyMHz,
            p.rssiDbm,   p.samples,    p.rssiMinDbm,   p.rssiMaxDbm, p.averaged, p.speedKmh,
            p.altitudeM, p.speedKnown, p.altitudeKnown};
}

}  // namespace

// The text writer over an output file, every call checked: after the first failure nothing
// more is written. libxml2's errors are caught while it lives, so that running out of memory
// is told apart from a failed write. Some of its failures are only told (its list of open
// elements cannot grow: the call succeeds, and the element would be closed in the wrong
// place): any message it gives ends the document as failed.
class KmlDocument::Xml {
  public:
    explicit Xml(OutputFile& file) : file_(&file) {
        previous_ = xmlStructuredError;
        previousContext_ = xmlStructuredErrorContext;
        previousGeneric_ = xmlGenericError;
        previousGenericContext_ = xmlGenericErrorContext;
        xmlSetStructuredErrorFunc(this, &Xml::OnError);
        xmlSetGenericErrorFunc(this, &Xml::OnMessage);
        xmlOutputBufferPtr out = xmlOutputBufferCreateIO(&Xml::Write, &Xml::Close, this, nullptr);
        if (out != nullptr) {
            writer_ = xmlNewTextWriter(out);
            if (writer_ == nullptr) xmlOutputBufferClose(out);
        }
        if (writer_ == nullptr) {
            ok_ = false;
            outOfMemory_ = true;  // only an allocation can fail here
            return;
        }
        Check(xmlTextWriterStartDocument(writer_, nullptr, "UTF-8", nullptr));
    }
    ~Xml() {
        Detach();
        xmlSetStructuredErrorFunc(previousContext_, previous_);
        xmlSetGenericErrorFunc(previousGenericContext_, previousGeneric_);
    }
    Xml(const Xml&) = delete;
    Xml& operator=(const Xml&) = delete;

    bool Ok() const { return ok_ && !told_ && !outOfMemory_; }
    bool OutOfMemory() const { return outOfMemory_; }

    void Start(const char* name) {
        if (ok_) Check(xmlTextWriterStartElement(writer_, BAD_CAST name));
    }
    // An element on a line of its own: each placemark, folder and style (the document is not
    // indented, which would double its size).
    void StartLine(const char* name) {
        Text("\n");
        Start(name);
    }
    void End() {
        if (ok_) Check(xmlTextWriterEndElement(writer_));
    }
    void Attribute(const char* name, std::string_view value) {
        if (!ok_) return;
        scratch_.assign(value);
        Check(xmlTextWriterWriteAttribute(writer_, BAD_CAST name, BAD_CAST scratch_.c_str()));
    }
    void Text(std::string_view text) {
        if (!ok_) return;
        scratch_.assign(text);
        Check(xmlTextWriterWriteString(writer_, BAD_CAST scratch_.c_str()));
    }
    void Element(const char* name, std::string_view text) {
        Start(name);
        Text(text);
        End();
    }
    // Closes every open element and hands the rest to the file.
    bool Finish() {
        Text("\n");
        if (ok_) Check(xmlTextWriterEndDocument(writer_));
        if (ok_) Check(xmlTextWriterFlush(writer_));
        return ok_;
    }
    // Frees the writer; what it still holds goes nowhere.
    void Detach() {
        file_ = nullptr;
        if (writer_ != nullptr) xmlFreeTextWriter(writer_);
        writer_ = nullptr;
        ok_ = false;
    }

  private:
    // Some of libxml2's calls drop what they cannot allocate room for and still succeed: its
    // report of running out of memory fails the document too.
    void Check(int result) {
        if (result < 0 || told_ || outOfMemory_) ok_ = false;
    }
    static int Write(void* context, const char* buffer, int length) {
        auto* self = static_cast<Xml*>(context);
        if (self->file_ == nullptr) return length;
        self->file_->Write(std::string_view(buffer, static_cast<std::size_t>(length)));
        return self->file_->Failed() ? -1 : length;
    }
    static int Close(void* /*context*/) { return 0; }
    static void OnError(void* context, xmlErrorPtr error) {
        auto* self = static_cast<Xml*>(context);
        if (error != nullptr && error->code == XML_ERR_NO_MEMORY) self->outOfMemory_ = true;
    }
    // The messages libxml2 gives without an error code: its lists that cannot grow.
    static void OnMessage(void* context, const char* message, ...) {
        auto* self = static_cast<Xml*>(context);
        self->told_ = true;
        if (message != nullptr && std::strstr(message, "memory") != nullptr)
            self->outOfMemory_ = true;
    }

    OutputFile* file_;
    xmlTextWriterPtr writer_ = nullptr;
    bool ok_ = true;
    bool told_ = false;
    bool outOfMemory_ = false;
    std::string scratch_;
    xmlStructuredErrorFunc previous_ = nullptr;
    void* previousContext_ = nullptr;
    xmlGenericErrorFunc previousGeneric_ = nullptr;
    void* previousGenericContext_ = nullptr;
};

KmlDocument::KmlDocument(KmlOptions options, std::stop_token stop)
    : options_(std::move(options)), stop_(std::move(stop)) {}

KmlDocument::~KmlDocument() = default;

void KmlDocument::Fail(const std::string& reason) {
    if (failed_) return;
    failed_ = true;
    if (xml_ && xml_->OutOfMemory()) {
        error_ = kNotEnoughMemory;
    } else if (file_ != nullptr && file_->Failed()) {
        error_ = file_->FailureReason();
    } else {
        error_ = reason;
    }
}

bool KmlDocument::StopRequested() {
    if (!stop_.stop_requested()) return false;
    stopped_ = true;
    Fail("The export was cancelled.");
    return true;
}

bool KmlDocument::Open(OutputFile& file, std::string_view name) {
    file_ = &file;
    xml_ = std::make_unique<Xml>(file);
    Xml& x = *xml_;
    x.Start("kml");
    x.Attribute("xmlns", kKmlNamespace);
    x.StartLine("Document");
    x.Element("name", XmlSafe(name));
    x.Element("open", "1");
    // The legend, strongest first; the folders of each scan repeat it.
    std::string legend = "RSSI (dBm), the ";
    legend += options_.channel ? "channel " + std::to_string(*options_.channel)
                               : std::string("strongest channel of each row");
    legend += ":";
    for (int band = LevelRamp::kBands - 1; band >= 0; --band) {
        legend += "\n" + LevelRamp::HexText(LevelRamp::BandColour(band)) + "  " +
                  options_.ramp.BandLabel(band);
    }
    if (options_.form == KmlForm::Track) {
        legend +=
            "\nThe track is coloured by the mean level of each 100 m of the drive; a piece of "
            "track holds consecutive stretches of one colour, and a new one starts where the "
            "colour changes or the next point lies more than 200 m away.";
    }
    x.Element("description", legend);
    for (int band = 0; band < LevelRamp::kBands; ++band) {
        const std::string colour = KmlColour(LevelRamp::BandColour(band));
        x.StartLine("Style");
        x.Attribute("id", StyleId(band));
        x.Start("IconStyle");
        x.Element("color", colour);
        x.Element("scale", "0.6");
        x.End();
        x.Start("LabelStyle");
        x.Element("scale", "0");
        x.End();
        x.Start("LineStyle");
        x.Element("color", colour);
        x.Element("width", "4");
        x.End();
        x.End();
    }
    x.StartLine("Style");
    x.Attribute("id", "route");
    x.Start("LineStyle");
    x.Element("color", "ff888888");
    x.Element("width", "2");
    x.End();
    x.End();
    if (!x.Ok()) Fail("The KML document cannot be started.");
    return !failed_;
}

void KmlDocument::BeginScan(int scan, ScanKind kind) {
    if (failed_) return;
    if (scanOpen_ && !EndScan()) return;
    scan_ = scan;
    scanKind_ = kind;
    scanOpen_ = true;
    scanOneFrequency_ = true;
    scanShown_ = 0;
}

void KmlDocument::AcceptPoint(const SamplePoint& point) {
    if (failed_) return;
    if (!scanOpen_) BeginScan(point.scan, point.scanKind);
    if (options_.channel) {
        if (point.channel == *options_.channel) AddShown(KeptOf(point));
        return;
    }
    // The strongest of the row's points: the first of equals.
    if (rowHeld_ && (point.row != row_.row || point.scan != row_.scan)) TakeRowsPoint();
    if (!rowHeld_ || point.rssiDbm > row_.rssiDbm) row_ = KeptOf(point);
    rowHeld_ = true;
}

void KmlDocument::TakeRowsPoint() {
    if (!rowHeld_) return;
    rowHeld_ = false;
    AddShown(row_);
}

void KmlDocument::AddShown(const Kept& point) {
    if (failed_) return;
    if (scanShown_ == 0) {
        scanMHz_ = point.frequencyMHz;
    } else if (point.frequencyMHz != scanMHz_) {
        scanOneFrequency_ = false;
    }
    ++scanShown_;
    const int band = options_.ramp.BandOf(point.rssiDbm);
    if (options_.form == KmlForm::Points) {
        if (placemarks_ >= options_.pointLimit) {
            limitReached_ = true;
            std::string limit = std::to_string(options_.pointLimit);
            for (std::size_t at = limit.size(); at > 3; at -= 3) limit.insert(at - 3, ",");
            Fail("would hold more than " + limit +
                 " points, the most --kml-points writes: without --kml-points the drive is "
                 "written as a coloured track, whatever its length, and 40-lambda averaging "
                 "(--average 40-lambda) gives far fewer points.");
            return;
        }
        points_.push_back(point);
        ++perBand_[static_cast<std::size_t>(band)];
        ++placemarks_;
        return;
    }
    AddToTrack(point);
}

void KmlDocument::AddToTrack(const Kept& point) {
    const GeoPosition here{point.longitude, point.latitude};
    const bool utc = point.utc.known;
    const CivilTime& time = utc ? point.utc : point.clock;
    double metres = 0.0;
    bool connect = false;
    if (stretchOpen_ || pieceOpen_) {
        const Piece& before = stretchOpen_ ? stretch_ : piece_;
        metres = GeodesicMetres(lastPosition_.latitude, lastPosition_.longitude, here.latitude,
                                here.longitude);
        const bool gap = metres > kTrackGapMetres;
        // A time span is in UTC or in the clock's time, never both.
        const bool otherTime = utc != before.endUtc || time.known != before.end.known;
        if (gap || otherTime) {
            CloseStretch();
            ClosePiece();
            metres = 0.0;
        }
        connect = !gap;  // the track goes on from where the last stretch ended
    }
    if (!stretchOpen_) {
        stretch_ = Piece{};
        stretch_.firstCoordinate = coordinates_.size();
        stretch_.minimum = stretch_.maximum = point.rssiDbm;
        stretch_.begin = time;
        stretch_.beginUtc = utc;
        stretch_.channel = point.channel;
        stretch_.frequencyMHz = point.frequencyMHz;
        stretchOpen_ = true;
        if (connect) {
            coordinates_.push_back(lastPosition_);
            ++stretch_.coordinates;
        }
    }
    // A point where the one before lay adds no vertex (a receiver standing still).
    if (stretch_.coordinates == 0 || here.longitude != lastPosition_.longitude ||
        here.latitude != lastPosition_.latitude) {
        coordinates_.push_back(here);
        ++stretch_.coordinates;
    }
    stretch_.lengthM += metres;
    stretch_.sum += point.rssiDbm;
    stretch_.minimum = std::min(stretch_.minimum, point.rssiDbm);
    stretch_.maximum = std::max(stretch_.maximum, point.rssiDbm);
    ++stretch_.points;
    stretch_.samples += point.samples;
    stretch_.end = time;
    stretch_.endUtc = utc;
    if (point.channel != stretch_.channel) stretch_.channel = -1;
    if (point.frequencyMHz != stretch_.frequencyMHz) stretch_.frequencyMHz = 0.0;
    lastPosition_ = here;
    if (stretch_.lengthM >= kTrackStretchMetres) CloseStretch();
}

// The stretch's band is that of its mean level: it joins the piece under way when that has the
// same band (the mean of the joined points then lies in the band too), else starts a new one.
void KmlDocument::CloseStretch() {
    if (!stretchOpen_) return;
    stretchOpen_ = false;
    const int band = options_.ramp.BandOf(stretch_.sum / static_cast<double>(stretch_.points));
    if (pieceOpen_ && band == piece_.band) {
        // The stretch's coordinates follow the piece's in the scan's list.
        piece_.coordinates += stretch_.coordinates;
        piece_.sum += stretch_.sum;
        piece_.minimum = std::min(piece_.minimum, stretch_.minimum);
        piece_.maximum = std::max(piece_.maximum, stretch_.maximum);
        piece_.points += stretch_.points;
        piece_.samples += stretch_.samples;
        piece_.end = stretch_.end;
        piece_.endUtc = stretch_.endUtc;
        if (stretch_.channel != piece_.channel) piece_.channel = -1;
        if (stretch_.frequencyMHz != piece_.frequencyMHz) piece_.frequencyMHz = 0.0;
        piece_.lengthM += stretch_.lengthM;
        return;
    }
    ClosePiece();
    piece_ = stretch_;
    piece_.band = band;
    pieceOpen_ = true;
    ++placemarks_;
}

void KmlDocument::ClosePiece() {
    if (!pieceOpen_) return;
    pieceOpen_ = false;
    pieces_.push_back(piece_);
    ++perBand_[static_cast<std::size_t>(piece_.band)];
}

// The scan's folder: a folder per band, strongest first, with its placemarks in file order.
bool KmlDocument::EndScan() {
    TakeRowsPoint();
    CloseStretch();
    ClosePiece();
    if (!failed_ && scanShown_ > 0) WriteScanFolder();
    pieces_.clear();
    coordinates_.clear();
    points_.clear();
    perBand_.fill(0);
    scanOpen_ = false;
    return !failed_;
}

void KmlDocument::WriteScanFolder() {
    Xml& x = *xml_;
    std::string name =
        "Scan " + std::to_string(scan_) + " (" + std::string(ScanKindName(scanKind_));
    if (scanOneFrequency_) {
        name += ", " + Decimals(scanMHz_, kFrequencyDecimals) + " MHz";
    } else if (options_.channel) {
        name += ", channel " + std::to_string(*options_.channel);
    } else {
        name += ", strongest channel";
    }
    name += ")";
    x.StartLine("Folder");
    x.Element("name", name);
    std::int64_t written = 0;
    for (int band = LevelRamp::kBands - 1; band >= 0 && !failed_; --band) {
        if (perBand_[static_cast<std::size_t>(band)] == 0) continue;
        x.StartLine("Folder");
        x.Element("name", options_.ramp.BandLabel(band));
        if (options_.form == KmlForm::Track) {
            for (std::size_t i = 0; i < pieces_.size() && !failed_; ++i) {
                const Piece piece = pieces_[i];
                if (piece.band != band) continue;
                WritePiece(piece);
                if (++written % kStopCheckEvery == 0) StopRequested();
            }
        } else {
            for (std::size_t i = 0; i < points_.size() && !failed_; ++i) {
                const Kept point = points_[i];
                if (options_.ramp.BandOf(point.rssiDbm) != band) continue;
                WritePoint(point);
                if (++written % kStopCheckEvery == 0) StopRequested();
            }
        }
        x.End();
        if (!x.Ok()) Fail("The KML document cannot be written.");
    }
    x.End();
    if (!x.Ok()) Fail("The KML document cannot be written.");
}

void KmlDocument::WriteTime(const CivilTime& time, bool utc, const char* element) {
    char text[kIsoTimeRoom];
    const char* end = WriteIsoTime(text, time, utc);
    xml_->Element(element, std::string_view(text, static_cast<std::size_t>(end - text)));
}

void KmlDocument::Data(const char* name, std::string_view value) {
    Xml& x = *xml_;
    x.Start("Data");
    x.Attribute("name", name);
    x.Element("value", value);
    x.End();
}

void KmlDocument::Data(const char* name, std::int64_t value) {
    text_.clear();
    AppendInt(text_, value);
    Data(name, std::string_view(text_));
}

void KmlDocument::Data(const char* name, double value, int decimals) {
    Data(name, std::string_view(Decimals(value, decimals)));
}

// A place as the document writes it: "lon,lat" to 6 decimals (about 0.1 m).
void KmlDocument::PlaceText(std::string& text, const GeoPosition& p) {
    text.clear();
    AppendFixed(text, p.longitude, 6);
    text += ',';
    AppendFixed(text, p.latitude, 6);
}

std::uint64_t KmlDocument::Vertices(std::uint64_t first, std::uint64_t count,
                                    const SpillArray<GeoPosition>& positions) {
    std::uint64_t vertices = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        PlaceText(place_, positions[first + i]);
        if (i == 0 || place_ != previousPlace_) ++vertices;
        place_.swap(previousPlace_);
    }
    return vertices;
}

// The positions, a place written once where the next repeats it.
void KmlDocument::WriteCoordinates(std::uint64_t first, std::uint64_t count,
                                   const SpillArray<GeoPosition>& positions) {
    Xml& x = *xml_;
    x.Start("coordinates");
    text_.clear();
    for (std::uint64_t i = 0; i < count; ++i) {
        PlaceText(place_, positions[first + i]);
        if (i == 0 || place_ != previousPlace_) {
            if (i > 0) text_ += ' ';
            text_ += place_;
        }
        place_.swap(previousPlace_);
        if ((i + 1) % kCoordinatesAtOnce == 0) {
            x.Text(text_);
            text_.clear();
        }
    }
    x.Text(text_);
    x.End();
}

void KmlDocument::WritePiece(const Piece& piece) {
    Xml& x = *xml_;
    x.StartLine("Placemark");
    if (piece.begin.known || piece.end.known) {
        x.Start("TimeSpan");
        if (piece.begin.known) WriteTime(piece.begin, piece.beginUtc, "begin");
        if (piece.end.known) WriteTime(piece.end, piece.endUtc, "end");
        x.End();
    }
    x.Element("styleUrl", "#" + StyleId(piece.band));
    x.Start("ExtendedData");
    Data("scan", std::int64_t{scan_});
    if (piece.channel >= 0) {
        Data("channel", std::int64_t{piece.channel});
    } else {
        Data("channel", "strongest");
    }
    if (piece.frequencyMHz != 0.0) Data("frequency_mhz", piece.frequencyMHz, kFrequencyDecimals);
    Data("level_band", std::int64_t{piece.band});
    Data("level_mean_dbm", piece.sum / static_cast<double>(piece.points), kLevelDecimals);
    Data("level_min_dbm", piece.minimum, kLevelDecimals);
    Data("level_max_dbm", piece.maximum, kLevelDecimals);
    Data("points", piece.points);
    Data("samples", piece.samples);
    x.End();
    if (Vertices(piece.firstCoordinate, piece.coordinates, coordinates_) >= 2) {
        x.Start("LineString");
        x.Element("tessellate", "1");
        WriteCoordinates(piece.firstCoordinate, piece.coordinates, coordinates_);
        x.End();
    } else {
        // A lone point between two gaps, or a receiver standing still: a line needs two places.
        x.Start("Point");
        WriteCoordinates(piece.firstCoordinate, 1, coordinates_);
        x.End();
    }
    x.End();
}

void KmlDocument::WritePoint(const Kept& p) {
    Xml& x = *xml_;
    x.StartLine("Placemark");
    if (p.utc.known) {
        x.Start("TimeStamp");
        WriteTime(p.utc, true, "when");
        x.End();
    } else if (p.clock.known) {
        x.Start("TimeStamp");
        WriteTime(p.clock, false, "when");
        x.End();
    }
    const int band = options_.ramp.BandOf(p.rssiDbm);
    x.Element("styleUrl", "#" + StyleId(band));
    x.Start("ExtendedData");
    Data("scan", std::int64_t{p.scan});
    Data("scan_kind", ScanKindName(p.scanKind));
    Data("receiver", std::int64_t{p.receiver});
    Data("row", p.row);
    char time[kIsoTimeRoom];
    if (p.utc.known) Data("time_utc", std::string_view(time, WriteIsoTime(time, p.utc, true)));
    if (p.clock.known)
        Data("clock_time", std::string_view(time, WriteIsoTime(time, p.clock, false)));
    if (p.timeSource != TimeSource::None) Data("time_source", TimeSourceName(p.timeSource));
    Data("fix", FixName(p.fixStatus));
    Data("channel", std::int64_t{p.channel});
    Data("frequency_mhz", p.frequencyMHz, kFrequencyDecimals);
    Data("rssi_dbm", p.rssiDbm, kLevelDecimals);
    Data("level_band", std::int64_t{band});
    Data("samples", std::int64_t{p.samples});
    Data("rssi_min_dbm", p.rssiMinDbm, kLevelDecimals);
    Data("rssi_max_dbm", p.rssiMaxDbm, kLevelDecimals);
    Data("averaged", p.averaged ? "true" : "false");
    if (p.speedKnown) Data("speed_kmh", p.speedKmh, kLevelDecimals);
    if (p.altitudeKnown) Data("altitude_m", p.altitudeM, kLevelDecimals);
    x.End();
    x.Start("Point");
    x.Start("coordinates");
    PlaceText(text_, {p.longitude, p.latitude});
    x.Text(text_);
    x.End();
    x.End();
    x.End();
}

void KmlDocument::AcceptRoute(const RouteLine& route) {
    if (failed_) return;
    routes_.push_back({route.scan, route.scanKind, route.first, route.last, route.fixes,
                       route.lengthM, routePoints_.size()});
    routePoints_.Append(route.points.data(), route.points.size());
}

void KmlDocument::WriteRoutes() {
    if (routes_.empty()) return;
    Xml& x = *xml_;
    x.StartLine("Folder");
    x.Element("name", "Routes");
    x.Element("description", "Each scan's good fixes (2D or 3D) in file order.");
    for (std::size_t i = 0; i < routes_.size() && !failed_; ++i) {
        const Route route = routes_[i];
        x.StartLine("Placemark");
        x.Element("name", "Scan " + std::to_string(route.scan) + " route");
        if (route.first.known || route.last.known) {
            x.Start("TimeSpan");
            if (route.first.known) WriteTime(route.first, true, "begin");
            if (route.last.known) WriteTime(route.last, true, "end");
            x.End();
        }
        x.Element("styleUrl", "#route");
        x.Start("ExtendedData");
        Data("scan", std::int64_t{route.scan});
        Data("scan_kind", ScanKindName(route.kind));
        char time[kIsoTimeRoom];
        if (route.first.known)
            Data("first_fix_utc", std::string_view(time, WriteIsoTime(time, route.first, true)));
        if (route.last.known)
            Data("last_fix_utc", std::string_view(time, WriteIsoTime(time, route.last, true)));
        Data("fixes", route.fixes);
        Data("length_m", route.lengthM, kLevelDecimals);
        x.End();
        const auto fixes = static_cast<std::uint64_t>(route.fixes);
        const bool line = Vertices(route.firstPoint, fixes, routePoints_) >= 2;
        x.Start(line ? "LineString" : "Point");  // a route of fixes at one place: a point
        if (line) x.Element("tessellate", "1");
        WriteCoordinates(route.firstPoint, fixes, routePoints_);
        x.End();
        x.End();
        if ((i + 1) % kStopCheckEvery == 0) StopRequested();
    }
    x.End();
    if (!x.Ok()) Fail("The KML document cannot be written.");
}

bool KmlDocument::Finish() {
    if (failed_ || !xml_) return false;
    if (StopRequested()) return false;
    if (scanOpen_) EndScan();
    if (!failed_) WriteRoutes();
    if (!failed_ && !StopRequested() && !xml_->Finish()) Fail("The KML document cannot be ended.");
    return !failed_;
}

void KmlDocument::Abandon() {
    if (xml_) xml_->Detach();
    file_ = nullptr;
}

}  // namespace varistrum
