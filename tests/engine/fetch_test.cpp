// DownloadFile against a scripted server on loopback: what it asks for, what
// it accepts, what it writes and when, and how it ends on a misbehaving
// server.
#include <chrono>
#include <cstdlib>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>

#include <sys/socket.h>

#include <gtest/gtest.h>

#include "http_fetch.h"
#include "update_fixture.h"
#include "tovarin_thread.h"

using namespace test;

namespace {

std::string Answer(const std::string& status, const std::string& body, const std::string& extra = "")
{
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra +
           "Connection: close\r\n\r\n" + body;
}

struct Fetcher {
    CNotifyQueue target;
    CTovarinThread worker;
    TempFolder dir;

    Fetcher()
    {
        worker.m_pNotifyWnd = &target;
        worker.m_bRunning = TRUE;
    }
    BOOL Get(const std::string& url, const std::string& local, std::uint32_t expected)
    {
        return worker.DownloadFile(Wide(url), Wide(local), expected);
    }
    // The byte counts posted, as (received, expected) pairs.
    std::vector<std::pair<std::uint64_t, std::int64_t>> Bytes()
    {
        std::vector<std::pair<std::uint64_t, std::int64_t>> bytes;
        for (const UPDATE_MESSAGE& message : TakeUpdateMessages(target))
            if (message.nMessage == WM_UPDATE_BYTES)
                bytes.emplace_back(message.wParam, message.lParam);
        return bytes;
    }
};

TEST(Fetch, StreamsTheBodyInBlocksAndCountsEveryRead)
{
    const std::string body = RandomBytes(12000, 7);
    ScriptedServer server([&](int socket, const std::string&) { SendAll(socket, Answer("200 OK", body)); });
    Fetcher fetch;
    const std::string local = fetch.dir / "f.zip";
    ASSERT_TRUE(fetch.Get(server.Url() + "/f.zip", local, 12000));
    EXPECT_EQ(ReadFile(local), body);

    const auto bytes = fetch.Bytes();
    ASSERT_GE(bytes.size(), 4u);  // at least 3 blocks of at most 5120, and the final empty read
    std::uint64_t previous = 0;
    for (const auto& [received, expected] : bytes) {
        EXPECT_EQ(expected, 12000);
        EXPECT_GE(received, previous);
        EXPECT_LE(received - previous, 5120u);
        previous = received;
    }
    EXPECT_EQ(bytes[bytes.size() - 2].first, 12000u);
    EXPECT_EQ(bytes.back().first, 12000u);

    // One request, with the agent and exactly one time query.
    const auto heads = server.Heads();
    ASSERT_EQ(heads.size(), 1u);
    EXPECT_NE(heads[0].find("User-Agent: Tovarin\r\n"), std::string::npos);
    EXPECT_TRUE(std::regex_match(server.Targets()[0], std::regex("/f\\.zip\\?a=-?[0-9]+")))
        << server.Targets()[0];
}

// Byte counts are carried whole: an expected size beyond 32 bits reaches the
// front end unchanged.
TEST(Fetch, ExpectedSizesBeyond32BitsAreReportedWhole)
{
    ScriptedServer server([&](int socket, const std::string&) { SendAll(socket, Answer("200 OK", "tiny")); });
    Fetcher fetch;
    const std::uint64_t expected = (5ull << 32) + 7;
    ASSERT_TRUE(fetch.worker.DownloadFile(Wide(server.Url() + "/f"), Wide(fetch.dir / "f"), expected));
    const auto bytes = fetch.Bytes();
    ASSERT_FALSE(bytes.empty());
    for (const auto& [received, size] : bytes)
        EXPECT_EQ(static_cast<std::uint64_t>(size), expected);
    EXPECT_EQ(bytes.back().first, 4u);
}

TEST(Fetch, EachCallSendsOneFreshQueryAndBackslashesBecomeSlashes)
{
    ScriptedServer server([&](int socket, const std::string&) { SendAll(socket, Answer("200 OK", "x")); });
    Fetcher fetch;
    ASSERT_TRUE(fetch.Get(server.Url() + "/sub\\dir/f.zip", fetch.dir / "a", 0));
    ASSERT_TRUE(fetch.Get(server.Url() + "/sub\\dir/f.zip", fetch.dir / "a", 0));
    const auto targets = server.Targets();
    ASSERT_EQ(targets.size(), 2u);
    for (const std::string& target : targets)
        EXPECT_TRUE(std::regex_match(target, std::regex("/sub/dir/f\\.zip\\?a=-?[0-9]+"))) << target;
    // No byte counts when no size is expected.
    EXPECT_TRUE(fetch.Bytes().empty());
}

TEST(Fetch, UrlNormalisation)
{
    struct { const char* in; const char* out; } cases[] = {
        {"http://h:1/a\\b/c.zip?a=1", "http://h:1/a/b/c.zip?a=1"},
        {"http://h/a b.zip", "http://h/a%20b.zip"},
        {"http://h/100%.zip", "http://h/100%25.zip"},
        {"http://h/%41.zip", "http://h/%41.zip"},
        {"http://h/\xE4\xB8\xAD.zip", "http://h/%E4%B8%AD.zip"},
        {"http://h/x#y.zip", "http://h/x%23y.zip"},
        {"http://h/q?a=\\1", "http://h/q?a=%5C1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Tovarin::NormalizeUrl(c.in), c.out);
}

// Only 200 and 206 count; a refused answer leaves no local file, and an
// existing one untouched.
TEST(Fetch, StatusCodes)
{
    struct { const char* status; bool accepted; } cases[] = {
        {"200 OK", true}, {"206 Partial Content", true}, {"404 Not Found", false},
        {"500 Internal Server Error", false}, {"204 No Content", false}, {"304 Not Modified", false},
    };
    for (const auto& c : cases) {
        const bool empty = std::string(c.status).rfind("204", 0) == 0 || std::string(c.status).rfind("304", 0) == 0;
        ScriptedServer server([&](int socket, const std::string&) { SendAll(socket, Answer(c.status, empty ? "" : "body")); });
        Fetcher fetch;
        const std::string local = fetch.dir / "f";
        EXPECT_EQ(fetch.Get(server.Url() + "/f", local, 4), c.accepted ? TRUE : FALSE) << c.status;
        EXPECT_EQ(Exists(local), c.accepted) << c.status;
        if (!c.accepted) {
            WriteFile(local, "kept");
            EXPECT_FALSE(fetch.Get(server.Url() + "/f", local, 4));
            EXPECT_EQ(ReadFile(local), "kept");
        }
    }
}

TEST(Fetch, EmptyBodyCreatesAnEmptyFile)
{
    ScriptedServer server([&](int socket, const std::string&) { SendAll(socket, Answer("200 OK", "")); });
    Fetcher fetch;
    const std::string local = fetch.dir / "f";
    WriteFile(local, "previous");
    ASSERT_TRUE(fetch.Get(server.Url() + "/f", local, 10));
    EXPECT_TRUE(Exists(local));
    EXPECT_EQ(ReadFile(local), "");
    const auto bytes = fetch.Bytes();
    ASSERT_EQ(bytes.size(), 1u);
    EXPECT_EQ(bytes[0], (std::pair<std::uint64_t, std::int64_t>(0, 10)));
}

TEST(Fetch, RedirectsAreFollowed)
{
    ScriptedServer server([&](int socket, const std::string& target) {
        if (target.rfind("/old", 0) == 0)
            SendAll(socket, Answer("302 Found", "moved", "Location: /new/f.zip\r\n"));
        else
            SendAll(socket, Answer("200 OK", "payload"));
    });
    Fetcher fetch;
    const std::string local = fetch.dir / "f";
    ASSERT_TRUE(fetch.Get(server.Url() + "/old/f.zip", local, 7));
    EXPECT_EQ(ReadFile(local), "payload");
    EXPECT_EQ(server.Targets().size(), 2u);
}

TEST(Fetch, ConnectionResetMidBodyFails)
{
    ScriptedServer server([&](int socket, const std::string&) {
        SendAll(socket, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(3000, 'x'));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        linger hard{1, 0};
        ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    });
    Fetcher fetch;
    EXPECT_FALSE(fetch.Get(server.Url() + "/f", fetch.dir / "f", 100000));
}

TEST(Fetch, StalledServerTimesOut)
{
    Tovarin::HttpSetStallSeconds(2);
    Fetcher fetch;
    std::atomic<bool> gaveUp{false};
    const auto start = std::chrono::steady_clock::now();
    // The first answers a little and stalls; the handler holds the socket
    // open until the server stops, after the fetch gave up.
    ScriptedServer stalling([&](int socket, const std::string&) {
        SendAll(socket, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(1000, 'x'));
        WaitUntil([&] { return gaveUp.load(); });
    });
    EXPECT_FALSE(fetch.Get(stalling.Url() + "/f", fetch.dir / "f", 100000));
    gaveUp.store(true);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
    EXPECT_LT(seconds.count(), 6);
    Tovarin::HttpSetStallSeconds(0);
}

// Servers that send more than the list says, or send too slowly: each case
// must fail the fetch, and a body over the limit never grows the local file
// beyond it.
TEST(Fetch, MisbehavingServers)
{
    const std::string body(18000, 'b');
    const auto chunked = [&](int socket) {
        SendAll(socket, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n");
        for (int i = 0; i < 3; ++i)
            SendAll(socket, "1770\r\n" + body.substr(0, 6000) + "\r\n");
        SendAll(socket, "0\r\n\r\n");
    };
    // 40 bytes every 100 ms: never stalled, but far below a floor of 1000
    // bytes per second; ends when the client has gone.
    const auto trickle = [](int socket) {
        SendAll(socket, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n");
        for (int i = 0; i < 2500; ++i) {
            if (::send(socket, std::string(40, 't').data(), 40, MSG_NOSIGNAL) != 40)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    };
    struct {
        const char* name;
        std::function<void(int)> answer;
        std::uint64_t limit;
        bool slowFloor;
        bool accepted;
    } cases[] = {
        {"announced longer than the limit", [&](int s) { SendAll(s, Answer("200 OK", body)); }, 10000, false, false},
        {"chunked, longer than the limit", chunked, 10000, false, false},
        {"unannounced, longer than the limit",
         [&](int s) { SendAll(s, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body); }, 10000, false, false},
        {"exactly the limit", [&](int s) { SendAll(s, Answer("200 OK", body)); }, 18000, false, true},
        {"chunked, exactly the limit", chunked, 18000, false, true},
        {"a trickle below the speed floor", trickle, CTovarinThread::kNoSizeLimit, true, false},
    };
    for (const auto& c : cases) {
        if (c.slowFloor)
            Tovarin::HttpSetSpeedFloor(1000, 1);
        ScriptedServer server([&](int socket, const std::string&) { c.answer(socket); });
        Fetcher fetch;
        const std::string local = fetch.dir / "f.zip";
        EXPECT_EQ(fetch.worker.DownloadFile(Wide(server.Url() + "/f.zip"), Wide(local), 0, c.limit),
                  c.accepted ? TRUE : FALSE)
            << c.name;
        if (c.accepted) {
            EXPECT_EQ(ReadFile(local), body) << c.name;
        } else if (Exists(local)) {
            EXPECT_LE(ReadFile(local).size(), c.limit) << c.name;
        }
        Tovarin::HttpSetSpeedFloor(0, 0);
    }
}

// loopback_server.py in a process of its own: keeps connections open across
// requests, and speaks TLS when given a certificate.
class LoopbackServer {
public:
    bool Start(const std::string& cert = "", const std::string& key = "")
    {
        std::vector<std::string> args{LOOPBACK_SERVER, m_dir / "port", m_dir / "log"};
        if (!cert.empty()) {
            args.push_back(cert);
            args.push_back(key);
        }
        m_scheme = cert.empty() ? "http" : "https";
        if (!m_process.Start("python3", args) || !WaitUntil([&] { return Exists(m_dir / "port"); }))
            return false;
        m_port = ReadFile(m_dir / "port");
        return true;
    }
    std::string Url() const { return m_scheme + "://127.0.0.1:" + m_port; }
    // (client port, target) of every request so far.
    std::vector<std::pair<std::string, std::string>> Log() const
    {
        std::vector<std::pair<std::string, std::string>> lines;
        std::istringstream in(ReadFile(m_dir / "log"));
        std::string port, target;
        while (in >> port >> target)
            lines.emplace_back(port, target);
        return lines;
    }

private:
    TempFolder m_dir;
    Process m_process;
    std::string m_scheme, m_port;
};

// One session serves every fetch of a worker: the files of an update travel
// over one connection.
TEST(Fetch, OneConnectionCarriesEveryFetch)
{
    LoopbackServer server;
    ASSERT_TRUE(server.Start());
    Fetcher fetch;
    for (int i = 1; i <= 3; ++i)
        ASSERT_TRUE(fetch.Get(server.Url() + "/size/" + std::to_string(1000 * i), fetch.dir / "f", 0));
    EXPECT_EQ(ReadFile(fetch.dir / "f"), std::string(3000, 'x'));
    const auto log = server.Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].first, log[1].first);
    EXPECT_EQ(log[1].first, log[2].first);
}

// A request made over TLS follows redirects to https only; plain requests
// may be sent on to https.
TEST(Fetch, RedirectFromHttpsToHttpIsRefused)
{
    TempFolder dir;
    const std::string cert = dir / "cert.pem", key = dir / "key.pem";
    const PROCESS_RESULT made = MakeLoopbackCertificate(cert, key);
    ASSERT_EQ(made.status, 0) << made.output;
    LoopbackServer secure, plain;
    ASSERT_TRUE(secure.Start(cert, key));
    ASSERT_TRUE(plain.Start());
    Tovarin::HttpSetCaFile(cert);
    struct { std::string from, to; bool followed; } cases[] = {
        {secure.Url(), plain.Url(), false},
        {secure.Url(), secure.Url(), true},
        {plain.Url(), secure.Url(), true},
        {plain.Url(), plain.Url(), true},
    };
    for (const auto& c : cases) {
        Fetcher fetch;
        const std::string local = fetch.dir / "f";
        EXPECT_EQ(fetch.Get(c.from + "/redirect/" + c.to + "/size/5", local, 0), c.followed ? TRUE : FALSE)
            << c.from << " -> " << c.to;
        EXPECT_EQ(Exists(local), c.followed) << c.from << " -> " << c.to;
    }
    Tovarin::HttpSetCaFile("");
    // The refused redirect never reached the plain server.
    int plainSizes = 0;
    for (const auto& [port, target] : plain.Log())
        plainSizes += target.rfind("/size/", 0) == 0 ? 1 : 0;
    EXPECT_EQ(plainSizes, 1);
}

TEST(Fetch, RefusesWhileNotRunningAndPublishesItsHandleOnlyDuringTheTransfer)
{
    Fetcher fetch;
    bool published = false;
    ScriptedServer server([&](int socket, const std::string&) {
        {
            std::lock_guard<std::mutex> guard(fetch.worker.m_cs);
            published = fetch.worker.m_hInternet != nullptr;
        }
        SendAll(socket, Answer("200 OK", "x"));
    });
    fetch.worker.m_bRunning = FALSE;
    const std::string local = fetch.dir / "f";
    EXPECT_FALSE(fetch.Get(server.Url() + "/f", local, 1));
    EXPECT_TRUE(server.Targets().empty());
    EXPECT_FALSE(Exists(local));

    fetch.worker.m_bRunning = TRUE;
    EXPECT_TRUE(fetch.Get(server.Url() + "/f", local, 1));
    EXPECT_TRUE(published);
    std::lock_guard<std::mutex> guard(fetch.worker.m_cs);
    EXPECT_EQ(fetch.worker.m_hInternet, nullptr);
    EXPECT_EQ(fetch.worker.m_hConnect, nullptr);
    EXPECT_EQ(fetch.worker.m_hRequest, nullptr);
}

// A local file that cannot be created or written ends the fetch with FALSE.
TEST(Fetch, LocalWriteFailureIsAnOrdinaryFailure)
{
    const std::string body = RandomBytes(50000, 3);
    ScriptedServer server([&](int socket, const std::string&) { SendAll(socket, Answer("200 OK", body)); });
    Fetcher fetch;
    EXPECT_FALSE(fetch.Get(server.Url() + "/f", "/dev/full", 50000));
    EXPECT_FALSE(fetch.Get(server.Url() + "/f", fetch.dir / "missing/f", 50000));
    std::lock_guard<std::mutex> guard(fetch.worker.m_cs);
    EXPECT_EQ(fetch.worker.m_hInternet, nullptr);
}

TEST(Fetch, ProxySettingsOfTheEnvironmentAreIgnored)
{
    ScriptedServer server([&](int socket, const std::string&) { SendAll(socket, Answer("200 OK", "direct")); });
    ::setenv("http_proxy", "http://127.0.0.1:9", 1);
    ::setenv("HTTP_PROXY", "http://127.0.0.1:9", 1);
    Fetcher fetch;
    const BOOL ok = fetch.Get(server.Url() + "/f", fetch.dir / "f", 0);
    ::unsetenv("http_proxy");
    ::unsetenv("HTTP_PROXY");
    EXPECT_TRUE(ok);
}

} // namespace
