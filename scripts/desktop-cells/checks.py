"""The checks of one desktop, run against the real session as a user would meet it."""

import os
import re
import time

import screen
from session import NotRunnable

CHECKS = [
    ("film", "the film shows and moves where no icon or panel is"),
    ("icons", "the desktop's icons are visible above the film"),
    ("hidden", "where the film cannot show, playback pauses and Drovane says what hides it"),
    ("icons-later", "an icon program that starts again while Drovane runs keeps its icons above the "
                    "film, and playback pauses again"),
    ("lists", "the wallpaper is in no taskbar, pager or Alt-Tab list"),
    ("covered", "a normal window covers the film"),
    ("right-click", "a right-click on the desktop reaches the icon program or the root window"),
    ("double-click", "a double-click on a desktop icon opens it"),
    ("fullscreen", "a fullscreen window pauses playback"),
    ("uncover", "uncovering resumes playback"),
    ("tray-item", "the tray item shows"),
    ("tray-menu", "a click on the tray item opens its menu"),
    ("tray-submenu", "the film submenu opens"),
    ("tray-choose", "choosing a film there switches the wallpaper"),
    ("give-back", "where the desktop's own wallpaper was replaced, quitting brings it back"),
]

PASS, FAIL, NA, NOT_RUN = "pass", "fail", "n/a", "not run"

# A playing film costs more than this share of a core (the matrix's small film, 3-4 % under
# KWin); a paused one less than IDLE_CPU, and less than a third of what it cost playing.
PLAYING_CPU = 0.01
IDLE_CPU = 0.02


class Results:
    def __init__(self):
        self.rows = {}
        self.film_shows = False

    def set(self, check, status, reason):
        self.rows[check] = (status, reason)

    def get(self, check):
        return self.rows.get(check, (NOT_RUN, "the cell stopped before this check"))


def run_x11(cell, session, results):
    """Starts the desktop of `cell` on a private X server, then Drovane, then checks it."""
    x = screen.X11(session)
    session.make_home()
    cell.prepare(session)
    session.start_xvfb()
    session.start_bus()
    cell.start(session, x)
    run_checks(cell, session, x, results)


def run_checks(cell, session, x, results):
    """The checks, once the desktop runs: `x` takes screenshots, gives input and opens windows."""
    time.sleep(2)
    if hasattr(cell, "settle"):
        cell.settle(session, x)
    x.park_pointer()
    desktop = x.shot("desktop")
    if session.layout.get("icons"):
        # Icons may be drawn a while after their window maps, and the desktop behind them too.
        for _ in range(10):
            background = desktop.pixel(*centre(clear_area(session)))
            if screen.foreground_box(desktop, session.layout["icons"], background):
                break
            time.sleep(2)
            desktop = x.shot("desktop")

    session.start_drovane()
    try:
        # A wallpaper on Wayland has no X window to wait for.
        shown = getattr(cell, "shown", None)
        session.wait_for("a wallpaper window", lambda: (shown(session) if shown else x.find("^Drovane wallpaper$")) or
                         (hasattr(cell, "windows") and any(line in session.drovane_log() for line in
                                                           ("Drovane: wallpapers", "Drovane: a wallpaper on the"))),
                         timeout=25)
    except NotRunnable as e:
        if not session.alive(session.drovane):
            raise NotRunnable("drovane exited with status %s: %s" % (
                session.drovane.returncode, last_line(session.drovane_log())))
        results.set("film", FAIL, str(e))
    clear = clear_area(session)
    # The fade-in takes a few seconds; on a busy machine the first frame may take longer.
    time.sleep(4)
    tray = session.layout.get("tray")
    for _ in range(8):
        time.sleep(2)
        film_a = x.shot("film")
        if screen.changed(desktop, film_a, clear, threshold=30) >= 0.5 and \
                (not tray or screen.bounding_box(desktop, film_a, tray)):
            break
    time.sleep(1.5)
    film_b = x.shot("film-later")

    check_film(results, desktop, film_a, film_b, clear)
    check_icons(session, results, desktop, film_a, clear)
    check_hidden(session, results)
    if hasattr(cell, "windows"):
        check_compositor_lists(cell, session, results, desktop, film_a)
    else:
        check_lists(session, x, results, desktop, film_a)
    check_covered(x, session, results, film_b, clear)
    check_right_click(session, x, results, clear)
    check_double_click(x, session, results, desktop, clear)
    check_fullscreen(x, session, results, clear)
    check_tray(x, session, results, desktop, film_a, clear)
    check_icons_later(cell, session, x, results, desktop, clear)
    check_give_back(cell, session, x, results, desktop, clear)


