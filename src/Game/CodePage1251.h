#pragma once
// Game texts are single bytes of code page 1251. Which bytes are letters or digits (typed text
// accepted by the edit boxes) comes from a table generated at build time from the code page's
// Unicode mapping.

extern const bool kCodePage1251AlphaNumeric[256];

inline bool IsCodePageAlphaNumeric(unsigned char c) { return kCodePage1251AlphaNumeric[c]; }
