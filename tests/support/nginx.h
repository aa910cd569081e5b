// A real nginx serving one folder on a free loopback port, from the
// configuration template the demo and the benchmark share (nginx.conf.in):
// plain or TLS, with an optional rate limit, and its access log read back.
// Its configuration, logs and temporary files live in a folder of its own.
#pragma once

#include <string>
#include <vector>

#include "process.h"
#include "temp_folder.h"

namespace test {

struct NGINX_OPTIONS {
    std::string certFile;   // with keyFile: serve https
    std::string keyFile;
    std::string rateLimit;  // nginx's limit_rate per answer ("200k"); empty: none
};

class Nginx {
public:
    Nginx() = default;
    ~Nginx() { Stop(); }
    Nginx(const Nginx&) = delete;
    Nginx& operator=(const Nginx&) = delete;

    bool Start(const std::string& root, const NGINX_OPTIONS& options = {});
    void Stop();
    // "http://127.0.0.1:PORT" (https with TLS).
    std::string Url() const;
    // The request targets ("/path?query") answered so far, in order. nginx
    // logs a request after answering it; this asks for a mark of its own and
    // waits for the mark's line, so every earlier request is in the log.
    std::vector<std::string> Requests() const;
    // Requests whose path (without the query) is `path`.
    int CountRequests(const std::string& path) const;

private:
    bool Launch(int port, const NGINX_OPTIONS& options);

    TempFolder m_dir;
    std::string m_root;
    Process m_process;
    int m_port = 0;
    bool m_tls = false;
    mutable int m_marks = 0;
};

} // namespace test
