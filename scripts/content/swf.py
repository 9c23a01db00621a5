"""A small writer of uncompressed movies (FWS): bit-packed records, shapes with solid,
alpha and gradient fills, outline fonts and static text, sounds, sprites, buttons, video
objects and action bytecode. Coordinates are in pixels unless a name says twips."""
import math
import struct

TWIPS = 20


class Bits:
    """Most-significant-bit-first packing, as every bit field of the format is stored."""

    def __init__(self):
        self.bits = []

    def u(self, value, n):
        assert 0 <= value < (1 << n) or n == 0 and value == 0, (value, n)
        self.bits += [(value >> (n - 1 - i)) & 1 for i in range(n)]

    def s(self, value, n):
        assert -(1 << (n - 1)) <= value < (1 << (n - 1)), (value, n)
        self.u(value & ((1 << n) - 1), n)

    def bytes(self):
        bits = self.bits + [0] * (-len(self.bits) % 8)
        return bytes(int("".join(map(str, bits[i:i + 8])), 2) for i in range(0, len(bits), 8))


def sbits(*values):
    """Bits a signed field needs to hold every value (sign included)."""
    n = 1
    for v in values:
        while not -(1 << (n - 1)) <= v < (1 << (n - 1)):
            n += 1
    return n


def ubits(*values):
    return max(1, max(int(v).bit_length() for v in values))


def rect(xmin, xmax, ymin, ymax):
    """A RECT in twips."""
    b = Bits()
    n = sbits(xmin, xmax, ymin, ymax)
    b.u(n, 5)
    for v in (xmin, xmax, ymin, ymax):
        b.s(v, n)
    return b.bytes()


def fixed(value):
    return int(round(value * 65536))


def matrix(tx=0.0, ty=0.0, scale=(1.0, 1.0), rotate=0.0):
    """A MATRIX: scale, then rotate (degrees), then translate (pixels)."""
    b = Bits()
    c, s = math.cos(math.radians(rotate)), math.sin(math.radians(rotate))
    sx, sy = fixed(scale[0] * c), fixed(scale[1] * c)
    r0, r1 = fixed(scale[0] * s), fixed(-scale[1] * s)
    has_scale = (sx, sy) != (65536, 65536)
    b.u(int(has_scale), 1)
    if has_scale:
        n = sbits(sx, sy)
        b.u(n, 5), b.s(sx, n), b.s(sy, n)
    has_rotate = (r0, r1) != (0, 0)
    b.u(int(has_rotate), 1)
    if has_rotate:
        n = sbits(r0, r1)
        b.u(n, 5), b.s(r0, n), b.s(r1, n)
    x, y = int(round(tx * TWIPS)), int(round(ty * TWIPS))
    n = sbits(x, y) if (x, y) != (0, 0) else 0
    b.u(n, 5)
    if n:
        b.s(x, n), b.s(y, n)
    return b.bytes()


NO_CXFORM = b"\x00"  # a colour transform that changes nothing


def cxform_alpha(mult=(256, 256, 256, 256)):
    b = Bits()
    b.u(0, 1)  # no add terms
    b.u(1, 1)
    n = sbits(*mult)
    b.u(n, 4)
    for v in mult:
        b.s(v, n)
    return b.bytes()


def tag(code, body=b""):
    # Tags that the format requires in long form are always written long.
    if len(body) < 0x3F and code not in LONG_ONLY_TAGS:
        return struct.pack("<H", code << 6 | len(body)) + body
    return struct.pack("<HI", code << 6 | 0x3F, len(body)) + body


END, SHOW_FRAME, DEFINE_SHAPE, PLACE_OBJECT, REMOVE_OBJECT = 0, 1, 2, 4, 5
SET_BACKGROUND_COLOR, DEFINE_TEXT, DO_ACTION = 9, 11, 12
DEFINE_SOUND, START_SOUND = 14, 15
PLACE_OBJECT2, REMOVE_OBJECT2, DEFINE_SHAPE3 = 26, 28, 32
DEFINE_BUTTON2, DEFINE_EDIT_TEXT, DEFINE_SPRITE, FRAME_LABEL = 34, 37, 39, 43
DEFINE_FONT2, DEFINE_VIDEO_STREAM = 48, 60
LONG_ONLY_TAGS = (DEFINE_SOUND,)


def rgba(colour):
    r, g, b = colour[:3]
    a = colour[3] if len(colour) > 3 else 255
    return bytes((r, g, b, a))


# ---- shapes ---------------------------------------------------------------------------

