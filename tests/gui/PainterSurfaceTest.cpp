#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <set>
#include <string>

#include "display/qt/PainterSurface.h"
#include "tests/gui/ImageProbe.h"

using namespace image_probe;

namespace {

constexpr Colour kBlack = 0x00000000;
constexpr Colour kBlue = 0x00FF0000;
constexpr Colour kRed = 0x000000FF;

// Paints on a fresh white image through a surface and hands back the image.
QImage Paint(int width, int height, const std::function<void(PainterSurface&)>& draw,
             int scale = 1) {
    QImage image = WhiteImage(width, height, scale);
    QPainter painter(&image);
    PainterSurface surface(painter);
    draw(surface);
    return image;
}

// A pen is alive while it can be selected: selecting a deleted or unknown pen keeps the
// pen selected before.
bool IsLive(PainterSurface& surface, PenHandle pen) {
    const PenHandle before = surface.SelectPen(pen);
    const bool live = surface.SelectPen(before) == pen;
    return live;
}

void DrawLine(DrawingSurface& surface, int x0, int y0, int x1, int y1) {
    surface.MoveTo(x0, y0);
    surface.LineTo(x1, y1);
}

} // namespace

// The plot's labels are placed for 8-pixel half-width characters; without the font the
// drawing would still appear, but misplaced, so the test says plainly what is missing.
TEST(PainterSurfaceFont, IsIpaGothicWithEightPixelHalfWidthCharacters) {
    const QFont font = PainterSurface::DefaultFont();
    ASSERT_TRUE(PainterSurface::DefaultFontLoads())
        << "the font IPAGothic is missing: install the Debian package fonts-ipafont-gothic "
           "(scripts/deps.sh does)";
    const QFontMetrics metrics(font);
    for (const char* text : {"0", "1", "5", "9", "-", ".", "a", "/"}) {
        EXPECT_EQ(metrics.horizontalAdvance(QString::fromLatin1(text)), 8) << text;
    }
    EXPECT_EQ(metrics.horizontalAdvance(QString::fromLatin1("-32768")), 48);
    EXPECT_EQ(metrics.horizontalAdvance(QString::fromUtf8("秒")), 16);
    EXPECT_EQ(metrics.horizontalAdvance(QString::fromUtf8("－")), 16);
}

TEST(PainterSurfaceDefaults, DefaultPenIsBlackSolidOnePixelFromTheOrigin) {
    // No MoveTo: the first line starts at (0, 0).
    const QImage image = Paint(40, 20, [](PainterSurface& surface) { surface.LineTo(30, 0); });
    EXPECT_EQ(Count(image, 0, 0, 31, 1, IsBlack), 31) << Picture(image, 0, 0, 40, 3);
    EXPECT_EQ(Count(image, 0, 1, 40, 19, IsWhite), 40 * 19) << Picture(image, 0, 0, 40, 3);
}

TEST(PainterSurfaceDefaults, TextIsBlackWithItsTopLeftCornerAtThePoint) {
    const QImage image =
        Paint(60, 60, [](PainterSurface& surface) { surface.TextOut(20, 30, "8"); });
    const int inside = Count(image, 20, 30, 8, 16, [](QRgb p) { return !IsWhite(p); });
    const int everywhere = Count(image, 0, 0, 60, 60, [](QRgb p) { return !IsWhite(p); });
    EXPECT_GT(inside, 10) << Picture(image, 16, 26, 16, 24);
    EXPECT_EQ(inside, everywhere) << "ink outside the character cell\n"
                                  << Picture(image, 16, 26, 16, 24);
    EXPECT_GT(Count(image, 20, 30, 8, 16, IsBlack), 5);
    // The glyph of "8" reaches near the top of its cell, not hanging above it.
    EXPECT_GT(Count(image, 20, 30, 8, 5, [](QRgb p) { return !IsWhite(p); }), 0);
}

