// Tovarin's start-up: options, worker, then the progress window, or the
// terminal front end when no display can be opened.
#include "tovarin_app.h"

#include <cstdio>
#include <new>

#include "front_ops.h"
#include "http_fetch.h"
#include "resource.h"
#include "terminal_front.h"
#include "tovarin_dlg.h"
#include "tovarin_thread.h"
#include "update_folders.h"

namespace {

bool StartHttpLibrary()
{
    return Tovarin::HttpStartLibrary();
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
    bool (*start)() = m_pfnStartNetwork ? m_pfnStartNetwork : StartHttpLibrary;
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
    if (!CheckFolderOptions()) {
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

BOOL CTovarinApp::CheckFolderOptions()
{
    m_strProgDir = LocalFolderPath(m_strProgDir);
    m_strDownDir = LocalFolderPath(m_strDownDir);
    const FOLDER_PROBLEM problem = CheckUpdateFolders(m_strProgDir, m_strDownDir);
    if (problem == FOLDER_PROBLEM::None)
        return TRUE;
    std::fprintf(stderr, "%s: %s\n", m_strAppName.c_str(), DescribeFolderProblem(problem));
    return FALSE;
}

int CTovarinApp::RunWindow()
{
    auto* dlg = new (std::nothrow) CTovarinDlg(this);
    const int result = dlg ? dlg->DoModal() : -1;
    if (result == -1) {
        delete dlg;
        return -1;
    }
    const int code = ExitCodeFor(m_pWorker);
    // A worker that has not sent its final message may still post; the
    // window then stays allocated (the process is ending) and only stops
    // taking posts.
    if (dlg->FinalMessageReceived()) {
        delete dlg;
    } else {
        dlg->CloseNotify();
    }
    return code;
}

int CTovarinApp::RunFrontEnd()
{
    // The window's libraries stand where the drawing library starts; the
    // token records that they must be shut down.
    if (OpenFrontDisplay()) {
        m_gdiplusToken = 1;
        const int code = RunWindow();
        if (code != -1) {
            return code;
        }
        CloseFrontDisplay();
        m_gdiplusToken = 0;
    }
    // No display: the same update on the terminal.
    CTerminalFront front(stdout, StandardOutputIsTerminal(), StandardOutputColumns());
    if (!StartUpdateWorker(*this, &front)) {
        return TOVARIN_EXIT_FAILED;
    }
    front.Run();
    return ExitCodeFor(m_pWorker);
}

int CTovarinApp::ExitInstance()
{
    if (m_gdiplusToken != 0) {
        CloseFrontDisplay();
        m_gdiplusToken = 0;
    }
    // The HTTP library is left as it is: a worker still running after an
    // early close may be inside a transfer, and the process ends right after
    // this.
    return m_nExitCode;
}
