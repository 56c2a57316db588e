"""What the screen shows (screenshots read as RGB) and what its windows say, for X11 sessions."""

import os
import re
import subprocess
import time

from session import NotRunnable


class Shot:
    """A screenshot: its file and its pixels as 8-bit RGB rows."""

    def __init__(self, path, width, height, data):
        self.path, self.width, self.height, self.data = path, width, height, data

    @staticmethod
    def load(path, width, height):
        data = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True,
                              check=True).stdout
        if len(data) != width * height * 3:
            raise ValueError("%s: %d bytes, not %dx%d RGB" % (path, len(data), width, height))
        return Shot(path, width, height, data)

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return self.data[i], self.data[i + 1], self.data[i + 2]

    def points(self, rect, step=4):
        x0, y0, w, h = rect
        for y in range(max(0, y0), min(self.height, y0 + h), step):
            for x in range(max(0, x0), min(self.width, x0 + w), step):
                yield x, y

    def mean(self, rect, step=4):
        n, total = 0, [0, 0, 0]
        for x, y in self.points(rect, step):
            p = self.pixel(x, y)
            for c in range(3):
                total[c] += p[c]
            n += 1
        return tuple(t / max(n, 1) for t in total)


def distance(a, b):
    return sum(abs(int(p) - int(q)) for p, q in zip(a, b))


def changed(a, b, rect, threshold=12, step=4):
    """The share of sampled pixels in rect whose colour differs between two shots."""
    n = moved = 0
    for x, y in a.points(rect, step):
        n += 1
        if distance(a.pixel(x, y), b.pixel(x, y)) > threshold:
            moved += 1
    return moved / max(n, 1)


def bounding_box(a, b, rect, threshold=40, step=1):
    """The box around the pixels in rect that differ between two shots, or None."""
    xs, ys = [], []
    for x, y in a.points(rect, step):
        if distance(a.pixel(x, y), b.pixel(x, y)) > threshold:
            xs.append(x)
            ys.append(y)
    if not xs:
        return None
    return min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1


def split_columns(a, b, box, threshold=40, gap=2):
    """The parts of a changed box that changed columns separate, left to right: items of a tray
    that made room for a new one."""
    x0, y0, w, h = box
    changed_columns = [x for x in range(x0, x0 + w)
                       if any(distance(a.pixel(x, y), b.pixel(x, y)) > threshold for y in range(y0, y0 + h))]
    parts, start, last = [], None, None
    for x in changed_columns:
        if start is None:
            start = last = x
        elif x - last > gap:
            parts.append((start, last))
            start = x
        last = x
    if start is not None:
        parts.append((start, last))
    return [(s, y0, e - s + 1, h) for s, e in parts]


def foreground_box(shot, rect, background, threshold=60, step=2):
    """The box around what differs from a plain background colour in rect, or None."""
    xs, ys = [], []
    for x, y in shot.points(rect, step):
        if distance(shot.pixel(x, y), background) > threshold:
            xs.append(x)
            ys.append(y)
    if not xs:
        return None
    return min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1


def kept(before, after, rect, background, threshold=60, step=2):
    """Of the pixels in rect that stood out from the background before, the share that still
    show the same colour after (icons drawn above whatever is now behind them)."""
    n = same = 0
    for x, y in before.points(rect, step):
        p = before.pixel(x, y)
        if distance(p, background) <= threshold:
            continue
        n += 1
        if distance(p, after.pixel(x, y)) <= 30:
            same += 1
    return (same / n) if n else None


class X11:
    """Screenshots and input on the display the user looks at (session.host_display), window
    properties on the one clients use (DISPLAY): the same server, except for a compositor
    nested in a window of its own, whose X clients reach it through Xwayland."""

    def __init__(self, session):
        self.s = session
        self.shots = 0

    def shot(self, name):
        self.shots += 1
        path = os.path.join(self.s.out, "%02d-%s.png" % (self.shots, name))
        r = self.s.run(["import", "-silent", "-window", "root", path], timeout=30, env=self.host())
        if r.returncode != 0:
            raise RuntimeError("import failed: " + r.stderr.strip())
        return Shot.load(path, self.s.width, self.s.height)

    def host(self):
        return {"DISPLAY": self.s.host_display}

    def xdotool(self, *args):
        return self.s.run(["xdotool"] + [str(a) for a in args], timeout=15, env=self.host())

    def click(self, x, y, button=1, repeat=1):
        self.xdotool("mousemove", x, y)
        time.sleep(0.2)
        self.xdotool("click", "--repeat", repeat, "--delay", 120, button)

    def key(self, *keys):
        for k in keys:
            self.xdotool("key", k)
            time.sleep(0.3)

    def park_pointer(self):
        self.xdotool("mousemove", self.s.width - 2, self.s.height // 2)

    def open_window(self, name, rect):
        """An ordinary client window (xlogo) with the given geometry, once mapped; None if it
        does not map."""
        x, y, w, h = rect
        proc = self.s.spawn(name, ["xlogo", "-geometry", "%dx%d+%d+%d" % (w, h, x, y), "-name", name])

        def mapped():
            return [w for w in self.find("^%s$" % name)
                    if "IsViewable" in self.s.output(["xwininfo", "-id", w])]

        try:
            self.s.wait_for(name + "'s window", mapped, timeout=10)
        except NotRunnable:
            self.s.stop(proc)
            return None
        return proc, mapped()[0]

    def close_window(self, window):
        self.s.stop(window[0])

    def fullscreen(self, window):
        self.s.run(["wmctrl", "-i", "-r", window[1], "-b", "add,fullscreen"])

    def is_fullscreen(self, window):
        geometry = self.s.output(["xwininfo", "-id", window[1]])
        return "Width: %d" % self.s.width in geometry and "Height: %d" % self.s.height in geometry

    def close_client(self, window):
        self.s.run(["wmctrl", "-i", "-c", window])

    def root_property(self, name):
        return self.s.output(["xprop", "-root", name])

    def window_property(self, window, name):
        return self.s.output(["xprop", "-id", window, name])

    def has_wm(self):
        return "window id" in self.root_property("_NET_SUPPORTING_WM_CHECK")

    def client_list(self):
        return re.findall(r"0x[0-9a-f]+", self.root_property("_NET_CLIENT_LIST").split("=", 1)[-1])

    def find(self, name):
        out = self.s.output(["xdotool", "search", "--name", name])
        return ["0x%x" % int(w) for w in out.split()]

    def top_level(self):
        """The mapped children of the root window: (id, override-redirect, x, y, w, h)."""
        out = self.s.output(["xwininfo", "-root", "-children"])
        ids = re.findall(r"^\s+(0x[0-9a-f]+)", out, re.M)
        found = []
        for w in ids:
            info = self.s.output(["xwininfo", "-id", w])
            if "IsViewable" not in info:
                continue
            get = lambda key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
            found.append((w, "Override Redirect State: yes" in info, get("Absolute upper-left X"),
                          get("Absolute upper-left Y"), get("Width"), get("Height")))
        return found

    def popups(self):
        """Mapped top-level windows big enough to be a menu (menus are override-redirect windows,
        except the window manager's own): a menu that opens is one more of these."""
        return {w[0]: w for w in self.top_level() if w[4] >= 30 and w[5] >= 30}
