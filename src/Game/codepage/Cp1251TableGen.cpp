// Writes the letter-and-digit table of single-byte code page 1251 as a C++ source: each byte is
// mapped to its Unicode character through iconv, and the character is classified with the C
// library's Unicode tables (the C.UTF-8 locale). Run at build time, so the table is derived from
// the code page's mapping rather than typed in.

#include <clocale>
#include <cstdio>
#include <cwctype>
#include <iconv.h>
#include <locale.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s output.cpp\n", argv[0]);
        return 2;
    }
    iconv_t converter = iconv_open("UTF-32LE", "CP1251");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        std::perror("iconv_open CP1251");
        return 1;
    }
    locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (!unicode) {
        std::perror("newlocale C.UTF-8");
        return 1;
    }
    bool table[256] = {};
    for (int byte = 0; byte < 256; ++byte) {
        char in = static_cast<char>(byte);
        unsigned char out[4] = {};
        char* inPointer = &in;
        std::size_t inLeft = 1;
        char* outPointer = reinterpret_cast<char*>(out);
        std::size_t outLeft = sizeof out;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
        // A byte the code page leaves unassigned converts to nothing and is no letter.
        if (iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft) == static_cast<std::size_t>(-1)) continue;
        const wint_t character = static_cast<wint_t>(out[0] | (out[1] << 8) | (out[2] << 16) | (out[3] << 24));
        table[byte] = iswalnum_l(character, unicode) != 0;
    }
    iconv_close(converter);
    freelocale(unicode);

    std::FILE* file = std::fopen(argv[1], "w");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(file, "// Generated at build time from iconv's CP1251 mapping; do not edit.\n");
    std::fprintf(file, "#include \"Game/CodePage1251.h\"\n\n");
    std::fprintf(file, "const bool kCodePage1251AlphaNumeric[256] = {\n");
    for (int byte = 0; byte < 256; ++byte)
        std::fprintf(file, "%s%d,%s", byte % 16 == 0 ? "    " : "", table[byte] ? 1 : 0, byte % 16 == 15 ? "\n" : " ");
    std::fprintf(file, "};\n");
    return std::fclose(file) == 0 ? 0 : 1;
}
