#include "tilemap.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <new>
#include <utility>

CTileMap g_map;

int TruncToInt(float v)
{
    if (!(v == v))
        return 0;
    if (v >= 2147483647.0f)
        return INT_MAX;
    if (v <= -2147483648.0f)
        return INT_MIN;
    return static_cast<int>(v);
}

namespace {

constexpr int TILE_SIZE = 32;
constexpr int SCREEN_HEIGHT = 480;
constexpr int SCREEN_COLS = 20;   // columns of one screen

// The mover's box is inset by these many pixels on each side.
constexpr float INSET_X = 5.0f;
constexpr float INSET_Y = 3.0f;

// A crossing of the box's left or right edge, in the direction of motion.
bool SweepVerticalEdge(float X0, float Y0, float X1, float Y1, float L, float T, float R, float B, SweepHit& hit)
{
    if (X1 == X0)
        return false;
    const bool right = X1 > X0;
    const float E = right ? L : R;
    const float dx = X1 - X0;
    const float dist = E - X0;
    const float u = dist / dx;
    if (!(u >= 0.0f && u <= 1.0f))
        return false;
    const float dy = Y1 - Y0;
    const float along = u * dy;
    const float Yc = Y0 + along;
    if (!(T <= Yc && Yc <= B) || !(u < hit.t))
        return false;
    hit.t = u;
    hit.side = 1;
    hit.x = right ? E - 1.0f : E + 1.0f;
    hit.y = Yc;
    return true;
}

// A crossing of the box's top or bottom edge, in the direction of motion.
bool SweepHorizontalEdge(float X0, float Y0, float X1, float Y1, float L, float T, float R, float B, SweepHit& hit)
{
    if (Y1 == Y0)
        return false;
    const bool down = Y1 > Y0;
    const float E = down ? T : B;
    const float dy = Y1 - Y0;
    const float dist = E - Y0;
    const float v = dist / dy;
    if (!(v >= 0.0f && v <= 1.0f))
        return false;
    const float dx = X1 - X0;
    const float along = v * dx;
    const float Xc = X0 + along;
    if (!(L <= Xc && Xc <= R) || !(v < hit.t))
        return false;
    hit.t = v;
    hit.side = 0;
    hit.x = Xc;
    hit.y = down ? E - 1.0f : E + 1.0f;
    return true;
}

// Reads decimal integers the way "%d" does (white space, optional sign,
// digits), but never with undefined behaviour: a value outside the int range
// counts as text that is not a number. The first failure ends the reading for
// good, so every later number is missing too.
class LevelNumberReader {
public:
    explicit LevelNumberReader(std::FILE* file) : m_file(file) {}

    bool Next(int& value)
    {
        if (m_stopped)
            return false;
        if (!Parse(value)) {
            m_stopped = true;
            return false;
        }
        return true;
    }

private:
    static bool IsSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
    static bool IsDigit(int c) { return c >= '0' && c <= '9'; }

    bool Parse(int& value)
    {
        int c = std::getc(m_file);
        while (IsSpace(c))
            c = std::getc(m_file);
        bool negative = false;
        if (c == '+' || c == '-') {
            negative = c == '-';
            c = std::getc(m_file);
        }
        if (!IsDigit(c)) {
            if (c != EOF)
                std::ungetc(c, m_file);
            return false;
        }
        long long magnitude = 0;
        while (IsDigit(c)) {
            magnitude = magnitude * 10 + (c - '0');
            if (magnitude > 2147483648LL)
                return false;
            c = std::getc(m_file);
        }
        if (c != EOF)
            std::ungetc(c, m_file);
        const long long signedValue = negative ? -magnitude : magnitude;
        if (signedValue > INT_MAX)
            return false;
        value = static_cast<int>(signedValue);
        return true;
    }

