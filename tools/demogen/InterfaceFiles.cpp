// The interface's generated pictures and models:
// - window.tga, the screen mask the lens-flare effect reads through the second texture
//   coordinates (the vertex's place on the screen), full in the middle of the screen and fading
//   to nothing at its edges, so flares thrown toward a border die out;
// - flare_pieces.tga, the flare pieces (glow, ring, disc, star) the lamps' flare layout cuts out;
// - ui_menu.tga and ui_hud.tga, the atlases the layouts of Data/Interface cut their windows from
//   (the texel rectangles below are the ones those layouts name; move one and the layouts follow);
//
// ui_menu.tga, 256 x 256
//   panel 0,0,64,64            slider groove 64,0,64,16     slider fill 64,16,64,16
//   knob 128,0,16,32           cursor 160,0,32,32           dim 224,0,16,16
//   button normal 0,64,128,32  over 0,96,128,32             pressed 0,128,128,32
//   minus n/o/p 128,64 160,64 192,64 (32 x 32)   plus n/o/p 128,96 160,96 192,96
//   key field n/o/p 128,128 128,152 128,176 (128 x 24)      ribbon 0,160,128,32
// ui_hud.tga, 256 x 512
//   panel 0,0,64,64   dial 64,0,64,64   bullet 128,0,6,14   health fill 136,0,16,6   back 136,8,16,6
//   overheat cell i (1..12) 160+8(i-1),0,8,12              message band 128,32,128,32
//   weapon icons 40 x 20, lit: row 64 (first six), row 84 (last six); off: rows 104 and 124
//     order: lgun lgun2x gauss shotgun mgun mgun2x / hmgun rlauncher ssrlauncher plasma firethrower autoshotgun
//   40 x 20 at row 144: slot 0, no_mina 40, caltrops 80, shock_mine 120, gravity_well 160, mines 200
//   20 x 20 at row 164: super 0, nosuper 20, contact 40, emcontact 60, timer 80, nocontact 100,
//     emnocontact 120, cassette 140, nitro 160, damage warning 180
//   equipment 24 x 24, ten a row from 0,184 (then 0,208 and 0,232), in the order of kEquipment
//   stripe band 0,256,256,32   checkered band 0,288,256,32   hint panel 0,320,128,64   hint sign 128,320,64,64
//   map marker 192,320,16,16
//   countdown 3, 2, 1 at 0,384 64,384 128,384 (64 x 64)   "GO!" 0,448,128,64

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "DemoGen.h"
#include "Glyphs.h"
#include "support/TgaWriter.h"

namespace {

constexpr int kMaskSize = 128;

struct Colour {
    std::uint8_t r = 0, g = 0, b = 0, a = 255;
};

Colour Scaled(Colour c, float factor) {
    const auto scale = [factor](std::uint8_t v) {
        return static_cast<std::uint8_t>(std::clamp(std::lround(v * factor), 0L, 255L));
    };
    return {scale(c.r), scale(c.g), scale(c.b), c.a};
}

// A picture drawn with a few shapes; later shapes cover earlier ones, edges blended by coverage.
class Canvas {
public:
    Canvas(int width, int height)
        : m_width(width), m_height(height), m_rgba(static_cast<std::size_t>(width) * height * 4, 0) {}

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    const std::vector<std::uint8_t>& Pixels() const { return m_rgba; }

