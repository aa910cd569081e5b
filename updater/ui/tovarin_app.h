// The updater's application object: the settings read from the command line
// and the worker they are handed to.
#pragma once

#include <cstdint>
#include <string>

#include "win_types.h"

class CTovarinThread;
class CNotifyTarget;

// Exit statuses of the program.
constexpr int TOVARIN_EXIT_OK = 0;       // installed, or nothing needed updating
constexpr int TOVARIN_EXIT_FAILED = 1;   // the update failed or did not finish
constexpr int TOVARIN_EXIT_USAGE = 2;    // a required option was missing, or a folder unusable

class CTovarinApp {
public:
    // Start-up: reads the options, creates and fills the worker, shows the
    // progress window (or the terminal front end when no display can be
    // opened) until the update ends. Always FALSE: there is no message loop
    // after it. Sets m_nExitCode.
    BOOL InitInstance();
    // Shuts the front end's libraries down; returns the exit status.
    int ExitInstance();

    // Parses m_strCmdLine and fills the settings. TRUE when all five value
    // options were found; FALSE at the first one missing, looked up in the
    // order -name, -number, -prog, -http, -down, with the settings filled
    // before it kept. -reboot sets m_bReboot; its absence never clears it.
    // -key (optional) fills m_strKey and sets m_bSigned; a command line that
    // names -key without the parser taking it (no value, or after the point
    // where matching stopped) gives FALSE.
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
    std::wstring m_strKey;  // -key: the publisher's public key
    BOOL m_bSigned = FALSE;  // -key was given

    // The command-line text after the program's own path, as the program's
    // entry point received it (see BuildCommandLineText).
    std::wstring m_strCmdLine;

    // The program file's base name: the title of the start-up message box.
    std::string m_strAppName = "tovarin";
    // Network start-up; replaced only by tests, since a failure of the real
    // one cannot be provoked.
    bool (*m_pfnStartNetwork)() = nullptr;
    int m_nExitCode = TOVARIN_EXIT_FAILED;

private:
    BOOL StartNetwork();
    // The folder settings in their local form (a backslash separates folders
    // like '/');
    // FALSE, with one line on standard error, when -prog or -down is empty
    // or not absolute, or -down is the program folder or lies inside it.
    BOOL CheckFolderOptions();
    int RunFrontEnd();
    int RunWindow();
};

// Main thread. When the application has a worker that has no receiver yet
// and is not running: gives it the receiver and the application's -reboot
// flag, marks it running and starts its thread (clearing the mark again if
// the start fails). Both reach the worker before its thread exists, so its
// first message always finds them. TRUE when the worker's thread started.
BOOL StartUpdateWorker(CTovarinApp& app, CNotifyTarget* target);
