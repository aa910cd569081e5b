#include "terminal_front.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>

#include "front_ops.h"
#include "text.h"

namespace {

// The byte line is refreshed at most this often.
constexpr auto BYTES_INTERVAL = std::chrono::milliseconds(250);
// Cells of the bar on a terminal line, leaving room for the texts.
constexpr unsigned TERMINAL_CELLS = 26;

}  // namespace

CTerminalFront::CTerminalFront(std::FILE* out, bool bTerminal, unsigned nColumns)
    : m_out(out),
      m_bTerminal(bTerminal),
      m_nColumns(nColumns),
      m_queue({}, NOTIFY_BYTES::Latest)
{
}

CTerminalFront::~CTerminalFront()
{
    m_queue.Close();
}

bool CTerminalFront::PostNotify(unsigned message, WPARAM wParam, LPARAM lParam)
{
    return m_queue.PostNotify(message, wParam, lParam);
}

std::string CTerminalFront::FormatBar(unsigned progress, unsigned cells)
{
    const unsigned shown = progress < UPDATE_STEP_LAST_STATUS ? progress : UPDATE_STEP_LAST_STATUS;
    const unsigned filled = shown * cells / UPDATE_STEP_LAST_STATUS;
    std::string bar = "[";
    bar.append(filled, '#');
    bar.append(cells - filled, '.');
    bar += progress == UPDATE_STEP_DONE ? ']' : ' ';
    char step[16];
    std::snprintf(step, sizeof step, " %2u/%u", progress, UPDATE_STEP_DONE);
    return bar + step;
}

static unsigned CharColumns(wchar_t c)
{
    const auto v = static_cast<std::uint32_t>(c);
    const bool wide = (v >= 0x1100 && v <= 0x115F) || (v >= 0x2E80 && v <= 0xA4CF) || (v >= 0xAC00 && v <= 0xD7A3) ||
                      (v >= 0xF900 && v <= 0xFAFF) || (v >= 0xFE30 && v <= 0xFE4F) || (v >= 0xFF00 && v <= 0xFF60) ||
                      (v >= 0xFFE0 && v <= 0xFFE6) || (v >= 0x20000 && v <= 0x3FFFD);
    return wide ? 2 : 1;
}

std::string CTerminalFront::FitColumns(const std::wstring& text, unsigned columns)
{
    std::wstring fitted;
    unsigned used = 0;
    for (wchar_t c : text) {
        const unsigned width = c < 0x20 ? 0 : CharColumns(c);
        if (used + width > columns) {
            break;
        }
        if (width != 0) {
            fitted += c;
        }
        used += width;
    }
    return WideToAnsiLossy(fitted);
}

int CTerminalFront::Run()
{
    while (m_nResult == 0) {
        // The time limit lets a byte line held back by the rate limit out.
        for (const NOTIFY_MESSAGE& msg : m_queue.WaitAndTakeAll(BYTES_INTERVAL)) {
            if (m_nResult == 0) {
                Handle(msg);
            } else {
                FreeNotifyMessage(msg);
            }
        }
        if (!m_bBytesShown && std::chrono::steady_clock::now() - m_lastBytes >= BYTES_INTERVAL) {
            ShowBytes();
        }
    }
    if (m_bTerminal) {
        std::fputc('\n', m_out);
    }
    std::fflush(m_out);
    return m_nResult;
}

void CTerminalFront::Handle(const NOTIFY_MESSAGE& msg)
{
    switch (msg.message) {
    case WM_UPDATE_STATUS: {
        // The last count of the previous file goes out before the new status.
        FlushBytes();
        m_nProgress = msg.wParam > UPDATE_STEP_LAST_STATUS ? UPDATE_STEP_LAST_STATUS : static_cast<unsigned>(msg.wParam);
        auto* text = reinterpret_cast<std::wstring*>(msg.lParam);
        m_status = text ? *text : std::wstring();
        delete text;
        ShowStatus();
        break;
    }
    case WM_UPDATE_BYTES: {
        std::string line;
        if (msg.lParam != 0) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%u Byte/ %u Byte", static_cast<unsigned>(static_cast<std::uint32_t>(msg.wParam)),
                          static_cast<unsigned>(static_cast<std::uint32_t>(msg.lParam)));
            line = buf;
        }
        if (line != m_bytes) {
            m_bytes = line;
            m_bBytesShown = false;
        }
        if (!m_bBytesShown && std::chrono::steady_clock::now() - m_lastBytes >= BYTES_INTERVAL) {
            ShowBytes();
        }
        break;
    }
    case WM_UPDATE_CLOSE:
        FlushBytes();
        m_nResult = IDCANCEL;
        break;
    case WM_UPDATE_DONE:
        FlushBytes();
        m_nProgress = UPDATE_STEP_DONE;
        m_nResult = IDOK;
        ShowStatus();
        break;
    default:
        break;
    }
}

void CTerminalFront::DrawLine()
{
    // Bar, status and bytes on one line, the status cut so that the line
    // fits the terminal (a wrapped line could not be rewritten).
    const std::string bar = FormatBar(m_nProgress, TERMINAL_CELLS);
    const std::string bytes = m_bytes.empty() ? std::string() : "  " + m_bytes;
    unsigned room = ~0u;
    if (m_nColumns != 0) {
        const unsigned fixed = static_cast<unsigned>(bar.size() + 1 + bytes.size()) + 1;
        room = m_nColumns > fixed ? m_nColumns - fixed : 0;
    }
    std::fprintf(m_out, "\r%s %s%s\x1b[K", bar.c_str(), FitColumns(m_status, room).c_str(), bytes.c_str());
    std::fflush(m_out);
}

void CTerminalFront::ShowStatus()
{
    if (m_bTerminal) {
        DrawLine();
        m_bBytesShown = true;
        return;
    }
    std::fprintf(m_out, "%s %s\n", FormatBar(m_nProgress, UPDATE_STEP_LAST_STATUS).c_str(), FitColumns(m_status, ~0u).c_str());
    std::fflush(m_out);
}

void CTerminalFront::ShowBytes()
{
    if (m_bTerminal) {
        DrawLine();
    } else if (!m_bytes.empty()) {
        std::fprintf(m_out, "  %s\n", m_bytes.c_str());
        std::fflush(m_out);
    }
    m_bBytesShown = true;
    m_lastBytes = std::chrono::steady_clock::now();
}

void CTerminalFront::FlushBytes()
{
    if (!m_bBytesShown) {
        ShowBytes();
    }
}

bool StandardOutputIsTerminal()
{
    return isatty(STDOUT_FILENO) != 0;
}

unsigned StandardOutputColumns()
{
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}
