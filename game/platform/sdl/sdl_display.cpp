// The display on SDL2: a 640 x 480 back buffer in memory (32-bit when
// windowed; 8-bit with one shared 256-entry palette in full screen), images
// held as surfaces of the back buffer's format, and a present step that hands
// the back buffer to a streaming texture drawn by a renderer with vsync,
// scaled to the window with nearest filtering.
//
// Every operation tolerates a display that is not (or only partly) made: a
// failed OpenDisplay after F4 leaves the game running without a picture.
#include <cstring>

#include "display_ops.h"
#include "font.h"
#include "sdl_platform.h"

struct Surface {
    SDL_Surface* pixels;
};

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr Uint32 kWindowedFormat = SDL_PIXELFORMAT_RGB888;
constexpr Uint32 kTextureFormat = SDL_PIXELFORMAT_RGB888;
constexpr int kTextScale = 2;

struct Rgb {
    Uint8 r, g, b;
};
constexpr Rgb kKeyColour{255, 60, 174};
constexpr Rgb kSkyColour{107, 136, 255};
constexpr Rgb kTextColour{255, 255, 0};

SdlDisplayState& Dsp()
{
    return Sdl().display;
}

// The raw pixel value the surface uses for a colour: the colour itself in
// 32-bit, the nearest palette entry in 8-bit.
Uint32 ColorMatch(SDL_Surface* surface, Rgb c)
{
    return SDL_MapRGB(surface->format, c.r, c.g, c.b);
}

bool SetSourceColorKey(SDL_Surface* surface, Rgb c)
{
    if (!surface)
        return false;
    return SDL_SetColorKey(surface, SDL_TRUE, ColorMatch(surface, c)) == 0;
}

SDL_Surface* CreateOffscreenSurface(int width, int height)
{
    if (!Dsp().back)
        return nullptr;
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, width, height, Dsp().back->format->BitsPerPixel,
                                                    Dsp().back->format->format);
    if (!s)
        return nullptr;
    if (Dsp().palette)
        SDL_SetSurfacePalette(s, Dsp().palette);
    SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_NONE);
    return s;
}

// Each colour of a 32-bit bitmap to its nearest palette entry. A small
// direct-mapped cache keeps the search to about one per distinct colour.
SDL_Surface* IndexBitmap(SDL_Surface* rgb)
{
    SDL_Surface* out = SDL_CreateRGBSurfaceWithFormat(0, rgb->w, rgb->h, 8, SDL_PIXELFORMAT_INDEX8);
    if (!out)
        return nullptr;
    SDL_SetSurfacePalette(out, Dsp().palette);
    struct Cached {
        Uint32 colour;  // 0xFFFFFFFF: empty (never a 24-bit colour)
        Uint8 index;
    };
    static Cached cache[4096];
    for (Cached& c : cache)
        c.colour = 0xFFFFFFFFu;
    for (int y = 0; y < rgb->h; ++y) {
        const Uint32* src = reinterpret_cast<const Uint32*>(static_cast<Uint8*>(rgb->pixels) + y * rgb->pitch);
        Uint8* dst = static_cast<Uint8*>(out->pixels) + y * out->pitch;
        for (int x = 0; x < rgb->w; ++x) {
            Uint32 colour = src[x] & 0x00FFFFFFu;
            Cached& slot = cache[(colour ^ (colour >> 12)) & 4095u];
            if (slot.colour != colour) {
                Uint8 r, g, b;
                SDL_GetRGB(colour, rgb->format, &r, &g, &b);
                slot.colour = colour;
                slot.index = static_cast<Uint8>(SDL_MapRGB(out->format, r, g, b));
            }
            dst[x] = slot.index;
        }
    }
    return out;
}

