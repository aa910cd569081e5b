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

namespace {

struct CellLegend {
    char glyph;
    int picture;   // -1: none
    int kind;      // the collision layer's byte; 255: empty
};
constexpr CellLegend LEGEND[] = {
    {'#', 1, 0}, {'=', 3, 0}, {'X', 6, 0}, {'B', 7, 1}, {'C', 8, 2}, {'P', 9, 3}, {'U', 18, 0},
};

const CellLegend* Legend(char glyph)
{
    for (const CellLegend& l : LEGEND)
        if (l.glyph == glyph)
            return &l;
    return nullptr;
}

}  // namespace

std::string LevelFromRows(const std::vector<std::string>& given, int dark)
{
    constexpr int ROWS = 15;
    const std::size_t cols = given.empty() ? 0 : given.front().size();
    std::vector<std::string> rows(given.size() < ROWS ? ROWS - given.size() : 0, std::string(cols, '.'));
    rows.insert(rows.end(), given.begin(), given.end());
    std::string pictures;
    std::string kinds;
    std::string enemies[3];   // ghosts, turtles, winged turtles
    int counts[3] = {};
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < cols; ++c) {
            const char glyph = c < rows[r].size() ? rows[r][c] : '.';
            const CellLegend* l = Legend(glyph);
            pictures += std::to_string(l != nullptr ? l->picture + 1 : 0) + " ";
            kinds += std::to_string(l != nullptr ? (l->kind + 1) % 256 : 0) + " ";
            const int list = glyph == 'g' ? 0 : glyph == 't' ? 1 : glyph == 'w' ? 2 : -1;
            if (list < 0)
                continue;
            const int x = static_cast<int>(c) * 32;
            const int y = static_cast<int>(r) * 32 - (list == 0 ? 0 : 16);
            enemies[list] += " " + std::to_string(x) + " " + std::to_string(y);
            ++counts[list];
        }
        pictures += "\n";
        kinds += "\n";
    }
    std::string s = std::to_string(dark) + "\n" + std::to_string(cols) + " " + std::to_string(rows.size()) + "\n";
    s += pictures + kinds;
    for (int i = 0; i < 3; ++i)
        s += std::to_string(counts[i]) + enemies[i] + "\n";
    return s;
}
