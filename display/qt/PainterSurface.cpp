#include "display/qt/PainterSurface.h"

#include <QFontMetrics>
#include <QLineF>
#include <QPaintDevice>
#include <QPainter>
#include <QRawFont>
#include <QString>
#include <QTransform>

#include <algorithm>
#include <optional>

#include "display/qt/FontNames.h"

namespace {

// Lines whose ends lie beyond this margin around the visible area are cut there, so that
// the rasteriser only ever sees coordinates near the device.
constexpr double kClipMargin = 4.0;

QColor ToQColor(Colour colour) {
    return QColor(static_cast<int>(colour & 0xFFu), static_cast<int>((colour >> 8) & 0xFFu),
                  static_cast<int>((colour >> 16) & 0xFFu));
}

// Pens are 1 device-independent pixel wide and not cosmetic, so a painter with a device
// pixel ratio of 2 draws them 2 device pixels wide and the whole picture scales. The
// square cap makes a solid line cover both of its end pixels.
QPen MakePen(PenStyle style, int width, Colour colour) {
    QPen pen(ToQColor(colour));
    pen.setWidth(std::max(1, width));
    pen.setCosmetic(false);
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::MiterJoin);
    if (style == PenStyle::Dotted) {
        // A dot every other pixel: each very short dash grows by the square cap into one
        // whole pixel, and the gap between dots is one pixel. Both lengths are binary
        // fractions, so the period is exactly 2 and the dots do not drift along a line.
        pen.setDashPattern({1.0 / 128, 2.0 - 1.0 / 128});
    }
    return pen;
}

struct Segment {
    QPointF from, to;
};

// Liang-Barsky: the part of the segment inside the rectangle, or nothing. Doubles hold
// any int exactly, so a coordinate of a billion still gives the right visible part.
std::optional<Segment> ClipSegment(double x0, double y0, double x1, double y1, const QRectF& area) {
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    double enter = 0.0;
    double leave = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - area.left(), area.right() - x0, y0 - area.top(), area.bottom() - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) {
                return std::nullopt; // parallel to this edge and outside it
            }
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0) {
            enter = std::max(enter, t);
        } else {
            leave = std::min(leave, t);
        }
        if (enter > leave) {
            return std::nullopt;
        }
    }
    return Segment{{x0 + enter * dx, y0 + enter * dy}, {x0 + leave * dx, y0 + leave * dy}};
}

// The device's area in the painter's logical coordinates, with a margin. An image counts
// its size in device pixels and a widget in logical ones, so the size times the device
// pixel ratio covers the visible area in both cases; a larger area is harmless, as long
// as it keeps coordinates near the device.
QRectF VisibleArea(const QPainter& painter) {
    const QPaintDevice* device = painter.device();
    const QRectF deviceRect(0.0, 0.0, device->width() * device->devicePixelRatio(),
                            device->height() * device->devicePixelRatio());
    bool invertible = false;
    const QTransform toLogical = painter.combinedTransform().inverted(&invertible);
    // A degenerate transform draws nothing visible; keep a generous finite area anyway.
    const QRectF area = invertible ? toLogical.mapRect(deviceRect) : QRectF(-1e6, -1e6, 2e6, 2e6);
    return area.adjusted(-kClipMargin, -kClipMargin, kClipMargin, kClipMargin);
}

} // namespace

