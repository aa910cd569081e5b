// The update list's FileName and FilePath come from the server: the entry
// check must never pass a text that leaves the program or download folder,
// and the URL built from them must leave the HTTP layer well-formed.
//
// A text the check passes never holds a control character either.
//
// Input: FileName, a NUL byte, FilePath.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "http_fetch.h"
#include "tovarin_thread.h"

namespace {

bool HasParentStep(const std::string& text)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '/' || text[i] == '\\') {
            if (text.compare(start, i - start, "..") == 0 && i - start == 2)
                return true;
            start = i + 1;
        }
    }
    return false;
}

bool IsAbsolute(const std::string& text)
{
    if (text.empty())
        return false;
    const bool letter = (text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z');
    return text[0] == '/' || text[0] == '\\' || (letter && text.size() > 1 && text[1] == ':');
}

bool HasControl(const std::string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F || (c == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80))
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string name = input.substr(0, split);
    const std::string path = split == std::string::npos ? std::string() : input.substr(split + 1);
    if (path.find('\0') != std::string::npos || name.size() > 260 || path.size() > 260)
        return 0;
    if (IsSafeEntryPath(name.c_str(), path.c_str())) {
        if (name.empty() || IsAbsolute(name) || IsAbsolute(path) || HasParentStep(name) || HasParentStep(path) ||
            HasControl(name) || HasControl(path))
            std::abort();
    }

    const std::string url = Tovarin::NormalizeUrl("http://h/" + path + "/" + name + ".zip?a=1");
    const std::size_t query = url.find('?');
    for (std::size_t i = 0; i < url.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(url[i]);
        if (c <= 0x20 || c >= 0x7F || c == '#' || (c == '\\' && i < query))
            std::abort();
    }
    return 0;
}
