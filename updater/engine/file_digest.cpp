// File digest: length and CRC-32 text of a file, hashed from a read-only mapping.
#include "file_digest.h"

#include <cstdio>
#include <cwchar>

#include <libdeflate.h>

#include "file_mapping.h"
#include "zip_reader.h"

uint32_t CalcCrc32(uint32_t length, const unsigned char* data)
{
    if (length == 0)
        return 0;
    return libdeflate_crc32(0, data, length);
}

CFileDigest::CFileDigest()
    : m_dwSize(0), m_szCrc{}
{
}

BOOL CFileDigest::Compute(const std::wstring& path)
{
    std::wmemset(m_szCrc, 0, 33);
    m_dwSize = 0;
    m_strPath = path;

    FILE_MAPPING_VIEW view;
    FileMapResult result = MapWholeFile(path, &view);
    if (result == FileMapResult::OpenFailed)
        return FALSE;
    m_dwSize = view.size;
    // An empty file has the CRC 0, like any other contents.
    if (result == FileMapResult::Empty) {
        m_szCrc[0] = L'0';
        return TRUE;
    }
    if (result == FileMapResult::Mapped) {
        // One pass over the view in windows, each released once hashed, so a
        // large file does not stay resident in this process as a whole.
        constexpr uint64_t kWindow = 8u << 20;
        uint32_t crc = 0;
        for (uint64_t done = 0; done < m_dwSize;) {
            uint64_t n = m_dwSize - done < kWindow ? m_dwSize - done : kWindow;
            crc = libdeflate_crc32(crc, view.data + done, static_cast<size_t>(n));
            if (m_dwSize > kWindow)
                ReleaseMappedRange(&view, done, n);
            done += n;
        }
        std::swprintf(m_szCrc, 33, L"%X", static_cast<unsigned>(crc));
        UnmapWholeFile(&view);
    }
    return TRUE;
}

BOOL CFileDigest::Unpack()
{
    return ExtractArchiveBeside(m_strPath);
}
