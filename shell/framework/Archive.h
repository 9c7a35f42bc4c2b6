#pragma once

#include <string>

// What a document reads from or writes to: names the file and the direction. The
// framework opens no file itself; a document that keeps data reads or writes the named
// file in its Serialize.
class CArchive {
public:
    enum Mode { store = 0, load = 1 };

    CArchive(std::string path, Mode mode) : m_path(std::move(path)), m_mode(mode) {}

    bool IsLoading() const { return m_mode == load; }
    bool IsStoring() const { return m_mode == store; }
    const std::string& GetFilePath() const { return m_path; }

private:
    std::string m_path;
    Mode m_mode;
};
