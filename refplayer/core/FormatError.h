#pragma once

#include <stdexcept>
#include <string>

namespace refplayer {

// Raised for data the player cannot accept (malformed or unsupported movies, videos, XML).
// The message names what was wrong; the COM layer turns it into a failure result.
class FormatError : public std::runtime_error {
public:
    explicit FormatError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace refplayer
