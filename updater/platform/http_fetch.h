// One HTTP GET streamed to a receiver, for the update worker.
//
// The transfer runs on the calling thread. The session handle is opaque to
// callers (it is the transfer's library handle); one session serves one
// request. Connections are kept in a process-wide cache and reused by later
// sessions to the same server.
#pragma once

#include <cstddef>
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

// A session for one request with the fixed settings: agent "Tovarin", no
// proxy, redirects followed, https over TLS when the URL says so, a connect
// time-out and a stall time-out (see HttpSetStallSeconds). Null on failure.
void* HttpOpenSession();
void HttpCloseSession(void* session);

// GET of `url` (UTF-8, absolute). Backslashes in the URL's path become '/',
// and bytes that cannot stand in a URL are percent-encoded. True when the
// whole body was received and the receiver accepted all of it; the receiver
// decides which status codes it accepts.
bool HttpGet(void* session, const std::string& url, IHttpReceiver& receiver);

// A transfer that receives less than one byte per second for this many
// seconds fails; connecting may take as long. The default is 60, or the value
// of TOVARIN_STALL_SECONDS in the environment. Mainly for tests.
void HttpSetStallSeconds(long seconds);

// Trust only the certificate authorities in this PEM file for https (empty:
// the system's store). For tests with a certificate of their own.
void HttpSetCaFile(const std::string& path);

// The URL as it is sent: backslashes in the path turned into '/', unsafe
// bytes percent-encoded. Exposed for tests.
std::string NormalizeUrl(const std::string& url);

} // namespace Tovarin
