#pragma once

#include <QColor>
#include <QFont>
#include <QPen>
#include <QRectF>

#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "display/DrawingSurface.h"

class QPainter;

// A DrawingSurface over a QPainter, in the default state every paint starts from: black
// text, IPAGothic at 16 pixels (half-width characters 8 pixels wide), current position
// (0, 0) and the default pen (handle 0: black, solid, 1 pixel). Lines are not
// antialiased and are 1 device-independent pixel wide, so a HiDPI painter scales the
// whole picture. The painter's own state is saved on construction and restored on
// destruction; the caller erases the background before painting.
class PainterSurface : public DrawingSurface {
public:
    explicit PainterSurface(QPainter& painter);
    ~PainterSurface() override;
    PainterSurface(const PainterSurface&) = delete;
    PainterSurface& operator=(const PainterSurface&) = delete;

    PenHandle CreatePen(PenStyle style, int width, Colour colour) override;
    PenHandle SelectPen(PenHandle pen) override;
    void DeletePen(PenHandle pen) override;
    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void TextOut(int x, int y, std::string_view utf8) override;
    void SetTextColour(Colour colour) override;

    // The font every paint starts with.
    static QFont DefaultFont();
    // The family the default font asks for.
    static constexpr const char* kFontFamily = "IPAGothic";
    // Pens that are alive (created and not yet deleted), for tests.
    std::size_t LivePenCount() const { return m_pens.size(); }

private:
    struct PenEntry {
        QPen pen;
        bool deleteWhenDeselected{};
    };
    const QPen& SelectedPen() const;
    void ApplyLinePen();

    QPainter& m_painter;
    std::unordered_map<PenHandle, PenEntry> m_pens; // every pen but the default one
    QPen m_defaultPen;
    PenHandle m_selected{0};
    PenHandle m_lastHandle{0};
    bool m_linePenApplied{false}; // the painter holds the selected pen, not a text pen
    QColor m_textColour{Qt::black};
    int m_ascent{};
    QRectF m_visible; // the painter's device area in its logical coordinates, plus a margin
    int m_x{0}, m_y{0};
};
