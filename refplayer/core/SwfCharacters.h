#pragma once

// The movie's character dictionary: shapes, sprites, bitmaps and buttons by character id,
// parsed from their definition tags when the timeline first passes them.

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "refplayer/core/SwfMovie.h"
#include "refplayer/core/SwfMorphShape.h"
#include "refplayer/core/SwfShape.h"

namespace refplayer {

enum SwfDefineTagCode : uint16_t {
    SwfTagDefineShape = 2,
    SwfTagPlaceObject = 4,
    SwfTagRemoveObject = 5,
    SwfTagDefineBits = 6,
    SwfTagDefineButton = 7,
    SwfTagJpegTables = 8,
    SwfTagDefineFont = 10,
    SwfTagDefineText = 11,
    SwfTagDefineSound = 14,
    SwfTagStartSound = 15,
    SwfTagDefineButtonSound = 17,
    SwfTagDefineBitsLossless = 20,
    SwfTagDefineBitsJpeg2 = 21,
    SwfTagDefineShape2 = 22,
    SwfTagPlaceObject2 = 26,
    SwfTagRemoveObject2 = 28,
    SwfTagDefineShape3 = 32,
    SwfTagDefineText2 = 33,
    SwfTagDefineButton2 = 34,
    SwfTagDefineBitsJpeg3 = 35,
    SwfTagDefineBitsLossless2 = 36,
    SwfTagDefineEditText = 37,
    SwfTagDefineSprite = 39,
    SwfTagFrameLabel = 43,
    SwfTagDefineFont2 = 48,
    SwfTagDoInitAction = 59,
    SwfTagDefineVideoStream = 60,
    SwfTagPlaceObject3 = 70,
    SwfTagDefineMorphShape = 46,
    SwfTagDefineFont3 = 75,
    SwfTagDefineShape4 = 83,
    SwfTagDefineMorphShape2 = 84,
};

struct SwfBitmap {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // premultiplied 0xAARRGGBB
};

// Decodes JPEG or PNG data into a premultiplied bitmap. The Windows module decodes through
// the system's imaging component; tests use a fake.
class ImageDecoder {
public:
    virtual ~ImageDecoder() = default;
    virtual bool Decode(const uint8_t* data, size_t size, SwfBitmap& bitmap) = 0;
};

struct SwfSprite {
    std::vector<SwfFrame> frames;
    std::map<std::string, int> labels;  // frame labels, lower case
};

// Button record states.
enum SwfButtonState : uint8_t { ButtonUp = 1, ButtonOver = 2, ButtonDown = 4, ButtonHit = 8 };

// Button condition bits (first byte of the condition word).
enum SwfButtonCondition : uint16_t {
    ButtonRollOver = 0x01,
    ButtonRollOut = 0x02,
    ButtonPress = 0x04,
    ButtonRelease = 0x08,
    ButtonDragOut = 0x10,
    ButtonDragOver = 0x20,
    ButtonReleaseOutside = 0x40,
};

struct SwfButtonRecord {
    uint8_t states = 0;
    uint16_t characterId = 0;
    int depth = 0;
    SwfMatrix matrix;
    SwfColorTransform transform;
};

struct SwfButtonAction {
    uint16_t conditions = 0;
    std::vector<uint8_t> actions;  // raw action records
};

// How a sound is started (SOUNDINFO of StartSound and DefineButtonSound).
struct SwfSoundInfo {
    bool stop = false;  // stops the sound's playing instances instead
    bool noMultiple = false;
    int loops = 1;
};
class ByteReader;
SwfSoundInfo ReadSoundInfo(ByteReader& reader);

// The sound of one button state change (DefineButtonSound); sound 0 is none.
struct SwfButtonSound {
    uint16_t soundId = 0;
    SwfSoundInfo info;
};
enum SwfButtonTransition { ButtonOverToUp = 0, ButtonUpToOver = 1, ButtonOverToDown = 2, ButtonDownToOver = 3 };

struct SwfButton {
    std::vector<SwfButtonRecord> records;
    std::vector<SwfButtonAction> actions;
    bool trackAsMenu = false;
    SwfButtonSound sounds[4];  // by SwfButtonTransition
};

struct SwfFont {
    std::vector<SwfShape> glyphs;  // glyph outlines filled with style 0
    std::vector<uint16_t> codes;   // character code of each glyph, when the font has a code table
    double unitsPerEm = 1024;      // glyph coordinates per EM (DefineFont3: 20 times finer)
};

// One run of glyphs of a static text.
struct SwfTextRun {
    uint16_t fontId = 0;
    uint32_t argb = 0xFF000000;
    double height = 240;  // twips
    double x = 0, y = 0;  // start of the run's baseline, text space
    std::vector<std::pair<uint32_t, double>> glyphs;  // glyph index and advance (twips)
};

struct SwfText {
    SwfMatrix matrix;
    std::vector<SwfTextRun> runs;
};

// A text field drawn with a device font.
struct SwfEditText {
    SwfRect bounds;
    uint16_t fontId = 0;
    double height = 240;  // twips
    uint32_t argb = 0xFF000000;
    bool multiline = false, wordWrap = false, border = false, html = false, password = false;
    int align = 0;  // 0 left, 1 right, 2 centre, 3 justify
    std::string variable;
    std::string initialText;
};

// An event sound as stored: format 0/3 uncompressed PCM, 1 ADPCM, 2 MP3.
struct SwfSound {
    int format = 0;
    int rate = 5512;  // samples per second
    bool sixteenBit = false;
    bool stereo = false;
    uint32_t sampleCount = 0;
    std::vector<uint8_t> data;
};

// Uncompressed sound data as 16-bit samples (interleaved when stereo); false for the
// compressed formats, which the player does not decode itself.
bool SoundToPcm16(const SwfSound& sound, std::vector<int16_t>& samples);

// A Video object's frame: the box (pixels at scale 1) a NetStream's picture is drawn into.
struct SwfVideo {
    int width = 0, height = 0;
    bool smoothing = false;
};

struct SwfCharacter {
    enum class Kind { Shape, Sprite, Bitmap, Button, Font, Text, EditText, Sound, Video, Morph };
    Kind kind = Kind::Shape;
    std::shared_ptr<SwfShape> shape;
    std::shared_ptr<SwfSprite> sprite;
    std::shared_ptr<SwfBitmap> bitmap;
    std::shared_ptr<SwfButton> button;
    std::shared_ptr<SwfFont> font;
    std::shared_ptr<SwfText> text;
    std::shared_ptr<SwfEditText> editText;
    std::shared_ptr<SwfSound> sound;
    std::shared_ptr<SwfVideo> video;
    std::shared_ptr<SwfMorphShape> morph;
};

class CharacterDictionary {
public:
    explicit CharacterDictionary(ImageDecoder* decoder = nullptr) : decoder_(decoder) {}
    void SetDecoder(ImageDecoder* decoder) { decoder_ = decoder; }
    void Clear() { characters_.clear(); jpegTables_.clear(); }

