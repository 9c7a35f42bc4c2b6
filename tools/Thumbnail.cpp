#include "tools/Thumbnail.h"

#include <QImage>
#include <QPainter>
#include <QString>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "display/WaveformPlot.h"
#include "display/qt/PainterSurface.h"
#include "tools/HeldOutputFile.h"
#include "tools/PngOutput.h"
#include "tools/RenderCommandLine.h"
#include "tools/ScaledLinesSurface.h"
#include "wave/WaveRecord.h"

namespace {

// The plot's box: its left and right edges are 840 pixels apart, its top and bottom edges
// 320, and each edge line covers the pixel it runs along.
constexpr int kBoxWidth = kWaveformColumns + 1;
constexpr int kBoxHeight = 321;
constexpr int kBoxCentre = kBoxHeight / 2;

} // namespace

QImage RenderThumbnail(const WaveRecord& record, int size) {
    // The box is wider than high, so its width sets the scale.
    const double factor = static_cast<double>(size) / kBoxWidth;
    const int height = std::max(1, static_cast<int>(std::lround(kBoxHeight * factor)));
    QImage image(size, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    {
        PainterSurface painterSurface(painter);
        ScaledLinesSurface surface(painterSurface, factor);
        DrawWaveform(surface, record, 0, kBoxCentre);
    }
    painter.end();
    return image;
}

bool WriteThumbnail(const QImage& image, const std::string& output) {
    HeldOutputFile previous(output);
    if (!WritePng(image, output)) {
        return false;
    }
    if (!previous.FillIfReplaced(image)) {
        std::fprintf(stderr, "%s: cannot write %s into the file its caller holds open\n", kProgram,
                     output.c_str());
        return false;
    }
    return true;
}

void AddThumbnailKeys(QImage& image, const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return;
    }
    image.setText(QStringLiteral("Thumb::MTime"),
                  QString::number(static_cast<long long>(status.st_mtime)));
    image.setText(QStringLiteral("Thumb::Size"),
                  QString::number(static_cast<long long>(status.st_size)));
}
