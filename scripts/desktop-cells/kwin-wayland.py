"""KDE Plasma on Wayland: KWin nested in a window on a private X server (what the screenshots
show and where input goes), rootless Xwayland, and plasmashell with its default layout."""

import os
import shutil
import time

import plasma

from session import NotRunnable


TITLE = "KWin Wayland + plasmashell (nested)"
SERVER = "wayland"
# plasmashell is a Qt 5 program: qtwayland5 is its Wayland platform plugin.
PACKAGES = ["kwin-wayland", "plasma-workspace", "plasma-desktop", "qtwayland5", "xwayland", "wmctrl",
            "x11-apps"]

# Drovane's wallpaper plugin shows its PipeWire streams.
PACKAGES += ["pipewire-bin", "wireplumber", "qml-module-org-kde-pipewire"]
GIVES_BACK = plasma.GIVES_BACK
shown = plasma.shown


def prepare(session):
    plasma.prepare(session, "wayland", "plasmawayland", shell_menus=True)


def windows(session):
    return None  # KWin tells its window lists only to its own scripts: its taskbar is looked at


def start(session, x):
    # kwin_wayland carries a file capability (cap_sys_resource) that a container's bounding set
    # may lack, and then it cannot be executed at all; a copy without it runs (it only raises
    # its file limits with it).
    kwin = os.path.join(session.out, "bin", "kwin_wayland")
    os.makedirs(os.path.dirname(kwin), exist_ok=True)
    shutil.copy(shutil.which("kwin_wayland"), kwin)
    session.run(["kbuildsycoca5"], timeout=120)
    plasma.start_pipewire(session)
    session.spawn("kded5", ["kded5"])
    session.essential("kwin", [kwin, "--x11-display", session.host_display, "--width", str(session.width),
                               "--height", str(session.height), "--xwayland", "--socket", "wayland-0",
                               "plasmashell"])
    session.wait_for("KWin's Wayland socket", lambda: os.path.exists(os.path.join(session.runtime, "wayland-0")),
                     timeout=40)
    session.wait_for("plasmashell", lambda: session.bus_has("org.kde.plasmashell"), timeout=90)
    env = plasmashell_env(session)
    if not env.get("DISPLAY"):
        raise NotRunnable("KWin started no Xwayland for plasmashell")
    session.env.update(DISPLAY=env["DISPLAY"], XAUTHORITY=env.get("XAUTHORITY", ""),
                       WAYLAND_DISPLAY="wayland-0")
    time.sleep(5)


def plasmashell_env(session):
    pid = session.output(["pgrep", "-n", "-x", "plasmashell"]).strip()
    try:
        with open("/proc/%s/environ" % pid, "rb") as f:
            pairs = f.read().split(b"\0")
    except OSError:
        return {}
    return dict(p.decode(errors="replace").split("=", 1) for p in pairs if b"=" in p)


settle = plasma.settle
