// SPDX-License-Identifier: GPL-3.0-or-later
// The map picture. Points are written straight into the image's pixels: a full redraw of a
// million points costs a pass over flat arrays, no painter call a point.
#include "mapdraw/map_renderer.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>
#include <QSysInfo>
#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "base/number_format.h"
#include "bins/bin_styles.h"
#include "map/level_statistics.h"

namespace varistrum {

namespace {

const QColor kPaper(255, 255, 255);
const QColor kBackgroundInk(205, 205, 205);
const QColor kRouteInk(140, 140, 140);
const QColor kText(30, 30, 30);
constexpr int kPointRadius = 1;  // points are 3 x 3 pixels

QColor QColourOf(RgbColour colour) {
    return QColor(colour.red, colour.green, colour.blue);
}

QRgb RgbOf(RgbColour colour) {
    return qRgb(colour.red, colour.green, colour.blue);
}

// The same font on every platform, so that the window and the command line draw alike.
QFont MapFont(int pixels, bool bold = false) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QPointF ScreenOf(const MapViewport& view, FixedPoint p) {
    const ScreenPoint s = view.ToScreen({p.x * kFixedStep, p.y * kFixedStep});
    return {s.x, s.y};
}

// A vector background's lines and points inside the view, read and drawn one at a time.
BackgroundDraw DrawVectorBackground(QPainter& painter, const MapViewport& view,
                                    MapBackground& background) {
    painter.setPen(QPen(kBackgroundInk, 1.0));
    QPolygonF polygon;
    return background.VisitLines(view, [&](const WorldPoint* points, std::size_t count) {
        polygon.clear();
        for (std::size_t i = 0; i < count; ++i) {
            const ScreenPoint s = view.ToScreen(points[i]);
            polygon.append({s.x, s.y});
        }
        if (polygon.size() == 1)
            painter.drawPoint(polygon.front());
        else
            painter.drawPolyline(polygon);
    });
}

// A raster or tile background: warped into the picture's pixels, then laid on the paper by its
// coverage and faded to white.
BackgroundDraw DrawRasterBackground(QImage& image, const MapViewport& view,
                                    MapBackground& background, int fadePercent) {
    const int width = image.width(), height = image.height();
    std::vector<std::uint8_t> coverage(static_cast<std::size_t>(width) *
                                       static_cast<std::size_t>(height));
    const bool little = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    RasterTarget target;
    target.pixels = image.bits();
    target.stride = image.bytesPerLine();
    // A QRgb is 0xAARRGGBB in the machine's byte order.
    target.redByte = little ? 2 : 1;
    target.greenByte = little ? 1 : 2;
    target.blueByte = little ? 0 : 3;
    target.coverage = coverage.data();
    const BackgroundDraw outcome = background.DrawRaster(view, target);
    const int keep = 100 - std::clamp(fadePercent, 0, 100);  // percent of the colour kept
    auto* pixels = reinterpret_cast<QRgb*>(image.bits());
    const auto stride = static_cast<std::ptrdiff_t>(image.bytesPerLine() / 4);
    for (int y = 0; y < height; ++y) {
        QRgb* line = pixels + y * stride;
        const std::uint8_t* covered = coverage.data() + static_cast<std::ptrdiff_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            // Weight of the colour in 0..25500: coverage times the kept percent.
            const int weight = covered[x] * keep;
            const int paper = 25500 - weight;
            const QRgb c = line[x];
            line[x] = qRgb((qRed(c) * weight + 255 * paper + 12750) / 25500,
                           (qGreen(c) * weight + 255 * paper + 12750) / 25500,
                           (qBlue(c) * weight + 255 * paper + 12750) / 25500);
        }
    }
    return outcome;
}

void DrawRoutes(QPainter& painter, const MapViewport& view, const MapData& data) {
    painter.setPen(QPen(kRouteInk, 1.0));
    QPolygonF polygon;
    for (const MapRoute& route : data.routes) {
        polygon.clear();
        for (const FixedPoint& p : route.points) polygon.append(ScreenOf(view, p));
        painter.drawPolyline(polygon);
    }
}

void DrawPoints(QImage& image, const MapViewport& view, const MapScene& scene) {
    const ChannelPoints& points = scene.data->points.Group(scene.channel);
    std::array<std::int16_t, LevelRamp::kBounds> bounds{};
    std::array<QRgb, LevelRamp::kBands> colours{};
    for (int b = 0; b < LevelRamp::kBounds; ++b)
        bounds[static_cast<std::size_t>(b)] =
            CentiDbm(scene.ramp.Thresholds()[static_cast<std::size_t>(b)]);
    for (int b = 0; b < LevelRamp::kBands; ++b)
        colours[static_cast<std::size_t>(b)] = RgbOf(LevelRamp::BandColour(b));
    const int width = image.width(), height = image.height();
    const double scale = view.Scale() * kFixedStep;
    const double originX = view.Origin().x / kFixedStep, originY = view.Origin().y / kFixedStep;
    auto* pixels = reinterpret_cast<QRgb*>(image.bits());
    const auto stride = static_cast<std::ptrdiff_t>(image.bytesPerLine() / 4);
    for (std::size_t i = 0; i < points.Size(); ++i) {
        const double sx = std::floor((points.x[i] - originX) * scale);
        const double sy = std::floor((points.y[i] - originY) * scale);
        if (sx < -kPointRadius || sy < -kPointRadius || sx > width + kPointRadius ||
            sy > height + kPointRadius)
            continue;
        const std::int16_t level = points.levelCentiDbm[i];
        int band = 0;
        while (band < LevelRamp::kBounds && level >= bounds[static_cast<std::size_t>(band)]) ++band;
        const QRgb colour = colours[static_cast<std::size_t>(band)];
        const int cx = static_cast<int>(sx), cy = static_cast<int>(sy);
        for (int y = std::max(cy - kPointRadius, 0); y <= std::min(cy + kPointRadius, height - 1);
             ++y) {
            QRgb* line = pixels + y * stride;
            for (int x = std::max(cx - kPointRadius, 0);
                 x <= std::min(cx + kPointRadius, width - 1); ++x)
                line[x] = colour;
        }
    }
}

// The cells' colour of a value.
QRgb CellColour(const MapCellLayer& layer, const LevelRamp& ramp, float value) {
    if (layer.colouring == CellColouring::Difference)
        return RgbOf(DifferenceColour(DifferenceClassOf(value)));
    return RgbOf(ramp.ColourOf(value));
}

void DrawCells(QImage& image, const MapViewport& view, const MapScene& scene) {
    const MapCellLayer& layer = *scene.cells;
    const int width = image.width(), height = image.height();
    auto* pixels = reinterpret_cast<QRgb*>(image.bits());
    const auto stride = static_cast<std::ptrdiff_t>(image.bytesPerLine() / 4);
    for (const MapCell& cell : layer.cells) {
        const QPointF a = ScreenOf(view, cell.northWest), b = ScreenOf(view, cell.southEast);
        // At least a pixel, so that a small cell stays visible zoomed out.
        const double left = std::floor(a.x()), top = std::floor(a.y());
        const double right = std::max(std::floor(b.x()), left + 1.0);
        const double bottom = std::max(std::floor(b.y()), top + 1.0);
        if (right <= 0 || bottom <= 0 || left >= width || top >= height) continue;
        const QRgb colour = CellColour(layer, scene.ramp, cell.value);
        const int x0 = static_cast<int>(std::max(left, 0.0));
        const int x1 = static_cast<int>(std::min(right, static_cast<double>(width)));
        const int y0 = static_cast<int>(std::max(top, 0.0));
        const int y1 = static_cast<int>(std::min(bottom, static_cast<double>(height)));
        for (int y = y0; y < y1; ++y) {
            QRgb* line = pixels + y * stride;
            for (int x = x0; x < x1; ++x) line[x] = colour;
        }
    }
}

// The legend's rows: a colour and its text, strongest first.
struct LegendRow {
    QColor colour;
    std::string text;
};

void DrawLegend(QPainter& painter, const QImage& image, const MapScene& scene, int top,
                bool cells) {
    const QFont font = MapFont(12);
    const QFontMetrics metrics(font);
    const int swatch = 12, gap = 6, line = std::max(metrics.height(), swatch) + 3;
    std::vector<std::string> titles{
        scene.data == nullptr ? std::string("Level") : scene.data->channels.Label(scene.channel)};
    std::vector<LegendRow> rows;
    if (cells && scene.cells->colouring == CellColouring::Difference) {
        titles = {"Drive B - drive A", scene.cells->what};
        // B stronger on top, as a reader expects "better" to be "higher".
        for (int c = kDifferenceClasses - 1; c >= 0; --c)
            rows.push_back({QColourOf(DifferenceColour(c)), DifferenceLabel(c)});
    } else {
        // With cells to choose from, the legend says what is shown.
        if (scene.cells != nullptr) titles.push_back(cells ? scene.cells->what : "points");
        // The strongest band on top, as a reader expects "better" to be "higher".
        for (int band = LevelRamp::kBands - 1; band >= 0; --band)
            rows.push_back({QColourOf(LevelRamp::BandColour(band)), scene.ramp.BandLabel(band)});
    }
    // Below the bands: the grey route, and the background by name.
    std::vector<std::string> notes = {"Route (fixes)"};
    if (scene.background != nullptr) notes.push_back("Background: " + scene.background->Name());
    int textWidth = 0;
    for (const std::string& title : titles)
        textWidth = std::max(textWidth, metrics.horizontalAdvance(QString::fromStdString(title)));
    for (const LegendRow& row : rows)
        textWidth = std::max(
            textWidth, swatch + gap + metrics.horizontalAdvance(QString::fromStdString(row.text)));
    for (std::size_t i = 0; i < notes.size(); ++i)
        textWidth =
            std::max(textWidth, (i == 0 ? swatch + gap : 0) +
                                    metrics.horizontalAdvance(QString::fromStdString(notes[i])));
    const int count = static_cast<int>(titles.size() + rows.size() + notes.size());
    const QRect box(image.width() - textWidth - 2 * gap - 10, top, textWidth + 2 * gap,
                    line * count + gap);
    painter.setPen(QPen(QColor(160, 160, 160), 1.0));
    painter.setBrush(QColor(255, 255, 255, 225));
    painter.drawRect(box);
    painter.setFont(font);
    painter.setPen(kText);
    int y = box.top() + gap - line;
    for (const std::string& title : titles) {
        y += line;
        painter.drawText(QRect(box.left() + gap, y, textWidth, line), Qt::AlignVCenter,
                         QString::fromStdString(title));
    }
    for (const LegendRow& row : rows) {
        y += line;
        painter.fillRect(QRect(box.left() + gap, y + (line - swatch) / 2, swatch, swatch),
                         row.colour);
        painter.drawText(QRect(box.left() + gap + swatch + gap, y, textWidth, line),
                         Qt::AlignVCenter, QString::fromStdString(row.text));
    }
    for (std::size_t i = 0; i < notes.size(); ++i) {
        y += line;
        int left = box.left() + gap;
        if (i == 0) {
            painter.setPen(QPen(kRouteInk, 2.0));
            painter.drawLine(left, y + line / 2, left + swatch, y + line / 2);
            painter.setPen(kText);
            left += swatch + gap;
        }
        painter.drawText(QRect(left, y, textWidth, line), Qt::AlignVCenter,
                         QString::fromStdString(notes[i]));
    }
}

// The tiles' attribution in the bottom right corner, on a light box.
void DrawAttribution(QPainter& painter, const QImage& image, const std::string& text) {
    if (text.empty()) return;
    const QFont font = MapFont(11);
    const QFontMetrics metrics(font);
    const QString shown = metrics.elidedText(QString::fromStdString(text), Qt::ElideRight,
                                             std::max(image.width() - 8, 10));
    const int width = metrics.horizontalAdvance(shown) + 8, height = metrics.height() + 2;
    const QRect box(image.width() - width, image.height() - height, width, height);
    painter.fillRect(box, QColor(255, 255, 255, 235));
    painter.setFont(font);
    painter.setPen(kText);
    painter.drawText(box, Qt::AlignCenter, shown);
}

// The height of the title strip across the top.
int TitleHeight() {
    return QFontMetrics(MapFont(12, true)).height() + 6;
}

void DrawScaleBar(QPainter& painter, const QImage& image, const MapViewport& view) {
    const int left = 12, bottom = image.height() - 12;
    // Measured on the ellipsoid along the bar's own row: Mercator's scale changes with latitude.
    const double metresPerPixel = view.MetresPerPixelAt({left, static_cast<double>(bottom)});
    const double metres = ScaleBarMetres(metresPerPixel, std::max(image.width() / 4, 20));
    if (metres <= 0.0) return;
    const int length = static_cast<int>(std::lround(metres / metresPerPixel));
    painter.setPen(QPen(kText, 2.0));
    painter.drawLine(left, bottom, left + length, bottom);
    painter.drawLine(left, bottom - 5, left, bottom);
    painter.drawLine(left + length, bottom - 5, left + length, bottom);
    painter.setFont(MapFont(12));
    painter.drawText(QPoint(left + 3, bottom - 6), QString::fromStdString(DistanceText(metres)));
}

}  // namespace

