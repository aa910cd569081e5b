#include "nginx_server.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

int FreePort()
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port = ntohs(addr.sin_port);
    }
    close(s);
    return port;
}

bool Accepts(int port)
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(s);
    return ok;
}

// nginx's workers run as an unprivileged user when started as root: every
// folder on the way to the served files must let them through.
void OpenUp(const std::string& path)
{
    for (std::string p = path; p.size() > 1; p = p.substr(0, p.rfind('/'))) {
        struct stat st{};
        if (stat(p.c_str(), &st) == 0) {
            chmod(p.c_str(), st.st_mode | S_IRGRP | S_IXGRP | S_IROTH | S_IXOTH);
        }
        if (p.rfind('/') == 0 || p.rfind('/') == std::string::npos) {
            break;
        }
    }
}

}  // namespace

bool CNginxServer::Start(const std::string& workDir, const std::string& root, const std::string& rateLimit)
{
    m_dir = workDir;
    mkdir((m_dir + "/tmp").c_str(), 0755);
    OpenUp(root);
    std::system(("chmod -R a+rX '" + root + "'").c_str());
    for (int attempt = 0; attempt < 5 && m_pid < 0; ++attempt) {
        m_port = FreePort();
        std::ofstream conf(m_dir + "/nginx.conf");
        conf << "worker_processes 1;\ndaemon off;\npid " << m_dir << "/nginx.pid;\nerror_log " << m_dir
             << "/error.log;\nevents { worker_connections 64; }\nhttp {\n  access_log " << m_dir
             << "/access.log;\n";
        for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
            conf << "  " << kind << "_temp_path " << m_dir << "/tmp;\n";
        }
        conf << "  server { listen 127.0.0.1:" << m_port << "; root " << root << ";";
        if (!rateLimit.empty()) {
            conf << " limit_rate " << rateLimit << ";";
        }
        conf << " }\n}\n";
        conf.close();
        const std::string confPath = m_dir + "/nginx.conf";
        char* argv[] = {const_cast<char*>("nginx"), const_cast<char*>("-c"), const_cast<char*>(confPath.c_str()),
                        const_cast<char*>("-p"), const_cast<char*>(m_dir.c_str()), nullptr};
        const pid_t pid = fork();
        if (pid == 0) {
            // Never outlives the test, and never holds the test's output open.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            freopen("/dev/null", "w", stdout);
            freopen("/dev/null", "w", stderr);
            execvp("nginx", argv);
            _exit(127);
        }
        if (pid < 0) {
            return false;
        }
        for (int i = 0; i < 100; ++i) {
            if (Accepts(m_port)) {
                m_pid = pid;
                break;
            }
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                break;  // port taken meanwhile: try another
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (m_pid < 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    return m_pid > 0;
}

void CNginxServer::Stop()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}

int CNginxServer::RequestCount() const
{
    std::ifstream log(m_dir + "/access.log");
    int lines = 0;
    std::string line;
    while (std::getline(log, line)) {
        ++lines;
    }
    return lines;
}

RUN_RESULT RunProgram(const std::string& path, const std::vector<std::string>& args,
                      const std::vector<std::string>& env, int timeoutSeconds)
{
    RUN_RESULT result;
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const std::string& change : env) {
            replaced |= entry.compare(0, change.find('=') + 1, change, 0, change.find('=') + 1) == 0;
        }
        if (!replaced) {
            environment.push_back(entry);
        }
    }
    for (const std::string& change : env) {
        if (change.back() != '=') {
            environment.push_back(change);
        }
    }
    std::vector<char*> envp;
    for (std::string& e : environment) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> argStore{path};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    int fds[2];
    if (pipe(fds) != 0) {
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return result;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    char buf[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        result.output.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    for (int i = 0; i < 200 && waitpid(pid, &status, WNOHANG) == 0; ++i) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return result;
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}
