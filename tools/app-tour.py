#!/usr/bin/env python3
"""A tour of the scanning application in a real X window, driven like a person drives it.

Runs qorscan on the X display of $DISPLAY (the caller starts Xvfb), moves the real pointer and
presses real keys with xdotool, and takes screenshots of the screen with ImageMagick:
preview (with the page growing row by row), crop each photo, a new frame dragged with the mouse,
a turn, the final scan and the photos it saved. It writes the screenshots and index.html into
the output folder, checks what a person would check (the page appeared, it grew, the frames
are there, one photo file per frame) and exits non-zero when something is wrong.

Usage: app-tour.py --app PATH/qorscan --out FOLDER
"""
import argparse
import html
import os
import shutil
import subprocess
import sys
import time

GREY = (0x69, 0x69, 0x69)  # the control's surroundings
WINDOW_SIZE = (1200, 850)
# Toolbar buttons, window coordinates: the first row under the menu bar (icons above text).
PREVIEW_BUTTON = (43, 52)
SCAN_BUTTON = (97, 52)


class Screen:
    """One screenshot, as RGB rows."""

    def __init__(self, path):
        data = subprocess.run(["convert", path, "ppm:-"], check=True, capture_output=True).stdout
        fields, pos = [], 0
        while len(fields) < 4:  # P6, width, height, maximum
            while data[pos:pos + 1].isspace():
                pos += 1
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        self.width, self.height = int(fields[1]), int(fields[2])
        self.pixels = data[pos + 1:]

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def grey_box(self):
        """The control's view: the bounding box of its grey surroundings (left, top, right, bottom)."""
        xs, ys = [], []
        for y in range(0, self.height, 4):
            for x in range(0, self.width, 4):
                if self.pixel(x, y) == GREY:
                    xs.append(x)
                    ys.append(y)
        return (min(xs), min(ys), max(xs) + 1, max(ys) + 1) if xs else None

    def paper(self, view):
        """The page inside the view, anchored at its top-left corner: where the grey begins
        along a row and down a column near that corner (left, top, right, bottom)."""
        left, top, right, bottom = view
        p_right = next((x for x in range(left + 4, right) if self.pixel(x, top + 4) == GREY), right)
        p_bottom = next((y for y in range(top + 4, bottom) if self.pixel(left + 4, y) == GREY), bottom)
        return (left, top, p_right, p_bottom)


