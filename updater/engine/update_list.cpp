#include "update_list.h"

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

#include <tinyxml.h>

#include "text.h"

namespace {

// Base-10 string-to-long semantics, saturating at the signed 32-bit limits:
// leading white space skipped, optional sign, stops at the first non-digit,
// no digits give 0.
std::int32_t ReadDecimal(const char* text)
{
    long long value = std::strtoll(text, nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

bool Fits(const char* text, size_t capacity)
{
    return std::strlen(text) < capacity;
}

// Copies a NUL-terminated text into a field; a text that does not fit is
// refused and the field left as it was.
template <size_t N>
bool CopyText(char (&field)[N], const char* text)
{
    if (!Fits(text, N))
        return false;
    std::memcpy(field, text, std::strlen(text) + 1);
    return true;
}

const char* ChildText(const TiXmlElement* parent, const char* name)
{
    const TiXmlElement* child = parent->FirstChildElement(name);
    return child ? child->GetText() : nullptr;
}

// A required child with text, copied into its field.
template <size_t N>
bool CopyRequired(char (&field)[N], const TiXmlElement* parent, const char* name)
{
    const char* text = ChildText(parent, name);
    return text && CopyText(field, text);
}

// An optional child: absent, or present without text, leaves the field as it
// is; a text that does not fit still fails.
template <size_t N>
bool CopyOptional(char (&field)[N], const TiXmlElement* parent, const char* name)
{
    const char* text = ChildText(parent, name);
    return !text || CopyText(field, text);
}

// A digest given in any other form than 64 lowercase hex digits is a broken
// list, refused like a text too long for its field, rather than taken as
// "no digest": the entry is not read with a value silently dropped.
bool CopyOptionalSha256(char (&field)[65], const TiXmlElement* parent)
{
    const char* text = ChildText(parent, "CompressSha256");
    if (!text)
        return true;
    for (int i = 0; i < 64; ++i) {
        const char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return CopyText(field, text);
}

// A length is a count of bytes: a text that is not one (negative, not a
// number, too large) is a broken list, refused like a missing child.
bool ReadRequiredLength(std::int64_t& field, const TiXmlElement* parent, const char* name)
{
    const char* text = ChildText(parent, name);
    return text && ReadLength(text, field);
}

void AppendTextChild(TiXmlElement* parent, const char* name, const char* text)
{
    auto* child = new TiXmlElement(name);
    child->LinkEndChild(new TiXmlText(text));
    parent->LinkEndChild(child);
}

void AppendDecimalChild(TiXmlElement* parent, const char* name, std::int64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "%" PRId64, value);
    AppendTextChild(parent, name, text);
}

void SetTextAttribute(TiXmlElement* element, const char* name, const char* text)
{
    if (text[0] != '\0')
        element->SetAttribute(name, text);
}

const TiXmlElement* FirstElement(const TiXmlDocument& doc)
{
    for (const TiXmlNode* node = doc.FirstChild(); node; node = node->NextSibling()) {
        if (const TiXmlElement* element = node->ToElement())
            return element;
    }
    return nullptr;
}

// TinyXML's SaveFile(const char*) ignores the result of fclose, so a write
// error that shows only when the buffer is flushed (a full disk) would count
// as success. The file is opened here instead, TinyXML writes it through
// SaveFile(FILE*), and the flush and the close are checked.
bool WriteDocument(const TiXmlDocument& doc, const std::string& path)
{
    std::FILE* fp = std::fopen(path.c_str(), "w");
    if (!fp)
        return false;
    bool written;
    try {
        written = doc.SaveFile(fp);
    } catch (const std::bad_alloc&) {
        written = false;
    }
    written = std::fflush(fp) == 0 && written;
    written = std::fclose(fp) == 0 && written;
    return written;
}

// Hostile bytes that the parser must never see:
// - TinyXML parses nested elements recursively, so a document nested tens of
//   thousands deep (a hundred kilobytes from a hostile server) would overflow
//   the stack. Lists are three levels deep; anything nested deeper than
//   kMaxNesting is refused. Markup inside comments or CDATA may be counted as
//   nesting too, which only errs on the side of refusing.
// - In a document it takes for UTF-8, TinyXML steps over a multibyte
//   character by its lead byte alone and can run past the end of its buffer
//   on a malformed or cut-off sequence. Narrow text is UTF-8 on this
//   platform, so a list that is not valid UTF-8 is refused outright.
constexpr int kMaxNesting = 256;

bool ValidUtf8(const std::string& bytes)
{
    size_t i = 0;
    while (i < bytes.size()) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        size_t len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
        if (len == 0 || i + len > bytes.size())
            return false;
        unsigned cp = len == 1 ? b : b & (0x7F >> len);
        for (size_t k = 1; k < len; ++k) {
            unsigned char c = static_cast<unsigned char>(bytes[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        static const unsigned kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

bool NestingWithinLimit(const std::string& bytes)
{
    int depth = 0;
    for (size_t i = 1; i < bytes.size(); ++i) {
        char prev = bytes[i - 1];
        char c = bytes[i];
        if (prev == '<') {
            if (c == '/')
                --depth;
            else if (c != '?' && c != '!' && ++depth > kMaxNesting)
                return false;
        } else if (prev == '/' && c == '>') {
            --depth;
        }
    }
    return true;
}

bool SafeToParse(const std::string& narrow)
{
    std::FILE* fp = std::fopen(narrow.c_str(), "rb");
    if (!fp)
        return false;
    std::string bytes;
    char block[8192];
    for (size_t n; (n = std::fread(block, 1, sizeof block, fp)) > 0;)
        bytes.append(block, n);
    bool readOk = !std::ferror(fp);
    std::fclose(fp);
    return readOk && ValidUtf8(bytes) && NestingWithinLimit(bytes);
}

// TinyXML reads a file by seeking to its end and allocating that many bytes;
// a folder or a device reports a bogus size there and makes it throw. Only
// regular files are handed to it, and any allocation failure on a huge file
// is caught here.
bool ParseFile(TiXmlDocument& doc, const std::string& narrow)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(narrow), ec))
        return false;
    if (!SafeToParse(narrow))
        return false;
    try {
        return doc.LoadFile(narrow.c_str());
    } catch (...) {
        return false;
    }
}

}  // namespace

void CUpdateFile::Reset()
{
    CUpdateList* owner = m_pOwner;
    *this = CUpdateFile();
    m_pOwner = owner;
}

bool CUpdateFile::ReadXml(const TiXmlElement* element)
{
    if (!element)
        return false;
    if (const char* status = element->Attribute("status"))
        m_nStatus = ReadDecimal(status);
    if (!CopyRequired(m_szFileName, element, "FileName"))
        return false;
    if (!CopyOptional(m_szFilePath, element, "FilePath"))
        return false;
    if (!CopyRequired(m_szFileCrc, element, "FileCrc"))
        return false;
    if (!ReadRequiredLength(m_nFileLen, element, "FileLen"))
        return false;
    const TiXmlElement* type = element->FirstChildElement("CompressType");
    if (!type)
        return false;
    if (type->GetText() && std::strcmp(type->GetText(), "zip") == 0)
        m_nCompressType = COMPRESS_ZIP;
    if (!CopyRequired(m_szCompressName, element, "CompressName"))
        return false;
    if (!CopyOptional(m_szCompressPath, element, "CompressPath"))
        return false;
    if (!CopyRequired(m_szCompressCrc, element, "CompressCrc"))
        return false;
    if (!ReadRequiredLength(m_nCompressLen, element, "CompressLen"))
        return false;
    if (!CopyOptional(m_szCommand, element, "Command"))
        return false;
    if (!CopyOptionalSha256(m_szCompressSha256, element))
        return false;
    // The child element overrides the attribute read first.
    if (const char* status = ChildText(element, "status"))
        m_nStatus = ReadDecimal(status);
    return true;
}

bool CUpdateFile::WriteXml(TiXmlElement* element) const
{
    if (!element)
        return false;
    AppendTextChild(element, "FileName", m_szFileName);
    AppendTextChild(element, "FilePath", m_szFilePath);
    AppendTextChild(element, "FileCrc", m_szFileCrc);
    AppendDecimalChild(element, "FileLen", m_nFileLen);
    AppendTextChild(element, "CompressType", "zip");  // whatever m_nCompressType holds
    AppendTextChild(element, "CompressName", m_szCompressName);
    AppendTextChild(element, "CompressPath", m_szCompressPath);
    AppendTextChild(element, "CompressCrc", m_szCompressCrc);
    AppendDecimalChild(element, "CompressLen", m_nCompressLen);
    if (m_szCommand[0] != '\0')
        AppendTextChild(element, "Command", m_szCommand);
    if (m_szCompressSha256[0] != '\0')
        AppendTextChild(element, "CompressSha256", m_szCompressSha256);
    if (m_nStatus != 0)
        element->SetAttribute("status", m_nStatus);
    return true;
}

CUpdateList::CUpdateList()
    : m_itCursor(m_setFiles.end())
{
    Clear();
}

CUpdateList::~CUpdateList()
{
    Clear();
}

void CUpdateList::Clear()
{
    m_nStatus = 0;
    m_szName[0] = '\0';
    m_szVersion[0] = '\0';
    m_szProg[0] = '\0';
    m_szDown[0] = '\0';
    m_szUrl[0] = '\0';
    for (CUpdateFile* file : m_setFiles)
        delete file;
    m_setFiles.clear();
    m_itCursor = m_setFiles.end();
}

bool CUpdateList::SetVersion(const char* text)
{
    return text && CopyText(m_szVersion, text);
}

CUpdateFile* CUpdateList::AddFile()
{
    auto* file = new CUpdateFile;
    file->Reset();
    file->m_pOwner = this;
    m_setFiles.insert(file);
    return file;
}

bool CUpdateList::RemoveFile(CUpdateFile* file)
{
    if (!file || file->m_pOwner != this)
        return false;
    auto it = m_setFiles.find(file);
    if (it == m_setFiles.end())
        return false;
    if (it == m_itCursor)
        ++m_itCursor;
    m_setFiles.erase(it);
    delete file;
    return true;
}

CUpdateFile* CUpdateList::GetFirstFile()
{
    m_itCursor = m_setFiles.begin();
    return GetNextFile();
}

CUpdateFile* CUpdateList::GetNextFile()
{
    if (m_itCursor == m_setFiles.end())
        return nullptr;
    return *m_itCursor++;
}

std::int64_t CUpdateList::GetTotalCompressLen() const
{
    std::int64_t total = 0;
    for (const CUpdateFile* file : m_setFiles) {
        if (file->m_nCompressLen <= 0)
            continue;
        if (file->m_nCompressLen >= INT64_MAX - total)
            return INT64_MAX;
        total += file->m_nCompressLen;
    }
    return total;
}

// Software attributes that are present replace their fields. An attribute too
// long for its field fails the load before any field changes: the list is
// left as it was, as for a file without Software, rather than carrying on
// with a value silently dropped or cut.
bool CUpdateList::ReadSoftware(const TiXmlElement* software)
{
    const char* name = software->Attribute("name");
    const char* version = software->Attribute("version");
    const char* prog = software->Attribute("prog");
    const char* down = software->Attribute("down");
    const char* url = software->Attribute("url");
    const char* status = software->Attribute("status");
    if ((name && !Fits(name, sizeof m_szName)) || (version && !Fits(version, sizeof m_szVersion)) ||
        (prog && !Fits(prog, sizeof m_szProg)) || (down && !Fits(down, sizeof m_szDown)) ||
        (url && !Fits(url, sizeof m_szUrl)))
        return false;
    if (name)
        CopyText(m_szName, name);
    if (version)
        SetVersion(version);
    if (prog)
        CopyText(m_szProg, prog);
    if (down)
        CopyText(m_szDown, down);
    if (url)
        CopyText(m_szUrl, url);
    if (status)
        m_nStatus = ReadDecimal(status);
    return true;
}

// The first File child, then every following sibling element whatever its
// name, is one entry. An invalid entry empties the whole list.
bool CUpdateList::ReadFiles(const TiXmlElement* software)
{
    const TiXmlElement* element = software->FirstChildElement("File");
    try {
        for (; element; element = element->NextSiblingElement()) {
            if (!AddFile()->ReadXml(element)) {
                Clear();
                return false;
            }
        }
    } catch (const std::bad_alloc&) {
        Clear();
        return false;
    }
    return true;
}

// Load does not clear the list: Software values found replace the fields, the
// others stay, and the entries read join those already held.
//
// The file is parsed with TinyXML's default encoding handling. Our files
// declare "gbk", which TinyXML does not know; it then reads every byte as it
// is, so UTF-8 text passes through unchanged. (A numeric character reference
// above 255 in such a file is cut to one byte by TinyXML; Save never writes
// one.) TinyXML also condenses white space in element text: a run of white
// space becomes one space and leading and trailing white space is dropped.
bool CUpdateList::Load(const std::wstring& path)
{
    try {
        std::string narrow;
        if (!WideToAnsi(path, narrow))
            return false;
        TiXmlDocument doc;
        if (!ParseFile(doc, narrow))
            return false;
        const TiXmlElement* root = FirstElement(doc);
        if (!root)
            return false;
        const TiXmlElement* software = root->FirstChildElement("Software");
        if (!software)
            return false;
        if (!ReadSoftware(software))
            return false;
        return ReadFiles(software);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// The declaration says "gbk" as the format requires; the text is written as
// it is held, UTF-8 here, which TinyXML passes through unchanged on Load.
bool CUpdateList::Save(const std::wstring& path) const
{
    try {
        std::string narrow;
        if (!WideToAnsi(path, narrow))
            return false;
        TiXmlDocument doc;
        BuildDocument(doc);
        return WriteDocument(doc, narrow);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void CUpdateList::BuildDocument(TiXmlDocument& doc) const
{
    doc.LinkEndChild(new TiXmlDeclaration("1.0", "gbk", "yes"));
    auto* root = new TiXmlElement("UpdateConfig");
    root->SetAttribute("version", "1.0");
    doc.LinkEndChild(root);
    auto* software = new TiXmlElement("Software");
    SetTextAttribute(software, "name", m_szName);
    SetTextAttribute(software, "version", m_szVersion);
    SetTextAttribute(software, "prog", m_szProg);
    SetTextAttribute(software, "down", m_szDown);
    SetTextAttribute(software, "url", m_szUrl);
    if (m_nStatus != 0)
        software->SetAttribute("status", m_nStatus);
    root->LinkEndChild(software);
    // Iteration order, without moving the cursor: Save leaves the list as it is.
    for (const CUpdateFile* file : m_setFiles) {
        auto* element = new TiXmlElement("File");
        file->WriteXml(element);
        software->LinkEndChild(element);
    }
}

int CompressProgressStep(std::int64_t done, std::int64_t total)
{
    if (total <= 0)
        return 3;
    if (done < 0)
        done = 0;
    if (done >= total)
        return 65;
    // floor(done * 62 / total) by adding done 62 times to a remainder kept
    // below total; remainder + done < 2 * total fits unsigned 64 bits.
    const std::uint64_t d = static_cast<std::uint64_t>(done);
    const std::uint64_t t = static_cast<std::uint64_t>(total);
    std::uint64_t remainder = 0;
    int quotient = 0;
    for (int i = 0; i < 62; ++i) {
        remainder += d;
        if (remainder >= t) {
            remainder -= t;
            ++quotient;
        }
    }
    return 3 + quotient;
}

bool ReadLength(const char* text, std::int64_t& value)
{
    if (!text)
        return false;
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    const char* p = text;
    while (space(*p))
        ++p;
    if (*p < '0' || *p > '9')
        return false;
    std::int64_t result = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        const int digit = *p - '0';
        if (result > (INT64_MAX - digit) / 10)
            return false;
        result = result * 10 + digit;
    }
    while (space(*p))
        ++p;
    if (*p != '\0')
        return false;
    value = result;
    return true;
}
