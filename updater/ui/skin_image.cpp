#include "skin_image.h"

#include "resource.h"

void SKIN_IMAGE::Wrap(SDL_Surface* surface)
{
    Reset();
    pImage = surface;
    nWidth = surface ? surface->w : 0;
    nHeight = surface ? surface->h : 0;
}

void SKIN_IMAGE::Reset()
{
    if (pImage) {
        SDL_FreeSurface(pImage);
    }
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

SDL_Surface* LoadImageFromResource(int id)
{
    const RESOURCE_DATA res = FindResourceData(id);
    if (!res.pData || res.nSize == 0) {
        return nullptr;
    }
    SDL_RWops* stream = SDL_RWFromConstMem(res.pData, static_cast<int>(res.nSize));
    if (!stream) {
        return nullptr;
    }
    return SDL_LoadBMP_RW(stream, 1);
}
