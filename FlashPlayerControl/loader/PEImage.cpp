#include "FlashPlayerControl/loader/PEImage.h"

#include <algorithm>
#include <cstring>

namespace {

std::string Hex(uint64_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + text;
}

[[noreturn]] void Malformed(const std::string& message) { throw EImageFormatError(message); }

const char* FormatName(TImageFormat format) { return format == ifPe32Plus ? "PE32+" : "PE32"; }

// Optional-header offsets that differ between the formats.
struct TOptionalLayout {
    uint32_t imageBase;
    uint32_t numberOfRvaAndSizes;
    uint32_t dataDirectories;
};
constexpr TOptionalLayout Pe32Layout{28, 92, 96};
constexpr TOptionalLayout Pe32PlusLayout{24, 108, 112};
constexpr uint32_t OptEntryPoint = 16, OptSizeOfImage = 56, OptSizeOfHeaders = 60;

// The mapped image bounds of one data directory, checked.
void RequireDirectory(const TImageBytes& image, const TDataDirectory& dir, uint32_t minimum,
                      const char* what) {
    if (!image.Contains(dir.Rva, std::max(dir.Size, minimum)))
        Malformed(std::string(what) + " at RVA " + Hex(dir.Rva) + " (size " + Hex(dir.Size) +
                  ") lies outside the image");
}

// Whether [offset, offset + length) lies inside a file of fileSize bytes.
bool InsideFile(uint64_t fileSize, uint64_t offset, uint64_t length) {
    return offset <= fileSize && length <= fileSize - offset;
}

// The block is committed before anything else is checked, so an absurd size is refused here:
// above 1 GiB, or far beyond the headers and sections that the image lays out.
void RequireReasonableImageSize(const TImageHeaders& h) {
    constexpr uint64_t MaxImageSize = uint64_t(1) << 30;
    constexpr uint64_t MaxSlack = uint64_t(16) << 20;
    if (h.SizeOfImage > MaxImageSize)
        Malformed("SizeOfImage " + Hex(h.SizeOfImage) + " exceeds the 1 GiB a module image may have");
    uint64_t laidOut = h.SizeOfHeaders;
    for (const TSectionHeader& s : h.Sections)
        laidOut = std::max<uint64_t>(laidOut, uint64_t(s.VirtualAddress) + s.VirtualSize);
    if (h.SizeOfImage - laidOut > MaxSlack)
        Malformed("SizeOfImage " + Hex(h.SizeOfImage) + " is far larger than the " + Hex(laidOut) +
                  " bytes its headers and sections occupy");
}

// For a file image, bytes may hold only the file's header region; fileSize is the whole file's.
TImageHeaders ParseHeaders(const TImageBytes& bytes, TImageFormats accepted, bool isFile, uint64_t fileSize) {
    TImageHeaders h;
    bytes.Require(0, PE::DosHeaderSize, "DOS header");
    if (bytes.Read16(0, "DOS header") != PE::DosSignature)
        Malformed("The image has no DOS signature (MZ)");
    h.NtHeadersOffset = bytes.Read32(0x3C, "DOS header");
    const uint64_t nt = h.NtHeadersOffset;
    bytes.Require(nt, 4 + PE::FileHeaderSize, "NT headers");
    if (bytes.Read32(nt, "NT headers") != PE::NtSignature)
        Malformed("The image has no NT signature (PE) at offset " + Hex(nt));

    h.Machine = bytes.Read16(nt + 4, "file header");
    const uint16_t sectionCount = bytes.Read16(nt + 6, "file header");
    const uint16_t optionalSize = bytes.Read16(nt + 0x14, "file header");
    if (h.Machine == PE::MachineI386)
        h.Format = ifPe32;
    else if (h.Machine == PE::MachineAmd64)
        h.Format = ifPe32Plus;
    else
        Malformed("Unsupported machine type " + Hex(h.Machine));
    if (!(accepted & h.Format))
        Malformed(std::string("The image is ") + FormatName(h.Format) + " (machine " +
                  Hex(h.Machine) + "), a format this build does not map");

    const uint64_t opt = nt + 4 + PE::FileHeaderSize;
    const TOptionalLayout& layout = h.IsPe32Plus() ? Pe32PlusLayout : Pe32Layout;
    if (optionalSize < layout.dataDirectories)
        Malformed("The optional header is too small (" + Hex(optionalSize) + " bytes)");
    bytes.Require(opt, optionalSize, "optional header");
    const uint16_t magic = bytes.Read16(opt, "optional header");
    const uint16_t expectedMagic = h.IsPe32Plus() ? PE::Pe32PlusMagic : PE::Pe32Magic;
    if (magic != expectedMagic)
        Malformed("Optional-header magic " + Hex(magic) + " does not match machine " +
                  Hex(h.Machine));

    h.AddressOfEntryPoint = bytes.Read32(opt + OptEntryPoint, "optional header");
    h.ImageBase = h.IsPe32Plus() ? bytes.Read64(opt + layout.imageBase, "optional header")
                                 : bytes.Read32(opt + layout.imageBase, "optional header");
    h.SizeOfImage = bytes.Read32(opt + OptSizeOfImage, "optional header");
    h.SizeOfHeaders = bytes.Read32(opt + OptSizeOfHeaders, "optional header");
    const uint32_t dirCount = std::min<uint32_t>(
        bytes.Read32(opt + layout.numberOfRvaAndSizes, "optional header"), PE::DirectoryCount);
    if (layout.dataDirectories + uint64_t(dirCount) * 8 > optionalSize)
        Malformed("The data directories run past the optional header");
    for (uint32_t i = 0; i < dirCount; ++i) {
        h.Directories[i].Rva = bytes.Read32(opt + layout.dataDirectories + i * 8, "data directory");
        h.Directories[i].Size =
            bytes.Read32(opt + layout.dataDirectories + i * 8 + 4, "data directory");
    }

    if (h.SizeOfImage == 0) Malformed("SizeOfImage is 0");
    if (h.AddressOfEntryPoint >= h.SizeOfImage)
        Malformed("The entry point " + Hex(h.AddressOfEntryPoint) + " lies outside the image");
    if (h.SizeOfHeaders > h.SizeOfImage)
        Malformed("SizeOfHeaders " + Hex(h.SizeOfHeaders) + " exceeds SizeOfImage " +
                  Hex(h.SizeOfImage));
    if (isFile && (h.SizeOfHeaders > fileSize || h.SizeOfHeaders > bytes.Size()))
        Malformed("SizeOfHeaders " + Hex(h.SizeOfHeaders) + " runs past the end of the file");
    if (!isFile && h.SizeOfImage != bytes.Size())
        Malformed("SizeOfImage changed while reading");

    const uint64_t table = opt + optionalSize;
    const uint64_t tableEnd = table + uint64_t(sectionCount) * PE::SectionHeaderSize;
    if (tableEnd > h.SizeOfHeaders || !bytes.Contains(table, tableEnd - table))
        Malformed("The section table (" + std::to_string(sectionCount) +
                  " sections) runs past the headers");
    h.Sections.reserve(sectionCount);
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint64_t at = table + uint64_t(i) * PE::SectionHeaderSize;
        TSectionHeader s;
        const char* raw = reinterpret_cast<const char*>(bytes.At(at));
        s.Name.assign(raw, strnlen(raw, 8));
        s.VirtualSize = bytes.Read32(at + 0x08, "section header");
        s.VirtualAddress = bytes.Read32(at + 0x0C, "section header");
        s.SizeOfRawData = bytes.Read32(at + 0x10, "section header");
        s.PointerToRawData = bytes.Read32(at + 0x14, "section header");
        if (uint64_t(s.VirtualAddress) + s.VirtualSize > h.SizeOfImage)
            Malformed("Section '" + s.Name + "' at RVA " + Hex(s.VirtualAddress) + " (size " +
                      Hex(s.VirtualSize) + ") lies outside SizeOfImage " + Hex(h.SizeOfImage));
        const uint32_t copied = std::min(s.VirtualSize, s.SizeOfRawData);
        if (isFile && copied != 0 && !InsideFile(fileSize, s.PointerToRawData, copied))
            Malformed("The raw data of section '" + s.Name + "' at file offset " +
                      Hex(s.PointerToRawData) + " runs past the end of the file");
        h.Sections.push_back(std::move(s));
    }
    if (isFile) RequireReasonableImageSize(h);
    return h;
}

}  // namespace

