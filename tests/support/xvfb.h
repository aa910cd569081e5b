// A private X server for tests and benchmarks that need a real window: Xvfb
// on a display number it picks itself, with a black root window, and
// screenshots of the whole screen.
#pragma once

#include <chrono>
#include <string>

#include "image.h"
#include "process.h"
#include "temp_folder.h"

namespace test {

class Xvfb {
public:
    Xvfb() = default;
    ~Xvfb() { Stop(); }
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    // Starts the server with one screen of width x height x 24 and waits
    // until it accepts clients.
    bool Start(int width, int height);
    void Stop();
    // ":N" while it runs.
    const std::string& Display() const { return m_display; }
    // Makes it the display of this process (for SDL here, and for the
    // programs started from here).
    void Export() const;
    // Runs a shell command with DISPLAY set to this server; its exit status.
    int Run(const std::string& command, std::chrono::milliseconds limit = std::chrono::seconds(60)) const;
    // The whole screen (ImageMagick's import).
    bool Take(Screenshot& shot) const;

private:
    Process m_process;
    std::string m_display;
    TempFolder m_dir;
};

} // namespace test
