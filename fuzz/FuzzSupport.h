#pragma once
// Helpers shared by the fuzz targets: a game root for the whole process, emptied and refilled
// for each input, so the loaders meet the bytes through the file layer as the game does.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kxfuzz {

// The bytes of an input as text (not copied).
inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return std::string_view(reinterpret_cast<const char*>(data), size);
}

// A temporary folder made on first use, removed when the process ends normally; the game's path
// resolver points at it from then on.
class GameRoot {
public:
    static GameRoot& Get();

    const std::string& Path() const { return m_path; }
    // Removes everything in the root and forgets the resolver's cached listings.
    void Clear();
    // Writes a file at a real relative path (forward slashes, exact case), creating folders.
    void Write(std::string_view relative, std::string_view bytes);
    void Write(std::string_view relative, const std::uint8_t* data, std::size_t size) {
        Write(relative, AsText(data, size));
    }

    GameRoot(const GameRoot&) = delete;
    GameRoot& operator=(const GameRoot&) = delete;

private:
    GameRoot();
    ~GameRoot();
    std::string m_path;
};

// Splits an input into at most `count` parts at lines holding only "----" (the multi-file
// targets: a data file and the files it names). Missing parts are empty.
void SplitParts(std::string_view input, std::size_t count, std::string_view* parts);

} // namespace kxfuzz