void TImageBytes::Require(uint64_t offset, uint64_t length, const char* what) const {
    if (!Contains(offset, length))
        Malformed(std::string("The ") + what + " at offset " + Hex(offset) + " (" +
                  std::to_string(length) + " bytes) lies outside the image of " +
                  std::to_string(size_) + " bytes");
}

uint16_t TImageBytes::Read16(uint64_t offset, const char* what) const {
    Require(offset, 2, what);
    uint16_t v;
    std::memcpy(&v, data_ + offset, 2);
    return v;
}

uint32_t TImageBytes::Read32(uint64_t offset, const char* what) const {
    Require(offset, 4, what);
    uint32_t v;
    std::memcpy(&v, data_ + offset, 4);
    return v;
}

uint64_t TImageBytes::Read64(uint64_t offset, const char* what) const {
    Require(offset, 8, what);
    uint64_t v;
    std::memcpy(&v, data_ + offset, 8);
    return v;
}

std::string TImageBytes::ReadString(uint64_t offset, const char* what) const {
    Require(offset, 1, what);
    const auto* start = reinterpret_cast<const char*>(data_ + offset);
    const size_t length = strnlen(start, size_ - offset);
    if (length == size_ - offset)
        Malformed(std::string("The ") + what + " at offset " + Hex(offset) +
                  " is not terminated inside the image");
    return std::string(start, length);
}

