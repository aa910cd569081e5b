#include "temp_folder.h"

#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

#include <stdlib.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace test {

TempFolder::TempFolder()
{
    std::string pattern = (fs::temp_directory_path() / "tg-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()))
        m_path = pattern;
}

TempFolder::~TempFolder()
{
    if (m_path.empty())
        return;
    std::error_code code;
    // Folders a test made read-only must be writable again to be emptied.
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, code);
    for (auto it = fs::recursive_directory_iterator(m_path, code); !code && it != fs::recursive_directory_iterator();
         it.increment(code))
        if (it->is_directory(code) && !it->is_symlink(code))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, code);
    fs::remove_all(m_path, code);
}

void WriteFile(const fs::path& path, const std::string& contents, unsigned mode)
{
    if (path.has_parent_path())
        MakeFolders(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    out.close();
    ::chmod(path.c_str(), mode);
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const fs::path& path)
{
    struct stat info{};
    return ::lstat(path.c_str(), &info) == 0;
}

void MakeFolders(const fs::path& path)
{
    std::error_code code;
    fs::create_directories(path, code);
}

std::map<std::string, std::string> ReadTree(const fs::path& root)
{
    std::map<std::string, std::string> tree;
    std::error_code code;
    for (auto it = fs::recursive_directory_iterator(root, code); !code && it != fs::recursive_directory_iterator();
         it.increment(code))
        if (it->is_regular_file(code))
            tree[it->path().lexically_relative(root).string()] = ReadFile(it->path());
    return tree;
}

std::string RandomBytes(std::size_t length, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(length, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

} // namespace test
