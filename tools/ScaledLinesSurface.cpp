#include "tools/ScaledLinesSurface.h"

#include <cmath>
#include <limits>

void ScaledLinesSurface::MoveTo(int x, int y) {
    PainterSurface::MoveTo(Scaled(x), Scaled(y));
}

void ScaledLinesSurface::LineTo(int x, int y) {
    PainterSurface::LineTo(Scaled(x), Scaled(y));
}

void ScaledLinesSurface::TextOut(int, int, std::string_view) {}

// A trace may run a billion pixels beyond the box; enlarged, such a coordinate is held
// at the ends of int, where the target surface still clips the line correctly.
int ScaledLinesSurface::Scaled(int coordinate) const {
    const double scaled = std::round(coordinate * m_factor);
    constexpr double kLowest = std::numeric_limits<int>::min();
    constexpr double kHighest = std::numeric_limits<int>::max();
    return static_cast<int>(scaled < kLowest ? kLowest : scaled > kHighest ? kHighest : scaled);
}
