#pragma once

#include <string>

#include "tools/PngOutput.h"

class QByteArray;

// A thumbnailer's caller may create the output file itself and, once the thumbnailer has
// exited, read the picture back through the descriptor it created it with (tumbler does).
// WritePng replaces the output with a new file as a whole, so that descriptor would still
// read the old, empty one. This holds the file that stood at the output path before the
// replacement, and afterwards fills it with the picture too, if nothing links it any more:
// the path then has the new file, and whoever still holds the old one reads the same
// picture from it.
class HeldOutputFile {
public:
    // Opens output if it is an existing regular file this process may write; else holds
    // nothing.
    explicit HeldOutputFile(const std::string& output);
    ~HeldOutputFile();
    HeldOutputFile(const HeldOutputFile&) = delete;
    HeldOutputFile& operator=(const HeldOutputFile&) = delete;

    // Writes the PNG's bytes into the held file, if the output was replaced and the held
    // file is linked nowhere else. CannotFillHeldFile, with the errno, when that failed.
    OutputOutcome FillIfReplaced(const QByteArray& png);

private:
    int m_descriptor{-1};
};
