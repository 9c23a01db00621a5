#include "refplayer/core/StageRenderer.h"

#include <algorithm>
#include <vector>

namespace refplayer {

namespace {

// Interpolated gradient colours, transformed and premultiplied.
void BuildGradient(const std::vector<SwfGradientStop>& stops, const SwfColorTransform& cx, uint32_t* lut) {
    size_t next = 0;
    for (int i = 0; i < 256; i++) {
        while (next < stops.size() && stops[next].ratio < i) next++;
        uint32_t c;
        if (next == 0) {
            c = stops.front().argb;
        } else if (next >= stops.size()) {
            c = stops.back().argb;
        } else {
            const SwfGradientStop& a = stops[next - 1];
            const SwfGradientStop& b = stops[next];
            int span = b.ratio - a.ratio;
            int t = span > 0 ? (i - a.ratio) * 256 / span : 256;
            c = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                int ca = a.argb >> shift & 0xFF, cb = b.argb >> shift & 0xFF;
                c |= uint32_t((ca * (256 - t) + cb * t) >> 8) << shift;
            }
        }
        lut[i] = Premultiply(cx.Apply(c));
    }
}

// Points along an edge in view pixels, the end included and the start not.
template <typename Emit>
void FlattenEdge(const SwfEdge& e, const SwfMatrix& m, Emit emit) {
    double x0 = m.MapX(e.x0, e.y0), y0 = m.MapY(e.x0, e.y0);
    double x1 = m.MapX(e.x1, e.y1), y1 = m.MapY(e.x1, e.y1);
    if (!e.curved) {
        emit(x1, y1);
        return;
    }
    double cx = m.MapX(e.cx, e.cy), cy = m.MapY(e.cx, e.cy);
    double dx = x0 - 2 * cx + x1, dy = y0 - 2 * cy + y1;
    double bend = std::sqrt(std::sqrt(dx * dx + dy * dy) * 2);
    // Non-finite points (a degenerate matrix) are dropped by the rasteriser: one step will do.
    int steps = bend < 64 ? static_cast<int>(bend) + 1 : bend >= 64 ? 64 : 1;
    for (int i = 1; i <= steps; i++) {
        double t = double(i) / steps, u = 1 - t;
        emit(u * u * x0 + 2 * u * t * cx + t * t * x1, u * u * y0 + 2 * u * t * cy + t * t * y1);
    }
}

} // namespace

SwfMatrix StageToView(const SwfHeader& header, const ViewOptions& view) {
    double stageWidth = (header.frameSize.xMax - header.frameSize.xMin) / 20.0;
    double stageHeight = (header.frameSize.yMax - header.frameSize.yMin) / 20.0;
    double sx = 1, sy = 1;
    if (stageWidth > 0 && stageHeight > 0 && view.scaleMode != StageScaleMode::NoScale) {
        double fx = view.width / stageWidth, fy = view.height / stageHeight;
        switch (view.scaleMode) {
        case StageScaleMode::ShowAll: sx = sy = std::min(fx, fy); break;
        case StageScaleMode::NoBorder: sx = sy = std::max(fx, fy); break;
        default: sx = fx; sy = fy; break;
        }
    }
    double extraX = view.width - stageWidth * sx, extraY = view.height - stageHeight * sy;
    double ox = view.align & AlignLeft ? 0 : view.align & AlignRight ? extraX : extraX / 2;
    double oy = view.align & AlignTop ? 0 : view.align & AlignBottom ? extraY : extraY / 2;
    SwfMatrix m;
    m.a = sx / 20;
    m.d = sy / 20;
    m.tx = ox - header.frameSize.xMin * sx / 20;
    m.ty = oy - header.frameSize.yMin * sy / 20;
    return m;
}

void StageRenderer::RenderOver(const MovieClip& clip, const SwfHeader& header, const ViewOptions& view,
                               RasterSurface& surface) {
    if (surface.width != view.width || surface.height != view.height) return;
    surface_ = &surface;
    rasterizer_.SetAntiAlias(view.antiAlias);
    DrawList(clip, StageToView(header, view), SwfColorTransform(), nullptr);
    surface_ = nullptr;
}

