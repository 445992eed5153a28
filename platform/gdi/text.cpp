#include "platform/gdi/text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <vector>

namespace platform::gdi {

namespace {

thread_local bool testFont = false;

class TestFace : public FontFace {
  public:
    explicit TestFace(bool bold) : bold_(bold) {}
    int height() const override { return TestFont::kCellHeight; }
    int ascent() const override { return TestFont::kAscent; }
    int advance(char16_t) const override { return TestFont::kCellWidth; }
    void glyph(char16_t c, const std::function<void(int, int)>& plot) const override {
        if (c == u' ') return;
        const int last = bold_ ? TestFont::kCellWidth - 1 : TestFont::kCellWidth - 2;
        for (int y = 2; y <= TestFont::kCellHeight - 4; ++y)
            for (int x = 1; x <= last; ++x) plot(x, y - TestFont::kAscent);
    }

  private:
    bool bold_;
};

std::string utf8(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        const auto v = static_cast<unsigned>(c);
        if (v < 0x80) {
            out += static_cast<char>(v);
        } else if (v < 0x800) {
            out += static_cast<char>(0xC0 | (v >> 6));
            out += static_cast<char>(0x80 | (v & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (v >> 12));
            out += static_cast<char>(0x80 | ((v >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (v & 0x3F));
        }
    }
    return out;
}

struct FreeTypeLibrary {
    FT_Library library = nullptr;
    FreeTypeLibrary() {
        if (FT_Init_FreeType(&library)) library = nullptr;
    }
    ~FreeTypeLibrary() {
        if (library) FT_Done_FreeType(library);
    }
};

class FreeTypeFace;

// The thread's FreeType library and its realised faces; the faces go before the library.
struct Engine {
    FreeTypeLibrary lib;
    std::map<std::tuple<std::u16string, double, bool, int>, std::shared_ptr<const FontFace>> cache;
};

Engine& engine() {
    thread_local Engine e;
    return e;
}

FT_Library freeType() {
    return engine().lib.library;
}

// The file of the best match for a family (and language, when given).
std::string matchFile(const std::string& family, const char* lang, bool bold) {
    if (!FcInit()) return {};
    FcPattern* pattern = FcPatternCreate();
    if (!family.empty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    if (lang) FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(lang));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    std::string file;
    if (match) {
        FcChar8* path = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
            file = reinterpret_cast<const char*>(path);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return file;
}

class FreeTypeFace : public FontFace {
  public:
    FreeTypeFace(const Font& font) : bold_(font.bold) {
        const int px = std::max(pointsToPixels(font.size), 1);
        faces_.push_back(
            open(matchFile(utf8(font.face), font.charset == 129 ? "ko" : nullptr, font.bold), px));
        // Korean text in a face without Hangul falls back to a Korean face.
        faces_.push_back(open(matchFile("NanumGothic", "ko", font.bold), px));
        for (FT_Face f : faces_)
            if (f) {
                ascent_ = std::max(ascent_, static_cast<int>(f->size->metrics.ascender >> 6));
                descent_ = std::max(descent_, static_cast<int>(-(f->size->metrics.descender >> 6)));
                if (faces_[0]) break;
            }
    }
    ~FreeTypeFace() override {
        for (FT_Face f : faces_)
            if (f) FT_Done_Face(f);
    }
    int height() const override { return ascent_ + descent_; }
    int ascent() const override { return ascent_; }
    int advance(char16_t c) const override {
        FT_Face f = load(c);
        return f ? static_cast<int>(f->glyph->advance.x >> 6) + (bold_ ? 1 : 0) : 0;
    }
    void glyph(char16_t c, const std::function<void(int, int)>& plot) const override {
        FT_Face f = load(c);
        if (!f) return;
        const FT_Bitmap& b = f->glyph->bitmap;
        const int left = f->glyph->bitmap_left;
        const int top = f->glyph->bitmap_top;
        for (unsigned y = 0; y < b.rows; ++y)
            for (unsigned x = 0; x < b.width; ++x) {
                const unsigned char* row = b.buffer + static_cast<long>(y) * b.pitch;
                bool on = b.pixel_mode == FT_PIXEL_MODE_MONO ? ((row[x / 8] >> (7 - x % 8)) & 1)
                                                             : row[x] >= 128;
                if (!on) continue;
                plot(left + static_cast<int>(x), static_cast<int>(y) - top);
                if (bold_) plot(left + static_cast<int>(x) + 1, static_cast<int>(y) - top);
            }
    }

  private:
    FT_Face open(const std::string& file, int px) {
        FT_Face face = nullptr;
        if (file.empty() || !freeType() || FT_New_Face(freeType(), file.c_str(), 0, &face))
            return nullptr;
        FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(px));
        return face;
    }
    FT_Face load(char16_t c) const {
        for (FT_Face f : faces_) {
            if (!f || FT_Get_Char_Index(f, c) == 0) continue;
            if (FT_Load_Char(f, c, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME))
                continue;
            return f;
        }
        for (FT_Face f : faces_)
            if (f && !FT_Load_Char(f, c, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME))
                return f;
        return nullptr;
    }
    std::vector<FT_Face> faces_;
    bool bold_;
    int ascent_ = 0;
    int descent_ = 0;
};

struct Unit {
    char16_t c;
    bool underline;
};
using Line = std::vector<Unit>;

// The text split into display lines: prefix characters resolved, explicit line breaks, and
// word breaks at spaces where a line would pass the width (a word longer than the width
// stays whole).
std::vector<Line> layout(const FontFace& face, std::u16string_view text, unsigned flags,
                         int width) {
    std::vector<Line> paragraphs(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
            if (!(flags & DT_SINGLELINE)) paragraphs.emplace_back();
            continue;
        }
        if (c == u'&' && !(flags & DT_NOPREFIX)) {
            if (i + 1 >= text.size()) break;
            ++i;
            paragraphs.back().push_back({text[i], text[i] != u'&'});
            continue;
        }
        paragraphs.back().push_back({c, false});
    }
    if (paragraphs.size() == 1 && paragraphs[0].empty()) return {};
    if (!(flags & DT_WORDBREAK) || (flags & DT_SINGLELINE)) return paragraphs;

    auto widthOf = [&](const Line& l, std::size_t from, std::size_t to) {
        int w = 0;
        for (std::size_t k = from; k < to; ++k) w += face.advance(l[k].c);
        return w;
    };
    std::vector<Line> lines;
    for (const Line& p : paragraphs) {
        Line current;
        std::size_t k = 0;
        while (k < p.size()) {
            // The next word with the spaces before it.
            std::size_t spaceEnd = k;
            while (spaceEnd < p.size() && p[spaceEnd].c == u' ') ++spaceEnd;
            std::size_t wordEnd = spaceEnd;
            while (wordEnd < p.size() && p[wordEnd].c != u' ') ++wordEnd;
            const int add = widthOf(p, k, wordEnd);
            if (!current.empty() && widthOf(current, 0, current.size()) + add > width) {
                lines.push_back(std::move(current));
                current.clear();
                current.insert(current.end(), p.begin() + static_cast<long>(spaceEnd),
                               p.begin() + static_cast<long>(wordEnd));
            } else {
                current.insert(current.end(), p.begin() + static_cast<long>(k),
                               p.begin() + static_cast<long>(wordEnd));
            }
            k = wordEnd;
        }
        lines.push_back(std::move(current));
    }
    return lines;
}

int lineWidth(const FontFace& face, const Line& line) {
    int w = 0;
    for (const Unit& u : line) w += face.advance(u.c);
    return w;
}

}  // namespace

void useTestFont(bool on) {
    testFont = on;
}
bool usingTestFont() {
    return testFont;
}

int pointsToPixels(double points) {
    return static_cast<int>(std::lround(points * kPixelsPerInch / 72.0));
}

std::shared_ptr<const FontFace> realize(const Font& font) {
    if (testFont) return std::make_shared<TestFace>(font.bold);
    auto& cache = engine().cache;
    const std::tuple<std::u16string, double, bool, int> key{font.face, font.size, font.bold,
                                                            font.charset};
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    auto face = std::make_shared<FreeTypeFace>(font);
    cache[key] = face;
    return face;
}

int textWidth(const Font& font, std::u16string_view text, bool prefix) {
    const auto face = realize(font);
    const auto lines =
        layout(*face, text, DT_SINGLELINE | (prefix ? 0u : static_cast<unsigned>(DT_NOPREFIX)), 0);
    return lines.empty() ? 0 : lineWidth(*face, lines[0]);
}

int Dc::drawText(std::u16string_view text, Rect& r, unsigned flags) {
    const auto face = realize(font_);
    const std::vector<Line> lines = layout(*face, text, flags, r.width());
    const int h = face->height();
    const int total = static_cast<int>(lines.size()) * h;
    if (flags & DT_CALCRECT) {
        int widest = 0;
        for (const Line& l : lines) widest = std::max(widest, lineWidth(*face, l));
        r.right = r.left + widest;
        r.bottom = r.top + total;
        return total;
    }
    int y = r.top;
    if (flags & DT_SINGLELINE) {
        if (flags & DT_VCENTER)
            y = r.top + (r.height() - h) / 2;
        else if (flags & DT_BOTTOM)
            y = r.bottom - h;
    }
    const bool clip = !(flags & DT_NOCLIP);
    auto put = [&](int px, int py, Color c) {
        if (!clip || r.contains(px, py)) setPixelV(px, py, c);
    };
    for (const Line& line : lines) {
        const int w = lineWidth(*face, line);
        int x = r.left;
        if (flags & DT_CENTER)
            x = (r.left + r.right - w) / 2;
        else if (flags & DT_RIGHT)
            x = r.right - w;
        if (bkMode_ == BkMode::Opaque)
            for (int py = y; py < y + h; ++py)
                for (int px = x; px < x + w; ++px) put(px, py, bkColor_);
        const int baseline = y + face->ascent();
        for (const Unit& u : line) {
            const int adv = face->advance(u.c);
            face->glyph(u.c, [&](int gx, int gy) { put(x + gx, baseline + gy, textColor_); });
            if (u.underline || font_.underline) {
                const int uy = usingTestFont() ? y + TestFont::kCellHeight - 2 : baseline + 1;
                for (int px = x; px < x + adv; ++px) put(px, uy, textColor_);
            }
            x += adv;
        }
        y += h;
    }
    return total;
}

}  // namespace platform::gdi
