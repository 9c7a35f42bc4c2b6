#pragma once

#include <QFont>
#include <QPen>
#include <QRectF>

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

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
    // The picture is laid out for IPAGothic's glyphs, 8 pixels wide for a half-width
    // character and 16 for a full-width one. false when the default font resolves to
    // another face (the font is not installed) or does not load (fontconfig or FreeType
    // short of memory): the labels would be misplaced. The face is recognised by the
    // family names its file records, whatever language the user reads.
    static bool DefaultFontLoads();

private:
    // A live pen: its handle and the index of its look in m_looks.
    struct PenEntry {
        PenHandle handle;
        std::uint32_t look;
        bool deleteWhenDeselected;
    };
    PenEntry* FindPen(PenHandle pen);
    std::uint32_t LookOf(PenStyle style, int width, Colour colour);
    void ApplyLinePen();

    QPainter& m_painter;
    // The routines create, select and delete a pen for every segment, so pens are cheap
    // here: each distinct look is built once as a QPen, and a live pen only names it.
    // Live pens are few (the routines hold at most two at a time), so a vector searched
    // from its end is the fastest map from handle to pen.
    std::vector<QPen> m_looks; // m_looks[0] is the default pen
    std::unordered_map<std::uint64_t, std::uint32_t> m_lookIndex;
    std::vector<PenEntry> m_pens; // every live pen but the default one
    PenHandle m_selected{0};
    std::uint32_t m_selectedLook{0};
    PenHandle m_lastHandle{0};
    bool m_linePenApplied{false}; // the painter holds the selected pen, not the text pen
    QPen m_textPen{Qt::black};
    int m_ascent{};
    QRectF m_visible; // the painter's device area in its logical coordinates, plus a margin
    int m_x{0}, m_y{0};
};
