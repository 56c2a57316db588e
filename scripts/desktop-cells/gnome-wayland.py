"""GNOME Shell as a Wayland compositor, nested in a window on a private X server (which is what
the screenshots show and where input goes), with Xwayland for X clients and the same two
extensions as on X11. The shell draws its own menus and keeps Wayland windows to itself: what
its Alt-Tab list and dash hold comes from the shell (org.gnome.Shell.Eval, which a private
helper extension allows)."""

import json
import os
import time

from session import NotRunnable, write

TITLE = "GNOME Shell on Wayland (nested; desktop icons, AppIndicator)"
SERVER = "wayland"
PACKAGES = ["gnome-shell", "gnome-shell-extension-desktop-icons-ng",
            "gnome-shell-extension-appindicator", "xwayland", "wmctrl", "x11-apps"]
TOP_BAR = 32
HELPER = "matrix-eval@drovane.invalid"
EXTENSIONS = "['ding@rastersoft.com', 'ubuntu-appindicators@ubuntu.com', '%s']" % HELPER
ENV = {"XDG_CURRENT_DESKTOP": "GNOME", "XDG_SESSION_TYPE": "wayland", "XDG_SESSION_DESKTOP": "gnome",
       "GNOME_SHELL_SESSION_MODE": "user"}

# Which of the shell's windows its Alt-Tab list and its dash (running applications) show.
WINDOWS = """
const {Meta, Shell} = imports.gi;
const tab = global.display.get_tab_list(Meta.TabList.NORMAL_ALL, null);
const running = Shell.AppSystem.get_default().get_running().flatMap(a => a.get_windows());
global.display.list_all_windows().map(w => ({
    title: w.get_title() || '', class: w.get_wm_class() || '',
    x11: w.get_client_type() === Meta.WindowClientType.X11,
    type: w.get_window_type(), alttab: tab.includes(w), dash: running.includes(w)}));
"""


def prepare(session):
    session.env.update(ENV)
    session.layout = dict(icons=(0, TOP_BAR, 200, 300),
                          tray=(int(session.width * 0.6), 0, session.width - int(session.width * 0.6) - 40, TOP_BAR),
                          shell_menus=True, right_click="the desktop icons' menu")
    helper = session.home + "/.local/share/gnome-shell/extensions/" + HELPER
    write(helper + "/metadata.json", json.dumps(
        {"uuid": HELPER, "name": "Matrix eval", "description": "Lets the test matrix ask the shell.",
         "shell-version": ["43"]}))
    write(helper + "/extension.js",
          "function init() {}\nfunction enable() { global.context.unsafe_mode = true; }\n"
          "function disable() {}\n")


def gsettings(session, schema, key, value):
    session.run(["gsettings", "set", schema, key, value])


def shell_eval(session, code):
    out = session.output(["busctl", "--json=short", "--address=" + session.env["DBUS_SESSION_BUS_ADDRESS"],
                          "call", "org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell", "Eval",
                          "s", code])
    """The value of JavaScript `code` in the shell, or None."""
    try:
        ok, value = json.loads(out)["data"]
        return json.loads(value) if ok else None
    except (ValueError, KeyError, TypeError):
        return None


def start(session, x):
    gsettings(session, "org.gnome.desktop.background", "picture-options", "none")
    gsettings(session, "org.gnome.desktop.background", "primary-color", "#3a6ea5")
    gsettings(session, "org.gnome.shell", "enabled-extensions", EXTENSIONS)
    gsettings(session, "org.gnome.shell", "welcome-dialog-last-shown-version", "'999'")
    gsettings(session, "org.gnome.shell.extensions.ding", "show-home", "false")
    gsettings(session, "org.gnome.shell.extensions.ding", "show-trash", "false")
    # The desktop icons' extension fails to start now and then (it reads every process's
    # command line while processes come and go): the shell gets a second chance.
    for attempt in (1, 2):
        shell = start_shell(session)
        try:
            session.wait_for("the desktop icons", lambda: any(
                w["title"].startswith("@!") or "ding" in w["class"].lower() for w in windows(session) or []),
                timeout=40)
            break
        except NotRunnable:
            if attempt == 2:
                raise
            session.stop(shell)
    # The shell opens in the overview.
    session.wait_for("the overview to close", lambda: shell_eval(
        session, "const {main} = imports.ui; main.overview.hide(); main.overview.visible || "
                 "main.overview.animationInProgress") is False, timeout=20)
    time.sleep(2)


def start_shell(session):
    session.env["DISPLAY"] = session.host_display  # the shell's window; its clients get Xwayland
    shell = session.essential("gnome-shell", ["gnome-shell", "--nested", "--wayland", "--sm-disable"],
                              env={"MUTTER_DEBUG_DUMMY_MODE_SPECS": "%dx%d" % (session.width, session.height)})
    session.wait_for("the shell on the bus", lambda: session.bus_has("org.gnome.Shell"), timeout=60)
    session.wait_for("the shell's Eval", lambda: shell_eval(session, "1") is not None, timeout=30)
    xwayland = shell_eval(session, "['DISPLAY', 'XAUTHORITY'].map(v => imports.gi.GLib.getenv(v))")
    if not xwayland or not xwayland[0]:
        raise NotRunnable("the shell started no Xwayland")
    session.env.update(DISPLAY=xwayland[0], XAUTHORITY=xwayland[1] or "", WAYLAND_DISPLAY="wayland-0")
    session.wait_for("the shell's Wayland socket",
                     lambda: os.path.exists(os.path.join(session.runtime, "wayland-0")))
    return shell


def windows(session):
    listing = shell_eval(session, WINDOWS)
    if listing is None:
        return None
    found = []
    for w in listing:
        why = "%s, %s" % ("X11" if w["x11"] else "Wayland", "type %d" % w["type"])
        if w["alttab"]:
            why += ", in Alt-Tab"
        if w["dash"]:
            why += ", in the dash"
        found.append(dict(title=w["title"], **{"class": w["class"]}, listed=w["alttab"] or w["dash"], why=why))
    return found
