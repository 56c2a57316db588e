"""sway on wlroots' headless backend, run as an unprivileged user (it refuses root), with
swaybar's tray (a StatusNotifierItem host) and Xwayland. Screenshots with grim, the pointer
through sway's own seat commands, keys through wtype (a virtual keyboard), windows of foot (a
Wayland terminal). swaybg paints the background, as sway's default configuration has it."""

import glob
import json
import os
import pwd
import time

import checks
import screen
from session import NotRunnable, write
from virtual_pointer import VirtualPointer

TITLE = "sway (headless, unprivileged)"
SERVER = "wayland"
PACKAGES = ["sway", "grim", "wtype", "xwayland", "x11-apps", "foot"]
USER = "nobody"
BAR_HEIGHT = 30
CONFIG = """output HEADLESS-1 resolution {width}x{height} position 0 0 bg #3a6ea5 solid_color
xwayland enable
bar {{
    position top
    height {bar}
    tray_output *
    colors {{
        background #303040
    }}
}}
"""
ENV = {"WLR_BACKENDS": "headless", "WLR_RENDERER": "pixman", "WLR_LIBINPUT_NO_DEVICES": "1",
       "WLR_HEADLESS_OUTPUTS": "1", "XDG_SESSION_TYPE": "wayland", "XDG_CURRENT_DESKTOP": "sway"}


def prepare(session):
    w, h = session.width, session.height
    # sway gives an XWayland menu no keyboard focus: the menu is driven with the pointer.
    session.layout = dict(tray=(int(w * 0.6), 0, w - int(w * 0.6), BAR_HEIGHT), shell_menus=True,
                          right_click=None, menu_keys=False)
    write(session.home + "/.config/sway/config", CONFIG.format(width=w, height=h, bar=BAR_HEIGHT))


def run(session, results):
    session.make_home()
    prepare(session)
    user = pwd.getpwnam(USER)
    for root in (session.home, session.runtime):
        os.chown(root, user.pw_uid, user.pw_gid)
        for folder, dirs, files in os.walk(root):
            for name in dirs + files:
                os.lchown(os.path.join(folder, name), user.pw_uid, user.pw_gid)
    session.user = USER
    session.env.update(ENV, USER=USER)
    session.start_bus()
    session.essential("sway", ["sway", "--config", session.home + "/.config/sway/config"])
    session.wait_for("sway's socket", lambda: glob.glob(session.runtime + "/sway-ipc.*.sock"), timeout=30)
    session.env["SWAYSOCK"] = glob.glob(session.runtime + "/sway-ipc.*.sock")[0]
    session.wait_for("sway's Wayland socket", lambda: wayland_socket(session), timeout=30)
    session.env["WAYLAND_DISPLAY"] = wayland_socket(session)
    # Without a pointer device the seat offers none, and swaybar would never hear a click.
    session.pointer = VirtualPointer(os.path.join(session.runtime, session.env["WAYLAND_DISPLAY"]))
    session.wait_for("swaybar", lambda: "swaybar" in session.output(["ps", "-u", USER, "-o", "comm="]),
                     timeout=30)
    # Drovane starts with the environment sway gives the programs it starts, XWayland's DISPLAY
    # among them, as from the session's own `exec`.
    given = os.path.join(session.runtime, "exec-display")
    session.run(["swaymsg", "exec", "printenv DISPLAY >%s" % given])
    session.wait_for("sway's exec", lambda: os.path.exists(given) and open(given).read().strip(), timeout=15)
    session.env["DISPLAY"] = open(given).read().strip()
    sway = Sway(session)
    checks.run_checks(Cell, session, sway, results)
    check_outputs(session, sway, results)


EXTRA_CHECKS = [
    ("outputs", "an output plugged in gets its own moving film; unplugged, its surface goes"),
    ("scale", "a 2x output gets a full-size picture at its pixel size"),
]
SECOND = "HEADLESS-2"


def surfaces(session, output):
    """How many wallpaper surfaces Drovane has made on `output` so far."""
    return session.drovane_log().count(" layer of %s," % output)


def output_shot(sway, output, name):
    path = os.path.join(sway.s.out, "%s-%s.png" % (output, name))
    r = sway.s.run(["grim", "-o", output, "-"], timeout=30, text=False)
    if r.returncode != 0:
        return None
    with open(path, "wb") as f:
        f.write(r.stdout)
    return screen.Shot.load(path, sway.s.width, sway.s.height)


def film_on(sway, output, name):
    """Why the film does not show and move on `output`, or None when it does."""
    a = output_shot(sway, output, name)
    time.sleep(1.5)
    b = output_shot(sway, output, name + "-later")
    if not a or not b:
        return "grim took no picture of " + output
    whole = (0, 0, sway.s.width, sway.s.height)
    black = screen.Shot(None, a.width, a.height, bytes(len(a.data)))
    covered = screen.changed(black, a, whole, threshold=30)
    moving = screen.changed(a, b, whole, threshold=6)
    if covered < 0.98:
        return "the film covers %.0f%% of %s" % (100 * covered, output)
    if moving < 0.05:
        return "a still picture on %s (%.1f%% moved)" % (output, 100 * moving)
    return None


