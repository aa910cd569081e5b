// Images of the front end as SDL surfaces.
#include <new>

#include "resource.h"
#include "sdl_front.h"

FRONT_IMAGE* WrapFrontSurface(SDL_Surface* surface)
{
    if (!surface) {
        return nullptr;
    }
    auto* image = new (std::nothrow) FRONT_IMAGE{surface};
    if (!image) {
        SDL_FreeSurface(surface);
    }
    return image;
}

FRONT_IMAGE* LoadImageFromResource(int id)
{
    const RESOURCE_DATA res = FindResourceData(id);
    if (!res.pData || res.nSize == 0) {
        return nullptr;
    }
    SDL_RWops* stream = SDL_RWFromConstMem(res.pData, static_cast<int>(res.nSize));
    if (!stream) {
        return nullptr;
    }
    return WrapFrontSurface(SDL_LoadBMP_RW(stream, 1));
}

FRONT_IMAGE* CreateFrontImage(int cx, int cy)
{
    return WrapFrontSurface(SDL_CreateRGBSurfaceWithFormat(0, cx, cy, 32, SDL_PIXELFORMAT_ARGB8888));
}

void FreeFrontImage(FRONT_IMAGE* image)
{
    if (image) {
        SDL_FreeSurface(image->surface);
        delete image;
    }
}

FRONT_SIZE GetFrontImageSize(const FRONT_IMAGE* image)
{
    return image ? FRONT_SIZE{image->surface->w, image->surface->h} : FRONT_SIZE{0, 0};
}

void SetFrontImageColourKey(FRONT_IMAGE* image, std::uint32_t rgb)
{
    if (image) {
        SDL_Surface* s = image->surface;
        SDL_SetColorKey(s, SDL_TRUE, SDL_MapRGB(s->format, Uint8(rgb >> 16), Uint8(rgb >> 8), Uint8(rgb)));
    }
}

void CopyFrontImage(const FRONT_IMAGE* source, const FRONT_RECT* from, FRONT_IMAGE* target, int x, int y)
{
    if (!source || !target) {
        return;
    }
    SDL_Rect part{};
    if (from) {
        part = SDL_Rect{from->x, from->y, from->cx, from->cy};
    }
    SDL_Rect to{x, y, 0, 0};
    SDL_SetSurfaceBlendMode(source->surface, SDL_BLENDMODE_NONE);
    SDL_BlitSurface(source->surface, from ? &part : nullptr, target->surface, &to);
}

void BlendFrontImage(const FRONT_IMAGE* source, FRONT_IMAGE* target, int x, int y)
{
    if (!source || !target) {
        return;
    }
    SDL_Rect to{x, y, 0, 0};
    SDL_SetSurfaceBlendMode(source->surface, SDL_BLENDMODE_BLEND);
    SDL_BlitSurface(source->surface, nullptr, target->surface, &to);
}
