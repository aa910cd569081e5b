#include "display.h"

#include "palette.h"

int g_fullscreen = 0;

CImage g_imgTile;
CImage g_imgPlayer;
CImage g_imgCoin;
CImage g_imgMushroom;
CImage g_imgDebris;
CImage g_imgGhost;
CImage g_imgTurtle;
CImage g_imgBullet;
CImage g_imgExplode;
CImage g_imgFlower;

namespace {

struct ImageSlot {
    CImage* image;
    const char* path;
};

const ImageSlot kImages[] = {
    {&g_imgTile, "graphics/tile.bmp"},         {&g_imgPlayer, "graphics/player.bmp"},
    {&g_imgCoin, "graphics/coin.bmp"},         {&g_imgMushroom, "graphics/mushroom.bmp"},
    {&g_imgDebris, "graphics/debris.bmp"},     {&g_imgGhost, "graphics/ghost.bmp"},
    {&g_imgTurtle, "graphics/turtle.bmp"},     {&g_imgBullet, "graphics/bullet.bmp"},
    {&g_imgExplode, "graphics/explode.bmp"},   {&g_imgFlower, "graphics/flower.bmp"},
};

}  // namespace

bool LoadImages()
{
    for (const ImageSlot& slot : kImages)
        slot.image->Load(slot.path);
    return true;
}

void ReloadImages()
{
    for (const ImageSlot& slot : kImages)
        slot.image->Reload(slot.path);
}

void ReleaseImages()
{
    for (const ImageSlot& slot : kImages)
        slot.image->Release();
}

bool InitDisplay()
{
    PaletteEntry bright[256];
    LoadPaletteFile("bright.pal", bright);
    if (!OpenDisplay(g_fullscreen != 0, bright))
        return false;
    LoadImages();
    return true;
}

void ReleaseDisplay()
{
    ReleaseImages();
    CloseDisplay();
}

void RestoreDisplay()
{
    RestoreSurfaces();
    ReloadImages();
}

void Present()
{
    if (!PresentBackBuffer())
        RestoreDisplay();
}