def clear_area(session):
    """A part of the screen where neither icons nor panels are: the middle of the right half."""
    w, h = session.width, session.height
    return int(w * 0.5), int(h * 0.3), int(w * 0.4), int(h * 0.4)


def centre(rect):
    return rect[0] + rect[2] // 2, rect[1] + rect[3] // 2


def last_line(text):
    lines = [l for l in text.splitlines() if l.strip()]
    return lines[-1] if lines else "(nothing logged)"


def check_film(results, desktop, a, b, clear):
    if "film" in results.rows:
        return
    shown = screen.changed(desktop, a, clear, threshold=30)
    results.film_shows = shown >= 0.5
    moving = screen.changed(a, b, clear, threshold=6)
    if shown < 0.5:
        results.set("film", FAIL, "the desktop looks as it did before Drovane started "
                    "(%.0f%% of the clear area changed)" % (100 * shown))
    elif moving < 0.05:
        results.set("film", FAIL, "a still picture: %.1f%% of the clear area changed in 1.5 s"
                    % (100 * moving))
    else:
        results.set("film", PASS, "%.0f%% of the clear area shows something new, %.0f%% of it "
                    "moved in 1.5 s" % (100 * shown, 100 * moving))


def check_icons(session, results, desktop, film, clear):
    area = session.layout.get("icons")
    if not area:
        results.set("icons", NA, "no desktop icons in this session")
        return
    background = desktop.pixel(*centre(clear))
    share = screen.kept(desktop, film, area, background)
    if share is None:
        results.set("icons", FAIL, "no icon to be seen on the desktop before Drovane started")
    elif share >= 0.6:
        results.set("icons", PASS, "%.0f%% of the icons' pixels unchanged" % (100 * share))
    else:
        results.set("icons", FAIL, "the film hides the icons: %.0f%% of their pixels still show"
                    % (100 * share))


def check_hidden(session, results):
    if results.film_shows:
        results.set("hidden", NA, "the film shows")
        return
    cpu = session.cpu_share(session.drovane, 3)
    program = session.layout.get("icon_program")
    log = session.drovane_log()
    if cpu is None:
        results.set("hidden", FAIL, "drovane exited")
    elif cpu > IDLE_CPU:
        results.set("hidden", FAIL, "the film is hidden but still costs %.1f%% of a core" % (100 * cpu))
    elif program and program.lower() not in log.lower():
        results.set("hidden", FAIL, "paused (%.1f%% of a core), but the log does not name %s"
                    % (100 * cpu, program))
    else:
        results.set("hidden", PASS, "paused (%.1f%% of a core)%s" % (
            100 * cpu, ", the log names " + program if program else ""))


def check_icons_later(cell, session, x, results, desktop, clear):
    """Drovane starts first and the icon program after it (a login that starts it last), then
    the icon program starts again while Drovane runs (as after a crash)."""
    program = session.layout.get("icon_program")
    if not hasattr(cell, "start_icons"):
        results.set("icons-later", NA, "no icon program started later in this session")
        return

    def stop_icons():
        for proc in [p for p in session.procs if p.label == program]:
            session.stop(proc)
        time.sleep(2)

    stop_icons()
    session.stop(session.drovane)
    said = session.drovane_log().lower().count(program.lower())
    session.start_drovane()
    time.sleep(8)
    shows = screen.changed(desktop, x.shot("icons-away"), clear, threshold=30) >= 0.5
    problems = []
    for attempt in ("started after Drovane", "started again"):
        if attempt != "started after Drovane":
            stop_icons()
        try:
            cell.start_icons(session, x)
        except NotRunnable as e:
            results.set("icons-later", NOT_RUN, "%s not %s: %s" % (program, attempt, e))
            return
        time.sleep(5)  # its desktop drawn, then playback pauses 1.5 s after the cover
        share = screen.kept(desktop, x.shot("icons-later"), session.layout["icons"],
                            desktop.pixel(*centre(clear)))
        cpu = session.cpu_share(session.drovane, 3)
        if cpu is None:
            results.set("icons-later", FAIL, "drovane exited after %s %s" % (program, attempt))
            return
        if share is None or share < 0.6:
            problems.append("%s %s: the film hides its icons" % (program, attempt))
        if cpu > IDLE_CPU:
            problems.append("%s %s: still %.1f%% of a core" % (program, attempt, 100 * cpu))
    if session.drovane_log().lower().count(program.lower()) <= said:
        problems.append("the log does not name %s" % program)
    away = "the film showed before it started" if shows else "the film did not show before it started"
    if problems:
        results.set("icons-later", FAIL, "; ".join(problems) + " (%s)" % away)
    else:
        results.set("icons-later", PASS, "%s started after Drovane and again: icons kept, paused, the log "
                    "names it; %s" % (program, away))