bool ShowsCells(const MapViewport& view, const MapScene& scene) {
    if (scene.cells == nullptr || scene.cells->Empty()) return false;
    if (scene.cells->colouring == CellColouring::Difference || scene.data == nullptr) return true;
    // The points in view against the pixels their centres fall on.
    const ChannelPoints& points = scene.data->points.Group(scene.channel);
    const int width = view.Width(), height = view.Height();
    if (width <= 0 || height <= 0) return false;
    std::vector<std::uint64_t> covered((static_cast<std::size_t>(width) * height + 63) / 64);
    const double scale = view.Scale() * kFixedStep;
    const double originX = view.Origin().x / kFixedStep, originY = view.Origin().y / kFixedStep;
    std::size_t inView = 0, pixels = 0;
    for (std::size_t i = 0; i < points.Size(); ++i) {
        const double sx = std::floor((points.x[i] - originX) * scale);
        const double sy = std::floor((points.y[i] - originY) * scale);
        if (sx < 0 || sy < 0 || sx >= width || sy >= height) continue;
        ++inView;
        const std::size_t at = static_cast<std::size_t>(sy) * width + static_cast<std::size_t>(sx);
        std::uint64_t& word = covered[at / 64];
        const std::uint64_t bit = std::uint64_t{1} << (at % 64);
        if ((word & bit) == 0) {
            word |= bit;
            ++pixels;
        }
    }
    return inView > pixels;
}

