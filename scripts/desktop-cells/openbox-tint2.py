"""Openbox with the tint2 panel: a window manager without desktop icons; tint2's system tray is
an XEmbed tray (no StatusNotifierItem host)."""

import re

from session import write

TITLE = "Openbox + tint2"
SERVER = "x11"
PACKAGES = ["openbox", "tint2", "wmctrl", "x11-apps"]
PANEL_HEIGHT = 30


def layout(width, height):
    top = height - PANEL_HEIGHT
    return dict(taskbar=(0, top, width // 2, PANEL_HEIGHT),
                tray=(int(width * 0.6), top, width - int(width * 0.6), PANEL_HEIGHT),
                right_click="Openbox's root menu")


def tint2_config(session):
    """Debian's tint2rc with an opaque panel holding only the task list and the tray."""
    with open("/etc/xdg/tint2/tint2rc") as f:
        text = f.read()
    text = re.sub(r"(?m)^panel_items = .*$", "panel_items = TS", text)
    text = re.sub(r"(?m)^background_color = #000000 60$", "background_color = #303040 100", text, count=1)
    text = re.sub(r"(?m)^panel_size = .*$", "panel_size = 100%% %d" % PANEL_HEIGHT, text)
    path = session.home + "/.config/tint2/tint2rc"
    write(path, text)
    return path


def prepare(session):
    session.layout = layout(session.width, session.height)
    session.tint2rc = tint2_config(session)


def start(session, x):
    session.essential("openbox", ["openbox", "--sm-disable"])
    session.wait_for("Openbox", x.has_wm)
    session.essential("tint2", ["tint2", "-c", session.tint2rc])
    session.wait_for("tint2's panel", lambda: x.find("^tint2$"))
