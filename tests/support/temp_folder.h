// A fresh temporary folder per test, and the file helpers the suites share.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>

namespace test {

// A new folder under the system's temporary folder, removed with everything
// in it on destruction (folders a test made read-only included).
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// Writes a file (its folders made first) with the given permission bits.
void WriteFile(const std::filesystem::path& path, const std::string& contents, unsigned mode = 0644);
// The whole file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);
// True when something (also a dangling link) is at the path.
bool Exists(const std::filesystem::path& path);
void MakeFolders(const std::filesystem::path& path);
// Every regular file below a folder: relative path -> contents.
std::map<std::string, std::string> ReadTree(const std::filesystem::path& root);
// Reproducible bytes of the given length.
std::string RandomBytes(std::size_t length, unsigned seed);

} // namespace test
