#pragma once

#include <cstdint>
#include <exception>
#include <string>

// The framework's error classes. Every error carries a message text; the message is what
// the default error handler shows and what tests compare.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }

    std::string Message;
};

// Stream errors: a failed open ("Cannot open file %s"), short reads and writes.
class EStreamError : public Exception { using Exception::Exception; };
class EFOpenError : public EStreamError { using EStreamError::EStreamError; };
class EFCreateError : public EStreamError { using EStreamError::EStreamError; };
class EReadError : public EStreamError { using EStreamError::EStreamError; };
class EWriteError : public EStreamError { using EStreamError::EStreamError; };

// A resource that a resource stream could not find ("Resource %s not found").
class EResNotFound : public Exception { using Exception::Exception; };

// An OLE/COM failure carrying the HRESULT that caused it.
class EOleError : public Exception {
public:
    EOleError(std::string message, int32_t errorCode = 0)
        : Exception(std::move(message)), ErrorCode(errorCode) {}
    int32_t ErrorCode;
};

// Raises EOleError for a failure HRESULT (negative value), with the system's message text
// for it; does nothing for success codes.
void OleCheck(int32_t result);

// The message texts of the framework's errors, so that callers and tests share one source.
namespace ErrorText {
constexpr const char* CannotOpenFile = "Cannot open file %s";
constexpr const char* CannotCreateFile = "Cannot create file %s";
constexpr const char* ResourceNotFound = "Resource %s not found";
constexpr const char* StreamRead = "Stream read error";
constexpr const char* StreamWrite = "Stream write error";
constexpr const char* StreamPositionOutOfRange = "Stream position out of range";
constexpr const char* InvalidSeekOrigin = "Invalid stream seek origin";
constexpr const char* InvalidStreamSize = "Invalid stream size";
constexpr const char* OutOfStreamMemory = "Out of memory while expanding memory stream";
constexpr const char* InvalidFileMode = "Invalid file stream mode";
constexpr const char* SetSizeFailed = "Stream size could not be changed";
constexpr const char* ResourceStreamReadOnly = "Cannot write to a read-only resource stream";
// Replaces the first "%s" of pattern with argument.
std::string Format(const char* pattern, const std::string& argument);
}
