"""Xfce: xfwm4 (compositing, as it starts by default), xfdesktop with its icons, and
xfce4-panel with a task list, a pager and the system tray (a StatusNotifierItem host that
also takes XEmbed icons)."""

import re
import time

from session import write

TITLE = "Xfce (xfwm4, xfdesktop, xfce4-panel)"
SERVER = "x11"
# xfdesktop opens files through Thunar's file manager service.
PACKAGES = ["xfwm4", "xfdesktop4", "xfce4-panel", "xfconf", "thunar", "wmctrl", "x11-apps"]
PANEL_HEIGHT = 30
XFCONF = "/.config/xfce4/xfconf/xfce-perchannel-xml/"

PANEL = """<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="%d"/>
      <property name="background-style" type="uint" value="1"/>
      <property name="background-rgba" type="array">
        <value type="double" value="0.19"/><value type="double" value="0.19"/>
        <value type="double" value="0.25"/><value type="double" value="1"/>
      </property>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/><value type="int" value="2"/>
        <value type="int" value="3"/><value type="int" value="4"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="pager"/>
    <property name="plugin-2" type="string" value="tasklist"/>
    <property name="plugin-3" type="string" value="separator">
      <property name="expand" type="bool" value="true"/>
      <property name="style" type="uint" value="0"/>
    </property>
    <property name="plugin-4" type="string" value="systray">
      <property name="square-icons" type="bool" value="true"/>
    </property>
  </property>
</channel>
""" % PANEL_HEIGHT

# Only the files of the desktop folder: no Home, File System or Trash icons.
DESKTOP = """<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-desktop" version="1.0">
  <property name="desktop-icons" type="empty">
    <property name="file-icons" type="empty">
      <property name="show-home" type="bool" value="false"/>
      <property name="show-filesystem" type="bool" value="false"/>
      <property name="show-trash" type="bool" value="false"/>
      <property name="show-removable" type="bool" value="false"/>
    </property>
  </property>
</channel>
"""


def prepare(session):
    w = session.width
    session.layout = dict(icons=(0, PANEL_HEIGHT, 200, 300),
                          taskbar=(0, 0, w // 2, PANEL_HEIGHT),
                          tray=(int(w * 0.6), 0, w - int(w * 0.6), PANEL_HEIGHT),
                          icon_program="xfdesktop", right_click="xfdesktop's desktop menu")
    write(session.home + XFCONF + "xfce4-panel.xml", PANEL)
    write(session.home + XFCONF + "xfce4-desktop.xml", DESKTOP)


def start(session, x):
    session.essential("xfwm4", ["xfwm4", "--sm-client-disable"])
    session.wait_for("xfwm4", x.has_wm)
    session.essential("xfce4-panel", ["xfce4-panel", "--sm-client-disable"])
    session.wait_for("the panel", lambda: x.find("^xfce4-panel$"))
    start_icons(session, x)


def start_icons(session, x):
    session.essential("xfdesktop", ["xfdesktop", "--sm-client-disable"])
    session.wait_for("xfdesktop's desktop", lambda: x.find("^Desktop$"))


def settle(session, x):
    """A plain background colour on every monitor and workspace xfdesktop made settings for."""
    listing = session.output(["xfconf-query", "-c", "xfce4-desktop", "-l"])
    colour = sum((["-t", "double", "-s", v] for v in ("0.23", "0.43", "0.65", "1")), [])
    for workspace in sorted(set(re.findall(r"^(/backdrop/\S+/workspace\d+)/", listing, re.M))):
        query = ["xfconf-query", "-c", "xfce4-desktop", "-n", "-p"]
        session.run(query + [workspace + "/image-style", "-t", "int", "-s", "0"])
        session.run(query + [workspace + "/color-style", "-t", "int", "-s", "0"])
        session.run(query + [workspace + "/rgba1", "--force-array"] + colour)
    time.sleep(1.5)
