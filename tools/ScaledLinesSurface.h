#pragma once

#include "display/DrawingSurface.h"

// Passes the lines of a drawing on to another surface with their coordinates scaled, and
// drops its texts: a thumbnail shows the plot's grid and traces, and labels would be
// illegible at its size. Lines are scaled end by end rather than by the painter, so that
// they stay one whole pixel wide: a painter scaled below 1 draws them as faint fractions
// of a pixel.
class ScaledLinesSurface : public DrawingSurface {
public:
    ScaledLinesSurface(DrawingSurface& target, double factor)
        : m_target(target), m_factor(factor) {}

    PenHandle CreatePen(PenStyle style, int width, Colour colour) override;
    PenHandle SelectPen(PenHandle pen) override;
    void DeletePen(PenHandle pen) override;
    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void TextOut(int x, int y, std::string_view utf8) override;
    void SetTextColour(Colour colour) override;

private:
    int Scaled(int coordinate) const;

    DrawingSurface& m_target;
    double m_factor;
};