    void Put(int x, int y, Colour c, float coverage = 1.0f) {
        if (x < 0 || y < 0 || x >= m_width || y >= m_height || coverage <= 0.0f) return;
        std::uint8_t* p = &m_rgba[(static_cast<std::size_t>(y) * m_width + x) * 4];
        const float a = std::min(coverage, 1.0f) * (c.a / 255.0f);
        const float keep = 1.0f - a;
        p[0] = static_cast<std::uint8_t>(std::lround(c.r * a + p[0] * keep));
        p[1] = static_cast<std::uint8_t>(std::lround(c.g * a + p[1] * keep));
        p[2] = static_cast<std::uint8_t>(std::lround(c.b * a + p[2] * keep));
        p[3] = static_cast<std::uint8_t>(std::lround(255.0f * a + p[3] * keep));
    }
    void Fill(int x, int y, int w, int h, Colour c) {
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i) Put(i, j, c);
    }
    // Replaces the pixels (no blending), for clearing a cell to a translucent colour.
    void Set(int x, int y, int w, int h, Colour c) {
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i) {
                if (i < 0 || j < 0 || i >= m_width || j >= m_height) continue;
                std::uint8_t* p = &m_rgba[(static_cast<std::size_t>(j) * m_width + i) * 4];
                p[0] = c.r;
                p[1] = c.g;
                p[2] = c.b;
                p[3] = c.a;
            }
    }
    void Frame(int x, int y, int w, int h, int thickness, Colour c) {
        Fill(x, y, w, thickness, c);
        Fill(x, y + h - thickness, w, thickness, c);
        Fill(x, y + thickness, thickness, h - 2 * thickness, c);
        Fill(x + w - thickness, y + thickness, thickness, h - 2 * thickness, c);
    }
    // A disc (or a ring when inner > 0) about a centre in pixel units, clipped to a box.
    void Disc(float cx, float cy, float outer, float inner, Colour c, int bx, int by, int bw, int bh) {
        for (int j = by; j < by + bh; ++j)
            for (int i = bx; i < bx + bw; ++i) {
                const float d = std::hypot(i + 0.5f - cx, j + 0.5f - cy);
                const float coverage =
                    std::clamp(outer - d + 0.5f, 0.0f, 1.0f) * std::clamp(d - inner + 0.5f, 0.0f, 1.0f);
                Put(i, j, c, coverage);
            }
    }
    // A thick segment from a to b, clipped to a box.
    void Line(float ax, float ay, float bx2, float by2, float half, Colour c, int bx, int by, int bw, int bh) {
        const float dx = bx2 - ax, dy = by2 - ay;
        const float length2 = std::max(dx * dx + dy * dy, 1e-6f);
        for (int j = by; j < by + bh; ++j)
            for (int i = bx; i < bx + bw; ++i) {
                const float px = i + 0.5f - ax, py = j + 0.5f - ay;
                const float t = std::clamp((px * dx + py * dy) / length2, 0.0f, 1.0f);
                const float d = std::hypot(px - t * dx, py - t * dy);
                Put(i, j, c, std::clamp(half - d + 0.5f, 0.0f, 1.0f));
            }
    }
    // A filled triangle (either winding).
    void Triangle(float x0, float y0, float x1, float y1, float x2, float y2, Colour c) {
        const int minX = static_cast<int>(std::floor(std::min({x0, x1, x2})));
        const int maxX = static_cast<int>(std::ceil(std::max({x0, x1, x2})));
        const int minY = static_cast<int>(std::floor(std::min({y0, y1, y2})));
        const int maxY = static_cast<int>(std::ceil(std::max({y0, y1, y2})));
        const auto edge = [](float ax, float ay, float bx, float by, float px, float py) {
            return (bx - ax) * (py - ay) - (by - ay) * (px - ax);
        };
        const float area = edge(x0, y0, x1, y1, x2, y2);
        if (area == 0.0f) return;
        for (int j = minY; j <= maxY; ++j)
            for (int i = minX; i <= maxX; ++i) {
                const float px = i + 0.5f, py = j + 0.5f;
                const float w0 = edge(x1, y1, x2, y2, px, py) / area;
                const float w1 = edge(x2, y2, x0, y0, px, py) / area;
                const float w2 = edge(x0, y0, x1, y1, px, py) / area;
                if (w0 >= 0 && w1 >= 0 && w2 >= 0) Put(i, j, c);
            }
    }

private:
    int m_width, m_height;
    std::vector<std::uint8_t> m_rgba;
};

const Colour kAmber{232, 176, 48, 255};
const Colour kInk{16, 20, 28, 255};
const Colour kWhite{255, 255, 255, 255};
const Colour kPanel{22, 30, 46, 215};
const Colour kSteel{150, 160, 172, 255};

// A panel: translucent fill, a bright rim and an inner line.
void Panel(Canvas& c, int x, int y, int w, int h, Colour fill, Colour rim) {
    c.Set(x, y, w, h, fill);
    // Thin, as panels are stretched several times over on the screen.
    c.Frame(x, y, w, h, 1, rim);
    c.Frame(x + 3, y + 3, w - 6, h - 6, 1, Scaled(rim, 0.6f));
}

