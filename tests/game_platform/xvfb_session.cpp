#include "xvfb_session.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

extern char** environ;

Rgb Screenshot::At(int x, int y) const
{
    std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
    return Rgb{rgb[i], rgb[i + 1], rgb[i + 2]};
}

bool Screenshot::SameRegion(const Screenshot& other, int x0, int y0, int x1, int y1) const
{
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (!(At(x, y) == other.At(x, y)))
                return false;
    return true;
}

XvfbSession::XvfbSession(int width, int height)
{
    int fds[2];
    if (pipe(fds) != 0)
        return;
    std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    std::string fd = std::to_string(fds[1]);
    const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    // The number arrives with a newline, possibly in pieces; closing the pipe
    // before the newline is written makes Xvfb give up.
    std::string number;
    char c = 0;
    while (m_pid > 0 && number.size() < 16) {
        ssize_t got = read(fds[0], &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || c == '\n')
            break;
        number.push_back(c);
    }
    close(fds[0]);
    if (!number.empty() && c == '\n')
        m_display = ":" + number;
}

XvfbSession::~XvfbSession()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
}

int XvfbSession::Run(const std::string& command) const
{
    std::string line = "DISPLAY=" + m_display + " " + command;
    int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool XvfbSession::Take(Screenshot& shot) const
{
    char path[] = "/tmp/gorbo-shot-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return false;
    close(fd);
    bool ok = Run(std::string("import -window root -depth 8 ppm:") + path) == 0;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    in >> magic >> shot.width >> shot.height >> maxval;
    in.get();
    shot.rgb.assign(static_cast<std::size_t>(shot.width) * static_cast<std::size_t>(shot.height) * 3, 0);
    in.read(reinterpret_cast<char*>(shot.rgb.data()), static_cast<std::streamsize>(shot.rgb.size()));
    ok = ok && magic == "P6" && maxval == 255 && in.good();
    std::remove(path);
    return ok;
}

Child::Child(const std::string& program, const std::vector<std::string>& env, const std::string& errFile,
             const std::vector<std::string>& args)
{
    std::vector<std::string> strings = env;
    std::vector<char*> envp;
    for (auto& s : strings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<const char*> argv = {program.c_str()};
    for (const auto& a : args)
        argv.push_back(a.c_str());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, const_cast<char**>(argv.data()), envp.data()) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
}

Child::~Child()
{
    if (m_pid > 0 && m_status < 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

int Child::Wait(double seconds)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (m_pid > 0 && m_status < 0) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() > end)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return m_status;
}

bool ToolAvailable(const char* name)
{
    std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

std::string MakeBmp(int width, int height, Rgb (*colour)(int x, int y))
{
    auto le = [](std::string& s, unsigned v, int n) {
        for (int i = 0; i < n; ++i)
            s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    int row = (width * 3 + 3) & ~3;
    unsigned dataSize = static_cast<unsigned>(row * height);
    std::string s = "BM";
    le(s, 54 + dataSize, 4);
    le(s, 0, 4);
    le(s, 54, 4);
    le(s, 40, 4);
    le(s, static_cast<unsigned>(width), 4);
    le(s, static_cast<unsigned>(height), 4);
    le(s, 1, 2);
    le(s, 24, 2);
    le(s, 0, 4);
    le(s, dataSize, 4);
    le(s, 2835, 4);
    le(s, 2835, 4);
    le(s, 0, 4);
    le(s, 0, 4);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            Rgb c = colour(x, y);
            s.push_back(static_cast<char>(c.b));
            s.push_back(static_cast<char>(c.g));
            s.push_back(static_cast<char>(c.r));
        }
        s.append(static_cast<std::size_t>(row - width * 3), '\0');
    }
    return s;
}
