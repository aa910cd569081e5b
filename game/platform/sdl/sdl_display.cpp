// The display on SDL2: a 640 x 480 back buffer in memory (32-bit when
// windowed; 8-bit with one shared 256-entry palette in full screen), images
// held as surfaces of the back buffer's format, and a present step that hands
// the back buffer to a streaming texture drawn by a renderer with vsync.
// The renderer scales the texture by the largest whole factor that fits the
// window (or the screen, in full screen), nearest neighbour, centred on bars
// of the sky colour; a 640 x 480 window shows it as it is.
//
// Windowed, the images keep their own 32-bit colours and a level's palette
// reaches them through a colour translation (sdl_colours.h): an image is
// recoloured once after each palette change, when it is next drawn.
//
// Every operation tolerates a display that is not (or only partly) made: a
// failed OpenDisplay after F4 leaves the game running without a picture.
#include <algorithm>
#include <cstring>

#include "display_ops.h"
#include "font.h"
#include "sdl_platform.h"

// An image's pixels in the back buffer's format. Windowed, once a palette
// other than the reference one was applied, own keeps the bitmap's colours
// and pixels their translation.
struct Surface {
    SDL_Surface* pixels;         // what BltTo copies
    SDL_Surface* own = nullptr;  // windowed, once recoloured: the bitmap's own colours
    unsigned generation = 0;     // the palette generation pixels show (windowed)
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
    Dsp().expandVersion = 0;
    Dsp().back = SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 8, SDL_PIXELFORMAT_INDEX8);
    Dsp().stage = SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 32, kTextureFormat);
    if (!Dsp().palette || !Dsp().back || !Dsp().stage)
        return false;
    SDL_SetSurfacePalette(Dsp().back, Dsp().palette);
    if (initial)
        ApplyPalette(initial);
    return true;
}

// The windowed sky and text colours through the applied palette; in full
// screen their nearest palette indices.
void MatchFixedColours()
{
    Uint32 sky = ColorMatch(Dsp().back, kSkyColour);
    Uint32 text = ColorMatch(Dsp().back, kTextColour);
    if (!Dsp().fullscreen) {
        sky = Dsp().colours.Shown(sky);
        text = Dsp().colours.Shown(text);
    }
    Dsp().skyColor = sky;
    Dsp().textColor = text;
}

// A translated colour that happens to equal the key would turn the pixel
// transparent; it shows as the nearest colour that is not the key instead.
Uint32 NotKey(Uint32 colour, Uint32 key)
{
    return colour == key ? colour ^ 1u : colour;
}

// Windowed: brings an image's pixels to the palette now applied. An image
// that was never recoloured holds its own colours, which is what the
// reference palette shows, so nothing is copied for it then.
void Recolour(Surface& image)
{
    image.generation = Dsp().paletteGeneration;
    if (image.pixels->format->BytesPerPixel != 4)
        return;
    if (!image.own) {
        if (Dsp().colours.Identity())
            return;
        image.own = SDL_DuplicateSurface(image.pixels);
        if (!image.own)
            return;
    }
    Uint32 key = 0;
    bool keyed = SDL_GetColorKey(image.pixels, &key) == 0;
    const SDL_Surface* from = image.own;
    SDL_Surface* to = image.pixels;
    for (int y = 0; y < from->h; ++y) {
        const Uint32* src = reinterpret_cast<const Uint32*>(static_cast<const Uint8*>(from->pixels) + y * from->pitch);
        Uint32* dst = reinterpret_cast<Uint32*>(static_cast<Uint8*>(to->pixels) + y * to->pitch);
        for (int x = 0; x < from->w; ++x) {
            if (keyed && src[x] == key)
                dst[x] = key;
            else
                dst[x] = keyed ? NotKey(Dsp().colours.Shown(src[x]), key) : Dsp().colours.Shown(src[x]);
        }
    }
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

// The table of index pairs for the palette now set, made again only when
// the palette changed (a level load, F4): 65,536 entries.
const std::uint64_t* PairTable()
{
    SdlDisplayState& d = Dsp();
    if (d.expandVersion != 0 && d.expandVersion == d.palette->version)
        return d.expandPairs.data();
    Uint32 single[256];
    for (int i = 0; i < 256; ++i) {
        const SDL_Color& c = d.palette->colors[i];
        single[i] = SDL_MapRGB(d.stage->format, c.r, c.g, c.b);
    }
    d.expandPairs.resize(65536);
    for (int first = 0; first < 256; ++first) {
        for (int second = 0; second < 256; ++second) {
            const Uint8 indices[2] = {static_cast<Uint8>(first), static_cast<Uint8>(second)};
            const Uint32 pixels[2] = {single[first], single[second]};
            std::uint16_t key = 0;
            std::memcpy(&key, indices, sizeof key);
            std::memcpy(&d.expandPairs[key], pixels, sizeof pixels);
        }
    }
    d.expandVersion = d.palette->version;
    return d.expandPairs.data();
}

// The 8-bit back buffer is expanded through its palette straight into the
// texture's memory, two pixels per look-up: a table of single pixels costs
// about twice as long, bound by the count of loads and stores.
void ExpandIndexedIntoTexture()
{
    void* pixels = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(Dsp().texture, nullptr, &pixels, &pitch) != 0)
        return;
    const std::uint64_t* pairs = PairTable();
    static_assert(kWidth % 2 == 0);
    for (int y = 0; y < kHeight; ++y) {
        const Uint8* src = static_cast<const Uint8*>(Dsp().back->pixels) + y * Dsp().back->pitch;
        Uint8* dst = static_cast<Uint8*>(pixels) + y * pitch;
        for (int x = 0; x < kWidth; x += 2) {
            std::uint16_t key = 0;
            std::memcpy(&key, src + x, sizeof key);
            std::memcpy(dst + x * 4, &pairs[key], sizeof pairs[key]);
        }
    }
    SDL_UnlockTexture(Dsp().texture);
}

