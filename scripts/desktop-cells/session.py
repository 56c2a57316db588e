"""A private desktop session: its own X server or compositor, session bus, home and processes.

Every process a session starts leads a process group of its own, and the session ends those
groups (and nothing else) when it closes.
"""

import grp
import os
import pwd
import shutil
import signal
import subprocess
import time


class NotRunnable(Exception):
    """The cell cannot run here; the message says why."""


class Session:
    def __init__(self, name, out_dir, library, binary, width=1280, height=720):
        self.name = name
        self.out = out_dir
        self.library = library
        self.binary = binary
        self.width = width
        self.height = height
        self.procs = []
        self.drovane = None
        self.home = os.path.join(out_dir, "home")
        self.logs = os.path.join(out_dir, "logs")
        self.runtime = os.path.join(out_dir, "runtime")
        for d in (self.logs,):
            os.makedirs(d, exist_ok=True)
        self.env = {}
        self.layout = {}  # where the cell's icons, taskbar and tray are, what a right-click opens
        self.user = None  # who runs the desktop and its clients, when not this process's user

    # ---- the private home -------------------------------------------------------------------

    def make_home(self):
        """The sample library's home, with a desktop folder and a default application for text
        files that only notes which file it was asked to open."""
        shutil.rmtree(self.home, ignore_errors=True)
        shutil.copytree(os.path.join(self.library, "home"), self.home, symlinks=True,
                        copy_function=_link_or_copy)
        os.makedirs(self.runtime, mode=0o700, exist_ok=True)
        os.chmod(self.runtime, 0o700)
        desktop = os.path.join(self.home, "Desktop")
        os.makedirs(desktop, exist_ok=True)
        with open(os.path.join(desktop, "notes.txt"), "w") as f:
            f.write("A file on the desktop.\n")
        self.opened_marker = os.path.join(self.out, "opened.txt")
        if os.path.exists(self.opened_marker):
            os.remove(self.opened_marker)
        opener = os.path.join(self.home, ".local/bin/matrix-open")
        write(opener, "#!/bin/sh\nprintf '%%s\\n' \"$@\" >>'%s'\n" % self.opened_marker, mode=0o755)
        write(os.path.join(self.home, ".local/share/applications/matrix-open.desktop"),
              "[Desktop Entry]\nType=Application\nName=Matrix Opener\nExec=%s %%f\n"
              "MimeType=text/plain;\nNoDisplay=true\n" % opener)
        write(os.path.join(self.home, ".config/mimeapps.list"),
              "[Default Applications]\ntext/plain=matrix-open.desktop\n")
        write(os.path.join(self.home, ".config/user-dirs.dirs"), 'XDG_DESKTOP_DIR="$HOME/Desktop"\n')
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/local/bin:/usr/bin:/bin"),
            "HOME": self.home,
            "USER": os.environ.get("USER", "root"),
            "LANG": "C.UTF-8",
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_DATA_HOME": os.path.join(self.home, ".local/share"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "XDG_RUNTIME_DIR": self.runtime,
            "XDG_DATA_DIRS": os.path.join(self.home, ".local/share") + ":/usr/local/share:/usr/share",
            "DROVANE_SYSTEM_ROOT": os.path.join(self.library, "root"),
            "NO_AT_BRIDGE": "1",
        }

    # ---- processes ----------------------------------------------------------------------------

    def spawn(self, name, argv, env=None):
        log = open(os.path.join(self.logs, name + ".log"), "ab")
        full_env = dict(self.env)
        full_env.update(env or {})
        try:
            proc = subprocess.Popen(argv, env=full_env, stdin=subprocess.DEVNULL, stdout=log,
                                    stderr=subprocess.STDOUT, start_new_session=True,
                                    cwd=self.home, **self.identity())
        except OSError as e:
            raise NotRunnable("%s cannot start: %s" % (argv[0], e))
        proc.label = name
        self.procs.append(proc)
        return proc

    def run(self, argv, env=None, timeout=20, text=True):
        full_env = dict(self.env)
        full_env.update(env or {})
        return subprocess.run(argv, env=full_env, stdin=subprocess.DEVNULL, capture_output=True,
                              text=text, timeout=timeout, cwd=self.home, **self.identity())

    def output(self, argv, **kw):
        try:
            r = self.run(argv, **kw)
        except (subprocess.TimeoutExpired, OSError):
            return ""
        return r.stdout if r.returncode == 0 else ""

    def identity(self):
        """Who a process of the session runs as: this process's user, or self.user alone
        (its own group, no others) when set."""
        if not self.user:
            return {}
        return dict(user=self.user, group=grp.getgrgid(pwd.getpwnam(self.user).pw_gid).gr_gid,
                    extra_groups=[])

    def alive(self, proc):
        return proc.poll() is None

    def stop(self, proc, grace=3.0):
        if proc.poll() is None:
            try:
                os.killpg(proc.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            try:
                proc.wait(grace)
            except subprocess.TimeoutExpired:
                try:
                    os.killpg(proc.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                proc.wait()
        if proc in self.procs:
            self.procs.remove(proc)

    def close(self):
        if self.drovane:
            self.stop(self.drovane)
        for proc in reversed(list(self.procs)):
            self.stop(proc)

    # ---- X server and session bus -------------------------------------------------------------

    def start_xvfb(self):
        r, w = os.pipe()
        log = open(os.path.join(self.logs, "xvfb.log"), "ab")
        proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0",
                                 "%dx%dx24" % (self.width, self.height), "-nolisten", "tcp",
                                 "-noreset", "+extension", "GLX"],
                                pass_fds=(w,), stdin=subprocess.DEVNULL, stdout=log,
                                stderr=subprocess.STDOUT, start_new_session=True)
        os.close(w)
        proc.label = "xvfb"
        self.procs.append(proc)
        number = b""
        deadline = time.time() + 15
        with os.fdopen(r, "rb") as pipe:
            while time.time() < deadline and not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            raise NotRunnable("Xvfb did not start (see logs/xvfb.log)")
        self.env["DISPLAY"] = self.host_display = ":" + number.decode().strip()

    def start_bus(self):
        """A session bus, and a bus standing in for the system bus: the host's services
        (logind, power profiles) are not this session's, and a shell that finds systemd's
        folders expects a system bus to connect to."""
        for variable, label in (("DBUS_SESSION_BUS_ADDRESS", "session-bus"),
                                ("DBUS_SYSTEM_BUS_ADDRESS", "system-bus")):
            proc = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                    env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                    stderr=open(os.path.join(self.logs, label + ".log"), "ab"),
                                    start_new_session=True, **self.identity(), cwd=self.home)
            proc.label = label
            self.procs.append(proc)
            address = proc.stdout.readline().decode().strip()
            if not address:
                raise NotRunnable("the %s did not start" % label.replace("-", " "))
            self.env[variable] = address

    def bus_has(self, name):
        out = self.output(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                           "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                           "string:" + name])
        return "boolean true" in out

    def wait_for(self, what, predicate, timeout=20.0, interval=0.25):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if predicate():
                return
            for proc in self.procs:
                if proc.poll() is not None and getattr(proc, "essential", False):
                    raise NotRunnable("%s exited with status %s before %s (see logs/%s.log)"
                                      % (proc.label, proc.returncode, what, proc.label))
            time.sleep(interval)
        raise NotRunnable("%s: not within %.0f s" % (what, timeout))

    def essential(self, name, argv, env=None):
        """A process the desktop cannot do without: its early exit makes the cell not runnable."""
        proc = self.spawn(name, argv, env)
        proc.essential = True
        return proc

    # ---- Drovane --------------------------------------------------------------------------------

    def start_drovane(self):
        self.drovane = self.spawn("drovane", [self.binary])

    def drovane_log(self):
        try:
            with open(os.path.join(self.logs, "drovane.log"), errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def selected_film(self):
        import plistlib
        path = os.path.join(self.home, ".config/drovane/app.drovane.plist")
        try:
            with open(path, "rb") as f:
                return plistlib.load(f).get("selectedVideo")
        except (OSError, plistlib.InvalidFileException, ValueError, AttributeError):
            return None

    def cpu_share(self, proc, seconds):
        """The share of one core the process used over the next `seconds`."""
        def ticks():
            try:
                with open("/proc/%d/stat" % proc.pid) as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                return int(fields[11]) + int(fields[12])
            except (OSError, IndexError, ValueError):
                return None
        start, t0 = ticks(), time.time()
        time.sleep(seconds)
        end, t1 = ticks(), time.time()
        if start is None or end is None:
            return None
        return (end - start) / os.sysconf("SC_CLK_TCK") / (t1 - t0)


def write(path, text, mode=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)
    if mode is not None:
        os.chmod(path, mode)


def _link_or_copy(src, dst):
    try:
        os.link(src, dst)
    except OSError:
        shutil.copy2(src, dst)
