#pragma once
// The picture decoder as the texture loaders call it, with the option sets they use: the default
// (sizes rounded up to powers of two, a full mip chain), the file's own sizes and levels with a
// colour key, and a bounded size with a few levels.

#include "Platform/Image/ImageDecode.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace kxfuzz {

constexpr std::uint64_t kLargePicture = 1u << 20;

inline void DecodeImageEveryWay(const std::uint8_t* data, std::size_t size) {
    Platform::ImageLoadOptions plain;
    Platform::ImageLoadOptions fromFile;
    fromFile.roundToPowerOfTwo = false;
    fromFile.mipLevelsFromFile = true;
    fromFile.colourKey = 0xFF000000u;
    Platform::ImageLoadOptions bounded;
    bounded.maxSide = 64;
    bounded.mipLevels = 2;
    bounded.width = 33;
    bounded.height = 17;
    for (const Platform::ImageLoadOptions& options : {plain, fromFile, bounded}) {
        Platform::Image image;
        std::string error;
        if (!Platform::DecodeImage(data, size, options, image, error)) continue;
        // A picture of millions of pixels is legal and takes a fraction of a second in the game,
        // but tens of seconds decoded, rescaled and mipmapped three times under the fuzzer's
        // instrumentation: once is enough to look at it.
        if (static_cast<std::uint64_t>(image.fileWidth) * image.fileHeight > kLargePicture) return;
        // A decoded image holds exactly the bytes its sizes say.
        for (const auto& face : image.faces)
            for (const auto& level : face)
                if (level.data.size() != Platform::ImageLevelBytes(image.format, level.width, level.height))
                    std::abort();
        if (Platform::IsBlockCompressed(image.format) && !image.faces.empty() && !image.faces[0].empty()) {
            const auto& level = image.faces[0][0];
            Platform::DecompressLevel(image.format, level.width, level.height, level.data.data(), level.data.size());
        }
    }
}

} // namespace kxfuzz
