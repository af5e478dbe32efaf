#!/usr/bin/python3
"""The program as a screen reader meets it.

Starts an X server (Xvfb), a D-Bus session and the accessibility bus of at-spi2-core of its own, runs the
real program on a throw-away system database with Qt's AT-SPI bridge switched on, and reads it through
pyatspi as a screen reader does: the logon's controls by their German names and roles, then, after a wrong
password, the warning's text. Every wait has a time limit; every process started here is ended again.

Usage: atspi_check.py BIN_DIR
Exit code 0: heard as expected; 1: not, or a tool it needs is missing (scripts/deps.sh --test installs them);
77: the X server or a bus would not start here (reason printed).
"""

import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
WRONG = "Falscher Benutzer oder falsches Passwort!"
LOGON = "Sicherheitskontrolle"
# What each control of the logon should announce: its name, and the roles a reader may call it.
EXPECTED = [
    ("Benutzer", {"text", "entry"}),
    ("Kennwort", {"password text", "text", "entry"}),
    ("Passwort ändern", {"check box"}),
    ("OK", {"push button", "button"}),
    ("Abbruch", {"push button", "button"}),
]


class Skip(Exception):
    pass


class Missing(Exception):
    pass


class TimedOut(Exception):
    pass


def on_alarm(_signum, _frame):
    raise TimedOut("the check took longer than its limit")


def find_helper(name):
    for folder in ("/usr/libexec", "/usr/lib/at-spi2-core"):
        path = os.path.join(folder, name)
        if os.access(path, os.X_OK):
            return path
    return None


def read_line(stream, seconds, what):
    """One line from a pipe of a started process, or Skip when none comes in time."""
    ready, _, _ = select.select([stream], [], [], seconds)
    if not ready:
        raise Skip(what + " did not answer within %d s" % seconds)
    line = os.read(stream.fileno() if hasattr(stream, "fileno") else stream, 4096).decode().strip()
    if not line:
        raise Skip(what + " ended without an answer")
    return line.splitlines()[0]


