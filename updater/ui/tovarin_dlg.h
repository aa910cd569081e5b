// Tovarin's progress window: a borderless skinned window with a status line,
// a bar of 66 steps and a byte line. It starts the worker when it opens and
// then only reacts to the worker's four messages, closing on the last one.
//
// The message handlers, the layout and the frame composition work on members
// alone and need no display; DoModal adds the platform's window and runs the
// event loop over it (front_ops.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "front_ops.h"
#include "notify_queue.h"
#include "skin_image.h"
#include "skin_static.h"
#include "win_types.h"

class CTovarinApp;

// The bar's geometry in window coordinates.
constexpr int BAR_LEFT_X = 18;
constexpr int BAR_CELL_X = 26;
constexpr int BAR_RIGHT_X = 538;
constexpr int BAR_Y = 29;
constexpr unsigned BAR_CELLS = UPDATE_STEP_LAST_STATUS;  // cells shown at most
constexpr unsigned BAR_FULL = UPDATE_STEP_DONE;          // the step that adds the right cap
constexpr std::uint32_t LABEL_COLOR = 0xFFFFFF78;

struct RECT {
    int left, top, right, bottom;
};

class CTovarinDlg : public CNotifyTarget {
public:
    // pApp supplies the worker and the launch flag; null opens the window
    // without starting anything (tests post the messages themselves).
    explicit CTovarinDlg(CTovarinApp* pApp = nullptr);
    ~CTovarinDlg() override;
    CTovarinDlg(const CTovarinDlg&) = delete;
    CTovarinDlg& operator=(const CTovarinDlg&) = delete;

    // Main thread, display open (OpenFrontDisplay). Creates the window,
    // starts the worker, runs the event loop until the window ends. Returns
    // IDOK or IDCANCEL, or -1 when the window could not be created.
    int DoModal();

    // Any thread; never waits for the window.
    bool PostNotify(unsigned message, WPARAM wParam, LPARAM lParam) override;

    // Loads the skin and the bar pieces (those still empty) and sets the
    // rectangles from the skin's size. No display needed.
    void LoadImages();
    // Fonts and labels as the layout places them. Without a usable face the
    // labels keep their text but draw none.
    void SetupLabels(const SKIN_FONT& font);

    BOOL OnUpdateStatus(WPARAM wParam, LPARAM lParam);
    BOOL OnUpdateBytes(WPARAM wParam, LPARAM lParam);
    BOOL OnUpdateClose(WPARAM wParam, LPARAM lParam);
    BOOL OnUpdateDone(WPARAM wParam, LPARAM lParam);
    // Routes one message to its handler (FALSE for an unknown number).
    BOOL Dispatch(unsigned message, WPARAM wParam, LPARAM lParam);
    // Handles every posted message waiting in the queue, in order; after the
    // window has ended, the rest are only freed.
    void DispatchPending();

    void OnOK() { EndDialog(IDOK); }
    void OnCancel() { EndDialog(IDCANCEL); }

    // The bar pieces the next frame draws, left to right.
    std::vector<const SKIN_PIECE*> BarPiecesToDraw() const;
    // Draws the whole window into frame (at least the skin's size).
    void PaintFrame(FRONT_IMAGE* frame) const;
    // True when the draggable area holds the point (client coordinates).
    bool InDragArea(int x, int y) const;

    // 0 while the window is open, then IDOK or IDCANCEL.
    int GetResult() const { return m_nResult; }
    // True once WM_UPDATE_CLOSE or WM_UPDATE_DONE was handled: the worker
    // has posted its last message.
    bool FinalMessageReceived() const { return m_bFinal; }
    // Later posts are refused (the sender keeps its strings).
    void CloseNotify() { m_queue.Close(); }
    bool NeedsPaint() const { return m_bDirty; }
    // The platform's window while DoModal runs, else null.
    FRONT_WINDOW* GetWindow() const { return m_pWindow; }

    // Called on the main thread after each frame reaches the screen, with the
    // progress it shows (tests and the start-up benchmark watch it).
    std::function<void(unsigned progress)> m_onFramePresented;

    SKIN_IMAGE m_pSkin;
    RECT m_rcSkin{0, 0, 0, 0};
    RECT m_rcDrag{0, 0, 0, 0};
    SKIN_PIECE m_barLeft;
    SKIN_PIECE m_barCell;
    SKIN_PIECE m_barRight;
    unsigned m_nProgress = 0;
    CSkinStatic m_lblStatus;
    CSkinStatic m_lblBytes;
    SKIN_IMAGE m_hIcon;

private:
    BOOL OnInitDialog();
    void StartWorker();
    void EndDialog(int result);
    void Invalidate() { m_bDirty = true; }
    void HandleEvent(FRONT_EVENT event);
    void Present();
    void RunLoop();
    int FrameWidth() const;
    int FrameHeight() const;

    CTovarinApp* m_pApp;
    CNotifyQueue m_queue;
    // The window the queue wakes; set once the window exists.
    std::atomic<FRONT_WINDOW*> m_wakeWindow{nullptr};
    FRONT_WINDOW* m_pWindow = nullptr;
    int m_nResult = 0;
    bool m_bFinal = false;
    bool m_bDirty = true;
    std::uint32_t m_lastPaint = 0;
};