def wallpaper_windows(x):
    return x.find("^Drovane wallpaper$")


def check_compositor_lists(cell, session, results, desktop, film):
    """Where the compositor is asked: Drovane's windows that its window lists would show; where
    it does not say, what its taskbar shows."""
    windows = cell.windows(session)
    taskbar = session.layout.get("taskbar")
    if windows is None and taskbar:
        moved = screen.changed(desktop, film, taskbar, threshold=40, step=2)
        if moved > 0.02:
            results.set("lists", FAIL, "the taskbar changed when Drovane started (%.0f%% of it)" % (100 * moved))
        else:
            results.set("lists", PASS, "the taskbar did not change when Drovane started")
        return
    if windows is None:
        results.set("lists", NOT_RUN, "the compositor does not say which windows it lists")
        return
    ours = [w for w in windows if "drovane" in (w["title"] + " " + w["class"]).lower()]
    listed = [w for w in ours if w["listed"]]
    if not ours:
        results.set("lists", PASS, "the compositor knows no window of Drovane to list")
    elif listed:
        results.set("lists", FAIL, "listed: " + "; ".join(
            "%r (%s)" % (w["title"], w["why"]) for w in listed))
    else:
        results.set("lists", PASS, "%d window(s) of Drovane, none listed: %s" % (
            len(ours), "; ".join("%r (%s)" % (w["title"], w["why"]) for w in ours)))


def check_lists(session, x, results, desktop, film):
    windows = wallpaper_windows(x)
    if not windows:
        results.set("lists", FAIL, "no wallpaper window to look at")
        return
    problems = []
    for w in windows:
        kind = x.window_property(w, "_NET_WM_WINDOW_TYPE")
        state = x.window_property(w, "_NET_WM_STATE")
        if "_NET_WM_WINDOW_TYPE_DESKTOP" not in kind:
            problems.append("%s is not a desktop-type window (%s)" % (w, kind.strip()))
        for flag in ("SKIP_TASKBAR", "SKIP_PAGER"):
            if "_NET_WM_STATE_" + flag not in state:
                problems.append("%s lacks %s" % (w, flag))
    taskbar = session.layout.get("taskbar")
    if taskbar:
        moved = screen.changed(desktop, film, taskbar, threshold=40, step=2)
        if moved > 0.02:
            problems.append("the taskbar changed when Drovane started (%.0f%% of it)" % (100 * moved))
    if problems:
        results.set("lists", FAIL, "; ".join(problems))
    else:
        results.set("lists", PASS, "%d wallpaper window(s): desktop type, skip taskbar and pager%s"
                    % (len(windows), ", taskbar unchanged" if taskbar else ""))


def check_covered(x, session, results, film, clear):
    cx, cy, cw, ch = clear
    window = x.open_window("matrix-cover", clear)
    if not window:
        results.set("covered", NOT_RUN, "xlogo's window did not map")
        return
    time.sleep(1.5)
    a = x.shot("covered")
    time.sleep(1.0)
    b = x.shot("covered-later")
    x.close_window(window)
    inner = (cx + 40, cy + 60, cw - 80, ch - 100)
    moving = screen.changed(a, b, inner, threshold=6)
    differs = screen.changed(film, a, inner, threshold=30)
    if moving > 0.01:
        results.set("covered", FAIL, "the film moves inside the window (%.0f%%)" % (100 * moving))
    elif differs < 0.5:
        results.set("covered", FAIL, "the window's area still shows the film")
    else:
        results.set("covered", PASS, "the window shows its own still content")