TEST(PainterSurfaceDefaults, EveryPaintStartsAgainWithBlackText) {
    QImage image = WhiteImage(60, 40);
    QPainter painter(&image);
    {
        PainterSurface first(painter);
        first.SetTextColour(kRed);
        first.TextOut(0, 0, "8");
        first.CreatePen(PenStyle::Solid, 1, kBlue); // never deleted: the surface frees it
        first.SelectPen(first.CreatePen(PenStyle::Solid, 1, kBlue));
        first.MoveTo(50, 30);
    }
    {
        PainterSurface second(painter);
        second.TextOut(20, 0, "8");
        second.LineTo(40, 0); // from (0, 0) with the black default pen
    }
    painter.end();
    EXPECT_GT(Count(image, 0, 0, 8, 16, IsRed), 3);
    EXPECT_GT(Count(image, 20, 0, 8, 16, IsBlack), 3);
    EXPECT_EQ(Count(image, 20, 1, 8, 16, IsRed), 0) << Picture(image, 0, 0, 40, 17);
    EXPECT_EQ(Count(image, 30, 0, 11, 1, IsBlack), 11) << Picture(image, 0, 0, 44, 2);
}

TEST(PainterSurfaceDefaults, ThePaintersOwnStateComesBack) {
    QImage image = WhiteImage(20, 20);
    QPainter painter(&image);
    const QPen pen(QColor(1, 2, 3), 5);
    painter.setPen(pen);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QFont font = painter.font();
    {
        PainterSurface surface(painter);
        surface.SelectPen(surface.CreatePen(PenStyle::Dotted, 1, kBlue));
        surface.TextOut(0, 0, "x");
    }
    EXPECT_EQ(painter.pen(), pen);
    EXPECT_EQ(painter.font(), font);
    EXPECT_TRUE(painter.testRenderHint(QPainter::Antialiasing));
}

TEST(PainterSurfaceText, ColourAppliesToLaterTexts) {
    const QImage image = Paint(60, 20, [](PainterSurface& surface) {
        surface.SetTextColour(kBlue);
        surface.TextOut(0, 0, "8");
        surface.SetTextColour(kRed);
        surface.TextOut(20, 0, "8");
    });
    EXPECT_GT(Count(image, 0, 0, 8, 16, IsBlue), 3);
    EXPECT_EQ(Count(image, 0, 0, 8, 16, IsRed), 0);
    EXPECT_GT(Count(image, 20, 0, 8, 16, IsRed), 3);
    EXPECT_EQ(Count(image, 20, 0, 8, 16, IsBlue), 0);
}

TEST(PainterSurfaceText, JapaneseAndBrokenUtf8AreDrawnInTheirCells) {
    // "左" is one full-width character (16 pixels); a stray byte 0xFF becomes U+FFFD.
    const QImage image = Paint(80, 20, [](PainterSurface& surface) {
        surface.TextOut(0, 0, "左");
        surface.TextOut(40, 0, std::string_view("\xFF", 1));
    });
    const auto ink = [](QRgb p) { return !IsWhite(p); };
    EXPECT_GT(Count(image, 8, 0, 8, 17, ink), 5) << "the right half of a full-width glyph";
    EXPECT_GT(Count(image, 40, 0, 16, 17, ink), 5) << "a replacement character";
}

TEST(PainterSurfaceLines, AreNotAntialiased) {
    const QImage image = Paint(100, 100, [](PainterSurface& surface) {
        surface.SelectPen(surface.CreatePen(PenStyle::Solid, 1, kBlue));
        DrawLine(surface, 3, 5, 90, 71);
        DrawLine(surface, 90, 5, 10, 97);
    });
    const int blue = Count(image, 0, 0, 100, 100, IsBlue);
    const int white = Count(image, 0, 0, 100, 100, IsWhite);
    EXPECT_GT(blue, 150);
    EXPECT_EQ(blue + white, 100 * 100) << "blended pixels along a diagonal";
    // A shallow diagonal is one pixel thick: one pixel per column.
    for (int x = 4; x < 89; x += 7) {
        if (x >= 40 && x <= 60) {
            continue; // where the two lines cross
        }
        EXPECT_EQ(Count(image, x, 0, 1, 100, IsBlue), x < 10 ? 1 : 2) << "column " << x;
    }
}

TEST(PainterSurfaceLines, CoverTheirEndPixels) {
    const QImage image = Paint(30, 30, [](PainterSurface& surface) {
        DrawLine(surface, 5, 10, 20, 10);
        DrawLine(surface, 25, 5, 25, 20);
    });
    EXPECT_EQ(Count(image, 0, 10, 25, 1, IsBlack), 16) << Picture(image, 0, 8, 30, 4);
    EXPECT_TRUE(IsBlack(image.pixel(5, 10)));
    EXPECT_TRUE(IsBlack(image.pixel(20, 10)));
    EXPECT_EQ(Count(image, 25, 0, 1, 30, IsBlack), 16);
    EXPECT_TRUE(IsBlack(image.pixel(25, 5)));
    EXPECT_TRUE(IsBlack(image.pixel(25, 20)));
}

