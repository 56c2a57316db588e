"""sway on wlroots' headless backend, run as an unprivileged user (it refuses root), with
swaybar's tray (a StatusNotifierItem host) and Xwayland. Screenshots with grim, the pointer
through sway's own seat commands, keys through wtype (a virtual keyboard)."""

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
PACKAGES = ["sway", "grim", "wtype", "xwayland", "x11-apps"]
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
    checks.run_checks(Cell, session, Sway(session), results)


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
        self.swaymsg("exec", "xlogo -name %s" % name)
        criteria = '[instance="%s"]' % name
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
            if (node.get("window_properties") or {}).get("instance") == criteria.split('"')[1]:
                return node.get("fullscreen_mode") == 1
            stack += node.get("nodes", []) + node.get("floating_nodes", [])
        return False

    def close_client(self, window):
        pass