def popup_names(x, popups):
    names = []
    for w in popups:
        cls = x.window_property(w, "WM_CLASS")
        m = re.search(r'"([^"]*)", "([^"]*)"', cls)
        names.append("%s %dx%d (%s)" % (w, popups[w][4], popups[w][5], m.group(2) if m else "no class"))
    return ", ".join(names)


def opened(x, session, action, name, near):
    """What `action` opened: new top-level windows, or (where the shell draws its menus itself)
    a part of the screen near where it should open that changed; None if nothing did."""
    before, shot = x.popups(), x.shot(name + "-before")
    action()
    time.sleep(1.5)
    after = x.shot(name)
    new = {w: v for w, v in x.popups().items() if w not in before}
    if new:
        return popup_names(x, new)
    if session.layout.get("shell_menus"):
        share = screen.changed(shot, after, near, threshold=80)
        if share > 0.08:
            return "drawn by the shell (%.0f%% of %dx%d%+d%+d changed)" % ((100 * share,) + near[2:] + near[:2])
    return None


def close_menus(x):
    x.key("Escape", "Escape", "Escape")
    x.park_pointer()
    time.sleep(0.5)


def check_right_click(session, x, results, clear):
    if "right_click" in session.layout and not session.layout["right_click"]:
        results.set("right-click", NA, "nothing here answers a click on the background")
        return
    px, py = centre(clear)
    menu = opened(x, session, lambda: x.click(px, py, button=3), "right-click", (px, py, 400, 300))
    close_menus(x)
    expected = session.layout.get("right_click", "a menu")
    if menu:
        results.set("right-click", PASS, "%s opened: %s" % (expected, menu))
    else:
        results.set("right-click", FAIL, "no menu opened (%s expected)" % expected)


def check_double_click(x, session, results, desktop, clear):
    area = session.layout.get("icons")
    if not area:
        results.set("double-click", NA, "no desktop icons in this session")
        return
    background = desktop.pixel(*centre(clear))
    box = screen.foreground_box(desktop, area, background)
    if not box:
        results.set("double-click", FAIL, "no icon to be seen on the desktop before Drovane started")
        return
    # The picture part of the first icon: its top, above the label.
    px, py = box[0] + box[2] // 2, box[1] + min(box[3], 48) // 2
    clients = set(x.client_list())
    x.click(px, py, button=1, repeat=2)
    deadline = time.time() + 6
    opened = ""
    while time.time() < deadline and not opened:
        time.sleep(0.3)
        if os.path.exists(session.opened_marker):
            with open(session.opened_marker) as f:
                opened = f.read().strip()
    x.shot("double-click")
    close_menus(x)
    for window in set(x.client_list()) - clients:  # an error dialog, say
        x.close_client(window)
    if "notes.txt" in opened:
        results.set("double-click", PASS, "notes.txt at (%d,%d) opened in its application" % (px, py))
    else:
        results.set("double-click", FAIL, "nothing opened after a double-click on the icon at (%d,%d)"
                    % (px, py))


