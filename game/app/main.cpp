// Gorbo, a side-scrolling platform game: the program entry. It takes no
// options; everything happens in GameMain.
#include "mainloop.h"

int main()
{
    return GameMain();
}
