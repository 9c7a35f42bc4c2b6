#pragma once

#include <string>

class QImage;

// Writes image as a PNG at output, and says why on stderr when it cannot (false).
//
// A regular file, or a name where nothing stands yet, gets the whole new image or stays as
// it was, whatever signal ends the process: the image is written into an unnamed file in
// the same folder and linked in only when complete. An existing file keeps its permission
// bits (and, where the system lets us, its owner); a symbolic link is followed and its
// target replaced, the link stays. A FIFO, a character device and "-" (standard output)
// are written straight through.
bool WritePng(const QImage& image, const std::string& output);
