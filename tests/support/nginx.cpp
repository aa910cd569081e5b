#include "nginx.h"

#include <fstream>
#include <sstream>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "wait.h"

namespace test {
namespace {

constexpr char kMarkPath[] = "/.tg-log-mark-";

int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool CanConnect(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

void Replace(std::string& text, const std::string& token, const std::string& value)
{
    for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + value.size()))
        text.replace(at, token.size(), value);
}

std::string PathOf(const std::string& target)
{
    return target.substr(0, target.find('?'));
}

// The targets of the GET lines of an access log in nginx's combined format.
std::vector<std::string> LoggedTargets(const std::string& log)
{
    std::vector<std::string> targets;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t start = line.find("\"GET ");
        if (start == std::string::npos)
            continue;
        const std::size_t end = line.find(' ', start + 5);
        targets.push_back(line.substr(start + 5, end - start - 5));
    }
    return targets;
}

} // namespace

bool Nginx::Start(const std::string& root, const NGINX_OPTIONS& options)
{
    m_root = root;
    m_tls = !options.certFile.empty();
    MakeFolders(m_dir / "temp");
    for (int attempt = 0; attempt < 5; ++attempt)
        if (Launch(FreePort(), options))
            return true;
    return false;
}

bool Nginx::Launch(int port, const NGINX_OPTIONS& options)
{
    std::string conf = ReadFile(TG_NGINX_TEMPLATE);
    if (conf.empty())
        return false;
    const std::string prefix = m_dir.Path().string();
    Replace(conf, "@PREFIX@", prefix);
    Replace(conf, "@ROOT@", m_root);
    Replace(conf, "@PORT@", std::to_string(port));
    Replace(conf, "@RATE@", options.rateLimit.empty() ? "0" : options.rateLimit);
    Replace(conf, "@ACCESS_LOG@", prefix + "/access.log");
    Replace(conf, "@SSL@", m_tls ? "ssl" : "");
    Replace(conf, "@TLS_FILES@", m_tls ? "ssl_certificate " + options.certFile + "; ssl_certificate_key " +
                                             options.keyFile + ";"
                                       : "");
    WriteFile(m_dir / "nginx.conf", conf);
    PROCESS_OPTIONS quiet;
    quiet.discardOutput = true;
    if (!m_process.Start("nginx", {"-p", prefix + "/", "-c", prefix + "/nginx.conf", "-e", prefix + "/error.log"},
                         quiet))
        return false;
    // Up once it accepts; ended when the port was taken meanwhile.
    WaitUntil([&] { return CanConnect(port) || !m_process.Running(); });
    if (m_process.Running() && CanConnect(port)) {
        m_port = port;
        return true;
    }
    m_process.Kill();
    return false;
}

void Nginx::Stop()
{
    if (m_process.Running()) {
        m_process.Kill(SIGTERM);
    }
}

std::string Nginx::Url() const
{
    return std::string(m_tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_port);
}

std::vector<std::string> Nginx::Requests() const
{
    const std::string mark = kMarkPath + std::to_string(++m_marks);
    PROCESS_OPTIONS quiet;
    quiet.discardOutput = true;
    RunProcess("curl", {"-s", "-k", "-o", "/dev/null", Url() + mark}, quiet, std::chrono::seconds(30));
    std::vector<std::string> targets;
    WaitUntil([&] {
        targets = LoggedTargets(ReadFile(m_dir / "access.log"));
        return !targets.empty() && targets.back() == mark;
    });
    std::vector<std::string> requests;
    for (const std::string& target : targets)
        if (target.rfind(kMarkPath, 0) != 0)
            requests.push_back(target);
    return requests;
}

int Nginx::CountRequests(const std::string& path) const
{
    int count = 0;
    for (const std::string& target : Requests())
        count += PathOf(target) == path;
    return count;
}

} // namespace test