// A push button in one of its three looks.
void Button(Canvas& c, int x, int y, int w, int h, int look) {
    const Colour fills[3] = {{40, 52, 74, 235}, {70, 86, 120, 245}, {120, 90, 30, 250}};
    const Colour rims[3] = {kSteel, kAmber, {255, 220, 120, 255}};
    c.Set(x, y, w, h, fills[look]);
    c.Frame(x, y, w, h, 2, rims[look]);
    // A light top edge, or a dark one when pressed in.
    c.Fill(x + 2, y + 2, w - 4, 2, look == 2 ? Colour{20, 14, 4, 200} : Colour{255, 255, 255, 70});
}

std::vector<std::uint8_t> MenuAtlas() {
    Canvas c(256, 256);
    Panel(c, 0, 0, 64, 64, kPanel, kAmber);
    // Slider: a groove and its lit fill.
    c.Set(64, 0, 64, 16, {10, 12, 18, 230});
    c.Frame(64, 0, 64, 16, 1, kSteel);
    c.Set(64, 16, 64, 16, {10, 12, 18, 230});
    c.Fill(66, 19, 60, 10, kAmber);
    // Knob.
    c.Set(128, 0, 16, 32, {200, 204, 210, 255});
    c.Frame(128, 0, 16, 32, 2, kInk);
    c.Fill(135, 6, 2, 20, kInk);
    // Pointer: an arrow, ink rim under a white body.
    c.Triangle(160, 0, 160, 28, 180, 20, kInk);
    c.Triangle(162, 4, 162, 23, 176, 18, kWhite);
    c.Line(168, 20, 176, 31, 2.5f, kInk, 160, 0, 32, 32);
    c.Line(168, 20, 175, 30, 1.2f, kWhite, 160, 0, 32, 32);
    // Dimmer for whole-screen shades.
    c.Set(224, 0, 16, 16, {0, 0, 0, 150});
    for (int look = 0; look < 3; ++look) {
        Button(c, 0, 64 + 32 * look, 128, 32, look);
        // Minus and plus.
        Button(c, 128 + 32 * look, 64, 32, 32, look);
        c.Fill(128 + 32 * look + 8, 64 + 14, 16, 4, kWhite);
        Button(c, 128 + 32 * look, 96, 32, 32, look);
        c.Fill(128 + 32 * look + 8, 96 + 14, 16, 4, kWhite);
        c.Fill(128 + 32 * look + 14, 96 + 8, 4, 16, kWhite);
        // Key field.
        Button(c, 128, 128 + 24 * look, 128, 24, look);
    }
    // Ribbon: amber and ink bars slanting.
    for (int y = 160; y < 192; ++y)
        for (int x = 0; x < 128; ++x) c.Put(x, y, ((x + y) / 8) % 2 ? kAmber : kInk);
    return c.Pixels();
}

const char* const kWeapons[12] = {"lgun",  "lgun2x",    "gauss",       "shotgun", "mgun",        "mgun2x",
                                  "hmgun", "rlauncher", "ssrlauncher", "plasma",  "firethrower", "autoshotgun"};

// A gun seen from the side: body, grip and one to three barrels, tinted per family.
void WeaponIcon(Canvas& c, int x, int y, int index, bool lit) {
    const Colour tints[4] = {{200, 200, 210, 255}, {230, 180, 60, 255}, {90, 200, 240, 255}, {240, 110, 60, 255}};
    Colour body = tints[index % 4];
    if (!lit) body = Scaled(body, 0.45f);
    c.Set(x, y, 40, 20, lit ? Colour{30, 40, 56, 200} : Colour{20, 24, 30, 160});
    c.Frame(x, y, 40, 20, 1, lit ? kAmber : Colour{80, 84, 90, 200});
    c.Fill(x + 6, y + 6, 16, 7, body);
    c.Fill(x + 8, y + 13, 4, 4, body);
    const int barrels = 1 + index % 3;
    for (int b = 0; b < barrels; ++b) c.Fill(x + 22, y + 5 + b * 3, 12 - (index / 4) * 2, 2, body);
}

