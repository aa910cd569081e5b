// tovarin-headless -name N -number V -prog DIR -down DIR -http URL [-key PUBKEY] [-reboot] [-verbose]
//
// Runs one update and prints the final outcome; with -verbose every message.
// Exit status: 0 installed, 1 nothing to update, 2 failed, 3 bad usage.
#include <cstdio>
#include <cstring>
#include <string>

#include "headless_update.h"
#include "text.h"
#include "tovarin_thread.h"
#include "update_folders.h"

namespace {

int ExitStatus(const HEADLESS_RESULT& result)
{
    if (!result.bFinished)
        return 2;
    switch (result.nOutcome) {
    case UPDATE_OUTCOME_INSTALLED:
        return 0;
    case UPDATE_OUTCOME_CURRENT:
        return 1;
    default:
        return 2;
    }
}

void Print(const UPDATE_MESSAGE& message)
{
    switch (message.nMessage) {
    case WM_UPDATE_STATUS:
        std::printf("status %u %s\n", static_cast<unsigned>(message.wParam), WideToAnsiLossy(message.strText).c_str());
        break;
    case WM_UPDATE_BYTES:
        std::printf("bytes %llu %lld\n", static_cast<unsigned long long>(message.wParam),
                    static_cast<long long>(message.lParam));
        break;
    case WM_UPDATE_CLOSE:
        std::printf("close\n");
        break;
    case WM_UPDATE_DONE:
        std::printf("done\n");
        break;
    default:
        break;
    }
}

} // namespace

int main(int argc, char** argv)
{
    HEADLESS_SETTINGS settings;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (!option.empty() && option[0] == '/')
            option[0] = '-';
        std::wstring* value = option == "-name"     ? &settings.strName
                              : option == "-number" ? &settings.strNumber
                              : option == "-prog"   ? &settings.strProgDir
                              : option == "-down"   ? &settings.strDownDir
                              : option == "-http"   ? &settings.strHttpUrl
                              : option == "-key"    ? &settings.strKey
                                                    : nullptr;
        if (value && i + 1 < argc) {
            *value = AnsiToWide(argv[++i]);
            settings.bSigned = settings.bSigned || value == &settings.strKey;
        } else if (option == "-reboot") {
            settings.bReboot = true;
        } else if (option == "-verbose") {
            verbose = true;
        } else {
            std::fprintf(stderr, "usage: tovarin-headless -name N -number V -prog DIR -down DIR -http URL [-key PUBKEY] [-reboot] [-verbose]\n");
            return 3;
        }
    }
    if (settings.strName.empty() || settings.strNumber.empty() || settings.strProgDir.empty() ||
        settings.strDownDir.empty() || settings.strHttpUrl.empty()) {
        std::fprintf(stderr, "tovarin-headless: -name, -number, -prog, -down and -http are required\n");
        return 3;
    }
    const FOLDER_PROBLEM problem =
        CheckUpdateFolders(LocalFolderPath(settings.strProgDir), LocalFolderPath(settings.strDownDir));
    if (problem != FOLDER_PROBLEM::None) {
        std::fprintf(stderr, "tovarin-headless: %s\n", DescribeFolderProblem(problem));
        return 3;
    }
    HEADLESS_OPTIONS options;
    options.bKeepMessages = false;
    if (verbose)
        options.onMessage = Print;
    const HEADLESS_RESULT result = RunHeadlessUpdate(settings, options);
    std::printf("outcome %d\n", result.nOutcome);
    return ExitStatus(result);
}
