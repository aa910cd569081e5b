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

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
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

bool CopyContents(int in, int out)
{
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

void SyncFolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
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
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat info{};
    if (::fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(in);
        return false;
    }
    const std::string temp = TempNameFor(target);
    const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = CopyContents(in, out);
    ok = ok && ::fchmod(out, info.st_mode & 07777) == 0;
    ok = ok && ::fsync(out) == 0;
    ok = ::close(out) == 0 && ok;
    ::close(in);
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return false;
    }
    SyncFolderOf(target);
    return true;
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
