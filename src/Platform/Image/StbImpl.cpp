// The one translation unit holding stb_image and stb_dxt, built with only the readers the
// texture loader uses.
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#define STB_DXT_IMPLEMENTATION
#include <stb/stb_dxt.h>

#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb/stb_image_resize.h>
