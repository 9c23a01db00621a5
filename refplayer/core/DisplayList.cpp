#include "refplayer/core/DisplayList.h"

#include <algorithm>
#include <cctype>

namespace refplayer {

namespace {

bool SameNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

MovieClip::MovieClip(DisplayObject* owner, const std::vector<SwfFrame>* frames, CharacterDictionary& dictionary,
                     TimelineListener* listener, const std::map<std::string, int>* labels)
    : owner_(owner), frames_(frames), labels_(labels), dictionary_(&dictionary), listener_(listener) {
    if (owner && owner->parent) nesting_ = owner->parent->nesting_ + 1;
}

MovieClip::~MovieClip() = default;

DisplayObject* MovieClip::ObjectAt(int depth) const {
    auto it = objects_.find(depth);
    return it == objects_.end() ? nullptr : it->second.get();
}

DisplayObject* MovieClip::ObjectNamed(const std::string& name) const {
    for (const auto& [depth, object] : objects_)
        if (!object->name.empty() && SameNoCase(object->name, name)) return object.get();
    return nullptr;
}

int MovieClip::LabelFrame(const std::string& label) const {
    if (labels_) {
        std::string lower = label;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        auto it = labels_->find(lower);
        return it == labels_->end() ? -1 : it->second;
    }
    for (size_t i = 0; i < frames_->size(); i++)
        for (const SwfTag& tag : (*frames_)[i].tags)
            if (tag.code == SwfTagFrameLabel) {
                std::string name(tag.body.begin(), std::find(tag.body.begin(), tag.body.end(), uint8_t(0)));
                if (SameNoCase(name, label)) return static_cast<int>(i);
            }
    return -1;
}

void MovieClip::Clear() {
    std::map<int, std::unique_ptr<DisplayObject>> gone;
    gone.swap(objects_);
    for (auto& [depth, object] : gone) Forget(*object);
    current_ = -1;
}

void MovieClip::Forget(DisplayObject& object) {
    if (object.clip) object.clip->Clear();
    std::vector<std::unique_ptr<DisplayObject>> parts;
    parts.swap(object.stateParts);
    object.partsState = 0;
    for (auto& part : parts) Forget(*part);
    if (listener_) listener_->ObjectRemoved(object);
}

void MovieClip::StartTimeline(DisplayObject& object) {
    const SwfSprite& sprite = *object.character->sprite;
    if (nesting_ >= kMaxNesting) return;
    object.clip = std::make_unique<MovieClip>(&object, &sprite.frames, *dictionary_, listener_, &sprite.labels);
    object.clip->GotoFrame(0);
}

void MovieClip::ShowButtonState(DisplayObject& button, uint8_t state) {
    button.buttonState = state;
    if (!button.character || !button.character->button || button.partsState == state) return;
    std::vector<std::unique_ptr<DisplayObject>> old;
    old.swap(button.stateParts);
    for (auto& part : old) Forget(*part);
    button.partsState = state;
    // A copy: starting a part runs its first frame, which may change the dictionary.
    std::shared_ptr<SwfButton> definition = button.character->button;
    for (size_t i = 0; i < definition->records.size(); i++) {
        const SwfButtonRecord& record = definition->records[i];
        const SwfCharacter* part = dictionary_->Find(record.characterId);
        if (!(record.states & state) || !part || part->kind != SwfCharacter::Kind::Sprite) continue;
        auto object = std::make_unique<DisplayObject>();
        object->characterId = record.characterId;
        object->character = part;
        object->depth = static_cast<int>(i);
        object->matrix = record.matrix;
        object->transform = record.transform;
        object->parent = this;
        DisplayObject& placed = *object;
        button.stateParts.push_back(std::move(object));
        StartTimeline(placed);
    }
}

void MovieClip::GotoFrame(int frame, bool runActions) {
    if (frames_->empty()) return;
    frame = std::clamp(frame, 0, FrameCount() - 1);
    if (frame < current_) Clear();
    for (int f = current_ + 1; f <= frame; f++) ApplyFrame(f);
    current_ = frame;
    if (runActions && listener_) listener_->FrameActions(*this, (*frames_)[static_cast<size_t>(frame)]);
}

void MovieClip::ReplaceContent(std::vector<SwfTag> tags, CharacterDictionary& dictionary) {
    Clear();
    ownFrames_.assign(1, SwfFrame());
    ownFrames_[0].tags = std::move(tags);
    frames_ = &ownFrames_;
    labels_ = nullptr;
    dictionary_ = &dictionary;
    loaded_.reset();
    GotoFrame(0, false);
}

void MovieClip::ReplaceMovie(std::shared_ptr<LoadedMovie> movie) {
    Clear();
    ownFrames_.clear();
    loaded_ = std::move(movie);
    frames_ = &loaded_->frames;
    labels_ = nullptr;
    dictionary_ = &loaded_->dictionary;
    playing_ = true;
    GotoFrame(0);
}

bool MovieClip::TickChildren() {
    bool changed = false;
    // A child's actions may remove siblings: walk by depth, looking each one up again.
    std::vector<int> depths;
    for (const auto& [depth, object] : objects_)
        if (object->clip || !object->stateParts.empty()) depths.push_back(depth);
    for (int depth : depths) {
        DisplayObject* object = ObjectAt(depth);
        if (object && object->clip && object->clip->Tick()) changed = true;
        // The sprites of a button's shown state animate while it shows.
        for (size_t i = 0; (object = ObjectAt(depth)) && i < object->stateParts.size(); i++) {
            DisplayObject& part = *object->stateParts[i];
            if (part.clip && part.clip->Tick()) changed = true;
        }
    }
    return changed;
}

bool MovieClip::Tick() {
    bool changed = TickChildren();
    if (!playing_ || FrameCount() <= 1) return changed;
    int next = current_ + 1 >= FrameCount() ? 0 : current_ + 1;
    GotoFrame(next);
    return true;
}

void MovieClip::ApplyFrame(int frame) {
    for (const SwfTag& tag : (*frames_)[static_cast<size_t>(frame)].tags) {
        switch (tag.code) {
        case SwfTagPlaceObject:
        case SwfTagPlaceObject2:
        case SwfTagPlaceObject3:
            Place(tag);
            break;
        case SwfTagRemoveObject: {
            SwfBitReader reader(tag.body.data(), tag.body.size(), "RemoveObject tag");
            reader.U16();
            Remove(reader.U16());
            break;
        }
        case SwfTagRemoveObject2: {
            SwfBitReader reader(tag.body.data(), tag.body.size(), "RemoveObject2 tag");
            Remove(reader.U16());
            break;
        }
        default:
            if (CharacterDictionary::IsDefinition(tag.code)) dictionary_->Define(tag);
            break;
        }
    }
}

std::unique_ptr<DisplayObject> MovieClip::Instantiate(uint16_t characterId) {
    auto object = std::make_unique<DisplayObject>();
    object->characterId = characterId;
    object->character = dictionary_->Find(characterId);
    object->parent = this;
    return object;
}

void MovieClip::Place(const SwfTag& tag) {
    SwfBitReader reader(tag.body.data(), tag.body.size(), "PlaceObject tag");
    if (tag.code == SwfTagPlaceObject) {
        uint16_t id = reader.U16();
        int depth = reader.U16();
        std::unique_ptr<DisplayObject> object = Instantiate(id);
        object->depth = depth;
        object->matrix = ReadMatrix(reader);
        if (!reader.AtEnd()) object->transform = ReadColorTransform(reader, false);
        Remove(depth);
        objects_[depth] = std::move(object);
        return;
    }
    uint8_t flags = reader.U8();
    uint8_t flags2 = tag.code == SwfTagPlaceObject3 ? reader.U8() : 0;
    int depth = reader.U16();
    if (tag.code == SwfTagPlaceObject3 && ((flags2 & 0x08) || ((flags2 & 0x10) && (flags & 0x02)))) reader.CString();
    bool move = flags & 0x01, hasCharacter = flags & 0x02;
    uint16_t id = hasCharacter ? reader.U16() : 0;
    DisplayObject* object = ObjectAt(depth);
    bool isNew = false;
    if (hasCharacter && (!move || !object)) {
        Remove(depth);
        objects_[depth] = Instantiate(id);
        object = objects_[depth].get();
        object->depth = depth;
        isNew = true;
    } else if (hasCharacter && object && object->characterId != id) {
        // A move with a new character swaps what is shown, keeping the placement.
        if (object->clip) object->clip->Clear();
        object->clip.reset();
        std::vector<std::unique_ptr<DisplayObject>> parts;
        parts.swap(object->stateParts);
        for (auto& part : parts) Forget(*part);
        object->partsState = 0;
        object->characterId = id;
        object->character = dictionary_->Find(id);
        isNew = true;
    }
    if (!object) return;  // a move of nothing
    if (flags & 0x04) object->matrix = ReadMatrix(reader);
    if (flags & 0x08) object->transform = ReadColorTransform(reader, true);
    if (flags & 0x10) object->ratio = reader.U16();
    if (flags & 0x20) object->name = reader.CString();
    if (flags & 0x40) object->clipDepth = reader.U16();
    if (isNew && object->character && object->character->editText) object->text = object->character->editText->initialText;
    if (isNew && object->character && object->character->kind == SwfCharacter::Kind::Sprite) StartTimeline(*object);
    if (isNew && object->character && object->character->button) ShowButtonState(*object, object->buttonState);
}

void MovieClip::Remove(int depth) {
    auto it = objects_.find(depth);
    if (it == objects_.end()) return;
    std::unique_ptr<DisplayObject> object = std::move(it->second);
    objects_.erase(it);
    Forget(*object);
}

} // namespace refplayer
