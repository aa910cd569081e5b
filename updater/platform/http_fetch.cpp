// The worker's HTTP GET on libcurl's easy interface.
#include "http_fetch.h"

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>

#include <curl/curl.h>

namespace Tovarin {
namespace {

std::atomic<long> g_stallSeconds{0};
std::atomic<long> g_floorBytes{0};
std::atomic<long> g_floorSeconds{0};
std::mutex g_caLock;
std::string g_caFile;

long StallSeconds()
{
    const long set = g_stallSeconds.load();
    if (set > 0)
        return set;
    if (const char* text = std::getenv("TOVARIN_STALL_SECONDS")) {
        const long value = std::strtol(text, nullptr, 10);
        if (value > 0)
            return value;
    }
    return 60;
}

struct SPEED_FLOOR {
    long bytesPerSecond;
    long seconds;
};

SPEED_FLOOR SpeedFloor()
{
    SPEED_FLOOR floor{g_floorBytes.load(), g_floorSeconds.load()};
    if (floor.bytesPerSecond > 0 && floor.seconds > 0)
        return floor;
    if (const char* text = std::getenv("TOVARIN_SPEED_FLOOR")) {
        char* end = nullptr;
        const long bytes = std::strtol(text, &end, 10);
        const long seconds = *end == '/' ? std::strtol(end + 1, nullptr, 10) : 0;
        if (bytes > 0 && seconds > 0)
            return SPEED_FLOOR{bytes, seconds};
    }
    return SPEED_FLOOR{1024, 60};
}

// One connection cache for the process, so that the many short sessions of an
// update reuse the same connection to the server.
class CConnectionShare {
public:
    CConnectionShare()
    {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        m_share = curl_share_init();
        if (m_share) {
            curl_share_setopt(m_share, CURLSHOPT_LOCKFUNC, &CConnectionShare::Lock);
            curl_share_setopt(m_share, CURLSHOPT_UNLOCKFUNC, &CConnectionShare::Unlock);
            curl_share_setopt(m_share, CURLSHOPT_USERDATA, this);
            curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
            curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        }
    }
    CURLSH* Handle() const { return m_share; }

private:
    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self)
    {
        static_cast<CConnectionShare*>(self)->m_locks[Slot(data)].lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* self)
    {
        static_cast<CConnectionShare*>(self)->m_locks[Slot(data)].unlock();
    }
    static int Slot(curl_lock_data data) { return data == CURL_LOCK_DATA_CONNECT ? 0 : data == CURL_LOCK_DATA_DNS ? 1 : 2; }

    CURLSH* m_share = nullptr;
    std::recursive_mutex m_locks[3];
};

// Never destroyed: sessions may still be closing on a detached worker thread
// while the process exits.
CConnectionShare& Share()
{
    static CConnectionShare* share = new CConnectionShare;
    return *share;
}

struct TRANSFER {
    CURL* curl;
    IHttpReceiver* receiver;
    bool statusGiven;
    bool refused;
    long stallSeconds;
    curl_off_t lastReceived;
    std::chrono::steady_clock::time_point lastProgress;
    SPEED_FLOOR floor;
    curl_off_t windowReceived;        // the byte count when the floor's window began
    std::chrono::steady_clock::time_point windowStart;
};

// The floor is judged over consecutive windows of floor.seconds from the
// start of the request (waiting for the answer counts): each must bring at
// least bytesPerSecond × seconds bytes.
bool BelowSpeedFloor(TRANSFER& transfer, curl_off_t received, std::chrono::steady_clock::time_point now)
{
    if (now - transfer.windowStart < std::chrono::seconds(transfer.floor.seconds))
        return false;
    const curl_off_t wanted = static_cast<curl_off_t>(transfer.floor.bytesPerSecond) * transfer.floor.seconds;
    if (received - transfer.windowReceived < wanted)
        return true;
    transfer.windowReceived = received;
    transfer.windowStart = now;
    return false;
}

// Called by curl about once a second, also while nothing arrives: a transfer
// whose byte count has not moved for the stall time, or that stays below the
// speed floor, is abandoned.
int OnProgress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t)
{
    TRANSFER& transfer = *static_cast<TRANSFER*>(user);
    const auto now = std::chrono::steady_clock::now();
    if (BelowSpeedFloor(transfer, received, now))
        return 1;
    if (received != transfer.lastReceived) {
        transfer.lastReceived = received;
        transfer.lastProgress = now;
        return 0;
    }
    return now - transfer.lastProgress >= std::chrono::seconds(transfer.stallSeconds) ? 1 : 0;
}

bool GiveStatus(TRANSFER& transfer)
{
    if (transfer.statusGiven)
        return !transfer.refused;
    transfer.statusGiven = true;
    long status = 0;
    curl_easy_getinfo(transfer.curl, CURLINFO_RESPONSE_CODE, &status);
    transfer.refused = !transfer.receiver->OnStatus(status);
    return !transfer.refused;
}

