// Fixtures shared by the engine's tests: temporary folders, file helpers, a
// real nginx on a free loopback port, a scripted misbehaving HTTP server, and
// helpers to publish trees and run updates.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

#include "headless_update.h"

class CUpdateList;

namespace test {

// A fresh folder under the system's temporary folder, removed with its
// contents on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void WriteFile(const std::string& path, const std::string& contents, unsigned mode = 0644);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
void MakeFolders(const std::string& path);
// Every regular file below a folder: relative path -> contents.
std::map<std::string, std::string> ReadTree(const std::string& root);
std::wstring Wide(const std::string& text);
std::string RandomBytes(std::size_t length, unsigned seed);

// Publishes a program folder with the publisher; fails the test on error.
void Publish(const std::string& programDir, const std::string& serverDir, const std::string& version = "1.0");

// Reads the server's list out of <server>/UpdateList.xml.zip, lets `edit`
// change it, and publishes it again.
void EditServerList(const std::string& serverDir, const std::function<void(CUpdateList&)>& edit);

// Runs one update with the six settings and waits for its final message.
HEADLESS_RESULT RunUpdate(const std::string& url, const std::string& progDir, const std::string& downDir,
                          const std::string& number = "1.0", bool reboot = false, const std::string& name = "prog");

// A real nginx serving `root` on a free loopback port, started as a child
// process with its configuration, pid, logs and temporary folders in a
// folder of its own; stopped (and waited for) by Stop or the destructor, and
// killed by the kernel if the test process dies.
class Nginx {
public:
    Nginx() = default;
    ~Nginx();
    // tls: serve https with the certificate and key files given.
    bool Start(const std::string& root, const std::string& certFile = "", const std::string& keyFile = "");
    void Stop();
    std::string Url() const;
    // The request targets ("/path?query") in the access log, in order.
    std::vector<std::string> Requests() const;
    // Requests whose path (without the query) is `path`.
    int CountRequests(const std::string& path) const;

private:
    bool Launch(int port);
    TempDir m_dir;
    pid_t m_pid = -1;
    int m_port = 0;
    bool m_tls = false;
};

// An HTTP server on a free loopback port whose every answer is written by
// the test: the handler gets the connected socket and the request target.
class ScriptedServer {
public:
    using Handler = std::function<void(int socket, const std::string& target)>;
    explicit ScriptedServer(Handler handler);
    ~ScriptedServer();
    std::string Url() const;
    bool Stopping() const { return m_stop.load(); }
    std::vector<std::string> Targets();
    std::vector<std::string> Heads();  // the request heads, in order

private:
    void Serve();
    Handler m_handler;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::vector<std::string> m_targets;
    std::vector<std::string> m_heads;
    std::vector<std::thread> m_connections;
    std::thread m_thread;
};

// Writes all of `data` to a socket (best effort).
void SendAll(int socket, const std::string& data);

} // namespace test
