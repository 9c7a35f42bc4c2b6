#include "tools/ScaledLinesSurface.h"

#include <cmath>
#include <limits>

PenHandle ScaledLinesSurface::CreatePen(PenStyle style, int width, Colour colour) {
    return m_target.CreatePen(style, width, colour);
}

PenHandle ScaledLinesSurface::SelectPen(PenHandle pen) {
    return m_target.SelectPen(pen);
}

void ScaledLinesSurface::DeletePen(PenHandle pen) {
    m_target.DeletePen(pen);
}

void ScaledLinesSurface::MoveTo(int x, int y) {
    m_target.MoveTo(Scaled(x), Scaled(y));
}

void ScaledLinesSurface::LineTo(int x, int y) {
    m_target.LineTo(Scaled(x), Scaled(y));
}

void ScaledLinesSurface::TextOut(int, int, std::string_view) {}

void ScaledLinesSurface::SetTextColour(Colour) {}

// A trace may run a billion pixels beyond the box; enlarged, such a coordinate is held
// at the ends of int, where the target surface still clips the line correctly.
int ScaledLinesSurface::Scaled(int coordinate) const {
    const double scaled = std::round(coordinate * m_factor);
    constexpr double kLowest = std::numeric_limits<int>::min();
    constexpr double kHighest = std::numeric_limits<int>::max();
    return static_cast<int>(scaled < kLowest ? kLowest : scaled > kHighest ? kHighest : scaled);
}