void StageRenderer::Render(const MovieClip* root, const CharacterDictionary& dictionary, const SwfHeader& header,
                           const ViewOptions& view, RasterSurface& surface) {
    if (surface.width != view.width || surface.height != view.height) surface.Resize(view.width, view.height);
    if (!root) {
        surface.Fill(view.opaque ? 0xFF000000 | (view.background & 0xFFFFFF) : 0);
        return;
    }
    dictionary_ = &dictionary;
    surface_ = &surface;
    rasterizer_.SetAntiAlias(view.antiAlias);
    // Fills are queued and drawn together, on two threads where there are.
    rasterizer_.SetDeferred(true);
    rasterizer_.Clear(surface, view.opaque ? 0xFF000000 | (view.background & 0xFFFFFF) : 0);
    try {
        DrawList(*root, StageToView(header, view), SwfColorTransform(), nullptr);
    } catch (...) {
        rasterizer_.Discard();
        surface_ = nullptr;
        throw;
    }
    rasterizer_.SetDeferred(false);
    surface_ = nullptr;
}

void StageRenderer::DrawList(const MovieClip& clip, const SwfMatrix& m, const SwfColorTransform& cx,
                             const CoverageMask* clipMask) {
    DictionaryScope scope(dictionary_, clip.Dictionary());
    struct Layer {
        int clipDepth;
        std::unique_ptr<CoverageMask> mask;
    };
    std::vector<Layer> layers;
    // Queued fills refer to the clipping masks, which go with their layers.
    auto popLayer = [&] {
        rasterizer_.Flush();
        layers.pop_back();
    };
    try {
        for (const auto& [depth, object] : clip.Objects()) {
            while (!layers.empty() && layers.back().clipDepth < depth) popLayer();
            const CoverageMask* active = layers.empty() ? clipMask : layers.back().mask.get();
            if (object->clipDepth > 0) {
                auto mask = std::make_unique<CoverageMask>();
                mask->Resize(surface_->width, surface_->height);
                DrawObject(*object, m, cx, nullptr, mask.get());
                rasterizer_.Flush();  // the mask is read now, and its layer's fills are queued with it
                if (active)
                    for (size_t i = 0; i < mask->values.size(); i++)
                        mask->values[i] = static_cast<uint8_t>(mask->values[i] * active->values[i] / 255);
                layers.push_back(Layer{object->clipDepth, std::move(mask)});
                continue;
            }
            DrawObject(*object, m, cx, active, nullptr);
        }
    } catch (...) {
        rasterizer_.Discard();  // queued fills refer to the masks, which go now
        throw;
    }
    while (!layers.empty()) popLayer();
}

void StageRenderer::DrawObject(const DisplayObject& object, const SwfMatrix& m, const SwfColorTransform& cx,
                               const CoverageMask* clipMask, CoverageMask* intoMask) {
    if (!object.visible && !intoMask) return;
    DrawCharacter(object.character, &object, object.buttonState, m * object.matrix, cx * object.transform, clipMask,
                  intoMask);
}

void StageRenderer::DrawCharacter(const SwfCharacter* character, const DisplayObject* instance, uint8_t buttonState,
                                  const SwfMatrix& m, const SwfColorTransform& cx, const CoverageMask* clipMask,
                                  CoverageMask* intoMask) {
    if (!character) return;
    switch (character->kind) {
    case SwfCharacter::Kind::Shape:
        DrawShape(*character->shape, m, cx, clipMask, intoMask);
        break;
    case SwfCharacter::Kind::Morph:
        DrawShape(character->morph->At(instance ? instance->ratio : 0), m, cx, clipMask, intoMask);
        break;
    case SwfCharacter::Kind::Sprite:
        if (instance && instance->clip) {
            DictionaryScope scope(dictionary_, instance->clip->Dictionary());
            if (intoMask) {
                for (const auto& [depth, child] : instance->clip->Objects())
                    if (child->clipDepth == 0) DrawObject(*child, m, cx, nullptr, intoMask);
            } else {
                DrawList(*instance->clip, m, cx, clipMask);
            }
        }
        break;
    case SwfCharacter::Kind::Button: {
        std::vector<const SwfButtonRecord*> records;
        for (const SwfButtonRecord& record : character->button->records)
            if (record.states & buttonState) records.push_back(&record);
        std::stable_sort(records.begin(), records.end(),
                         [](const SwfButtonRecord* a, const SwfButtonRecord* b) { return a->depth < b->depth; });
        for (const SwfButtonRecord* record : records) {
            const SwfCharacter* part = dictionary_->Find(record->characterId);
            if (!part || part->kind == SwfCharacter::Kind::Button) continue;
            // A sprite part draws the timeline the instance runs for the shown state.
            const DisplayObject* partInstance = nullptr;
            int index = static_cast<int>(record - character->button->records.data());
            if (instance && part->kind == SwfCharacter::Kind::Sprite)
                for (const auto& running : instance->stateParts)
                    if (running->depth == index) partInstance = running.get();
            DrawCharacter(part, partInstance, ButtonUp, m * record->matrix, cx * record->transform, clipMask,
                          intoMask);
        }
        break;
    }
    case SwfCharacter::Kind::Text:
        DrawText(*character->text, m, cx, clipMask, intoMask);
        break;
    case SwfCharacter::Kind::EditText:
        if (!intoMask && instance) DrawField(*character->editText, instance->text, m, cx, clipMask);
        break;
    case SwfCharacter::Kind::Video:
        if (!intoMask && instance) DrawVideo(*character->video, *instance, m, cx, clipMask);
        break;
    case SwfCharacter::Kind::Bitmap:
    case SwfCharacter::Kind::Font:
    case SwfCharacter::Kind::Sound:
        break;  // bitmaps are drawn through shapes' bitmap fills, fonts through texts
    }
}