    // Takes in a definition tag (other tags are ignored); a character already defined keeps its
    // first definition. Malformed definitions raise FormatError.
    void Define(const SwfTag& tag);
    static bool IsDefinition(uint16_t code);

    const SwfCharacter* Find(uint16_t id) const {
        auto it = characters_.find(id);
        return it == characters_.end() ? nullptr : &it->second;
    }
    // Adds a character made by the player (loaded content) under an unused id; 0 when none is left.
    uint16_t AddCharacter(SwfCharacter character) {
        for (uint32_t id = 0xFFFF; id > 0; id--)
            if (!characters_.count(uint16_t(id))) {
                characters_[uint16_t(id)] = std::move(character);
                return uint16_t(id);
            }
        return 0;
    }
    const SwfBitmap* Bitmap(uint16_t id) const {
        const SwfCharacter* c = Find(id);
        return c && c->bitmap ? c->bitmap.get() : nullptr;
    }

private:
    void DefineBitmap(const SwfTag& tag);
    void DefineButtonSounds(const SwfTag& tag);

    ImageDecoder* decoder_;
    std::map<uint16_t, SwfCharacter> characters_;
    std::vector<uint8_t> jpegTables_;
};

// Bitmap decoders exposed for tests.
SwfBitmap DecodeLosslessBitmap(const uint8_t* body, size_t size, bool withAlpha, uint16_t* id);
SwfButton ParseButton(uint16_t code, const uint8_t* body, size_t size, uint16_t* id);
SwfSprite ParseSprite(const uint8_t* body, size_t size, uint16_t* id);
SwfFont ParseFont(uint16_t code, const uint8_t* body, size_t size, uint16_t* id);
SwfText ParseText(uint16_t code, const uint8_t* body, size_t size, uint16_t* id);
SwfEditText ParseEditText(const uint8_t* body, size_t size, uint16_t* id);
SwfSound ParseSound(const uint8_t* body, size_t size, uint16_t* id);

} // namespace refplayer
