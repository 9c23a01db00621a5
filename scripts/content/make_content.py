#!/usr/bin/python3
"""Writes every resource the demonstration programs embed:
  samples/clipdemo/res/   Movie.swf  FLVPlayer.swf  FlashVideo.flv
  samples/assetdemo/res/  Movie.swf  image1.jpg ... image5.jpg
Run by hand (needs Pillow and ffmpeg with libmp3lame) when the content is to change; the
results are committed, so neither the build nor the tests need these tools."""
import math
import os
import struct
import subprocess
import sys

from PIL import Image, ImageDraw, ImageFont

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import swf  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
CLIPDEMO = os.path.join(ROOT, "samples", "clipdemo", "res")
ASSETDEMO = os.path.join(ROOT, "samples", "assetdemo", "res")

IMAGE_SIZE = (288, 209)
# Dominant colour of each embedded image; the tests compare the shown picture with these.
IMAGE_COLOURS = [(200, 40, 40), (40, 160, 60), (40, 80, 200), (230, 150, 20), (140, 50, 170)]


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)
    print("%s: %d bytes" % (os.path.relpath(path, ROOT), len(data)))


# ---- clipdemo ---------------------------------------------------------------------------

def ding(rate=11025, seconds=0.2, pitch=880.0):
    """A short decaying tone as 8-bit unsigned samples."""
    n = int(rate * seconds)
    out = []
    for i in range(n):
        t = i / rate
        level = math.exp(-t * 14) * math.sin(2 * math.pi * pitch * t) + 0.3 * math.exp(-t * 20) * math.sin(4 * math.pi * pitch * t)
        out.append(max(0, min(255, 128 + int(round(100 * level)))))
    return out


