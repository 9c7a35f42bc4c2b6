#pragma once

#include <cstdint>
#include <string_view>

// Colours are laid out 0x00BBGGRR: red in the low byte, blue in the third.
using Colour = std::uint32_t;

enum class PenStyle { Solid, Dotted };

// An opaque pen handle. 0 stands for the surface's default pen.
using PenHandle = std::uint32_t;

// What the drawing routines paint on: integer device pixels, origin at the top-left,
// y growing downward. Every paint gets a fresh surface with black text, the default
// font (8 pixels per half-width character), current position (0, 0) and the default pen.
class DrawingSurface {
public:
    virtual ~DrawingSurface() = default;
    // A new pen; never returns 0.
    virtual PenHandle CreatePen(PenStyle style, int width, Colour colour) = 0;
    // Makes pen the one later lines use and returns the pen selected before.
    virtual PenHandle SelectPen(PenHandle pen) = 0;
    virtual void DeletePen(PenHandle pen) = 0;
    // Sets the current position without drawing.
    virtual void MoveTo(int x, int y) = 0;
    // Draws from the current position to (x, y) with the selected pen; (x, y) becomes the
    // current position.
    virtual void LineTo(int x, int y) = 0;
    // Draws UTF-8 text with its top-left corner at (x, y) in the current text colour.
    virtual void TextOut(int x, int y, std::string_view utf8) = 0;
    // Later texts of the same paint use this colour.
    virtual void SetTextColour(Colour colour) = 0;
};