TEST(PainterSurfaceLines, DottedPensShowInkAndGaps) {
    const QImage image = Paint(120, 120, [](PainterSurface& surface) {
        const PenHandle dotted = surface.CreatePen(PenStyle::Dotted, 1, kBlack);
        const PenHandle previous = surface.SelectPen(dotted);
        DrawLine(surface, 10, 50, 110, 50);
        DrawLine(surface, 60, 5, 60, 45);
        surface.SelectPen(previous);
        surface.DeletePen(dotted);
    });
    const int horizontalInk = Count(image, 10, 50, 101, 1, IsBlack);
    EXPECT_GE(horizontalInk, 40) << Picture(image, 0, 48, 120, 3);
    EXPECT_LE(horizontalInk, 61) << Picture(image, 0, 48, 120, 3);
    EXPECT_EQ(Count(image, 0, 49, 120, 1, IsWhite), 120) << "a dotted line is one pixel thick";
    EXPECT_EQ(Count(image, 0, 51, 120, 1, IsWhite), 120) << "a dotted line is one pixel thick";
    // Never two inked pixels side by side, and never a gap of more than one pixel.
    for (int x = 12; x < 108; ++x) {
        const bool here = IsBlack(image.pixel(x, 50));
        const bool next = IsBlack(image.pixel(x + 1, 50));
        EXPECT_NE(here, next) << "at x " << x << "\n" << Picture(image, 0, 49, 120, 3);
    }
    const int verticalInk = Count(image, 60, 5, 1, 41, IsBlack);
    EXPECT_GE(verticalInk, 16);
    EXPECT_LE(verticalInk, 25);
}

