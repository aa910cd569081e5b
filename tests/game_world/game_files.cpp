#include "game_files.h"

#include <filesystem>
#include <fstream>

TempFolder::TempFolder()
{
    namespace fs = std::filesystem;
    m_dir = m_folder.Path().string();
    fs::create_directories(m_folder / "level");
    m_previous = fs::current_path().string();
    fs::current_path(m_folder.Path());
}

TempFolder::~TempFolder()
{
    std::error_code ec;
    std::filesystem::current_path(m_previous, ec);
}

std::string TempFolder::Path(const std::string& name) const
{
    return m_dir + "/" + name;
}

void TempFolder::Write(const std::string& name, const std::string& bytes) const
{
    std::ofstream out(Path(name), std::ios::binary);
    out << bytes;
}

namespace {
void PutLe(std::string& s, unsigned v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
}  // namespace

std::string MakePalette(const char* magic, const char* form, const char* chunk, unsigned version,
                        unsigned count, int entries)
{
    std::string s;
    s.append(magic, 4);
    PutLe(s, 4 + 8 + 4 + 4 * static_cast<unsigned>(entries), 4);
    s.append(form, 4);
    s.append(chunk, 4);
    PutLe(s, 4 + 4 * static_cast<unsigned>(entries), 4);
    PutLe(s, version, 2);
    PutLe(s, count, 2);
    for (int i = 0; i < entries; ++i) {
        s.push_back(static_cast<char>(i));
        s.push_back(static_cast<char>(255 - i));
        s.push_back(static_cast<char>(i / 2));
        s.push_back(0);
    }
    return s;
}

std::string MakeLevel(int dark, int cols, int rows)
{
    std::string s = std::to_string(dark) + "\n" + std::to_string(cols) + " " + std::to_string(rows) + "\n";
    for (int layer = 0; layer < 2; ++layer)
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c)
                s += (r == rows - 1) ? "1 " : "0 ";
            s += "\n";
        }
    s += "0\n0\n0\n";
    return s;
}
