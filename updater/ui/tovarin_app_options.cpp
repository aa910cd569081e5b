#include "launch_options.h"
#include "tovarin_app.h"

BOOL CTovarinApp::ReadLaunchOptions()
{
    LAUNCH_OPTION_LIST options;
    ParseLaunchOptions(options, LAUNCH_OPTION_TABLE, m_strCmdLine.c_str());
    if (!FindLaunchOption(options, L"-name", m_strName))
        return FALSE;
    if (!FindLaunchOption(options, L"-number", m_strNumber))
        return FALSE;
    if (!FindLaunchOption(options, L"-prog", m_strProgDir))
        return FALSE;
    if (!FindLaunchOption(options, L"-http", m_strHttpUrl))
        return FALSE;
    if (!FindLaunchOption(options, L"-down", m_strDownDir))
        return FALSE;
    std::wstring unused;
    if (FindLaunchOption(options, L"-reboot", unused))
        m_bReboot = TRUE;
    return TRUE;  // the option list frees its records on every return
}
