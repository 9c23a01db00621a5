#pragma once

// The platform-free core of the module image loader: bounds-checked reading of PE32 and
// PE32+ images, either as a file image (a buffer holding the DLL file) or as a mapped image
// (laid out at its section addresses, bounded by SizeOfImage). Nothing here touches the system.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/Exceptions.h"

// A module image that is malformed, truncated or of a format this build does not map.
class EImageFormatError : public Exception { using Exception::Exception; };

namespace PE {
constexpr uint16_t DosSignature = 0x5A4D;      // "MZ"
constexpr uint32_t NtSignature = 0x00004550;   // "PE\0\0"
constexpr uint16_t MachineI386 = 0x014C;
constexpr uint16_t MachineAmd64 = 0x8664;
constexpr uint16_t Pe32Magic = 0x010B;
constexpr uint16_t Pe32PlusMagic = 0x020B;

constexpr uint32_t DosHeaderSize = 0x40;
constexpr uint32_t FileHeaderSize = 0x14;       // after the 4-byte signature
constexpr uint32_t SectionHeaderSize = 40;
constexpr uint32_t ImportDescriptorSize = 20;
constexpr uint32_t RuntimeFunctionSize = 12;    // x64 exception directory entry
constexpr uint32_t DirectoryCount = 16;

enum Directory : uint32_t {
    ExportDirectory = 0,
    ImportDirectory = 1,
    ResourceDirectory = 2,
    ExceptionDirectory = 3,
    BaseRelocationDirectory = 5,
    TlsDirectory = 9,
};

enum RelocationType : uint16_t {
    RelocationAbsolute = 0,
    RelocationHigh = 1,
    RelocationLow = 2,
    RelocationHighLow = 3,
    RelocationDir64 = 10,
};

constexpr uint32_t DllProcessDetach = 0;
constexpr uint32_t DllProcessAttach = 1;
}  // namespace PE

// The two image formats; a set of them says which ones a loader accepts.
enum TImageFormat : uint8_t { ifPe32 = 1, ifPe32Plus = 2 };
using TImageFormats = uint8_t;
constexpr TImageFormats AnyImageFormat = ifPe32 | ifPe32Plus;

// The format the running build can execute: PE32 on x86, PE32+ on x64. Off Windows nothing
// is executed, so both are accepted (tests pick the format).
constexpr TImageFormats NativeImageFormats() {
#if defined(_WIN64)
    return ifPe32Plus;
#elif defined(_WIN32)
    return ifPe32;
#else
    return AnyImageFormat;
#endif
}

// Little-endian reads and writes over a byte range; every access is checked first and a
// failure raises EImageFormatError naming the structure that was being read.
class TImageBytes {
public:
    TImageBytes(const void* data, uint64_t size)
        : data_(static_cast<uint8_t*>(const_cast<void*>(data))), size_(size) {}

    uint64_t Size() const { return size_; }
    uint8_t* At(uint64_t offset) const { return data_ + offset; }
    bool Contains(uint64_t offset, uint64_t length) const {
        return offset <= size_ && length <= size_ - offset;
    }
    void Require(uint64_t offset, uint64_t length, const char* what) const;

    uint16_t Read16(uint64_t offset, const char* what) const;
    uint32_t Read32(uint64_t offset, const char* what) const;
    uint64_t Read64(uint64_t offset, const char* what) const;
    // A NUL-terminated string whose terminator lies inside the range.
    std::string ReadString(uint64_t offset, const char* what) const;

    void Write16(uint64_t offset, uint16_t value, const char* what) const;
    void Write32(uint64_t offset, uint32_t value, const char* what) const;
    void Write64(uint64_t offset, uint64_t value, const char* what) const;

private:
    uint8_t* data_;
    uint64_t size_;
};

struct TSectionHeader {
    std::string Name;
    uint32_t VirtualSize = 0;
    uint32_t VirtualAddress = 0;
    uint32_t SizeOfRawData = 0;
    uint32_t PointerToRawData = 0;
};

struct TDataDirectory {
    uint32_t Rva = 0;
    uint32_t Size = 0;
};

struct TImageHeaders {
    TImageFormat Format = ifPe32;
    uint16_t Machine = 0;
    uint32_t NtHeadersOffset = 0;
    uint32_t AddressOfEntryPoint = 0;
    uint64_t ImageBase = 0;
    uint32_t SizeOfImage = 0;
    uint32_t SizeOfHeaders = 0;
    TDataDirectory Directories[PE::DirectoryCount];
    std::vector<TSectionHeader> Sections;

    bool IsPe32Plus() const { return Format == ifPe32Plus; }
    uint32_t PointerSize() const { return IsPe32Plus() ? 8 : 4; }
    const TDataDirectory& Directory(PE::Directory index) const { return Directories[index]; }
    // Difference between an actual base and the preferred one, in the format's width.
    uint64_t DeltaFor(uint64_t actualBase) const;
};