class Path:
    """Closed outlines in twips: polygons and quadratic curves, each subpath starting with
    a move. Edges are stored as deltas, as the format keeps them."""

    def __init__(self):
        self.subpaths = []  # [(start, [("L", dx, dy) | ("Q", cx, cy, ax, ay)])]

    def polygon(self, points):
        pts = [(int(round(x * TWIPS)), int(round(y * TWIPS))) for x, y in points]
        edges, (px, py) = [], pts[0]
        for x, y in pts[1:] + pts[:1]:
            edges.append(("L", x - px, y - py))
            px, py = x, y
        self.subpaths.append((pts[0], edges))
        return self

    def rect(self, x, y, w, h):
        # Clockwise on screen (y grows downwards): the inside lies to the edges' right.
        return self.polygon([(x, y), (x + w, y), (x + w, y + h), (x, y + h)])

    def ellipse(self, cx, cy, rx, ry, segments=8):
        # Quadratic arcs: anchors on the ellipse, controls where neighbouring tangents meet.
        step = 2 * math.pi / segments
        start = (int(round((cx + rx) * TWIPS)), int(round(cy * TWIPS)))
        edges, (px, py) = [], start
        for i in range(1, segments + 1):
            a0, a1 = (i - 1) * step, i * step
            k = 1 / math.cos(step / 2)
            mid = (a0 + a1) / 2
            c = (int(round((cx + rx * k * math.cos(mid)) * TWIPS)), int(round((cy + ry * k * math.sin(mid)) * TWIPS)))
            a = (int(round((cx + rx * math.cos(a1)) * TWIPS)), int(round((cy + ry * math.sin(a1)) * TWIPS)))
            if i == segments:
                a = start
            edges.append(("Q", c[0] - px, c[1] - py, a[0] - c[0], a[1] - c[1]))
            px, py = a
        self.subpaths.append((start, edges))
        return self

    def bounds(self):
        xs, ys = [], []
        for (x, y), edges in self.subpaths:
            xs.append(x), ys.append(y)
            for e in edges:
                for i in range(1, len(e), 2):
                    x += e[i]
                    y += e[i + 1]
                    xs.append(x), ys.append(y)
        return min(xs), max(xs), min(ys), max(ys)


def shape_records(b, path, fill_bits, line_bits, fill0=0, fill1=0, line=0):
    first = True
    for (x, y), edges in path.subpaths:
        # Style change: move (and on the first subpath the styles).
        b.u(0, 1)
        b.u(0, 1)  # no new styles
        b.u(int(first and line_bits > 0), 1)
        b.u(int(first and fill1 > 0), 1)
        b.u(int(first and fill0 > 0), 1)
        b.u(1, 1)
        n = sbits(x, y)
        b.u(n, 5), b.s(x, n), b.s(y, n)
        if first and fill0 > 0:
            b.u(fill0, fill_bits)
        if first and fill1 > 0:
            b.u(fill1, fill_bits)
        if first and line_bits > 0:
            b.u(line, line_bits)
        first = False
        for e in edges:
            b.u(1, 1)
            if e[0] == "L":
                dx, dy = e[1], e[2]
                n = max(2, sbits(dx, dy))
                b.u(1, 1), b.u(n - 2, 4)
                if dx and dy:
                    b.u(1, 1), b.s(dx, n), b.s(dy, n)
                elif dy:
                    b.u(0, 1), b.u(1, 1), b.s(dy, n)
                else:
                    b.u(0, 1), b.u(0, 1), b.s(dx, n)
            else:
                n = max(2, sbits(*e[1:]))
                b.u(0, 1), b.u(n - 2, 4)
                for v in e[1:]:
                    b.s(v, n)
    b.u(0, 6)  # end of shape


def solid_fill(colour):
    return b"\x00" + rgba(colour)


def linear_gradient_fill(x, y, w, h, stops, angle=0.0):
    """A linear gradient across the box (pixels) at 0 (left to right) or 90 degrees (top to
    bottom); stops are (ratio 0..255, colour)."""
    # The gradient square spans -16384..16384 twips along its own axes: scale its axis of
    # change onto the box's extent in that direction, then turn and centre it.
    along, across = (w, h) if angle % 180 == 0 else (h, w)
    m = matrix(x + w / 2, y + h / 2, (along * TWIPS / 32768.0, across * TWIPS / 32768.0), angle)
    body = b"\x10" + m + bytes((len(stops),))
    for ratio, colour in stops:
        body += bytes((ratio,)) + rgba(colour)
    return body


