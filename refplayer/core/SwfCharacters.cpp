#include "refplayer/core/SwfCharacters.h"

#include <algorithm>
#include <cctype>

#include "refplayer/core/ByteReader.h"
#include "refplayer/core/Inflater.h"
#include "refplayer/core/SwfParser.h"

namespace refplayer {

namespace {

// Bitmaps larger than this (in pixels) are refused rather than allocated.
constexpr size_t MaxBitmapPixels = size_t(8192) * 8192;

uint32_t ClampPremultiplied(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return a << 24 | std::min(r, a) << 16 | std::min(g, a) << 8 | std::min(b, a);
}

// JPEG data may start with an erroneous EOI+SOI pair, and tables and image are joined by
// dropping the tables' EOI and the image's SOI.
std::vector<uint8_t> CleanJpeg(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    if (size >= 4 && data[0] == 0xFF && data[1] == 0xD9 && data[2] == 0xFF && data[3] == 0xD8) {
        data += 4;
        size -= 4;
    }
    out.assign(data, data + size);
    return out;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

bool CharacterDictionary::IsDefinition(uint16_t code) {
    switch (code) {
    case SwfTagDefineShape: case SwfTagDefineShape2: case SwfTagDefineShape3: case SwfTagDefineShape4:
    case SwfTagDefineSprite: case SwfTagDefineBits: case SwfTagJpegTables: case SwfTagDefineBitsJpeg2:
    case SwfTagDefineBitsJpeg3: case SwfTagDefineBitsLossless: case SwfTagDefineBitsLossless2:
    case SwfTagDefineButton: case SwfTagDefineButton2: case SwfTagDefineFont: case SwfTagDefineFont2:
    case SwfTagDefineFont3: case SwfTagDefineText: case SwfTagDefineText2: case SwfTagDefineEditText:
    case SwfTagDefineSound: case SwfTagDefineVideoStream: case SwfTagDefineButtonSound:
    case SwfTagDefineMorphShape: case SwfTagDefineMorphShape2:
        return true;
    default:
        return false;
    }
}

void CharacterDictionary::Define(const SwfTag& tag) {
    const uint8_t* body = tag.body.data();
    size_t size = tag.body.size();
    uint16_t id = 0;
    if (tag.code == SwfTagDefineButtonSound) {
        DefineButtonSounds(tag);
        return;
    }
    if (tag.code != SwfTagJpegTables) {
        if (size < 2) throw FormatError("definition tag " + std::to_string(tag.code) + " is truncated");
        id = uint16_t(body[0] | body[1] << 8);
        if (characters_.count(id)) return;
    }
    SwfCharacter character;
    switch (tag.code) {
    case SwfTagDefineShape: case SwfTagDefineShape2: case SwfTagDefineShape3: case SwfTagDefineShape4:
        character.kind = SwfCharacter::Kind::Shape;
        character.shape = std::make_shared<SwfShape>(ParseDefineShape(tag.code, body, size, &id));
        break;
    case SwfTagDefineMorphShape: case SwfTagDefineMorphShape2:
        character.kind = SwfCharacter::Kind::Morph;
        character.morph = std::make_shared<SwfMorphShape>(ParseMorphShape(tag.code, body, size, &id));
        break;
    case SwfTagDefineSprite:
        character.kind = SwfCharacter::Kind::Sprite;
        character.sprite = std::make_shared<SwfSprite>(ParseSprite(body, size, &id));
        break;
    case SwfTagDefineButton: case SwfTagDefineButton2:
        character.kind = SwfCharacter::Kind::Button;
        character.button = std::make_shared<SwfButton>(ParseButton(tag.code, body, size, &id));
        break;
    case SwfTagDefineFont: case SwfTagDefineFont2: case SwfTagDefineFont3:
        character.kind = SwfCharacter::Kind::Font;
        character.font = std::make_shared<SwfFont>(ParseFont(tag.code, body, size, &id));
        break;
    case SwfTagDefineText: case SwfTagDefineText2:
        character.kind = SwfCharacter::Kind::Text;
        character.text = std::make_shared<SwfText>(ParseText(tag.code, body, size, &id));
        break;
    case SwfTagDefineEditText:
        character.kind = SwfCharacter::Kind::EditText;
        character.editText = std::make_shared<SwfEditText>(ParseEditText(body, size, &id));
        break;
    case SwfTagDefineSound:
        character.kind = SwfCharacter::Kind::Sound;
        character.sound = std::make_shared<SwfSound>(ParseSound(body, size, &id));
        break;
    case SwfTagDefineVideoStream: {
        // id, frame count, width, height, flags (bit 0 smoothing), codec; frames embedded in the
        // movie are not played, the object shows what a NetStream attaches.
        ByteReader reader(body, size, "DefineVideoStream tag");
        reader.U16LE();
        reader.U16LE();
        auto video = std::make_shared<SwfVideo>();
        video->width = reader.U16LE();
        video->height = reader.U16LE();
        video->smoothing = reader.U8() & 1;
        reader.U8();
        character.kind = SwfCharacter::Kind::Video;
        character.video = std::move(video);
        break;
    }
    case SwfTagJpegTables:
        jpegTables_ = CleanJpeg(body, size);
        return;
    case SwfTagDefineBits: case SwfTagDefineBitsJpeg2: case SwfTagDefineBitsJpeg3:
    case SwfTagDefineBitsLossless: case SwfTagDefineBitsLossless2:
        DefineBitmap(tag);
        return;
    default:
        return;
    }
    characters_[id] = std::move(character);
}

SwfSoundInfo ReadSoundInfo(ByteReader& reader) {
    SwfSoundInfo info;
    uint8_t flags = reader.U8();
    info.stop = flags & 0x20;
    info.noMultiple = flags & 0x10;
    if (flags & 0x01) reader.U32LE();  // in point
    if (flags & 0x02) reader.U32LE();  // out point
    if (flags & 0x04) info.loops = std::max(1, int(reader.U16LE()));
    if (flags & 0x08) reader.Take(size_t(reader.U8()) * 8);  // envelope points: not applied
    return info;
}

void CharacterDictionary::DefineButtonSounds(const SwfTag& tag) {
    ByteReader reader(tag.body.data(), tag.body.size(), "DefineButtonSound tag");
    auto it = characters_.find(reader.U16LE());
    SwfButtonSound sounds[4];
    for (SwfButtonSound& sound : sounds) {
        sound.soundId = reader.U16LE();
        if (sound.soundId) sound.info = ReadSoundInfo(reader);
    }
    // Sounds of a button that is not defined have nothing to sound on.
    if (it == characters_.end() || !it->second.button) return;
    std::copy(std::begin(sounds), std::end(sounds), it->second.button->sounds);
}

void CharacterDictionary::DefineBitmap(const SwfTag& tag) {
    ByteReader reader(tag.body.data(), tag.body.size(), "bitmap definition");
    uint16_t id = reader.U16LE();
    SwfBitmap bitmap;
    if (tag.code == SwfTagDefineBitsLossless || tag.code == SwfTagDefineBitsLossless2) {
        bitmap = DecodeLosslessBitmap(tag.body.data(), tag.body.size(), tag.code == SwfTagDefineBitsLossless2, nullptr);
    } else {
        size_t alphaOffset = 0;
        bool hasAlpha = tag.code == SwfTagDefineBitsJpeg3;
        if (hasAlpha) alphaOffset = reader.U32LE();
        size_t imageSize = hasAlpha ? alphaOffset : reader.Remaining();
        const uint8_t* image = reader.Take(imageSize);
        std::vector<uint8_t> jpeg;
        if (tag.code == SwfTagDefineBits) {
            // The shared tables, then the image without its start marker.
            std::vector<uint8_t> own = CleanJpeg(image, imageSize);
            jpeg = jpegTables_;
            if (jpeg.size() >= 2 && jpeg[jpeg.size() - 2] == 0xFF && jpeg.back() == 0xD9) jpeg.resize(jpeg.size() - 2);
            size_t skip = own.size() >= 2 && own[0] == 0xFF && own[1] == 0xD8 && !jpeg.empty() ? 2 : 0;
            jpeg.insert(jpeg.end(), own.begin() + static_cast<std::ptrdiff_t>(skip), own.end());
        } else {
            jpeg = CleanJpeg(image, imageSize);
        }
        // Without a decoder the bitmap stays empty and its fills draw nothing.
        if (decoder_ && !jpeg.empty() && !decoder_->Decode(jpeg.data(), jpeg.size(), bitmap)) bitmap = SwfBitmap();
        if (bitmap.pixels.size() != size_t(bitmap.width) * size_t(bitmap.height)) bitmap = SwfBitmap();
        if (hasAlpha && !bitmap.pixels.empty() && !reader.AtEnd()) {
            size_t alphaSize = reader.Remaining();
            const uint8_t* alphaData = reader.Take(alphaSize);
            std::vector<uint8_t> alpha = ZlibInflater::InflateAll(alphaData, alphaSize, bitmap.pixels.size());
            if (alpha.size() == bitmap.pixels.size()) {
                for (size_t i = 0; i < alpha.size(); i++) {
                    uint32_t c = bitmap.pixels[i], a = alpha[i];
                    bitmap.pixels[i] = ClampPremultiplied(a, (c >> 16 & 0xFF) * a / 255, (c >> 8 & 0xFF) * a / 255,
                                                          (c & 0xFF) * a / 255);
                }
            }
        }
    }
    SwfCharacter character;
    character.kind = SwfCharacter::Kind::Bitmap;
    character.bitmap = std::make_shared<SwfBitmap>(std::move(bitmap));
    characters_[id] = std::move(character);
}

SwfBitmap DecodeLosslessBitmap(const uint8_t* body, size_t size, bool withAlpha, uint16_t* id) {
    ByteReader reader(body, size, "DefineBitsLossless tag");
    uint16_t bitmapId = reader.U16LE();
    uint8_t format = reader.U8();
    int width = reader.U16LE(), height = reader.U16LE();
    if (format != 3 && format != 4 && format != 5) throw FormatError("DefineBitsLossless has an unknown format");
    if (size_t(width) * size_t(height) > MaxBitmapPixels) throw FormatError("bitmap is larger than the player accepts");
    size_t tableSize = format == 3 ? size_t(reader.U8()) + 1 : 0;
    size_t colourBytes = withAlpha ? 4 : 3;
    size_t rowBytes = format == 3 ? (size_t(width) + 3) / 4 * 4 : format == 4 ? (size_t(width) * 2 + 3) / 4 * 4 : size_t(width) * 4;
    size_t expected = tableSize * colourBytes + rowBytes * size_t(height);
    size_t remaining = reader.Remaining();
    std::vector<uint8_t> data = ZlibInflater::InflateAll(reader.Take(remaining), remaining, expected);
    if (data.size() < expected) throw FormatError("DefineBitsLossless data is shorter than its bitmap");
    SwfBitmap bitmap;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.pixels.resize(size_t(width) * size_t(height));
    std::vector<uint32_t> table(tableSize);
    for (size_t i = 0; i < tableSize; i++) {
        const uint8_t* p = &data[i * colourBytes];
        uint32_t a = withAlpha ? p[3] : 255;
        table[i] = ClampPremultiplied(a, p[0], p[1], p[2]);
    }
    const uint8_t* pixels = data.data() + tableSize * colourBytes;
    for (int y = 0; y < height; y++) {
        const uint8_t* row = pixels + size_t(y) * rowBytes;
        uint32_t* out = &bitmap.pixels[size_t(y) * size_t(width)];
        for (int x = 0; x < width; x++) {
            if (format == 3) {
                uint8_t index = row[x];
                out[x] = index < tableSize ? table[index] : 0;
            } else if (format == 4) {
                uint32_t v = uint32_t(row[x * 2] << 8 | row[x * 2 + 1]);
                uint32_t r = (v >> 10 & 31) * 255 / 31, g = (v >> 5 & 31) * 255 / 31, b = (v & 31) * 255 / 31;
                out[x] = 0xFF000000 | r << 16 | g << 8 | b;
            } else {
                const uint8_t* p = row + x * 4;
                uint32_t a = withAlpha ? p[0] : 255;
                out[x] = ClampPremultiplied(a, p[1], p[2], p[3]);
            }
        }
    }
    if (id) *id = bitmapId;
    return bitmap;
}

SwfButton ParseButton(uint16_t code, const uint8_t* body, size_t size, uint16_t* id) {
    SwfBitReader reader(body, size, "DefineButton tag");
    SwfButton button;
    uint16_t buttonId = reader.U16();
    bool second = code == SwfTagDefineButton2;
    size_t actionOffsetPos = 0;
    uint16_t actionOffset = 0;
    if (second) {
        button.trackAsMenu = reader.U8() & 1;
        actionOffsetPos = reader.BytePosition();
        actionOffset = reader.U16();
    }
    for (;;) {
        uint8_t flags = reader.U8();
        if (flags == 0) break;
        SwfButtonRecord record;
        record.states = flags & 0x0F;
        record.characterId = reader.U16();
        record.depth = reader.U16();
        record.matrix = ReadMatrix(reader);
        if (second) {
            record.transform = ReadColorTransform(reader, true);
            if (flags & 0x10) throw FormatError("button filters are unsupported");
            if (flags & 0x20) reader.U8();  // blend mode
        }
        button.records.push_back(record);
    }
    if (!second) {
        SwfButtonAction action;
        action.conditions = ButtonRelease;
        size_t rest = reader.Remaining();
        const uint8_t* p = reader.Take(rest);
        action.actions.assign(p, p + rest);
        button.actions.push_back(std::move(action));
    } else if (actionOffset != 0) {
        size_t pos = actionOffsetPos + actionOffset;
        // Each condition record: its size (0 for the last), the condition word, the actions.
        for (int guard = 0; pos < size && guard < 65536; guard++) {
            ByteReader record(body + pos, size - pos, "DefineButton2 condition record");
            uint16_t recordSize = record.U16LE();
            uint8_t first = record.U8(), secondByte = record.U8();
            size_t actionsSize = recordSize ? std::max<int>(0, recordSize - 4) : record.Remaining();
            const uint8_t* actions = record.Take(std::min(actionsSize, record.Remaining()));
            SwfButtonAction action;
            // The first byte as read is the SwfButtonCondition bits; key presses are not kept.
            action.conditions = uint16_t(first) | uint16_t((secondByte & 1) << 8);
            action.actions.assign(actions, actions + std::min(actionsSize, size - pos - 4));
            button.actions.push_back(std::move(action));
            if (recordSize == 0) break;
            pos += recordSize;
        }
    }
    if (id) *id = buttonId;
    return button;
}

SwfSprite ParseSprite(const uint8_t* body, size_t size, uint16_t* id) {
    ByteReader reader(body, size, "DefineSprite tag");
    uint16_t spriteId = reader.U16LE();
    reader.U16LE();  // frame count as declared; the frames count
    SwfSprite sprite;
    sprite.frames = ParseSpriteFrames(body + 4, size - 4);
    for (size_t i = 0; i < sprite.frames.size(); i++)
        for (const SwfTag& tag : sprite.frames[i].tags)
            if (tag.code == SwfTagFrameLabel) {
                ByteReader label(tag.body.data(), tag.body.size(), "FrameLabel tag");
                sprite.labels.emplace(Lower(label.CString()), static_cast<int>(i));
            }
    if (id) *id = spriteId;
    return sprite;
}

SwfSound ParseSound(const uint8_t* body, size_t size, uint16_t* id) {
    ByteReader reader(body, size, "DefineSound tag");
    SwfSound sound;
    uint16_t soundId = reader.U16LE();
    uint8_t flags = reader.U8();
    sound.format = flags >> 4;
    static const int rates[4] = {5512, 11025, 22050, 44100};
    sound.rate = rates[flags >> 2 & 3];
    sound.sixteenBit = flags & 2;
    sound.stereo = flags & 1;
    sound.sampleCount = reader.U32LE();
    size_t rest = reader.Remaining();
    const uint8_t* data = reader.Take(rest);
    sound.data.assign(data, data + rest);
    if (id) *id = soundId;
    return sound;
}

bool SoundToPcm16(const SwfSound& sound, std::vector<int16_t>& samples) {
    if (sound.format != 0 && sound.format != 3) return false;
    samples.clear();
    if (sound.sixteenBit) {
        // Format 0 is the authoring machine's byte order, in practice little-endian as format 3.
        for (size_t i = 0; i + 1 < sound.data.size(); i += 2)
            samples.push_back(static_cast<int16_t>(sound.data[i] | sound.data[i + 1] << 8));
    } else {
        for (uint8_t byte : sound.data) samples.push_back(static_cast<int16_t>((int(byte) - 128) << 8));
    }
    if (sound.stereo && samples.size() % 2) samples.pop_back();
    return true;
}

SwfFont ParseFont(uint16_t code, const uint8_t* body, size_t size, uint16_t* id) {
    SwfBitReader reader(body, size, "DefineFont tag");
    SwfFont font;
    uint16_t fontId = reader.U16();
    size_t base = reader.BytePosition();  // offsets count from the offset table
    std::vector<size_t> offsets;
    size_t codeTable = 0;
    bool wideCodes = false;
    if (code == SwfTagDefineFont) {
        if (reader.Remaining() == 0) {
            if (id) *id = fontId;
            return font;
        }
        size_t first = reader.U16();
        size_t count = first / 2;
        offsets.push_back(first);
        for (size_t i = 1; i < count; i++) offsets.push_back(reader.U16());
        codeTable = size - base;
    } else {
        uint8_t flags = reader.U8();
        bool wideOffsets = flags & 0x08;
        wideCodes = flags & 0x04;
        reader.U8();  // language
        size_t nameLength = reader.U8();
        reader.Take(nameLength);
        size_t count = reader.U16();
        base = reader.BytePosition();
        for (size_t i = 0; i < count; i++) offsets.push_back(wideOffsets ? reader.U32() : reader.U16());
        codeTable = count > 0 || reader.Remaining() > 0 ? (wideOffsets ? reader.U32() : reader.U16()) : 0;
        if (code == SwfTagDefineFont3) font.unitsPerEm = 1024 * 20;
    }
    for (size_t i = 0; i < offsets.size(); i++) {
        size_t start = base + offsets[i];
        size_t end = i + 1 < offsets.size() ? base + offsets[i + 1] : base + codeTable;
        if (start > end || end > size) throw FormatError("DefineFont glyph offsets lie outside the tag");
        SwfBitReader glyph(body + start, end - start, "DefineFont glyph");
        font.glyphs.push_back(ParseGlyph(glyph));
    }
    if (code != SwfTagDefineFont && base + codeTable <= size) {
        ByteReader codes(body + base + codeTable, size - base - codeTable, "DefineFont code table");
        for (size_t i = 0; i < offsets.size() && !codes.AtEnd(); i++)
            font.codes.push_back(wideCodes ? codes.U16LE() : codes.U8());
    }
    if (id) *id = fontId;
    return font;
}

SwfText ParseText(uint16_t code, const uint8_t* body, size_t size, uint16_t* id) {
    SwfBitReader reader(body, size, "DefineText tag");
    SwfText text;
    uint16_t textId = reader.U16();
    ReadRect(reader);
    text.matrix = ReadMatrix(reader);
    unsigned glyphBits = reader.U8(), advanceBits = reader.U8();
    if (glyphBits > 32 || advanceBits > 32) throw FormatError("DefineText has impossible field sizes");
    SwfTextRun style;
    double x = 0, y = 0;
    // Each record takes at least a byte: bounded by the data.
    for (;;) {
        uint8_t flags = reader.U8();
        if (flags == 0) break;
        if (flags & 0x08) style.fontId = reader.U16();
        if (flags & 0x04) {
            const uint8_t* rgb = reader.Take(code == SwfTagDefineText2 ? 4 : 3);
            uint32_t alpha = code == SwfTagDefineText2 ? rgb[3] : 0xFF;
            style.argb = alpha << 24 | uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
        }
        if (flags & 0x01) x = reader.S16();
        if (flags & 0x02) y = reader.S16();
        if (flags & 0x08) style.height = reader.U16();
        SwfTextRun run = style;
        run.glyphs.clear();
        run.x = x;
        run.y = y;
        unsigned count = reader.U8();
        for (unsigned i = 0; i < count; i++) {
            uint32_t glyph = reader.Unsigned(glyphBits);
            double advance = reader.Signed(advanceBits);
            run.glyphs.emplace_back(glyph, advance);
            x += advance;
        }
        reader.Align();
        text.runs.push_back(std::move(run));
    }
    if (id) *id = textId;
    return text;
}

SwfEditText ParseEditText(const uint8_t* body, size_t size, uint16_t* id) {
    SwfBitReader reader(body, size, "DefineEditText tag");
    SwfEditText field;
    uint16_t fieldId = reader.U16();
    field.bounds = ReadRect(reader);
    uint8_t first = reader.U8(), second = reader.U8();
    field.wordWrap = first & 0x40;
    field.multiline = first & 0x20;
    field.password = first & 0x10;
    field.border = second & 0x08;
    field.html = second & 0x02;
    if (first & 0x01) field.fontId = reader.U16();
    if (second & 0x80) reader.CString();  // font class
    if (first & 0x01) field.height = reader.U16();
    if (first & 0x04) {
        const uint8_t* rgba = reader.Take(4);
        field.argb = uint32_t(rgba[3]) << 24 | uint32_t(rgba[0]) << 16 | uint32_t(rgba[1]) << 8 | rgba[2];
    }
    if (first & 0x02) reader.U16();  // maximum length
    if (second & 0x20) {
        field.align = reader.U8();
        reader.U16();
        reader.U16();
        reader.U16();
        reader.S16();
    }
    field.variable = reader.CString();
    if (first & 0x80) field.initialText = reader.CString();
    if (id) *id = fieldId;
    return field;
}

} // namespace refplayer
