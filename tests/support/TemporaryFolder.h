#pragma once

#include <filesystem>
#include <string>

// A fresh folder under the system's temporary directory, removed with everything in it
// when the object goes out of scope.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // The path of a file named name inside the folder (the file is not created).
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};
