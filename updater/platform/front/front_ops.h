// The operations the updater's portable front end (the application object,
// the progress window and its labels in updater/ui) needs of the platform:
// images, fonts and text, the display, the window and its events. The
// implementation beside this header uses SDL2, SDL2_ttf and fontconfig; the
// portable front end sees none of them.
//
// Main thread only, unless an operation says otherwise. Nothing here throws;
// failures come back as null or false.
#pragma once

#include <cstdint>
#include <string>

// Results of a modal front end.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// An image: decoded from a resource, rendered text, or an off-screen buffer
// in 32-bit ARGB. Owned by whoever made it (FreeFrontImage).
struct FRONT_IMAGE;
// An open font face at one pixel size (CloseFrontFont).
struct FRONT_FONT;
// The progress window and its events (DestroyFrontWindow).
struct FRONT_WINDOW;

struct FRONT_RECT {
    int x, y, cx, cy;
};

struct FRONT_SIZE {
    int cx, cy;
};

// Alignment along one axis, in the values the window's layout uses.
enum StringAlignment { StringAlignmentNear = 0, StringAlignmentCenter = 1, StringAlignmentFar = 2 };

// --- images ---

// Decodes the BMP resource with the given id; null when it is missing or
// cannot be decoded.
FRONT_IMAGE* LoadImageFromResource(int id);
// A cx x cy ARGB image, every pixel transparent black; null on failure.
FRONT_IMAGE* CreateFrontImage(int cx, int cy);
void FreeFrontImage(FRONT_IMAGE* image);  // null is ignored
FRONT_SIZE GetFrontImageSize(const FRONT_IMAGE* image);  // {0, 0} for null
// Pixels of the colour 0xRRGGBB become transparent wherever the image is
// drawn or used as the window's icon.
void SetFrontImageColourKey(FRONT_IMAGE* image, std::uint32_t rgb);
// Copies the rectangle `from` of source (null: all of it) onto target with
// its top-left corner at (x, y), replacing the pixels beneath; clipped to
// both images.
void CopyFrontImage(const FRONT_IMAGE* source, const FRONT_RECT* from, FRONT_IMAGE* target, int x, int y);
// Draws source over target at (x, y), blended by the source's alpha.
void BlendFrontImage(const FRONT_IMAGE* source, FRONT_IMAGE* target, int x, int y);

// --- fonts and text ---

// What a label needs to open its own copy of a font.
struct SKIN_FONT {
    std::string strFile;  // font file; empty when no face was found
    long nIndex = 0;      // face within a collection
    int nPixels = 12;     // em size in pixels
};

// Asks the system's font configuration for `family` in the language `lang`
// and returns the first matching face that can draw `sample` (a code point),
// so that a request for a CJK family never ends in a face without CJK
// glyphs. strFile is empty when no installed face has the character. Needs
// no display.
SKIN_FONT FindFontFace(const char* family, const char* lang, unsigned sample, int pixels);
// Opens the face at its size; null when it cannot be opened. Needs no display.
FRONT_FONT* OpenFrontFont(const SKIN_FONT& font);
void CloseFrontFont(FRONT_FONT* font);  // null is ignored
// The UTF-8 text in the colour (ARGB) on a transparent image, lines wrapped
// at wrapWidth pixels and each placed by `align` within the block; null for
// an empty text or when nothing could be drawn.
FRONT_IMAGE* RenderFrontText(FRONT_FONT* font, const std::string& utf8, std::uint32_t argb, int wrapWidth,
                             StringAlignment align);

// --- display and window ---

// True when a display the user can see is reachable and the window and text
// libraries have started on it; CloseFrontDisplay shuts them down again.
bool OpenFrontDisplay();
void CloseFrontDisplay();
// The one start-up message: in a message box when a display is there, on
// standard error otherwise.
void ShowStartupMessage(const std::string& title, const char* text);

enum FRONT_EVENT {
    FRONT_EVENT_NONE,     // nothing arrived in time
    FRONT_EVENT_CLOSE,    // the system asks the window to close
    FRONT_EVENT_ESCAPE,   // Esc pressed
    FRONT_EVENT_ENTER,    // Enter (either) pressed
    FRONT_EVENT_EXPOSED,  // the window's contents must be drawn again
    FRONT_EVENT_WAKE,     // WakeFrontWindow was called
    FRONT_EVENT_OTHER,    // anything else
};

// Answers whether a press at (x, y), client coordinates, drags the window.
using FRONT_DRAG_TEST = bool (*)(const void* owner, int x, int y);

// Creates the borderless window, hidden and centred, with a client area of
// cx x cy. A press where drag(owner, x, y) answers true drags it (where the
// window system allows it: not being draggable is not fatal). Null when the
// window cannot be created.
FRONT_WINDOW* CreateFrontWindow(const char* title, int cx, int cy, FRONT_DRAG_TEST drag, const void* owner);
void DestroyFrontWindow(FRONT_WINDOW* window);  // null is ignored
void SetFrontWindowIcon(FRONT_WINDOW* window, const FRONT_IMAGE* icon);
// Resizes the window to cx x cy without moving it, then centres it.
void PlaceFrontWindow(FRONT_WINDOW* window, int cx, int cy);
void ShowFrontWindow(FRONT_WINDOW* window);
// Copies the frame onto the window at (0, 0) and brings it to the screen.
// False when the window has nothing to show it on.
bool PresentFrontFrame(FRONT_WINDOW* window, const FRONT_IMAGE* frame);
// Waits up to timeoutMs (-1: without limit) for the next event;
// FRONT_EVENT_NONE when none came.
FRONT_EVENT WaitFrontEvent(FRONT_WINDOW* window, int timeoutMs);
// The next waiting event, FRONT_EVENT_NONE when none waits.
FRONT_EVENT PollFrontEvent(FRONT_WINDOW* window);
// Any thread: makes a wait of the window's thread return (FRONT_EVENT_WAKE).
void WakeFrontWindow(FRONT_WINDOW* window);
// Milliseconds of a monotonic clock; wraps at 32 bits.
std::uint32_t FrontTicks();
