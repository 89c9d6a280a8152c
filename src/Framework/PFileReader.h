#pragma once
// Reads a whole data file into memory: the loose file under the game root if
// there is one (any letter case), otherwise the copy in the highest-numbered pack.
// Every read is bounds-checked: past the end it yields 0 or empty and marks the
// reader failed, so a truncated file can never be read beyond its bytes.

#include "Platform/Base/WinTypes.h"
#include "Platform/System/Paths.h"
#include "Platform/System/RegularFile.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// An allocator whose elements start uninitialised: a buffer about to be read into is not
// zero-filled first.
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <class U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

class CPFileReader {
public:
    // scrambled: the loose file is stored scrambled (pack copies always are). A file larger than
    // maxBytes is not read: Load fails.
    explicit CPFileReader(std::string path, bool scrambled = false,
                          std::uint64_t maxBytes = Platform::kMaxDataFileBytes);
    virtual ~CPFileReader() = default;

    // S_OK or E_FAIL (found nowhere, or a read error). Loading again keeps the read position.
    HRESULT Load();
    // The file layer's one existence test: whether Load would find the file (a regular loose
    // file in any letter case, else an entry of a mounted pack). The next Load reads from where
    // it was found without looking again.
    bool Find();

    const std::uint8_t* GetData() const { return m_data.data(); }
    int GetDataSize() const { return static_cast<int>(m_data.size()); }
    // The path in lower case.
    const std::string& GetPath() const { return m_where.Lowered(); }

    // Copies n bytes and advances; past the end the destination is zeroed and E_FAIL answered
    // (a negative n fails too). Either failure marks the reader failed.
    HRESULT ReadBytes(void* destination, int n);
    int ReadInt();
    float ReadFloat();
    // A 32-bit length and that many bytes; the text ends at the first zero byte among them.
    std::string ReadString();

    int GetReadPosition() const { return m_position; }
    int GetRemaining() const { return GetDataSize() - m_position; }
    // Whether a read went past the end since the reader was made.
    bool IsFailed() const { return m_failed; }

private:
    bool InPacks() const;
    // Tells the file trace where a look-up found the file (the loose file, else the packs).
    void TraceLookup(const std::optional<std::string>& loose) const;
    HRESULT LoadLoose(const std::string& realPath);
    HRESULT LoadFromPacks();

    Platform::GamePath m_where;
    std::string m_packKey;
    bool m_scrambled;
    std::uint64_t m_maxBytes;
    // Set by a successful Find until the next Load: the loose file's real path, or nothing
    // when the packs hold the file.
    bool m_found = false;
    std::optional<std::string> m_foundLoose;
    std::vector<std::uint8_t, UninitialisedAllocator<std::uint8_t>> m_data;
    int m_position = 0;
    bool m_failed = false;
};
