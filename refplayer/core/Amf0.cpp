#include "refplayer/core/Amf0.h"

#include "refplayer/core/FormatError.h"

namespace refplayer {

namespace {

constexpr int kMaxDepth = 64;
constexpr uint8_t kObjectEnd = 9;

std::string ReadShortString(ByteReader& reader) { return reader.Bytes(reader.U16BE()); }

AmfValue ReadValue(ByteReader& reader, int depth);

// Name/value pairs up to the empty name followed by the object-end marker.
void ReadProperties(ByteReader& reader, AmfValue& value, int depth) {
    for (;;) {
        std::string name = ReadShortString(reader);
        if (name.empty() && reader.PeekU8() == kObjectEnd) {
            reader.Skip(1);
            return;
        }
        AmfValue property = ReadValue(reader, depth + 1);
        value.properties.emplace_back(std::move(name), std::move(property));
    }
}

AmfValue ReadValue(ByteReader& reader, int depth) {
    if (depth > kMaxDepth) throw FormatError("AMF0 value is nested too deeply");
    AmfValue value;
    uint8_t marker = reader.U8();
    switch (marker) {
    case 0: value.type = AmfValue::Type::Number; value.number = reader.DoubleBE(); break;
    case 1: value.type = AmfValue::Type::Boolean; value.boolean = reader.U8() != 0; break;
    case 2: value.type = AmfValue::Type::String; value.string = ReadShortString(reader); break;
    case 3: value.type = AmfValue::Type::Object; ReadProperties(reader, value, depth); break;
    case 5: value.type = AmfValue::Type::Null; break;
    case 6: value.type = AmfValue::Type::Undefined; break;
    case 7: value.type = AmfValue::Type::Reference; value.number = reader.U16BE(); break;
    case 8:
        value.type = AmfValue::Type::EcmaArray;
        reader.U32BE(); // the count is only a hint; the end marker closes the array
        ReadProperties(reader, value, depth);
        break;
    case 10: {
        value.type = AmfValue::Type::StrictArray;
        uint32_t count = reader.U32BE();
        // Every element takes at least one byte, so a count beyond the data is malformed.
        if (count > reader.Remaining()) throw FormatError("AMF0 strict array is truncated");
        for (uint32_t i = 0; i < count; i++) value.elements.push_back(ReadValue(reader, depth + 1));
        break;
    }
    case 11:
        value.type = AmfValue::Type::Date;
        value.number = reader.DoubleBE();
        reader.Skip(2); // time zone, unused
        break;
    case 12: value.type = AmfValue::Type::String; value.string = reader.Bytes(reader.U32BE()); break;
    default: throw FormatError("AMF0 value has unknown type " + std::to_string(marker));
    }
    return value;
}

} // namespace

const AmfValue* AmfValue::Find(const std::string& name) const {
    for (const auto& property : properties)
        if (property.first == name) return &property.second;
    return nullptr;
}

AmfValue ReadAmf0(ByteReader& reader) { return ReadValue(reader, 0); }

} // namespace refplayer