def check_fullscreen(x, session, results, clear):
    drovane = session.drovane
    if not drovane or not session.alive(drovane):
        results.set("fullscreen", FAIL, "drovane is not running")
        results.set("uncover", NOT_RUN, "drovane is not running")
        return
    if not results.film_shows:
        for check in ("fullscreen", "uncover"):
            results.set(check, NA, "the film does not show here (see film, hidden)")
        return
    playing = session.cpu_share(drovane, 3)
    window = x.open_window("matrix-fullscreen", (100, 100, 300, 200))
    if not window:
        results.set("fullscreen", NOT_RUN, "xlogo's window did not map")
        results.set("uncover", NOT_RUN, "no fullscreen window")
        return
    x.fullscreen(window)
    time.sleep(3.5)  # playback pauses 1.5 s after the cover
    x.shot("fullscreen")
    full = x.is_fullscreen(window)
    covered = session.cpu_share(drovane, 4)
    x.close_window(window)
    if not full:
        results.set("fullscreen", NOT_RUN, "the window manager did not make the window fullscreen")
    elif playing is None or covered is None:
        results.set("fullscreen", FAIL, "drovane exited")
    elif playing < PLAYING_CPU:
        results.set("fullscreen", FAIL, "playing costs only %.1f%% of a core: too little to tell "
                    "a pause from playback" % (100 * playing))
    elif covered > min(IDLE_CPU, playing / 3):
        results.set("fullscreen", FAIL, "still %.1f%% of a core under the fullscreen window "
                    "(%.1f%% while playing)" % (100 * covered, 100 * playing))
    else:
        results.set("fullscreen", PASS, "%.1f%% of a core while covered, %.1f%% while playing"
                    % (100 * covered, 100 * playing))
    time.sleep(1.5)
    after = session.cpu_share(drovane, 3)
    a = x.shot("uncovered")
    time.sleep(1.5)
    b = x.shot("uncovered-later")
    moving = screen.changed(a, b, clear, threshold=6)
    if after is None:
        results.set("uncover", FAIL, "drovane exited")
    elif moving < 0.05 or after < PLAYING_CPU:
        results.set("uncover", FAIL, "%.1f%% of the clear area moved, %.1f%% of a core"
                    % (100 * moving, 100 * after))
    else:
        results.set("uncover", PASS, "moving again (%.0f%% of the clear area), %.1f%% of a core"
                    % (100 * moving, 100 * after))


def check_tray(x, session, results, desktop, film, clear):
    area = session.layout.get("tray")
    if not area:
        for check in ("tray-item", "tray-menu", "tray-submenu", "tray-choose"):
            results.set(check, NA, "no tray host in this session")
        return
    box = screen.bounding_box(desktop, film, area)
    if box and box[2] > 64:
        # The tray made room: its new item is the leftmost part that changed.
        box = screen.split_columns(desktop, film, box)[0]
    if not box or box[2] > 64 or box[3] > 64:
        results.set("tray-item", FAIL, "no item appeared in the tray" if not box else
                    "the tray changed over %dx%d, not one item" % (box[2], box[3]))
        for check in ("tray-menu", "tray-submenu", "tray-choose"):
            results.set(check, NOT_RUN, "no tray item")
        return
    results.set("tray-item", PASS, "an item of %dx%d at (%d,%d)" % (box[2], box[3], box[0], box[1]))
    ix, iy = centre(box)

    # Where the menu opens: below or above the item, on either side of it.
    below = iy < session.height // 2
    left = max(0, ix - 420)
    near = (left, iy + 12 if below else max(0, iy - 412), min(840, session.width - left), 400)

    def open_menu(name):
        return opened(x, session, lambda: x.click(ix, iy, button=1), name, near)

    pointer = session.layout.get("menu_keys") is False
    closed, cover = film, None
    if pointer and results.film_shows:
        # The pointer finds the menu's rows by what changes on screen: a still window under the
        # menu keeps the film's motion out of that.
        cover = x.open_window("matrix-still", clear)
        time.sleep(1.5)
        closed = x.shot("tray-still")
    menu = open_menu("tray-menu")
    if not menu:
        results.set("tray-menu", FAIL, "a left click on the item opened no menu")
        close_menus(x)
        if cover:
            x.close_window(cover)
        for check in ("tray-submenu", "tray-choose"):
            results.set(check, NOT_RUN, "no menu")
        return
    results.set("tray-menu", PASS, "opened: " + menu)
    way = PointerMenu(x, session, closed, near) if pointer else KeyMenu(x, session, near)
    submenu = way.open_submenu()
    if not submenu:
        results.set("tray-submenu", FAIL, way.no_submenu)
        close_menus(x)
        if cover:
            x.close_window(cover)
        results.set("tray-choose", NOT_RUN, "no submenu")
        return
    results.set("tray-submenu", PASS, "opened: " + submenu)
    first = session.selected_film()
    # Below the middle, where the reminder to match the desktop background does not open.
    lower = (clear[0], int(session.height * 0.72), clear[2], int(session.height * 0.18))
    colour = film.mean(lower)
    way.choose(1)
    time.sleep(4)  # the cross-fade
    chosen = session.selected_film()
    if chosen == first:
        # The second film was the one playing: the first one then.
        open_menu("tray-menu-again")
        if way.open_submenu():
            way.choose(0)
            time.sleep(4)
            chosen = session.selected_film()
    if cover:
        x.close_window(cover)
        time.sleep(4)
    after = x.shot("tray-chosen")
    close_menus(x)
    shift = screen.distance(colour, after.mean(lower))
    if chosen == first:
        results.set("tray-choose", FAIL, "the chosen film did not become the wallpaper (still %s)"
                    % os.path.basename(first or "none"))
    elif not results.film_shows:
        results.set("tray-choose", PASS, "now %s (stored; the film does not show here: see film, hidden)"
                    % os.path.basename(chosen))
    elif shift < 20:
        results.set("tray-choose", FAIL, "%s was stored but the picture barely changed"
                    % os.path.basename(chosen))
    else:
        results.set("tray-choose", PASS, "now %s (the picture's mean colour moved by %d)"
                    % (os.path.basename(chosen), shift))


