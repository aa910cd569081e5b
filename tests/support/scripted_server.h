// An HTTP server on a free loopback port whose every answer is written by
// the test, for faults a real server will not produce on request: the
// handler gets the connected socket and the request target, one request per
// connection.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace test {

class ScriptedServer {
public:
    using Handler = std::function<void(int socket, const std::string& target)>;
    explicit ScriptedServer(Handler handler);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::string Url() const;
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
