#!/usr/bin/python3
"""atspi_check.py BIN_DIR: the real program on a fresh demo under an X server, D-Bus session and accessibility
bus of its own, read through pyatspi: the logon's controls by German name and role, then after a wrong password
the warning as an alert with its text. Exit code 0: heard as expected; 1: not, or a tool is missing
(scripts/deps.sh --test installs them); 77: the X server or a bus would not start here."""

import ctypes
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

WRONG = "Falscher Benutzer oder falsches Passwort!"
BUTTON = {"push button", "button"}
# Each control of the logon by its name, and the roles a reader may call it.
EXPECTED = [("Benutzer", {"text", "entry"}), ("Kennwort", {"password text", "text", "entry"}),
            ("Passwort ändern", {"check box"}), ("OK", BUTTON), ("Abbruch", BUTTON)]
QUIET = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
Skip, Fail = (type(name, (Exception,), {}) for name in ("Skip", "Fail"))  # Skip: no X server or bus here
started = []


def wait_for(seconds, what, probe, give_up=Fail):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        found = probe()
        if found:
            return found
        time.sleep(0.2)
    raise give_up("%s did not come within %d s" % (what, seconds))


def start(args, **kwargs):
    started.append(subprocess.Popen(args, start_new_session=True, **kwargs))
    return started[-1]


def answer_of(*args):
    """Starts a server that writes where it listens to the pipe given in place of FD; that first line."""
    read_end, write_end = os.pipe()  # stays open while the server runs
    start([a.replace("FD", str(write_end)) for a in args], pass_fds=(write_end,), **QUIET)
    os.close(write_end)
    line = os.read(read_end, 4096).decode().strip() if select.select([read_end], [], [], 20)[0] else ""
    if not line:
        raise Skip(args[0] + " gave no answer within 20 s")
    return line.splitlines()[0]


def bus_call(*args):
    got = subprocess.run(["dbus-send", "--print-reply=literal", *args], capture_output=True, text=True, timeout=10)
    return got.stdout.strip() if got.returncode == 0 else ""


def start_session(tmp):  # as a desktop does
    launcher = shutil.which("at-spi-bus-launcher", path="/usr/libexec:/usr/lib/at-spi2-core") or "at-spi-bus-launcher"
    if [t for t in ("Xvfb", "dbus-daemon", "dbus-send", launcher) if not shutil.which(t)]:
        raise Fail("Xvfb, dbus-daemon, dbus-send or at-spi-bus-launcher (at-spi2-core) is not installed")
    os.environ["DISPLAY"] = ":" + answer_of("Xvfb", "-displayfd", "FD", "-screen", "0", "1024x768x24", "-nolisten",
                                            "tcp", "-noreset")
    os.environ["XDG_RUNTIME_DIR"] = os.path.join(tmp, "run")
    os.mkdir(os.environ["XDG_RUNTIME_DIR"], 0o700)
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = answer_of("dbus-daemon", "--session", "--nofork", "--print-address=FD")
    start([launcher, "--launch-immediately"], **QUIET)
    address = wait_for(20, "the accessibility bus", lambda: bus_call(
        "--session", "--dest=org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus.GetAddress"), Skip)
    a11y = ["--bus=" + address, "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus"]
    bus_call(*a11y, "org.freedesktop.DBus.StartServiceByName", "string:org.a11y.atspi.Registry", "uint32:0")
    wait_for(20, "the accessibility registry", lambda: "true" in bus_call(
        *a11y, "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.atspi.Registry"), Skip)


def walk(node, depth=0):
    try:
        children = [node.getChildAtIndex(i) for i in range(node.childCount)] if depth < 25 else []
    except Exception:  # a window that closes while it is read
        return
    yield node
    for child in filter(None, children):
        yield from walk(child, depth + 1)


def press(node):
    try:
        node.queryAction().doAction(0)
    except Exception as e:  # a press that opens a modal box may answer only after it closes
        print("press", node.name, ":", e)


