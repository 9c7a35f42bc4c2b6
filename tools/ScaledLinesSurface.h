#pragma once

#include "display/qt/PainterSurface.h"

class QPainter;

// Paints the lines of a drawing with their coordinates scaled, and drops its texts: a
// thumbnail shows the plot's grid and traces, and labels would be illegible at its size.
// Lines are scaled end by end rather than by the painter, so that they stay one whole
// pixel wide: a painter scaled below 1 draws them as faint fractions of a pixel.
class ScaledLinesSurface : public PainterSurface {
public:
    ScaledLinesSurface(QPainter& painter, double factor)
        : PainterSurface(painter), m_factor(factor) {}

    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void TextOut(int x, int y, std::string_view utf8) override;

private:
    int Scaled(int coordinate) const;

    double m_factor;
};
