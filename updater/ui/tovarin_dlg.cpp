#include "tovarin_dlg.h"

#include <cwchar>
#include <string>

#include "resource.h"
#include "tovarin_app.h"

namespace {

// Frames are composed at most this often; messages in between only mark the
// window dirty, so a flood of byte counts costs one paint per frame.
constexpr std::uint32_t FRAME_MS = 16;

// The face stands in for the family the layout names; the sample is the
// first character of the first status text.
constexpr const char* FONT_FAMILY = "宋体";
constexpr const char* FONT_LANG = "zh-cn";
constexpr unsigned FONT_SAMPLE = 0x6B63;
constexpr int FONT_PIXELS = 12;

// The skin's size, for a window whose skin could not be loaded.
constexpr int DEFAULT_WIDTH = 566;
constexpr int DEFAULT_HEIGHT = 73;

// The icon's transparent colour.
constexpr std::uint32_t ICON_KEY = 0xFF00FF;

bool DragTest(const void* owner, int x, int y)
{
    return static_cast<const CTovarinDlg*>(owner)->InDragArea(x, y);
}

void LoadPiece(SKIN_PIECE& piece, int id, int x, int y)
{
    if (piece.image.IsEmpty()) {
        piece.image.Wrap(LoadImageFromResource(id));
        piece.Place(x, y);
    }
}

}  // namespace

CTovarinDlg::CTovarinDlg(CTovarinApp* pApp)
    : m_pApp(pApp),
      m_queue([this] {
          if (FRONT_WINDOW* window = m_wakeWindow.load()) {
              WakeFrontWindow(window);
          }
      }, NOTIFY_BYTES::Latest)
{
    if (FRONT_IMAGE* icon = LoadImageFromResource(IDR_MAINFRAME)) {
        SetFrontImageColourKey(icon, ICON_KEY);
        m_hIcon.Wrap(icon);
    }
}

CTovarinDlg::~CTovarinDlg()
{
    // Closed first: no post wakes the window while it goes.
    m_queue.Close();
    DestroyFrontWindow(m_pWindow);
}

bool CTovarinDlg::PostNotify(unsigned message, WPARAM wParam, LPARAM lParam)
{
    return m_queue.PostNotify(message, wParam, lParam);
}

void CTovarinDlg::LoadImages()
{
    if (m_pSkin.IsEmpty()) {
        m_pSkin.Wrap(LoadImageFromResource(IDR_SKIN));
        m_rcDrag = m_rcSkin = RECT{0, 0, m_pSkin.nWidth, m_pSkin.nHeight};
    }
    LoadPiece(m_barLeft, IDB_BAR_LEFT, BAR_LEFT_X, BAR_Y);
    LoadPiece(m_barCell, IDB_BAR_CELL, BAR_CELL_X, BAR_Y);
    LoadPiece(m_barRight, IDB_BAR_RIGHT, BAR_RIGHT_X, BAR_Y);
}

void CTovarinDlg::SetupLabels(const SKIN_FONT& font)
{
    m_nProgress = 0;
    m_lblStatus.SetTextFont(font);
    m_lblStatus.SetTextColor(LABEL_COLOR);
    m_lblStatus.SetTextAlign(StringAlignmentNear, StringAlignmentCenter);
    m_lblStatus.SetSkin(&m_pSkin, 20, 0, 500, 28);
    m_lblBytes.SetTextFont(font);
    m_lblBytes.SetTextColor(LABEL_COLOR);
    m_lblBytes.SetTextAlign(StringAlignmentCenter, StringAlignmentCenter);
    m_lblBytes.SetSkin(&m_pSkin, 0, 49, 566, 24);
}

