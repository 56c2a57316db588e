"""KDE Plasma on X11: KWin and plasmashell with its default layout (a folder view on the
desktop, a panel at the bottom with the task manager and the system tray); kded5 keeps the
StatusNotifierWatcher."""

import plasma

TITLE = "KWin X11 + plasmashell"
SERVER = "x11"
PACKAGES = ["kwin-x11", "plasma-workspace", "plasma-desktop", "wmctrl", "x11-apps"]

# Drovane's wallpaper plugin shows its PipeWire streams.
PACKAGES += ["pipewire-bin", "wireplumber", "qml-module-org-kde-pipewire"]
GIVES_BACK = plasma.GIVES_BACK
shown = plasma.shown


def windows(session):
    return None  # Drovane makes no window of its own on Plasma: its taskbar is looked at


def prepare(session):
    plasma.prepare(session, "x11", "plasma")


def start(session, x):
    session.run(["kbuildsycoca5"], timeout=120)
    plasma.start_pipewire(session)
    session.essential("kwin", ["kwin_x11", "--replace"])
    session.wait_for("KWin", x.has_wm, timeout=40)
    session.spawn("kded5", ["kded5"])
    session.wait_for("kded5's StatusNotifierWatcher",
                     lambda: session.bus_has("org.kde.StatusNotifierWatcher"), timeout=40)
    session.essential("plasmashell", ["plasmashell", "--no-respawn"])
    session.wait_for("plasmashell", lambda: session.bus_has("org.kde.plasmashell"), timeout=60)
    session.wait_for("Plasma's desktop", lambda: desktop_window(x), timeout=60)


settle = plasma.settle


def desktop_window(x):
    for w in x.client_list():
        if "_NET_WM_WINDOW_TYPE_DESKTOP" in x.window_property(w, "_NET_WM_WINDOW_TYPE") and \
                "plasmashell" in x.window_property(w, "WM_CLASS"):
            return w
    return None
