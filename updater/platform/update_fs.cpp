// Linux implementation of the worker's file, folder and process operations.
#include "update_fs.h"

#include "text.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

extern char** environ;

namespace Tovarin {
namespace {

std::string Narrow(const std::wstring& path)
{
    return WideToAnsiLossy(path);
}

// The permission bits an installed file may have: what the source has,
// without write access for others and without the set-id and sticky bits.
constexpr mode_t kInstallModes = 0775;

// Temporary name for a copy onto `target`: hidden, in the target's folder,
// fixed per target so that a copy interrupted by a crash is overwritten by
// the next copy to the same target instead of piling up.
std::string TempNameFor(const std::string& target)
{
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.size() <= 200)
        return folder + "." + name + ".tovarin-new";
    unsigned long hash = 5381;
    for (unsigned char c : name)
        hash = hash * 33 + c;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, ".tovarin-%016lx.new", hash);
    return folder + buffer;
}

bool WriteAll(int fd, const unsigned char* data, std::size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

// Copies through the kernel where it can (no pass through user memory),
// else by blocks.
bool CopyContents(int in, int out)
{
    for (;;) {
        const ssize_t moved = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (moved == 0)
            return true;
        if (moved < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
                return false;
            break;
        }
    }
    static constexpr std::size_t kBlock = 1 << 16;
    unsigned char buffer[kBlock];
    for (;;) {
        const ssize_t got = ::read(in, buffer, kBlock);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            return true;
        if (!WriteAll(out, buffer, static_cast<std::size_t>(got)))
            return false;
    }
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

bool SyncFolderNamed(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Writes the source's content into `temp`, created anew (a stale file of that
// name is replaced), with the install's permission bits. With `link` the
// temporary name becomes a second name of the source where the file system
// allows it, and nothing is copied. Not synced.
bool WriteTemporary(int in, const struct stat& info, const std::string& source, const std::string& temp, bool link)
{
    const mode_t mode = info.st_mode & kInstallModes;
    if (::unlink(temp.c_str()) != 0 && errno != ENOENT)
        return false;
    if (link && ::link(source.c_str(), temp.c_str()) == 0) {
        if (::fchmod(in, mode) == 0)
            return true;
        ::unlink(temp.c_str());
        return false;
    }
    const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0)
        return false;
    bool ok = CopyContents(in, out);
    ok = ok && ::fchmod(out, mode) == 0;
    ok = ::close(out) == 0 && ok;
    if (!ok) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
    }
    return ok;
}

// Opens a regular file to copy from; -1 otherwise.
int OpenSource(const std::string& source, struct stat& info)
{
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return -1;
    if (::fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(in);
        return -1;
    }
    return in;
}

// The canonical absolute form of a path that exists; empty when it cannot
// be resolved.
std::string Resolve(const std::string& path)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        return std::string();
    std::string result(resolved);
    std::free(resolved);
    return result;
}

// True when `outer` is `inner` or one of its ancestors (both canonical).
bool Contains(const std::string& outer, const std::string& inner)
{
    if (outer.empty() || inner.empty())
        return false;
    if (outer == "/" || outer == inner)
        return true;
    return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 && inner[outer.size()] == '/';
}

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    const struct passwd* entry = ::getpwuid(::getuid());
    return entry && entry->pw_dir ? entry->pw_dir : std::string();
}