QFont PainterSurface::DefaultFont() {
    QFont font(QString::fromLatin1(kFontFamily));
    font.setPixelSize(16);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

bool PainterSurface::DefaultFontLoads() {
    const QFont font = DefaultFont();
    const QRawFont face = QRawFont::fromFont(font);
    const QFontMetrics metrics(font);
    return face.isValid() && FamilyNamesOf(face).contains(QString::fromLatin1(kFontFamily)) &&
           metrics.horizontalAdvance(QChar(u'0')) == 8 &&
           metrics.horizontalAdvance(QChar(u'\uFF0D')) == 16;
}

PainterSurface::PainterSurface(QPainter& painter) : m_painter(painter) {
    m_painter.save();
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_painter.setBrush(Qt::NoBrush);
    m_painter.setFont(DefaultFont());
    m_ascent = m_painter.fontMetrics().ascent();
    LookOf(PenStyle::Solid, 1, 0x00000000); // look 0: the default pen
    m_visible = VisibleArea(m_painter);
}

PainterSurface::~PainterSurface() {
    m_painter.restore();
}

std::uint32_t PainterSurface::LookOf(PenStyle style, int width, Colour colour) {
    const std::uint64_t key = (std::uint64_t{colour} << 32) |
                              (static_cast<std::uint64_t>(std::clamp(width, 1, 0x7FFF)) << 1) |
                              (style == PenStyle::Dotted ? 1u : 0u);
    const auto [it, added] =
        m_lookIndex.try_emplace(key, static_cast<std::uint32_t>(m_looks.size()));
    if (added) {
        m_looks.push_back(MakePen(style, width, colour));
    }
    return it->second;
}

PainterSurface::PenEntry* PainterSurface::FindPen(PenHandle pen) {
    for (auto it = m_pens.rbegin(); it != m_pens.rend(); ++it) {
        if (it->handle == pen) {
            return &*it;
        }
    }
    return nullptr;
}

PenHandle PainterSurface::CreatePen(PenStyle style, int width, Colour colour) {
    // Handles count up from 1; 0 is the default pen and a wrapped counter skips live pens.
    do {
        ++m_lastHandle;
    } while (m_lastHandle == 0 || FindPen(m_lastHandle) != nullptr);
    m_pens.push_back({m_lastHandle, LookOf(style, width, colour), false});
    return m_lastHandle;
}

PenHandle PainterSurface::SelectPen(PenHandle pen) {
    const PenHandle previous = m_selected;
    const PenEntry* entry = pen == 0 ? nullptr : FindPen(pen);
    if (pen != 0 && entry == nullptr) {
        return previous; // an unknown handle changes nothing
    }
    if (pen == previous) {
        return previous;
    }
    const std::uint32_t look = entry == nullptr ? 0 : entry->look;
    // A pen deleted while it was selected goes once something else is selected.
    if (PenEntry* old = FindPen(previous); old != nullptr && old->deleteWhenDeselected) {
        *old = m_pens.back();
        m_pens.pop_back();
    }
    m_selected = pen;
    if (look != m_selectedLook) {
        m_selectedLook = look;
        m_linePenApplied = false;
    }
    return previous;
}

void PainterSurface::DeletePen(PenHandle pen) {
    PenEntry* entry = pen == 0 ? nullptr : FindPen(pen);
    if (entry == nullptr) {
        return; // the default pen, an unknown or an already deleted handle
    }
    if (pen == m_selected) {
        entry->deleteWhenDeselected = true; // keep drawing with it until replaced
        return;
    }
    *entry = m_pens.back();
    m_pens.pop_back();
}

void PainterSurface::MoveTo(int x, int y) {
    m_x = x;
    m_y = y;
}

void PainterSurface::ApplyLinePen() {
    if (!m_linePenApplied) {
        m_painter.setPen(m_looks[m_selectedLook]);
        m_linePenApplied = true;
    }
}

void PainterSurface::LineTo(int x, int y) {
    const auto visible = ClipSegment(m_x, m_y, x, y, m_visible);
    m_x = x;
    m_y = y;
    if (!visible) {
        return;
    }
    ApplyLinePen();
    // Integer coordinates name pixels; the centre of pixel (x, y) is (x + 0.5, y + 0.5),
    // so a 1-pixel line covers exactly the pixels it names at any device pixel ratio.
    const QPointF centre(0.5, 0.5);
    m_painter.drawLine(QLineF(visible->from + centre, visible->to + centre));
}

void PainterSurface::TextOut(int x, int y, std::string_view utf8) {
    // Qt draws text on its baseline; the callers give the top-left corner. Bytes that are
    // not valid UTF-8 become U+FFFD.
    m_painter.setPen(m_textPen);
    m_linePenApplied = false;
    m_painter.drawText(QPoint(x, y + m_ascent),
                       QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

void PainterSurface::SetTextColour(Colour colour) {
    m_textPen = QPen(ToQColor(colour));
}