// A small square icon with a symbol picked by number, for equipment, armour and engines.
void SymbolIcon(Canvas& c, int x, int y, int size, int symbol, Colour tint) {
    c.Set(x, y, size, size, {24, 30, 44, 220});
    c.Frame(x, y, size, size, 1, tint);
    const float cx = x + size / 2.0f, cy = y + size / 2.0f, r = size * 0.32f;
    switch (symbol % 6) {
    case 0: // cross
        c.Line(cx - r, cy - r, cx + r, cy + r, 1.6f, tint, x, y, size, size);
        c.Line(cx - r, cy + r, cx + r, cy - r, 1.6f, tint, x, y, size, size);
        break;
    case 1: c.Disc(cx, cy, r, r - 2.5f, tint, x, y, size, size); break;
    case 2:
        for (int i = 0; i < 3; ++i) c.Fill(x + 5 + i * 5, y + size - 5 - (i + 2) * 3, 3, (i + 2) * 3, tint);
        break;
    case 3: c.Triangle(cx, cy - r, cx + r, cy + r, cx - r, cy + r, tint); break;
    case 4: c.Disc(cx, cy, r, 0.0f, tint, x, y, size, size); break;
    default:
        c.Fill(static_cast<int>(cx) - 1, static_cast<int>(cy - r), 3, static_cast<int>(2 * r), tint);
        c.Fill(static_cast<int>(cx - r), static_cast<int>(cy) - 1, static_cast<int>(2 * r), 3, tint);
        break;
    }
}

// Equipment, armour and engine pictures in atlas order (see the table at the top).
const char* const kEquipment[] = {
    "krest",        "steel",       "steelfibre",   "titan",     "energy",     "engine1",    "engine2",
    "engine3",      "analyzer",    "repair",       "laser",     "bullets",    "firerate",   "damage",
    "regeneration", "noequipment", "light_plates", "composite", "reactive",   "v6_street",  "v8_turbo",
    "rotary_x",     "fusion_core", "radar",        "jammer",    "repair_kit", "nitro_tank",
};

// Text in the demo's glyph set, each dot a square of `dot` pixels, over a dark rim.
void Lettering(Canvas& c, int x, int y, const char* text, int dot, Colour colour) {
    for (int pass = 0; pass < 2; ++pass) {
        int penX = x;
        for (const char* p = text; *p; ++p) {
            const demogen::GlyphPattern* glyph = demogen::FindGlyph(*p);
            if (!glyph) continue;
            for (int row = 0; row < demogen::kGlyphDotRows; ++row)
                for (int column = 0; column < demogen::kGlyphDotColumns; ++column) {
                    if (!((*glyph)[static_cast<std::size_t>(row)] & (0x10 >> column))) continue;
                    const int px = penX + column * dot, py = y + row * dot;
                    if (pass == 0)
                        c.Fill(px - 2, py - 2, dot + 4, dot + 4, kInk);
                    else
                        c.Fill(px, py, dot, dot, colour);
                }
            penX += (demogen::kGlyphDotColumns + 1) * dot;
        }
    }
}

