#pragma once

// The thumbnail voq006-render paints for a file manager.

#include <optional>
#include <string>

#include "tools/PngOutput.h"

class QImage;
struct WaveRecord;

// The plot's box of a loaded record, with its grid and traces but no text, scaled to fit
// a square of size x size pixels with its aspect kept, on white.
QImage RenderThumbnail(const WaveRecord& record, int size);

// Writes a thumbnail with WritePng, and also into the file that stood at output before,
// for a caller that reads it back through its own descriptor (see HeldOutputFile).
OutputOutcome WriteThumbnail(const QImage& image, const std::string& output,
                             const std::optional<FileIdentity>& input);

// Adds the keys of the freedesktop thumbnail standard that the file at path can give:
// its modification time (Thumb::MTime, seconds since the epoch) and its size in bytes
// (Thumb::Size). A file that cannot be examined gives none.
void AddThumbnailKeys(QImage& image, const std::string& path);