void StageRenderer::DrawVideo(const SwfVideo& video, const DisplayObject& instance, const SwfMatrix& m,
                              const SwfColorTransform& cx, const CoverageMask* clipMask) {
    VideoFrame frame;
    if (!videos_ || !videos_->VideoPicture(instance, frame) || !frame.pixels || frame.width <= 0 ||
        frame.height <= 0 || video.width <= 0 || video.height <= 0)
        return;
    // The picture is stretched over the object's box, whatever the stream's own size.
    double w = video.width * 20.0, h = video.height * 20.0;
    auto edge = [](double x0, double y0, double x1, double y1) {
        return SwfEdge{x0, y0, (x0 + x1) / 2, (y0 + y1) / 2, x1, y1, false};
    };
    FillEdges({edge(0, 0, w, 0), edge(w, 0, w, h), edge(w, h, 0, h), edge(0, h, 0, 0)}, m);
    SwfMatrix toBox;
    toBox.a = w / frame.width;
    toBox.d = h / frame.height;
    rasterizer_.Fill(*surface_, BitmapPaint(frame.pixels, frame.width, frame.height, m * toBox, false,
                                            video.smoothing, cx),
                     clipMask);
    rasterizer_.Flush();  // the picture may change once this returns
}

void StageRenderer::FillEdges(const std::vector<SwfEdge>& edges, const SwfMatrix& m) {
    rasterizer_.Reset();
    for (const SwfEdge& e : edges) {
        double x0 = m.MapX(e.x0, e.y0), y0 = m.MapY(e.x0, e.y0);
        double x1 = m.MapX(e.x1, e.y1), y1 = m.MapY(e.x1, e.y1);
        if (e.curved)
            rasterizer_.Quad(x0, y0, m.MapX(e.cx, e.cy), m.MapY(e.cx, e.cy), x1, y1);
        else
            rasterizer_.Line(x0, y0, x1, y1);
    }
}

void StageRenderer::DrawText(const SwfText& text, const SwfMatrix& m, const SwfColorTransform& cx,
                             const CoverageMask* clipMask, CoverageMask* intoMask) {
    SwfMatrix base = m * text.matrix;
    for (const SwfTextRun& run : text.runs) {
        const SwfCharacter* fontCharacter = dictionary_->Find(run.fontId);
        if (!fontCharacter || !fontCharacter->font) continue;
        const SwfFont& font = *fontCharacter->font;
        double scale = run.height / font.unitsPerEm;
        double x = run.x;
        // All glyphs of a run in one pass: one colour, and overlaps count once.
        rasterizer_.Reset();
        for (const auto& [index, advance] : run.glyphs) {
            if (index < font.glyphs.size()) {
                SwfMatrix glyph;
                glyph.a = glyph.d = scale;
                glyph.tx = x;
                glyph.ty = run.y;
                SwfMatrix g = base * glyph;
                for (const SwfFillPath& path : font.glyphs[index].fillPaths)
                    for (const SwfEdge& e : path.edges) {
                        double x0 = g.MapX(e.x0, e.y0), y0 = g.MapY(e.x0, e.y0);
                        double x1 = g.MapX(e.x1, e.y1), y1 = g.MapY(e.x1, e.y1);
                        if (e.curved)
                            rasterizer_.Quad(x0, y0, g.MapX(e.cx, e.cy), g.MapY(e.cx, e.cy), x1, y1);
                        else
                            rasterizer_.Line(x0, y0, x1, y1);
                    }
            }
            x += advance;
        }
        if (intoMask)
            rasterizer_.FillMask(*intoMask);
        else
            rasterizer_.Fill(*surface_, SolidPaint(Premultiply(cx.Apply(run.argb))), clipMask);
    }
}