BOOL CTovarinDlg::OnInitDialog()
{
    SetFrontWindowIcon(m_pWindow, m_hIcon.pImage);
    LoadImages();
    // The window was made at the skin's size and centred; this keeps the
    // order of a resize followed by centring should the skin be replaced.
    PlaceFrontWindow(m_pWindow, FrameWidth(), FrameHeight());
    m_nProgress = 0;
    // The labels hold no text before the worker's first message, so the first
    // frame (skin and left cap) can be on screen before the face lookup,
    // which takes longer than everything else here.
    ShowFrontWindow(m_pWindow);
    Present();
    SetupLabels(FindFontFace(FONT_FAMILY, FONT_LANG, FONT_SAMPLE, FONT_PIXELS));
    StartWorker();
    return TRUE;
}

BOOL CTovarinDlg::OnUpdateStatus(WPARAM wParam, LPARAM lParam)
{
    m_nProgress = wParam > BAR_CELLS ? BAR_CELLS : static_cast<unsigned>(wParam);
    if (lParam != 0) {
        auto* text = reinterpret_cast<std::wstring*>(lParam);
        m_lblStatus.SetText(*text);
        delete text;
    } else {
        m_lblStatus.SetText(std::wstring());
    }
    Invalidate();
    return TRUE;
}

BOOL CTovarinDlg::OnUpdateBytes(WPARAM wParam, LPARAM lParam)
{
    if (lParam == 0) {
        m_lblBytes.SetText(std::wstring());
    } else {
        // Both counts are shown as unsigned 32-bit numbers.
        wchar_t line[64];
        swprintf(line, sizeof line / sizeof line[0], L"%u Byte/ %u Byte", static_cast<std::uint32_t>(wParam),
                 static_cast<std::uint32_t>(lParam));
        m_lblBytes.SetText(line);
    }
    // The label repaints itself; on this platform that is a frame of the
    // window, which the next paint covers.
    Invalidate();
    return TRUE;
}

BOOL CTovarinDlg::OnUpdateClose(WPARAM, LPARAM)
{
    m_bFinal = true;
    OnCancel();
    return TRUE;
}

BOOL CTovarinDlg::OnUpdateDone(WPARAM, LPARAM)
{
    m_bFinal = true;
    m_nProgress = BAR_FULL;
    Invalidate();
    OnOK();
    return TRUE;
}

BOOL CTovarinDlg::Dispatch(unsigned message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_UPDATE_STATUS:
        return OnUpdateStatus(wParam, lParam);
    case WM_UPDATE_BYTES:
        return OnUpdateBytes(wParam, lParam);
    case WM_UPDATE_CLOSE:
        return OnUpdateClose(wParam, lParam);
    case WM_UPDATE_DONE:
        return OnUpdateDone(wParam, lParam);
    default:
        return FALSE;
    }
}

void CTovarinDlg::DispatchPending()
{
    const std::vector<NOTIFY_MESSAGE> pending = m_queue.TakeAll();
    for (std::size_t i = 0; i < pending.size(); ++i) {
        const NOTIFY_MESSAGE& msg = pending[i];
        // A byte count followed at once by another is never on screen (the
        // next paint comes after the batch): only the later one is shown.
        const bool superseded = msg.message == WM_UPDATE_BYTES && i + 1 < pending.size() &&
                                pending[i + 1].message == WM_UPDATE_BYTES;
        if (m_nResult == 0 && !superseded) {
            Dispatch(msg.message, msg.wParam, msg.lParam);
        } else {
            FreeNotifyMessage(msg);
        }
    }
}

void CTovarinDlg::EndDialog(int result)
{
    if (m_nResult == 0) {
        m_nResult = result;
    }
}

std::vector<const SKIN_PIECE*> CTovarinDlg::BarPiecesToDraw() const
{
    std::vector<const SKIN_PIECE*> pieces;
    if (!m_barLeft.image.IsEmpty()) {
        pieces.push_back(&m_barLeft);
    }
    if (m_nProgress != 0 && !m_barCell.image.IsEmpty()) {
        for (unsigned i = 0; i < BAR_CELLS && i < m_nProgress; ++i) {
            pieces.push_back(&m_barCell);
        }
    }
    if (!m_barRight.image.IsEmpty() && m_nProgress == BAR_FULL) {
        pieces.push_back(&m_barRight);
    }
    return pieces;
}

