#pragma once

// Maps a DLL from its file image without the system's module loader: one executable block,
// relocated, imports bound (through an overridable resolver first), TLS callbacks and the
// entry point run; exports found by name; everything undone when the loader is destroyed.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FlashPlayerControl/loader/ImageResources.h"
#include "FlashPlayerControl/loader/LoaderPlatform.h"
#include "FlashPlayerControl/loader/PEImage.h"
#include "framework/Object.h"
#include "framework/Streams.h"

// A load that failed for a reason other than the image's format: no memory for the image
// block, a function table the system would not take.
class EModuleLoadError : public Exception { using Exception::Exception; };

// One import bound by name. Slot is the import address table entry that received it (32 bits
// wide in a PE32 image, 64 bits in a PE32+ image).
class TImportedFunction : public TObject {
public:
    TImportedFunction(std::string libraryName, std::string functionName, void* slot)
        : LibraryName(std::move(libraryName)), FunctionName(std::move(functionName)), Slot(slot) {}

    std::string LibraryName;   // file-name part of the descriptor's module name
    std::string FunctionName;
    void* Slot;
};

// The imports bound by name, in binding order; owns its records.
class TImportedFunctions : public TObject {
public:
    void Add(std::string libraryName, std::string functionName, void* slot);
    void Clear() { items_.clear(); }
    size_t Count() const { return items_.size(); }
    const TImportedFunction& operator[](size_t index) const { return *items_[index]; }
    // The first record for that function name, or null.
    const TImportedFunction* Find(const std::string& functionName) const;

private:
    std::vector<std::unique_ptr<TImportedFunction>> items_;
};

class TDLLLoader : public TObject {
public:
#ifdef _WIN32
    TDLLLoader();
#endif
    explicit TDLLLoader(TLoaderPlatform& platform, TImageFormats formats = NativeImageFormats());
    ~TDLLLoader() override;

    // Maps the module whose complete file image the stream holds (read from its beginning to
    // its end). Raises EImageFormatError or another Exception on any fault, after undoing
    // whatever had been done. Called at most once.
    void LoadModule(TStream& stream);

    // Address of the export with exactly that name, or null (also before a completed load).
    // A forwarded export is resolved through the system by its forwarder text.
    void* FindExport(const char* name);

    // Start of the mapped image and the module's instance handle; null until a load completes.
    void* ImageBase() const { return imageBase_; }
    const TImportedFunctions& Imports() const { return imports_; }
    const std::vector<void*>& LoadedLibraries() const { return loadedLibraries_; }

protected:
    // Address to bind for one import, or null to let the system lookup decide. procName is a
    // name or, below 0x10000, an ordinal in the same pointer-sized argument.
    virtual void* ResolveImport(const char* libraryName, const char* procName);

    TLoaderPlatform& Platform() const { return platform_; }

private:
    // Maps the file of fileSize bytes, read through read; wholeFile holds it all when the
    // stream could not seek, and is null otherwise.
    void MapFile(const TImageBytes* wholeFile, uint64_t fileSize, const TFileReader& read);
    static std::vector<uint8_t> ReadRemainingStream(TStream& stream);
    void AllocateImageBlock();
    void RefuseStaticThreadData();
    void RelocateImage();
    void BindImports();
    void RegisterFunctionTable();
    void RunTlsCallbacks(uint32_t reason);
    void CallEntryPoint(uint32_t reason);
    void ReleaseLoadedParts();
    void* ExportAddress(const TExportEntry& entry, int forwardsLeft);
    void* ResolveForwarder(const std::string& forwarderText, int forwardsLeft);
    void* ForwardedToLibrary(const std::string& libraryName);
    TImageBytes ImageBytes() const { return TImageBytes(block_, headers_.SizeOfImage); }

    TLoaderPlatform& platform_;
    TImageFormats formats_;
    TImageHeaders headers_;
    void* block_ = nullptr;             // the image block, set from allocation on
    void* imageBase_ = nullptr;         // set only when the load has completed
    void* functionTable_ = nullptr;     // registered exception directory, if any
    std::vector<uint32_t> tlsCallbacks_;
    std::vector<void*> loadedLibraries_;
    // Loaded by FindExport for forwarded exports: one reference per library, by lower-case name.
    std::map<std::string, void*> forwarderLibraries_;
    TImportedFunctions imports_;
};

// Resource lookup in a mapped image (its base; for a system-mapped module, its handle). The
// type is a 16-bit identifier; the name a 16-bit identifier below 0x10000 or a NUL-terminated
// ANSI name (exact, case-sensitive); the language a 16-bit language identifier. On success
// data points into the image. Raises EImageFormatError only on a malformed image.
bool FindImageResource(TLoaderPlatform& platform, const void* image, uint16_t type,
                       const char* name, uint16_t language, const void*& data, uint32_t& size);
// The same, trying the thread, system default and user default locales, neutral, then 0x0409.
bool FindImageResourceAnyLanguage(TLoaderPlatform& platform, const void* image, uint16_t type,
                                  const char* name, const void*& data, uint32_t& size);
// The packed product version (major.minor.build.revision in bytes 3..0), 0 without one.
uint32_t ReadImageVersion(TLoaderPlatform& platform, const void* image);

#ifdef _WIN32
bool FindImageResource(const void* image, uint16_t type, const char* name, uint16_t language,
                       const void*& data, uint32_t& size);
bool FindImageResourceAnyLanguage(const void* image, uint16_t type, const char* name,
                                  const void*& data, uint32_t& size);
uint32_t ReadImageVersion(const void* image);
#endif