std::vector<std::uint8_t> HudAtlas() {
    Canvas c(256, 512);
    Panel(c, 0, 0, 64, 64, {14, 18, 26, 170}, kSteel);
    // Dial: ring, ticks over three quarters of a turn from the lower left, a red end.
    c.Disc(96, 32, 31, 0, {10, 12, 18, 200}, 64, 0, 64, 64);
    c.Disc(96, 32, 31, 28, kSteel, 64, 0, 64, 64);
    for (int tick = 0; tick <= 15; ++tick) {
        // 0 at 135 degrees below the right-hand horizontal, clockwise to 45 degrees below it.
        const float a = (135.0f + tick * 18.0f) * 3.14159265f / 180.0f;
        const float inner = tick % 5 == 0 ? 20.0f : 24.0f;
        c.Line(96 + std::cos(a) * inner, 32 + std::sin(a) * inner, 96 + std::cos(a) * 27, 32 + std::sin(a) * 27,
               tick % 5 == 0 ? 1.2f : 0.7f, tick >= 13 ? Colour{230, 60, 40, 255} : kWhite, 64, 0, 64, 64);
    }
    c.Set(128, 0, 6, 14, {255, 214, 64, 255});
    c.Fill(128, 0, 6, 3, {255, 250, 200, 255});
    c.Set(136, 0, 16, 6, {60, 220, 80, 255});
    c.Set(136, 8, 16, 6, {30, 10, 10, 200});
    for (int i = 0; i < 12; ++i) {
        // Green through yellow to red.
        const float t = i / 11.0f;
        const Colour heat{static_cast<std::uint8_t>(std::lround(60 + 195 * std::min(1.0f, 2 * t))),
                          static_cast<std::uint8_t>(std::lround(220 * std::min(1.0f, 2 - 2 * t))), 40, 255};
        c.Set(160 + 8 * i, 0, 8, 12, {0, 0, 0, 0});
        c.Fill(160 + 8 * i + 1, 1, 6, 10, heat);
    }
    c.Set(128, 32, 128, 32, {10, 14, 22, 170});
    c.Fill(128, 32, 128, 2, kAmber);
    c.Fill(128, 62, 128, 2, kAmber);

    for (int i = 0; i < 12; ++i) {
        WeaponIcon(c, (i % 6) * 40, 64 + (i / 6) * 20, i, true);
        WeaponIcon(c, (i % 6) * 40, 104 + (i / 6) * 20, i, false);
    }
    // Row 144: an empty slot, no mine, the three mines and the mine counter's plate.
    c.Set(0, 144, 40, 20, {20, 24, 30, 140});
    c.Frame(0, 144, 40, 20, 1, {90, 96, 104, 200});
    const Colour mineTints[4] = {{120, 120, 120, 255}, {200, 200, 210, 255}, {90, 200, 240, 255}, {190, 100, 240, 255}};
    for (int m = 0; m < 4; ++m) {
        const int x = 40 + m * 40;
        c.Set(x, 144, 40, 20, {24, 30, 44, 200});
        c.Frame(x, 144, 40, 20, 1, mineTints[m]);
        c.Disc(x + 20, 154, 6, m == 0 ? 4.5f : 0.0f, mineTints[m], x, 144, 40, 20);
        if (m == 0) c.Line(x + 13, 161, x + 27, 147, 1.2f, mineTints[0], x, 144, 40, 20);
    }
    c.Set(200, 144, 40, 20, {24, 30, 44, 200});
    c.Frame(200, 144, 40, 20, 1, kAmber);
    // Row 164: super weapon lit and spent, contact and timer lamps, nitro and damage warning.
    c.Disc(10, 174, 8, 0, {250, 90, 40, 255}, 0, 164, 20, 20);
    c.Disc(10, 174, 4, 0, {255, 230, 160, 255}, 0, 164, 20, 20);
    c.Disc(30, 174, 8, 6, {90, 90, 96, 255}, 20, 164, 20, 20);
    const Colour lamps[6] = {{80, 230, 90, 255}, {80, 180, 255, 255}, {255, 210, 60, 255},
                             {100, 60, 60, 255}, {60, 70, 110, 255},  {200, 200, 200, 255}};
    for (int l = 0; l < 6; ++l) SymbolIcon(c, 40 + l * 20, 164, 20, l == 5 ? 2 : 4, lamps[l]);
    SymbolIcon(c, 160, 164, 20, 3, {90, 200, 255, 255});
    SymbolIcon(c, 180, 164, 20, 3, {255, 70, 50, 255});

    constexpr int kEquipmentCount = static_cast<int>(sizeof(kEquipment) / sizeof(kEquipment[0]));
    for (int e = 0; e < kEquipmentCount; ++e) {
        const Colour tints[5] = {
            {230, 80, 70, 255}, kAmber, {90, 200, 240, 255}, {120, 220, 110, 255}, {200, 150, 240, 255}};
        SymbolIcon(c, (e % 10) * 24, 184 + (e / 10) * 24, 24, e, e == 15 ? Colour{90, 90, 96, 255} : tints[e % 5]);
    }

    // Stripes: a slanted amber and ink band, and a checkered one.
    for (int y = 256; y < 288; ++y)
        for (int x = 0; x < 256; ++x) c.Put(x, y, ((x + y) / 16) % 2 ? kAmber : kInk);
    for (int y = 288; y < 320; ++y)
        for (int x = 0; x < 256; ++x) c.Put(x, y, ((x / 16) + (y - 288) / 16) % 2 ? kWhite : kInk);
    Panel(c, 0, 320, 128, 64, {16, 24, 40, 220}, {90, 200, 240, 255});
    c.Triangle(160, 324, 188, 380, 132, 380, kAmber);
    c.Fill(158, 340, 4, 24, kInk);
    c.Fill(158, 368, 4, 5, kInk);
    // The mini map's checkpoint marker: a flag on a pole.
    c.Fill(194, 322, 2, 14, kWhite);
    c.Triangle(196, 322, 206, 326, 196, 330, {240, 70, 50, 255});
    // The countdown: big amber figures, and a green "GO!".
    const char* const figures[3] = {"3", "2", "1"};
    for (int i = 0; i < 3; ++i) Lettering(c, 64 * i + 12, 384 + 4, figures[i], 8, kAmber);
    Lettering(c, 10, 448 + 11, "GO!", 6, {90, 230, 90, 255});
    return c.Pixels();
}

