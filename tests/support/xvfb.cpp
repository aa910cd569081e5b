#include "xvfb.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace test {

bool Xvfb::Start(int width, int height)
{
    // Xvfb writes its display number to the descriptor once it accepts
    // connections. The write end is inherited by the server (and by nothing
    // else started meanwhile that would matter: the read stops at the newline).
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    ::fcntl(fds[1], F_SETFD, 0);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    PROCESS_OPTIONS quiet;
    quiet.discardOutput = true;
    const bool started = m_process.Start(
        "Xvfb", {"-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-br", "-nolisten", "tcp"}, quiet);
    ::close(fds[1]);
    std::string number;
    char c = 0;
    while (started && number.size() < 16) {
        pollfd ready{fds[0], POLLIN, 0};
        if (::poll(&ready, 1, 30000) <= 0)
            break;
        const ssize_t got = ::read(fds[0], &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || c == '\n')
            break;
        number.push_back(c);
    }
    ::close(fds[0]);
    if (number.empty() || c != '\n') {
        Stop();
        return false;
    }
    m_display = ":" + number;
    return true;
}

void Xvfb::Stop()
{
    if (m_process.Running())
        m_process.Kill(SIGTERM);
    m_display.clear();
}

void Xvfb::Export() const
{
    ::setenv("DISPLAY", m_display.c_str(), 1);
}

int Xvfb::Run(const std::string& command, std::chrono::milliseconds limit) const
{
    PROCESS_OPTIONS options;
    options.env = {"DISPLAY=" + m_display};
    return RunShell(command, options, limit).status;
}

bool Xvfb::Take(Screenshot& shot) const
{
    const std::string path = (m_dir / "shot.ppm").string();
    return Run("import -window root -depth 8 ppm:'" + path + "'") == 0 && shot.LoadPpm(path);
}

} // namespace test
