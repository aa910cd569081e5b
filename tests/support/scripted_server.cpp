#include "scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace test {

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
