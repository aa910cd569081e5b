#include "image.h"

#include <fstream>
#include <iterator>

namespace test {

Rgb Screenshot::At(int x, int y) const
{
    const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
    return Rgb{rgb[i], rgb[i + 1], rgb[i + 2]};
}

std::uint32_t Screenshot::Pixel(int x, int y) const
{
    const Rgb c = At(x, y);
    return (static_cast<std::uint32_t>(c.r) << 16) | (static_cast<std::uint32_t>(c.g) << 8) | static_cast<std::uint32_t>(c.b);
}

bool Screenshot::SameRegion(const Screenshot& other, int x0, int y0, int x1, int y1) const
{
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (!(At(x, y) == other.At(x, y)))
                return false;
    return true;
}

bool Screenshot::LoadPpm(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    in >> magic >> width >> height >> maxval;
    in.get();
    if (!in || magic != "P6" || maxval != 255 || width <= 0 || height <= 0)
        return false;
    rgb.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0);
    in.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    return in.good();
}

bool Screenshot::SavePpm(const std::string& path) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "P6\n" << width << " " << height << "\n255\n";
    out.write(reinterpret_cast<const char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    return out.good();
}

std::string MakeBmp(int width, int height, Rgb (*colour)(int x, int y))
{
    auto le = [](std::string& s, unsigned v, int n) {
        for (int i = 0; i < n; ++i)
            s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    const int row = (width * 3 + 3) & ~3;
    const unsigned dataSize = static_cast<unsigned>(row * height);
    std::string s = "BM";
    le(s, 54 + dataSize, 4);
    le(s, 0, 4);
    le(s, 54, 4);
    le(s, 40, 4);
    le(s, static_cast<unsigned>(width), 4);
    le(s, static_cast<unsigned>(height), 4);
    le(s, 1, 2);
    le(s, 24, 2);
    le(s, 0, 4);
    le(s, dataSize, 4);
    le(s, 2835, 4);
    le(s, 2835, 4);
    le(s, 0, 4);
    le(s, 0, 4);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const Rgb c = colour(x, y);
            s.push_back(static_cast<char>(c.b));
            s.push_back(static_cast<char>(c.g));
            s.push_back(static_cast<char>(c.r));
        }
        s.append(static_cast<std::size_t>(row - width * 3), '\0');
    }
    return s;
}

namespace {

unsigned LittleEndian(const std::string& s, std::size_t at, int bytes)
{
    unsigned v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

} // namespace

bool ReadBmp(const std::string& path, Screenshot& picture)
{
    std::ifstream in(path, std::ios::binary);
    const std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (s.size() < 54 || s.compare(0, 2, "BM") != 0 || LittleEndian(s, 28, 2) != 24 || LittleEndian(s, 30, 4) != 0)
        return false;
    const std::size_t offset = LittleEndian(s, 10, 4);
    const int width = static_cast<int>(LittleEndian(s, 18, 4));
    const int height = static_cast<int>(LittleEndian(s, 22, 4));
    const bool bottomUp = height > 0;
    const int rows = bottomUp ? height : -height;
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~static_cast<std::size_t>(3);
    if (width <= 0 || rows <= 0 || offset + stride * static_cast<std::size_t>(rows) > s.size())
        return false;
    picture.width = width;
    picture.height = rows;
    picture.rgb.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(rows) * 3, 0);
    for (int y = 0; y < rows; ++y) {
        const std::size_t row = offset + stride * static_cast<std::size_t>(bottomUp ? rows - 1 - y : y);
        for (int x = 0; x < width; ++x) {
            const std::size_t from = row + static_cast<std::size_t>(x) * 3;
            const std::size_t to =
                (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
            picture.rgb[to] = static_cast<std::uint8_t>(s[from + 2]);
            picture.rgb[to + 1] = static_cast<std::uint8_t>(s[from + 1]);
            picture.rgb[to + 2] = static_cast<std::uint8_t>(s[from]);
        }
    }
    return true;
}

} // namespace test