// Copies the whole bitmap onto the whole surface, converting its colours to
// the surface's format (the nearest palette entry in 8-bit) and stretching
// when the sizes differ.
bool CopyBitmapToSurface(SDL_Surface* surface, SDL_Surface* bitmap)
{
    if (!surface || !bitmap)
        return false;
    SDL_Surface* rgb = SDL_ConvertSurfaceFormat(bitmap, kWindowedFormat, 0);
    if (!rgb)
        return false;
    SDL_Surface* source = rgb;
    if (surface->format->BitsPerPixel == 8) {
        source = Dsp().palette ? IndexBitmap(rgb) : nullptr;
        SDL_FreeSurface(rgb);
        if (!source)
            return false;
    }
    SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
    SDL_SetColorKey(source, SDL_FALSE, 0);
    bool ok = SDL_BlitScaled(source, nullptr, surface, nullptr) == 0;
    SDL_FreeSurface(source);
    return ok;
}

// Larger sheets are refused before any pixel memory is taken: a bitmap file
// may announce sizes of up to 2^31 pixels a side.
constexpr int kMaxBitmapSide = 4096;

bool BitmapSizeAcceptable(SDL_RWops* rw)
{
    Uint8 h[26];
    if (SDL_RWread(rw, h, 1, sizeof h) != sizeof h || h[0] != 'B' || h[1] != 'M')
        return false;
    SDL_RWseek(rw, 0, RW_SEEK_SET);
    Uint32 infoSize = h[14] | (h[15] << 8) | (h[16] << 16) | (static_cast<Uint32>(h[17]) << 24);
    long width = 0;
    long height = 0;
    if (infoSize == 12) {
        width = h[18] | (h[19] << 8);
        height = h[20] | (h[21] << 8);
    } else {
        width = static_cast<Sint32>(h[18] | (h[19] << 8) | (h[20] << 16) | (static_cast<Uint32>(h[21]) << 24));
        height = static_cast<Sint32>(h[22] | (h[23] << 8) | (h[24] << 16) | (static_cast<Uint32>(h[25]) << 24));
    }
    if (height < 0)
        height = -height;
    return width > 0 && width <= kMaxBitmapSide && height > 0 && height <= kMaxBitmapSide;
}

// A bitmap file, or none when it is missing, malformed or too large.
SDL_Surface* ReadBitmapFile(const char* path)
{
    SDL_RWops* rw = SDL_RWFromFile(path, "rb");
    if (!rw)
        return nullptr;
    if (!BitmapSizeAcceptable(rw)) {
        SDL_RWclose(rw);
        return nullptr;
    }
    return SDL_LoadBMP_RW(rw, 1);
}

SDL_Surface* LoadBitmapSurface(const char* path)
{
    SDL_Surface* bitmap = ReadBitmapFile(path);
    if (!bitmap)
        return nullptr;
    SDL_Surface* surface = CreateOffscreenSurface(bitmap->w, bitmap->h);
    if (surface && !CopyBitmapToSurface(surface, bitmap)) {
        SDL_FreeSurface(surface);
        surface = nullptr;
    }
    SDL_FreeSurface(bitmap);
    return surface;
}

bool ReloadBitmapSurface(SDL_Surface* surface, const char* path)
{
    SDL_Surface* bitmap = ReadBitmapFile(path);
    if (!bitmap) {
        Trace("handle is null\n");
        return false;
    }
    bool ok = CopyBitmapToSurface(surface, bitmap);
    if (!ok)
        Trace("ddcopybitmap failed\n");
    SDL_FreeSurface(bitmap);
    return ok;
}

