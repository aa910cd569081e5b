// The window's start of the worker: the last step of its initialisation.
#include "tovarin_dlg.h"

#if __has_include("tovarin_app.h") && __has_include("tovarin_thread.h")
#include "tovarin_app.h"
#include "tovarin_thread.h"

void CTovarinDlg::StartWorker()
{
    if (!m_pApp || !m_pApp->m_pWorker) {
        return;
    }
    CTovarinThread* worker = m_pApp->m_pWorker;
    if (worker->m_pNotifyWnd != nullptr || worker->m_bRunning) {
        return;
    }
    // Both are in the worker before its thread exists, so its first message
    // always finds them.
    worker->m_pNotifyWnd = this;
    worker->m_bReboot = m_pApp->m_bReboot;
    worker->m_bRunning = TRUE;
    if (!worker->Start()) {
        worker->m_bRunning = FALSE;
    }
}
#else
void CTovarinDlg::StartWorker()
{
}
#endif
