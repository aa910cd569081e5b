// A private X server for tests that need a real window: Xvfb on a display
// number it picks itself, with a black root window.
#pragma once

#include <string>
#include <sys/types.h>

class CXvfbDisplay {
public:
    // Starts Xvfb with a screen of width x height x 24 and sets DISPLAY.
    bool Start(int width, int height);
    void Stop();
    ~CXvfbDisplay() { Stop(); }

    const std::string& Name() const { return m_name; }
    // Saves the whole screen as raw 8-bit RGB into path (ImageMagick import).
    bool Screenshot(const std::string& path) const;

private:
    pid_t m_pid = -1;
    std::string m_name;
};

// A screenshot in raw RGB, as Screenshot writes it.
struct RGB_SHOT {
    int width = 0;
    int height = 0;
    std::string bytes;

    bool Load(const std::string& path, int w, int h);
    unsigned At(int x, int y) const;  // 0xRRGGBB
};