void CTovarinDlg::PaintFrame(FRONT_IMAGE* frame) const
{
    if (!m_pSkin.IsEmpty()) {
        CopyFrontImage(m_pSkin.pImage, nullptr, frame, m_rcSkin.left, m_rcSkin.top);
    }
    int cell = 0;
    for (const SKIN_PIECE* piece : BarPiecesToDraw()) {
        // Cells share one image and advance 8 pixels each.
        int x = piece->x;
        if (piece == &m_barCell) {
            x += piece->cx * cell++;
        }
        CopyFrontImage(piece->image.pImage, nullptr, frame, x, piece->y);
    }
    m_lblStatus.Paint(frame);
    m_lblBytes.Paint(frame);
}

bool CTovarinDlg::InDragArea(int x, int y) const
{
    return x >= m_rcDrag.left && x < m_rcDrag.right && y >= m_rcDrag.top && y < m_rcDrag.bottom;
}

int CTovarinDlg::FrameWidth() const
{
    return m_rcSkin.right > 0 ? m_rcSkin.right : DEFAULT_WIDTH;
}

int CTovarinDlg::FrameHeight() const
{
    return m_rcSkin.bottom > 0 ? m_rcSkin.bottom : DEFAULT_HEIGHT;
}

int CTovarinDlg::DoModal()
{
    LoadImages();
    m_pWindow = CreateFrontWindow("Tovarin", FrameWidth(), FrameHeight(), DragTest, this);
    if (!m_pWindow) {
        return -1;
    }
    m_wakeWindow.store(m_pWindow);
    OnInitDialog();
    RunLoop();
    return m_nResult;
}

void CTovarinDlg::HandleEvent(FRONT_EVENT event)
{
    switch (event) {
    case FRONT_EVENT_CLOSE:
    case FRONT_EVENT_ESCAPE:
        OnCancel();
        break;
    case FRONT_EVENT_ENTER:
        OnOK();
        break;
    case FRONT_EVENT_EXPOSED:
        Invalidate();
        break;
    default:
        break;
    }
}

void CTovarinDlg::RunLoop()
{
    while (m_nResult == 0) {
        int timeout = -1;
        if (m_bDirty) {
            const std::uint32_t since = FrontTicks() - m_lastPaint;
            timeout = since >= FRAME_MS ? 0 : static_cast<int>(FRAME_MS - since);
        }
        for (FRONT_EVENT event = WaitFrontEvent(m_pWindow, timeout); event != FRONT_EVENT_NONE && m_nResult == 0;
             event = PollFrontEvent(m_pWindow)) {
            HandleEvent(event);
        }
        DispatchPending();
        if (m_bDirty && FrontTicks() - m_lastPaint >= FRAME_MS) {
            Present();
        }
    }
    // The last state (the full bar after WM_UPDATE_DONE) reaches the screen
    // before the window goes.
    if (m_bDirty) {
        Present();
    }
}

void CTovarinDlg::Present()
{
    m_bDirty = false;
    m_lastPaint = FrontTicks();
    // Composed off-screen first, then copied in one piece: no partial frames.
    FRONT_IMAGE* frame = CreateFrontImage(FrameWidth(), FrameHeight());
    if (!frame) {
        return;
    }
    PaintFrame(frame);
    const bool shown = PresentFrontFrame(m_pWindow, frame);
    FreeFrontImage(frame);
    if (shown && m_onFramePresented) {
        m_onFramePresented(m_nProgress);
    }
}

void CTovarinDlg::StartWorker()
{
    // A worker that cannot start would never send the final message; the
    // window then ends at once instead of waiting for ever.
    if (m_pApp && m_pApp->m_pWorker && !StartUpdateWorker(*m_pApp, this)) {
        OnCancel();
    }
}
