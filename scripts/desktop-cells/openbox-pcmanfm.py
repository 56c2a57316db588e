"""Openbox with pcmanfm drawing the desktop and its icons (as LXDE starts it), no panel."""

from session import write

TITLE = "Openbox + pcmanfm --desktop"
SERVER = "x11"
PACKAGES = ["openbox", "pcmanfm", "wmctrl", "x11-apps"]


def prepare(session):
    session.layout = dict(icons=(0, 0, 200, 300), icon_program="pcmanfm",
                          right_click="pcmanfm's desktop menu")
    # A plain background colour, so that the icons stand out where they are; the desktop's
    # own menu rather than the window manager's on a right-click.
    write(session.home + "/.config/pcmanfm/default/desktop-items-0.conf",
          "[*]\nwallpaper_mode=color\ndesktop_bg=#3a6ea5\ndesktop_fg=#ffffff\n"
          "desktop_shadow=#000000\nshow_wm_menu=0\nshow_documents=0\nshow_trash=0\nshow_mounts=0\n")


def start(session, x):
    session.essential("openbox", ["openbox", "--sm-disable"])
    session.wait_for("Openbox", x.has_wm)
    start_icons(session, x)


def start_icons(session, x):
    session.essential("pcmanfm", ["pcmanfm", "--desktop", "--profile", "default"])
    session.wait_for("pcmanfm's desktop", lambda: desktop_window(session, x))


def desktop_window(session, x):
    for w in x.client_list():
        if "_NET_WM_WINDOW_TYPE_DESKTOP" in x.window_property(w, "_NET_WM_WINDOW_TYPE") and \
                "pcmanfm" in x.window_property(w, "WM_CLASS"):
            return w
    return None
