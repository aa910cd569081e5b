// Arbitrary bytes as an update list file: Load, then Save of the result and
// Load of what was saved. Nothing may crash or leak; a loaded list keeps its
// invariants; a list whose required texts are not blank reads back whole.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "update_list.h"

namespace {

// TinyXML parses nested elements recursively; an input of tens of thousands
// of open tags exhausts the stack, as it would for any caller. Update lists
// come from the update server, which also supplies the programs installed, so
// such inputs are left out here rather than guarded against in Load.
constexpr size_t kMaxInput = 64 * 1024;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// Two files of this process's own in the temporary folder, removed at exit.
struct TempFiles {
    TempFiles()
    {
        std::random_device rd;
        std::filesystem::path base = std::filesystem::temp_directory_path() /
            ("update_list_fuzz_" + std::to_string(rd()) + "_" + std::to_string(rd()));
        input = base.wstring() + L".in.xml";
        output = base.wstring() + L".out.xml";
    }
    ~TempFiles()
    {
        std::error_code ec;
        std::filesystem::remove(input, ec);
        std::filesystem::remove(output, ec);
    }
    std::wstring input;
    std::wstring output;
};

template <size_t N>
bool Terminated(const char (&text)[N])
{
    return std::memchr(text, '\0', N) != nullptr;
}

template <size_t N>
bool Blank(const char (&text)[N])
{
    for (const char* p = text; *p; ++p) {
        if (!std::isspace(static_cast<unsigned char>(*p)))
            return false;
    }
    return true;
}

// Checks the invariants; returns whether every entry can be read back.
bool CheckList(CUpdateList& list)
{
    Check(Terminated(list.m_szName) && Terminated(list.m_szVersion) && Terminated(list.m_szProg) &&
        Terminated(list.m_szDown) && Terminated(list.m_szUrl));
    bool readable = true;
    size_t visited = 0;
    for (CUpdateFile* f = list.GetFirstFile(); f; f = list.GetNextFile()) {
        ++visited;
        Check(f->m_pOwner == &list);
        Check(Terminated(f->m_szFileCrc) && Terminated(f->m_szFileName) && Terminated(f->m_szFilePath) &&
            Terminated(f->m_szCompressCrc) && Terminated(f->m_szCompressName) &&
            Terminated(f->m_szCompressPath) && Terminated(f->m_szCommand) && Terminated(f->m_szCompressSha256));
        const size_t digest = std::strlen(f->m_szCompressSha256);
        Check(digest == 0 || (digest == 64 && std::strspn(f->m_szCompressSha256, "0123456789abcdef") == 64));
        Check(f->m_nCompressType == 0 || f->m_nCompressType == COMPRESS_ZIP);
        readable = readable && !Blank(f->m_szFileName) && !Blank(f->m_szFileCrc) &&
            !Blank(f->m_szCompressName) && !Blank(f->m_szCompressCrc);
    }
    Check(visited == list.m_setFiles.size());
    std::int64_t total = list.GetTotalCompressLen();
    Check(total >= 0);
    Check(CompressProgressStep(total, total) <= 65 && CompressProgressStep(0, total) >= 3);
    return readable;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TempFiles files;
    if (size > kMaxInput)
        return 0;
    std::FILE* fp = std::fopen(std::filesystem::path(files.input).c_str(), "wb");
    if (!fp)
        return 0;
    std::fwrite(data, 1, size, fp);
    std::fclose(fp);

    CUpdateList list;
    if (!list.Load(files.input)) {
        Check(list.m_setFiles.empty());
        return 0;
    }
    bool readable = CheckList(list);
    Check(list.Save(files.output));
    CUpdateList back;
    bool reloaded = back.Load(files.output);
    Check(!readable || (reloaded && back.m_setFiles.size() == list.m_setFiles.size()));
    return 0;
}