void TImageBytes::Write16(uint64_t offset, uint16_t value, const char* what) const {
    Require(offset, 2, what);
    std::memcpy(data_ + offset, &value, 2);
}

void TImageBytes::Write32(uint64_t offset, uint32_t value, const char* what) const {
    Require(offset, 4, what);
    std::memcpy(data_ + offset, &value, 4);
}

void TImageBytes::Write64(uint64_t offset, uint64_t value, const char* what) const {
    Require(offset, 8, what);
    std::memcpy(data_ + offset, &value, 8);
}

uint64_t TImageHeaders::DeltaFor(uint64_t actualBase) const {
    const uint64_t delta = actualBase - ImageBase;
    return IsPe32Plus() ? delta : uint32_t(delta);
}

TImageHeaders ReadFileHeaders(const TImageBytes& file, TImageFormats accepted) {
    return ParseHeaders(file, accepted, true, file.Size());
}

TImageHeaders ReadFileHeaders(const TImageBytes& headerRegion, uint64_t fileSize, TImageFormats accepted) {
    if (headerRegion.Size() > fileSize) Malformed("The header region is larger than the file");
    return ParseHeaders(headerRegion, accepted, true, fileSize);
}

std::vector<uint8_t> ReadHeaderRegion(const TFileReader& read, uint64_t fileSize) {
    // A first page holds the headers of nearly every module; the headers themselves say
    // whether more is needed (SizeOfHeaders, or e_lfanew pointing further on).
    constexpr uint64_t FirstRead = 0x1000;
    std::vector<uint8_t> region(size_t(std::min(fileSize, FirstRead)));
    if (!region.empty()) read(0, region.data(), region.size());
    for (int round = 0; round < 3; ++round) {
        const TImageBytes known(region.data(), region.size());
        if (!known.Contains(0, PE::DosHeaderSize)) break;   // too short: parsing names the fault
        const uint64_t sizeOfHeadersAt =
            uint64_t(known.Read32(0x3C, "DOS header")) + 4 + PE::FileHeaderSize + OptSizeOfHeaders;
        const uint64_t needed = known.Contains(sizeOfHeadersAt, 4)
                                    ? std::max<uint64_t>(known.Read32(sizeOfHeadersAt, "optional header"),
                                                         sizeOfHeadersAt + 4)
                                    : sizeOfHeadersAt + 4;
        const uint64_t wanted = std::min(needed, fileSize);
        if (wanted <= region.size()) break;
        const size_t had = region.size();
        region.resize(size_t(wanted));
        read(had, region.data() + had, wanted - had);
    }
    return region;
}

