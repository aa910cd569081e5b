// SHA-256 of a buffer or a file, streamed; the digests that the update list
// carries for every file archive ("CompressSha256", 64 lowercase hex digits).
// Portable: standard C file reading only. Any thread; no shared state.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>

using SHA256_DIGEST = std::array<unsigned char, 32>;

// An incremental SHA-256. Final ends it; Update after Final is not allowed.
class CSha256 {
public:
    CSha256();
    ~CSha256();
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    void Update(const void* data, std::size_t length);
    SHA256_DIGEST Final();

private:
    struct STATE;
    std::unique_ptr<STATE> m_pState;
};

SHA256_DIGEST Sha256OfBuffer(const void* data, std::size_t length);

// Reads the file at path (UTF-8) from start to end. False when it cannot be
// opened or a read fails; the digest is then left unchanged.
bool Sha256OfFile(const std::string& path, SHA256_DIGEST& digest);

// 64 lowercase hex digits.
std::string Sha256Hex(const SHA256_DIGEST& digest);

// True for exactly 64 lowercase hex digits, the form the list carries; the
// digest is filled when it is given.
bool ParseSha256Hex(const char* text, SHA256_DIGEST* digest = nullptr);
