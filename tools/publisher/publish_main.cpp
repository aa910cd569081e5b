// tovarin-publish: prepares the update server's tree for a program folder.
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

#include "publisher.h"

namespace {

void Usage(std::FILE* out)
{
    std::fputs(
        "usage: tovarin-publish [--version TAG] [--name NAME] [--quiet] PROGRAM_DIR SERVER_DIR\n"
        "\n"
        "Publishes every file below PROGRAM_DIR for the Tovarin updater: SERVER_DIR receives\n"
        "UpdateList.xml.zip (the list with each file's length and CRC-32) and one zip archive\n"
        "per file, <sub folders>/<name>.zip, so that SERVER_DIR can be served as the base URL.\n"
        "\n"
        "  --version TAG  the version written into the list (at most 32 bytes)\n"
        "  --name NAME    the program name written into the list (at most 32 bytes)\n"
        "  --quiet        no progress line\n"
        "  --help         this text\n",
        out);
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
        if ((arg == "--version" || arg == "--name") && i + 1 < argc) {
            (arg == "--version" ? settings.strVersion : settings.strName) = argv[++i];
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
    return 0;
}
