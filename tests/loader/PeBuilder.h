#pragma once

// A tiny PE writer for hand-built test images. The file is laid out like the image (each
// section's raw data sits at its RVA), so tests write tables at RVAs and then corrupt what
// they like. Defaults: headers in 0x400 bytes, one section ".data" at 0x1000..0x4000.

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "FlashPlayerControl/loader/PEImage.h"
#include "framework/Streams.h"

class TPeBuilder {
public:
    struct TSection {
        std::string Name;
        uint32_t VirtualSize, VirtualAddress, SizeOfRawData, PointerToRawData;
    };

    explicit TPeBuilder(TImageFormat format)
        : Format(format),
          Machine(format == ifPe32Plus ? PE::MachineAmd64 : PE::MachineI386),
          Magic(format == ifPe32Plus ? PE::Pe32PlusMagic : PE::Pe32Magic),
          OptionalHeaderSize(format == ifPe32Plus ? 0xF0 : 0xE0) {}

    bool Plus() const { return Format == ifPe32Plus; }
    uint32_t PointerSize() const { return Plus() ? 8 : 4; }
    uint32_t OptionalHeader() const { return NtOffset + 0x18; }
    uint32_t SectionTable() const { return OptionalHeader() + OptionalHeaderSize; }

    void Put16(uint32_t at, uint16_t v) { Grow(at + 2); std::memcpy(&File[at], &v, 2); }
    void Put32(uint32_t at, uint32_t v) { Grow(at + 4); std::memcpy(&File[at], &v, 4); }
    void Put64(uint32_t at, uint64_t v) { Grow(at + 8); std::memcpy(&File[at], &v, 8); }
    void PutPointer(uint32_t at, uint64_t v) { Plus() ? Put64(at, v) : Put32(at, uint32_t(v)); }
    void PutString(uint32_t at, const std::string& s) {
        Grow(at + s.size() + 1);
        std::memcpy(&File[at], s.c_str(), s.size() + 1);
    }
    void SetDirectory(PE::Directory index, uint32_t rva, uint32_t size) {
        Directories[index] = {rva, size};
    }

    // The finished file: the body with DOS header, NT headers and section table written.
    std::vector<uint8_t> Build() {
        Put16(0, PE::DosSignature);
        Put32(0x3C, NtOffset);
        Put32(NtOffset, PE::NtSignature);
        Put16(NtOffset + 4, Machine);
        Put16(NtOffset + 6, uint16_t(Sections.size()));
        Put16(NtOffset + 0x14, OptionalHeaderSize);
        Put16(NtOffset + 0x16, 0x2102);   // executable, DLL
        const uint32_t opt = OptionalHeader();
        Put16(opt, Magic);
        Put32(opt + 16, EntryPoint);
        if (Plus()) Put64(opt + 24, ImageBase); else Put32(opt + 28, uint32_t(ImageBase));
        Put32(opt + 32, 0x1000);   // section alignment
        Put32(opt + 36, 0x200);    // file alignment
        Put32(opt + 56, SizeOfImage);
        Put32(opt + 60, SizeOfHeaders);
        const uint32_t dirs = opt + (Plus() ? 112 : 96);
        Put32(dirs - 4, PE::DirectoryCount);
        for (uint32_t i = 0; i < PE::DirectoryCount; ++i) {
            Put32(dirs + i * 8, Directories[i].Rva);
            Put32(dirs + i * 8 + 4, Directories[i].Size);
        }
        for (size_t i = 0; i < Sections.size(); ++i) {
            const uint32_t at = SectionTable() + uint32_t(i) * PE::SectionHeaderSize;
            const TSection& s = Sections[i];
            Grow(at + PE::SectionHeaderSize);
            std::memset(&File[at], 0, 8);
            std::memcpy(&File[at], s.Name.data(), std::min<size_t>(8, s.Name.size()));
            Put32(at + 0x08, s.VirtualSize);
            Put32(at + 0x0C, s.VirtualAddress);
            Put32(at + 0x10, s.SizeOfRawData);
            Put32(at + 0x14, s.PointerToRawData);
        }
        return File;
    }

