// The front end for a machine without a display: the same status line, a text
// bar of the same 66 steps and the byte line, on a terminal or into a log.
//
// On a terminal one line is rewritten in place; otherwise each status change
// is a line of its own. Byte counts come in floods, so the byte line is
// written at most a few times a second, always with the latest counts.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "notify_queue.h"

class CTerminalFront : public CNotifyTarget {
public:
    // out receives the display; bTerminal selects the in-place line, which
    // is kept within nColumns (0: no limit) so that it never wraps.
    CTerminalFront(std::FILE* out, bool bTerminal, unsigned nColumns = 0);
    ~CTerminalFront() override;
    CTerminalFront(const CTerminalFront&) = delete;
    CTerminalFront& operator=(const CTerminalFront&) = delete;

    // Any thread; never waits for the display.
    bool PostNotify(unsigned message, WPARAM wParam, LPARAM lParam) override;

    // Shows the messages until WM_UPDATE_CLOSE or WM_UPDATE_DONE arrives;
    // returns IDCANCEL or IDOK (front_ops.h).
    int Run();

    // The bar of a step: '[' always, one '#' per cell up to 65 cells out of
    // `cells` columns (scaled when narrower), ']' only at step 66.
    static std::string FormatBar(unsigned progress, unsigned cells);
    // The text cut to at most `columns` terminal columns (East Asian wide
    // characters take two), as UTF-8.
    static std::string FitColumns(const std::wstring& text, unsigned columns);

private:
    void Handle(const NOTIFY_MESSAGE& msg);
    void DrawLine();
    void ShowStatus();
    void ShowBytes();
    void FlushBytes();

    std::FILE* m_out;
    bool m_bTerminal;
    unsigned m_nColumns;
    CNotifyQueue m_queue;
    unsigned m_nProgress = 0;
    std::wstring m_status;
    std::string m_bytes;
    bool m_bBytesShown = true;  // the byte line on screen is m_bytes
    std::chrono::steady_clock::time_point m_lastBytes{};
    int m_nResult = 0;
};

// Whether standard output is a terminal, and its width in columns (80 when
// it cannot be told).
bool StandardOutputIsTerminal();
unsigned StandardOutputColumns();