TImageHeaders ReadMappedHeaders(const void* image, TImageFormats accepted, TImageBytes& bytes) {
    if (image == nullptr) Malformed("No image given");
    // A mapped image is at least one page; its fixed headers must lie in that page before
    // SizeOfImage can be believed.
    constexpr uint32_t FirstPage = 0x1000;
    const TImageBytes page(image, FirstPage);
    if (page.Read16(0, "DOS header") != PE::DosSignature)
        Malformed("The image has no DOS signature (MZ)");
    const uint64_t nt = page.Read32(0x3C, "DOS header");
    const uint64_t opt = nt + 4 + PE::FileHeaderSize;
    const uint32_t sizeOfImage = page.Read32(opt + OptSizeOfImage, "optional header");
    if (sizeOfImage < FirstPage) Malformed("SizeOfImage " + Hex(sizeOfImage) + " is below one page");
    bytes = TImageBytes(image, sizeOfImage);
    return ParseHeaders(bytes, accepted, false, 0);
}

void CopyHeadersAndSections(const TImageBytes& file, const TImageHeaders& headers,
                            const TImageBytes& image) {
    LayOutImage(file, [&file](uint64_t offset, void* destination, uint64_t count) {
        file.Require(offset, count, "section raw data");
        std::memcpy(destination, file.At(offset), size_t(count));
    }, headers, image);
}

void LayOutImage(const TImageBytes& headerRegion, const TFileReader& read, const TImageHeaders& headers,
                 const TImageBytes& image) {
    image.Require(0, headers.SizeOfHeaders, "image headers");
    headerRegion.Require(0, headers.SizeOfHeaders, "file headers");
    std::memcpy(image.At(0), headerRegion.At(0), headers.SizeOfHeaders);
    for (const TSectionHeader& s : headers.Sections) {
        image.Require(s.VirtualAddress, s.VirtualSize, "section");
        // Only the tail past the raw data needs zeros: the rest is overwritten by it.
        const uint32_t copied = std::min(s.VirtualSize, s.SizeOfRawData);
        if (copied != 0) read(s.PointerToRawData, image.At(s.VirtualAddress), copied);
        std::memset(image.At(uint64_t(s.VirtualAddress) + copied), 0, s.VirtualSize - copied);
    }
}

bool HasRelocations(const TImageHeaders& headers) {
    return headers.Directory(PE::BaseRelocationDirectory).Size != 0;
}

void ApplyRelocations(const TImageBytes& image, const TImageHeaders& headers, uint64_t delta) {
    const TDataDirectory& dir = headers.Directory(PE::BaseRelocationDirectory);
    if (dir.Size == 0 || delta == 0) return;
    RequireDirectory(image, dir, 0, "Base relocation directory");
    uint64_t offset = 0;
    while (offset < dir.Size) {
        if (dir.Size - offset < 8)
            Malformed("A relocation block header at " + Hex(dir.Rva + offset) +
                      " runs past the relocation directory");
        const uint64_t block = dir.Rva + offset;
        const uint32_t pageRva = image.Read32(block, "relocation block");
        const uint32_t blockSize = image.Read32(block + 4, "relocation block");
        if (blockSize < 8 || blockSize > dir.Size - offset)
            Malformed("Relocation block at " + Hex(block) + " has an invalid SizeOfBlock " +
                      Hex(blockSize));
        const uint32_t entries = (blockSize - 8) / 2;
        for (uint32_t i = 0; i < entries; ++i) {
            const uint16_t entry = image.Read16(block + 8 + i * 2, "relocation entry");
            const uint16_t type = entry >> 12;
            const uint64_t target = uint64_t(pageRva) + (entry & 0xFFF);
            // The headers describe the image to every later lookup; nothing may patch them.
            if (type != PE::RelocationAbsolute && target < headers.SizeOfHeaders)
                Malformed("A relocation at RVA " + Hex(target) + " lands in the image headers");
            switch (type) {
            case PE::RelocationAbsolute:
                break;
            case PE::RelocationHighLow:
                image.Write32(target, image.Read32(target, "relocation target") + uint32_t(delta),
                              "relocation target");
                break;
            case PE::RelocationDir64:
                image.Write64(target, image.Read64(target, "relocation target") + delta,
                              "relocation target");
                break;
            case PE::RelocationHigh:
                image.Write16(target,
                              uint16_t(image.Read16(target, "relocation target") + (delta >> 16)),
                              "relocation target");
                break;
            case PE::RelocationLow:
                image.Write16(target, uint16_t(image.Read16(target, "relocation target") + delta),
                              "relocation target");
                break;
            default:
                Malformed("Unsupported relocation type " + std::to_string(type) + " at RVA " +
                          Hex(target));
            }
        }
        offset += blockSize;
    }
}