class Processes:
    """Everything started here, each in a process group of its own, ended in reverse order."""

    def __init__(self):
        self.started = []
        self.pipes = []

    def keep_open(self, fd):
        self.pipes.append(fd)

    def start(self, args, **kwargs):
        p = subprocess.Popen(args, start_new_session=True, **kwargs)
        self.started.append(p)
        return p

    def end_all(self):
        for p in reversed(self.started):
            if p.poll() is None:
                try:
                    os.killpg(p.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
        for p in reversed(self.started):
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                try:
                    os.killpg(p.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                p.wait(timeout=5)
        self.started.clear()
        reap_orphans()
        for fd in self.pipes:
            os.close(fd)
        self.pipes.clear()


def adopt_orphans():
    """Processes the started ones leave behind (the registry the bus started) become ours to reap."""
    try:
        import ctypes
        PR_SET_CHILD_SUBREAPER = 36
        ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
    except (OSError, AttributeError):
        pass


def reap_orphans():
    """Collects the children our processes left behind once they have ended, waiting up to 5 s."""
    end = time.monotonic() + 5
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            if time.monotonic() > end:
                return
            time.sleep(0.1)


def poll(what, seconds, probe):
    """probe() until it returns something true; TimedOut names what never came."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        found = probe()
        if found:
            return found
        time.sleep(0.2)
    raise TimedOut(what + " did not appear within %d s" % seconds)


def program_folder(tmp, bin_dir):
    folder = os.path.join(tmp, "bin")
    os.makedirs(os.path.join(folder, "system"))
    shutil.copy2(os.path.join(bin_dir, "sicherheit"), folder)
    avi = os.path.join(bin_dir, "key.avi")
    if os.path.exists(avi):
        shutil.copy2(avi, folder)
    subprocess.run([os.path.join(bin_dir, "sicherheit-db"), "demo", os.path.join(folder, "system", "user.mdb")],
                   check=True, stdout=subprocess.DEVNULL, timeout=60)
    return folder


def start_session(procs, tmp, env):
    """X server, D-Bus session and accessibility bus; the environment the program and the reader share."""
    launcher = find_helper("at-spi-bus-launcher")
    for tool in ("Xvfb", "dbus-daemon"):
        if not shutil.which(tool):
            raise Missing(tool + " is not installed")
    if not launcher:
        raise Missing("at-spi-bus-launcher (at-spi2-core) is not installed")

    read_end, write_end = os.pipe()
    procs.start(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    # The server may write the number and the line's end separately: the pipe stays open while it runs.
    procs.keep_open(read_end)
    env["DISPLAY"] = ":" + read_line(read_end, 20, "Xvfb")

    runtime = os.path.join(tmp, "run")
    os.mkdir(runtime, 0o700)
    env["XDG_RUNTIME_DIR"] = runtime
    bus = procs.start(["dbus-daemon", "--session", "--nofork", "--print-address=1"], env=env,
                      stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    env["DBUS_SESSION_BUS_ADDRESS"] = read_line(bus.stdout, 20, "dbus-daemon")

    # The accessibility bus, announced on the session bus as a desktop's launcher does (org.a11y.Bus), with its
    # registry, which keeps the list of programs a reader sees.
    procs.start([launcher, "--launch-immediately"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    env["AT_SPI_BUS_ADDRESS"] = until(20, "the accessibility bus (org.a11y.Bus.GetAddress)", lambda: bus_call(
        env, ["--session", "--dest=org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus.GetAddress"]))
    a11y = ["--bus=" + env["AT_SPI_BUS_ADDRESS"], "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus"]
    bus_call(env, a11y + ["org.freedesktop.DBus.StartServiceByName", "string:org.a11y.atspi.Registry", "uint32:0"])
    until(20, "the accessibility registry (at-spi2-registryd)", lambda: "true" in bus_call(
        env, a11y + ["org.freedesktop.DBus.NameHasOwner", "string:org.a11y.atspi.Registry"]))


def bus_call(env, args):
    """The reply of one D-Bus call as text; empty when it failed."""
    got = subprocess.run(["dbus-send", "--print-reply=literal"] + args, env=env, capture_output=True, text=True,
                         timeout=10)
    return got.stdout.strip() if got.returncode == 0 else ""


def until(seconds, what, probe):
    """probe() until it gives something true; Skip when the bus part it waits for never comes."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        found = probe()
        if found:
            return found
        time.sleep(0.2)
    raise Skip(what + " did not start within %d s" % seconds)


def walk(node, depth=0):
    if node is None or depth > 25:
        return
    yield node
    try:
        count = node.childCount
    except Exception:
        return
    for i in range(count):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1)


def top_windows(pyatspi):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is None:
            continue
        for window in app:
            if window is not None:
                yield window


def heard(node):
    return "%s \"%s\"" % (node.getRoleName(), node.name)


def check(bin_dir):
    failures = []
    env = dict(os.environ)
    env.update({"LANG": "C.UTF-8", "LC_ALL": "C.UTF-8", "QT_QPA_PLATFORM": "xcb",
                "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"})
    procs = Processes()
    with tempfile.TemporaryDirectory() as tmp:
        try:
            folder = program_folder(tmp, bin_dir)
            start_session(procs, tmp, env)
            os.environ.update({k: env[k] for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS",
                                                   "XDG_RUNTIME_DIR")})
            try:
                import pyatspi
            except ImportError as e:
                raise Missing("python3-pyatspi is not installed (%s)" % e)

            # The program finds the bus as on a desktop, through the session bus; told the address directly,
            # Qt connects but never switches its bridge on.
            program_env = {k: v for k, v in env.items() if k != "AT_SPI_BUS_ADDRESS"}
            # Its messages go to a file: a pipe nobody reads could fill up and stop it.
            messages = os.path.join(tmp, "sicherheit.log")
            with open(messages, "w") as log:
                program = procs.start([os.path.join(folder, "sicherheit")], env=program_env, cwd=tmp,
                                      stdout=log, stderr=subprocess.STDOUT)

            def logon_window():
                if program.poll() is not None:
                    raise TimedOut("the program ended early (%d): %s"
                                   % (program.returncode, open(messages, errors="replace").read()))
                return next((w for w in top_windows(pyatspi) if w.name == LOGON), None)

            logon = poll("the logon window \"%s\"" % LOGON, 30, logon_window)
            print("window:", heard(logon))
            nodes = list(walk(logon))
            for node in nodes:
                print("  ", heard(node), "-", node.description)
            controls = {}
            for name, roles in EXPECTED:
                node = next((n for n in nodes if n.name == name and n.getRoleName() in roles), None)
                if node is None:
                    failures.append("no control announced as \"%s\" (%s); heard: %s"
                                    % (name, " or ".join(sorted(roles)),
                                       ", ".join(heard(n) for n in nodes if n.getRoleName() in roles)))
                controls[name] = node
            if failures:
                return failures

            # A wrong password, as a reader's user would enter it, and OK.
            controls["Benutzer"].queryEditableText().setTextContents("admin")
            controls["Kennwort"].queryEditableText().setTextContents("falsch")
            ok = controls["OK"].queryAction()
            try:
                ok.doAction(0)
            except Exception as e:  # the press opens a modal box; the reply may come only after it
                print("press OK:", e)

            def alert():
                for window in top_windows(pyatspi):
                    texts = [window.name, window.description] + [n.name for n in walk(window)]
                    if window.getRoleName() == "alert" or any(WRONG in t for t in texts if t):
                        return window
                return None

            box = poll("the warning", 20, alert)
            print("alert:", heard(box), "-", box.description)
            labels = [n.name for n in walk(box) if n.getRoleName() == "label"]
            print("   labels:", labels)
            if box.getRoleName() != "alert":
                failures.append("the warning is announced as %s, not as an alert" % box.getRoleName())
            if WRONG not in box.description and WRONG not in labels:
                failures.append("the warning's text is not readable: %s / %s" % (box.description, labels))

            # Close the box and leave: Abbruch ends the program.
            for node in walk(box):
                if node.getRoleName() in ("push button", "button") and node.name == "OK":
                    try:
                        node.queryAction().doAction(0)
                    except Exception as e:
                        print("press OK in the box:", e)
            poll("the warning to close", 10,
                 lambda: not any(w.getRoleName() == "alert" for w in top_windows(pyatspi)))
            logon = poll("the logon window again", 10, logon_window)
            cancel = next(n for n in walk(logon) if n.name == "Abbruch")
            try:
                cancel.queryAction().doAction(0)
            except Exception as e:
                print("press Abbruch:", e)
            try:
                program.wait(timeout=15)
            except subprocess.TimeoutExpired:
                failures.append("the program did not end after Abbruch")
            return failures
        finally:
            procs.end_all()


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    adopt_orphans()
    signal.signal(signal.SIGALRM, on_alarm)
    signal.alarm(150)
    try:
        failures = check(sys.argv[1])
    except Skip as e:
        print("SKIP:", e)
        return SKIP
    except Missing as e:
        print("FAIL: %s; scripts/deps.sh --test installs what the check needs" % e)
        return 1
    except TimedOut as e:
        print("FAIL:", e)
        return 1
    finally:
        signal.alarm(0)
    for f in failures:
        print("FAIL:", f)
    print("heard as expected" if not failures else "%d fault(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
