// Read-only whole-file mappings on POSIX (open + fstat + mmap).
#include "file_mapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../base/text.h"

FileMapResult MapWholeFile(const std::wstring& path, FILE_MAPPING_VIEW* view)
{
    *view = FILE_MAPPING_VIEW{};
    // '\' separates folders, as in every path the updater composes.
    std::wstring local(path);
    for (wchar_t& c : local)
        if (c == L'\\')
            c = L'/';
    std::string os;
    if (local.find(L'\0') != std::wstring::npos || !WideToAnsi(local, os) || os.empty())
        return FileMapResult::OpenFailed;
    int fd = open(os.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return FileMapResult::OpenFailed;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        close(fd);
        return FileMapResult::OpenFailed;
    }
    view->size = static_cast<uint64_t>(st.st_size);
    if (view->size == 0) {
        close(fd);
        return FileMapResult::Empty;
    }
    // Populating the page tables up front costs less than taking one fault
    // per page during the single pass the caller makes.
    void* p = mmap(nullptr, static_cast<size_t>(view->size), PROT_READ, MAP_SHARED | MAP_POPULATE, fd, 0);
    close(fd);
    if (p == MAP_FAILED)
        return FileMapResult::MapFailed;
    madvise(p, static_cast<size_t>(view->size), MADV_SEQUENTIAL);
    view->data = static_cast<const unsigned char*>(p);
    return FileMapResult::Mapped;
}

void UnmapWholeFile(FILE_MAPPING_VIEW* view)
{
    if (view->data)
        munmap(const_cast<unsigned char*>(view->data), static_cast<size_t>(view->size));
    *view = FILE_MAPPING_VIEW{};
}
