// gorbo-sim: the game's logic frame by frame without a window (see
// simulator.h and --help).
#include <filesystem>
#include <system_error>

#include "simulator.h"

namespace {

// The folder of this executable: its data folder by default.
std::string ProgramFolder(const char* argv0)
{
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        self = std::filesystem::absolute(argv0 != nullptr ? argv0 : "", ec);
    return self.parent_path().string();
}

}  // namespace

int main(int argc, char* argv[])
{
    return RunSimulator(argc, argv, ProgramFolder(argc > 0 ? argv[0] : nullptr), stdout, stderr);
}
