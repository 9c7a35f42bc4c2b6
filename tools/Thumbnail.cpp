#include "tools/Thumbnail.h"

#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QString>

#include <sys/stat.h>

#include <cmath>

#include "display/WaveformPlot.h"
#include "tools/HeldOutputFile.h"
#include "tools/PngOutput.h"
#include "tools/ScaledLinesSurface.h"
#include "wave/WaveRecord.h"

namespace {

// The plot's box, from its left edge to its right edge and from its top edge to its bottom
// edge, in pixels; each edge line covers the pixel it runs along.
constexpr int kBoxSpan = kWaveformColumns;
constexpr int kBoxHeightSpan = kWaveformHeight;
constexpr int kBoxCentre = kBoxHeightSpan / 2;

} // namespace

QImage RenderThumbnail(const WaveRecord& record, int size) {
    // The box is wider than high, so its width sets the scale: the left edge lands on the
    // first column of pixels and the right edge on the last.
    const double factor = static_cast<double>(size - 1) / kBoxSpan;
    const int height = static_cast<int>(std::lround(kBoxHeightSpan * factor)) + 1;
    QImage image(size, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    {
        ScaledLinesSurface surface(painter, factor);
        DrawWaveform(surface, record, 0, kBoxCentre);
    }
    painter.end();
    return image;
}

OutputOutcome WriteThumbnail(const QImage& image, const std::string& output,
                             const std::optional<FileIdentity>& input) {
    HeldOutputFile previous(output);
    QByteArray png;
    if (OutputOutcome written = WritePng(image, output, input, png); !written.Written()) {
        return written;
    }
    return previous.FillIfReplaced(png);
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
