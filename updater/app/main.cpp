// tovarin: keeps one installed program current from an HTTP server.
//
//   tovarin -name NAME -number TAG -prog FOLDER -down FOLDER -http URL [-reboot] [-key PUBKEY]
//
// With -key (the publisher's minisign public key, its base64 line) the
// update is signed: the list's signature and every archive's SHA-256 are
// checked, and an update that cannot be verified installs nothing.
//
// Exit status: 0 installed or nothing to update, 1 the update failed or did
// not finish, 2 a required option was missing or a folder is unusable (-prog
// or -down empty or not absolute, -down the program folder or inside it).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "launch_options.h"
#include "tovarin_app.h"

// The application object, one per process.
CTovarinApp theApp;

int main(int argc, char** argv)
{
    if (argc > 0 && argv[0]) {
        const std::string path = argv[0];
        theApp.m_strAppName = path.substr(path.find_last_of('/') + 1);
    }
    theApp.m_strCmdLine = BuildCommandLineText(argc, argv);
    theApp.InitInstance();
    const int code = theApp.ExitInstance();
    // A worker still running after the window was closed early ends with the
    // process, without tearing down what it may still be using.
    std::fflush(nullptr);
    std::_Exit(code);
}