class KeyMenu:
    """The tray menu driven with the keyboard: Open Drovane, Pause Wallpaper, then the film
    submenu's holder."""

    no_submenu = "Right on the third item opened no submenu"

    def __init__(self, x, session, near):
        self.x, self.session, self.near = x, session, near

    def open_submenu(self):
        return opened(self.x, self.session, lambda: self.x.key("Down", "Down", "Down", "Right"),
                      "tray-submenu", self.near)

    def choose(self, index):
        self.x.key(*(["Down"] * index + ["Return"]))


class PointerMenu:
    """The tray menu driven with the pointer alone, where keys do not reach it (an X11 menu on a
    compositor that gives it no keyboard focus). Rows are found where hovering changes the
    screen: the submenu's holder is the row whose hover opens something beside the menu, a film's
    row is where the hover highlights."""

    no_submenu = "hovering the menu's rows opened no submenu beside it"

    def __init__(self, x, session, closed, near):
        self.x, self.session, self.closed, self.near = x, session, closed, near
        self.sub = None

    def scan(self, px, top, bottom, watch, name):
        """Moves the pointer down from top to bottom at px until something changes in watch;
        the shot before and the one where it changed."""
        base = self.x.shot(name + "-base")
        for y in range(top, bottom, 5):
            self.x.move(px, y)
            time.sleep(0.4)
            now = self.x.shot(name)
            if screen.bounding_box(base, now, watch, step=3):
                return base, now
        return None, None

    def open_submenu(self):
        menu = screen.bounding_box(self.closed, self.x.shot("tray-menu-open"), self.near, step=2)
        if not menu or menu[0] < 40:
            return None
        mx, my, mw, mh = menu
        # Beside the menu, towards the screen's middle where the menu is against the right edge.
        beside = (0, 0, mx - 2, self.session.height)
        base, now = self.scan(mx + 12, my + 3, my + mh, beside, "tray-submenu")
        if not now:
            return None
        self.sub = screen.bounding_box(base, now, beside, step=2)
        return "beside the menu at %dx%d%+d%+d" % (self.sub[2], self.sub[3], self.sub[0], self.sub[1])

    def choose(self, index):
        sx, sy, sw, sh = self.sub
        # The row's highlight, seen left of the pointer (screenshots show the pointer too).
        band = (sx + 2, sy, sw // 2 - 8, sh)
        base, now = self.scan(sx + sw // 2, sy + 2, sy + sh, band, "tray-film")
        if not now:
            return
        _, ry, _, rh = screen.bounding_box(base, now, band, step=1)
        self.x.click(sx + sw // 2, ry + rh * index + rh // 2)


def check_give_back(cell, session, x, results, desktop, clear):
    if not getattr(cell, "GIVES_BACK", False):
        results.set("give-back", NA, "Drovane replaces no wallpaper of the desktop's here")
        return
    if not session.alive(session.drovane):
        results.set("give-back", FAIL, "drovane is not running")
        return
    session.stop(session.drovane)  # SIGTERM, as a logout or kill ends it
    status = session.drovane.returncode
    time.sleep(3)
    after = x.shot("given-back")
    differs = screen.changed(desktop, after, clear, threshold=30)
    if differs > 0.05:
        results.set("give-back", FAIL, "%.0f%% of the clear area differs from the wallpaper before Drovane "
                    "(exit status %s)" % (100 * differs, status))
    else:
        results.set("give-back", PASS, "the earlier wallpaper is back (%.0f%% of the clear area differs), "
                    "exit status %s" % (100 * differs, status))
