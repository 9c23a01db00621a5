#!/usr/bin/python3
"""Draws frames of the generated movies from their bytes, to look at the content while it is
being made: shapes (solid, alpha and linear-gradient fills), static text in outline fonts,
placed and moved by their matrices. Only what make_content.py writes is understood; buttons
are drawn in their up state.
    preview.py MOVIE.swf OUT_PREFIX [FRAME ...]   writes OUT_PREFIX-<frame>.png"""
import math
import struct
import sys

from PIL import Image, ImageDraw


class Reader:
    def __init__(self, data, at=0):
        self.data, self.bit = data, at * 8

    def u(self, n):
        v = 0
        for _ in range(n):
            v = v << 1 | (self.data[self.bit // 8] >> (7 - self.bit % 8)) & 1
            self.bit += 1
        return v

    def s(self, n):
        v = self.u(n)
        return v - (1 << n) if n and v >> (n - 1) else v

    def align(self):
        self.bit = (self.bit + 7) // 8 * 8

    def byte(self):
        self.align()
        return self.u(8)

    def le16(self):
        return self.byte() | self.byte() << 8

    def pos(self):
        return (self.bit + 7) // 8

    def rect(self):
        self.align()
        n = self.u(5)
        v = [self.s(n) for _ in range(4)]
        self.align()
        return v

    def matrix(self):
        self.align()
        a, d, b, c = 1.0, 1.0, 0.0, 0.0
        if self.u(1):
            n = self.u(5)
            a, d = self.s(n) / 65536, self.s(n) / 65536
        if self.u(1):
            n = self.u(5)
            b, c = self.s(n) / 65536, self.s(n) / 65536
        n = self.u(5)
        tx, ty = (self.s(n), self.s(n)) if n else (0, 0)
        self.align()
        return (a, b, c, d, tx, ty)  # x' = a x + c y + tx, y' = b x + d y + ty


def compose(outer, inner):
    a1, b1, c1, d1, tx1, ty1 = outer
    a2, b2, c2, d2, tx2, ty2 = inner
    return (a1 * a2 + c1 * b2, b1 * a2 + d1 * b2, a1 * c2 + c1 * d2, b1 * c2 + d1 * d2,
            a1 * tx2 + c1 * ty2 + tx1, b1 * tx2 + d1 * ty2 + ty1)


def apply(m, x, y):
    a, b, c, d, tx, ty = m
    return a * x + c * y + tx, b * x + d * y + ty


IDENTITY = (1.0, 0.0, 0.0, 1.0, 0, 0)


def shape_outlines(r, fill_bits, line_bits):
    """Outlines as point lists in twips (curves flattened), with the fill style in use."""
    outlines, current, style, x, y = [], None, 0, 0, 0
    while True:
        if r.u(1) == 0:
            flags = r.u(5)
            if flags == 0:
                break
            if flags & 1:
                n = r.u(5)
                x, y = r.s(n), r.s(n)
                current = [(x, y)]
                outlines.append((style, current))
            if flags & 2:
                v = r.u(fill_bits)
                style = v or style
            if flags & 4:
                v = r.u(fill_bits)
                style = v or style
            if flags & 8:
                r.u(line_bits)
            if outlines:
                outlines[-1] = (style, outlines[-1][1])
        elif r.u(1):
            n = r.u(4) + 2
            if r.u(1):
                x, y = x + r.s(n), y + r.s(n)
            elif r.u(1):
                y += r.s(n)
            else:
                x += r.s(n)
            current.append((x, y))
        else:
            n = r.u(4) + 2
            cx, cy = x + r.s(n), y + r.s(n)
            ax, ay = cx + r.s(n), cy + r.s(n)
            for i in range(1, 9):
                t = i / 8
                current.append(((1 - t) ** 2 * x + 2 * (1 - t) * t * cx + t * t * ax,
                                (1 - t) ** 2 * y + 2 * (1 - t) * t * cy + t * t * ay))
            x, y = ax, ay
    return outlines


def parse(data):
    r = Reader(data, 8)
    stage = r.rect()
    at = r.pos() + 4
    characters, frames, display, background = {}, [], {}, (255, 255, 255)
    fonts = {}
    while at < len(data):
        h = struct.unpack_from("<H", data, at)[0]
        code, length, at = h >> 6, h & 0x3F, at + 2
        if length == 0x3F:
            length, at = struct.unpack_from("<I", data, at)[0], at + 4
        body = data[at:at + length]
        at += length
        if code == 0:
            break
        if code == 9:
            background = tuple(body[:3])
        elif code == 32:
            t = Reader(body)
            cid = t.le16()
            t.rect()
            fills = []
            for _ in range(t.byte()):
                kind = t.byte()
                if kind == 0:
                    fills.append(("solid", tuple(t.byte() for _ in range(4))))
                else:
                    m = t.matrix()
                    stops = [(t.byte(), tuple(t.byte() for _ in range(4))) for _ in range(t.byte() & 0x0F)]
                    fills.append(("linear", m, stops))
            lines = []
            for _ in range(t.byte()):
                width = t.le16()
                lines.append((width, tuple(t.byte() for _ in range(4))))
            fill_bits, line_bits = t.u(4), t.u(4)
            characters[cid] = ("shape", fills, lines, shape_outlines(t, fill_bits, line_bits))
        elif code == 48:
            t = Reader(body)
            fid = t.le16()
            t.byte(), t.byte()
            name_length = t.byte()
            t.bit += name_length * 8
            count = t.le16()
            start = t.pos()
            offsets = [t.le16() for _ in range(count + 1)]
            glyphs = []
            for i in range(count):
                g = Reader(body, start + offsets[i])
                fb, lb = g.u(4), g.u(4)
                glyphs.append(shape_outlines(g, fb, lb))
            fonts[fid] = glyphs
        elif code == 11:
            t = Reader(body)
            cid = t.le16()
            t.rect()
            m = t.matrix()
            gbits, abits = t.byte(), t.byte()
            runs, font, colour, x, y, size = [], None, (0, 0, 0), 0, 0, 0
            while True:
                flags = t.byte()
                if flags == 0:
                    break
                if flags & 8:
                    font = t.le16()
                if flags & 4:
                    colour = (t.byte(), t.byte(), t.byte())
                if flags & 1:
                    x = struct.unpack("<h", bytes((t.byte(), t.byte())))[0]
                if flags & 2:
                    y = struct.unpack("<h", bytes((t.byte(), t.byte())))[0]
                if flags & 8:
                    size = t.le16()
                for _ in range(t.byte()):
                    index, advance = t.u(gbits), t.s(abits)
                    runs.append((font, index, x, y, size, colour))
                    x += advance
            characters[cid] = ("text", m, runs)
        elif code == 34:
            t = Reader(body)
            cid = t.le16()
            t.byte()
            t.le16()
            parts = []
            while True:
                flags = t.byte()
                if flags == 0:
                    break
                char, depth = t.le16(), t.le16()
                m = t.matrix()
                t.byte()  # an empty colour transform
                if flags & 1:
                    parts.append((depth, char, m))
            characters[cid] = ("button", sorted(parts))
        elif code == 26:
            t = Reader(body)
            flags = t.byte()
            depth = t.le16()
            entry = dict(display.get(depth, {})) if flags & 1 else {}
            if flags & 2:
                entry["char"] = t.le16()
            if flags & 4:
                entry["matrix"] = t.matrix()
            display[depth] = entry
        elif code == 1:
            frames.append({d: dict(e) for d, e in display.items()})
    return stage, background, characters, fonts, frames


def draw_character(layer, characters, fonts, cid, m, scale):
    kind = characters.get(cid, (None,))[0]
    if kind == "shape":
        _, fills, lines, outlines = characters[cid]
        for style, points in outlines:
            if not style or len(points) < 3:
                continue
            pts = [tuple(v * scale for v in apply(m, x, y)) for x, y in points]
            fill = fills[style - 1]
            if fill[0] == "solid":
                colour = fill[1]
            else:
                stops = fill[2]
                colour = tuple(int(sum(s[1][i] for s in stops) / len(stops)) for i in range(4))
            overlay = Image.new("RGBA", layer.size, (0, 0, 0, 0))
            ImageDraw.Draw(overlay).polygon(pts, fill=colour)
            if fill[0] == "linear":
                draw_gradient(overlay, compose(m, fill[1]), fill[2], scale)
            if lines:
                ImageDraw.Draw(overlay).line(pts + pts[:1], fill=lines[0][1], width=max(1, int(lines[0][0] * scale)))
            layer.alpha_composite(overlay)
    elif kind == "text":
        _, tm, runs = characters[cid]
        full = compose(m, tm)
        for font, index, x, y, size, colour in runs:
            glyph_m = compose(full, (size / 1024, 0, 0, size / 1024, x, y))
            for _, points in fonts[font][index]:
                pts = [tuple(v * scale for v in apply(glyph_m, px, py)) for px, py in points]
                overlay = Image.new("RGBA", layer.size, (0, 0, 0, 0))
                ImageDraw.Draw(overlay).polygon(pts, fill=colour + (255,))
                layer.alpha_composite(overlay)
    elif kind == "button":
        for _, char, pm in characters[cid][1]:
            draw_character(layer, characters, fonts, char, compose(m, pm), scale)


def draw_gradient(overlay, m, stops, scale):
    """Recolours the overlay's covered pixels along the gradient's axis."""
    a, b, c, d, tx, ty = m
    det = a * d - b * c
    px = overlay.load()
    for y in range(overlay.size[1]):
        for x in range(overlay.size[0]):
            if px[x, y][3] == 0:
                continue
            gx, gy = x / scale - tx, y / scale - ty
            u = (d * gx - c * gy) / det  # back into the gradient square
            ratio = min(255, max(0, (u + 16384) / 32768 * 255))
            lo = max((s for s in stops if s[0] <= ratio), key=lambda s: s[0], default=stops[0])
            hi = min((s for s in stops if s[0] >= ratio), key=lambda s: s[0], default=stops[-1])
            k = 0 if hi[0] == lo[0] else (ratio - lo[0]) / (hi[0] - lo[0])
            px[x, y] = tuple(int(lo[1][i] + (hi[1][i] - lo[1][i]) * k) for i in range(4))


def main():
    data = open(sys.argv[1], "rb").read()
    stage, background, characters, fonts, frames = parse(data)
    scale = 1 / 20
    size = (int(stage[1] * scale), int(stage[3] * scale))
    wanted = [int(f) for f in sys.argv[3:]] or [0]
    for f in wanted:
        img = Image.new("RGBA", size, background + (255,))
        for depth in sorted(frames[f]):
            e = frames[f][depth]
            if "char" in e:
                draw_character(img, characters, fonts, e["char"], e.get("matrix", IDENTITY), scale)
        img.convert("RGB").save("%s-%d.png" % (sys.argv[2], f))
        print("%s-%d.png" % (sys.argv[2], f))


if __name__ == "__main__":
    main()
