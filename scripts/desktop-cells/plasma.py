"""What the two Plasma cells share: the session's variables, a plain background and the default
layout's places (a folder view on the desktop, a panel at the bottom with the task manager and
the system tray)."""

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
