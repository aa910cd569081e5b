#include "player.h"

CPlayer g_player;

namespace {

constexpr int SHEET_COLUMNS = 8;     // cells to a row of the player sheet
constexpr int BIG_ROWS_TOP = 64;     // big cells start below the two small rows
constexpr float BLINK_SECONDS = 3.0f;

}  // namespace

void CPlayer::Draw(int scrollX)
{
    int sx = TruncToInt(x) - scrollX;
    int sy = TruncToInt(y);
    BltRect src{};
    src.left = (frame % SHEET_COLUMNS) * width;
    src.top = (frame / SHEET_COLUMNS) * height + (kind == PLAYER_BIG ? BIG_ROWS_TOP : 0);
    src.right = src.left + width;
    src.bottom = src.top + height;
    if (sx < 0) {
        src.left -= sx;
        sx = 0;
    } else if (sx + width > SCREEN_WIDTH) {
        src.right -= sx + width - SCREEN_WIDTH;
    }
    if (sy < 0) {
        src.top -= sy;
        sy = 0;
    } else if (sy + height > SCREEN_HEIGHT) {
        src.bottom -= sy + height - SCREEN_HEIGHT;
    }
    // A player wholly off the screen leaves an empty (inverted) rectangle;
    // it is not handed to the display.
    const bool visible = src.right > src.left && src.bottom > src.top;
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
