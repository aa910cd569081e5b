#include "publisher.h"

#include <algorithm>
#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <vector>

#include <sys/stat.h>
#include <zlib.h>

#include "minisign_secret.h"
#include "sha256.h"
#include "text.h"
#include "update_list.h"
#include "zip_writer.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxText = 260;  // bytes of FileName and FilePath

struct SOURCE_FILE {
    fs::path path;             // absolute
    std::string strFolder;     // relative folder, '/' separated, empty at the top
    std::string strName;
};

bool CopyText(char* field, std::size_t size, const std::string& text)
{
    if (text.size() >= size)
        return false;
    std::memcpy(field, text.c_str(), text.size() + 1);
    return true;
}

std::string Backslashed(std::string text)
{
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

std::string Hex(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

bool DigestsOfFile(const std::string& path, std::uint32_t& crc, SHA256_DIGEST& sha);

// A whole small file (a key), or false with errno telling why.
bool ReadSmallFile(const std::string& path, std::string& text)
{
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    char buffer[4096];
    std::size_t got = 0;
    text.clear();
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, got);
    const bool ok = !std::ferror(file);
    const int code = errno;
    std::fclose(file);
    errno = code;
    return ok;
}

// Writes text as the whole file, or false with errno telling why.
bool WriteSmallFile(const std::string& path, const std::string& text)
{
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int code = errno;
    ok = std::fclose(file) == 0 && ok;
    if (errno == 0)
        errno = code;
    return ok;
}

// Every regular file below the folder, in a stable order; the server folder
// is left out when it lies inside.
bool CollectFiles(const fs::path& root, const fs::path& skip, std::vector<SOURCE_FILE>& files, std::string& error)
{
    std::error_code code;
    fs::recursive_directory_iterator it(root, fs::directory_options::none, code);
    for (; !code && it != fs::recursive_directory_iterator(); it.increment(code)) {
        const fs::path path = it->path();
        if (!skip.empty() && fs::equivalent(path, skip, code)) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_directory(code))
            continue;
        if (!it->is_regular_file(code)) {
            std::fprintf(stderr, "tovarin-publish: skipping %s (not a regular file)\n", path.c_str());
            continue;
        }
        const fs::path relative = path.lexically_relative(root);
        SOURCE_FILE file{path, relative.parent_path().generic_string(), relative.filename().string()};
        if (file.strName.find('\\') != std::string::npos || file.strFolder.find('\\') != std::string::npos) {
            error = "a name holds a backslash, which the list uses as its folder separator: " + relative.string();
            return false;
        }
        if (file.strName.size() > kMaxText - 4 || file.strFolder.size() > kMaxText) {
            error = "name or folder longer than the list allows: " + relative.string();
            return false;
        }
        if (file.strFolder.empty() && (file.strName == "UpdateList.xml" || file.strName == "UpdateList.xml.zip" ||
                                       file.strName == "UpdateLog.xml")) {
            error = "a top-level program file would collide with the updater's own files: " + file.strName;
            return false;
        }
        files.push_back(std::move(file));
    }
    if (code) {
        error = "cannot read the program folder " + root.string() + ": " + code.message();
        return false;
    }
    std::sort(files.begin(), files.end(), [](const SOURCE_FILE& a, const SOURCE_FILE& b) { return a.path < b.path; });
    return true;
}

