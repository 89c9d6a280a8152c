#pragma once
// The demo generator: assembles a game root from the checkout's data folder and writes every
// generated demo file (pictures, generated texts) into it. Each family of generated files lives
// in its own source file and registers itself with DEMOGEN_FAMILY.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace demogen {

// Writes bytes to root/relative (folders made as needed) unless the file already holds exactly
// them, so a rerun leaves unchanged files alone, and enters the file in the manifest. False when
// it cannot be written.
bool WriteIfChanged(const std::filesystem::path& root, const std::string& relative, const std::string& bytes);
// Puts a file into the pack "Data/game<number>.dat" under its path below "Data" ("Meshes/x.p3d").
// The packs are written after every family has run, their files in path order.
void AddToPack(int number, const std::string& pathUnderData, const std::string& bytes);
// The TGA bytes of RGBA pixels, top row first, as WritePicture writes them.
std::string PictureBytes(int width, int height, const std::vector<std::uint8_t>& rgba);
// An uncompressed 32-bit TGA from RGBA pixels, top row first.
bool WritePicture(const std::filesystem::path& root, const std::string& relative, int width, int height,
                  const std::vector<std::uint8_t>& rgba);

using Family = bool (*)(const std::filesystem::path& root);

// Adds a family; the generator runs them in name order, so the output does not depend on link order.
struct FamilyRegistrar {
    FamilyRegistrar(const char* name, Family family);
};

// Copies the checkout's data folder into the game root: every file whose copy differs is replaced,
// except the game's own files (settings, bindings, saves, scores), which are copied only when absent
// so a player's changes survive. False when something could not be copied.
bool AssembleRoot(const std::filesystem::path& data, const std::filesystem::path& root);
// Runs every family, then writes the packs and "demo-manifest.txt" (one line per generated file,
// loose or packed, in path order: path, size, FNV-1a hash, and "loose" or the pack's name);
// false when one failed.
bool RunFamilies(const std::filesystem::path& root);

// The 64-bit FNV-1a hash of bytes, as the manifest writes it (16 lower-case hex digits).
std::string HashText(const std::string& bytes);

} // namespace demogen

#define DEMOGEN_CONCAT2(a, b) a##b
#define DEMOGEN_CONCAT(a, b) DEMOGEN_CONCAT2(a, b)
#define DEMOGEN_FAMILY(name, function)                                                                                 \
    static const ::demogen::FamilyRegistrar DEMOGEN_CONCAT(g_demogenFamily, __LINE__)(name, function)
