// The window's start of the worker: the last step of its initialisation.
#include "tovarin_app.h"
#include "tovarin_dlg.h"
#include "worker_start.h"

void CTovarinDlg::StartWorker()
{
    // A worker that cannot start would never send the final message; the
    // window then ends at once instead of waiting for ever.
    if (m_pApp && m_pApp->m_pWorker && !StartUpdateWorker(*m_pApp, this)) {
        OnCancel();
    }
}