std::vector<TImportDescriptor> ReadImports(const TImageBytes& image, const TImageHeaders& headers) {
    std::vector<TImportDescriptor> result;
    const TDataDirectory& dir = headers.Directory(PE::ImportDirectory);
    if (dir.Rva == 0) return result;
    const uint32_t width = headers.PointerSize();
    const uint64_t ordinalFlag = headers.IsPe32Plus() ? (1ull << 63) : (1ull << 31);
    // Descriptors may share thunk tables; a cap keeps a hostile image from costing
    // quadratic time. Real modules import a few thousand functions at most.
    constexpr size_t MaxImports = 1 << 16;
    size_t importCount = 0;
    for (uint64_t at = dir.Rva;; at += PE::ImportDescriptorSize) {
        image.Require(at, PE::ImportDescriptorSize, "import descriptor");
        const uint32_t originalFirstThunk = image.Read32(at, "import descriptor");
        const uint32_t timeDateStamp = image.Read32(at + 4, "import descriptor");
        const uint32_t nameRva = image.Read32(at + 0x0C, "import descriptor");
        const uint32_t firstThunk = image.Read32(at + 0x10, "import descriptor");
        if (nameRva == 0) break;

        TImportDescriptor descriptor;
        descriptor.LibraryName = image.ReadString(nameRva, "import library name");
        const uint32_t nameTable =
            (timeDateStamp != 0 && originalFirstThunk != 0) ? originalFirstThunk : firstThunk;
        for (uint64_t i = 0;; ++i) {
            const uint64_t entryAt = nameTable + i * width;
            const uint64_t entry = width == 8 ? image.Read64(entryAt, "import name table")
                                              : image.Read32(entryAt, "import name table");
            if (entry == 0) break;
            if (++importCount > MaxImports)
                Malformed("The import tables hold more than " + std::to_string(MaxImports) +
                          " entries");
            TImportThunk thunk;
            thunk.SlotRva = uint32_t(firstThunk + i * width);
            if (uint64_t(firstThunk) + i * width < headers.SizeOfHeaders)
                Malformed("An import address slot at RVA " + Hex(uint64_t(firstThunk) + i * width) +
                          " lies in the image headers");
            image.Require(uint64_t(firstThunk) + i * width, width, "import address table");
            if (entry & ordinalFlag) {
                thunk.ByOrdinal = true;
                thunk.Ordinal = uint16_t(entry);
            } else {
                if (entry >= image.Size())
                    Malformed("Import name RVA " + Hex(entry) + " lies outside the image");
                thunk.Name = image.ReadString(entry + 2, "import name");
            }
            descriptor.Thunks.push_back(std::move(thunk));
        }
        result.push_back(std::move(descriptor));
    }
    return result;
}

void WriteImportSlot(const TImageBytes& image, const TImageHeaders& headers, uint32_t slotRva,
                     uint64_t address) {
    if (headers.IsPe32Plus())
        image.Write64(slotRva, address, "import address table");
    else
        image.Write32(slotRva, uint32_t(address), "import address table");
}

