#include "FlashPlayerControl/loader/ImageResources.h"

#include <cstring>

namespace {

constexpr uint32_t HighBit = 0x80000000u;
constexpr uint32_t DirectoryHeaderSize = 16;
constexpr uint32_t EntrySize = 8;

struct TDirectoryEntry {
    uint32_t NameOrId;
    uint32_t OffsetToData;
};

// Walks one directory level; the range of its entries is checked before the first is read,
// so huge counts fail at once instead of scanning.
class TResourceTree {
public:
    TResourceTree(const TImageBytes& image, uint32_t rootRva) : image_(image), root_(rootRva) {}

    uint32_t EntryCount(uint32_t dirOffset) const {
        const uint64_t at = root_ + uint64_t(dirOffset);
        image_.Require(at, DirectoryHeaderSize, "resource directory");
        const uint32_t count = uint32_t(image_.Read16(at + 0x0C, "resource directory")) +
                               image_.Read16(at + 0x0E, "resource directory");
        image_.Require(at + DirectoryHeaderSize, uint64_t(count) * EntrySize,
                       "resource directory entries");
        return count;
    }

    TDirectoryEntry Entry(uint32_t dirOffset, uint32_t index) const {
        const uint64_t at = root_ + uint64_t(dirOffset) + DirectoryHeaderSize + index * EntrySize;
        return {image_.Read32(at, "resource entry"), image_.Read32(at + 4, "resource entry")};
    }

    std::u16string Name(uint32_t nameOffset) const {
        const uint64_t at = root_ + uint64_t(nameOffset);
        const uint16_t length = image_.Read16(at, "resource name");
        image_.Require(at + 2, uint64_t(length) * 2, "resource name");
        std::u16string text(length, u'\0');
        std::memcpy(&text[0], image_.At(at + 2), size_t(length) * 2);
        return text;
    }

    uint64_t Root() const { return root_; }

private:
    const TImageBytes& image_;
    uint64_t root_;
};

uint32_t Subdirectory(const TDirectoryEntry& entry, const char* level) {
    if (!(entry.OffsetToData & HighBit))
        throw EImageFormatError(std::string("A resource ") + level +
                                " entry does not lead to a directory");
    return entry.OffsetToData & ~HighBit;
}

}  // namespace

bool FindResourceEntry(const TImageBytes& image, const TImageHeaders& headers, uint16_t type,
                       const char* name, uint16_t language,
                       const TResourceNameConverter& toAnsi, TResourceData& result) {
    const TDataDirectory& dir = headers.Directory(PE::ResourceDirectory);
    if (dir.Rva == 0) return false;
    const TResourceTree tree(image, dir.Rva);

    auto findIn = [&](uint32_t dirOffset, auto matches, TDirectoryEntry& found) {
        const uint32_t count = tree.EntryCount(dirOffset);
        for (uint32_t i = 0; i < count; ++i) {
            found = tree.Entry(dirOffset, i);
            if (matches(found)) return true;
        }
        return false;
    };
    auto idMatches = [](uint16_t id) {
        return [id](const TDirectoryEntry& e) {
            return !(e.NameOrId & HighBit) && uint16_t(e.NameOrId) == id;
        };
    };

    TDirectoryEntry typeEntry{}, nameEntry{}, languageEntry{};
    if (!findIn(0, idMatches(type), typeEntry)) return false;
    const uint32_t namesDir = Subdirectory(typeEntry, "type");

    bool nameFound;
    if (IsResourceId(name)) {
        nameFound = findIn(namesDir, idMatches(uint16_t(reinterpret_cast<uintptr_t>(name))),
                           nameEntry);
    } else {
        const std::string wanted(name);
        nameFound = findIn(
            namesDir,
            [&](const TDirectoryEntry& e) {
                return (e.NameOrId & HighBit) && toAnsi(tree.Name(e.NameOrId & ~HighBit)) == wanted;
            },
            nameEntry);
    }
    if (!nameFound) return false;
    const uint32_t languagesDir = Subdirectory(nameEntry, "name");

    if (!findIn(languagesDir,
                [language](const TDirectoryEntry& e) { return uint16_t(e.NameOrId) == language; },
                languageEntry))
        return false;
    if (languageEntry.OffsetToData & HighBit)
        throw EImageFormatError("A resource language entry leads to a directory, not to data");
    const uint64_t dataEntry = tree.Root() + languageEntry.OffsetToData;
    const uint32_t dataRva = image.Read32(dataEntry, "resource data entry");
    const uint32_t size = image.Read32(dataEntry + 4, "resource data entry");
    image.Require(dataRva, size, "resource data");
    result.Data = image.At(dataRva);
    result.Size = size;
    return true;
}

uint32_t PackProductVersion(uint32_t productVersionMS, uint32_t productVersionLS) {
    return ((productVersionMS >> 16) << 24) + ((productVersionMS & 0xFFFF) << 16) +
           ((productVersionLS >> 16) << 8) + (productVersionLS & 0xFFFF);
}

uint32_t ReadPackedProductVersion(const void* data, uint32_t size) {
    // Past wLength, wValueLength, wType and the key "VS_VERSION_INFO" with its terminator;
    // zero words after it are alignment.
    constexpr uint32_t FixedPartSearchStart = 38;
    constexpr uint32_t FixedPartSize = 0x34;
    constexpr uint32_t FixedSignature = 0xFEEF04BD;
    const TImageBytes bytes(data, size);
    uint64_t at = FixedPartSearchStart;
    while (at + 2 <= size && bytes.Read16(at, "version resource") == 0) at += 2;
    if (!bytes.Contains(at, FixedPartSize)) return 0;
    if (bytes.Read32(at, "version resource") != FixedSignature) return 0;
    return PackProductVersion(bytes.Read32(at + 0x10, "version resource"),
                              bytes.Read32(at + 0x14, "version resource"));
}
