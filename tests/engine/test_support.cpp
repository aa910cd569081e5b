#include "test_support.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "publisher.h"
#include "text.h"
#include "update_list.h"
#include "zip_reader.h"
#include "zip_writer.h"

namespace fs = std::filesystem;

namespace test {

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "tovarin-test-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    m_path = made ? made : "";
}

TempDir::~TempDir()
{
    std::error_code code;
    // Folders a test made read-only must be writable again to be removed.
    for (auto it = fs::recursive_directory_iterator(m_path, code); !code && it != fs::recursive_directory_iterator();
         it.increment(code))
        if (it->is_directory(code) && !it->is_symlink(code))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, code);
    fs::remove_all(m_path, code);
}

void WriteFile(const std::string& path, const std::string& contents, unsigned mode)
{
    MakeFolders(fs::path(path).parent_path().string());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    out.close();
    ::chmod(path.c_str(), mode);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Exists(const std::string& path)
{
    struct stat info{};
    return ::lstat(path.c_str(), &info) == 0;
}

void MakeFolders(const std::string& path)
{
    std::error_code code;
    fs::create_directories(path, code);
}

std::map<std::string, std::string> ReadTree(const std::string& root)
{
    std::map<std::string, std::string> tree;
    std::error_code code;
    for (auto it = fs::recursive_directory_iterator(root, code); !code && it != fs::recursive_directory_iterator();
         it.increment(code))
        if (it->is_regular_file(code))
            tree[it->path().lexically_relative(root).string()] = ReadFile(it->path().string());
    return tree;
}

std::wstring Wide(const std::string& text)
{
    return AnsiToWide(text);
}

std::string RandomBytes(std::size_t length, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(length, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

void Publish(const std::string& programDir, const std::string& serverDir, const std::string& version)
{
    PUBLISH_SETTINGS settings{programDir, serverDir, version, "prog"};
    PUBLISH_REPORT report;
    std::string error;
    ASSERT_TRUE(PublishProgramFolder(settings, report, error)) << error;
}

void EditServerList(const std::string& serverDir, const std::function<void(CUpdateList&)>& edit)
{
    TempDir scratch;
    const std::string archive = scratch / "UpdateList.xml.zip";
    fs::copy_file(serverDir + "/UpdateList.xml.zip", archive);
    ASSERT_TRUE(ExtractArchiveBeside(Wide(archive)));
    CUpdateList list;
    ASSERT_TRUE(list.Load(Wide(scratch / "UpdateList.xml")));
    edit(list);
    ASSERT_TRUE(list.Save(Wide(scratch / "UpdateList.xml")));
    ZIP_ENTRY_SOURCE entry{"UpdateList.xml", 0644, 0};
    ZIP_WRITE_RESULT written;
    std::string error;
    ASSERT_TRUE(WriteSingleEntryZip(serverDir + "/UpdateList.xml.zip", scratch / "UpdateList.xml", entry, written, error))
        << error;
}

HEADLESS_RESULT RunUpdate(const std::string& url, const std::string& progDir, const std::string& downDir,
                          const std::string& number, bool reboot, const std::string& name)
{
    HEADLESS_SETTINGS settings{Wide(name), Wide(number), Wide(progDir), Wide(downDir), Wide(url), reboot};
    HEADLESS_OPTIONS options;
    options.timeout = std::chrono::seconds(120);
    return RunHeadlessUpdate(settings, options);
}

namespace {

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

std::string PathOf(const std::string& target)
{
    return target.substr(0, target.find('?'));
}

} // namespace

Nginx::~Nginx()
{
    Stop();
}

bool Nginx::Start(const std::string& root, const std::string& certFile, const std::string& keyFile)
{
    m_tls = !certFile.empty();
    MakeFolders(m_dir / "temp");
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int port = FreePort();
        std::ofstream conf(m_dir / "nginx.conf", std::ios::trunc);
        conf << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
             << "pid " << (m_dir / "nginx.pid") << ";\nerror_log " << (m_dir / "error.log") << ";\n"
             << "events { worker_connections 256; }\n"
             << "http {\n  access_log " << (m_dir / "access.log") << ";\n"
             << "  default_type application/octet-stream;\n";
        for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            conf << "  " << kind << "_temp_path " << (m_dir / "temp") << ";\n";
        conf << "  server {\n    listen 127.0.0.1:" << port << (m_tls ? " ssl" : "") << ";\n"
             << "    root " << root << ";\n";
        if (m_tls)
            conf << "    ssl_certificate " << certFile << ";\n    ssl_certificate_key " << keyFile << ";\n";
        conf << "  }\n}\n";
        conf.close();
        if (Launch(port))
            return true;
    }
    return false;
}

bool Nginx::Launch(int port)
{
    const std::string prefix = m_dir.Path() + "/";
    const std::string conf = m_dir / "nginx.conf";
    const std::string errors = m_dir / "error.log";
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execl("/usr/sbin/nginx", "nginx", "-p", prefix.c_str(), "-c", conf.c_str(), "-e", errors.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (child < 0)
        return false;
    m_pid = child;
    m_port = port;
    for (int i = 0; i < 500; ++i) {
        if (CanConnect(port))
            return true;
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child) {
            m_pid = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Stop();
    return false;
}

void Nginx::Stop()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 300; ++i) {
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
}

std::string Nginx::Url() const
{
    return std::string(m_tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_port);
}

std::vector<std::string> Nginx::Requests() const
{
    // nginx logs a request after answering it: give the last line a moment.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::vector<std::string> targets;
    std::ifstream log(m_dir / "access.log");
    std::string line;
    while (std::getline(log, line)) {
        const std::size_t start = line.find("\"GET ");
        if (start == std::string::npos)
            continue;
        const std::size_t end = line.find(' ', start + 5);
        targets.push_back(line.substr(start + 5, end - start - 5));
    }
    return targets;
}

int Nginx::CountRequests(const std::string& path) const
{
    int count = 0;
    for (const std::string& target : Requests())
        count += PathOf(target) == path;
    return count;
}

ScriptedServer::ScriptedServer(Handler handler) : m_handler(std::move(handler))
{
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    ::listen(m_listen, 16);
    m_thread = std::thread([this] { Serve(); });
}

ScriptedServer::~ScriptedServer()
{
    m_stop.store(true);
    ::shutdown(m_listen, SHUT_RDWR);
    m_thread.join();
    for (std::thread& connection : m_connections)
        connection.join();
    ::close(m_listen);
}

std::string ScriptedServer::Url() const
{
    return "http://127.0.0.1:" + std::to_string(m_port);
}

std::vector<std::string> ScriptedServer::Targets()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_targets;
}

std::vector<std::string> ScriptedServer::Heads()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_heads;
}

void ScriptedServer::Serve()
{
    while (!m_stop.load()) {
        pollfd waiting{m_listen, POLLIN, 0};
        if (::poll(&waiting, 1, 50) <= 0)
            continue;
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        m_connections.emplace_back([this, fd] {
            // One request per connection: read the head, answer, close.
            std::string head;
            char buffer[4096];
            while (head.find("\r\n\r\n") == std::string::npos) {
                const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
                if (got <= 0)
                    break;
                head.append(buffer, static_cast<std::size_t>(got));
            }
            const std::size_t start = head.find(' ');
            const std::size_t end = head.find(' ', start + 1);
            const std::string target = start == std::string::npos ? "" : head.substr(start + 1, end - start - 1);
            {
                std::lock_guard<std::mutex> guard(m_lock);
                m_targets.push_back(target);
                m_heads.push_back(head);
            }
            m_handler(fd, target);
            ::close(fd);
        });
    }
}

void SendAll(int socket, const std::string& data)
{
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(socket, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

} // namespace test
