// tovarin-publish: prepares the update server's tree for a program folder.
#include <cstdio>
#include <cstring>
#include <string>

#include <termios.h>
#include <unistd.h>

#include "publisher.h"

namespace {

void Usage(std::FILE* out)
{
    std::fputs(
        "usage: tovarin-publish [--version TAG] [--name NAME] [--sign SECRET_KEY_FILE] [--quiet]\n"
        "                       PROGRAM_DIR SERVER_DIR\n"
        "\n"
        "Publishes every file below PROGRAM_DIR for the Tovarin updater: SERVER_DIR receives\n"
        "UpdateList.xml.zip (the list with each file's length and CRC-32) and one zip archive\n"
        "per file, <sub folders>/<name>.zip, so that SERVER_DIR can be served as the base URL.\n"
        "Every entry of the list carries the SHA-256 of its archive.\n"
        "\n"
        "  --version TAG  the version written into the list (at most 32 bytes)\n"
        "  --name NAME    the program name written into the list (at most 32 bytes)\n"
        "  --sign FILE    sign the list with this minisign secret key (made by minisign -G, or\n"
        "                 unencrypted by minisign -G -W): writes UpdateList.xml.zip.minisig, whose\n"
        "                 trusted comment carries \"version:TAG\" (--version is then required).\n"
        "                 The password of an encrypted key is read from the terminal, or as one\n"
        "                 line from standard input when that is not a terminal. Updaters given\n"
        "                 the public key (-key) accept only this version's signed list.\n"
        "  --quiet        no progress line\n"
        "  --help         this text\n",
        out);
}

// The password as minisign reads it: from the terminal without echo, or as
// one line from standard input when that is not a terminal.
bool ReadPassword(std::string& password)
{
    const bool terminal = isatty(STDIN_FILENO) != 0;
    termios saved{};
    if (terminal) {
        std::fputs("Password: ", stderr);
        std::fflush(stderr);
        if (tcgetattr(STDIN_FILENO, &saved) != 0)
            return false;
        termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        quiet.c_lflag |= ECHONL;
        if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) != 0)
            return false;
    }
    password.clear();
    bool ended = false;
    for (int c; (c = std::fgetc(stdin)) != EOF;) {
        if (c == '\n') {
            ended = true;
            break;
        }
        password += static_cast<char>(c);
    }
    if (terminal)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    return ended || !password.empty();
}

} // namespace

int main(int argc, char** argv)
{
    PUBLISH_SETTINGS settings;
    bool quiet = false;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        }
        if ((arg == "--version" || arg == "--name" || arg == "--sign") && i + 1 < argc) {
            (arg == "--version" ? settings.strVersion : arg == "--name" ? settings.strName : settings.strSecretKeyFile) =
                argv[++i];
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "tovarin-publish: unknown option or missing value: %s\n", arg.c_str());
            Usage(stderr);
            return 2;
        } else if (positional == 0) {
            settings.strProgramDir = arg;
            ++positional;
        } else if (positional == 1) {
            settings.strServerDir = arg;
            ++positional;
        } else {
            std::fprintf(stderr, "tovarin-publish: too many arguments\n");
            return 2;
        }
    }
    if (positional != 2) {
        Usage(stderr);
        return 2;
    }
    settings.readPassword = ReadPassword;
    const bool terminal = isatty(2);
    PUBLISH_REPORT report;
    std::string error;
    const bool ok = PublishProgramFolder(settings, report, error,
        [&](std::size_t done, std::size_t total, const std::string& path) {
            if (quiet)
                return;
            if (terminal)
                std::fprintf(stderr, "\r\033[K%zu/%zu %s", done, total, path.c_str());
            else if (done == total || done % 100 == 0)
                std::fprintf(stderr, "%zu/%zu %s\n", done, total, path.c_str());
        });
    if (!quiet && terminal)
        std::fputc('\n', stderr);
    if (!ok) {
        std::fprintf(stderr, "tovarin-publish: %s\n", error.c_str());
        return 1;
    }
    if (!quiet)
        std::fprintf(stderr, "published %zu files (%llu bytes) as %llu bytes of archives in %s\n", report.nFiles,
                     report.nBytes, report.nArchiveBytes, settings.strServerDir.c_str());
    if (!quiet && !report.strKeyId.empty())
        std::fprintf(stderr, "signed with key %s; the updater's -key is %s\n", report.strKeyId.c_str(),
                     report.strPublicKey.c_str());
    return 0;
}