def check(bin_dir, tmp):
    folder = os.path.join(tmp, "bin")
    os.makedirs(os.path.join(folder, "system"))
    for name in ("sicherheit", "key.avi"):
        shutil.copy2(os.path.join(bin_dir, name), folder)
    subprocess.run([os.path.join(bin_dir, "sicherheit-db"), "demo", os.path.join(folder, "system", "user.mdb")],
                   check=True, stdout=subprocess.DEVNULL, timeout=60)
    # Program and reader find the bus through the session bus, as on a desktop: told the address directly,
    # Qt connects but never switches its bridge on.
    os.environ.pop("AT_SPI_BUS_ADDRESS", None)
    os.environ.update(LANG="C.UTF-8", LC_ALL="C.UTF-8", QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    start_session(tmp)
    try:
        import pyatspi
    except ImportError as e:
        raise Fail("python3-pyatspi is not installed (%s)" % e)
    log = os.path.join(tmp, "sicherheit.log")  # a pipe nobody reads could fill up and stop the program
    with open(log, "w") as out:
        program = start([os.path.join(folder, "sicherheit")], cwd=tmp, stdout=out, stderr=subprocess.STDOUT)

    def window(test):
        if program.poll() is not None:
            raise Fail("the program ended early (%d): %s" % (program.returncode, open(log, errors="replace").read()))
        return next((w for app in pyatspi.Registry.getDesktop(0) if app for w in app if w and test(w)), None)

    logon = wait_for(30, "the logon window", lambda: window(lambda w: w.name == "Sicherheitskontrolle"))
    nodes = [(n, n.name, n.getRoleName()) for n in walk(logon)]
    controls = {name: next((n for n, said, role in nodes if said == name and role in roles), None)
                for name, roles in EXPECTED}
    if not all(controls.values()):
        raise Fail("not heard: %s; heard: %s" % ([n for n, c in controls.items() if not c], [n[1:] for n in nodes]))
    controls["Benutzer"].queryEditableText().setTextContents("admin")
    controls["Kennwort"].queryEditableText().setTextContents("falsch")
    press(controls["OK"])
    box = wait_for(20, "the warning", lambda: window(
        lambda w: w.getRoleName() == "alert" or any(WRONG in (n.name or "") for n in walk(w))))
    texts = [box.description] + [n.name for n in walk(box) if n.getRoleName() == "label"]
    if box.getRoleName() != "alert" or not any(WRONG in (t or "") for t in texts):
        raise Fail('the warning is heard as %s "%s": %s' % (box.getRoleName(), box.name, texts))
    press(next(n for n in walk(box) if n.name == "OK" and n.getRoleName() in BUTTON))
    wait_for(10, "the warning's end", lambda: not window(lambda w: w.getRoleName() == "alert"))
    press(controls["Abbruch"])
    wait_for(15, "the program's end after Abbruch", lambda: program.poll() is not None)


def main():
    bin_dir = sys.argv[1] if len(sys.argv) == 2 else sys.exit(__doc__)
    ctypes.CDLL(None).prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER: orphans of ours stay ours to reap
    signal.signal(signal.SIGALRM, lambda *_: sys.exit("FAIL: the check took longer than 150 s"))
    signal.alarm(150)
    tmp = tempfile.mkdtemp()
    try:
        check(bin_dir, tmp)
        print("heard as expected")
        return 0
    except (Skip, Fail) as e:
        print("SKIP:" if isinstance(e, Skip) else "FAIL:", e)
        return 77 if isinstance(e, Skip) else 1
    finally:  # each started process with its group, then the orphans they leave us (the bus's registry)
        signal.alarm(0)
        for p in reversed(started):
            for sig in (signal.SIGTERM, signal.SIGKILL):
                try:
                    os.killpg(p.pid, sig)
                    p.wait(timeout=5)
                    break
                except (ProcessLookupError, subprocess.TimeoutExpired):
                    pass
        try:
            for _ in range(50):
                os.waitpid(-1, os.WNOHANG)[0] or time.sleep(0.1)
        except ChildProcessError:
            pass
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