    TImageFormat Format;
    uint16_t Machine;
    uint16_t Magic;
    uint16_t OptionalHeaderSize;
    uint32_t NtOffset = 0x80;
    uint64_t ImageBase = 0x10000000;
    uint32_t EntryPoint = 0;
    uint32_t SizeOfImage = 0x4000;
    uint32_t SizeOfHeaders = 0x400;
    TDataDirectory Directories[PE::DirectoryCount] = {};
    std::vector<TSection> Sections{{".data", 0x3000, 0x1000, 0x3000, 0x1000}};
    std::vector<uint8_t> File = std::vector<uint8_t>(0x4000);

private:
    void Grow(size_t size) {
        if (File.size() < size) File.resize(size);
    }
};

// Import descriptor with its thunks. names: a name imports by name; "#N" by ordinal N.
// Writes the descriptor at `at`, the name table at nameTable, the IAT at iat and the strings
// at strings (advanced past what was written).
inline void WriteImport(TPeBuilder& b, uint32_t at, const std::string& library,
                        const std::vector<std::string>& names, uint32_t nameTable, uint32_t iat,
                        uint32_t& strings, uint32_t timeDateStamp = 0) {
    const uint64_t ordinalFlag = b.Plus() ? (1ull << 63) : (1ull << 31);
    b.PutString(strings, library);
    const uint32_t libraryRva = strings;
    strings += uint32_t(library.size()) + 1;
    for (size_t i = 0; i < names.size(); ++i) {
        uint64_t entry;
        if (names[i][0] == '#') {
            entry = ordinalFlag | std::stoul(names[i].substr(1));
        } else {
            b.Put16(strings, 0);   // hint
            b.PutString(strings + 2, names[i]);
            entry = strings;
            strings += uint32_t(names[i].size()) + 3;
        }
        b.PutPointer(nameTable + uint32_t(i) * b.PointerSize(), entry);
        // With a time stamp the IAT holds something else (a bound address) until bound.
        b.PutPointer(iat + uint32_t(i) * b.PointerSize(), timeDateStamp ? 0x5A5A5A5A : entry);
    }
    b.PutPointer(nameTable + uint32_t(names.size()) * b.PointerSize(), 0);
    b.PutPointer(iat + uint32_t(names.size()) * b.PointerSize(), 0);
    b.Put32(at, nameTable);
    b.Put32(at + 4, timeDateStamp);
    b.Put32(at + 0x0C, libraryRva);
    b.Put32(at + 0x10, iat);
}

// Export directory at `at` for (name, RVA) pairs in the given (sorted) order; returns its size.
inline uint32_t WriteExports(TPeBuilder& b, uint32_t at,
                             const std::vector<std::pair<std::string, uint32_t>>& exports) {
    const uint32_t n = uint32_t(exports.size());
    const uint32_t functions = at + 0x28, names = functions + 4 * n, ordinals = names + 4 * n;
    uint32_t strings = ordinals + 2 * n;
    b.Put32(at + 0x14, n);
    b.Put32(at + 0x18, n);
    b.Put32(at + 0x1C, functions);
    b.Put32(at + 0x20, names);
    b.Put32(at + 0x24, ordinals);
    for (uint32_t i = 0; i < n; ++i) {
        b.Put32(functions + 4 * i, exports[i].second);
        b.Put32(names + 4 * i, strings);
        b.Put16(ordinals + 2 * i, uint16_t(i));
        b.PutString(strings, exports[i].first);
        strings += uint32_t(exports[i].first.size()) + 1;
    }
    b.SetDirectory(PE::ExportDirectory, at, strings - at);
    return strings - at;
}

