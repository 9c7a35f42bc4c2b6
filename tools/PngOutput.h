#pragma once

#include <string>

class QImage;

// Writes image as a PNG file at output. Output is then either the whole new image or, on
// false, as it was; the reason is printed on stderr.
bool WritePng(const QImage& image, const std::string& output);
