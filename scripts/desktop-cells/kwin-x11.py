"""KDE Plasma on X11: KWin and plasmashell with its default layout (a folder view on the
desktop, a panel at the bottom with the task manager and the system tray); kded5 keeps the
StatusNotifierWatcher."""

import time

TITLE = "KWin X11 + plasmashell"
SERVER = "x11"
PACKAGES = ["kwin-x11", "plasma-workspace", "plasma-desktop", "wmctrl", "x11-apps"]
PANEL_HEIGHT = 44
ENV = {"XDG_CURRENT_DESKTOP": "KDE", "KDE_FULL_SESSION": "true", "KDE_SESSION_VERSION": "5",
       "XDG_SESSION_TYPE": "x11", "DESKTOP_SESSION": "plasma"}
# A plain background colour on every desktop, so that the icons stand out where they are.
PLAIN = ("for (const d of desktops()) { d.wallpaperPlugin = 'org.kde.color'; "
         "d.currentConfigGroup = ['Wallpaper', 'org.kde.color', 'General']; "
         "d.writeConfig('Color', '58,110,165'); }")


def prepare(session):
    w, h = session.width, session.height
    session.env.update(ENV)
    top = h - PANEL_HEIGHT
    session.layout = dict(icons=(0, 0, 200, 300), icon_program="plasmashell",
                          taskbar=(0, top, w // 2, PANEL_HEIGHT),
                          # The tray, left of the clock.
                          tray=(int(w * 0.6), top, w - int(w * 0.6) - 110, PANEL_HEIGHT),
                          right_click="Plasma's desktop menu")


def start(session, x):
    session.run(["kbuildsycoca5"], timeout=120)
    session.essential("kwin", ["kwin_x11", "--replace"])
    session.wait_for("KWin", x.has_wm, timeout=40)
    session.spawn("kded5", ["kded5"])
    session.wait_for("kded5's StatusNotifierWatcher",
                     lambda: session.bus_has("org.kde.StatusNotifierWatcher"), timeout=40)
    session.essential("plasmashell", ["plasmashell", "--no-respawn"])
    session.wait_for("plasmashell", lambda: session.bus_has("org.kde.plasmashell"), timeout=60)
    session.wait_for("Plasma's desktop", lambda: desktop_window(x), timeout=60)


def settle(session, x):
    session.run(["busctl", "--address=" + session.env["DBUS_SESSION_BUS_ADDRESS"], "call",
                 "org.kde.plasmashell", "/PlasmaShell", "org.kde.PlasmaShell", "evaluateScript",
                 "s", PLAIN])
    time.sleep(3)


def desktop_window(x):
    for w in x.client_list():
        if "_NET_WM_WINDOW_TYPE_DESKTOP" in x.window_property(w, "_NET_WM_WINDOW_TYPE") and \
                "plasmashell" in x.window_property(w, "WM_CLASS"):
            return w
    return None