// Flare pieces on a 4 x 4 grid of 32-texel cells (the layout's 512-unit grid: 128 units a cell).
std::vector<std::uint8_t> FlarePieces() {
    Canvas c(128, 128);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const float r = std::hypot(x + 0.5f - 16.0f, y + 0.5f - 16.0f) / 16.0f;
            const float glow = std::clamp(1.0f - r, 0.0f, 1.0f);
            c.Put(x, y, kWhite, glow * glow);
        }
    c.Disc(48, 16, 14, 11, {255, 255, 255, 150}, 32, 0, 32, 32);
    c.Disc(80, 16, 12, 0, {255, 255, 255, 110}, 64, 0, 32, 32);
    c.Line(98, 16, 126, 16, 1.0f, {255, 255, 255, 200}, 96, 0, 32, 32);
    c.Line(112, 2, 112, 30, 1.0f, {255, 255, 255, 200}, 96, 0, 32, 32);
    c.Disc(112, 16, 5, 0, kWhite, 96, 0, 32, 32);
    return c.Pixels();
}

std::vector<std::uint8_t> ScreenMask() {
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(kMaskSize) * kMaskSize * 4);
    for (int y = 0; y < kMaskSize; ++y) {
        for (int x = 0; x < kMaskSize; ++x) {
            // Distance to the nearest border, 0 at the edge and 1 from a quarter inwards.
            const float u = (static_cast<float>(x) + 0.5f) / kMaskSize;
            const float v = (static_cast<float>(y) + 0.5f) / kMaskSize;
            const float edge = std::min(std::min(u, 1.0f - u), std::min(v, 1.0f - v));
            const float t = std::clamp(edge * 4.0f, 0.0f, 1.0f);
            const float smooth = t * t * (3.0f - 2.0f * t);
            const auto level = static_cast<std::uint8_t>(std::lround(smooth * 255.0f));
            std::uint8_t* pixel = &rgba[(static_cast<std::size_t>(y) * kMaskSize + x) * 4];
            pixel[0] = pixel[1] = pixel[2] = level;
            pixel[3] = level;
        }
    }
    return rgba;
}

bool WriteInterfaceFiles(const std::filesystem::path& root) {
    bool ok = demogen::WritePicture(root, "Data/Textures/window.tga", kMaskSize, kMaskSize, ScreenMask());
    const auto pack = [](const std::string& name, int w, int h, const std::vector<std::uint8_t>& rgba) {
        const std::vector<std::uint8_t> bytes = kxtest::EncodeTga(w, h, rgba, kxtest::TgaLayout{true, false});
        demogen::AddToPack(2, "Textures/" + name, std::string(bytes.begin(), bytes.end()));
        return !bytes.empty();
    };
    ok = pack("ui_menu.tga", 256, 256, MenuAtlas()) && ok;
    ok = pack("ui_hud.tga", 256, 512, HudAtlas()) && ok;
    ok = pack("flare_pieces.tga", 128, 128, FlarePieces()) && ok;
    return ok;
}

} // namespace

DEMOGEN_FAMILY("interface", WriteInterfaceFiles);
