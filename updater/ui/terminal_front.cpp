#include "terminal_front.h"

#include <cwchar>

#include "text.h"
#include "tovarin_dlg.h"

namespace {

// The byte line is refreshed at most this often.
constexpr auto BYTES_INTERVAL = std::chrono::milliseconds(250);
// Cells of the bar on a terminal line, leaving room for the texts.
constexpr unsigned TERMINAL_CELLS = 26;

}  // namespace

CTerminalFront::CTerminalFront(std::FILE* out, bool bTerminal)
    : m_out(out),
      m_bTerminal(bTerminal),
      m_queue([this] {
          std::lock_guard<std::mutex> guard(m_wakeLock);
          m_bWoken = true;
          m_wake.notify_one();
      })
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
    const unsigned shown = progress < BAR_CELLS ? progress : BAR_CELLS;
    const unsigned filled = shown * cells / BAR_CELLS;
    std::string bar = "[";
    bar.append(filled, '#');
    bar.append(cells - filled, '.');
    bar += progress == BAR_FULL ? ']' : ' ';
    char step[16];
    std::snprintf(step, sizeof step, " %2u/%u", progress, BAR_FULL);
    return bar + step;
}

int CTerminalFront::Run()
{
    while (m_nResult == 0) {
        {
            std::unique_lock<std::mutex> guard(m_wakeLock);
            // The timeout lets a byte line held back by the rate limit out.
            m_wake.wait_for(guard, BYTES_INTERVAL, [this] { return m_bWoken; });
            m_bWoken = false;
        }
        for (const NOTIFY_MESSAGE& msg : m_queue.TakeAll()) {
            if (m_nResult == 0) {
                Handle(msg);
            } else {
                FreeNotifyMessage(msg);
            }
        }
        if (!m_bBytesShown && std::chrono::steady_clock::now() - m_lastBytes >= BYTES_INTERVAL) {
            Render(false);
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
        m_nProgress = msg.wParam > BAR_CELLS ? BAR_CELLS : static_cast<unsigned>(msg.wParam);
        auto* text = reinterpret_cast<std::wstring*>(msg.lParam);
        m_status = text ? WideToAnsiLossy(*text) : std::string();
        delete text;
        Render(true);
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
        break;
    }
    case WM_UPDATE_CLOSE:
        m_nResult = IDCANCEL;
        break;
    case WM_UPDATE_DONE:
        m_nProgress = BAR_FULL;
        m_nResult = IDOK;
        Render(true);
        break;
    default:
        break;
    }
}

void CTerminalFront::Render(bool bStatusChanged)
{
    if (bStatusChanged) {
        // A status change shows the byte line as it stands.
        m_bBytesShown = false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (m_bTerminal) {
        std::fprintf(m_out, "\r%s %s", FormatBar(m_nProgress, TERMINAL_CELLS).c_str(), m_status.c_str());
        if (!m_bytes.empty()) {
            std::fprintf(m_out, "  %s", m_bytes.c_str());
        }
        std::fputs("\x1b[K", m_out);
    } else if (bStatusChanged) {
        std::fprintf(m_out, "%s %s\n", FormatBar(m_nProgress, BAR_CELLS).c_str(), m_status.c_str());
        if (!m_bytes.empty()) {
            std::fprintf(m_out, "  %s\n", m_bytes.c_str());
        }
    } else if (!m_bytes.empty()) {
        std::fprintf(m_out, "  %s\n", m_bytes.c_str());
    }
    std::fflush(m_out);
    m_bBytesShown = true;
    m_lastBytes = now;
}
