// One HTTP GET streamed to a receiver, for the update worker.
//
// The transfer runs on the calling thread. The session handle is opaque to
// callers (it is the transfer's library handle); one session serves one
// request at a time and may be kept for later requests, which then reuse its
// connection to the same server. Connections are also kept in a process-wide
// cache shared by all sessions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Tovarin {

// Receives the answer to a GET. Both calls happen on the thread running
// HttpGet.
class IHttpReceiver {
public:
    virtual ~IHttpReceiver() = default;
    // Once the final status code is known, before any body byte; also for an
    // empty body. false abandons the transfer.
    virtual bool OnStatus(long status) = 0;
    // One block of the body, at most kHttpReadBlock bytes. false abandons the
    // transfer.
    virtual bool OnBlock(const unsigned char* data, std::size_t length) = 0;
};

constexpr std::size_t kHttpReadBlock = 5120;

// Starts the HTTP library for the process. Main thread, before any other
// thread exists (the library's start-up is not thread-safe); false when it
// cannot start. Never shut down: a worker may still be in a transfer when
// the process ends.
bool HttpStartLibrary();

// A session with the fixed settings: agent "Tovarin", no proxy, redirects
// followed (but never from https to http), https over TLS when the URL says
// so, a connect time-out, a stall time-out (see HttpSetStallSeconds) and a
// speed floor (see HttpSetSpeedFloor). Null on failure.
void* HttpOpenSession();
void HttpCloseSession(void* session);

// GET of `url` (UTF-8, absolute). Backslashes in the URL's path become '/',
// and bytes that cannot stand in a URL are percent-encoded. True when the
// whole body was received and the receiver accepted all of it; the receiver
// decides which status codes it accepts. A body announced longer than
// maxBody fails before any of it arrives (the receiver bounds what it takes
// of a body of unknown length).
constexpr std::uint64_t kHttpNoLimit = ~static_cast<std::uint64_t>(0);
bool HttpGet(void* session, const std::string& url, IHttpReceiver& receiver, std::uint64_t maxBody = kHttpNoLimit);

// A transfer that receives less than one byte per second for this many
// seconds fails; connecting may take as long. The default is 60, or the value
// of TOVARIN_STALL_SECONDS in the environment. Mainly for tests.
void HttpSetStallSeconds(long seconds);

// A transfer that receives fewer than `bytesPerSecond` × `seconds` bytes in
// any `seconds`-long stretch after its start fails, so that a server sending
// a trickle cannot hold it for ever. The default is 1024 bytes per second
// over 60 seconds, or the value of TOVARIN_SPEED_FLOOR ("BYTES/SECONDS") in
// the environment; 0 for either restores it. For tests.
void HttpSetSpeedFloor(long bytesPerSecond, long seconds);

// Trust only the certificate authorities in this PEM file for https (empty:
// the system's store). For tests with a certificate of their own.
void HttpSetCaFile(const std::string& path);

// The URL as it is sent: backslashes in the path turned into '/', unsafe
// bytes percent-encoded. Exposed for tests.
std::string NormalizeUrl(const std::string& url);

} // namespace Tovarin
