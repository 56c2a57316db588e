"""GNOME Shell as the X11 window manager and compositor, with Debian's desktop icons (DING) and
AppIndicator extensions. The shell draws its own menus (no X windows), so a menu that opens
is seen in the pixels."""

import time

from session import NotRunnable

TITLE = "GNOME Shell on X11 (desktop icons, AppIndicator)"
SERVER = "x11"
PACKAGES = ["gnome-shell", "gnome-shell-extension-desktop-icons-ng",
            "gnome-shell-extension-appindicator", "wmctrl", "x11-apps"]
TOP_BAR = 32
EXTENSIONS = "['ding@rastersoft.com', 'ubuntu-appindicators@ubuntu.com']"
ENV = {"XDG_CURRENT_DESKTOP": "GNOME", "XDG_SESSION_TYPE": "x11", "XDG_SESSION_DESKTOP": "gnome",
       "GNOME_SHELL_SESSION_MODE": "user"}


def prepare(session):
    w = session.width
    session.env.update(ENV)
    session.layout = dict(icons=(0, TOP_BAR, 200, 300),
                          tray=(int(w * 0.6), 0, w - int(w * 0.6) - 40, TOP_BAR),  # left of the system menu
                          shell_menus=True,
                          right_click="the desktop icons' menu")


def gsettings(session, schema, key, value):
    session.run(["gsettings", "set", schema, key, value])


def start(session, x):
    # The settings before the shell reads them: a plain background, the two extensions, no
    # welcome tour.
    gsettings(session, "org.gnome.desktop.background", "picture-options", "none")
    gsettings(session, "org.gnome.desktop.background", "primary-color", "#3a6ea5")
    gsettings(session, "org.gnome.shell", "enabled-extensions", EXTENSIONS)
    gsettings(session, "org.gnome.shell", "welcome-dialog-last-shown-version", "'999'")
    gsettings(session, "org.gnome.shell.extensions.ding", "show-home", "false")
    gsettings(session, "org.gnome.shell.extensions.ding", "show-trash", "false")
    # The desktop icons' extension fails to start now and then (it reads every process's
    # command line while processes come and go): the shell gets a second chance.
    for attempt in (1, 2):
        shell = session.essential("gnome-shell", ["gnome-shell", "--x11", "--replace", "--sm-disable"])
        session.wait_for("GNOME Shell", x.has_wm, timeout=60)
        session.wait_for("the shell on the bus", lambda: session.bus_has("org.gnome.Shell"), timeout=60)
        try:
            session.wait_for("the desktop icons' window", lambda: desktop_window(x), timeout=40)
            break
        except NotRunnable:
            if attempt == 2:
                raise
            session.stop(shell)
    time.sleep(3)
    x.key("Escape")  # the shell opens in the overview


def desktop_window(x):
    for w in x.client_list():
        if "_NET_WM_WINDOW_TYPE_DESKTOP" in x.window_property(w, "_NET_WM_WINDOW_TYPE"):
            return w
    return None