TEST(PainterSurfaceLines, HugeCoordinatesDrawTheVisiblePart) {
    struct Case {
        const char* name;
        int x0, y0, x1, y1;
        int probeX, probeY; // a pixel the visible part covers
    };
    const Case cases[] = {
        {"trace segment far above", 99, 220, 100, -1'000'000'000, 99, 5},
        {"trace segment far below", 149, 220, 150, 1'000'000'000, 149, 300},
        {"both ends far away, diagonal", -1'000'000'000, -1'000'000'000, 1'000'000'000,
         1'000'000'000, 200, 200},
        {"int limits, horizontal", INT_MIN, 77, INT_MAX, 77, 350, 77},
        {"int limits, vertical", 333, INT_MAX, 333, INT_MIN, 333, 123},
    };
    for (const Case& c : cases) {
        const QImage image = Paint(400, 400, [&](PainterSurface& surface) {
            surface.SelectPen(surface.CreatePen(PenStyle::Solid, 1, kBlue));
            DrawLine(surface, c.x0, c.y0, c.x1, c.y1);
        });
        const int blue = Count(image, 0, 0, 400, 400, IsBlue);
        EXPECT_TRUE(IsBlue(image.pixel(c.probeX, c.probeY))) << c.name;
        EXPECT_GE(blue, 180) << c.name;
        EXPECT_LE(blue, 800) << c.name << ": a line is one pixel thick";
    }
}

TEST(PainterSurfaceLines, NearlyVerticalSegmentUpToMinusOneBillionStaysInItsColumns) {
    // A trace segment from the centre line to an offset clamped at a billion.
    const QImage image = Paint(960, 440, [](PainterSurface& surface) {
        DrawLine(surface, 499, 220, 500, -1'000'000'000);
    });
    for (int y = 0; y <= 220; y += 11) {
        EXPECT_EQ(Count(image, 499, y, 2, 1, IsBlack), 1) << "row " << y;
    }
    EXPECT_EQ(Count(image, 0, 0, 960, 440, IsBlack), 221);
}

TEST(PainterSurfaceLines, ALineWhollyOutsideDrawsNothingButMovesThePosition) {
    const QImage image = Paint(100, 100, [](PainterSurface& surface) {
        surface.MoveTo(-5000, -5000);
        surface.LineTo(-4000, 5000); // invisible
        surface.LineTo(50, 50);      // from (-4000, 5000): reaches the visible area
    });
    // The second line enters the image at about (10, 99).
    EXPECT_TRUE(IsBlack(image.pixel(50, 50)));
    EXPECT_EQ(Count(image, 0, 99, 100, 1, IsBlack), 1) << Picture(image, 0, 90, 20, 10);
    EXPECT_EQ(Count(image, 0, 0, 100, 100, IsBlack), 50);
}

TEST(PainterSurfacePens, HandlesAreNonZeroAndDistinct) {
    QImage image = WhiteImage(10, 10);
    QPainter painter(&image);
    PainterSurface surface(painter);
    std::set<PenHandle> handles;
    for (int i = 0; i < 1000; ++i) {
        const PenHandle pen =
            surface.CreatePen(i % 2 ? PenStyle::Solid : PenStyle::Dotted, 1, kRed);
        EXPECT_NE(pen, 0u);
        handles.insert(pen);
        if (i % 3 == 0) {
            surface.DeletePen(pen);
        }
    }
    EXPECT_EQ(handles.size(), 1000u);
    const auto live = std::count_if(handles.begin(), handles.end(),
                                    [&surface](PenHandle pen) { return IsLive(surface, pen); });
    EXPECT_EQ(live, 666);
}

TEST(PainterSurfacePens, SelectReturnsThePreviousPenAndDeleteReleases) {
    QImage image = WhiteImage(10, 10);
    QPainter painter(&image);
    PainterSurface surface(painter);
    const PenHandle blue = surface.CreatePen(PenStyle::Solid, 1, kBlue);
    const PenHandle red = surface.CreatePen(PenStyle::Solid, 1, kRed);
    EXPECT_EQ(surface.SelectPen(blue), 0u);
    EXPECT_EQ(surface.SelectPen(red), blue);
    EXPECT_EQ(surface.SelectPen(0), red);
    surface.DeletePen(blue);
    surface.DeletePen(red);
    EXPECT_FALSE(IsLive(surface, blue));
    EXPECT_FALSE(IsLive(surface, red));
}

TEST(PainterSurfacePens, MisuseIsHarmless) {
    const QImage image = Paint(100, 40, [](PainterSurface& surface) {
        // Unknown handles, the default pen and double deletes are ignored.
        surface.DeletePen(0);
        surface.DeletePen(12345);
        const PenHandle red = surface.CreatePen(PenStyle::Solid, 1, kRed);
        surface.DeletePen(red);
        surface.DeletePen(red);
        EXPECT_EQ(surface.SelectPen(red), 0u) << "a deleted pen cannot be selected";
        EXPECT_EQ(surface.SelectPen(999), 0u);
        DrawLine(surface, 0, 5, 90, 5); // still the default pen: black

        // The selected pen deleted: it keeps drawing until another pen replaces it.
        const PenHandle blue = surface.CreatePen(PenStyle::Solid, 1, kBlue);
        surface.SelectPen(blue);
        surface.DeletePen(blue);
        DrawLine(surface, 0, 15, 90, 15);
        EXPECT_EQ(surface.SelectPen(0), blue);
        EXPECT_EQ(surface.SelectPen(blue), 0u) << "gone once deselected";
        DrawLine(surface, 0, 25, 90, 25);
    });
    EXPECT_EQ(Count(image, 0, 5, 91, 1, IsBlack), 91);
    EXPECT_EQ(Count(image, 0, 15, 91, 1, IsBlue), 91);
    EXPECT_EQ(Count(image, 0, 25, 91, 1, IsBlack), 91);
    EXPECT_EQ(Count(image, 0, 0, 100, 40, IsRed), 0);
}

TEST(PainterSurfaceScale, DoubleDevicePixelRatioDoublesEverything) {
    const QImage image = Paint(
        60, 40,
        [](PainterSurface& surface) {
            DrawLine(surface, 5, 10, 20, 10);
            surface.TextOut(30, 10, "8");
        },
        2);
    ASSERT_EQ(image.width(), 120);
    // The line covers logical pixels 5..20 of row 10: device rows 20 and 21, columns 10..41.
    EXPECT_EQ(Count(image, 0, 20, 120, 2, IsBlack), 2 * 32) << Picture(image, 0, 18, 60, 6);
    EXPECT_EQ(Count(image, 0, 19, 120, 1, IsBlack), 0);
    EXPECT_EQ(Count(image, 0, 22, 120, 1, IsBlack), 0);
    const auto ink = [](QRgb p) { return !IsWhite(p); };
    EXPECT_GT(Count(image, 60, 20, 16, 32, ink), 40);
    EXPECT_EQ(Count(image, 60, 20, 16, 32, ink), Count(image, 50, 0, 70, 80, ink));
}