// Headers of a DLL file image: signatures, machine, magic, section table and every section's
// raw data are checked against the file.
TImageHeaders ReadFileHeaders(const TImageBytes& file, TImageFormats accepted);

// The same for a file of fileSize bytes of which only the start is at hand: headerRegion
// holds at least SizeOfHeaders bytes, or the whole file when that is shorter.
TImageHeaders ReadFileHeaders(const TImageBytes& headerRegion, uint64_t fileSize, TImageFormats accepted);

// Reads count bytes at a file offset into destination, or raises.
using TFileReader = std::function<void(uint64_t offset, void* destination, uint64_t count)>;

// The start of a file of fileSize bytes that holds its headers (SizeOfHeaders, at least the
// fixed headers; never more than the file), read through read.
std::vector<uint8_t> ReadHeaderRegion(const TFileReader& read, uint64_t fileSize);

// Headers of an image that is already mapped (by this loader or by the system). Only the
// first page is trusted to exist until SizeOfImage is known; returns the image's bytes.
TImageHeaders ReadMappedHeaders(const void* image, TImageFormats accepted, TImageBytes& bytes);

// Lays the file out in the image block (SizeOfImage bytes): headers, then each section,
// zero-filled to its VirtualSize with min(VirtualSize, SizeOfRawData) bytes copied.
void CopyHeadersAndSections(const TImageBytes& file, const TImageHeaders& headers,
                            const TImageBytes& image);

// The same with the headers taken from the header region and each section's raw data read
// through read straight into its place in the image: every byte of the file is read once.
void LayOutImage(const TImageBytes& headerRegion, const TFileReader& read, const TImageHeaders& headers,
                 const TImageBytes& image);

bool HasRelocations(const TImageHeaders& headers);

// Applies the base relocations for the given delta. HIGHLOW, DIR64, HIGH and LOW are
// applied, ABSOLUTE skipped; any other type raises.
void ApplyRelocations(const TImageBytes& image, const TImageHeaders& headers, uint64_t delta);

struct TImportThunk {
    bool ByOrdinal = false;
    uint16_t Ordinal = 0;
    std::string Name;       // empty for an import by ordinal
    uint32_t SlotRva = 0;   // the import address table entry that receives the address
};

struct TImportDescriptor {
    std::string LibraryName;   // as stored
    std::vector<TImportThunk> Thunks;
};

// The import descriptors up to the one whose Name is 0. Names come from OriginalFirstThunk
// when the descriptor's TimeDateStamp is non-zero, otherwise from FirstThunk (which holds
// the same entries until it is bound).
std::vector<TImportDescriptor> ReadImports(const TImageBytes& image, const TImageHeaders& headers);

// Writes one import address table entry in the format's width.
void WriteImportSlot(const TImageBytes& image, const TImageHeaders& headers, uint32_t slotRva,
                     uint64_t address);

struct TExportEntry {
    enum Kind { NotFound, Code, Forwarder } Kind = NotFound;
    uint32_t Rva = 0;
    std::string ForwarderText;   // "LIB.Func" or "LIB.#ordinal"
};

// Exact, case-sensitive lookup of an exported name. An address inside the export directory
// is a forwarder, reported with its text.
TExportEntry FindExportEntry(const TImageBytes& image, const TImageHeaders& headers,
                             const char* name);

// The export with that ordinal (the directory's Base counts as the first), same reporting.
TExportEntry FindExportOrdinal(const TImageBytes& image, const TImageHeaders& headers,
                               uint32_t ordinal);

// The module's own name as its export directory records it ("" without one).
std::string ReadExportModuleName(const TImageBytes& image, const TImageHeaders& headers);

// RVAs of the TLS callbacks of a relocated image mapped at actualBase, in call order.
std::vector<uint32_t> ReadTlsCallbacks(const TImageBytes& image, const TImageHeaders& headers,
                                       uint64_t actualBase);

// The static thread-local data template of the TLS directory, located in an image mapped at
// base (the preferred base before relocation). A loader that cannot give each thread its
// copy refuses a module whose code would index the per-thread array with it.
struct TTlsTemplate {
    uint64_t RawSize = 0;     // EndAddressOfRawData - StartAddressOfRawData
    uint32_t ZeroFill = 0;    // SizeOfZeroFill
    bool RawIsZero = true;    // every byte of the raw data is 0
    uint64_t TotalSize() const { return RawSize + ZeroFill; }
};
TTlsTemplate ReadTlsTemplate(const TImageBytes& image, const TImageHeaders& headers, uint64_t base);

// The x64 exception directory (RUNTIME_FUNCTION entries): RVA and entry count, count 0 when
// there is none.
struct TFunctionTable {
    uint32_t Rva = 0;
    uint32_t Count = 0;
};
TFunctionTable ReadFunctionTable(const TImageBytes& image, const TImageHeaders& headers);