def define_shape3(shape_id, path, fill, line=None):
    """One filled outline (fill style 1, inside to the right of clockwise edges), with an
    optional outline stroke (width pixels, colour)."""
    xmin, xmax, ymin, ymax = path.bounds()
    pad = int(line[0] * TWIPS) if line else 0
    body = struct.pack("<H", shape_id) + rect(xmin - pad, xmax + pad, ymin - pad, ymax + pad)
    body += b"\x01" + fill
    if line:
        body += b"\x01" + struct.pack("<H", int(line[0] * TWIPS)) + rgba(line[1])
    else:
        body += b"\x00"
    b = Bits()
    line_bits = 1 if line else 0
    b.u(1, 4), b.u(line_bits, 4)
    shape_records(b, path, 1, line_bits, fill1=1, line=1 if line else 0)
    return tag(DEFINE_SHAPE3, body + b.bytes())


# ---- fonts and text -------------------------------------------------------------------

# Block letters on a 5 x 7 grid, one string per row ('#' filled).
GLYPHS = {
    " ": [".....", ".....", ".....", ".....", ".....", ".....", "....."],
    ".": [".....", ".....", ".....", ".....", ".....", ".##..", ".##.."],
    "#": [".#.#.", ".#.#.", "#####", ".#.#.", "#####", ".#.#.", ".#.#."],
    "1": ["..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "2": [".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"],
    "3": ["####.", "....#", "....#", ".###.", "....#", "....#", "####."],
    "4": ["...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."],
    "5": ["#####", "#....", "####.", "....#", "....#", "#...#", ".###."],
    "C": [".####", "#....", "#....", "#....", "#....", "#....", ".####"],
    "D": ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "I": [".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "M": ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "b": ["#....", "#....", "####.", "#...#", "#...#", "#...#", "####."],
    "d": ["....#", "....#", ".####", "#...#", "#...#", "#...#", ".####"],
    "e": [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    "g": [".....", ".####", "#...#", "#...#", ".####", "....#", ".###."],
    "i": ["..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."],
    "l": [".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "m": [".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#...#"],
    "n": [".....", ".....", "####.", "#...#", "#...#", "#...#", "#...#"],
    "o": [".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    "t": [".#...", ".#...", "####.", ".#...", ".#...", ".#..#", "..##."],
    "x": [".....", ".....", "#...#", ".#.#.", "..#..", ".#.#.", "#...#"],
}
EM = 1024          # glyph outlines are designed on the 1024-unit em square
CELL = 128         # one grid cell of a block letter
ADVANCE_CELLS = 6  # five cells of letter and one of spacing


def glyph_path(char):
    """Each row's runs of filled cells as rectangles, counter-clockwise on screen: glyph
    outlines are filled with fill style 0, on the edges' left. The baseline is at 0, the
    letter rises 7 cells above it."""
    p = Path()
    rows = GLYPHS[char]
    for r, row in enumerate(rows):
        c = 0
        while c < len(row):
            if row[c] != "#":
                c += 1
                continue
            start = c
            while c < len(row) and row[c] == "#":
                c += 1
            x0, x1 = start * CELL, c * CELL
            y0, y1 = (r - 7) * CELL, (r - 6) * CELL
            # Points are in em units; Path scales pixels to twips, so undo that here.
            p.polygon([(x0 / TWIPS, y0 / TWIPS), (x0 / TWIPS, y1 / TWIPS), (x1 / TWIPS, y1 / TWIPS), (x1 / TWIPS, y0 / TWIPS)])
    return p


class Font:
    def __init__(self, font_id, name, chars):
        self.font_id = font_id
        self.name = name
        self.chars = sorted(set(chars))

    def index(self, char):
        return self.chars.index(char)

    def define(self):
        shapes = []
        for ch in self.chars:
            b = Bits()
            b.u(1, 4), b.u(0, 4)
            path = glyph_path(ch)
            if path.subpaths:
                shape_records(b, path, 1, 0, fill0=1)
            else:
                b.u(0, 6)
            shapes.append(b.bytes())
        n = len(shapes)
        offsets, at = [], 2 * (n + 1)
        for s in shapes:
            offsets.append(at)
            at += len(s)
        name = self.name.encode("ascii")
        # Flags: wide character codes (required from version 6 on), no layout.
        body = struct.pack("<HBB", self.font_id, 0x04, 0) + bytes((len(name),)) + name
        body += struct.pack("<H", n) + b"".join(struct.pack("<H", o) for o in offsets)
        body += struct.pack("<H", at) + b"".join(shapes)
        body += b"".join(struct.pack("<H", ord(c)) for c in self.chars)
        return tag(DEFINE_FONT2, body)


def define_text(text_id, font, text, x, y, height, colour):
    """One line of static text with its baseline at (x, y), letters height pixels tall."""
    # The em square holds 8 cells (1024 / 128); a letter is 7 of them tall.
    em_twips = int(round(height * TWIPS * 8 / 7))
    advance = int(round(em_twips * ADVANCE_CELLS * CELL / EM))
    width = advance * len(text)
    glyph_bits = ubits(len(font.chars) - 1)
    advance_bits = sbits(advance)
    bounds = rect(0, width, -int(height * TWIPS), 0)
    b = Bits()
    b.u(1, 1), b.u(0, 3)
    b.u(1, 1), b.u(1, 1), b.u(1, 1), b.u(1, 1)  # font, colour, y offset, x offset
    rec = b.bytes() + struct.pack("<H", font.font_id) + bytes(colour[:3])
    rec += struct.pack("<hhH", 0, 0, em_twips) + bytes((len(text),))
    g = Bits()
    for ch in text:
        g.u(font.index(ch), glyph_bits)
        g.s(advance, advance_bits)
    rec += g.bytes()
    body = struct.pack("<H", text_id) + bounds + matrix(x, y) + bytes((glyph_bits, advance_bits)) + rec + b"\x00"
    return tag(DEFINE_TEXT, body), width / TWIPS


# ---- placing, sprites, sounds, video --------------------------------------------------

def place(depth, char_id=None, m=None, cx=None, name=None, move=False):
    flags = (0x20 if name else 0) | (0x08 if cx else 0) | (0x04 if m else 0) | (0x02 if char_id else 0) | (0x01 if move else 0)
    body = bytes((flags,)) + struct.pack("<H", depth)
    if char_id:
        body += struct.pack("<H", char_id)
    if m:
        body += m
    if cx:
        body += cx
    if name:
        body += name.encode("ascii") + b"\x00"
    return tag(PLACE_OBJECT2, body)


def define_sprite(sprite_id, frames, tags=b""):
    return tag(DEFINE_SPRITE, struct.pack("<HH", sprite_id, frames) + tags + tag(SHOW_FRAME) * frames + tag(END))


def define_sound_pcm8(sound_id, samples, rate_code):
    """Uncompressed little-endian sound (format 3), 8-bit unsigned mono samples."""
    flags = (3 << 4) | (rate_code << 2) | (0 << 1) | 0
    return tag(DEFINE_SOUND, struct.pack("<HBI", sound_id, flags, len(samples)) + bytes(samples))


def start_sound(sound_id):
    return tag(START_SOUND, struct.pack("<HB", sound_id, 0))


def define_video_stream(video_id, width, height, frames=0, codec=0):
    return tag(DEFINE_VIDEO_STREAM, struct.pack("<HHHHBB", video_id, frames, width, height, 0, codec))


# ---- actions --------------------------------------------------------------------------

class Actions:
    """Action bytecode with a constant pool; push values are ints, None (null) or
    constant-pool strings."""

    def __init__(self, pool):
        self.pool = list(pool)
        self.code = b""

    def _record(self, code, payload=None):
        self.code += bytes((code,))
        if payload is not None:
            self.code += struct.pack("<H", len(payload)) + payload

    def push(self, *values):
        payload = b""
        for v in values:
            if v is None:
                payload += b"\x02"
            elif isinstance(v, bool):
                payload += b"\x05" + bytes((int(v),))
            elif isinstance(v, int):
                payload += b"\x07" + struct.pack("<i", v)
            elif v in self.pool:
                payload += b"\x08" + bytes((self.pool.index(v),))
            else:
                payload += b"\x00" + v.encode("ascii") + b"\x00"
        self._record(0x96, payload)
        return self

    def op(self, code):
        self._record(code)
        return self

    def get_variable(self): return self.op(0x1C)
    def set_variable(self): return self.op(0x1D)
    def new_object(self): return self.op(0x40)
    def call_method(self): return self.op(0x52)
    def pop(self): return self.op(0x17)

    def get_url2(self, load_target):
        self._record(0x9A, bytes((0x02 if load_target else 0x00,)))
        return self

    def bytes(self):
        if not self.pool:
            return self.code + b"\x00"
        pool = struct.pack("<H", len(self.pool)) + b"".join(s.encode("ascii") + b"\x00" for s in self.pool)
        return bytes((0x88,)) + struct.pack("<H", len(pool)) + pool + self.code + b"\x00"


def movie(version, width, height, fps, frame_count, tags):
    body = rect(0, width * TWIPS, 0, height * TWIPS) + struct.pack("<BBH", int(round((fps % 1) * 256)), int(fps), frame_count)
    body += tags + tag(END)
    return b"FWS" + bytes((version,)) + struct.pack("<I", 8 + len(body)) + body
