#include "FlashPlayerControl/loader/DLLLoader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

namespace {

// The images this process's loaders have mapped, with the headers and size each loader read
// from the file. The mapped headers are writable by the module's own code, so resource and
// version lookups in these images never believe them again.
class TMappedImages {
public:
    void Add(const void* base, const TImageHeaders& headers) {
        std::lock_guard<std::mutex> guard(lock_);
        images_[base] = headers;
    }
    void Remove(const void* base) {
        std::lock_guard<std::mutex> guard(lock_);
        images_.erase(base);
    }
    bool Find(const void* base, TImageHeaders& headers) const {
        std::lock_guard<std::mutex> guard(lock_);
        const auto it = images_.find(base);
        if (it == images_.end()) return false;
        headers = it->second;
        return true;
    }

private:
    mutable std::mutex lock_;
    std::map<const void*, TImageHeaders> images_;
};

TMappedImages& MappedImages() {
    static TMappedImages images;
    return images;
}

// The file-name part of an import's module name: everything after its last backslash or colon.
std::string FileNamePart(const std::string& moduleName) {
    const size_t cut = moduleName.find_last_of("\\:");
    return cut == std::string::npos ? moduleName : moduleName.substr(cut + 1);
}

// Library names compare without regard to ASCII letter case, as the system's do.
std::string LowerCase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

const char* OrdinalArgument(uint16_t ordinal) {
    return reinterpret_cast<const char*>(static_cast<uintptr_t>(ordinal));
}

std::string HexAddress(uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

void TImportedFunctions::Add(std::string libraryName, std::string functionName, void* slot) {
    items_.push_back(
        std::make_unique<TImportedFunction>(std::move(libraryName), std::move(functionName), slot));
}

const TImportedFunction* TImportedFunctions::Find(const std::string& functionName) const {
    for (const auto& item : items_)
        if (item->FunctionName == functionName) return item.get();
    return nullptr;
}

#ifdef _WIN32
TDLLLoader::TDLLLoader() : TDLLLoader(SystemLoaderPlatform()) {}
#endif

TDLLLoader::TDLLLoader(TLoaderPlatform& platform, TImageFormats formats)
    : platform_(platform), formats_(formats) {}

TDLLLoader::~TDLLLoader() {
    if (imageBase_ != nullptr) {
        RunTlsCallbacks(PE::DllProcessDetach);
        CallEntryPoint(PE::DllProcessDetach);
    }
    ReleaseLoadedParts();
}

void TDLLLoader::LoadModule(TStream& stream) {
    if (block_ != nullptr) throw EModuleLoadError("The loader already holds a module");
    const int32_t fileSize = stream.Seek(0, soFromEnd);
    if (fileSize < 0) {
        // A stream that cannot seek is read once, in order, and mapped from that copy.
        const std::vector<uint8_t> file = ReadRemainingStream(stream);
        const TImageBytes fileBytes(file.data(), file.size());
        MapFile(&fileBytes, file.size(), [&fileBytes](uint64_t offset, void* destination, uint64_t count) {
            fileBytes.Require(offset, count, "section raw data");
            std::memcpy(destination, fileBytes.At(offset), size_t(count));
        });
        return;
    }
    // Only the headers are held apart; each section goes from the stream into its place in
    // the image. A stream that keeps the file in memory is copied from directly (the reads
    // are checked against fileSize, its size). Any other is read through a small buffer that
    // stays in the cache: a system read straight into fresh pages of the image costs several
    // times a copy into them.
    const uint8_t* memory = static_cast<const uint8_t*>(stream.ContentMemory());
    std::vector<uint8_t> bounce;
    MapFile(nullptr, uint64_t(fileSize), [&](uint64_t offset, void* destination, uint64_t count) {
        if (memory != nullptr) {
            std::memcpy(destination, memory + offset, size_t(count));
            return;
        }
        if (stream.Seek(int32_t(offset), soFromBeginning) != int32_t(offset))
            throw EReadError(ErrorText::StreamRead);
        constexpr uint64_t BounceSize = 256 * 1024;
        if (bounce.empty()) bounce.resize(size_t(BounceSize));
        for (uint64_t done = 0; done < count;) {
            const int32_t chunk = int32_t(std::min(count - done, BounceSize));
            stream.ReadBuffer(bounce.data(), chunk);
            std::memcpy(static_cast<uint8_t*>(destination) + done, bounce.data(), size_t(chunk));
            done += uint64_t(chunk);
        }
    });
}

void TDLLLoader::MapFile(const TImageBytes* wholeFile, uint64_t fileSize, const TFileReader& read) {
    std::vector<uint8_t> headerRegion;
    if (!wholeFile) headerRegion = ReadHeaderRegion(read, fileSize);
    const TImageBytes headerBytes = wholeFile ? *wholeFile : TImageBytes(headerRegion.data(), headerRegion.size());
    headers_ = ReadFileHeaders(headerBytes, fileSize, formats_);
    try {
        AllocateImageBlock();
        LayOutImage(headerBytes, read, headers_, ImageBytes());
        RefuseStaticThreadData();
        RelocateImage();
        BindImports();
        RegisterFunctionTable();
        // The module may look up its own resources from its attach call on.
        MappedImages().Add(block_, headers_);
        RunTlsCallbacks(PE::DllProcessAttach);
        CallEntryPoint(PE::DllProcessAttach);   // its result is deliberately not examined
    } catch (...) {
        ReleaseLoadedParts();
        throw;
    }
    imageBase_ = block_;
}

std::vector<uint8_t> TDLLLoader::ReadRemainingStream(TStream& stream) {
    std::vector<uint8_t> file;
    constexpr size_t Chunk = 64 * 1024;
    for (;;) {
        const size_t had = file.size();
        if (had > size_t(INT32_MAX) - Chunk) throw EReadError(ErrorText::StreamRead);
        file.resize(had + Chunk);
        const int32_t n = stream.Read(file.data() + had, int32_t(Chunk));
        file.resize(had + size_t(std::max(n, 0)));
        if (n <= 0) return file;
    }
}

void TDLLLoader::AllocateImageBlock() {
    // Without relocation information the module can only run at its preferred base, so that
    // is the one place asked for; everything else goes wherever the system puts it.
    const bool relocatable = HasRelocations(headers_);
    void* preferred =
        relocatable ? nullptr : reinterpret_cast<void*>(static_cast<uintptr_t>(headers_.ImageBase));
    block_ = platform_.AllocateImageBlock(headers_.SizeOfImage, preferred);
    const std::string placementError = "The module has no relocation information and cannot be "
                                       "placed at its preferred base " +
                                       HexAddress(headers_.ImageBase);
    if (block_ == nullptr) {
        if (!relocatable) throw EModuleLoadError(placementError);
        throw EModuleLoadError("Cannot allocate " + std::to_string(headers_.SizeOfImage) +
                               " bytes for the module image");
    }
    if (!relocatable && headers_.DeltaFor(reinterpret_cast<uintptr_t>(block_)) != 0)
        throw EModuleLoadError(placementError);
}

void TDLLLoader::RefuseStaticThreadData() {
    // Code that uses static thread-local variables indexes the thread's array of TLS blocks
    // with the module's TLS index; only the system loader can add a block to that array for
    // every thread, so such a module would read another module's slot. The runtime's own
    // start and end markers leave at most one pointer of zeros, which nothing reads.
    const TTlsTemplate tls = ReadTlsTemplate(ImageBytes(), headers_, headers_.ImageBase);
    if (tls.ZeroFill == 0 && tls.RawIsZero && tls.RawSize <= headers_.PointerSize()) return;
    throw EImageFormatError("The module has " + std::to_string(tls.TotalSize()) +
                            " bytes of static thread-local data, which a module mapped "
                            "outside the system loader cannot have");
}

void TDLLLoader::RelocateImage() {
    ApplyRelocations(ImageBytes(), headers_, headers_.DeltaFor(reinterpret_cast<uintptr_t>(block_)));
}

void TDLLLoader::BindImports() {
    const TImageBytes image = ImageBytes();
    for (const TImportDescriptor& descriptor : ReadImports(image, headers_)) {
        // A library that is missing is no error: its functions bind to null.
        void* library = platform_.LoadDependency(descriptor.LibraryName.c_str());
        if (library != nullptr) loadedLibraries_.push_back(library);
        const std::string fileName = FileNamePart(descriptor.LibraryName);
        for (const TImportThunk& thunk : descriptor.Thunks) {
            const char* procName = thunk.ByOrdinal ? OrdinalArgument(thunk.Ordinal) : thunk.Name.c_str();
            if (!thunk.ByOrdinal) imports_.Add(fileName, thunk.Name, image.At(thunk.SlotRva));
            void* address = ResolveImport(descriptor.LibraryName.c_str(), procName);
            if (address == nullptr && library != nullptr)
                address = platform_.FindProcedure(library, procName);
            WriteImportSlot(image, headers_, thunk.SlotRva, reinterpret_cast<uintptr_t>(address));
        }
    }
}

void TDLLLoader::RegisterFunctionTable() {
    // x64 unwinding looks functions up through the system; without this the first exception
    // inside the module cannot be dispatched.
    const TFunctionTable table = ReadFunctionTable(ImageBytes(), headers_);
    if (table.Count == 0) return;
    void* entries = ImageBytes().At(table.Rva);
    if (!platform_.AddFunctionTable(entries, table.Count, block_))
        throw EModuleLoadError("The system did not accept the module's function table");
    functionTable_ = entries;
}

void TDLLLoader::RunTlsCallbacks(uint32_t reason) {
    if (reason == PE::DllProcessAttach)
        tlsCallbacks_ = ReadTlsCallbacks(ImageBytes(), headers_, reinterpret_cast<uintptr_t>(block_));
    for (uint32_t rva : tlsCallbacks_) platform_.CallTlsCallback(ImageBytes().At(rva), block_, reason);
}

void TDLLLoader::CallEntryPoint(uint32_t reason) {
    const uint32_t rva = headers_.AddressOfEntryPoint;   // checked against SizeOfImage
    if (rva == 0) return;
    platform_.CallEntryPoint(ImageBytes().At(rva), block_, reason);
}

void TDLLLoader::ReleaseLoadedParts() {
    imports_.Clear();
    tlsCallbacks_.clear();
    if (functionTable_ != nullptr) platform_.DeleteFunctionTable(functionTable_);
    functionTable_ = nullptr;
    for (void* library : loadedLibraries_) platform_.ReleaseDependency(library);
    loadedLibraries_.clear();
    for (const auto& library : forwarderLibraries_) platform_.ReleaseDependency(library.second);
    forwarderLibraries_.clear();
    if (block_ != nullptr) {
        MappedImages().Remove(block_);
        platform_.ReleaseImageBlock(block_);
    }
    block_ = nullptr;
    imageBase_ = nullptr;
}

void* TDLLLoader::ResolveImport(const char*, const char*) { return nullptr; }

void* TDLLLoader::FindExport(const char* name) {
    if (imageBase_ == nullptr) return nullptr;
    constexpr int MaxForwards = 16;   // a chain of forwarders inside the module ends somewhere
    return ExportAddress(FindExportEntry(ImageBytes(), headers_, name), MaxForwards);
}

void* TDLLLoader::ExportAddress(const TExportEntry& entry, int forwardsLeft) {
    switch (entry.Kind) {
    case TExportEntry::Code:
        return ImageBytes().At(entry.Rva);
    case TExportEntry::Forwarder:
        return forwardsLeft > 0 ? ResolveForwarder(entry.ForwarderText, forwardsLeft - 1) : nullptr;
    default:
        return nullptr;
    }
}

void* TDLLLoader::ResolveForwarder(const std::string& forwarderText, int forwardsLeft) {
    // "LIB.Func" or "LIB.#ordinal"; the library is named without its extension.
    const size_t dot = forwarderText.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == forwarderText.size()) return nullptr;
    const std::string library = forwarderText.substr(0, dot);
    const std::string function = forwarderText.substr(dot + 1);
    const char* procName = function.c_str();
    unsigned long ordinal = 0;
    if (function[0] == '#') {
        if (function.size() == 1 || function.size() > 6 ||
            function.find_first_not_of("0123456789", 1) != std::string::npos)
            return nullptr;
        ordinal = std::stoul(function.substr(1));
        if (ordinal == 0 || ordinal > 0xFFFF) return nullptr;
        procName = OrdinalArgument(uint16_t(ordinal));
    }
    // A forwarder to the module itself is answered from its own exports: a file of the same
    // name on disk is a different module.
    std::string ownName = ReadExportModuleName(ImageBytes(), headers_);
    ownName = ownName.substr(0, ownName.rfind('.'));
    if (!ownName.empty() && LowerCase(ownName) == LowerCase(library)) {
        const TExportEntry entry = ordinal != 0
                                       ? FindExportOrdinal(ImageBytes(), headers_, uint32_t(ordinal))
                                       : FindExportEntry(ImageBytes(), headers_, procName);
        return ExportAddress(entry, forwardsLeft);
    }
    void* handle = ForwardedToLibrary(library + ".dll");
    return handle == nullptr ? nullptr : platform_.FindProcedure(handle, procName);
}

void* TDLLLoader::ForwardedToLibrary(const std::string& libraryName) {
    const std::string key = LowerCase(libraryName);
    const auto known = forwarderLibraries_.find(key);
    if (known != forwarderLibraries_.end()) return known->second;
    void* handle = platform_.LoadDependency(libraryName.c_str());
    if (handle != nullptr) forwarderLibraries_.emplace(key, handle);
    return handle;
}

bool FindImageResource(TLoaderPlatform& platform, const void* image, uint16_t type,
                       const char* name, uint16_t language, const void*& data, uint32_t& size) {
    TImageBytes bytes(nullptr, 0);
    TImageHeaders headers;
    if (MappedImages().Find(image, headers))
        bytes = TImageBytes(image, headers.SizeOfImage);   // the size of the block allocated
    else
        headers = ReadMappedHeaders(image, AnyImageFormat, bytes);
    TResourceData found;
    const bool ok = FindResourceEntry(
        bytes, headers, type, name, language,
        [&platform](const std::u16string& text) { return platform.ResourceNameToAnsi(text); },
        found);
    if (ok) {
        data = found.Data;
        size = found.Size;
    }
    return ok;
}

bool FindImageResourceAnyLanguage(TLoaderPlatform& platform, const void* image, uint16_t type,
                                  const char* name, const void*& data, uint32_t& size) {
    using LocaleQuery = uint32_t (TLoaderPlatform::*)();
    const LocaleQuery queries[] = {&TLoaderPlatform::ThreadLocale,
                                   &TLoaderPlatform::SystemDefaultLocale,
                                   &TLoaderPlatform::UserDefaultLocale};
    // A locale identifier names its language in its low 16 bits.
    for (LocaleQuery query : queries)
        if (FindImageResource(platform, image, type, name, uint16_t((platform.*query)()), data, size))
            return true;
    constexpr uint16_t Neutral = 0, UsEnglish = 0x0409;
    return FindImageResource(platform, image, type, name, Neutral, data, size) ||
           FindImageResource(platform, image, type, name, UsEnglish, data, size);
}

uint32_t ReadImageVersion(TLoaderPlatform& platform, const void* image) {
    constexpr uint16_t VersionType = 16;
    const void* data = nullptr;
    uint32_t size = 0;
    if (!FindImageResourceAnyLanguage(platform, image, VersionType, OrdinalArgument(1), data, size))
        return 0;
    return ReadPackedProductVersion(data, size);
}

#ifdef _WIN32
bool FindImageResource(const void* image, uint16_t type, const char* name, uint16_t language,
                       const void*& data, uint32_t& size) {
    return FindImageResource(SystemLoaderPlatform(), image, type, name, language, data, size);
}

bool FindImageResourceAnyLanguage(const void* image, uint16_t type, const char* name,
                                  const void*& data, uint32_t& size) {
    return FindImageResourceAnyLanguage(SystemLoaderPlatform(), image, type, name, data, size);
}

uint32_t ReadImageVersion(const void* image) {
    return ReadImageVersion(SystemLoaderPlatform(), image);
}
#endif