class Tour:
    def __init__(self, app, out):
        self.app, self.out = app, out
        self.steps = []
        self.failures = []
        self.process = None
        self.window = None

    def run(self, *args, **kwargs):
        return subprocess.run(args, check=True, capture_output=True, text=True, **kwargs).stdout.strip()

    def xdo(self, *args):
        return self.run("xdotool", *args)

    def shot(self, name, title, text):
        path = os.path.join(self.out, name + ".png")
        self.run("import", "-window", "root", path)
        self.steps.append((name + ".png", title, text))
        return Screen(path)

    def check(self, ok, what):
        print(("  ok    " if ok else "  FAIL  ") + what)
        if not ok:
            self.failures.append(what)
        return ok

    def click(self, point):
        self.xdo("mousemove", "--sync", str(point[0]), str(point[1]))
        self.xdo("click", "1")

    def drag(self, start, end, steps=12):
        self.xdo("mousemove", "--sync", str(start[0]), str(start[1]))
        self.xdo("mousedown", "1")
        for i in range(1, steps + 1):
            x = start[0] + (end[0] - start[0]) * i // steps
            y = start[1] + (end[1] - start[1]) * i // steps
            self.xdo("mousemove", str(x), str(y))
            time.sleep(0.02)
        self.xdo("mouseup", "1")

    def keys(self, combo):
        self.xdo("key", combo)  # to the focus window, as a keyboard types

    def settle(self, view, timeout=30.0):
        """Waits until the view stops changing (a scan or a crop has ended)."""
        last, deadline = None, time.time() + timeout
        while time.time() < deadline:
            time.sleep(0.5)
            path = os.path.join(self.out, "settle.png")
            self.run("import", "-window", "root", path)
            screen = Screen(path)
            box = screen.paper(view)
            pixels = bytes(screen.pixel(x, y)[0] for y in range(view[1], view[3], 16) for x in range(view[0], view[2], 16))
            if last == (box, pixels):
                os.remove(path)
                return True
            last = (box, pixels)
        return False

    def start(self, photos):
        env = dict(os.environ)
        env["QOR_REGISTRY_DIR"] = os.path.join(self.out, "registry")
        env["QORSCAN_CONFIG"] = os.path.join(self.out, "qorscan.ini")
        env["XDG_CACHE_HOME"] = os.path.join(self.out, "cache")
        os.makedirs(env["QOR_REGISTRY_DIR"], exist_ok=True)
        with open(env["QORSCAN_CONFIG"], "w") as ini:
            ini.write("[scan]\nresolution=150\n[output]\nfolder=%s\nformat=png\n" % photos)
        self.process = subprocess.Popen([self.app, "--no-device-list"], env=env)
        self.window = self.xdo("search", "--sync", "--onlyvisible", "--name", "^QORScan$").split()[0]
        self.xdo("windowmove", "--sync", self.window, "0", "0")
        self.xdo("windowsize", "--sync", self.window, str(WINDOW_SIZE[0]), str(WINDOW_SIZE[1]))
        time.sleep(1.0)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.keys("ctrl+q")
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.check(False, "the application ends when asked to")
        if self.process:
            self.check(self.process.returncode == 0, "the application exits cleanly (code %s)" % self.process.returncode)

    def tour(self):
        photos = os.path.join(self.out, "photos")
        self.start(photos)
        first = self.shot("01-start", "The application", "The control shows its sample page until the first preview.")
        view = first.grey_box()
        if not self.check(view is not None, "the control's view is on screen"):
            return

        self.click(PREVIEW_BUTTON)
        heights = []
        for i in range(3):
            time.sleep(0.35)
            screen = self.shot("02-preview-%d" % (i + 1), "Preview, while the rows arrive",
                               "The scanner's rows arrive one batch after another; the rest of the page stays grey.")
            heights.append(screen.paper(view)[3])
        self.check(self.settle(view), "the preview ends")
        done = self.shot("03-preview", "Preview done", "The whole bed: three photos, some dust and a hair.")
        page = done.paper(view)
        self.check(done.pixels != first.pixels, "the preview replaced the sample page")
        self.check(min(heights) < page[3], "the page grew row by row (%s, then %d)" % (heights, page[3]))

        self.keys("ctrl+shift+k")
        self.check(self.settle(view), "the automatic crop ends")
        self.shot("04-photos", "Crop each photo", "One frame per photo; outside the frames the page is washed out.")

        width, height = page[2] - page[0], page[3] - page[1]
        start = (page[0] + width * 12 // 100, page[1] + height * 88 // 100)
        self.drag(start, (start[0] + width // 5, start[1] + height // 12))
        time.sleep(0.5)
        self.shot("05-new-frame", "A frame drawn with the mouse", "Dragged on the empty bed: a fourth frame.")

        self.keys("ctrl+r")
        time.sleep(0.8)
        self.shot("06-turned", "Turned to the right", "The page and its frames turn together.")
        self.keys("ctrl+0")
        time.sleep(0.8)

        self.click(SCAN_BUTTON)
        deadline = time.time() + 60
        while time.time() < deadline and len(os.listdir(photos) if os.path.isdir(photos) else []) < 4:
            time.sleep(0.3)
        self.settle(view)
        self.shot("07-saved", "Scanned and saved", "Each frame saved as a photo of its own; the status bar says where.")
        saved = sorted(os.listdir(photos)) if os.path.isdir(photos) else []
        self.check(len(saved) == 4, "one photo file per frame (%d)" % len(saved))
        self.saved = [os.path.join("photos", name) for name in saved]

    def write_page(self):
        rows = "\n".join(
            '<figure><img src="%s" alt="%s"><figcaption><b>%s</b> %s</figcaption></figure>'
            % (name, html.escape(title), html.escape(title), html.escape(text)) for name, title, text in self.steps)
        photos = "\n".join('<a href="%s"><img class="photo" src="%s" alt="%s"></a>' % (p, p, html.escape(p))
                           for p in getattr(self, "saved", []))
        with open(os.path.join(self.out, "index.html"), "w") as page:
            page.write("""<!doctype html><meta charset="utf-8"><title>QORScan: a tour</title>
<style>body{font-family:sans-serif;max-width:1250px;margin:2em auto}img{max-width:100%%;border:1px solid #ccc}
figure{margin:0 0 2em}.photo{height:160px;margin:4px}</style>
<h1>QORScan in a real window</h1>
<p>Recorded by tools/app-tour.py: real X input (xdotool) on an X server, screenshots of the screen.</p>
%s<h2>The saved photos</h2><p>%s</p>
""" % (rows, photos))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    out = os.path.abspath(args.out)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    tour = Tour(os.path.abspath(args.app), out)
    try:
        tour.tour()
    except (subprocess.CalledProcessError, OSError) as error:
        tour.check(False, "the tour ran (%s)" % error)
    finally:
        tour.stop()
        tour.write_page()
    print("\n%d screenshots and the page that shows them: %s" % (len(tour.steps), os.path.join(out, "index.html")))
    if tour.failures:
        print("%d check(s) failed" % len(tour.failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
