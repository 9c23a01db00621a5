#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "refplayer/core/ByteReader.h"

namespace refplayer {

// A value of the AMF0 encoding that FLV script tags use (onMetaData). Only as much of it as
// reading and skipping needs: strings stay in their UTF-8 bytes.
struct AmfValue {
    enum class Type { Number, Boolean, String, Object, Null, Undefined, Reference, EcmaArray, StrictArray, Date };

    Type type = Type::Undefined;
    double number = 0; // Number, Date (milliseconds), Reference (index)
    bool boolean = false;
    std::string string;
    std::vector<std::pair<std::string, AmfValue>> properties; // Object, EcmaArray
    std::vector<AmfValue> elements;                             // StrictArray

    // The property of an Object or EcmaArray with that name, or null.
    const AmfValue* Find(const std::string& name) const;
};

// Reads one value; unknown type markers and nesting deeper than the player accepts raise
// FormatError, as does a value running past the end of the reader.
AmfValue ReadAmf0(ByteReader& reader);

} // namespace refplayer