bool PublishFile(const SOURCE_FILE& file, const fs::path& server, CUpdateList& list, PUBLISH_REPORT& report,
                 std::string& error)
{
    const fs::path folder = file.strFolder.empty() ? server : server / file.strFolder;
    std::error_code code;
    fs::create_directories(folder, code);
    if (code) {
        error = "cannot create " + folder.string() + ": " + code.message();
        return false;
    }
    struct stat info{};
    if (::stat(file.path.c_str(), &info) != 0) {
        error = FileErrorText("cannot read", file.path.string());
        return false;
    }
    const std::string archive = (folder / (file.strName + ".zip")).string();
    ZIP_ENTRY_SOURCE entry{file.strName, static_cast<std::uint32_t>(info.st_mode & 07777), info.st_mtime};
    ZIP_WRITE_RESULT written;
    if (!WriteSingleEntryZip(archive, file.path.string(), entry, written, error))
        return false;
    if (written.nLength > INT32_MAX || written.nArchiveLength > INT32_MAX) {
        error = "too large for the list's 32-bit lengths: " + file.path.string();
        return false;
    }
    std::uint32_t archiveCrc = 0;
    SHA256_DIGEST archiveSha{};
    if (!DigestsOfFile(archive, archiveCrc, archiveSha)) {
        error = FileErrorText("cannot read back", archive);
        return false;
    }
    CUpdateFile* item = list.AddFile();
    const std::string filePath = Backslashed(file.strFolder);
    item->m_nFileLen = static_cast<std::int64_t>(written.nLength);
    item->m_nCompressType = COMPRESS_ZIP;
    item->m_nCompressLen = static_cast<std::int64_t>(written.nArchiveLength);
    CopyText(item->m_szFileName, sizeof item->m_szFileName, file.strName);
    CopyText(item->m_szFilePath, sizeof item->m_szFilePath, filePath);
    CopyText(item->m_szFileCrc, sizeof item->m_szFileCrc, Hex(written.nCrc));
    CopyText(item->m_szCompressName, sizeof item->m_szCompressName, file.strName + ".zip");
    CopyText(item->m_szCompressPath, sizeof item->m_szCompressPath, filePath);
    CopyText(item->m_szCompressCrc, sizeof item->m_szCompressCrc, Hex(archiveCrc));
    CopyText(item->m_szCompressSha256, sizeof item->m_szCompressSha256, Sha256Hex(archiveSha));
    report.nBytes += written.nLength;
    report.nArchiveBytes += written.nArchiveLength;
    return true;
}

// The archive's CRC-32 and SHA-256, in one read.
bool DigestsOfFile(const std::string& path, std::uint32_t& crc, SHA256_DIGEST& sha)
{
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    std::vector<unsigned char> buffer(1 << 16);
    std::uint32_t value = 0;
    CSha256 hash;
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
        value = static_cast<std::uint32_t>(crc32(value, buffer.data(), static_cast<uInt>(got)));
        hash.Update(buffer.data(), got);
    }
    const bool ok = !std::ferror(file);
    std::fclose(file);
    crc = value;
    sha = hash.Final();
    return ok;
}

// Reads and opens the secret key, asking for its password when it is
// encrypted.
bool OpenSecretKey(const PUBLISH_SETTINGS& settings, MINISIGN_SECRET_KEY& key, std::string& error)
{
    const std::string& path = settings.strSecretKeyFile;
    std::string text;
    if (!ReadSmallFile(path, text)) {
        error = FileErrorText("cannot read the secret key file", path);
        return false;
    }
    MINISIGN_SECRET_KEY_FILE file;
    if (!ParseMinisignSecretKeyFile(text, file)) {
        error = "not a minisign secret key file: " + path;
        return false;
    }
    std::string password;
    if (file.bEncrypted && (!settings.readPassword || !settings.readPassword(password))) {
        error = "no password given for the encrypted secret key " + path;
        return false;
    }
    const MINISIGN_KEY_RESULT opened = OpenMinisignSecretKey(file, password, key);
    std::fill(password.begin(), password.end(), '\0');
    switch (opened) {
    case MINISIGN_KEY_RESULT::Ok:
        return true;
    case MINISIGN_KEY_RESULT::WrongPassword:
        error = "wrong password for the secret key " + path;
        return false;
    case MINISIGN_KEY_RESULT::BadKey:
        error = "the secret key file is damaged (its checksum does not match): " + path;
        return false;
    case MINISIGN_KEY_RESULT::KdfFailed:
        break;
    }
    error = "cannot derive the key of " + path + " from the password (out of memory, or limits out of bounds)";
    return false;
}

// The version goes into one tab-separated field of the trusted comment.
bool VersionFitsComment(const std::string& version)
{
    return !version.empty() && version.find_first_of(std::string("\t\r\n\0", 4)) == std::string::npos;
}

