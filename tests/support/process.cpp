#include "process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "wait.h"

extern char** environ;

namespace test {
namespace {

std::string NameOf(const std::string& entry)
{
    return entry.substr(0, entry.find('='));
}

std::vector<std::string> Environment(const PROCESS_OPTIONS& options)
{
    std::vector<std::string> result;
    if (!options.clearEnvironment) {
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            bool changed = false;
            for (const std::string& change : options.env)
                changed |= NameOf(change) == NameOf(entry);
            if (!changed)
                result.push_back(entry);
        }
    }
    for (const std::string& change : options.env)
        if (change.back() != '=')
            result.push_back(change);
    return result;
}

std::vector<char*> Pointers(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

Process::~Process()
{
    if (m_pid > 0 && m_status < 0)
        Kill();
    if (!m_outputPath.empty())
        std::remove(m_outputPath.c_str());
}

bool Process::Start(const std::string& program, const std::vector<std::string>& args, const PROCESS_OPTIONS& options)
{
    if (m_pid > 0 && m_status < 0)
        return false;  // the previous one still runs
    if (!m_outputPath.empty())
        std::remove(m_outputPath.c_str());
    m_outputPath.clear();
    // Everything the child needs is made before the fork: after it, only
    // async-signal-safe calls until exec.
    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings = Environment(options);
    std::vector<char*> argv = Pointers(argStrings);
    std::vector<char*> envp = Pointers(envStrings);
    int output = -1;
    if (options.discardOutput) {
        output = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    } else {
        std::string pattern = "/tmp/tg-output-XXXXXX";
        output = ::mkostemp(pattern.data(), O_CLOEXEC);
        m_outputPath = output >= 0 ? pattern : "";
    }
    if (output < 0)
        return false;
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(output, 1);
        ::dup2(output, 2);
        ::execvpe(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(output);
    if (child < 0)
        return false;
    m_pid = child;
    m_status = -1;
    return true;
}

bool Process::Reap(bool block)
{
    if (m_pid <= 0)
        return false;
    if (m_status >= 0)
        return true;
    int status = 0;
    rusage usage{};
    pid_t got;
    do {
        got = ::wait4(m_pid, &status, block ? 0 : WNOHANG, &usage);
    } while (got < 0 && errno == EINTR);
    if (got != m_pid)
        return false;
    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    m_cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return true;
}

int Process::Wait(std::chrono::milliseconds limit)
{
    if (m_pid <= 0)
        return -1;
    WaitUntil([this] { return Reap(false); }, limit, std::chrono::milliseconds(5));
    return m_status;
}

void Process::Kill(int signal)
{
    if (m_pid <= 0 || m_status >= 0)
        return;
    ::kill(m_pid, signal);
    Reap(true);
}

bool Process::Running()
{
    return m_pid > 0 && !Reap(false);
}

std::string Process::Output() const
{
    std::ifstream in(m_outputPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

PROCESS_RESULT RunProcess(const std::string& program, const std::vector<std::string>& args,
                          const PROCESS_OPTIONS& options, std::chrono::milliseconds limit)
{
    PROCESS_RESULT result;
    Process process;
    if (!process.Start(program, args, options))
        return result;
    result.status = process.Wait(limit);
    if (result.status < 0)
        process.Kill();
    result.output = process.Output();
    return result;
}

PROCESS_RESULT RunShell(const std::string& command, const PROCESS_OPTIONS& options, std::chrono::milliseconds limit)
{
    return RunProcess("/bin/sh", {"-c", command}, options, limit);
}

bool ToolAvailable(const std::string& name)
{
    PROCESS_OPTIONS quiet;
    quiet.discardOutput = true;
    return RunShell("command -v '" + name + "'", quiet, std::chrono::seconds(10)).status == 0;
}

PROCESS_RESULT MakeLoopbackCertificate(const std::string& certPath, const std::string& keyPath)
{
    return RunProcess("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                  "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                                  "subjectAltName=IP:127.0.0.1", "-keyout", keyPath, "-out", certPath});
}

} // namespace test
