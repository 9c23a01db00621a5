// The Windows streams: over file handles, files and module resources, and the file methods
// of TMemoryStream.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "framework/Streams.h"

// --- THandleStream ---------------------------------------------------------------------

void THandleStream::SetSize(int32_t newSize) {
    // -1 is also the failure answer of Seek, so it cannot be told apart below.
    if (newSize < 0) throw EStreamError(ErrorText::InvalidStreamSize);
    const int32_t position = Position();
    if (Seek(newSize, soFromBeginning) != newSize || !SetEndOfFile(handle_)) {
        Seek(position, soFromBeginning);
        throw EStreamError(ErrorText::SetSizeFailed);
    }
    if (position < newSize) Seek(position, soFromBeginning);
}

int32_t THandleStream::Read(void* buffer, int32_t count) {
    DWORD done = 0;
    if (count <= 0 || !ReadFile(handle_, buffer, static_cast<DWORD>(count), &done, nullptr))
        return 0;
    return static_cast<int32_t>(done);
}

int32_t THandleStream::Write(const void* buffer, int32_t count) {
    DWORD done = 0;
    if (count <= 0 || !WriteFile(handle_, buffer, static_cast<DWORD>(count), &done, nullptr))
        return 0;
    return static_cast<int32_t>(done);
}

int32_t THandleStream::Seek(int32_t offset, uint16_t origin) {
    // INVALID_SET_FILE_POINTER reads as -1, the failure answer of this method.
    return static_cast<int32_t>(SetFilePointer(handle_, offset, nullptr, origin));
}

// --- TFileStream -----------------------------------------------------------------------

namespace {

// The share bits of a mode (fmShare*) as FILE_SHARE_* flags; compatibility mode shares
// nothing, like exclusive mode.
DWORD ShareFlags(uint16_t mode) {
    switch (mode & 0x00F0) {
        case fmShareCompat:
        case fmShareExclusive: return 0;
        case fmShareDenyWrite: return FILE_SHARE_READ;
        case fmShareDenyRead: return FILE_SHARE_WRITE;
        case fmShareDenyNone: return FILE_SHARE_READ | FILE_SHARE_WRITE;
        default: throw EStreamError(ErrorText::InvalidFileMode);
    }
}

DWORD AccessFlags(uint16_t mode) {
    if (mode & 0xFF00) throw EStreamError(ErrorText::InvalidFileMode);
    switch (mode & 0x000F) {
        case fmOpenRead: return GENERIC_READ;
        case fmOpenWrite: return GENERIC_WRITE;
        case fmOpenReadWrite: return GENERIC_READ | GENERIC_WRITE;
        default: throw EStreamError(ErrorText::InvalidFileMode);
    }
}

}  // namespace

TFileStream::TFileStream(const std::string& fileName, uint16_t mode)
    : THandleStream(INVALID_HANDLE_VALUE), fileName_(fileName) {
    const bool create = (mode & fmCreate) == fmCreate;
    const DWORD share = ShareFlags(mode);
    const DWORD access = create ? GENERIC_READ | GENERIC_WRITE : AccessFlags(mode);
    handle_ = CreateFileA(fileName.c_str(), access, share, nullptr,
                          create ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
        if (create) throw EFCreateError(ErrorText::Format(ErrorText::CannotCreateFile, fileName));
        throw EFOpenError(ErrorText::Format(ErrorText::CannotOpenFile, fileName));
    }
}

TFileStream::~TFileStream() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

// --- TResourceStream -------------------------------------------------------------------

TResourceStream::TResourceStream(void* instance, const char* name, const char* type) {
    Initialize(instance, name, type);
}

TResourceStream::TResourceStream(void* instance, int id, const char* type) {
    // Only 16-bit identifiers exist; a larger one would silently name another resource.
    if (id < 0 || id > 0xFFFF)
        throw EResNotFound(ErrorText::Format(ErrorText::ResourceNotFound, std::to_string(id)));
    Initialize(instance, MAKEINTRESOURCEA(id), type);
}

void TResourceStream::Initialize(void* instance, const char* name, const char* type) {
    auto module = static_cast<HMODULE>(instance);
    HRSRC info = FindResourceA(module, name, type);
    HGLOBAL loaded = info ? LoadResource(module, info) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) {
        const std::string shown = IS_INTRESOURCE(name)
            ? std::to_string(reinterpret_cast<uintptr_t>(name))
            : std::string(name);
        throw EResNotFound(ErrorText::Format(ErrorText::ResourceNotFound, shown));
    }
    // Resources stay mapped as long as their module; there is nothing to free.
    data_ = static_cast<const char*>(data);
    size_ = static_cast<int32_t>(SizeofResource(module, info));
}

void TResourceStream::SetSize(int32_t) { throw EStreamError(ErrorText::ResourceStreamReadOnly); }

int32_t TResourceStream::Read(void* buffer, int32_t count) {
    if (count <= 0 || position_ >= size_) return 0;
    const int32_t n = std::min(count, size_ - position_);
    std::memcpy(buffer, data_ + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int32_t TResourceStream::Write(const void*, int32_t) {
    throw EStreamError(ErrorText::ResourceStreamReadOnly);
}

int32_t TResourceStream::Seek(int32_t offset, uint16_t origin) {
    position_ = ResolveSeek(position_, size_, offset, origin);
    return position_;
}

// --- TMemoryStream files ---------------------------------------------------------------

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
    TFileStream file(fileName, fmCreate);
    SaveToStream(file);
}