    std::FILE* m_file;
    bool m_stopped = false;
};

// Fills a layer from the next numbers; value v is stored as the low 8 bits of
// v - 1. Cells past the end of the numbers keep their initial value.
template <typename Byte>
void ReadLayer(LevelNumberReader& reader, std::vector<Byte>& layer)
{
    for (auto& cell : layer) {
        int v = 0;
        if (!reader.Next(v))
            return;
        // Conversion to a signed byte keeps the low 8 bits (modulo 256).
        cell = static_cast<Byte>((static_cast<unsigned>(v) - 1u) & 0xFFu);
    }
}

bool ReadGrid(LevelNumberReader& reader, CTileMap& map)
{
    int cols = 0;
    int rows = 0;
    if (!reader.Next(cols) || !reader.Next(rows))
        return false;
    if (cols <= 0 || rows <= 0)
        return false;
    if (static_cast<long long>(cols) * rows > LEVEL_MAX_CELLS)
        return false;
    const std::size_t cells = static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows);
    map.cols = cols;
    map.rows = rows;
    map.pictures.assign(cells, static_cast<std::int8_t>(PIC_NONE));
    map.kinds.assign(cells, TILE_EMPTY);
    ReadLayer(reader, map.pictures);
    ReadLayer(reader, map.kinds);
    return true;
}

}  // namespace

bool SweptBoxTest(float x0, float y0, float x1, float y1, const RectF& box, SweepHit& hit)
{
    const float X0 = x0 + INSET_X;
    const float Y0 = y0 + INSET_Y;
    const float X1 = x1 + INSET_X;
    const float Y1 = y1 + INSET_Y;
    const float L = box.left + 2.0f * INSET_X;
    const float T = box.top + 2.0f * INSET_Y;
    const float R = box.right;
    const float B = box.bottom;
    bool recorded = SweepVerticalEdge(X0, Y0, X1, Y1, L, T, R, B, hit);
    recorded = SweepHorizontalEdge(X0, Y0, X1, Y1, L, T, R, B, hit) || recorded;
    if (!recorded)
        return false;
    hit.x = hit.x - INSET_X;
    hit.y = hit.y - INSET_Y;
    return true;
}

void CTileMap::SetTile(int col, int row, std::uint8_t kind)
{
    if (col < 0 || col >= cols || row < 0 || row >= rows)
        return;
    const int i = Index(col, row);
    kinds[i] = kind;
    if (kind == TILE_EMPTY)
        pictures[i] = static_cast<std::int8_t>(PIC_NONE);
    else if (kind == TILE_SOLID)
        pictures[i] = static_cast<std::int8_t>(PIC_USED_BLOCK);
}

void CTileMap::ScrollBy(int dx)
{
    const long long limit = std::max(0LL, static_cast<long long>(cols - SCREEN_COLS) * TILE_SIZE);
    long long moved = static_cast<long long>(scrollX) + dx;
    if (moved > limit)
        moved = limit;
    scrollX = static_cast<int>(std::max(moved, static_cast<long long>(INT_MIN)));
}

void CTileMap::Draw() const
{
    if (tileImage == nullptr)
        return;
    // The camera never goes left of the map; should it ever, the map is drawn
    // from its left edge rather than from outside the tile sheet.
    const int scroll = std::max(scrollX, 0);
    const int firstCol = scroll / TILE_SIZE;
    const int offset = scroll - firstCol * TILE_SIZE;
    const int lastRow = std::min(rows, SCREEN_HEIGHT / TILE_SIZE);
    for (int r = 0; r < lastRow; ++r) {
        const int y = r * TILE_SIZE;
        int x = 0;
        for (int c = firstCol; c <= firstCol + SCREEN_COLS && c < cols; ++c) {
            const int p = pictures[Index(c, r)];
            BltRect src{(p % 16) * TILE_SIZE, (p / 16) * TILE_SIZE, 0, 0};
            src.right = src.left + TILE_SIZE;
            src.bottom = src.top + TILE_SIZE;
            if (c == firstCol)
                src.left += offset;
            if (c == firstCol + SCREEN_COLS)
                src.right = src.left + offset;
            if (p >= 0 && src.right > src.left)
                tileImage->BltTo(x, y, src);
            x += c == firstCol ? TILE_SIZE - offset : TILE_SIZE;
        }
    }
}

