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
    if (FindLaunchOption(options, L"-key", m_strKey)) {
        m_bSigned = TRUE;
    } else if (MentionsUnreadOption(LAUNCH_OPTION_TABLE, m_strCmdLine.c_str(), L"-key")) {
        // A -key the parser did not take (its value missing, or standing
        // after the point where matching stopped) must not become an update
        // that checks no signature: refused like a missing option.
        return FALSE;
    }
    return TRUE;  // the option list frees its records on every return
}
