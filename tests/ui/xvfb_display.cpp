#include "xvfb_display.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

bool CXvfbDisplay::Start(int width, int height)
{
    int fds[2];
    if (pipe(fds) != 0) {
        return false;
    }
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const std::string fd = std::to_string(fds[1]);
    m_pid = fork();
    if (m_pid == 0) {
        close(fds[0]);
        // Never outlives the test, and never holds the test's output open.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-br", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (m_pid < 0) {
        close(fds[0]);
        return false;
    }
    // Xvfb writes its display number once it accepts connections.
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') {
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        Stop();
        return false;
    }
    m_name = ":" + number;
    setenv("DISPLAY", m_name.c_str(), 1);
    return true;
}

void CXvfbDisplay::Stop()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}

bool CXvfbDisplay::Screenshot(const std::string& path) const
{
    const std::string command = "DISPLAY=" + m_name + " import -window root -depth 8 rgb:" + path;
    return std::system(command.c_str()) == 0;
}

bool RGB_SHOT::Load(const std::string& path, int w, int h)
{
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    width = w;
    height = h;
    return bytes.size() == static_cast<size_t>(w) * h * 3;
}

unsigned RGB_SHOT::At(int x, int y) const
{
    const size_t at = (static_cast<size_t>(y) * width + x) * 3;
    return (unsigned(static_cast<unsigned char>(bytes[at])) << 16) |
           (unsigned(static_cast<unsigned char>(bytes[at + 1])) << 8) | static_cast<unsigned char>(bytes[at + 2]);
}
