// Starting programs from tests: with their own environment changes, their
// output captured, a time limit on the wait, and no way to outlive the test.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <csignal>

#include <sys/types.h>

namespace test {

struct PROCESS_OPTIONS {
    // Applied to this process's environment: NAME=VALUE sets, NAME= (nothing
    // after '=') removes.
    std::vector<std::string> env;
    // Start from an empty environment instead (env then lists all of it).
    bool clearEnvironment = false;
    // Standard output and error go to a file of the process's own (Output);
    // with this set, to /dev/null.
    bool discardOutput = false;
};

// One started program. The destructor kills and reaps it if it still runs,
// and a program is killed by the kernel if the thread that started it ends.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // program is a path, or a name looked up in PATH. False when it could
    // not be started, or when the program started before still runs.
    bool Start(const std::string& program, const std::vector<std::string>& args = {},
               const PROCESS_OPTIONS& options = {});
    // The exit status; 128 + the signal for a program ended by a signal; -1
    // when it has not ended within `limit` (it then keeps running).
    int Wait(std::chrono::milliseconds limit);
    // Ends it with the signal and reaps it; its status is then 128 + signal.
    void Kill(int signal = SIGKILL);
    bool Running();
    pid_t Pid() const { return m_pid; }
    // Everything it wrote to standard output and error so far, in order.
    std::string Output() const;
    // User and system time it used, once it has ended.
    double CpuSeconds() const { return m_cpuSeconds; }

private:
    bool Reap(bool block);

    pid_t m_pid = -1;
    int m_status = -1;
    double m_cpuSeconds = 0;
    std::string m_outputPath;
};

struct PROCESS_RESULT {
    int status = -1;  // as Process::Wait; -1 when it did not end in time (it is then killed)
    std::string output;  // standard output and error
};

// Runs a program to its end, or kills it after `limit`.
PROCESS_RESULT RunProcess(const std::string& program, const std::vector<std::string>& args,
                          const PROCESS_OPTIONS& options = {},
                          std::chrono::milliseconds limit = std::chrono::seconds(120));
// Runs a command line with /bin/sh.
PROCESS_RESULT RunShell(const std::string& command, const PROCESS_OPTIONS& options = {},
                        std::chrono::milliseconds limit = std::chrono::seconds(120));
// True when the program can be found in PATH.
bool ToolAvailable(const std::string& name);
// Makes a self-signed certificate for 127.0.0.1 and its key with openssl.
PROCESS_RESULT MakeLoopbackCertificate(const std::string& certPath, const std::string& keyPath);

} // namespace test
