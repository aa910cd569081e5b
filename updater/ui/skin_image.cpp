#include "skin_image.h"

void SKIN_IMAGE::Wrap(FRONT_IMAGE* image)
{
    Reset();
    pImage = image;
    const FRONT_SIZE size = GetFrontImageSize(image);
    nWidth = size.cx;
    nHeight = size.cy;
}

void SKIN_IMAGE::Reset()
{
    FreeFrontImage(pImage);
    pImage = nullptr;
    nWidth = 0;
    nHeight = 0;
}

void SKIN_PIECE::Place(int left, int top)
{
    x = left;
    y = top;
    cx = image.nWidth;
    cy = image.nHeight;
}
