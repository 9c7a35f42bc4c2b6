#pragma once

#include <QColor>
#include <QImage>

#include <functional>
#include <string>

// Questions a pixel test asks of a rendered image, in the image's device pixels.
namespace image_probe {

inline bool IsWhite(QRgb pixel) {
    return (pixel & 0xFFFFFFu) == 0xFFFFFFu;
}
inline bool IsBlack(QRgb pixel) {
    return qRed(pixel) < 96 && qGreen(pixel) < 96 && qBlue(pixel) < 96;
}
inline bool IsBlue(QRgb pixel) {
    return qBlue(pixel) > 160 && qRed(pixel) < 96 && qGreen(pixel) < 96;
}
inline bool IsRed(QRgb pixel) {
    return qRed(pixel) > 160 && qGreen(pixel) < 96 && qBlue(pixel) < 96;
}

using PixelTest = std::function<bool(QRgb)>;

// How many pixels of the rectangle (x, y, width, height) pass the test.
inline int Count(const QImage& image, int x, int y, int width, int height, const PixelTest& test) {
    int count = 0;
    for (int row = y; row < y + height; ++row) {
        for (int column = x; column < x + width; ++column) {
            count += test(image.pixel(column, row)) ? 1 : 0;
        }
    }
    return count;
}

// The image as text, one character per pixel, for a failure message.
inline std::string Picture(const QImage& image, int x, int y, int width, int height) {
    std::string text;
    for (int row = y; row < y + height; ++row) {
        for (int column = x; column < x + width; ++column) {
            const QRgb pixel = image.pixel(column, row);
            text += IsWhite(pixel)   ? '.'
                    : IsBlue(pixel)  ? 'b'
                    : IsRed(pixel)   ? 'r'
                    : IsBlack(pixel) ? '#'
                                     : '+';
        }
        text += '\n';
    }
    return text;
}

inline QImage WhiteImage(int width, int height, int scale = 1) {
    QImage image(width * scale, height * scale, QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::white);
    return image;
}

} // namespace image_probe