// A mount point: its device differs from its parent's, or it is its own
// parent.
bool IsFileSystemRoot(const std::string& canonical)
{
    if (canonical == "/")
        return true;
    struct stat self{}, parent{};
    if (::stat(canonical.c_str(), &self) != 0 || ::stat((canonical + "/..").c_str(), &parent) != 0)
        return true;
    return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

// Removes everything below the open folder `fd`, then nothing else. Symbolic
// links are removed, never followed.
bool RemoveContents(int fd)
{
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    bool ok = true;
    while (const struct dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        struct stat info{};
        if (::fstatat(::dirfd(dir), name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            const int child = ::openat(::dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child < 0 || !RemoveContents(child) || ::unlinkat(::dirfd(dir), name, AT_REMOVEDIR) != 0)
                ok = false;
        } else if (::unlinkat(::dirfd(dir), name, 0) != 0) {
            ok = false;
        }
    }
    ::closedir(dir);
    return ok;
}

} // namespace

bool CopyFileReplace(const std::wstring& from, const std::wstring& to)
{
    const std::string source = Narrow(from);
    const std::string target = Narrow(to);
    struct stat info{};
    const int in = OpenSource(source, info);
    if (in < 0)
        return false;
    const std::string temp = TempNameFor(target);
    bool ok = WriteTemporary(in, info, source, temp, false);
    ::close(in);
    if (ok) {
        const int out = ::open(temp.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        ok = out >= 0 && ::fsync(out) == 0;
        if (out >= 0)
            ::close(out);
        ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
        if (!ok) {
            const int saved = errno;
            ::unlink(temp.c_str());
            errno = saved;
        }
    }
    if (ok)
        SyncFolderNamed(FolderOf(target));
    return ok;
}

bool StageCopy(const std::wstring& from, const std::wstring& to)
{
    const std::string source = Narrow(from);
    struct stat info{};
    const int in = OpenSource(source, info);
    if (in < 0)
        return false;
    const bool ok = WriteTemporary(in, info, source, TempNameFor(Narrow(to)), true);
    ::close(in);
    return ok;
}

bool SyncFileSystemOf(const std::wstring& folder)
{
    const int fd = ::open(Narrow(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::syncfs(fd) == 0;
    ::close(fd);
    return ok;
}

bool CommitStaged(const std::wstring& to)
{
    const std::string target = Narrow(to);
    const std::string temp = TempNameFor(target);
    if (::rename(temp.c_str(), target.c_str()) != 0)
        return false;
    // A rename between two names of one file (a target already linked to
    // the same download) does nothing: the temporary name goes here.
    ::unlink(temp.c_str());
    return true;
}

void DiscardStaged(const std::wstring& to)
{
    ::unlink(TempNameFor(Narrow(to)).c_str());
}

bool SyncFolder(const std::wstring& folder)
{
    return SyncFolderNamed(Narrow(folder));
}

bool MoveFileReplace(const std::wstring& from, const std::wstring& to)
{
    return ::rename(Narrow(from).c_str(), Narrow(to).c_str()) == 0;
}

bool RemoveOneFile(const std::wstring& path)
{
    return ::unlink(Narrow(path).c_str()) == 0 || errno == ENOENT;
}

bool CreateOneFolder(const std::wstring& path)
{
    const std::string narrow = Narrow(path);
    if (::mkdir(narrow.c_str(), 0777) == 0)
        return true;
    if (errno != EEXIST)
        return false;
    struct stat info{};
    return ::stat(narrow.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool RemoveEmptyFolder(const std::wstring& path)
{
    return ::rmdir(Narrow(path).c_str()) == 0;
}

std::FILE* CreateFileNoFollow(const std::wstring& path, const std::wstring& root)
{
    const std::string file = Narrow(path);
    std::string base = Narrow(root);
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    std::string rest;
    if (!base.empty() && file.size() > base.size() + 1 && file.compare(0, base.size(), base) == 0 &&
        (file[base.size()] == '/' || base == "/")) {
        rest = file.substr(base == "/" ? 1 : base.size() + 1);
    } else {
        base = FolderOf(file);
        rest = file.substr(file.rfind('/') == std::string::npos ? 0 : file.rfind('/') + 1);
    }
    int folder = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::size_t start = 0;
    for (std::size_t slash; folder >= 0 && (slash = rest.find('/', start)) != std::string::npos; start = slash + 1) {
        const std::string part = rest.substr(start, slash - start);
        if (part.empty() || part == ".")
            continue;
        const int next = part == ".." ? -1 : ::openat(folder, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(folder);
        folder = next;
    }
    if (folder < 0)
        return nullptr;
    const std::string name = rest.substr(start);
    // Without blocking, so that a FIFO standing at the name is refused.
    const int fd = name.empty() || name == "." || name == ".."
                       ? -1
                       : ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    ::close(folder);
    struct stat info{};
    if (fd < 0)
        return nullptr;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::fcntl(fd, F_SETFL, 0) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* stream = ::fdopen(fd, "wb");
    if (!stream)
        ::close(fd);
    return stream;
}

std::wstring CanonicalPath(const std::wstring& path)
{
    const std::string narrow = Narrow(path);
    if (narrow.empty() || narrow[0] != '/')
        return std::wstring();
    std::string head = narrow;
    std::vector<std::string> tail;
    std::string result;
    for (;;) {
        result = Resolve(head);
        if (!result.empty())
            break;
        const std::size_t slash = head.rfind('/');
        tail.push_back(head.substr(slash + 1));
        head = slash == 0 ? "/" : head.substr(0, slash);
    }
    for (auto part = tail.rbegin(); part != tail.rend(); ++part) {
        if (part->empty() || *part == ".")
            continue;
        if (*part == "..") {
            const std::size_t slash = result.rfind('/');
            result = slash == 0 ? "/" : result.substr(0, slash);
            continue;
        }
        if (result != "/")
            result += '/';
        result += *part;
    }
    return AnsiToWide(result);
}

bool IsInsideFolder(const std::wstring& path, const std::wstring& folder)
{
    return Contains(Narrow(CanonicalPath(folder)), Narrow(CanonicalPath(path)));
}

bool IsOwnFolder(const std::wstring& folder)
{
    struct stat info{};
    return ::stat(Narrow(folder).c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & S_IWOTH) == 0;
}

bool IsSymbolicLink(const std::wstring& path)
{
    struct stat info{};
    return ::lstat(Narrow(path).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

FOLDER_LOCK_RESULT TryLockFolder(const std::wstring& folder, int& handle)
{
    handle = ::open(Narrow(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0)
        return FOLDER_LOCK_RESULT::Missing;
    while (::flock(handle, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        const bool busy = errno == EWOULDBLOCK;
        ::close(handle);
        handle = -1;
        return busy ? FOLDER_LOCK_RESULT::Busy : FOLDER_LOCK_RESULT::Missing;
    }
    return FOLDER_LOCK_RESULT::Locked;
}

void ReleaseFolderLock(int handle)
{
    if (handle >= 0)
        ::close(handle);
}

bool IsSameFolder(const std::wstring& a, const std::wstring& b)
{
    struct stat first{}, second{};
    return ::stat(Narrow(a).c_str(), &first) == 0 && ::stat(Narrow(b).c_str(), &second) == 0 &&
           S_ISDIR(first.st_mode) && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool DeleteFolderTree(const std::wstring& folder, const std::wstring& keep)
{
    const std::string canonical = Resolve(Narrow(folder));
    if (canonical.empty() || IsFileSystemRoot(canonical))
        return false;
    const std::string home = Resolve(HomeFolder());
    if (Contains(canonical, home))
        return false;
    const std::string kept = keep.empty() ? std::string() : Resolve(Narrow(keep));
    if (Contains(canonical, kept))
        return false;
    struct stat info{};
    if (::lstat(canonical.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    const int fd = ::open(canonical.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool emptied = RemoveContents(fd);
    return ::rmdir(canonical.c_str()) == 0 && emptied;
}

void SleepMilliseconds(unsigned milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void DebugText(const std::wstring& text)
{
    const char* flag = std::getenv("TOVARIN_DEBUG");
    if (!flag || !*flag)
        return;
    const std::string line = WideToAnsiLossy(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

bool StartProgram(const std::wstring& path)
{
    const std::string program = Narrow(path);
    posix_spawnattr_t attributes;
    if (::posix_spawnattr_init(&attributes) != 0)
        return false;
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t child = 0;
    const int error = ::posix_spawn(&child, program.c_str(), nullptr, &attributes, argv, environ);
    ::posix_spawnattr_destroy(&attributes);
    return error == 0;
}

unsigned LastOsError()
{
    return static_cast<unsigned>(errno);
}

} // namespace Tovarin