void StageRenderer::DrawField(const SwfEditText& field, const std::string& text, const SwfMatrix& m,
                              const SwfColorTransform& cx, const CoverageMask* clipMask) {
    if (!deviceText_ || text.empty()) return;
    // The box as placed; a rotated field is drawn upright in the box around it.
    double xs[4] = {m.MapX(field.bounds.xMin, field.bounds.yMin), m.MapX(field.bounds.xMax, field.bounds.yMin),
                    m.MapX(field.bounds.xMin, field.bounds.yMax), m.MapX(field.bounds.xMax, field.bounds.yMax)};
    double ys[4] = {m.MapY(field.bounds.xMin, field.bounds.yMin), m.MapY(field.bounds.xMax, field.bounds.yMin),
                    m.MapY(field.bounds.xMin, field.bounds.yMax), m.MapY(field.bounds.xMax, field.bounds.yMax)};
    int left = static_cast<int>(std::floor(*std::min_element(xs, xs + 4)));
    int top = static_cast<int>(std::floor(*std::min_element(ys, ys + 4)));
    int width = static_cast<int>(std::ceil(*std::max_element(xs, xs + 4))) - left;
    int height = static_cast<int>(std::ceil(*std::max_element(ys, ys + 4))) - top;
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192) return;
    double pixelHeight = field.height * std::sqrt(m.c * m.c + m.d * m.d);
    if (pixelHeight < 1) return;
    fieldCoverage_.clear();
    if (!deviceText_->Render(text, pixelHeight, width, height, field, fieldCoverage_)) return;
    if (fieldCoverage_.size() != size_t(width) * size_t(height)) return;
    rasterizer_.Flush();  // what lies below is drawn first
    uint32_t colour = Premultiply(cx.Apply(field.argb));
    for (int y = std::max(0, top); y < std::min(surface_->height, top + height); y++) {
        for (int x = std::max(0, left); x < std::min(surface_->width, left + width); x++) {
            uint32_t c = fieldCoverage_[size_t(y - top) * size_t(width) + size_t(x - left)];
            if (clipMask) c = c * clipMask->values[size_t(y) * size_t(clipMask->width) + size_t(x)] / 255;
            if (!c) continue;
            uint32_t& dst = surface_->pixels[size_t(y) * size_t(surface_->width) + size_t(x)];
            dst = BlendCoverage(colour, c, dst);
        }
    }
}

