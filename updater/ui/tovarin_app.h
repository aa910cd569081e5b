// The updater's application object: the settings read from the command line
// and the worker they are handed to.
#pragma once

#include <cstdint>
#include <string>

#include "win_types.h"

class CTovarinThread;

class CTovarinApp {
public:
    // Parses m_strCmdLine and fills the settings. TRUE when all five value
    // options were found; FALSE at the first one missing, looked up in the
    // order -name, -number, -prog, -http, -down, with the settings filled
    // before it kept. -reboot sets m_bReboot; its absence never clears it.
    BOOL ReadLaunchOptions();

    CTovarinThread* m_pWorker = nullptr;  // the update worker; never deleted
    // Start-up token of the drawing library, 0 while it is not started. Kept
    // in its place among the members for the front end to use.
    std::uintptr_t m_gdiplusToken = 0;
    std::wstring m_strProgDir;  // -prog
    std::wstring m_strDownDir;  // -down
    std::wstring m_strHttpUrl;  // -http
    std::wstring m_strName;  // -name
    std::wstring m_strNumber;  // -number
    BOOL m_bReboot = FALSE;  // -reboot was given

    // The command-line text after the program's own path, as the program's
    // entry point received it (see BuildCommandLineText).
    std::wstring m_strCmdLine;
};