TExportEntry FindExportEntry(const TImageBytes& image, const TImageHeaders& headers,
                             const char* name) {
    TExportEntry result;
    const TDataDirectory& dir = headers.Directory(PE::ExportDirectory);
    if (dir.Rva == 0 || name == nullptr) return result;
    RequireDirectory(image, dir, 0x28, "Export directory");
    const uint32_t functionCount = image.Read32(dir.Rva + 0x14, "export directory");
    const uint32_t nameCount = image.Read32(dir.Rva + 0x18, "export directory");
    const uint32_t functions = image.Read32(dir.Rva + 0x1C, "export directory");
    const uint32_t names = image.Read32(dir.Rva + 0x20, "export directory");
    const uint32_t ordinals = image.Read32(dir.Rva + 0x24, "export directory");
    image.Require(names, uint64_t(nameCount) * 4, "export name table");
    image.Require(ordinals, uint64_t(nameCount) * 2, "export ordinal table");
    image.Require(functions, uint64_t(functionCount) * 4, "export address table");
    for (uint32_t i = 0; i < nameCount; ++i) {
        const uint32_t nameRva = image.Read32(names + uint64_t(i) * 4, "export name table");
        if (image.ReadString(nameRva, "export name") != name) continue;
        const uint16_t index = image.Read16(ordinals + uint64_t(i) * 2, "export ordinal table");
        if (index >= functionCount)
            Malformed("Export '" + std::string(name) + "' has function index " +
                      std::to_string(index) + " beyond the " + std::to_string(functionCount) +
                      " functions");
        const uint32_t rva = image.Read32(functions + uint64_t(index) * 4, "export address table");
        if (rva == 0) return result;
        result.Rva = rva;
        if (rva >= dir.Rva && rva - dir.Rva < dir.Size) {
            result.Kind = TExportEntry::Forwarder;
            result.ForwarderText = image.ReadString(rva, "export forwarder");
        } else {
            if (rva >= image.Size())
                Malformed("Export '" + std::string(name) + "' lies outside the image");
            result.Kind = TExportEntry::Code;
        }
        return result;
    }
    return result;
}

TExportEntry FindExportOrdinal(const TImageBytes& image, const TImageHeaders& headers,
                               uint32_t ordinal) {
    TExportEntry result;
    const TDataDirectory& dir = headers.Directory(PE::ExportDirectory);
    if (dir.Rva == 0) return result;
    RequireDirectory(image, dir, 0x28, "Export directory");
    const uint32_t base = image.Read32(dir.Rva + 0x10, "export directory");
    const uint32_t functionCount = image.Read32(dir.Rva + 0x14, "export directory");
    const uint32_t functions = image.Read32(dir.Rva + 0x1C, "export directory");
    if (ordinal < base || ordinal - base >= functionCount) return result;
    const uint32_t rva =
        image.Read32(functions + uint64_t(ordinal - base) * 4, "export address table");
    if (rva == 0) return result;
    result.Rva = rva;
    if (rva >= dir.Rva && rva - dir.Rva < dir.Size) {
        result.Kind = TExportEntry::Forwarder;
        result.ForwarderText = image.ReadString(rva, "export forwarder");
    } else {
        if (rva >= image.Size()) Malformed("Export ordinal " + std::to_string(ordinal) + " lies outside the image");
        result.Kind = TExportEntry::Code;
    }
    return result;
}

std::string ReadExportModuleName(const TImageBytes& image, const TImageHeaders& headers) {
    const TDataDirectory& dir = headers.Directory(PE::ExportDirectory);
    if (dir.Rva == 0) return std::string();
    RequireDirectory(image, dir, 0x28, "Export directory");
    const uint32_t nameRva = image.Read32(dir.Rva + 0x0C, "export directory");
    return nameRva == 0 ? std::string() : image.ReadString(nameRva, "export module name");
}

