// Gorbo, a side-scrolling platform game: the program entry. Without options
// it plays (GameMain). With --record FILE it also writes the step and the key
// flags of every frame to FILE as a key script, which gorbo-sim --keys FILE
// replays frame by frame, and ends it with a comment holding the summary of
// where the play ended.
#include <cstdio>
#include <cstring>

#include "gameflow.h"
#include "mainloop.h"
#include "player.h"
#include "replay.h"

namespace {

KeyRecorder* s_recorder = nullptr;

void RecordFrame(float step, std::uint8_t keys)
{
    s_recorder->Frame(step, keys);
}

int Usage()
{
    std::fputs("usage: gorbo [--record FILE]\n"
               "  --record FILE  write every frame's step and keys to FILE as a key script\n"
               "                 (replay it with gorbo-sim --keys FILE)\n",
               stderr);
    return 2;
}

// Plays while recording into file.
int PlayRecorded(std::FILE* file)
{
    KeyRecorder recorder(file);
    s_recorder = &recorder;
    g_frameObserver = &RecordFrame;
    std::fputs("# gorbo --record: the step and the keys of every frame\n", file);
    const int code = GameMain();
    g_frameObserver = nullptr;
    recorder.Flush();
    const std::string end = FormatSummary(recorder.Frames(), g_level, g_player.x, g_player.y, g_player.action);
    std::fprintf(file, "# end: %s\n", end.c_str());
    const bool written = std::ferror(file) == 0;
    if (std::fclose(file) != 0 || !written)
        std::fputs("gorbo: the record could not be written completely\n", stderr);
    return code;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc == 1)
        return GameMain();
    if (argc != 3 || std::strcmp(argv[1], "--record") != 0)
        return Usage();
    std::FILE* file = std::fopen(argv[2], "w");
    if (file == nullptr) {
        std::fprintf(stderr, "gorbo: cannot write the record \"%s\"\n", argv[2]);
        return 2;
    }
    return PlayRecorded(file);
}