SDL_Renderer* CreateRenderer()
{
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    SDL_Renderer* r = SDL_CreateRenderer(Sdl().window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (!r)
        r = SDL_CreateRenderer(Sdl().window, -1, SDL_RENDERER_PRESENTVSYNC);
    if (!r)
        r = SDL_CreateRenderer(Sdl().window, -1, 0);
    return r;
}

bool CreateTexture()
{
    Dsp().texture = SDL_CreateTexture(Dsp().renderer, kTextureFormat, SDL_TEXTUREACCESS_STREAMING, kWidth, kHeight);
    return Dsp().texture != nullptr;
}

// Windowed, the back buffer is the streaming texture's own memory, kept
// locked between presents: a frame is then handed over without a copy. The
// memory may move at each lock; its content is not kept across a present,
// which is harmless as every frame starts by clearing it.
bool WrapLockedTexture()
{
    void* pixels = nullptr;
    int pitch = 0;
    if (!Dsp().texture || SDL_LockTexture(Dsp().texture, nullptr, &pixels, &pitch) != 0)
        return false;
    if (Dsp().back && Dsp().back->pixels == pixels && Dsp().back->pitch == pitch)
        return true;
    SDL_FreeSurface(Dsp().back);
    Dsp().back = SDL_CreateRGBSurfaceWithFormatFrom(pixels, kWidth, kHeight, 32, pitch, kWindowedFormat);
    if (Dsp().back)
        return true;
    SDL_UnlockTexture(Dsp().texture);
    return false;
}

// The windowed back buffer: in the texture when it can be, else a surface of
// its own that each present copies into the texture.
bool CreateWindowedBackBuffer()
{
    Dsp().backInTexture = WrapLockedTexture();
    if (Dsp().backInTexture)
        return true;
    SDL_FreeSurface(Dsp().back);
    Dsp().back = SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 32, kWindowedFormat);
    return Dsp().back != nullptr;
}

void FreeBackBuffer()
{
    SDL_FreeSurface(Dsp().back);
    Dsp().back = nullptr;
    Dsp().backInTexture = false;
}

// The back buffer of the current mode; in full screen also the shared
// palette, filled from initial, and the 32-bit stage.
bool CreateBackBuffer(const PaletteEntry initial[256])
{
    if (!Dsp().fullscreen)
        return CreateWindowedBackBuffer();
    Dsp().palette = SDL_AllocPalette(256);
    Dsp().back = SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 8, SDL_PIXELFORMAT_INDEX8);
    Dsp().stage = SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 32, kTextureFormat);
    if (!Dsp().palette || !Dsp().back || !Dsp().stage)
        return false;
    SDL_SetSurfacePalette(Dsp().back, Dsp().palette);
    if (initial)
        ApplyPalette(initial);
    return true;
}

bool Fail()
{
    SetPlatformError(SDL_GetError());
    return false;
}

void PutTextPixel(int x, int y, Uint32 colour)
{
    if (x < 0 || y < 0 || x >= Dsp().back->w || y >= Dsp().back->h)
        return;
    Uint8* row = static_cast<Uint8*>(Dsp().back->pixels) + y * Dsp().back->pitch;
    if (Dsp().back->format->BytesPerPixel == 1)
        row[x] = static_cast<Uint8>(colour);
    else
        reinterpret_cast<Uint32*>(row)[x] = colour;
}

void DrawGlyph(int x, int y, const std::uint8_t* rows, Uint32 colour)
{
    for (int gy = 0; gy < FONT_CELL_HEIGHT; ++gy) {
        for (int gx = 0; gx < FONT_CELL_WIDTH; ++gx) {
            if (!(rows[gy] & (0x10 >> gx)))
                continue;
            for (int sy = 0; sy < kTextScale; ++sy)
                for (int sx = 0; sx < kTextScale; ++sx)
                    PutTextPixel(x + gx * kTextScale + sx, y + gy * kTextScale + sy, colour);
        }
    }
}

// The 8-bit back buffer is expanded through its palette straight into the
// texture's memory.
void ExpandIndexedIntoTexture()
{
    void* pixels = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(Dsp().texture, nullptr, &pixels, &pitch) != 0)
        return;
    Uint32 lut[256];
    for (int i = 0; i < 256; ++i) {
        const SDL_Color& c = Dsp().palette->colors[i];
        lut[i] = SDL_MapRGB(Dsp().stage->format, c.r, c.g, c.b);
    }
    for (int y = 0; y < kHeight; ++y) {
        const Uint8* src = static_cast<const Uint8*>(Dsp().back->pixels) + y * Dsp().back->pitch;
        Uint32* dst = reinterpret_cast<Uint32*>(static_cast<Uint8*>(pixels) + y * pitch);
        for (int x = 0; x < kWidth; ++x)
            dst[x] = lut[src[x]];
    }
    SDL_UnlockTexture(Dsp().texture);
}

