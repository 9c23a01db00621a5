#!/usr/bin/env python3
"""Writes Movie.swf, the layereddemo's embedded movie: an uncompressed movie of a 320 x 240
stage without a background colour (so the stage is transparent and only what the movie
draws on it shows), 24 frames at 12 frames per second:
  - an opaque dark panel in the top-left corner,
  - an opaque orange disc circling beside it,
  - a half-transparent blue pane over the panel's lower edge, so the layered window has
    partly transparent pixels besides the fully transparent stage and the opaque shapes.
The bottom-right quarter of the stage stays empty: the desktop shows there.
Run it from this folder when the movie is to change (uses the content generator's SWF
writer in scripts/content); the result is committed."""
import math
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "content"))
import swf  # noqa: E402

FRAMES = 24
FRAME_RATE = 12
PANEL = (0x20, 0x28, 0x38)          # check_by_hand.sh looks for this colour at (20, 20)
DISC = (255, 140, 0)
PANE = (120, 200, 255, 128)         # alpha 128 of 255

t = swf.define_shape3(1, swf.Path().rect(0, 0, 140, 90), swf.solid_fill(PANEL))
t += swf.define_shape3(2, swf.Path().ellipse(0, 0, 22, 22), swf.solid_fill(DISC))
t += swf.define_shape3(3, swf.Path().rect(0, 0, 120, 60), swf.solid_fill(PANE))
for f in range(FRAMES):
    phase = 2 * math.pi * f / FRAMES
    move = f > 0
    if f == 0:
        t += swf.place(1, 1, swf.matrix(0, 0))
    t += swf.place(2, None if move else 2, swf.matrix(200 + 30 * math.cos(phase), 60 + 30 * math.sin(phase)), move=move)
    if f == 0:
        t += swf.place(3, 3, swf.matrix(40, 70))
    t += swf.tag(swf.SHOW_FRAME)
movie = swf.movie(8, 320, 240, FRAME_RATE, FRAMES, t)

with open(sys.argv[1] if len(sys.argv) > 1 else "Movie.swf", "wb") as out:
    out.write(movie)
