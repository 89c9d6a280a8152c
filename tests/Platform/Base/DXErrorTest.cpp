// The error texts of the "DXError" log lines: every result code of the graphics device and the
// keyboard is named from below both layers.

#include <gtest/gtest.h>

#include <cstdint>

#include "Platform/Base/DXError.h"
#include "Platform/Base/ResultCodes.h"

namespace {

TEST(DXErrorTest, ErrorTextsNameTheCode) {
    EXPECT_STREQ(DXGetErrorString9A(D3DERR_INVALIDCALL), "D3DERR_INVALIDCALL");
    EXPECT_STREQ(DXGetErrorString9A(D3DERR_DEVICELOST), "D3DERR_DEVICELOST");
    EXPECT_STREQ(DXGetErrorString9A(E_FAIL), "E_FAIL");
    EXPECT_STRNE(DXGetErrorDescription9A(D3DERR_DEVICENOTRESET), "n/a");
    EXPECT_STREQ(DXGetErrorString9A(0x12345678), "Unknown");
    EXPECT_STREQ(DXGetErrorDescription9A(0x12345678), "n/a");
    EXPECT_EQ(static_cast<std::uint32_t>(D3DERR_INVALIDCALL), 0x8876086Cu);
    EXPECT_EQ(static_cast<std::uint32_t>(D3DERR_DEVICELOST), 0x88760868u);
}

TEST(DXErrorTest, KeyboardCodesAreNamedToo) {
    EXPECT_STREQ(DXGetErrorString9A(DIERR_INPUTLOST), "DIERR_INPUTLOST");
    EXPECT_STREQ(DXGetErrorString9A(DIERR_NOTACQUIRED), "DIERR_NOTACQUIRED");
    EXPECT_STREQ(DXGetErrorString9A(DIERR_OTHERAPPHASPRIO), "DIERR_OTHERAPPHASPRIO");
    EXPECT_STRNE(DXGetErrorDescription9A(DIERR_INPUTLOST), "n/a");
}

} // namespace