def check_outputs(session, sway, results):
    if not results.film_shows:
        for check, _ in EXTRA_CHECKS:
            results.set(check, checks.NA, "the film does not show here (see film)")
        return
    sway.park_pointer()
    sway.swaymsg("create_output")
    sway.swaymsg("output", SECOND, "resolution", "%dx%d" % (session.width, session.height),
                 "position", session.width, 0, "scale", 1)
    time.sleep(6)
    problem = None if surfaces(session, SECOND) == 1 else "%d surfaces on %s" % (surfaces(session, SECOND), SECOND)
    problem = problem or film_on(sway, SECOND, "plugged") or film_on(sway, "HEADLESS-1", "beside")

    sway.swaymsg("output", SECOND, "scale", 2)
    time.sleep(6)
    if problem:
        results.set("scale", checks.NOT_RUN, "no film on a second output")
    else:
        line = "%s, %dx%d at scale 2 (%dx%d pixels)" % (SECOND, session.width // 2, session.height // 2,
                                                       session.width, session.height)
        trouble = film_on(sway, SECOND, "scaled")
        if line not in session.drovane_log():
            results.set("scale", checks.FAIL, "no surface of %dx%d pixels on the scaled output"
                        % (session.width, session.height))
        elif trouble:
            results.set("scale", checks.FAIL, trouble)
        else:
            results.set("scale", checks.PASS, "the surface fills the output at its %dx%d pixels"
                        % (session.width, session.height))

    # sway 1.8 unplugs a headless output; 1.7 knows no way to remove one.
    before = surfaces(session, "HEADLESS-1")
    unplugged = sway.swaymsg("output", SECOND, "unplug")
    removable = unplugged.returncode == 0 and '"success": true' in unplugged.stdout
    time.sleep(5)
    if not problem and not session.alive(session.drovane):
        problem = "drovane exited after %s was unplugged" % SECOND
    if not problem and removable and surfaces(session, "HEADLESS-1") != before + 1:
        problem = "the windows were not rebuilt for the outputs left"
    problem = problem or film_on(sway, "HEADLESS-1", "unplugged")
    if problem:
        results.set("outputs", checks.FAIL, problem)
    elif removable:
        results.set("outputs", checks.PASS, "%s got a moving film of its own; once unplugged, only "
                    "HEADLESS-1 has a surface and it still plays" % SECOND)
    else:
        results.set("outputs", checks.PASS, "%s got a moving film of its own (this sway cannot unplug "
                    "a headless output: removal not seen here)" % SECOND)


def wayland_socket(session):
    sockets = [os.path.basename(p) for p in glob.glob(session.runtime + "/wayland-*")
               if not p.endswith(".lock")]
    return sockets[0] if sockets else None


class Cell:
    """What the checks ask of the cell: sway's windows, from its tree."""

    @staticmethod
    def windows(session):
        tree = session.output(["swaymsg", "-t", "get_tree", "-r"])
        if not tree:
            return None
        found = []

        def walk(node):
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                if child.get("pid"):
                    props = child.get("window_properties") or {}
                    found.append(dict(title=child.get("name") or "",
                                      **{"class": child.get("app_id") or props.get("class") or ""},
                                      listed=True, why="a %s window in the workspace tree" % child.get("shell")))
                walk(child)
        walk(json.loads(tree))
        return found


class Sway:
    """The screen and input of a sway session, for the checks."""

    def __init__(self, session):
        self.s = session
        self.shots = 0

    def shot(self, name):
        self.shots += 1
        path = os.path.join(self.s.out, "%02d-%s.png" % (self.shots, name))
        r = self.s.run(["grim", "-"], timeout=30, text=False)
        if r.returncode != 0:
            raise RuntimeError("grim failed: " + r.stderr.decode(errors="replace").strip())
        with open(path, "wb") as f:
            f.write(r.stdout)
        return screen.Shot.load(path, self.s.width, self.s.height)

    def swaymsg(self, *args):
        return self.s.run(["swaymsg"] + [str(a) for a in args])

    def move(self, x, y):
        self.swaymsg("seat", "-", "cursor", "set", x, y)

    def click(self, x, y, button=1, repeat=1):
        self.move(x, y)
        time.sleep(0.2)
        for _ in range(repeat):
            self.swaymsg("seat", "-", "cursor", "press", "button%d" % button)
            self.swaymsg("seat", "-", "cursor", "release", "button%d" % button)
            time.sleep(0.12)

    def key(self, *keys):
        for k in keys:
            self.s.run(["wtype", "-k", k])
            time.sleep(0.3)

    def park_pointer(self):
        self.swaymsg("seat", "-", "cursor", "set", self.s.width - 2, self.s.height // 2)

    def find(self, name):
        return []  # no X window to wait for: the wallpaper shows through Wayland here

    def popups(self):
        return {}  # menus are Wayland popups: seen in the pixels

    def client_list(self):
        return []

    def open_window(self, name, rect):
        # nobody's shell is nologin: the terminal holds a command that waits instead.
        self.swaymsg("exec", "foot --app-id=%s sleep 600" % name)
        criteria = '[app_id="%s"]' % name
        try:
            self.s.wait_for(name + "'s window", lambda: self.swaymsg(criteria, "focus").returncode == 0,
                            timeout=15)
        except NotRunnable:
            return None
        return criteria

    def close_window(self, criteria):
        self.swaymsg(criteria, "kill")
        time.sleep(0.5)

    def fullscreen(self, criteria):
        self.swaymsg(criteria, "fullscreen", "enable")

    def is_fullscreen(self, criteria):
        tree = json.loads(self.s.output(["swaymsg", "-t", "get_tree", "-r"]) or "{}")
        stack = [tree]
        while stack:
            node = stack.pop()
            if node.get("app_id") == criteria.split('"')[1]:
                return node.get("fullscreen_mode") == 1
            stack += node.get("nodes", []) + node.get("floating_nodes", [])
        return False

    def close_client(self, window):
        pass