std::vector<uint32_t> ReadTlsCallbacks(const TImageBytes& image, const TImageHeaders& headers,
                                       uint64_t actualBase) {
    std::vector<uint32_t> result;
    const TDataDirectory& dir = headers.Directory(PE::TlsDirectory);
    if (dir.Rva == 0) return result;
    const uint32_t width = headers.PointerSize();
    RequireDirectory(image, dir, 4 * width, "TLS directory");
    const uint64_t callbacksVa = width == 8 ? image.Read64(dir.Rva + 3 * 8, "TLS directory")
                                            : image.Read32(dir.Rva + 3 * 4, "TLS directory");
    if (callbacksVa == 0) return result;
    auto toRva = [&](uint64_t va, const char* what) {
        const uint64_t rva = width == 8 ? va - actualBase : uint32_t(va - actualBase);
        if (rva >= image.Size())
            Malformed(std::string("The ") + what + " address " + Hex(va) +
                      " lies outside the image");
        return uint32_t(rva);
    };
    const uint32_t table = toRva(callbacksVa, "TLS callback table");
    for (uint64_t at = table;; at += width) {
        const uint64_t va = width == 8 ? image.Read64(at, "TLS callback table")
                                       : image.Read32(at, "TLS callback table");
        if (va == 0) break;
        result.push_back(toRva(va, "TLS callback"));
    }
    return result;
}

TTlsTemplate ReadTlsTemplate(const TImageBytes& image, const TImageHeaders& headers, uint64_t base) {
    TTlsTemplate result;
    const TDataDirectory& dir = headers.Directory(PE::TlsDirectory);
    if (dir.Rva == 0) return result;
    const uint32_t width = headers.PointerSize();
    RequireDirectory(image, dir, 4 * width + 4, "TLS directory");
    const uint64_t start = width == 8 ? image.Read64(dir.Rva, "TLS directory")
                                      : image.Read32(dir.Rva, "TLS directory");
    const uint64_t end = width == 8 ? image.Read64(dir.Rva + 8, "TLS directory")
                                    : image.Read32(dir.Rva + 4, "TLS directory");
    result.ZeroFill = image.Read32(dir.Rva + 4 * width, "TLS directory");
    if (start == 0 && end == 0) return result;
    if (end < start)
        Malformed("The TLS template ends at " + Hex(end) + " before its start " + Hex(start));
    const uint64_t rva = width == 8 ? start - base : uint32_t(start - base);
    result.RawSize = end - start;
    image.Require(rva, result.RawSize, "TLS template");
    for (uint64_t i = 0; i < result.RawSize && result.RawIsZero; ++i)
        result.RawIsZero = *image.At(rva + i) == 0;
    return result;
}

TFunctionTable ReadFunctionTable(const TImageBytes& image, const TImageHeaders& headers) {
    TFunctionTable table;
    const TDataDirectory& dir = headers.Directory(PE::ExceptionDirectory);
    if (!headers.IsPe32Plus() || dir.Rva == 0 || dir.Size < PE::RuntimeFunctionSize) return table;
    RequireDirectory(image, dir, 0, "Exception directory");
    table.Rva = dir.Rva;
    table.Count = dir.Size / PE::RuntimeFunctionSize;
    // The system follows these addresses while it unwinds; each must lie in the image.
    for (uint32_t i = 0; i < table.Count; ++i) {
        const uint64_t at = dir.Rva + uint64_t(i) * PE::RuntimeFunctionSize;
        const uint32_t begin = image.Read32(at, "exception directory entry");
        const uint32_t end = image.Read32(at + 4, "exception directory entry");
        const uint32_t unwind = image.Read32(at + 8, "exception directory entry");
        const std::string entry = "Exception directory entry " + std::to_string(i);
        if (begin >= end || end > image.Size())
            Malformed(entry + " covers " + Hex(begin) + ".." + Hex(end) +
                      ", not a range inside the image");
        // Bit 0 marks an entry that refers to another entry instead of unwind data.
        const uint32_t target = unwind & ~1u;
        if (unwind & 1u) {
            if (!image.Contains(target, PE::RuntimeFunctionSize))
                Malformed(entry + " refers to an entry at " + Hex(target) + " outside the image");
            continue;
        }
        constexpr uint32_t UnwindHeaderSize = 4;
        if (!image.Contains(target, UnwindHeaderSize))
            Malformed(entry + " has unwind data at " + Hex(target) + " outside the image");
        const uint32_t codes = image.At(target)[2];
        const uint64_t unwindSize = UnwindHeaderSize + 2 * uint64_t((codes + 1) & ~1u);
        if (!image.Contains(target, unwindSize))
            Malformed(entry + " has unwind data at " + Hex(target) + " running past the image");
    }
    return table;
}
