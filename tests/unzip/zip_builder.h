// Builds single-entry zip archives byte by byte, for the cases no zip tool
// writes on request: damaged headers, chosen host systems, attributes and
// times, extra fields, the empty-password encryption, sizes that lie.
#pragma once

#include <cstdint>
#include <string>

#include <zlib.h>

struct ZipEntryPlan {
    std::string name = "data.bin";
    std::string data;                 // the entry's unpacked contents
    uint16_t method = 8;              // 0 stored, 8 deflated; others store the bytes as they are
    uint16_t versionMadeBy = 20;      // host in the high byte (0 MS-DOS, 3 Unix)
    uint32_t externalAttributes = 0x20;
    uint32_t dosDateTime = (40u << 25) | (6u << 21) | (15u << 16) | (13u << 11) | (45u << 5) | 15u;  // 2020-06-15 13:45:30
    bool dataDescriptor = false;      // flag bit 3, with a descriptor after the data
    bool encrypt = false;             // traditional encryption with the empty password
    std::string localExtra;
    std::string centralExtra;
};

struct BuiltZip {
    std::string bytes;
    size_t localHeader = 0;           // offsets within bytes
    size_t dataStart = 0;
    size_t compressedSize = 0;
    size_t centralHeader = 0;
    size_t endRecord = 0;
};

inline void Put16(std::string& s, size_t at, uint16_t v)
{
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}

