// voq006-make-icon: enlarges one picture of the program's XPM icon by a whole factor and
// writes it as a PNG for the desktop's icon theme. Every source pixel becomes a square
// of factor x factor identical pixels, so the enlarged icon keeps the hard edges of the
// 16-colour design instead of the blur of a smooth scaler.
//
// usage: voq006-make-icon SOURCE.xpm FACTOR OUTPUT.png

#include <QImage>
#include <QImageWriter>
#include <QString>

#include <charconv>
#include <cstdio>
#include <string_view>

namespace {

// 32 x 8 = 256, the largest size the icon theme gets.
constexpr int kMaxFactor = 8;

QImage Enlarge(const QImage& source, int factor) {
    const QImage argb = source.convertToFormat(QImage::Format_ARGB32);
    QImage result(argb.width() * factor, argb.height() * factor, QImage::Format_ARGB32);
    for (int y = 0; y < result.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(argb.constScanLine(y / factor));
        auto* to = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            to[x] = from[x / factor];
        }
    }
    return result;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: voq006-make-icon SOURCE.xpm FACTOR OUTPUT.png\n", stderr);
        return 2;
    }
    const std::string_view factorText = argv[2];
    int factor = 0;
    const auto [end, error] =
        std::from_chars(factorText.data(), factorText.data() + factorText.size(), factor);
    if (error != std::errc() || end != factorText.data() + factorText.size() || factor < 1 ||
        factor > kMaxFactor) {
        std::fprintf(stderr, "voq006-make-icon: the factor must be 1 to %d\n", kMaxFactor);
        return 2;
    }

    const QImage source(QString::fromLocal8Bit(argv[1]), "XPM");
    if (source.isNull()) {
        std::fprintf(stderr, "voq006-make-icon: cannot read the XPM image %s\n", argv[1]);
        return 1;
    }
    QImageWriter writer(QString::fromLocal8Bit(argv[3]), "png");
    if (!writer.write(Enlarge(source, factor))) {
        std::fprintf(stderr, "voq006-make-icon: cannot write %s: %s\n", argv[3],
                     writer.errorString().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