void ShowBackBuffer()
{
    if (Dsp().back->format->BitsPerPixel == 8) {
        if (!Dsp().stage || !Dsp().palette)
            return;
        ExpandIndexedIntoTexture();
    } else if (Dsp().backInTexture) {
        SDL_UnlockTexture(Dsp().texture);
    } else {
        SDL_UpdateTexture(Dsp().texture, nullptr, Dsp().back->pixels, Dsp().back->pitch);
    }
    // The picture covers the whole output unless it is scaled into a screen
    // of another shape; only then are there bars to clear.
    int outW = 0;
    int outH = 0;
    SDL_GetRendererOutputSize(Dsp().renderer, &outW, &outH);
    if (outW != kWidth || outH != kHeight) {
        SDL_SetRenderDrawColor(Dsp().renderer, 0, 0, 0, 255);
        SDL_RenderClear(Dsp().renderer);
    }
    SDL_RenderCopy(Dsp().renderer, Dsp().texture, nullptr, nullptr);
    SDL_RenderPresent(Dsp().renderer);
    if (Dsp().backInTexture && !WrapLockedTexture()) {
        FreeBackBuffer();
        CreateWindowedBackBuffer();
    }
}

// Clips the source rectangle to the image and the destination to the back
// buffer; false when nothing remains.
bool ClipCopy(const SDL_Surface* image, BltRect& r, int& x, int& y)
{
    if (r.left < 0) { x -= r.left; r.left = 0; }
    if (r.top < 0) { y -= r.top; r.top = 0; }
    if (r.right > image->w) r.right = image->w;
    if (r.bottom > image->h) r.bottom = image->h;
    if (x < 0) { r.left -= x; x = 0; }
    if (y < 0) { r.top -= y; y = 0; }
    if (x + (r.right - r.left) > Dsp().back->w) r.right = r.left + Dsp().back->w - x;
    if (y + (r.bottom - r.top) > Dsp().back->h) r.bottom = r.top + Dsp().back->h - y;
    return r.right > r.left && r.bottom > r.top;
}

template <typename Pixel>
void KeyedRows(const SDL_Surface* image, const BltRect& r, int x, int y, Pixel key)
{
    const SDL_Surface* back = Dsp().back;
    int width = r.right - r.left;
    for (int row = r.top; row < r.bottom; ++row) {
        const Pixel* from = reinterpret_cast<const Pixel*>(static_cast<const Uint8*>(image->pixels) + row * image->pitch) + r.left;
        Pixel* to = reinterpret_cast<Pixel*>(static_cast<Uint8*>(back->pixels) + (y + row - r.top) * back->pitch) + x;
        for (int i = 0; i < width; ++i) {
            Pixel p = from[i];
            to[i] = p == key ? to[i] : p;
        }
    }
}

// The colour-keyed copy of a rectangle of an image in the back buffer's
// format: a pixel equal to the key leaves the back buffer's pixel.
void KeyedCopy(SDL_Surface* image, BltRect r, int x, int y, Uint32 key)
{
    if (!ClipCopy(image, r, x, y))
        return;
    if (image->format->BytesPerPixel == 1)
        KeyedRows<Uint8>(image, r, x, y, static_cast<Uint8>(key));
    else if (image->format->BytesPerPixel == 4)
        KeyedRows<Uint32>(image, r, x, y, key);
}

}  // namespace

void Trace(const char*)
{
}

bool CImage::Load(const char* path)
{
    SDL_Surface* s = LoadBitmapSurface(path);
    if (!s)
        return false;
    surface = new Surface{s};
    SetSourceColorKey(s, kKeyColour);
    return true;
}

void CImage::Reload(const char* path)
{
    if (!surface)
        return;
    ReloadBitmapSurface(surface->pixels, path);
    SetSourceColorKey(surface->pixels, kKeyColour);
}

void CImage::Release()
{
    if (!surface)
        return;
    SDL_FreeSurface(surface->pixels);
    delete surface;
    surface = nullptr;
}