inline void Put32(std::string& s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

inline void Append16(std::string& s, uint16_t v)
{
    s.append(2, '\0');
    Put16(s, s.size() - 2, v);
}

inline void Append32(std::string& s, uint32_t v)
{
    s.append(4, '\0');
    Put32(s, s.size() - 4, v);
}

inline std::string RawDeflate(const std::string& data, int level = 6)
{
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

inline uint32_t Crc32Of(const std::string& data)
{
    return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// Traditional PKWARE encryption with the empty password.
inline std::string EncryptEmptyPassword(const std::string& plain, unsigned char checkByte)
{
    uint32_t keys[3] = {305419896u, 591751049u, 878082192u};
    const z_crc_t* table = get_crc_table();
    auto update = [&](unsigned char p) {
        keys[0] = static_cast<uint32_t>(table[(keys[0] ^ p) & 0xFF]) ^ (keys[0] >> 8);
        keys[1] = (keys[1] + (keys[0] & 0xFF)) * 134775813u + 1;
        keys[2] = static_cast<uint32_t>(table[(keys[2] ^ (keys[1] >> 24)) & 0xFF]) ^ (keys[2] >> 8);
    };
    std::string header = "0123456789a";
    header.push_back(static_cast<char>(checkByte));
    std::string out = header + plain;
    for (char& c : out) {
        const uint32_t temp = (keys[2] & 0xFFFF) | 2;
        const unsigned char p = static_cast<unsigned char>(c);
        c = static_cast<char>(p ^ ((temp * (temp ^ 1)) >> 8));
        update(p);
    }
    return out;
}

inline BuiltZip BuildZip(const ZipEntryPlan& e, const std::string& comment = std::string(),
                         const std::string& prefix = std::string())
{
    const uint32_t crc = Crc32Of(e.data);
    std::string payload = e.method == 8 ? RawDeflate(e.data) : e.data;
    uint16_t flags = 0;
    if (e.encrypt) {
        flags |= 1;
        const unsigned char check = static_cast<unsigned char>(e.dataDescriptor ? (e.dosDateTime >> 8) : (crc >> 24));
        payload = EncryptEmptyPassword(payload, check);
    }
    if (e.dataDescriptor)
        flags |= 8;

    BuiltZip z;
    std::string& s = z.bytes;
    s = prefix;
    const size_t zipStart = s.size();
    z.localHeader = s.size();
    Append32(s, 0x04034B50);
    Append16(s, 20);
    Append16(s, flags);
    Append16(s, e.method);
    Append32(s, e.dosDateTime);
    Append32(s, e.dataDescriptor ? 0 : crc);
    Append32(s, e.dataDescriptor ? 0 : static_cast<uint32_t>(payload.size()));
    Append32(s, e.dataDescriptor ? 0 : static_cast<uint32_t>(e.data.size()));
    Append16(s, static_cast<uint16_t>(e.name.size()));
    Append16(s, static_cast<uint16_t>(e.localExtra.size()));
    s += e.name;
    s += e.localExtra;
    z.dataStart = s.size();
    z.compressedSize = payload.size();
    s += payload;
    if (e.dataDescriptor) {
        Append32(s, 0x08074B50);
        Append32(s, crc);
        Append32(s, static_cast<uint32_t>(payload.size()));
        Append32(s, static_cast<uint32_t>(e.data.size()));
    }
    z.centralHeader = s.size();
    Append32(s, 0x02014B50);
    Append16(s, e.versionMadeBy);
    Append16(s, 20);
    Append16(s, flags);
    Append16(s, e.method);
    Append32(s, e.dosDateTime);
    Append32(s, crc);
    Append32(s, static_cast<uint32_t>(payload.size()));
    Append32(s, static_cast<uint32_t>(e.data.size()));
    Append16(s, static_cast<uint16_t>(e.name.size()));
    Append16(s, static_cast<uint16_t>(e.centralExtra.size()));
    Append16(s, 0);
    Append16(s, 0);
    Append16(s, 0);
    Append32(s, e.externalAttributes);
    Append32(s, static_cast<uint32_t>(z.localHeader - zipStart));
    s += e.name;
    s += e.centralExtra;
    z.endRecord = s.size();
    Append32(s, 0x06054B50);
    Append16(s, 0);
    Append16(s, 0);
    Append16(s, 1);
    Append16(s, 1);
    Append32(s, static_cast<uint32_t>(z.endRecord - z.centralHeader));
    Append32(s, static_cast<uint32_t>(z.centralHeader - zipStart));
    Append16(s, static_cast<uint16_t>(comment.size()));
    s += comment;
    return z;
}

// Offsets of fields within the headers.
constexpr size_t kLocalFlags = 6, kLocalMethod = 8, kLocalCrc = 14, kLocalCompressed = 18,
                 kLocalUncompressed = 22, kLocalNameLength = 26, kLocalExtraLength = 28;
constexpr size_t kCentralMethod = 10, kCentralCompressed = 20, kCentralUncompressed = 24;
constexpr size_t kEndThisDisk = 4, kEndDirectoryDisk = 6, kEndEntriesHere = 8, kEndEntriesTotal = 10,
                 kEndDirectoryOffset = 16;

inline void Append64(std::string& s, uint64_t v)
{
    Append32(s, static_cast<uint32_t>(v));
    Append32(s, static_cast<uint32_t>(v >> 32));
}

// Which parts of a Zip64 archive to write: the local header's and the
// central record's sizes as 0xFFFFFFFF with a Zip64 extra block (the central
// one also giving the local header's offset), and the Zip64 end record with
// its locator in front of the 32-bit end record (whose fields then say
// 0xFFFF / 0xFFFFFFFF).
struct Zip64Plan {
    bool local = true;
    bool central = true;
    bool endRecord = true;
    std::string prefix;      // bytes in front of the archive
};

// A stored or deflated entry in the Zip64 forms of the plan.
inline std::string BuildZip64(const ZipEntryPlan& e, const Zip64Plan& plan)
{
    const uint32_t crc = Crc32Of(e.data);
    const std::string payload = e.method == 8 ? RawDeflate(e.data) : e.data;
    std::string s = plan.prefix;
    const size_t zipStart = s.size();
    Append32(s, 0x04034B50);
    Append16(s, 45);
    Append16(s, 0);
    Append16(s, e.method);
    Append32(s, e.dosDateTime);
    Append32(s, crc);
    Append32(s, plan.local ? 0xFFFFFFFF : static_cast<uint32_t>(payload.size()));
    Append32(s, plan.local ? 0xFFFFFFFF : static_cast<uint32_t>(e.data.size()));
    Append16(s, static_cast<uint16_t>(e.name.size()));
    std::string localExtra = e.localExtra;
    if (plan.local) {
        Append16(localExtra, 1);
        Append16(localExtra, 16);
        Append64(localExtra, e.data.size());
        Append64(localExtra, payload.size());
    }
    Append16(s, static_cast<uint16_t>(localExtra.size()));
    s += e.name + localExtra + payload;
    const size_t central = s.size();
    Append32(s, 0x02014B50);
    Append16(s, e.versionMadeBy);
    Append16(s, 45);
    Append16(s, 0);
    Append16(s, e.method);
    Append32(s, e.dosDateTime);
    Append32(s, crc);
    Append32(s, plan.central ? 0xFFFFFFFF : static_cast<uint32_t>(payload.size()));
    Append32(s, plan.central ? 0xFFFFFFFF : static_cast<uint32_t>(e.data.size()));
    Append16(s, static_cast<uint16_t>(e.name.size()));
    std::string centralExtra = e.centralExtra;
    if (plan.central) {
        Append16(centralExtra, 1);
        Append16(centralExtra, 24);
        Append64(centralExtra, e.data.size());
        Append64(centralExtra, payload.size());
        Append64(centralExtra, 0);
    }
    Append16(s, static_cast<uint16_t>(centralExtra.size()));
    Append16(s, 0);
    Append16(s, 0);
    Append16(s, 0);
    Append32(s, e.externalAttributes);
    Append32(s, plan.central ? 0xFFFFFFFF : 0);
    s += e.name + centralExtra;
    const uint64_t directorySize = s.size() - central, directoryOffset = central - zipStart;
    if (plan.endRecord) {
        const size_t record = s.size();
        Append32(s, 0x06064B50);
        Append64(s, 44);
        Append16(s, e.versionMadeBy);
        Append16(s, 45);
        Append32(s, 0);
        Append32(s, 0);
        Append64(s, 1);
        Append64(s, 1);
        Append64(s, directorySize);
        Append64(s, directoryOffset);
        Append32(s, 0x07064B50);
        Append32(s, 0);
        Append64(s, record - zipStart);
        Append32(s, 1);
    }
    Append32(s, 0x06054B50);
    Append16(s, 0);
    Append16(s, 0);
    Append16(s, plan.endRecord ? 0xFFFF : 1);
    Append16(s, plan.endRecord ? 0xFFFF : 1);
    Append32(s, plan.endRecord ? 0xFFFFFFFF : static_cast<uint32_t>(directorySize));
    Append32(s, plan.endRecord ? 0xFFFFFFFF : static_cast<uint32_t>(directoryOffset));
    Append16(s, 0);
    return s;
}

// Offsets within BuildZip64's bytes (no prefix, no other extra fields).
inline size_t Zip64EndRecordAt(const std::string& s) { return s.size() - 22 - 20 - 56; }