MapViewport FittedView(const MapScene& scene, QSize size) {
    MapViewport view(size.width(), size.height());
    WorldPoint minimum{1.0, 1.0}, maximum{0.0, 0.0};
    if (scene.data != nullptr) {
        minimum = scene.data->Minimum();
        maximum = scene.data->Maximum();
    }
    if (minimum.x > maximum.x && scene.background != nullptr) {
        if (const auto extent = scene.background->Extent()) {
            minimum = extent->minimum;
            maximum = extent->maximum;
        }
    }
    if (minimum.x <= maximum.x) view.Fit(minimum, maximum);
    return view;
}

BackgroundDraw DrawBackground(QImage& image, const MapViewport& view, const MapScene& scene) {
    image.fill(kPaper);
    if (scene.background == nullptr) return {};
    if (scene.background->GetKind() == MapBackground::Kind::Vector) {
        QPainter painter(&image);
        return DrawVectorBackground(painter, view, *scene.background);
    }
    return DrawRasterBackground(image, view, *scene.background, scene.fadePercent);
}

void DrawForeground(QImage& image, const MapViewport& view, const MapScene& scene) {
    const bool cells = ShowsCells(view, scene);
    if (scene.data != nullptr) {
        {
            QPainter painter(&image);
            DrawRoutes(painter, view, *scene.data);
        }
        if (!cells) DrawPoints(image, view, scene);
    }
    if (cells) DrawCells(image, view, scene);
    if (!scene.title.empty()) DrawTitle(image, scene.title);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    DrawLegend(painter, image, scene, 10 + (scene.title.empty() ? 0 : TitleHeight()), cells);
    DrawScaleBar(painter, image, view);
    if (scene.background != nullptr)
        DrawAttribution(painter, image, scene.background->Attribution());
}

