#include "zip_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <zlib.h>

namespace {

constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::uint32_t kCentralHeader = 0x02014b50;
constexpr std::uint32_t kEndRecord = 0x06054b50;
constexpr std::uint16_t kVersionNeeded = 20;                 // deflate
constexpr std::uint16_t kVersionMadeBy = (3 << 8) | 20;      // host 3: Unix
constexpr std::uint16_t kFlagUtf8 = 0x0800;
constexpr std::uint16_t kMethodDeflate = 8;
constexpr std::size_t kBlock = 1 << 16;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

void Put16(std::vector<unsigned char>& out, std::uint32_t value)
{
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void Put32(std::vector<unsigned char>& out, std::uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

std::uint32_t DosDateTime(std::time_t when)
{
    std::tm local{};
    if (!localtime_r(&when, &local) || local.tm_year < 80)
        return (1 << 21) | (1 << 16);  // 1980-01-01 00:00
    const std::uint32_t date = ((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday;
    const std::uint32_t time = (local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2);
    return (date << 16) | time;
}

struct ENTRY_FIELDS {
    std::uint16_t flags;
    std::uint32_t dosTime;
    std::uint32_t crc;
    std::uint32_t compressed;
    std::uint32_t uncompressed;
};

// The fields common to the local and the central header, from "version
// needed" to the extra field length.
void PutCommon(std::vector<unsigned char>& out, const ENTRY_FIELDS& fields, std::size_t nameLength)
{
    Put16(out, kVersionNeeded);
    Put16(out, fields.flags);
    Put16(out, kMethodDeflate);
    Put32(out, fields.dosTime);
    Put32(out, fields.crc);
    Put32(out, fields.compressed);
    Put32(out, fields.uncompressed);
    Put16(out, static_cast<std::uint32_t>(nameLength));
    Put16(out, 0);
}

bool WriteBytes(std::FILE* file, const std::vector<unsigned char>& bytes)
{
    return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

// Deflates `in` into `out`, counting and checksumming the input.
bool Deflate(std::FILE* in, std::FILE* out, ZIP_WRITE_RESULT& result, std::uint64_t& compressed, bool& readFailed)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    std::vector<unsigned char> input(kBlock), output(kBlock);
    std::uint32_t crc = crc32(0, nullptr, 0);
    bool ok = true;
    int flush = Z_NO_FLUSH;
    while (ok && flush != Z_FINISH) {
        const std::size_t got = std::fread(input.data(), 1, kBlock, in);
        if (std::ferror(in)) {
            readFailed = true;
            ok = false;
            break;
        }
        flush = got < kBlock ? Z_FINISH : Z_NO_FLUSH;
        crc = crc32(crc, input.data(), static_cast<uInt>(got));
        result.nLength += got;
        stream.next_in = input.data();
        stream.avail_in = static_cast<uInt>(got);
        do {
            stream.next_out = output.data();
            stream.avail_out = static_cast<uInt>(kBlock);
            deflate(&stream, flush);
            const std::size_t produced = kBlock - stream.avail_out;
            compressed += produced;
            if (std::fwrite(output.data(), 1, produced, out) != produced) {
                ok = false;
                break;
            }
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    result.nCrc = crc;
    return ok;
}

} // namespace

std::string FileErrorText(const std::string& what, const std::string& path)
{
    // A failure that left errno unset (a short write the C library did not
    // explain) still says what failed.
    const int code = errno;
    return what + " " + path + ": " + (code != 0 ? std::strerror(code) : "unknown error");
}

bool WriteSingleEntryZip(const std::string& archivePath, const std::string& sourcePath, const ZIP_ENTRY_SOURCE& entry,
                         ZIP_WRITE_RESULT& result, std::string& error)
{
    result = ZIP_WRITE_RESULT{};
    const std::string& name = entry.strEntryName;
    if (name.empty() || name.size() > 0xFFFF) {
        error = "entry name of unusable length: " + name;
        return false;
    }
    errno = 0;
    File in(std::fopen(sourcePath.c_str(), "rb"));
    if (!in) {
        error = FileErrorText("cannot read", sourcePath);
        return false;
    }
    File out(std::fopen(archivePath.c_str(), "wb"));
    if (!out) {
        error = FileErrorText("cannot create", archivePath);
        return false;
    }
    bool ascii = true;
    for (unsigned char c : name)
        ascii = ascii && c < 0x80;
    ENTRY_FIELDS fields{static_cast<std::uint16_t>(ascii ? 0 : kFlagUtf8), DosDateTime(entry.tModified), 0, 0, 0};

    // The local header is written first with zero sizes and completed once
    // the data is written, so that no data descriptor is needed.
    std::vector<unsigned char> local;
    Put32(local, kLocalHeader);
    PutCommon(local, fields, name.size());
    local.insert(local.end(), name.begin(), name.end());
    std::uint64_t compressed = 0;
    bool readFailed = false;
    if (!WriteBytes(out.get(), local) || !Deflate(in.get(), out.get(), result, compressed, readFailed)) {
        error = readFailed ? FileErrorText("cannot read", sourcePath) : FileErrorText("cannot write", archivePath);
        return false;
    }
    if (result.nLength > 0xFFFFFFFEu || compressed > 0xFFFFFFFEu) {
        error = "too large for a zip archive: " + sourcePath;
        return false;
    }
    fields.crc = result.nCrc;
    fields.compressed = static_cast<std::uint32_t>(compressed);
    fields.uncompressed = static_cast<std::uint32_t>(result.nLength);
    const std::uint64_t directoryStart = local.size() + compressed;

    std::vector<unsigned char> directory;
    Put32(directory, kCentralHeader);
    Put16(directory, kVersionMadeBy);
    PutCommon(directory, fields, name.size());
    Put16(directory, 0);                                    // comment length
    Put16(directory, 0);                                    // disk
    Put16(directory, 0);                                    // internal attributes
    Put32(directory, (0100000u | (entry.nMode & 07777)) << 16);  // regular file + mode
    Put32(directory, 0);                                    // local header offset
    directory.insert(directory.end(), name.begin(), name.end());
    const std::uint32_t directorySize = static_cast<std::uint32_t>(directory.size());
    Put32(directory, kEndRecord);
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, 1);
    Put16(directory, 1);
    Put32(directory, directorySize);
    Put32(directory, static_cast<std::uint32_t>(directoryStart));
    Put16(directory, 0);

    std::vector<unsigned char> patch;
    PutCommon(patch, fields, name.size());
    bool ok = WriteBytes(out.get(), directory) && std::fseek(out.get(), 4, SEEK_SET) == 0 && WriteBytes(out.get(), patch);
    ok = std::fclose(out.release()) == 0 && ok;
    if (!ok) {
        error = FileErrorText("cannot write", archivePath);
        return false;
    }
    result.nArchiveLength = directoryStart + directory.size();
    return true;
}