// A resource tree at `root`. Names: "#N" is identifier N, anything else a string name.
struct TResourceEntry {
    uint16_t Type;
    std::string Name;
    uint16_t Language;
    std::string Data;
};

inline void WriteResources(TPeBuilder& b, uint32_t root, const std::vector<TResourceEntry>& entries) {
    // type -> name -> language -> index into entries, in the order given
    std::vector<std::pair<uint16_t, std::vector<std::pair<std::string, std::vector<size_t>>>>> tree;
    for (size_t i = 0; i < entries.size(); ++i) {
        auto type = std::find_if(tree.begin(), tree.end(),
                                 [&](const auto& t) { return t.first == entries[i].Type; });
        if (type == tree.end()) type = tree.insert(tree.end(), {entries[i].Type, {}});
        auto name = std::find_if(type->second.begin(), type->second.end(),
                                 [&](const auto& n) { return n.first == entries[i].Name; });
        if (name == type->second.end()) name = type->second.insert(type->second.end(), {entries[i].Name, {}});
        name->second.push_back(i);
    }
    uint32_t next = 0;   // offsets from root
    auto directory = [&](uint32_t count) {
        const uint32_t at = next;
        b.Put16(root + at + 0x0E, uint16_t(count));
        next += 16 + 8 * count;
        return at;
    };
    const uint32_t rootDir = directory(uint32_t(tree.size()));
    uint32_t stringArea = 0x600, dataArea = 0x800;   // inside the resource area
    for (size_t t = 0; t < tree.size(); ++t) {
        const uint32_t typeDir = directory(uint32_t(tree[t].second.size()));
        b.Put32(root + rootDir + 16 + 8 * uint32_t(t), tree[t].first);
        b.Put32(root + rootDir + 16 + 8 * uint32_t(t) + 4, 0x80000000u | typeDir);
        for (size_t n = 0; n < tree[t].second.size(); ++n) {
            const std::string& name = tree[t].second[n].first;
            const auto& languages = tree[t].second[n].second;
            const uint32_t nameDir = directory(uint32_t(languages.size()));
            const uint32_t entry = root + typeDir + 16 + 8 * uint32_t(n);
            if (name[0] == '#') {
                b.Put32(entry, uint32_t(std::stoul(name.substr(1))));
            } else {
                b.Put32(entry, 0x80000000u | stringArea);
                b.Put16(root + stringArea, uint16_t(name.size()));
                for (size_t c = 0; c < name.size(); ++c)
                    b.Put16(root + stringArea + 2 + 2 * uint32_t(c), uint8_t(name[c]));
                stringArea += 2 + 2 * uint32_t(name.size());
            }
            b.Put32(entry + 4, 0x80000000u | nameDir);
            for (size_t l = 0; l < languages.size(); ++l) {
                const TResourceEntry& entry = entries[languages[l]];
                const uint32_t dataEntry = next;
                next += 16;
                b.Put32(root + nameDir + 16 + 8 * uint32_t(l), entry.Language);
                b.Put32(root + nameDir + 16 + 8 * uint32_t(l) + 4, dataEntry);
                b.Put32(root + dataEntry, root + dataArea);
                b.Put32(root + dataEntry + 4, uint32_t(entry.Data.size()));
                for (size_t c = 0; c < entry.Data.size(); ++c)
                    b.File[root + dataArea + c] = uint8_t(entry.Data[c]);
                dataArea += (uint32_t(entry.Data.size()) + 7) & ~7u;
            }
        }
    }
    b.SetDirectory(PE::ResourceDirectory, root, dataArea);
}

// The bytes of a file as a stream the loader reads.
inline void FillStream(TMemoryStream& stream, const std::vector<uint8_t>& bytes) {
    stream.SetSize(0);
    if (!bytes.empty()) stream.WriteBuffer(bytes.data(), int32_t(bytes.size()));
    stream.Seek(0, soFromBeginning);
}
