// File digest: length and CRC-32 text of a file, read in blocks into a reused buffer.
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

    FILE_READER file;
    if (!OpenFileReader(path, &file))
        return FALSE;
    m_dwSize = file.size;
    // Blocks small enough to stay in the cache between the copy and the CRC,
    // large enough that a file of the usual size takes one read.
    constexpr uint64_t kBlock = 256u << 10;
    if (m_buffer.empty() && file.size > 0)
        m_buffer.resize(kBlock);
    uint32_t crc = 0;
    uint64_t done = 0;
    while (done < file.size) {
        const uint64_t want = file.size - done < kBlock ? file.size - done : kBlock;
        const int64_t got = ReadFileAt(&file, done, m_buffer.data(), static_cast<size_t>(want));
        if (got != static_cast<int64_t>(want))
            break;  // an error, or the file is shorter than it was
        crc = libdeflate_crc32(crc, m_buffer.data(), static_cast<size_t>(want));
        done += want;
        if (m_onBlockRead)
            m_onBlockRead(done);
    }
    // Only contents read whole from a file that did not change meanwhile
    // have a digest; an empty file has the CRC 0, like any other contents.
    if (done == file.size && FileReaderUnchanged(&file))
        std::swprintf(m_szCrc, 33, L"%X", static_cast<unsigned>(crc));
    CloseFileReader(&file);
    return TRUE;
}

BOOL CFileDigest::Unpack()
{
    return ExtractArchiveBeside(m_strPath);
}
