// voq006-make-icon: writes one picture of the program's XPM icon as a PNG for the
// desktop's icon theme, pixel for pixel, so that the theme's 16 and 32 pixel sizes are
// exactly the 16-colour designs made for those sizes.
//
// usage: voq006-make-icon SOURCE.xpm OUTPUT.png

#include <QImage>
#include <QImageWriter>
#include <QString>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: voq006-make-icon SOURCE.xpm OUTPUT.png\n", stderr);
        return 2;
    }
    const QImage source(QString::fromLocal8Bit(argv[1]), "XPM");
    if (source.isNull()) {
        std::fprintf(stderr, "voq006-make-icon: cannot read the XPM image %s\n", argv[1]);
        return 1;
    }
    QImageWriter writer(QString::fromLocal8Bit(argv[2]), "png");
    if (!writer.write(source.convertToFormat(QImage::Format_ARGB32))) {
        std::fprintf(stderr, "voq006-make-icon: cannot write %s: %s\n", argv[2],
                     writer.errorString().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
