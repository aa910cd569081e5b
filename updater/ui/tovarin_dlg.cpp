#include "tovarin_dlg.h"

#include <string>

#include "font_lookup.h"
#include "resource.h"

namespace {

// Frames are composed at most this often; messages in between only mark the
// window dirty, so a flood of byte counts costs one paint per frame.
constexpr Uint32 FRAME_MS = 16;

// The face stands in for the family the layout names; the sample is the
// first character of the first status text.
constexpr const char* FONT_FAMILY = "宋体";
constexpr const char* FONT_LANG = "zh-cn";
constexpr unsigned FONT_SAMPLE = 0x6B63;
constexpr int FONT_PIXELS = 12;

SDL_HitTestResult SDLCALL HitTest(SDL_Window*, const SDL_Point* point, void* data)
{
    const auto* dlg = static_cast<const CTovarinDlg*>(data);
    return dlg->InDragArea(point->x, point->y) ? SDL_HITTEST_DRAGGABLE : SDL_HITTEST_NORMAL;
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
          const Uint32 type = m_wakeEvent.load();
          if (type != static_cast<Uint32>(-1)) {
              SDL_Event wake{};
              wake.type = type;
              SDL_PushEvent(&wake);
          }
      })
{
    if (SDL_Surface* icon = LoadImageFromResource(IDR_MAINFRAME)) {
        SDL_SetColorKey(icon, SDL_TRUE, SDL_MapRGB(icon->format, 255, 0, 255));
        m_hIcon.Wrap(icon);
    }
}

CTovarinDlg::~CTovarinDlg()
{
    m_queue.Close();
    if (m_pWindow) {
        SDL_DestroyWindow(m_pWindow);
    }
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
    if (!m_hIcon.IsEmpty()) {
        SDL_SetWindowIcon(m_pWindow, m_hIcon.pImage);
    }
    LoadImages();
    // The window was made at the skin's size and centred; this keeps the
    // order of a resize followed by centring should the skin be replaced.
    SDL_SetWindowSize(m_pWindow, m_rcSkin.right, m_rcSkin.bottom);
    SDL_SetWindowPosition(m_pWindow, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    SDL_SetWindowTitle(m_pWindow, "Tovarin");
    m_nProgress = 0;
    // The labels hold no text before the worker's first message, so the first
    // frame (skin and left cap) can be on screen before the face lookup,
    // which takes longer than everything else here.
    SDL_ShowWindow(m_pWindow);
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
    for (const NOTIFY_MESSAGE& msg : m_queue.TakeAll()) {
        if (m_nResult == 0) {
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

void CTovarinDlg::PaintFrame(SDL_Surface* frame) const
{
    if (!m_pSkin.IsEmpty()) {
        SDL_Rect to{m_rcSkin.left, m_rcSkin.top, m_rcSkin.right, m_rcSkin.bottom};
        SDL_SetSurfaceBlendMode(m_pSkin.pImage, SDL_BLENDMODE_NONE);
        SDL_BlitSurface(m_pSkin.pImage, nullptr, frame, &to);
    }
    int cell = 0;
    for (const SKIN_PIECE* piece : BarPiecesToDraw()) {
        // Cells share one image and advance 8 pixels each.
        int x = piece->x;
        if (piece == &m_barCell) {
            x += piece->cx * cell++;
        }
        SDL_Rect to{x, piece->y, piece->cx, piece->cy};
        SDL_SetSurfaceBlendMode(piece->image.pImage, SDL_BLENDMODE_NONE);
        SDL_BlitSurface(piece->image.pImage, nullptr, frame, &to);
    }
    m_lblStatus.Paint(frame);
    m_lblBytes.Paint(frame);
}

bool CTovarinDlg::InDragArea(int x, int y) const
{
    return x >= m_rcDrag.left && x < m_rcDrag.right && y >= m_rcDrag.top && y < m_rcDrag.bottom;
}

int CTovarinDlg::DoModal()
{
    // The window is painted through a plain window surface: an accelerated
    // one would bring up a GL stack, which costs far more than the blits.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    LoadImages();
    const int width = m_rcSkin.right > 0 ? m_rcSkin.right : 566;
    const int height = m_rcSkin.bottom > 0 ? m_rcSkin.bottom : 73;
    m_pWindow = SDL_CreateWindow("Tovarin", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                                 SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
    if (!m_pWindow) {
        return -1;
    }
    // Without a window manager that honours it (or under the dummy driver)
    // the window simply cannot be dragged.
    SDL_SetWindowHitTest(m_pWindow, HitTest, this);
    m_wakeEvent.store(SDL_RegisterEvents(1));
    OnInitDialog();
    RunLoop();
    return m_nResult;
}

void CTovarinDlg::HandleEvent(const SDL_Event& event)
{
    switch (event.type) {
    case SDL_QUIT:
        OnCancel();
        break;
    case SDL_KEYDOWN:
        if (event.key.keysym.sym == SDLK_ESCAPE) {
            OnCancel();
        } else if (event.key.keysym.sym == SDLK_RETURN || event.key.keysym.sym == SDLK_KP_ENTER) {
            OnOK();
        }
        break;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
            OnCancel();
        } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED || event.window.event == SDL_WINDOWEVENT_SHOWN ||
                   event.window.event == SDL_WINDOWEVENT_RESTORED) {
            Invalidate();
        }
        break;
    default:
        break;
    }
}

void CTovarinDlg::RunLoop()
{
    while (m_nResult == 0) {
        SDL_Event event;
        int timeout = -1;
        if (m_bDirty) {
            const Uint32 since = SDL_GetTicks() - m_lastPaint;
            timeout = since >= FRAME_MS ? 0 : static_cast<int>(FRAME_MS - since);
        }
        if (SDL_WaitEventTimeout(&event, timeout)) {
            do {
                HandleEvent(event);
            } while (m_nResult == 0 && SDL_PollEvent(&event));
        }
        DispatchPending();
        if (m_bDirty && SDL_GetTicks() - m_lastPaint >= FRAME_MS) {
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
    m_lastPaint = SDL_GetTicks();
    SDL_Surface* screen = SDL_GetWindowSurface(m_pWindow);
    if (!screen) {
        return;
    }
    // Composed off-screen first, then copied in one blit: no partial frames.
    SDL_Surface* frame = SDL_CreateRGBSurfaceWithFormat(0, screen->w, screen->h, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!frame) {
        return;
    }
    PaintFrame(frame);
    SDL_SetSurfaceBlendMode(frame, SDL_BLENDMODE_NONE);
    SDL_BlitSurface(frame, nullptr, screen, nullptr);
    SDL_FreeSurface(frame);
    SDL_UpdateWindowSurface(m_pWindow);
    if (m_onFramePresented) {
        m_onFramePresented(m_nProgress);
    }
}
