#!/usr/bin/env python3
"""Drives clipdemo and assetdemo under Wine as a person would: clicks and keys go through the
X server (xdotool), what the windows say is read from the window tree (wintexts.exe), and
what they show from screenshots (ImageMagick import). One group is one run of one program
under one registration of the player; each case of a group is written as a GoogleTest-style
<testcase> into the results file, so the test command counts them like any other case.

    demo_driver.py GROUP --build BUILD_DIR --source SOURCE_DIR --results FILE.xml
    demo_driver.py showcase PROGRAM --build BUILD_DIR --source SOURCE_DIR --out DIR
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import traceback
from xml.sax.saxutils import escape, quoteattr

AUDIO_KEY = r"HKCU\Software\Wine\Drivers"
CLSID_KEY = r"HKLM\Software\Classes\CLSID\{D27CDB6E-AE6D-11CF-96B8-444553540000}\InprocServer32"

# Cases whose checks are written but cannot pass with the stand-in player as it is. Each is
# reported as skipped with its reason.
PENDING = {}

FORM_BACKGROUND = (0xF0, 0xF0, 0xF0)  # the system's button face colour under Wine
CLIP_MOVIE_BACKGROUND = (0x1E, 0x3C, 0x64)
FLV_PLAYER_BACKGROUND = (0xFF, 0xFF, 0xFF)
ASSET_MOVIE_BACKGROUND = (0xEC, 0xE9, 0xD8)
BALL = (255, 140, 0)  # clipdemo's bouncing ball
PANE = (120, 200, 255, 128)  # clipdemo's half-transparent pane: colour and alpha of 255


def over(colour, background):
    """A partly transparent colour laid over an opaque one."""
    a = colour[3] / 255.0
    return tuple(c * a + b * (1 - a) for c, b in zip(colour[:3], background))


class CaseFailure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise CaseFailure(message)


# ---- the machine: Wine prefix, registration, windows, screenshots --------------------------

class Session:
    def __init__(self, build, source, wine_run=None, prefix=None, modules=None, wine_arch=None):
        self.build = os.path.abspath(build)
        self.source = os.path.abspath(source)
        self.prefix = prefix or os.path.join(self.build, "wineprefix")
        self.wine_run = wine_run or os.path.join(self.source, "scripts", "wine-run.sh")
        # The runner's architecture switch (--win32 or --win64) comes before the prefix.
        self.runner = [self.wine_run] + ([wine_arch] if wine_arch else [])
        self.modules = modules or os.path.join(self.build, "refplayer")
        self.tmp = tempfile.mkdtemp(prefix="demo-driver-")
        self.process = None
        self.saved_registration = None
        self.saved_audio = None
        self.env = dict(os.environ)

    def wine(self, *args, check_rc=False, timeout=60):
        result = subprocess.run(self.runner + [self.prefix] + list(args), stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, timeout=timeout, env=self.env)
        if check_rc and result.returncode != 0:
            raise CaseFailure("wine %s failed with %d" % (" ".join(args), result.returncode))
        return result.stdout.decode("latin-1")

    def module(self, name):
        return "Z:" + os.path.join(self.modules, name).replace("/", "\\")

    # The player registration is the prefix's; it is put back as it was after the group.
    def save_registration(self):
        out = self.wine("reg", "query", CLSID_KEY, "/ve")
        self.saved_registration = None
        for line in out.splitlines():
            if "REG_SZ" in line:
                self.saved_registration = line.split("REG_SZ", 1)[1].strip()

    def restore_registration(self):
        if self.saved_registration:
            self.wine("reg", "add", CLSID_KEY, "/ve", "/d", self.saved_registration, "/f")
        else:
            self.wine("reg", "delete", CLSID_KEY, "/f")

    # The prefix has no audio driver; a run that records sound names one and puts it back.
    def use_audio_driver(self, name):
        out = self.wine("reg", "query", AUDIO_KEY, "/v", "Audio")
        self.saved_audio = ""
        for line in out.splitlines():
            if "REG_SZ" in line:
                self.saved_audio = line.split("REG_SZ", 1)[1].strip()
        self.wine("reg", "add", AUDIO_KEY, "/v", "Audio", "/d", name, "/f")

    def restore_audio_driver(self):
        if self.saved_audio is not None:
            self.wine("reg", "add", AUDIO_KEY, "/v", "Audio", "/d", self.saved_audio, "/f")

    # The stand-in player reads refplayer.cfg from the system folder (both of a 64-bit prefix);
    # a run that changes it puts back what was there.
    def player_settings(self, text):
        self.saved_settings = getattr(self, "saved_settings", {})
        for folder in ("system32", "syswow64"):
            path = os.path.join(self.prefix, "drive_c", "windows", folder, "refplayer.cfg")
            if not os.path.isdir(os.path.dirname(path)):
                continue
            if path not in self.saved_settings:
                self.saved_settings[path] = open(path, "rb").read() if os.path.exists(path) else None
            with open(path, "w") as out:
                out.write(text)

    def restore_player_settings(self):
        for path, data in getattr(self, "saved_settings", {}).items():
            if data is None:
                if os.path.exists(path):
                    os.remove(path)
            else:
                with open(path, "wb") as out:
                    out.write(data)
        self.saved_settings = {}

    def register(self, module_name):
        if module_name is None:
            self.wine("reg", "delete", CLSID_KEY, "/f")
        else:
            self.wine("regsvr32", "/s", self.module(module_name), check_rc=True)

    def start(self, program):
        exe = os.path.join(self.build, "samples", program, program + ".exe")
        self.process = subprocess.Popen(self.runner + [self.prefix, exe], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, env=self.env)

    def running(self):
        return self.process is not None and self.process.poll() is None

    def stop(self):
        if self.running():
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
        # Whatever the program left behind in the prefix goes with its wine server.
        subprocess.run(["/usr/lib/wine/wineserver", "-k"], env=dict(os.environ, WINEPREFIX=self.prefix),
                       stderr=subprocess.DEVNULL)
        self.process = None

    def windows(self, title=None):
        """The window tree: a list of dicts, children after their top-level window."""
        args = [os.path.join(self.build, "tests", "demos", "wintexts.exe")]
        if title:
            args.append(title)
        out = self.wine(*args)
        rows = []
        for line in out.splitlines():
            parts = line.split(" ", 11)
            if len(parts) < 11:
                continue
            text = parts[11] if len(parts) > 11 else ""
            text = text.replace("\\r", "\r").replace("\\n", "\n").replace("\\\\", "\\")
            rows.append(dict(depth=int(parts[0]), hwnd=parts[1], pid=parts[2], visible=parts[3] == "1",
                             cls=parts[4], checked=int(parts[5]), focused=parts[6] == "1",
                             x=int(parts[7]), y=int(parts[8]), w=int(parts[9]), h=int(parts[10]), text=text))
        return rows

    def top_levels(self, title):
        return [w for w in self.windows(title) if w["depth"] == 0]

    def wait_for(self, what, timeout=30.0, interval=0.5):
        end = time.time() + timeout
        while time.time() < end:
            value = what()
            if value:
                return value
            time.sleep(interval)
        return what()

    def screenshot(self, name):
        path = os.path.join(self.tmp, name + ".png")
        subprocess.run(["import", "-window", "root", path], check=True, stderr=subprocess.DEVNULL)
        return path

    def click(self, x, y, button=1):
        subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", str(button)], check=True)

    def key(self, name):
        subprocess.run(["xdotool", "key", name], check=True)


def pixels(png, x, y, w, h):
    """The area's pixels as (r, g, b) tuples, row by row."""
    raw = subprocess.run(["convert", png, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage", "-depth", "8", "rgb:-"],
                         stdout=subprocess.PIPE, check=True).stdout
    return [tuple(raw[i:i + 3]) for i in range(0, len(raw), 3)]


def pixel(png, x, y):
    return pixels(png, x, y, 1, 1)[0]


def mean(colours):
    n = max(1, len(colours))
    return tuple(sum(c[i] for c in colours) / n for i in range(3))


def near(a, b, tolerance=12):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def image_mean(path):
    """An image file's mean colour, as ImageMagick computes it."""
    raw = subprocess.run(["convert", path, "-resize", "1x1!", "-depth", "8", "rgb:-"], stdout=subprocess.PIPE,
                         check=True).stdout
    return tuple(raw[:3])


# ---- the programs -------------------------------------------------------------------------

class Form:
    """A running program's main window as the tree shows it."""

    def __init__(self, session, title):
        self.session = session
        self.title = title
        self.refresh()

    def refresh(self):
        tree = self.session.windows(self.title)
        tops = [i for i, w in enumerate(tree) if w["depth"] == 0 and w["cls"] != "#32770"]
        check(tops, "no window titled %r" % self.title)
        start = tops[0]
        self.top = tree[start]
        self.children = []
        for w in tree[start + 1:]:
            if w["depth"] == 0:
                break
            if w["depth"] == 1:
                self.children.append(w)
        return self

    def child(self, text=None, cls=None):
        for w in self.children:
            if (text is None or w["text"] == text) and (cls is None or w["cls"].lower() == cls.lower()):
                return w
        raise CaseFailure("no child window %r (%s) in %r" % (text, cls, [(c["cls"], c["text"]) for c in self.children]))

    def player_window(self):
        # The windowed player control's window: the one child that is neither button nor box.
        players = [w for w in self.children if w["cls"] not in ("TButton", "TCheckBox")]
        check(len(players) == 1, "expected one player window, found %r" % [(c["cls"], c["text"]) for c in players])
        return players[0]

    def screen(self, x, y):
        return self.top["x"] + x, self.top["y"] + y

    def click(self, text):
        c = self.child(text)
        self.session.click(*self.screen(c["x"] + c["w"] // 2, c["y"] + c["h"] // 2))
        time.sleep(0.8)
        return self.refresh()

    def shot(self, name):
        return self.session.screenshot(name)

    def probe(self, png, x, y):
        return pixel(png, *self.screen(x, y))

    def area(self, png, x, y, w, h):
        sx, sy = self.screen(x, y)
        return pixels(png, sx, sy, w, h)


def message_boxes(session, title):
    return [w for w in session.top_levels(title) if w["cls"] == "#32770"]


def wait_message(session, title, timeout=20):
    boxes = session.wait_for(lambda: message_boxes(session, title), timeout)
    check(boxes, "no message box titled %r appeared" % title)
    tree = session.windows(title)
    # The box's own lines: its static text child.
    start = next(i for i, w in enumerate(tree) if w["depth"] == 0 and w["cls"] == "#32770")
    for w in tree[start + 1:]:
        if w["depth"] == 0:
            break
        if w["cls"].lower() == "static" and any(ch.isalpha() for ch in w["text"]):
            return w["text"]
    raise CaseFailure("the message box has no text")


def dismiss_message(session):
    session.key("Return")
    time.sleep(0.8)


def wait_form(session, title):
    def ready():
        tops = [w for w in session.top_levels(title) if w["cls"] != "#32770"]
        return tops and len(session.windows(title)) > 3
    check(session.wait_for(ready, 40), "the %s window did not appear" % title)
    time.sleep(1.5)  # the movie's first frames
    return Form(session, title)


# ---- clipdemo -----------------------------------------------------------------------------

CLIP_CONTROLS = [  # caption, class, left, top, width, height, tab order
    ("Play Embedded FLV", "TButton", 133, 408, 120, 25, 1),
    ("Play Embedded SWF", "TButton", 8, 408, 120, 25, 2),
    ("Enable context flash menu", "TCheckBox", 8, 376, 161, 17, 3),
    ("Enable sounds", "TCheckBox", 232, 376, 97, 17, 4),
    ("Transparent", "TCheckBox", 344, 376, 97, 17, 5),
    ("More about Velmora", "TButton", 381, 408, 120, 25, 6),
    ("Buy license", "TButton", 508, 408, 120, 25, 7),
]
MOVIE_PROBE = (20, 300)      # inside the player, where the movie's stage stays empty
FORM_PROBE = (4, 380)        # the form itself, beside the check boxes


def group_clipdemo(s, case):
    s.register("refplayer.dll")
    s.start("clipdemo")
    form = wait_form(s, "clipdemo")

    @case("clipdemo.FormGeometryAndCaptions")

    def _():
        check((form.top["w"], form.top["h"]) == (632, 446), "client area %dx%d" % (form.top["w"], form.top["h"]))
        for text, cls, x, y, w, h, _ in CLIP_CONTROLS:
            c = form.child(text, cls)
            check((c["x"], c["y"], c["w"], c["h"]) == (x, y, w, h), "%s at %r" % (text, (c["x"], c["y"], c["w"], c["h"])))
        p = form.player_window()
        check((p["x"], p["y"], p["w"], p["h"]) == (8, 8, 617, 361) and p["visible"], "player window %r" % p)

    @case("clipdemo.CheckBoxesStartFromTheSwitches")

    def _():
        check(form.child("Enable context flash menu")["checked"] == 0, "context menu box ticked at start")
        check(form.child("Enable sounds")["checked"] == 1, "sounds box clear at start (sound is on)")
        check(form.child("Transparent")["checked"] == 0, "transparent box ticked at start")

    @case("clipdemo.TabOrderFollowsTheForm")

    def _():
        # From the FLV button, Tab visits the controls in their tab order.
        form.click("Play Embedded SWF")
        order = []
        for _ in range(6):
            s.key("Tab")
            time.sleep(0.4)
            form.refresh()
            focused = [c["text"] for c in form.children if c["focused"]]
            order.append(focused[0] if focused else None)
        expected = [c[0] for c in sorted(CLIP_CONTROLS, key=lambda c: c[6])][2:] + [None]
        check(order[:5] == expected[:5], "Tab order %r" % order)

    @case("clipdemo.EmbeddedMovieReachesThePlayer")

    def _():
        png = form.shot("clip-start")
        colour = form.probe(png, *MOVIE_PROBE)
        check(near(colour, CLIP_MOVIE_BACKGROUND), "movie background %r" % (colour,))

    @case("clipdemo.MovieAreaAnimatesInTheMoviesColours")

    def _():
        # The movie plays once (Loop False, 4.5 s): start it again and look while it moves.
        form.click("Play Embedded SWF")
        first = form.area(form.shot("clip-a"), 8, 8, 617, 361)
        time.sleep(0.7)
        second = form.area(form.shot("clip-b"), 8, 8, 617, 361)
        changed = sum(1 for a, b in zip(first, second) if a != b)
        check(changed > 500, "only %d pixels changed in the movie area" % changed)
        for name, colour, least in (("background", CLIP_MOVIE_BACKGROUND, 50000), ("ball", BALL, 300),
                                    ("pane over the background", over(PANE, CLIP_MOVIE_BACKGROUND), 3000)):
            count = sum(1 for c in second if near(c, colour, 30))
            check(count > least, "the movie's %s colour %r covers only %d pixels" % (name, colour, count))

    @case("clipdemo.TransparentShowsFormThroughMovieAndShapes")

    def _():
        # The movie starts afresh in the windowless control, which has shown nothing else yet
        # (the stand-in player keeps a video it once played drawn over later movies).
        form.click("Transparent")
        try:
            check(form.child("Transparent")["checked"] == 1, "the box did not tick")
            # The first frame in the windowless control takes a moment.
            def drawn():
                png = form.shot("clip-transparent-shapes")
                return png if sum(1 for c in form.area(png, 8, 8, 617, 361) if near(c, BALL, 30)) > 300 else None
            png = s.wait_for(drawn, 5, 0.3)
            check(png, "the windowless player draws no movie")
            area = form.area(png, 8, 8, 617, 361)
            form_colour = form.probe(png, *FORM_PROBE)
            check(near(form_colour, FORM_BACKGROUND), "form colour %r" % (form_colour,))
            counts = {name: sum(1 for c in area if near(c, colour, tolerance)) for name, colour, tolerance in (
                ("form", form_colour, 4), ("movie background", CLIP_MOVIE_BACKGROUND, 30), ("ball", BALL, 30),
                ("pane over the form", over(PANE, form_colour), 8))}
            check(counts["form"] > 50000, "little form colour in the movie area: %r" % counts)
            check(counts["movie background"] < 100, "the movie's background covers the form: %r" % counts)
            check(counts["ball"] > 300, "no movie shapes over the form: %r" % counts)
            # The half-transparent pane mixes with the form's colour, not with the movie's background.
            check(counts["pane over the form"] > 3000, "the pane is not blended with the form: %r" % counts)
        finally:
            form.click("Transparent")
        check(form.child("Transparent")["checked"] == 0, "the box did not clear")

    @case("clipdemo.PlayEmbeddedFLVLoadsThePlayerMovie")

    def _():
        form.click("Play Embedded FLV")
        check(not message_boxes(s, "clipdemo"), "a message box appeared with a version 10 player")
        time.sleep(1.0)
        colour = form.probe(form.shot("clip-flv"), *MOVIE_PROBE)
        check(near(colour, FLV_PLAYER_BACKGROUND), "player movie background %r" % (colour,))

    @case("clipdemo.VideoServedByTheLibraryWideHandler")
    def _():
        # The video object fills the middle of the white stage once its pictures arrive.
        shown = s.wait_for(lambda: [c for c in form.area(form.shot("clip-flv-served"), 220, 120, 180, 130)
                                    if not near(c, FLV_PLAYER_BACKGROUND)], 5, 0.5)
        check(len(shown) > 10000, "no video arrived at the player (%d pixels off white)" % len(shown))

    @case("clipdemo.EmbeddedVideoChangesOverTime")

    def _():
        # The video lies in the middle of the player movie's stage.
        first = form.area(form.shot("flv-a"), 220, 120, 180, 130)
        time.sleep(1.0)
        second = form.area(form.shot("flv-b"), 220, 120, 180, 130)
        check(not all(near(c, FLV_PLAYER_BACKGROUND) for c in second), "no video in the middle of the stage")
        changed = sum(1 for a, b in zip(first, second) if a != b)
        check(changed > 1000, "only %d video pixels changed in a second" % changed)

    @case("clipdemo.TransparentSwitchesToTheWindowlessControl")

    def _():
        form.click("Transparent")
        check(form.child("Transparent")["checked"] == 1, "the box did not tick")
        check(not form.player_window()["visible"], "the windowed player is still shown")
        # The video's player movie starts afresh there; without its video only the form shows.
        time.sleep(1.0)
        png = form.shot("clip-transparent")
        colour = form.probe(png, *MOVIE_PROBE)
        check(near(colour, form.probe(png, *FORM_PROBE), 6), "the form does not show through the movie: %r" % (colour,))

    @case("clipdemo.UntickingReturnsToTheWindowedControl")

    def _():
        form.click("Transparent")
        check(form.child("Transparent")["checked"] == 0, "the box did not clear")
        check(form.player_window()["visible"], "the windowed player is not shown again")
        time.sleep(1.0)
        colour = form.probe(form.shot("clip-windowed-again"), *MOVIE_PROBE)
        # The video was the content last shown, so the player movie is loaded afresh.
        check(near(colour, FLV_PLAYER_BACKGROUND), "the windowed control shows %r" % (colour,))
        form.click("Play Embedded SWF")
        time.sleep(0.5)
        colour = form.probe(form.shot("clip-swf-again"), *MOVIE_PROBE)
        check(near(colour, CLIP_MOVIE_BACKGROUND), "the SWF button shows %r" % (colour,))

    @case("clipdemo.ContextMenuOnlyWhenTicked")

    def _():
        def popups():
            return [w for w in s.windows() if w["depth"] == 0 and w["cls"] == "#32768"]
        px, py = form.screen(300, 200)
        s.click(px, py, 3)
        time.sleep(1.0)
        check(not popups(), "a context menu appeared with the box clear")
        form.click("Enable context flash menu")
        check(form.child("Enable context flash menu")["checked"] == 1, "the box did not tick")
        s.click(px, py, 3)
        check(s.wait_for(popups, 5), "no context menu with the box ticked")
        s.key("Escape")
        time.sleep(0.5)
        form.click("Enable context flash menu")



def group_clipdemo_sound(s, case):
    """The prefix's sound goes through ALSA into a file for this run, so what the player
    plays can be measured: first the stand-in player's click when a movie starts, then, with
    the click switched off, the movie's own tone."""
    recording = os.path.join(s.tmp, "sound.raw")
    config = os.path.join(s.tmp, "asound.conf")
    with open(config, "w") as out:
        out.write('pcm.!default {\n type file\n slave.pcm "null"\n file "%s"\n format "raw"\n}\n' % recording)
    s.env["ALSA_CONFIG_PATH"] = "/usr/share/alsa/alsa.conf:" + config
    s.use_audio_driver("alsa")
    s.register("refplayer.dll")
    s.start("clipdemo")
    form = wait_form(s, "clipdemo")

    def peak():
        if not os.path.exists(recording):
            return 0
        with open(recording, "rb") as f:
            data = f.read()
        samples = [int.from_bytes(data[i:i + 2], "little", signed=True) for i in range(0, len(data) - 1, 2)]
        return max((abs(v) for v in samples), default=0)

    def reload_and_measure():
        # The player opens the device for each click, and the file is written afresh.
        if os.path.exists(recording):
            os.remove(recording)
        form.click("Play Embedded SWF")
        time.sleep(3.0)
        return peak()

    @case("clipdemo_sound.MovieStartIsAudible")
    def _():
        time.sleep(2.0)
        check(peak() > 1000, "the start of the movie made no sound (peak %d)" % peak())

    @case("clipdemo_sound.EveryLoadIsAudible")
    def _():
        level = reload_and_measure()
        check(level > 1000, "loading the movie again made no sound (peak %d)" % level)

    @case("clipdemo_sound.SoundsOffSilencesThePlayer")
    def _():
        form.click("Enable sounds")
        check(form.child("Enable sounds")["checked"] == 0, "the box did not clear")
        level = reload_and_measure()
        check(level < 100, "sound with the switch off (peak %d)" % level)

    @case("clipdemo_sound.SoundsOnAgainIsAudible")
    def _():
        form.click("Enable sounds")
        check(form.child("Enable sounds")["checked"] == 1, "the box did not tick")
        level = reload_and_measure()
        check(level > 1000, "no sound with the switch on again (peak %d)" % level)

    # The movie's own tone, with the player's start click switched off: the recording then
    # holds the tone the movie starts on its first and its 28th frame (the file is written
    # afresh for each sound, so 3 s after a load it holds the second tone).
    @case("clipdemo_sound.MovieToneIsAudible")
    def _():
        s.player_settings("SilentClick=1\r\n")
        level = reload_and_measure()
        check(level > 1000, "the movie's tone made no sound (peak %d)" % level)

    @case("clipdemo_sound.SoundsOffSilencesTheMovieTone")
    def _():
        form.click("Enable sounds")
        check(form.child("Enable sounds")["checked"] == 0, "the box did not clear")
        level = reload_and_measure()
        check(level < 100, "the movie's tone with the switch off (peak %d)" % level)

    @case("clipdemo_sound.SoundsOnAgainMakesTheMovieToneAudible")
    def _():
        form.click("Enable sounds")
        check(form.child("Enable sounds")["checked"] == 1, "the box did not tick")
        level = reload_and_measure()
        check(level > 1000, "no tone with the switch on again (peak %d)" % level)


def group_clipdemo_flash6(s, case):
    s.register("refplayer6.dll")
    s.start("clipdemo")
    form = wait_form(s, "clipdemo")

    @case("clipdemo_flash6.MovieStillPlays")

    def _():
        colour = form.probe(form.shot("clip6-start"), *MOVIE_PROBE)
        check(near(colour, CLIP_MOVIE_BACKGROUND), "movie background %r" % (colour,))

    @case("clipdemo_flash6.FLVButtonShowsTheVersionMessage")

    def _():
        form.click("Play Embedded FLV")
        text = wait_message(s, "clipdemo")
        check(text == "The Sample needs Flash 7 or higher to play Flash Video\rCurrent version of Flash: 6.0.79.0",
              "message %r" % text)
        dismiss_message(s)
        check(not message_boxes(s, "clipdemo"), "the message box stayed")

    @case("clipdemo_flash6.ToggleReloadsTheSWF")

    def _():
        form.click("Transparent")
        form.click("Transparent")
        check(not message_boxes(s, "clipdemo"), "the toggle tried the video again (version message)")
        time.sleep(0.5)
        colour = form.probe(form.shot("clip6-toggled"), *MOVIE_PROBE)
        check(near(colour, CLIP_MOVIE_BACKGROUND), "after the toggle the player shows %r" % (colour,))


def group_noplayer(program):
    def run(s, case):
        s.register(None)
        s.start(program)
        @case("%s_noplayer.NeedsFlashMessage" % program)
        def _():
            text = wait_message(s, program)
            check(text == "The application needs Flash\r\nFlash is not installed", "message %r" % text)
            dismiss_message(s)
        @case("%s_noplayer.ProgramEnds" % program)
        def _():
            check(s.wait_for(lambda: not s.running(), 20), "the program is still running")
            check(s.process.returncode == 0, "exit code %r" % s.process.returncode)
    return run


# ---- assetdemo ----------------------------------------------------------------------------

def asset_stage_point(x, y):
    """A point of the 465 x 232 stage in the player's client coordinates (show all, centred)."""
    scale = min(617 / 465, 329 / 232)
    ox = (617 - 465 * scale) / 2
    oy = (329 - 232 * scale) / 2
    return int(8 + ox + x * scale), int(72 + oy + y * scale)


def group_assetdemo(s, case):
    s.register("refplayer.dll")
    s.start("assetdemo")
    form = wait_form(s, "assetdemo")

    @case("assetdemo.FormGeometryAndCaptions")

    def _():
        check((form.top["w"], form.top["h"]) == (632, 446), "client area %dx%d" % (form.top["w"], form.top["h"]))
        for text, x, y, w, h in (("About Velmora", 381, 408, 120, 25), ("Buy license", 508, 408, 120, 25)):
            c = form.child(text, "TButton")
            check((c["x"], c["y"], c["w"], c["h"]) == (x, y, w, h), "%s at %r" % (text, (c["x"], c["y"], c["w"], c["h"])))
        p = form.player_window()
        check((p["x"], p["y"], p["w"], p["h"]) == (8, 72, 617, 329), "player window %r" % p)
        check(not message_boxes(s, "assetdemo"), "a message box appeared with a version 10 player")

    @case("assetdemo.MovieReachesThePlayer")

    def _():
        png = form.shot("asset-start")
        colour = form.probe(png, *asset_stage_point(300, 226))
        check(near(colour, ASSET_MOVIE_BACKGROUND), "movie background %r" % (colour,))
        # The empty picture area's frame, before any image is loaded.
        colour = form.probe(png, *asset_stage_point(170 + 144, 11 + 104))
        check(near(colour, (200, 200, 200)), "picture area %r" % (colour,))

    # The inner part of the picture area: the image's pixels 40..248 across, 40..169 down.
    picture = (asset_stage_point(170 + 40, 11 + 40), asset_stage_point(170 + 248, 11 + 169))

    def picture_mean(name):
        (x0, y0), (x1, y1) = picture
        return mean(form.area(form.shot(name), x0, y0, x1 - x0, y1 - y0))

    def image_part_mean(path):
        raw = subprocess.run(["convert", path, "-crop", "208x129+40+40", "+repage", "-resize", "1x1!", "-depth", "8",
                              "rgb:-"], stdout=subprocess.PIPE, check=True).stdout
        return tuple(raw[:3])

    @case("assetdemo.EmbeddedImageButtonsShowTheirImages")

    def _():
        for n in range(1, 6):
            bx, by = asset_stage_point(8 + 78, 12 + (n - 1) * 36 + 14)
            s.click(*form.screen(bx, by))
            time.sleep(1.5)
            shown = picture_mean("asset-image%d" % n)
            expected = image_part_mean(os.path.join(s.source, "samples", "assetdemo", "res", "image%d.jpg" % n))
            check(near(shown, expected, 16), "image %d: shown mean %r, image mean %r" % (n, shown, expected))

    @case("assetdemo.ExternalImageDialogOpenCancelReopen")

    def _():
        bx, by = asset_stage_point(8 + 78, 12 + 5 * 36 + 14)
        for attempt in range(2):
            s.click(*form.screen(bx, by))
            dialogs = s.wait_for(lambda: [w for w in s.windows() if w["depth"] == 0 and w["cls"] == "#32770"], 15)
            check(dialogs, "no file dialog on attempt %d" % (attempt + 1))
            s.key("Escape")
            time.sleep(1.0)
            check(not [w for w in s.windows() if w["depth"] == 0 and w["cls"] == "#32770"], "the dialog stayed")


    def pick_external(path):
        bx, by = asset_stage_point(8 + 78, 12 + 5 * 36 + 14)
        s.click(*form.screen(bx, by))
        check(s.wait_for(lambda: [w for w in s.windows() if w["depth"] == 0 and w["cls"] == "#32770"], 15),
              "no file dialog")
        # The dialog's file name box has the focus: type the path as a person would.
        subprocess.run(["xdotool", "type", "--delay", "20", path], check=True)
        def dialog_gone():
            return not [w for w in s.windows() if w["depth"] == 0 and w["cls"] == "#32770" and w["text"] == "Open"]
        # A busy dialog can miss the key while it is still completing the typed name: once more.
        for _ in range(2):
            s.key("Return")
            if s.wait_for(dialog_gone, 4):
                break
        check(dialog_gone(), "the file dialog did not take the typed name")
        time.sleep(2.0)

    @case("assetdemo.PickedJpegIsShownAndOtherFilesShowNothing")
    def _():
        image = os.path.join(s.source, "samples", "assetdemo", "res", "image3.jpg")
        pick_external("Z:" + image.replace("/", "\\"))
        shown = picture_mean("asset-external")
        check(near(shown, image_part_mean(image), 16), "the picked image is not shown (mean %r)" % (shown,))
        # A file of another kind goes to the movie as it is; the movie shows no picture from it:
        # the area keeps the picture it had or is left empty (its grey frame).
        pick_external("Z:" + os.path.join(s.source, "README.md").replace("/", "\\"))
        shown = picture_mean("asset-not-jpeg")
        check(near(shown, image_part_mean(image), 16) or near(shown, (200, 200, 200), 8),
              "a text file showed something (mean %r)" % (shown,))

    @case("assetdemo.OtherFilesReachTheMovieAsTheyAre")
    def _():
        # The program does not look at the file's name or type. JPEG bytes under another name
        # are shown; so is a movie: a SWF saved as .dat, a green square the size of an image,
        # drawn only if every byte of it arrived.
        other = os.path.join(s.tmp, "picture.bin")
        shutil.copyfile(os.path.join(s.source, "samples", "assetdemo", "res", "image5.jpg"), other)
        pick_external("Z:" + other.replace("/", "\\"))
        shown = picture_mean("asset-renamed")
        check(near(shown, image_part_mean(other), 16), "JPEG bytes named .bin not shown (mean %r)" % (shown,))
        sys.path.insert(0, os.path.join(s.source, "scripts", "content"))
        import swf
        green = (40, 190, 70)
        tags = swf.define_shape3(1, swf.Path().rect(0, 0, 288, 209), swf.solid_fill(green))
        tags += swf.place(1, 1, swf.matrix(0, 0)) + swf.tag(swf.SHOW_FRAME)
        movie = os.path.join(s.tmp, "square.dat")
        with open(movie, "wb") as out:
            out.write(swf.movie(6, 288, 209, 12, 1, tags))
        pick_external("Z:" + movie.replace("/", "\\"))
        shown = picture_mean("asset-movie-file")
        check(near(shown, green, 12), "a movie file was not shown (mean %r)" % (shown,))

    @case("assetdemo.UnreadableFileIsReportedByTheApplication")
    def _():
        pick_external("Z:\\no\\such\\folder\\picture.jpg")
        text = wait_message(s, "assetdemo")
        check(text.startswith("Cannot open file"), "message %r" % text)
        dismiss_message(s)
        check(s.running(), "the program ended")


def group_assetdemo_flash6(s, case):
    s.register("refplayer6.dll")
    s.start("assetdemo")
    @case("assetdemo_flash6.VersionMessage")
    def _():
        text = wait_message(s, "assetdemo", 40)
        check(text == "The Sample needs Flash 7 to play embedded movie\rCurrent version of Flash: 6.0.79.0",
              "message %r" % text)
        dismiss_message(s)
    @case("assetdemo_flash6.MovieStillLoads")
    def _():
        form = wait_form(s, "assetdemo")
        colour = form.probe(form.shot("asset6-start"), *asset_stage_point(300, 226))
        check(near(colour, ASSET_MOVIE_BACKGROUND), "movie background %r" % (colour,))


GROUPS = {
    "clipdemo": group_clipdemo,
    "clipdemo_sound": group_clipdemo_sound,
    "clipdemo_flash6": group_clipdemo_flash6,
    "clipdemo_noplayer": group_noplayer("clipdemo"),
    "assetdemo": group_assetdemo,
    "assetdemo_flash6": group_assetdemo_flash6,
    "assetdemo_noplayer": group_noplayer("assetdemo"),
}


# ---- results ------------------------------------------------------------------------------

class Results:
    def __init__(self, group):
        self.group = group
        self.cases = []  # (name, seconds, outcome, message)

    def add(self, name, seconds, outcome, message):
        self.cases.append((name, seconds, outcome, message))
        print("[%s] %s%s" % (outcome.upper(), name, (": " + message) if message else ""), flush=True)

    def write(self, path):
        failures = sum(1 for c in self.cases if c[2] == "failed")
        skipped = sum(1 for c in self.cases if c[2] == "skipped")
        lines = ['<?xml version="1.0" encoding="UTF-8"?>',
                 '<testsuites tests="%d" failures="%d" skipped="%d" name="demo_%s">' % (len(self.cases), failures, skipped, self.group),
                 '  <testsuite name="%s" tests="%d" failures="%d" skipped="%d">' % (self.group, len(self.cases), failures, skipped)]
        for name, seconds, outcome, message in self.cases:
            attrs = 'name=%s classname=%s time="%.2f"' % (quoteattr(name.split(".", 1)[-1]), quoteattr(self.group), seconds)
            if outcome == "passed":
                lines.append('    <testcase %s result="completed" />' % attrs)
            elif outcome == "skipped":
                lines.append('    <testcase %s result="skipped">' % attrs)
                lines.append('      <skipped message=%s />' % quoteattr(message))
                lines.append('    </testcase>')
            else:
                lines.append('    <testcase %s result="completed">' % attrs)
                lines.append('      <failure message=%s>%s</failure>' % (quoteattr(message.splitlines()[0] if message else ""), escape(message)))
                lines.append('    </testcase>')
        lines += ['  </testsuite>', '</testsuites>', '']
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        with open(path, "w") as out:
            out.write("\n".join(lines))


def run_group(group, session, results):
    def case(name):
        # Runs the case's body at once; a pending case is reported as skipped, not run.
        def run(body):
            if name in PENDING:
                results.add(name, 0, "skipped", PENDING[name])
                return body
            start = time.time()
            try:
                body()
                results.add(name, time.time() - start, "passed", "")
            except CaseFailure as failure:
                results.add(name, time.time() - start, "failed", str(failure))
            except Exception:
                results.add(name, time.time() - start, "failed", traceback.format_exc())
            return body
        return run

    session.save_registration()
    try:
        GROUPS[group](session, case)
    except Exception:
        results.add(group + ".Start", 0, "failed", traceback.format_exc())
    finally:
        session.stop()
        session.restore_registration()
        session.restore_audio_driver()
        session.restore_player_settings()


def showcase(session, program, out_dir):
    """Runs a program with the player already registered and saves what it shows: for
    clipdemo the movie, then the video; for assetdemo the movie, then its first image.
    Prints each picture's path."""
    os.makedirs(out_dir, exist_ok=True)
    session.start(program)
    form = wait_form(session, program)

    def save(name):
        path = os.path.join(os.path.abspath(out_dir), name + ".png")
        x, y = form.screen(0, 0)
        subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (form.top["w"], form.top["h"], x, y),
                        "+repage", path], check=True, stderr=subprocess.DEVNULL)
        print(path, flush=True)

    try:
        time.sleep(1.5)
        if program == "clipdemo":
            save("clipdemo-swf")
            form.click("Play Embedded FLV")
            time.sleep(3.0)
            save("clipdemo-flv")
        else:
            save("assetdemo")
            session.click(*form.screen(*asset_stage_point(8 + 78, 12 + 14)))
            time.sleep(2.0)
            save("assetdemo-image1")
    finally:
        session.stop()


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "showcase":
        parser = argparse.ArgumentParser()
        parser.add_argument("mode")
        parser.add_argument("program", choices=["clipdemo", "assetdemo"])
        parser.add_argument("--build", required=True)
        parser.add_argument("--source", required=True)
        parser.add_argument("--out", required=True)
        args = parser.parse_args()
        showcase(Session(args.build, args.source), args.program, args.out)
        return 0
    parser = argparse.ArgumentParser()
    parser.add_argument("group", choices=sorted(GROUPS))
    parser.add_argument("--build", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--results", required=True)
    parser.add_argument("--wine-run", help="the program runner (default: scripts/wine-run.sh)")
    parser.add_argument("--prefix", help="the Wine prefix (default: BUILD_DIR/wineprefix)")
    parser.add_argument("--wine-arch", help="the runner's architecture switch (--win32 or --win64)")
    parser.add_argument("--modules", help="the folder of the stand-in player modules (default: BUILD_DIR/refplayer)")
    args = parser.parse_args()
    session = Session(args.build, args.source, args.wine_run, args.prefix, args.modules, args.wine_arch)
    results = Results(args.group)
    run_group(args.group, session, results)
    results.write(args.results)
    return 1 if any(c[2] == "failed" for c in results.cases) else 0


if __name__ == "__main__":
    sys.exit(main())
