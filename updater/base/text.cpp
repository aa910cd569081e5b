#include "text.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsScalar(char32_t c)
{
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

void Append(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::wstring AnsiToWide(std::string_view text)
{
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        size_t len;
        char32_t c;
        char32_t min;
        if (b < 0x80) {
            out += static_cast<wchar_t>(b);
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            len = 2; c = b & 0x1F; min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3; c = b & 0x0F; min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4; c = b & 0x07; min = 0x10000;
        } else {
            out += static_cast<wchar_t>(kReplacement);
            ++i;
            continue;
        }
        size_t j = 1;
        for (; j < len && i + j < text.size(); ++j) {
            unsigned char cont = static_cast<unsigned char>(text[i + j]);
            if ((cont & 0xC0) != 0x80)
                break;
            c = (c << 6) | (cont & 0x3F);
        }
        if (j < len || c < min || !IsScalar(c)) {
            out += static_cast<wchar_t>(kReplacement);
            i += j;  // resynchronise at the first byte that did not continue
            continue;
        }
        out += static_cast<wchar_t>(c);
        i += len;
    }
    return out;
}

bool WideToAnsi(std::wstring_view text, std::string& out)
{
    out.clear();
    out.reserve(text.size());
    for (wchar_t w : text) {
        char32_t c = static_cast<char32_t>(w);
        if (!IsScalar(c)) {
            out.clear();
            return false;
        }
        Append(out, c);
    }
    return true;
}

std::string WideToAnsiLossy(std::wstring_view text)
{
    std::string out;
    out.reserve(text.size());
    for (wchar_t w : text) {
        char32_t c = static_cast<char32_t>(w);
        Append(out, IsScalar(c) ? c : kReplacement);
    }
    return out;
}
