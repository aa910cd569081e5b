// The ten image sheets, shared by the display (which loads them) and the
// drawing code (which copies from them).
#include "display.h"

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