bool SignList(const MINISIGN_SECRET_KEY& key, const PUBLISH_SETTINGS& settings, const fs::path& server,
              std::string& error)
{
    const std::string archive = (server / "UpdateList.xml.zip").string();
    const std::string trusted = "timestamp:" + std::to_string(static_cast<long long>(std::time(nullptr))) +
                                "\tfile:UpdateList.xml.zip\tversion:" + settings.strVersion;
    const std::string untrusted = "signature from tovarin-publish, key " + MinisignKeyIdText(key.keyId);
    std::string text;
    errno = 0;
    if (!SignMinisignFile(key, archive, trusted, untrusted, text)) {
        error = FileErrorText("cannot sign", archive);
        return false;
    }
    const std::string signature = archive + ".minisig";
    if (!WriteSmallFile(signature, text)) {
        error = FileErrorText("cannot write", signature);
        return false;
    }
    return true;
}

bool PublishList(CUpdateList& list, const fs::path& server, PUBLISH_REPORT& report, std::string& error)
{
    const fs::path xml = server / "UpdateList.xml";
    errno = 0;
    if (!list.Save(AnsiToWide(xml.string()))) {
        error = FileErrorText("cannot write", xml.string());
        return false;
    }
    ZIP_ENTRY_SOURCE entry{"UpdateList.xml", 0644, std::time(nullptr)};
    ZIP_WRITE_RESULT written;
    const bool ok = WriteSingleEntryZip((server / "UpdateList.xml.zip").string(), xml.string(), entry, written, error);
    std::error_code code;
    fs::remove(xml, code);
    report.nArchiveBytes += written.nArchiveLength;
    return ok;
}

} // namespace

bool PublishProgramFolder(const PUBLISH_SETTINGS& settings, PUBLISH_REPORT& report, std::string& error,
                          const std::function<void(std::size_t, std::size_t, const std::string&)>& progress)
{
    // Everything the command line gives is checked before anything is written.
    report = PUBLISH_REPORT{};
    std::error_code code;
    const fs::path root = fs::canonical(settings.strProgramDir, code);
    if (code) {
        error = "not a folder: " + settings.strProgramDir + " (" + code.message() + ")";
        return false;
    }
    if (!fs::is_directory(root)) {
        error = "not a folder: " + settings.strProgramDir;
        return false;
    }
    const bool signing = !settings.strSecretKeyFile.empty();
    if (signing && !VersionFitsComment(settings.strVersion)) {
        error = "signing needs a --version without tabs or line breaks: the signature carries it";
        return false;
    }
    CUpdateList list;
    if (!settings.strVersion.empty() && !list.SetVersion(settings.strVersion.c_str())) {
        error = "version longer than 32 bytes: " + settings.strVersion;
        return false;
    }
    if (!CopyText(list.m_szName, sizeof list.m_szName, settings.strName)) {
        error = "name longer than 32 bytes: " + settings.strName;
        return false;
    }
    MINISIGN_SECRET_KEY key;
    if (signing && !OpenSecretKey(settings, key, error))
        return false;
    fs::create_directories(settings.strServerDir, code);
    const fs::path server = fs::canonical(settings.strServerDir, code);
    if (code) {
        error = "cannot create the server folder " + settings.strServerDir + ": " + code.message();
        return false;
    }
    if (root == server) {
        error = "the server folder " + settings.strServerDir + " is the program folder: it must be another one";
        return false;
    }

    std::vector<SOURCE_FILE> files;
    if (!CollectFiles(root, server, files, error))
        return false;
    for (const SOURCE_FILE& file : files) {
        if (!PublishFile(file, server, list, report, error))
            return false;
        ++report.nFiles;
        if (progress)
            progress(report.nFiles, files.size(), file.path.lexically_relative(root).string());
    }
    if (!PublishList(list, server, report, error))
        return false;
    if (!signing) {
        fs::remove(server / "UpdateList.xml.zip.minisig", code);
        return true;
    }
    if (!SignList(key, settings, server, error))
        return false;
    report.strKeyId = MinisignKeyIdText(key.keyId);
    report.strPublicKey = MinisignPublicKeyLine(MinisignPublicKeyOf(key));
    return true;
}
