// Helpers for tests that run the real game under a private X server: start
// Xvfb on a free display number, run programs there, press keys with
// xdotool, and read screenshots taken with ImageMagick's import.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
    Rgb At(int x, int y) const;
    bool SameRegion(const Screenshot& other, int x0, int y0, int x1, int y1) const;
};

class XvfbSession {
public:
    // Starts Xvfb with one screen of width x height x 24; Ok() tells whether
    // it runs.
    XvfbSession(int width, int height);
    ~XvfbSession();
    bool Ok() const { return m_pid > 0 && !m_display.empty(); }
    const std::string& Display() const { return m_display; }
    // Runs a shell command with DISPLAY set; returns its exit status.
    int Run(const std::string& command) const;
    bool Take(Screenshot& shot) const;

private:
    pid_t m_pid = -1;
    std::string m_display;
};

// A started program whose exit can be awaited with a time limit.
class Child {
public:
    Child(const std::string& program, const std::vector<std::string>& env, const std::string& errFile,
          const std::vector<std::string>& args = {});
    ~Child();
    // The exit status, or -1 when it did not end within seconds.
    int Wait(double seconds);

private:
    pid_t m_pid = -1;
    int m_status = -1;
};

bool ToolAvailable(const char* name);
// A 24-bit bottom-up BMP file of the given size from a colour function.
std::string MakeBmp(int width, int height, Rgb (*colour)(int x, int y));
