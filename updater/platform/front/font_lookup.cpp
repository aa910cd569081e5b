// The face lookup of the front end on fontconfig.
#include "front_ops.h"

#include <fontconfig/fontconfig.h>

namespace {

// The file and index of a face that has the sample character, or false.
bool TakeFace(FcPattern* face, unsigned sample, SKIN_FONT& out)
{
    FcCharSet* chars = nullptr;
    if (FcPatternGetCharSet(face, FC_CHARSET, 0, &chars) != FcResultMatch || !FcCharSetHasChar(chars, sample)) {
        return false;
    }
    FcChar8* file = nullptr;
    if (FcPatternGetString(face, FC_FILE, 0, &file) != FcResultMatch || !file) {
        return false;
    }
    int index = 0;
    FcPatternGetInteger(face, FC_INDEX, 0, &index);
    out.strFile = reinterpret_cast<const char*>(file);
    out.nIndex = index;
    return true;
}

}  // namespace

SKIN_FONT FindFontFace(const char* family, const char* lang, unsigned sample, int pixels)
{
    SKIN_FONT font;
    font.nPixels = pixels;
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) {
        return font;
    }
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(lang));
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);

    // The best match usually has the glyphs; when it has not (a family alias
    // that lands on a Latin face), walk the sorted fallbacks.
    FcResult result = FcResultNoMatch;
    FcPattern* best = FcFontMatch(config, pattern, &result);
    if (!(best && TakeFace(best, sample, font))) {
        if (FcFontSet* sorted = FcFontSort(config, pattern, FcFalse, nullptr, &result)) {
            for (int i = 0; i < sorted->nfont; ++i) {
                FcPattern* face = FcFontRenderPrepare(config, pattern, sorted->fonts[i]);
                const bool taken = face && TakeFace(face, sample, font);
                if (face) {
                    FcPatternDestroy(face);
                }
                if (taken) {
                    break;
                }
            }
            FcFontSetDestroy(sorted);
        }
    }
    if (best) {
        FcPatternDestroy(best);
    }
    FcPatternDestroy(pattern);
    FcConfigDestroy(config);
    return font;
}