def clip_movie():
    """400 x 400 at 12 fps, 54 frames: a gradient band sliding, a turning square, a
    bouncing ball, a half-transparent pane drifting over them, block-letter text and a
    short tone at the start and the middle. Most of the stage stays empty, so a windowless
    player shows its parent there."""
    frames = 54
    t = swf.tag(swf.SET_BACKGROUND_COLOR, bytes((0x1E, 0x3C, 0x64)))
    band = swf.Path().rect(-100, -35, 200, 70)
    t += swf.define_shape3(1, band, swf.linear_gradient_fill(-100, -35, 200, 70, [
        (0, (230, 40, 40)), (128, (250, 220, 40)), (255, (40, 200, 90))]))
    square = swf.Path().rect(-45, -45, 90, 90)
    t += swf.define_shape3(2, square, swf.solid_fill((250, 250, 250)), line=(3, (20, 20, 20)))
    ball = swf.Path().ellipse(0, 0, 32, 32)
    t += swf.define_shape3(3, ball, swf.solid_fill((255, 140, 0)))
    pane = swf.Path().rect(0, 0, 150, 150)
    t += swf.define_shape3(4, pane, swf.solid_fill((120, 200, 255, 128)))
    font = swf.Font(5, "Blocks", "CLIPDEMO")
    t += font.define()
    text, width = swf.define_text(6, font, "CLIPDEMO", 0, 0, 28, (255, 255, 255))
    t += text
    t += swf.define_sound_pcm8(7, ding(), 1)

    for f in range(frames):
        phase = 2 * math.pi * f / frames
        move = f > 0
        t += swf.place(1, None if move else 1, swf.matrix(200 + 120 * math.sin(phase), 70), move=move)
        t += swf.place(2, None if move else 2, swf.matrix(110, 210, rotate=f * 5), move=move)
        t += swf.place(3, None if move else 3, swf.matrix(300, 320 - 170 * abs(math.sin(phase))), move=move)
        t += swf.place(4, None if move else 4, swf.matrix(150 + 60 * math.cos(phase), 150 + 40 * math.sin(phase)), move=move)
        if f == 0:
            t += swf.place(5, 6, swf.matrix((400 - width) / 2, 385))
        if f in (0, frames // 2):
            t += swf.start_sound(7)
        t += swf.tag(swf.SHOW_FRAME)
    return swf.movie(6, 400, 400, 12, frames, t)


def flv_player_movie():
    """800 x 600 white stage, 25 fps, one frame: a video object my_video (160 x 120, shown
    four times that size in the middle) and the script that plays the URL in FLVPath."""
    t = swf.tag(swf.SET_BACKGROUND_COLOR, bytes((255, 255, 255)))
    t += swf.define_video_stream(1, 160, 120)
    t += swf.place(1, 1, swf.matrix(80, 60, (4.0, 4.0)), name="my_video")
    a = swf.Actions(["nc", "NetConnection", "connect", "ns", "NetStream", "my_video",
                     "attachVideo", "setBufferTime", "FLVPath", "play"])
    # var nc = new NetConnection();
    a.push("nc", 0, "NetConnection").new_object().set_variable()
    # nc.connect(null);
    a.push(None, 1, "nc").get_variable().push("connect").call_method().pop()
    # var ns = new NetStream(nc);
    a.push("ns", "nc").get_variable().push(1, "NetStream").new_object().set_variable()
    # my_video.attachVideo(ns);
    a.push("ns").get_variable().push(1, "my_video").get_variable().push("attachVideo").call_method().pop()
    # ns.setBufferTime(0);
    a.push(0, 1, "ns").get_variable().push("setBufferTime").call_method().pop()
    # ns.play(FLVPath);
    a.push("FLVPath").get_variable().push(1, "ns").get_variable().push("play").call_method().pop()
    t += swf.tag(swf.DO_ACTION, a.bytes())
    t += swf.tag(swf.SHOW_FRAME)
    return swf.movie(7, 800, 600, 25, 1, t)


def flash_video(path):
    """About 6.3 s of a moving test pattern with a tone: 320 x 240, 12 fps, Sorenson H.263
    video and MP3 audio, near 140 KB."""
    subprocess.run([
        "ffmpeg", "-v", "error", "-y",
        "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=12",
        "-f", "lavfi", "-i", "sine=frequency=523:sample_rate=22050:beep_factor=4",
        "-t", "6.3", "-fflags", "+bitexact",
        "-c:v", "flv", "-b:v", "125k", "-maxrate", "125k", "-bufsize", "200k", "-g", "24", "-flags:v", "+bitexact",
        "-c:a", "libmp3lame", "-ar", "22050", "-ac", "1", "-b:a", "32k", "-flags:a", "+bitexact",
        "-f", "flv", path], check=True)
    print("%s: %d bytes" % (os.path.relpath(path, ROOT), os.path.getsize(path)))


# ---- assetdemo --------------------------------------------------------------------------

BUTTON_LABELS = ["Load embedded image #%d" % n for n in range(1, 6)] + ["Load external image..."]
BUTTON_PATHS = ["images/embedded_image%d.jpg" % n for n in range(1, 6)] + ["images/external_image.jpg"]
PICTURE_AREA = (170, 11)  # where the loaded image's top-left corner lies on the stage


def define_button2(button_id, states, actions):
    """A push button: records are (state flags, character, depth, matrix); the actions run
    on release inside the button."""
    records = b""
    for flags, char_id, depth, m in states:
        records += bytes((flags,)) + struct.pack("<HH", char_id, depth) + m + swf.NO_CXFORM
    records += b"\x00"
    condition = struct.pack("<HBB", 0, 0x08, 0x00) + actions  # over-down to over-up: release
    body = struct.pack("<HBH", button_id, 0, 2 + len(records)) + records + condition
    return swf.tag(swf.DEFINE_BUTTON2, body)


def asset_movie():
    """465 x 232 at 30 fps, one frame: six push buttons down the left side and, on the
    right, the picture area (an empty clip named picture) each button loads its image into."""
    t = swf.tag(swf.SET_BACKGROUND_COLOR, bytes((0xEC, 0xE9, 0xD8)))
    font = swf.Font(1, "Blocks", "".join(BUTTON_LABELS))
    t += font.define()
    px, py = PICTURE_AREA
    frame = swf.Path().rect(0, 0, 288, 209)
    t += swf.define_shape3(2, frame, swf.solid_fill((200, 200, 200)), line=(1, (90, 90, 90)))
    t += swf.define_sprite(3, 1)
    w, h = 156, 28
    t += swf.define_shape3(4, swf.Path().rect(0, 0, w, h), swf.linear_gradient_fill(0, 0, w, h, [
        (0, (255, 255, 255)), (255, (210, 210, 200))], angle=90), line=(1, (100, 100, 100)))
    t += swf.define_shape3(5, swf.Path().rect(0, 0, w, h), swf.linear_gradient_fill(0, 0, w, h, [
        (0, (235, 245, 255)), (255, (170, 200, 240))], angle=90), line=(1, (40, 90, 160)))
    t += swf.define_shape3(6, swf.Path().rect(0, 0, w, h), swf.solid_fill((150, 180, 220)), line=(1, (40, 90, 160)))
    t += swf.place(1, 2, swf.matrix(px, py))
    t += swf.place(2, 3, swf.matrix(px, py), name="picture")
    next_id = 10
    for i, (label, path) in enumerate(zip(BUTTON_LABELS, BUTTON_PATHS)):
        text, width = swf.define_text(next_id, font, label, 0, 0, 7, (0, 0, 0))
        t += text
        tx, ty = (w - width) / 2, 18
        # loadMovie(path, "picture"): the path and the target clip, then GetURL2 with the
        # load-into-target flag.
        actions = swf.Actions([]).push(path, "picture").get_url2(load_target=True).bytes()
        t += define_button2(next_id + 1, [
            (0x09, 4, 1, swf.matrix()),           # up and hit area
            (0x02, 5, 1, swf.matrix()),           # over
            (0x04, 6, 1, swf.matrix()),           # down
            (0x03, next_id, 2, swf.matrix(tx, ty)),
            (0x04, next_id, 2, swf.matrix(tx + 1, ty + 1)),
        ], actions)
        t += swf.place(3 + i, next_id + 1, swf.matrix(8, 12 + i * 36))
        next_id += 2
    t += swf.tag(swf.SHOW_FRAME)
    return swf.movie(6, 465, 232, 30, 1, t)


def embedded_image(n, colour):
    """Baseline JPEG, 288 x 209, RGB: a field of the image's own colour with a lighter disc
    and the image's number drawn large in white."""
    w, h = IMAGE_SIZE
    img = Image.new("RGB", (w, h), colour)
    draw = ImageDraw.Draw(img)
    light = tuple(min(255, c + 60) for c in colour)
    draw.ellipse((w / 2 - 80, h / 2 - 80, w / 2 + 80, h / 2 + 80), fill=light)
    try:
        font = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", 130)
    except OSError:
        font = ImageFont.load_default()
    draw.text((w / 2, h / 2), str(n), fill=(255, 255, 255), font=font, anchor="mm")
    draw.rectangle((0, 0, w - 1, h - 1), outline=tuple(c // 2 for c in colour), width=3)
    path = os.path.join(ASSETDEMO, "image%d.jpg" % n)
    img.save(path, "JPEG", quality=50, progressive=False, optimize=False, subsampling=2)
    print("%s: %d bytes" % (os.path.relpath(path, ROOT), os.path.getsize(path)))


def main():
    write(os.path.join(CLIPDEMO, "Movie.swf"), clip_movie())
    write(os.path.join(CLIPDEMO, "FLVPlayer.swf"), flv_player_movie())
    flash_video(os.path.join(CLIPDEMO, "FlashVideo.flv"))
    write(os.path.join(ASSETDEMO, "Movie.swf"), asset_movie())
    for n, colour in enumerate(IMAGE_COLOURS, 1):
        embedded_image(n, colour)


if __name__ == "__main__":
    main()
