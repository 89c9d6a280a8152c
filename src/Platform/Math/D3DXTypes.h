#pragma once
// Vector, matrix, quaternion, plane and colour records with the memory layout and operators
// of the D3DX 9 utility types the engine is written against. Functions live in D3DXMath.h.

#include <cstdint>

using D3DCOLOR = std::uint32_t;

struct D3DXVECTOR2 {
    float x = 0, y = 0;
    D3DXVECTOR2() = default;
    constexpr D3DXVECTOR2(float x_, float y_) : x(x_), y(y_) {}
    D3DXVECTOR2 operator+(const D3DXVECTOR2& o) const { return {x + o.x, y + o.y}; }
    D3DXVECTOR2 operator-(const D3DXVECTOR2& o) const { return {x - o.x, y - o.y}; }
    D3DXVECTOR2 operator*(float s) const { return {x * s, y * s}; }
    D3DXVECTOR2 operator/(float s) const { return {x / s, y / s}; }
    D3DXVECTOR2& operator+=(const D3DXVECTOR2& o) {
        x += o.x;
        y += o.y;
        return *this;
    }
    D3DXVECTOR2& operator-=(const D3DXVECTOR2& o) {
        x -= o.x;
        y -= o.y;
        return *this;
    }
    D3DXVECTOR2& operator*=(float s) {
        x *= s;
        y *= s;
        return *this;
    }
    bool operator==(const D3DXVECTOR2& o) const { return x == o.x && y == o.y; }
    bool operator!=(const D3DXVECTOR2& o) const { return !(*this == o); }
    operator float*() { return &x; }
    operator const float*() const { return &x; }
};

struct D3DVECTOR {
    float x = 0, y = 0, z = 0;
};

