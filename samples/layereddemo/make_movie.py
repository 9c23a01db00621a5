#!/usr/bin/env python3
"""Writes Movie.swf, the layereddemo's embedded movie: an uncompressed movie of a 320 x 240
stage without a background colour (so the stage is transparent and only what the player
draws on it shows) and twenty-four empty frames at 12 frames per second.
Run it from this folder when the movie is to change; the result is committed."""
import struct
import sys

FRAMES = 24
FRAME_RATE = 12
WIDTH_TWIPS, HEIGHT_TWIPS = 320 * 20, 240 * 20


def tag(code, body=b""):
    assert len(body) < 0x3F
    return struct.pack("<H", code << 6 | len(body)) + body


def rect(xmax, ymax, bits=16):
    # Nbits, then xmin, xmax, ymin, ymax, most significant bit first.
    fields = "{:05b}".format(bits) + "".join("{:0{}b}".format(v, bits) for v in (0, xmax, 0, ymax))
    fields += "0" * (-len(fields) % 8)
    return bytes(int(fields[i:i + 8], 2) for i in range(0, len(fields), 8))


SHOW_FRAME, END = 1, 0
body = rect(WIDTH_TWIPS, HEIGHT_TWIPS) + struct.pack("<BBH", 0, FRAME_RATE, FRAMES)
body += tag(SHOW_FRAME) * FRAMES + tag(END)
movie = b"FWS" + bytes((8,)) + struct.pack("<I", 8 + len(body)) + body

with open(sys.argv[1] if len(sys.argv) > 1 else "Movie.swf", "wb") as out:
    out.write(movie)