size_t DeliverBody(char* data, size_t size, size_t count, void* user)
{
    TRANSFER& transfer = *static_cast<TRANSFER*>(user);
    const size_t length = size * count;
    if (!GiveStatus(transfer))
        return 0;
    // curl may hand over more than one read block at once; the receiver
    // always sees blocks of at most kHttpReadBlock bytes.
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data);
    for (size_t offset = 0; offset < length; offset += kHttpReadBlock) {
        const size_t block = length - offset < kHttpReadBlock ? length - offset : kHttpReadBlock;
        if (!transfer.receiver->OnBlock(bytes + offset, block))
            return 0;
    }
    return length;
}

// Called from C: nothing may be thrown through it; a receiver that throws
// abandons the transfer.
size_t OnBody(char* data, size_t size, size_t count, void* user)
{
    try {
        return DeliverBody(data, size, count, user);
    } catch (...) {
        return 0;
    }
}

bool IsUrlByte(unsigned char c)
{
    if (c <= 0x20 || c >= 0x7F)
        return false;
    switch (c) {
    case '"': case '<': case '>': case '`': case '{': case '}': case '|': case '^': case '#':
        return false;
    default:
        return true;
    }
}

constexpr long kReceiveBuffer = 64 * 1024;

bool IsHttpsUrl(const std::string& url)
{
    static const char kScheme[] = "https:";
    if (url.size() < sizeof kScheme - 1)
        return false;
    for (std::size_t i = 0; i < sizeof kScheme - 1; ++i)
        if (std::tolower(static_cast<unsigned char>(url[i])) != kScheme[i])
            return false;
    return true;
}

bool IsHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace

std::string NormalizeUrl(const std::string& url)
{
    static const char kHex[] = "0123456789ABCDEF";
    const std::size_t scheme = url.find("://");
    const std::size_t authorityStart = scheme == std::string::npos ? 0 : scheme + 3;
    std::size_t pathStart = url.find_first_of("/\\?", authorityStart);
    if (pathStart == std::string::npos)
        pathStart = url.size();
    std::string result = url.substr(0, pathStart);
    bool inQuery = false;
    for (std::size_t i = pathStart; i < url.size(); ++i) {
        const char c = url[i];
        if (c == '?')
            inQuery = true;
        if (c == '\\' && !inQuery) {
            result += '/';
        } else if (c == '\\') {
            result += "%5C";
        } else if (c == '%' && !(i + 2 < url.size() && IsHex(url[i + 1]) && IsHex(url[i + 2]))) {
            result += "%25";
        } else if (IsUrlByte(static_cast<unsigned char>(c)) || c == '%') {
            result += c;
        } else {
            const unsigned char byte = static_cast<unsigned char>(c);
            result += '%';
            result += kHex[byte >> 4];
            result += kHex[byte & 15];
        }
    }
    return result;
}

bool HttpStartLibrary()
{
    return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}

void* HttpOpenSession()
{
    CURLSH* share = Share().Handle();
    CURL* curl = curl_easy_init();
    if (!curl)
        return nullptr;
    const long stall = StallSeconds();
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Tovarin");
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    // A larger receive buffer means fewer, larger deliveries; the receiver
    // still gets blocks of at most kHttpReadBlock bytes.
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBuffer);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, stall);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, nullptr);
    if (share)
        curl_easy_setopt(curl, CURLOPT_SHARE, share);
    {
        std::lock_guard<std::mutex> guard(g_caLock);
        if (!g_caFile.empty())
            curl_easy_setopt(curl, CURLOPT_CAINFO, g_caFile.c_str());
    }
    return curl;
}

void HttpCloseSession(void* session)
{
    if (session)
        curl_easy_cleanup(static_cast<CURL*>(session));
}

bool HttpGet(void* session, const std::string& url, IHttpReceiver& receiver, std::uint64_t maxBody)
{
    if (!session)
        return false;
    CURL* curl = static_cast<CURL*>(session);
    const auto start = std::chrono::steady_clock::now();
    TRANSFER transfer{curl, &receiver, false, false, StallSeconds(), -1, start, SpeedFloor(), 0, start};
    const std::string sent = NormalizeUrl(url);
    curl_easy_setopt(curl, CURLOPT_URL, sent.c_str());
    // What began over TLS stays over TLS: an https request follows redirects
    // to https only.
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, IsHttpsUrl(sent) ? "https" : "http,https");
    const curl_off_t limit = maxBody > static_cast<std::uint64_t>(INT64_MAX) ? 0 : static_cast<curl_off_t>(maxBody);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, limit);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    const CURLcode result = curl_easy_perform(curl);
    if (result != CURLE_OK)
        return false;
    try {
        return GiveStatus(transfer);
    } catch (...) {
        return false;
    }
}

void HttpSetStallSeconds(long seconds)
{
    g_stallSeconds.store(seconds);
}

void HttpSetSpeedFloor(long bytesPerSecond, long seconds)
{
    g_floorBytes.store(bytesPerSecond);
    g_floorSeconds.store(seconds);
}

void HttpSetCaFile(const std::string& path)
{
    std::lock_guard<std::mutex> guard(g_caLock);
    g_caFile = path;
}

} // namespace Tovarin
