// A real nginx on a free loopback port, serving one folder, with its
// configuration, logs and temporary files in a folder of its own.
#pragma once

#include <string>
#include <vector>
#include <sys/types.h>

class CNginxServer {
public:
    // Serves root; rateLimit ("100k") throttles every answer when not empty.
    bool Start(const std::string& workDir, const std::string& root, const std::string& rateLimit = "");
    void Stop();
    ~CNginxServer() { Stop(); }

    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    // Number of requests nginx has logged so far.
    int RequestCount() const;

private:
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_dir;
};

// Runs a program with the given arguments and environment changes (NAME=VALUE
// sets, NAME= with nothing after '=' unsets), collects its standard output and
// error, and waits at most timeoutSeconds. exitCode is -1 when it did not end
// normally in time (it is then killed).
struct RUN_RESULT {
    int exitCode = -1;
    std::string output;
};
RUN_RESULT RunProgram(const std::string& path, const std::vector<std::string>& args,
                      const std::vector<std::string>& env, int timeoutSeconds);
