#include "replay.h"

#include <charconv>
#include <cstring>

namespace {

// The key letters and their flags (the values of input.h's KEY_*).
struct KeyLetter {
    char letter;
    std::uint8_t flag;
};
constexpr KeyLetter KEY_LETTERS[] = {{'R', 0x01}, {'L', 0x08}, {'A', 0x10}, {'J', 0x20}};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Splits at runs of blanks; at most max + 1 fields are returned, so a caller
// sees when there are too many.
std::vector<std::string_view> Fields(std::string_view line, std::size_t max)
{
    std::vector<std::string_view> fields;
    while (!line.empty() && fields.size() <= max) {
        std::size_t end = 0;
        while (end < line.size() && !IsBlank(line[end]))
            ++end;
        fields.push_back(line.substr(0, end));
        line.remove_prefix(end);
        while (!line.empty() && IsBlank(line.front()))
            line.remove_prefix(1);
    }
    return fields;
}

bool ParseCount(std::string_view text, long long& count)
{
    if (text.empty() || text.size() > 12)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), count);
    return ec == std::errc() && end == text.data() + text.size() && count >= 1 && count <= KEY_RUN_MAX_COUNT;
}

bool ParseKeys(std::string_view text, std::uint8_t& keys)
{
    keys = 0;
    if (text == "-")
        return true;
    if (text.empty())
        return false;
    for (char c : text) {
        std::uint8_t flag = 0;
        for (const KeyLetter& k : KEY_LETTERS)
            if (k.letter == c)
                flag = k.flag;
        if (flag == 0 || (keys & flag) != 0)
            return false;
        keys |= flag;
    }
    return true;
}

std::string Quoted(std::string_view s)
{
    constexpr std::size_t SHOWN = 40;
    std::string out = "\"";
    for (char c : s.substr(0, SHOWN))
        out += (c >= 0x20 && c < 0x7F) ? c : '?';
    if (s.size() > SHOWN)
        out += "...";
    return out + "\"";
}

// One non-blank, non-comment line; false with the reason in error.
bool ParseLine(std::string_view line, KeyRun& run, std::string& error)
{
    const std::vector<std::string_view> f = Fields(line, 3);
    if (f.size() < 2 || f.size() > 3) {
        error = "expected COUNT KEYS [DT], got " + Quoted(line);
        return false;
    }
    if (!ParseCount(f[0], run.count)) {
        error = "the frame count " + Quoted(f[0]) + " is not a whole number from 1 to " +
                std::to_string(KEY_RUN_MAX_COUNT);
        return false;
    }
    if (!ParseKeys(f[1], run.keys)) {
        error = "the keys " + Quoted(f[1]) + " are not \"-\" or letters from R, L, A, J, each at most once";
        return false;
    }
    run.hasDt = f.size() == 3;
    if (run.hasDt && !ParseStep(f[2], run.dt)) {
        error = "the step " + Quoted(f[2]) + " is not a number of seconds from 0 to 0.05";
        return false;
    }
    return true;
}

}  // namespace

bool ParseStep(std::string_view text, float& step)
{
    if (text.empty() || text.size() > 64)
        return false;
    // Only plain decimal notation: no sign, no "inf" or "nan".
    for (char c : text)
        if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+'))
            return false;
    if (text.front() == '-' || text.front() == '+')
        return false;
    float value = 0.0f;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return false;
    if (!(value >= 0.0f && value <= KEY_RUN_MAX_STEP))
        return false;
    step = value;
    return true;
}

bool ParseKeyScript(std::string_view text, std::vector<KeyRun>& runs, std::string& error)
{
    std::vector<KeyRun> parsed;
    long long lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        KeyRun run;
        std::string why;
        if (!ParseLine(line, run, why)) {
            error = "line " + std::to_string(lineNumber) + ": " + why;
            return false;
        }
        parsed.push_back(run);
    }
    runs = std::move(parsed);
    return true;
}

std::string KeyLetters(std::uint8_t keys)
{
    std::string letters;
    for (const KeyLetter& k : KEY_LETTERS)
        if (keys & k.flag)
            letters += k.letter;
    return letters.empty() ? "-" : letters;
}

std::string FormatKeyRun(const KeyRun& run)
{
    char dt[32] = "";
    if (run.hasDt)
        std::snprintf(dt, sizeof dt, " %.9g", static_cast<double>(run.dt));
    return std::to_string(run.count) + " " + KeyLetters(run.keys) + dt + "\n";
}

std::string FormatSummary(long long frames, int level, float x, float y, int action)
{
    char line[160];
    std::snprintf(line, sizeof line, "frames %lld, level %d, x %.9g, y %.9g, action %d", frames, level,
                  static_cast<double>(x), static_cast<double>(y), action);
    return line;
}

void KeyRecorder::Frame(float dt, std::uint8_t keys)
{
    ++m_frames;
    const bool same = m_run.count > 0 && m_run.keys == keys && std::memcmp(&m_run.dt, &dt, sizeof dt) == 0 &&
                      m_run.count < KEY_RUN_MAX_COUNT;
    if (same) {
        ++m_run.count;
        return;
    }
    Flush();
    m_run.count = 1;
    m_run.keys = keys;
    m_run.hasDt = true;
    m_run.dt = dt;
}

void KeyRecorder::Flush()
{
    if (m_run.count == 0 || m_file == nullptr)
        return;
    const std::string line = FormatKeyRun(m_run);
    std::fputs(line.c_str(), m_file);
    std::fflush(m_file);
    m_run.count = 0;
}
