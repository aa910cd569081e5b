// What the key and signature code of this library share: the text layer
// and the prehash.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace minisign_internal {

inline constexpr std::string_view kUntrusted = "untrusted comment: ";
inline constexpr std::string_view kTrusted = "trusted comment: ";

// Canonical, padded base64 of exactly `bytes` bytes and nothing else.
bool DecodeExact(std::string_view text, unsigned char* out, std::size_t bytes);

// Padded base64 of the bytes.
std::string Encode(const unsigned char* data, std::size_t bytes);

// Splits a file of at most kMinisignMaxFile bytes into exactly `count`
// lines: LF ends a line, a CR right before it is dropped, and the last
// line's LF may be missing. False for another count, or when a line holds a
// NUL or another CR.
bool SplitLines(std::string_view text, std::string_view* lines, std::size_t count);

// The text of a comment line that starts with `prefix`, at most
// kMinisignMaxComment bytes.
bool CommentText(std::string_view line, std::string_view prefix, std::string& text);

// A comment that can stand on one line: no LF, CR or NUL, within the limit.
bool CanWriteComment(std::string_view text);

// BLAKE2b-512 of data, the message of a prehashed ("ED") signature.
using PREHASH = std::array<unsigned char, 64>;
PREHASH PrehashBuffer(const unsigned char* data, std::size_t length);
// The same over a file streamed from disk; false when it cannot be read.
bool PrehashFile(const std::string& path, PREHASH& hash);

} // namespace minisign_internal
