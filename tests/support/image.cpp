#include "image.h"

#include <fstream>

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

} // namespace test
