"""KWin on Wayland alone, without plasmashell: no desktop program, panel or tray, so the
wallpaper is a layer-shell surface on KWin's background layer. KWin runs nested in a window on a
private X server (what the screenshots show and where input goes), with rootless Xwayland for
the covering windows."""

import os
import shutil
import time

TITLE = "KWin Wayland alone (nested, no plasmashell)"
SERVER = "wayland"
PACKAGES = ["kwin-wayland", "qtwayland5", "xwayland", "wmctrl", "x11-apps"]


def prepare(session):
    session.env.update({"XDG_SESSION_TYPE": "wayland", "XDG_CURRENT_DESKTOP": "KDE"})
    session.layout = dict(right_click=None)


# KWin tells its window lists only to its own scripts: one prints every window it manages, with
# what keeps it out of the taskbar, the pager and the window switcher, into KWin's log.
LIST_SCRIPT = """for (const w of workspace.clientList())
    print("matrix-window|" + w.caption + "|" + w.resourceClass + "|" + w.skipTaskbar + "|" +
          w.skipPager + "|" + w.skipSwitcher);
print("matrix-windows-end");
"""


def windows(session):
    path = os.path.join(session.out, "list-windows.js")
    with open(path, "w") as f:
        f.write(LIST_SCRIPT)
    log = os.path.join(session.out, "logs", "kwin.log")
    before = os.path.getsize(log) if os.path.exists(log) else 0
    bus = ["busctl", "--address=" + session.env["DBUS_SESSION_BUS_ADDRESS"], "call", "org.kde.KWin"]
    name = "matrix-list-%d" % time.monotonic_ns()
    loaded = session.output(bus + ["/Scripting", "org.kde.kwin.Scripting", "loadScript", "ss", path, name]).split()
    if len(loaded) != 2 or not loaded[1].lstrip("-").isdigit() or int(loaded[1]) < 0:
        return None
    session.run(bus + ["/Scripting", "org.kde.kwin.Scripting", "start"])  # runs what is loaded
    time.sleep(1)
    session.run(bus + ["/Scripting", "org.kde.kwin.Scripting", "unloadScript", "s", name])
    with open(log, errors="replace") as f:
        f.seek(before)
        lines = f.readlines()
    if not any("matrix-windows-end" in line for line in lines):
        return None  # the script did not run
    rows = [line.split("matrix-window|", 1)[1].rstrip("\n").split("|") for line in lines if "matrix-window|" in line]
    found = []
    for title, cls, *skips in (r for r in rows if len(r) == 5):
        skipped = [list_ for list_, skip in zip(("taskbar", "pager", "switcher"), skips) if skip == "true"]
        found.append(dict(title=title, **{"class": cls}, listed=len(skipped) < 3,
                          why="skips " + (", ".join(skipped) or "no list")))
    return found


def start(session, x):
    # The same copy without its file capability as the Plasma cell makes (see kwin-wayland.py).
    kwin = os.path.join(session.out, "bin", "kwin_wayland")
    os.makedirs(os.path.dirname(kwin), exist_ok=True)
    shutil.copy(shutil.which("kwin_wayland"), kwin)
    # The program KWin starts tells which DISPLAY its Xwayland has.
    given = os.path.join(session.runtime, "kwin-display")
    session.essential("kwin", [kwin, "--x11-display", session.host_display, "--width", str(session.width),
                               "--height", str(session.height), "--xwayland", "--socket", "wayland-0",
                               "sh -c 'printenv DISPLAY >%s; exec sleep infinity'" % given])
    session.wait_for("KWin's Wayland socket", lambda: os.path.exists(os.path.join(session.runtime, "wayland-0")),
                     timeout=40)
    session.wait_for("KWin's Xwayland", lambda: os.path.exists(given) and open(given).read().strip(), timeout=40)
    session.env.update(DISPLAY=open(given).read().strip(), WAYLAND_DISPLAY="wayland-0")