void CImage::BltTo(int x, int y, const BltRect& src) const
{
    if (!surface || !Dsp().back)
        return;
    SDL_Surface* image = surface->pixels;
    Uint32 key = 0;
    if (image->format->format != Dsp().back->format->format || SDL_GetColorKey(image, &key) != 0) {
        SDL_Rect from{src.left, src.top, src.right - src.left, src.bottom - src.top};
        SDL_Rect to{x, y, 0, 0};
        SDL_BlitSurface(image, &from, Dsp().back, &to);
        return;
    }
    KeyedCopy(image, src, x, y, key);
}

bool OpenDisplay(bool fullscreen, const PaletteEntry initial[256])
{
    SDL_Window* window = Sdl().window;
    if (!window) {
        SetPlatformError("no game window");
        return false;
    }
    Dsp().fullscreen = fullscreen;
    if (SDL_SetWindowFullscreen(window, fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0 && fullscreen)
        return Fail();
    // The mouse has no use in the game; full screen shows no pointer.
    SDL_ShowCursor(fullscreen ? SDL_DISABLE : SDL_ENABLE);
    Dsp().renderer = CreateRenderer();
    if (!Dsp().renderer)
        return Fail();
    SDL_RenderSetLogicalSize(Dsp().renderer, kWidth, kHeight);
    if (!CreateTexture() || !CreateBackBuffer(initial))
        return Fail();
    Dsp().skyColor = ColorMatch(Dsp().back, kSkyColour);
    if (!fullscreen)
        SDL_SetWindowSize(window, kWidth, kHeight);
    Dsp().lost = false;
    return true;
}

void CloseDisplay()
{
    SDL_FreeSurface(Dsp().stage);
    Dsp().stage = nullptr;
    FreeBackBuffer();
    if (Dsp().palette) {
        SDL_FreePalette(Dsp().palette);
        Dsp().palette = nullptr;
    }
    if (Dsp().texture) {
        SDL_DestroyTexture(Dsp().texture);
        Dsp().texture = nullptr;
    }
    if (Dsp().renderer) {
        SDL_DestroyRenderer(Dsp().renderer);
        Dsp().renderer = nullptr;
    }
}

// The renderer lost its textures (or its device): the texture is made
// again (the images are in memory surfaces, which nothing takes).
void RestoreSurfaces()
{
    if (!Dsp().renderer)
        return;
    if (Dsp().backInTexture)
        FreeBackBuffer();
    if (Dsp().texture)
        SDL_DestroyTexture(Dsp().texture);
    Dsp().texture = nullptr;
    CreateTexture();
    if (!Dsp().fullscreen && !Dsp().back)
        CreateWindowedBackBuffer();
}

void ApplyPalette(const PaletteEntry entries[256])
{
    if (!Dsp().fullscreen || !Dsp().palette)
        return;
    SDL_Color colours[256];
    for (int i = 0; i < 256; ++i)
        colours[i] = SDL_Color{entries[i].red, entries[i].green, entries[i].blue, 255};
    SDL_SetPaletteColors(Dsp().palette, colours, 0, 256);
}

void ClearBackBuffer()
{
    if (!Dsp().back)
        return;
    if (Dsp().back->format->BytesPerPixel != 1) {
        SDL_FillRect(Dsp().back, nullptr, Dsp().skyColor);
        return;
    }
    // SDL fills 8-bit surfaces a byte at a time; a plain memset is many times faster.
    for (int y = 0; y < Dsp().back->h; ++y)
        std::memset(static_cast<Uint8*>(Dsp().back->pixels) + y * Dsp().back->pitch, static_cast<int>(Dsp().skyColor), kWidth);
}

void DrawTextAt(int x, int y, const char* text)
{
    if (!Dsp().back || !text)
        return;
    Uint32 colour = ColorMatch(Dsp().back, kTextColour);
    for (const char* p = text; *p; ++p) {
        DrawGlyph(x, y, FontGlyph(*p), colour);
        x += (FONT_CELL_WIDTH + 1) * kTextScale;
    }
}

bool PresentBackBuffer()
{
    if (!Dsp().renderer || !Dsp().back)
        return true;
    if (Dsp().lost) {
        Dsp().lost = false;
        return false;
    }
    if (Dsp().texture)
        ShowBackBuffer();
    return true;
}
