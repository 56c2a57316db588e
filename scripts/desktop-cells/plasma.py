"""What the two Plasma cells share: the session's variables, a plain background and the default
layout's places (a folder view on the desktop, a panel at the bottom with the task manager and
the system tray); PipeWire with its session manager, which Drovane's wallpaper plugin needs, and
the plugin itself in the private home."""

import os
import shutil
import time

import screen
from session import NotRunnable, write

CHECKOUT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.realpath(__file__))))
# Drovane replaces Plasma's wallpaper with its plugin and gives it back when it quits.
GIVES_BACK = True

PANEL_HEIGHT = 44
# A plain background colour on every desktop, so that the icons stand out where they are.
PLAIN = ("for (const d of desktops()) { d.wallpaperPlugin = 'org.kde.color'; "
         "d.currentConfigGroup = ['Wallpaper', 'org.kde.color', 'General']; "
         "d.writeConfig('Color', '58,110,165'); }")


def prepare(session, session_type, desktop_session, **layout):
    w, h = session.width, session.height
    session.env.update({"XDG_CURRENT_DESKTOP": "KDE", "KDE_FULL_SESSION": "true",
                        "KDE_SESSION_VERSION": "5", "XDG_SESSION_TYPE": session_type,
                        "DESKTOP_SESSION": desktop_session})
    top = h - PANEL_HEIGHT
    session.layout = dict(icons=(0, 0, 200, 300), icon_program="plasmashell",
                          taskbar=(0, top, w // 2, PANEL_HEIGHT),
                          # The tray, left of the clock.
                          tray=(int(w * 0.6), top, w - int(w * 0.6) - 110, PANEL_HEIGHT),
                          right_click="Plasma's desktop menu", **layout)
    install_plugin(session)


def settle(session, x):
    """The plain background, then a panel that keeps still: its launchers are laid out again a
    while after it shows, which would count as Drovane changing the taskbar."""
    session.run(["busctl", "--address=" + session.env["DBUS_SESSION_BUS_ADDRESS"], "call",
                 "org.kde.plasmashell", "/PlasmaShell", "org.kde.PlasmaShell", "evaluateScript",
                 "s", PLAIN])
    time.sleep(3)
    previous = x.shot("settling")
    for _ in range(10):
        time.sleep(2)
        shot = x.shot("settling")
        if screen.changed(previous, shot, session.layout["taskbar"], threshold=40, step=2) == 0:
            return
        previous = shot


def install_plugin(session):
    """The wallpaper package where plasmashell looks for a user's own, and a launcher entry with
    the binary's path: KWin tells a program its windows' states only when its entry asks."""
    package = os.path.join(CHECKOUT, "packaging", "plasma-wallpaper", "app.drovane.wallpaper")
    target = os.path.join(session.home, ".local/share/plasma/wallpapers/app.drovane.wallpaper")
    if os.path.isdir(package):
        shutil.rmtree(target, ignore_errors=True)
        shutil.copytree(package, target)
    write(os.path.join(session.home, ".local/share/applications/app.drovane.desktop"),
          "[Desktop Entry]\nType=Application\nName=Drovane\nExec=%s %%U\n"
          "X-KDE-Wayland-Interfaces=org_kde_plasma_window_management\n" % session.binary)


def start_pipewire(session):
    """PipeWire and WirePlumber, which links the plugin's stream to Drovane's."""
    session.essential("pipewire", ["pipewire"])
    session.wait_for("PipeWire's socket", lambda: os.path.exists(os.path.join(session.runtime, "pipewire-0")),
                     timeout=20)
    session.spawn("wireplumber", ["wireplumber"])


def shown(session):
    log = session.drovane_log()
    if "cannot be Plasma's wallpaper" in log:
        raise NotRunnable([l for l in log.splitlines() if "cannot be Plasma's wallpaper" in l][-1])
    return "the film is Plasma's wallpaper on" in log
