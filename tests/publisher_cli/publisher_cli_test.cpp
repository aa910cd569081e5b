// tovarin-publish as a command: --help on standard output, every misuse
// with its reason, the usage line and a pointer to --help (status 2), and
// every failure naming the file and the reason (status 1), nothing
// published.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process.h"
#include "temp_folder.h"

namespace {

using test::TempFolder;

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the publisher with the arguments, standard input empty.
Outcome Publish(const std::string& arguments, const TempFolder& dir)
{
    const std::string out = (dir / "stdout").string();
    const std::string err = (dir / "stderr").string();
    const test::PROCESS_RESULT r = test::RunShell(Quote(TOVARIN_PUBLISH) + " " + arguments + " </dev/null >" +
                                                  Quote(out) + " 2>" + Quote(err));
    return {r.status, test::ReadFile(out), test::ReadFile(err)};
}

TEST(PublisherCommand, HelpGoesToStandardOutputWithOptionsAndExitStatuses)
{
    TempFolder dir;
    for (const char* option : {"--help", "-h"}) {
        const Outcome r = Publish(option, dir);
        EXPECT_EQ(r.status, 0) << option;
        EXPECT_EQ(r.err, "") << option;
        EXPECT_EQ(r.out.rfind("usage: tovarin-publish [--version TAG] [--name NAME] [--sign SECRET_KEY_FILE] [--quiet]\n"
                              "                       [--] PROGRAM_DIR SERVER_DIR\n",
                              0),
                  0u)
            << r.out;
        for (const char* listed : {"\n  --version TAG ", "\n  --name NAME ", "\n  --sign FILE ", "\n  --quiet ",
                                   "\n  --  ", "\n  -h, --help "})
            EXPECT_NE(r.out.find(listed), std::string::npos) << listed;
        EXPECT_NE(r.out.find("\nExit status:\n  0  published\n  1  the publication failed"), std::string::npos);
        EXPECT_NE(r.out.find("\n  2  misuse of the command line\n"), std::string::npos);
    }
}

TEST(PublisherCommand, MisuseNamesTheReasonAndPointsToHelp)
{
    TempFolder dir;
    test::MakeFolders(dir / "prog");
    const std::string prog = Quote((dir / "prog").string());
    const std::string srv = Quote((dir / "srv").string());
    const struct {
        std::string arguments;
        std::string reason;
    } cases[] = {
        {"", "PROGRAM_DIR and SERVER_DIR are missing"},
        {prog, "SERVER_DIR is missing"},
        {prog + " " + srv + " extra", "one folder too many: extra"},
        {"--bogus " + prog + " " + srv, "unknown option --bogus"},
        {"-x " + prog + " " + srv, "unknown option -x"},
        {prog + " " + srv + " --version", "--version needs a value"},
        {prog + " " + srv + " --sign", "--sign needs a value"},
    };
    for (const auto& c : cases) {
        const Outcome r = Publish(c.arguments, dir);
        EXPECT_EQ(r.status, 2) << c.arguments;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "tovarin-publish: " + c.reason +
                             "\nusage: tovarin-publish [--version TAG] [--name NAME] [--sign SECRET_KEY_FILE] "
                             "[--quiet]\n                       [--] PROGRAM_DIR SERVER_DIR\n"
                             "Try 'tovarin-publish --help' for more information.\n");
        EXPECT_FALSE(test::Exists(dir / "srv")) << c.arguments;
    }
}

// After "--" a folder may start with '-'.
TEST(PublisherCommand, DoubleDashEndsTheOptions)
{
    TempFolder dir;
    test::WriteFile(dir / "-prog/a.txt", "a");
    const test::PROCESS_RESULT r =
        test::RunShell("cd " + Quote(dir.Path().string()) + " && " + Quote(TOVARIN_PUBLISH) + " --quiet -- -prog -srv");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(test::Exists(dir / "-srv/a.txt.zip"));
}

TEST(PublisherCommand, FailuresNameTheFileAndTheReason)
{
    TempFolder dir;
    test::WriteFile(dir / "prog/a.txt", "a");
    test::WriteFile(dir / "plain", "not a folder");
    test::MakeFolders(dir / "keys");
    const std::string prog = (dir / "prog").string();
    const std::string srv = (dir / "srv").string();
    const struct {
        std::string arguments;
        std::string message;
    } cases[] = {
        {Quote((dir / "missing").string()) + " " + Quote(srv),
         "not a folder: " + (dir / "missing").string() + " (No such file or directory)"},
        {Quote((dir / "plain").string()) + " " + Quote(srv), "not a folder: " + (dir / "plain").string()},
        {Quote(prog) + " " + Quote((dir / "plain/srv").string()),
         "cannot create the server folder " + (dir / "plain/srv").string() + ": Not a directory"},
        {Quote(prog) + " " + Quote(prog), "the server folder " + prog + " is the program folder: it must be another one",
},
        {"--version 1 --sign " + Quote((dir / "keys").string()) + " " + Quote(prog) + " " + Quote(srv),
         "cannot read the secret key file " + (dir / "keys").string() + ": Is a directory"},
        {"--version 1 --sign " + Quote((dir / "no.key").string()) + " " + Quote(prog) + " " + Quote(srv),
         "cannot read the secret key file " + (dir / "no.key").string() + ": No such file or directory"},
        {"--version 1 --sign " + Quote((dir / "plain").string()) + " " + Quote(prog) + " " + Quote(srv),
         "not a minisign secret key file: " + (dir / "plain").string()},
        {"--name " + std::string(40, 'n') + " " + Quote(prog) + " " + Quote(srv),
         "name longer than 32 bytes: " + std::string(40, 'n')},
    };
    for (const auto& c : cases) {
        const Outcome r = Publish(c.arguments, dir);
        EXPECT_EQ(r.status, 1) << c.arguments;
        EXPECT_EQ(r.err, "tovarin-publish: " + c.message + "\n");
        EXPECT_FALSE(test::Exists(dir / "srv")) << c.arguments;
    }
}

} // namespace