struct D3DXVECTOR3 : D3DVECTOR {
    D3DXVECTOR3() = default;
    constexpr D3DXVECTOR3(float x_, float y_, float z_) : D3DVECTOR{x_, y_, z_} {}
    D3DXVECTOR3(const D3DVECTOR& v) : D3DVECTOR(v) {}
    explicit D3DXVECTOR3(const float* p) : D3DVECTOR{p[0], p[1], p[2]} {}
    D3DXVECTOR3 operator+(const D3DXVECTOR3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    D3DXVECTOR3 operator-(const D3DXVECTOR3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    D3DXVECTOR3 operator-() const { return {-x, -y, -z}; }
    D3DXVECTOR3 operator*(float s) const { return {x * s, y * s, z * s}; }
    D3DXVECTOR3 operator/(float s) const {
        float i = 1.0f / s;
        return {x * i, y * i, z * i};
    }
    friend D3DXVECTOR3 operator*(float s, const D3DXVECTOR3& v) { return v * s; }
    D3DXVECTOR3& operator+=(const D3DXVECTOR3& o) {
        x += o.x;
        y += o.y;
        z += o.z;
        return *this;
    }
    D3DXVECTOR3& operator-=(const D3DXVECTOR3& o) {
        x -= o.x;
        y -= o.y;
        z -= o.z;
        return *this;
    }
    D3DXVECTOR3& operator*=(float s) {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
    D3DXVECTOR3& operator/=(float s) {
        float i = 1.0f / s;
        x *= i;
        y *= i;
        z *= i;
        return *this;
    }
    bool operator==(const D3DXVECTOR3& o) const { return x == o.x && y == o.y && z == o.z; }
    bool operator!=(const D3DXVECTOR3& o) const { return !(*this == o); }
    operator float*() { return &x; }
    operator const float*() const { return &x; }
};

struct D3DXVECTOR4 {
    float x = 0, y = 0, z = 0, w = 0;
    D3DXVECTOR4() = default;
    constexpr D3DXVECTOR4(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    D3DXVECTOR4 operator+(const D3DXVECTOR4& o) const { return {x + o.x, y + o.y, z + o.z, w + o.w}; }
    D3DXVECTOR4 operator-(const D3DXVECTOR4& o) const { return {x - o.x, y - o.y, z - o.z, w - o.w}; }
    D3DXVECTOR4 operator*(float s) const { return {x * s, y * s, z * s, w * s}; }
    bool operator==(const D3DXVECTOR4& o) const { return x == o.x && y == o.y && z == o.z && w == o.w; }
    bool operator!=(const D3DXVECTOR4& o) const { return !(*this == o); }
    operator float*() { return &x; }
    operator const float*() const { return &x; }
};

struct D3DMATRIX {
    union {
        struct {
            float _11, _12, _13, _14;
            float _21, _22, _23, _24;
            float _31, _32, _33, _34;
            float _41, _42, _43, _44;
        };
        float m[4][4];
    };
};

struct D3DXMATRIX : D3DMATRIX {
    D3DXMATRIX() : D3DMATRIX{} {}
    D3DXMATRIX(const D3DMATRIX& o) : D3DMATRIX(o) {}
    D3DXMATRIX(float a11, float a12, float a13, float a14, float a21, float a22, float a23, float a24, float a31,
               float a32, float a33, float a34, float a41, float a42, float a43, float a44)
        : D3DMATRIX{} {
        _11 = a11;
        _12 = a12;
        _13 = a13;
        _14 = a14;
        _21 = a21;
        _22 = a22;
        _23 = a23;
        _24 = a24;
        _31 = a31;
        _32 = a32;
        _33 = a33;
        _34 = a34;
        _41 = a41;
        _42 = a42;
        _43 = a43;
        _44 = a44;
    }
    float& operator()(unsigned r, unsigned c) { return m[r][c]; }
    float operator()(unsigned r, unsigned c) const { return m[r][c]; }
    D3DXMATRIX operator*(const D3DXMATRIX& o) const {
        D3DXMATRIX r;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                r.m[i][j] = m[i][0] * o.m[0][j] + m[i][1] * o.m[1][j] + m[i][2] * o.m[2][j] + m[i][3] * o.m[3][j];
        return r;
    }
    D3DXMATRIX& operator*=(const D3DXMATRIX& o) {
        *this = *this * o;
        return *this;
    }
    bool operator==(const D3DXMATRIX& o) const {
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                if (m[i][j] != o.m[i][j]) return false;
        return true;
    }
    bool operator!=(const D3DXMATRIX& o) const { return !(*this == o); }
    operator float*() { return &_11; }
    operator const float*() const { return &_11; }
};

struct D3DXQUATERNION {
    float x = 0, y = 0, z = 0, w = 0;
    D3DXQUATERNION() = default;
    constexpr D3DXQUATERNION(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    bool operator==(const D3DXQUATERNION& o) const { return x == o.x && y == o.y && z == o.z && w == o.w; }
    bool operator!=(const D3DXQUATERNION& o) const { return !(*this == o); }
};

struct D3DXPLANE {
    float a = 0, b = 0, c = 0, d = 0;
    D3DXPLANE() = default;
    constexpr D3DXPLANE(float a_, float b_, float c_, float d_) : a(a_), b(b_), c(c_), d(d_) {}
};

struct D3DCOLORVALUE {
    float r = 0, g = 0, b = 0, a = 0;
};

// Same layout as D3DCOLORVALUE; converts to and from packed device colours.
struct D3DXCOLOR : D3DCOLORVALUE {
    D3DXCOLOR() = default;
    constexpr D3DXCOLOR(float r_, float g_, float b_, float a_) : D3DCOLORVALUE{r_, g_, b_, a_} {}
    constexpr D3DXCOLOR(const D3DCOLORVALUE& c) : D3DCOLORVALUE(c) {}
    constexpr D3DXCOLOR(D3DCOLOR argb)
        : D3DCOLORVALUE{static_cast<float>((argb >> 16) & 0xFFu) * (1.0f / 255.0f),
                        static_cast<float>((argb >> 8) & 0xFFu) * (1.0f / 255.0f),
                        static_cast<float>(argb & 0xFFu) * (1.0f / 255.0f),
                        static_cast<float>((argb >> 24) & 0xFFu) * (1.0f / 255.0f)} {}
    // Channels are clamped to [0, 1] and rounded to the nearest byte; NaN packs as 0.
    constexpr operator D3DCOLOR() const { return (ToByte(a) << 24) | (ToByte(r) << 16) | (ToByte(g) << 8) | ToByte(b); }
    D3DXCOLOR operator+(const D3DXCOLOR& o) const { return {r + o.r, g + o.g, b + o.b, a + o.a}; }
    D3DXCOLOR operator-(const D3DXCOLOR& o) const { return {r - o.r, g - o.g, b - o.b, a - o.a}; }
    D3DXCOLOR operator*(float s) const { return {r * s, g * s, b * s, a * s}; }
    bool operator==(const D3DXCOLOR& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
    bool operator!=(const D3DXCOLOR& o) const { return !(*this == o); }
    operator float*() { return &r; }
    operator const float*() const { return &r; }

private:
    static constexpr D3DCOLOR ToByte(float v) {
        if (v >= 1.0f) return 0xFFu;
        if (!(v > 0.0f)) return 0u;
        return static_cast<D3DCOLOR>(v * 255.0f + 0.5f);
    }
};

constexpr float D3DX_PI = 3.141592654f;

constexpr D3DCOLOR D3DCOLOR_ARGB(unsigned a, unsigned r, unsigned g, unsigned b) {
    return ((a & 0xFFu) << 24) | ((r & 0xFFu) << 16) | ((g & 0xFFu) << 8) | (b & 0xFFu);
}
constexpr D3DCOLOR D3DCOLOR_XRGB(unsigned r, unsigned g, unsigned b) { return D3DCOLOR_ARGB(0xFF, r, g, b); }
constexpr D3DCOLOR D3DCOLOR_RGBA(unsigned r, unsigned g, unsigned b, unsigned a) { return D3DCOLOR_ARGB(a, r, g, b); }