// Where the 640 x 480 picture goes in an output of outW x outH: scaled by
// the largest whole factor that fits, centred. An output smaller than the
// picture (a screen below 640 x 480) gets it shrunk to fit, keeping its
// shape.
SDL_Rect PictureRect(int outW, int outH)
{
    int factor = std::min(outW / kWidth, outH / kHeight);
    int w = kWidth * factor;
    int h = kHeight * factor;
    if (factor < 1) {
        w = std::min(outW, outH * kWidth / kHeight);
        h = w * kHeight / kWidth;
    }
    return SDL_Rect{(outW - w) / 2, (outH - h) / 2, w, h};
}

// The sky colour as shown, for the bars: windowed already translated, in
// full screen through the palette.
Uint32 BarColour()
{
    if (!Dsp().fullscreen || !Dsp().palette)
        return Dsp().skyColor & 0x00FFFFFFu;
    const SDL_Color& c = Dsp().palette->colors[Dsp().skyColor & 0xFFu];
    return (static_cast<Uint32>(c.r) << 16) | (static_cast<Uint32>(c.g) << 8) | c.b;
}

// Fills the output around the picture with the sky colour. The software
// renderer keeps its output, so it does so only when the output's size or
// the colour changed; other renderers' outputs are undefined after a
// present and get their bars every frame.
void PaintBars(const SDL_Rect& picture, int outW, int outH)
{
    SdlDisplayState& d = Dsp();
    Uint32 colour = BarColour();
    if (d.keepsOutput && d.barsPainted && d.barsWidth == outW && d.barsHeight == outH && d.barsColour == colour)
        return;
    const int right = picture.x + picture.w;
    const int bottom = picture.y + picture.h;
    const SDL_Rect bars[] = {
        {0, 0, outW, picture.y},
        {0, bottom, outW, outH - bottom},
        {0, picture.y, picture.x, picture.h},
        {right, picture.y, outW - right, picture.h},
    };
    SDL_SetRenderDrawColor(d.renderer, static_cast<Uint8>(colour >> 16), static_cast<Uint8>(colour >> 8),
                           static_cast<Uint8>(colour), 255);
    for (const SDL_Rect& bar : bars) {
        if (bar.w > 0 && bar.h > 0)
            SDL_RenderFillRect(d.renderer, &bar);
    }
    d.barsPainted = true;
    d.barsWidth = outW;
    d.barsHeight = outH;
    d.barsColour = colour;
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
    int outW = 0;
    int outH = 0;
    SDL_GetRendererOutputSize(Dsp().renderer, &outW, &outH);
    SDL_Rect picture = PictureRect(outW, outH);
    PaintBars(picture, outW, outH);
    SDL_RenderCopy(Dsp().renderer, Dsp().texture, nullptr, &picture);
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

// The inner loop of the game's drawing.
template <typename Pixel>
inline __attribute__((always_inline)) void KeyedPixels(const Pixel* from, Pixel* to, int width, Pixel key)
{
    for (int i = 0; i < width; ++i) {
        Pixel p = from[i];
        to[i] = p == key ? to[i] : p;
    }
}

// Each pixel size's loop is built twice, for processors with and without
// AVX2 (twice the pixels per instruction), the one that fits chosen when the
// program starts.
__attribute__((target_clones("avx2", "default"))) void KeyedRun(const Uint8* from, Uint8* to, int width, Uint8 key)
{
    KeyedPixels(from, to, width, key);
}

__attribute__((target_clones("avx2", "default"))) void KeyedRun(const Uint32* from, Uint32* to, int width, Uint32 key)
{
    KeyedPixels(from, to, width, key);
}

template <typename Pixel>
void KeyedRows(const SDL_Surface* image, const BltRect& r, int x, int y, Pixel key)
{
    const SDL_Surface* back = Dsp().back;
    int width = r.right - r.left;
    for (int row = r.top; row < r.bottom; ++row) {
        const Pixel* from = reinterpret_cast<const Pixel*>(static_cast<const Uint8*>(image->pixels) + row * image->pitch) + r.left;
        Pixel* to = reinterpret_cast<Pixel*>(static_cast<Uint8*>(back->pixels) + (y + row - r.top) * back->pitch) + x;
        KeyedRun(from, to, width, key);
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

// Images are recoloured when first drawn.
constexpr unsigned kRecolourDue = ~0u;

bool CImage::Load(const char* path)
{
    SDL_Surface* s = LoadBitmapSurface(path);
    if (!s)
        return false;
    surface = new Surface{s, nullptr, kRecolourDue};
    SetSourceColorKey(s, kKeyColour);
    return true;
}

// A recoloured image takes the file's colours as its own and is recoloured
// again when next drawn.
void CImage::Reload(const char* path)
{
    if (!surface)
        return;
    SDL_Surface* target = surface->own ? surface->own : surface->pixels;
    ReloadBitmapSurface(target, path);
    SetSourceColorKey(surface->pixels, kKeyColour);
    surface->generation = kRecolourDue;
}

void CImage::Release()
{
    if (!surface)
        return;
    SDL_FreeSurface(surface->pixels);
    SDL_FreeSurface(surface->own);
    delete surface;
    surface = nullptr;
}

void CImage::BltTo(int x, int y, const BltRect& src) const
{
    if (!surface || !Dsp().back)
        return;
    if (!Dsp().fullscreen && surface->generation != Dsp().paletteGeneration)
        Recolour(*surface);
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
    Dsp().colours.SetReference(fullscreen ? nullptr : initial);
    ++Dsp().paletteGeneration;
    if (SDL_SetWindowFullscreen(window, fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0 && fullscreen)
        return Fail();
    // The mouse has no use in the game; full screen shows no pointer.
    SDL_ShowCursor(fullscreen ? SDL_DISABLE : SDL_ENABLE);
    Dsp().renderer = CreateRenderer();
    if (!Dsp().renderer)
        return Fail();
    SDL_RendererInfo info{};
    Dsp().keepsOutput = SDL_GetRendererInfo(Dsp().renderer, &info) == 0 && (info.flags & SDL_RENDERER_SOFTWARE);
    Dsp().barsPainted = false;
    if (!CreateTexture() || !CreateBackBuffer(initial))
        return Fail();
    MatchFixedColours();
    Dsp().lost = false;
    return true;
}

void CloseDisplay()
{
    Dsp().colours.SetReference(nullptr);
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
    Dsp().barsPainted = false;
}

// Windowed, the images are recoloured when next drawn, and the sky and
// text colours at once.
void ApplyPalette(const PaletteEntry entries[256])
{
    if (!Dsp().back)
        return;
    if (!Dsp().fullscreen) {
        Dsp().colours.Apply(entries);
        ++Dsp().paletteGeneration;
        MatchFixedColours();
        return;
    }
    if (!Dsp().palette)
        return;
    SDL_Color colours[256];
    for (int i = 0; i < 256; ++i)
        colours[i] = SDL_Color{entries[i].red, entries[i].green, entries[i].blue, 255};
    SDL_SetPaletteColors(Dsp().palette, colours, 0, 256);
}

// Plain stores, row by row: SDL_FillRect writes 32-bit surfaces with
// non-temporal stores, which leave the frame out of the cache just before
// the tiles are copied over it and the present reads it back. SDL fills
// 8-bit surfaces a byte at a time; memset is many times faster.
void ClearBackBuffer()
{
    SDL_Surface* back = Dsp().back;
    if (!back)
        return;
    for (int y = 0; y < back->h; ++y) {
        Uint8* row = static_cast<Uint8*>(back->pixels) + y * back->pitch;
        if (back->format->BytesPerPixel == 1)
            std::memset(row, static_cast<int>(Dsp().skyColor), static_cast<std::size_t>(back->w));
        else
            std::fill_n(reinterpret_cast<Uint32*>(row), back->w, Dsp().skyColor);
    }
}

void DrawTextAt(int x, int y, const char* text)
{
    if (!Dsp().back || !text)
        return;
    for (const char* p = text; *p; ++p) {
        DrawGlyph(x, y, FontGlyph(*p), Dsp().textColor);
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