bool CTileMap::Sweep(int w, int h, float x0, float y0, float x1, float y1, SweepHit& hit) const
{
    hit.t = 2.0f;
    const float right = std::max(x0, x1) + static_cast<float>(w);
    const float bottom = std::max(y0, y1) + static_cast<float>(h);
    // Cells outside the map are skipped, so the ranges are cut to the map
    // first; this also bounds the loops for wild coordinates.
    const int colFirst = std::max(TruncToInt(std::min(x0, x1)) / TILE_SIZE, 0);
    const int colLast = std::min(TruncToInt(right) / TILE_SIZE, cols - 1);
    const int rowFirst = std::max(TruncToInt(std::min(y0, y1)) / TILE_SIZE, 0);
    const int rowLast = std::min(TruncToInt(bottom) / TILE_SIZE, rows - 1);
    for (int c = colFirst; c <= colLast; ++c) {
        for (int r = rowFirst; r <= rowLast; ++r) {
            const std::uint8_t kind = kinds[Index(c, r)];
            if (kind == TILE_EMPTY)
                continue;
            const RectF box{static_cast<float>(c * TILE_SIZE - w), static_cast<float>(r * TILE_SIZE - h),
                            static_cast<float>(c * TILE_SIZE + TILE_SIZE), static_cast<float>(r * TILE_SIZE + TILE_SIZE)};
            if (SweptBoxTest(x0, y0, x1, y1, box, hit)) {
                hit.col = c;
                hit.row = r;
                hit.kind = kind;
            }
        }
    }
    return hit.t <= 1.0f;
}

namespace {

// Bytes from the current position to the end, or -1 when the stream cannot
// tell (then only the fixed limit applies).
long RemainingBytes(std::FILE* file)
{
    const long here = std::ftell(file);
    if (here < 0 || std::fseek(file, 0, SEEK_END) != 0)
        return -1;
    const long end = std::ftell(file);
    if (std::fseek(file, here, SEEK_SET) != 0 || end < here)
        return -1;
    return end - here;
}

// Reads one list: n, then n pairs. A negative n is an empty list. A count
// that the rest of the file cannot hold (each number needs a digit and a
// separator, so a pair at least 4 bytes) is refused. When the numbers run out
// the pairs read completely so far are kept.
bool ReadEnemyList(LevelNumberReader& reader, std::FILE* file, std::vector<EnemyPos>& list)
{
    int n = 0;
    if (!reader.Next(n) || n <= 0)
        return true;
    if (n > LEVEL_MAX_ENEMIES)
        return false;
    const long remaining = RemainingBytes(file);
    if (remaining >= 0 && static_cast<long long>(n) * 4 > remaining)
        return false;
    for (int i = 0; i < n; ++i) {
        EnemyPos pos{};
        if (!reader.Next(pos.x) || !reader.Next(pos.y))
            return true;
        list.push_back(pos);
    }
    return true;
}

// Reads into a fresh map, whose camera is at 0.
bool ReadLevel(std::FILE* file, int& darkFlag, CTileMap& map, LevelEnemies& enemies)
{
    LevelNumberReader reader(file);
    if (!reader.Next(darkFlag))
        return false;
    if (!ReadGrid(reader, map))
        return false;
    return ReadEnemyList(reader, file, enemies.ghosts) && ReadEnemyList(reader, file, enemies.walkTurtles) &&
           ReadEnemyList(reader, file, enemies.flyTurtles);
}

}  // namespace

bool LoadLevelFile(const char* path, int& darkFlag, CTileMap& map, CImage* tiles, LevelEnemies& enemies)
{
    if (path == nullptr)
        return false;
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr)
        return false;
    int dark = 0;
    CTileMap loaded;
    LevelEnemies read;
    bool ok = false;
    try {
        ok = ReadLevel(file, dark, loaded, read);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    std::fclose(file);
    if (!ok)
        return false;
    darkFlag = dark;
    map.scrollX = loaded.scrollX;
    map.cols = loaded.cols;
    map.rows = loaded.rows;
    map.pictures = std::move(loaded.pictures);
    map.kinds = std::move(loaded.kinds);
    map.tileImage = tiles;
    enemies = std::move(read);
    return true;
}