BackgroundDraw DrawMap(QImage& image, const MapViewport& view, const MapScene& scene) {
    BackgroundDraw outcome = DrawBackground(image, view, scene);
    DrawForeground(image, view, scene);
    return outcome;
}

void DrawTitle(QImage& image, const std::string& title) {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const QFont font = MapFont(12, true);
    const QFontMetrics metrics(font);
    const QRect strip(0, 0, image.width(), TitleHeight());
    painter.fillRect(strip, QColor(255, 255, 255, 225));
    painter.setPen(QPen(QColor(160, 160, 160), 1.0));
    painter.drawLine(strip.bottomLeft(), strip.bottomRight());
    painter.setFont(font);
    painter.setPen(kText);
    painter.drawText(strip.adjusted(6, 0, -6, 0), Qt::AlignVCenter | Qt::AlignLeft,
                     metrics.elidedText(QString::fromStdString(title), Qt::ElideRight,
                                        std::max(image.width() - 12, 10)));
}

QImage RenderMap(const MapViewport& view, const MapScene& scene, BackgroundDraw* background) {
    QImage image(view.Width(), view.Height(), QImage::Format_RGB32);
    // Qt answers a failed allocation with a null image.
    if (image.isNull() && view.Width() > 0 && view.Height() > 0) throw std::bad_alloc();
    const BackgroundDraw outcome = DrawMap(image, view, scene);
    if (background != nullptr) *background = outcome;
    return image;
}

double ScaleBarMetres(double metresPerPixel, int maxPixels) {
    if (!(metresPerPixel > 0.0) || maxPixels <= 0) return 0.0;
    const double limit = metresPerPixel * maxPixels;
    double step = std::pow(10.0, std::floor(std::log10(limit)));
    for (const double factor : {5.0, 2.0, 1.0}) {
        if (step * factor <= limit) return step * factor;
    }
    return step;
}

std::string DistanceText(double metres) {
    std::string text;
    if (metres >= 1000.0) {
        const double km = metres / 1000.0;
        if (km == std::floor(km))
            AppendInt(text, static_cast<std::int64_t>(km));
        else
            AppendFixed(text, km, 1);
        return text + " km";
    }
    if (metres >= 1.0) {
        AppendInt(text, static_cast<std::int64_t>(std::lround(metres)));
        return text + " m";
    }
    AppendFixed(text, metres, 1);
    return text + " m";
}

}  // namespace varistrum