void StageRenderer::DrawShape(const SwfShape& shape, const SwfMatrix& m, const SwfColorTransform& cx,
                              const CoverageMask* clipMask, CoverageMask* intoMask) {
    for (const SwfFillPath& path : shape.fillPaths) {
        FillEdges(path.edges, m);
        if (intoMask) {
            rasterizer_.FillMask(*intoMask);
            continue;
        }
        const SwfFillStyle& fill = shape.fills[path.style];
        switch (fill.kind) {
        case SwfFillStyle::Kind::Solid:
            rasterizer_.Fill(*surface_, SolidPaint(Premultiply(cx.Apply(fill.argb))), clipMask);
            break;
        case SwfFillStyle::Kind::LinearGradient:
        case SwfFillStyle::Kind::RadialGradient:
            BuildGradient(fill.stops, cx, lut_);
            rasterizer_.Fill(*surface_,
                             GradientPaint(lut_, m * fill.matrix, fill.kind == SwfFillStyle::Kind::RadialGradient,
                                           fill.focal, static_cast<GradientSpread>(fill.spread)),
                             clipMask);
            break;
        case SwfFillStyle::Kind::Bitmap: {
            const SwfBitmap* bitmap = dictionary_->Bitmap(fill.bitmapId);
            if (!bitmap || bitmap->pixels.empty()) break;
            rasterizer_.Fill(*surface_,
                             BitmapPaint(bitmap->pixels.data(), bitmap->width, bitmap->height, m * fill.matrix,
                                         fill.repeat, fill.smooth, cx),
                             clipMask);
            break;
        }
        }
    }
    if (intoMask) return;  // lines do not take part in masks
    for (const SwfStrokePath& path : shape.strokePaths) {
        const SwfLineStyle& line = shape.lines[path.style];
        double halfWidth = std::max(1.0, line.width * m.Scale()) / 2;
        rasterizer_.Reset();
        // Each run of connected edges is one polyline, closed when it ends where it started.
        polyline_.clear();
        auto finish = [&] {
            const bool closed = polyline_.size() > 2 && std::abs(polyline_.front().x - polyline_.back().x) < 1e-6 &&
                                std::abs(polyline_.front().y - polyline_.back().y) < 1e-6;
            rasterizer_.Stroke(polyline_.data(), polyline_.size(), closed, halfWidth);
            polyline_.clear();
        };
        for (const SwfEdge& e : path.edges) {
            const double sx = m.MapX(e.x0, e.y0), sy = m.MapY(e.x0, e.y0);
            if (!polyline_.empty() &&
                !(std::abs(sx - polyline_.back().x) < 1e-6 && std::abs(sy - polyline_.back().y) < 1e-6))
                finish();
            if (polyline_.empty()) polyline_.push_back({sx, sy});
            FlattenEdge(e, m, [&](double x, double y) { polyline_.push_back({x, y}); });
        }
        if (!polyline_.empty()) finish();
        rasterizer_.Fill(*surface_, SolidPaint(Premultiply(cx.Apply(line.argb))), clipMask);
    }
}

DisplayObject* StageRenderer::ButtonAt(const MovieClip* root, const CharacterDictionary& dictionary,
                                       const SwfHeader& header, const ViewOptions& view, double x, double y) {
    if (!root) return nullptr;
    dictionary_ = &dictionary;
    probe_.Resize(1, 1);
    SwfMatrix shift;
    // The probe pixel is the one whose area holds the point.
    shift.tx = -std::floor(x);
    shift.ty = -std::floor(y);
    rasterizer_.SetAntiAlias(true);
    return HitList(*root, shift * StageToView(header, view));
}

DisplayObject* StageRenderer::HitList(const MovieClip& clip, const SwfMatrix& m) {
    DictionaryScope scope(dictionary_, clip.Dictionary());
    const auto& objects = clip.Objects();
    for (auto it = objects.rbegin(); it != objects.rend(); ++it) {
        DisplayObject& object = *it->second;
        if (!object.visible || object.clipDepth > 0 || !object.character) continue;
        SwfMatrix inner = m * object.matrix;
        if (object.character->kind == SwfCharacter::Kind::Button) {
            if (HitsCharacter(object.character, &object, ButtonHit, inner)) return &object;
        } else if (object.clip) {
            if (DisplayObject* hit = HitList(*object.clip, inner)) return hit;
        }
    }
    return nullptr;
}

bool StageRenderer::HitsCharacter(const SwfCharacter* character, const DisplayObject* instance, uint8_t state,
                                  const SwfMatrix& m) {
    if (!character) return false;
    if (character->kind == SwfCharacter::Kind::Shape || character->kind == SwfCharacter::Kind::Morph) {
        probe_.values[0] = 0;
        DrawShape(character->shape ? *character->shape : character->morph->At(instance ? instance->ratio : 0), m,
                  SwfColorTransform(), nullptr, &probe_);
        return probe_.values[0] >= 128;
    }
    if (character->kind == SwfCharacter::Kind::Button) {
        for (const SwfButtonRecord& record : character->button->records)
            if ((record.states & state) &&
                HitsCharacter(dictionary_->Find(record.characterId), nullptr, ButtonUp, m * record.matrix))
                return true;
    }
    if (character->kind == SwfCharacter::Kind::Sprite && instance && instance->clip) {
        DictionaryScope scope(dictionary_, instance->clip->Dictionary());
        for (const auto& [depth, child] : instance->clip->Objects())
            if (HitsCharacter(child->character, child.get(), state, m * child->matrix)) return true;
    }
    return false;
}

} // namespace refplayer
