#include "player.h"

CPlayer g_player;

namespace {

constexpr int SHEET_COLUMNS = 8;     // cells to a row of the player sheet
constexpr int BIG_ROWS_TOP = 64;     // big cells start below the two small rows
constexpr float BLINK_SECONDS = 3.0f;

}  // namespace

void CPlayer::Draw(int scrollX)
{
    int sx = ToScreen(x, scrollX);
    int sy = ToScreen(y, 0);
    BltRect src{};
    src.left = (frame % SHEET_COLUMNS) * width;
    src.top = (frame / SHEET_COLUMNS) * height + (kind == PLAYER_BIG ? BIG_ROWS_TOP : 0);
    src.right = src.left + width;
    src.bottom = src.top + height;
    const bool visible = ClipToScreen(sx, sy, width, height, src);
    if ((blinking == 0 || blinkPhase == 1) && visible && sheet != nullptr)
        sheet->BltTo(sx, sy, src);
    if (blinking == 1) {
        blinkPhase = 1 - blinkPhase;
        CTimer now;
        now.Mark();
        if (now.SecondsSince(blinkClock) > BLINK_SECONDS)
            blinking = 0;
    }
}
