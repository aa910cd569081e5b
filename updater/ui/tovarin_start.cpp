// Tovarin's start-up on this platform: options, worker, then the progress
// window, or the terminal front end when no display can be opened.
#include <SDL.h>
#include <SDL_ttf.h>
#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

#include "resource.h"
#include "terminal_front.h"
#include "tovarin_app.h"
#include "tovarin_dlg.h"
#include "tovarin_thread.h"
#include "worker_start.h"

namespace {

bool StartCurl()
{
    return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}

// The one start-up message: in a message box when a display is there, on
// standard error otherwise.
void ShowStartupMessage(const std::string& title, const char* text)
{
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_WARNING, title.c_str(), text, nullptr) != 0) {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text);
    }
}

bool HaveDisplay()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

// SDL falls back to its off-screen driver when the display named in the
// environment cannot be reached; a window nobody can see is no front end,
// unless that driver was asked for by name.
bool OpenDisplay()
{
    if (!HaveDisplay() || SDL_Init(SDL_INIT_VIDEO) != 0) {
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* wanted = std::getenv("SDL_VIDEODRIVER");
    const bool invisible = driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
    if (invisible && !(wanted && std::strcmp(wanted, driver) == 0)) {
        SDL_Quit();
        return false;
    }
    return true;
}

unsigned TerminalColumns()
{
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

// IDOK / IDCANCEL of the front end, with the worker's outcome, as the exit
// status: a window closed early (Esc, Enter, close) before the worker's final
// message counts as an update that did not finish.
int ExitCodeFor(const CTovarinThread* worker)
{
    const int outcome = worker ? worker->GetOutcome() : UPDATE_OUTCOME_RUNNING;
    return outcome == UPDATE_OUTCOME_INSTALLED || outcome == UPDATE_OUTCOME_CURRENT ? TOVARIN_EXIT_OK
                                                                                     : TOVARIN_EXIT_FAILED;
}

}  // namespace

BOOL StartUpdateWorker(CTovarinApp& app, CNotifyTarget* target)
{
    CTovarinThread* worker = app.m_pWorker;
    if (!worker || !target || worker->m_pNotifyWnd != nullptr || worker->m_bRunning) {
        return FALSE;
    }
    worker->m_pNotifyWnd = target;
    worker->m_bReboot = app.m_bReboot;
    worker->m_bRunning = TRUE;
    if (!worker->Start()) {
        worker->m_bRunning = FALSE;
        return FALSE;
    }
    return TRUE;
}

BOOL CTovarinApp::StartNetwork()
{
    bool (*start)() = m_pfnStartNetwork ? m_pfnStartNetwork : StartCurl;
    if (!start()) {
        ShowStartupMessage(m_strAppName, LoadResourceString(IDS_SOCKET_INIT_FAILED));
        return FALSE;
    }
    return TRUE;
}

BOOL CTovarinApp::InitInstance()
{
    m_nExitCode = TOVARIN_EXIT_FAILED;
    if (!StartNetwork()) {
        return FALSE;
    }
    if (!ReadLaunchOptions()) {
        // Silent: no message, no worker, no window, no connection.
        m_nExitCode = TOVARIN_EXIT_USAGE;
        return FALSE;
    }
    m_pWorker = new (std::nothrow) CTovarinThread;
    if (!m_pWorker) {
        return FALSE;
    }
    m_pWorker->m_strName = m_strName;
    m_pWorker->m_strNumber = m_strNumber;
    m_pWorker->m_strProgDir = m_strProgDir;
    m_pWorker->m_strDownDir = m_strDownDir;
    m_pWorker->m_strHttpUrl = m_strHttpUrl;
    m_pWorker->m_bSigned = m_bSigned;
    m_pWorker->m_strKey = m_strKey;
    m_nExitCode = RunFrontEnd();
    return FALSE;
}

int CTovarinApp::RunFrontEnd()
{
    // The window's libraries stand where the drawing library starts; the
    // token records that they must be shut down.
    if (OpenDisplay()) {
        if (TTF_Init() == 0) {
            m_gdiplusToken = 1;
            auto* dlg = new (std::nothrow) CTovarinDlg(this);
            const int result = dlg ? dlg->DoModal() : -1;
            if (result != -1) {
                const int code = ExitCodeFor(m_pWorker);
                // A worker that has not sent its final message may still post;
                // the window then stays allocated (the process is ending) and
                // only stops taking posts.
                if (dlg->FinalMessageReceived()) {
                    delete dlg;
                } else {
                    dlg->CloseNotify();
                }
                return code;
            }
            delete dlg;
            TTF_Quit();
            m_gdiplusToken = 0;
        }
        SDL_Quit();
    }
    // No display: the same update on the terminal.
    CTerminalFront front(stdout, isatty(STDOUT_FILENO) != 0, TerminalColumns());
    if (!StartUpdateWorker(*this, &front)) {
        return TOVARIN_EXIT_FAILED;
    }
    front.Run();
    return ExitCodeFor(m_pWorker);
}

int CTovarinApp::ExitInstance()
{
    if (m_gdiplusToken != 0) {
        TTF_Quit();
        SDL_Quit();
        m_gdiplusToken = 0;
    }
    // libcurl is left as it is: a worker still running after an early close
    // may be inside a transfer, and the process ends right after this.
    return m_nExitCode;
}
