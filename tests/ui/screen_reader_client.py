#!/usr/bin/python3
"""A screen reader's view of the real tool: an AT-SPI client on a private session bus.

It starts a private Xvfb, the AT-SPI bus launcher, and the tool under the simulated modem, then,
as a screen reader would, presses the buttons through the Action interface and follows the
events the desktop bridge sends. It checks that the four values can be read after detection,
that the buzzer counter and the test results are heard as they change, and that the line test
dialog puts the focus on its status while OK is disabled and on OK once it is enabled.

Usage: screen_reader_client.py DIAG SIM ATI3_DAT
Exit status: 0 passed, 1 failed (the reason on standard error), 77 a prerequisite is missing.
Every wait is on an event, bounded by one deadline for the whole run.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
DEADLINE_S = 60
PRIVATE_BUS_MARK = "KALVEX_SCREEN_READER_PRIVATE_BUS"
BUS_LAUNCHERS = ("/usr/libexec/at-spi-bus-launcher", "/usr/lib/at-spi2-core/at-spi-bus-launcher")

WELCOME = "Welcome to Kalvex Internal Modem Diagnostics"
LINE_TEST = "Line/DAA Test"
# What detection shows of the simulated modem.
EXPECTED_VALUES = {
    "Location": "COM3",
    "Modem": "Zelto Win Modem",
    "F/W Version": "3.41.07",
    "Country": "United Kingdom",
}


class Failure(Exception):
    pass


def skip(reason):
    print("skipped: " + reason, file=sys.stderr)
    sys.exit(SKIP)


def under_private_bus():
    """Re-runs this script inside dbus-run-session, so nothing reaches the desktop's own bus."""
    if os.environ.get(PRIVATE_BUS_MARK):
        return
    runner = shutil.which("dbus-run-session")
    if not runner:
        skip("dbus-run-session not found (package dbus)")
    env = dict(os.environ, **{PRIVATE_BUS_MARK: "1"})
    os.execve(runner, [runner, "--", sys.executable] + sys.argv, env)


class Children:
    """The processes the run starts; all of them end with it, the last started first."""

    def __init__(self):
        self.processes = []

    def start(self, args, **kwargs):
        process = subprocess.Popen(args, **kwargs)
        self.processes.append(process)
        return process

    def end_all(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()


def start_xvfb(children):
    """A private X server; it picks its own display number and writes it once it accepts."""
    if not shutil.which("Xvfb"):
        skip("Xvfb not found (package xvfb)")
    read_end, write_end = os.pipe()
    children.start(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-screen", "0",
                    "1024x768x24"], pass_fds=(write_end,), stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        number = pipe.readline().strip()
    if not number.isdigit():
        raise Failure("Xvfb did not start")
    return ":" + number


def iterate_until(glib, deadline, done):
    """Runs the main loop until done() holds (True) or the deadline has passed (False)."""
    context = glib.MainContext.default()
    while not done():
        left = deadline - time.monotonic()
        if left <= 0:
            return False
        # Wakes the blocking iteration at the deadline if no event comes first.
        timer = glib.timeout_source_new(int(left * 1000) + 1)
        timer.set_callback(lambda *_: False)
        timer.attach(context)
        context.iteration(True)
        timer.destroy()
    return True


def start_bus_launcher(children, launcher, gio, glib, deadline):
    """The accessibility bus, started before anyone asks for it: a client's request would
    otherwise have the session bus start a launcher of its own beside this one."""
    owned = []
    session = gio.bus_get_sync(gio.BusType.SESSION, None)
    watch = gio.bus_watch_name_on_connection(session, "org.a11y.Bus",
                                             gio.BusNameWatcherFlags.NONE,
                                             lambda *_: owned.append(True), None)
    children.start([launcher, "--launch-immediately"], stderr=subprocess.DEVNULL)
    ready = iterate_until(glib, deadline, lambda: bool(owned))
    gio.bus_unwatch_name(watch)
    if not ready:
        raise Failure("the AT-SPI bus launcher did not take its name on the session bus")


class ToolOutput:
    """What the simulated modem and the tool write, read as it comes; its end is the tool's."""

    def __init__(self, glib, stream):
        self.text = ""
        self.ended = False
        glib.io_add_watch(stream.fileno(), glib.PRIORITY_DEFAULT,
                          glib.IOCondition.IN | glib.IOCondition.HUP, self.on_output)

    def on_output(self, fd, _condition):
        data = os.read(fd, 65536)
        self.text += data.decode(errors="replace")
        self.ended = not data
        return not self.ended

    def tail(self):
        lines = self.text.splitlines()[-30:]
        return "the tool and the simulated modem wrote, last lines:\n" + "\n".join(
            "  " + line for line in lines)


class ScreenReader:
    """Follows the tool's events and finds its objects, as a screen reader does."""

    EVENTS = ("object:text-changed", "object:state-changed:focused",
              "object:state-changed:enabled", "object:state-changed:showing")

    def __init__(self, pyatspi, glib, deadline):
        self.pyatspi = pyatspi
        self.glib = glib
        self.deadline = deadline
        self.tool_output = None  # set once the tool runs: its end ends every wait
        self.heard = []  # (type, detail1, text, role, name, source) in arrival order
        self.next_unread = 0
        pyatspi.Registry.registerEventListener(self.on_event, *self.EVENTS)

    def on_event(self, event):
        source = event.source
        try:
            role, name = source.getRoleName(), source.name
        except Exception:  # an object already gone
            role, name = "", ""
        text = event.any_data if isinstance(event.any_data, str) else None
        self.heard.append((event.type, event.detail1, text, role, name, source))

    def wait_for(self, what, match):
        """The source of the first event not yet read that match accepts; fails at the
        deadline."""
        found = []

        def unread_match():
            while not found and self.next_unread < len(self.heard):
                event = self.heard[self.next_unread]
                self.next_unread += 1
                if match(*event):
                    found.append(event[5])
            return bool(found) or self.tool_output.ended

        iterate_until(self.glib, self.deadline, unread_match)
        if not found:
            why = "the tool ended" if self.tool_output.ended else "timed out"
            raise Failure(why + " while waiting for " + what + "; last events heard:\n" +
                          "\n".join("  %s %s %r %s %r" % e[:5] for e in self.heard[-15:]))
        return found[0]

    def hear_text(self, field, text):
        return self.wait_for("%r to read %r" % (field, text),
                             lambda t, d, s, r, n, _: t == "object:text-changed:insert" and
                             n == field and s == text)

    def hear_focus(self, role, name, dialog):
        return self.wait_for("the focus on %s %r in %r" % (role, name, dialog),
                             lambda t, d, s, r, n, source: t == "object:state-changed:focused" and
                             d == 1 and r == role and n == name and
                             dialog_of(source).name == dialog)

    def hear_enabled(self, name):
        return self.wait_for("%r to be enabled" % name,
                             lambda t, d, s, r, n, _: t == "object:state-changed:enabled" and
                             d == 1 and n == name)

    def hear_closed(self, dialog):
        # By the time the event is read the dialog may be gone: it is known by its object.
        return self.wait_for("%r to close" % dialog.name,
                             lambda t, d, s, r, n, source: t == "object:state-changed:showing" and
                             d == 0 and source == dialog)

    def find(self, root, role, name):
        found = self.pyatspi.findDescendant(
            root, lambda a: a is not None and a.getRoleName() == role and a.name == name)
        if found is None:
            raise Failure("no %s named %r in %r" % (role, name, root.name))
        return found

    def press(self, root, name):
        self.find(root, "push button", name).queryAction().doAction(0)

    def read(self, root, name):
        field = self.find(root, "label", name)
        if "Text" not in self.pyatspi.listInterfaces(field):
            raise Failure("%r offers no Text interface: %s" %
                          (name, self.pyatspi.listInterfaces(field)))
        return field.queryText().getText(0, -1)


def dialog_of(accessible):
    while accessible is not None and accessible.getRoleName() != "dialog":
        accessible = accessible.parent
    return accessible


def expect(what, seen, wanted):
    if seen != wanted:
        raise Failure("%s: %r, expected %r" % (what, seen, wanted))


def run(diag, sim, ati3, work, children, deadline):
    launcher = next((path for path in BUS_LAUNCHERS if os.access(path, os.X_OK)), None)
    if launcher is None:
        skip("at-spi-bus-launcher not found (package at-spi2-core)")
    # From here on everything, this client included, uses the private display and bus only: the
    # AT-SPI library and Qt would otherwise take the accessibility bus a desktop has published in
    # the environment or on its display's root window.
    os.environ["DISPLAY"] = start_xvfb(children)
    os.environ.pop("AT_SPI_BUS_ADDRESS", None)
    try:
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Gio, GLib
        import pyatspi
    except (ImportError, ValueError) as error:
        skip("no AT-SPI client library (%s): install python3-pyatspi" % error)
    start_bus_launcher(children, launcher, Gio, GLib, deadline)
    reader = ScreenReader(pyatspi, GLib, deadline)

    shutil.copy(ati3, os.path.join(work, "ati3.dat"))
    env = {k: v for k, v in os.environ.items()
           if k not in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "NO_AT_BRIDGE") and
           not k.startswith("KALVEX_COM")}
    env.update(QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               XDG_RUNTIME_DIR=work, XDG_CONFIG_HOME=os.path.join(work, "config"),
               XDG_DATA_DIRS=os.path.join(work, "data"), XDG_STATE_HOME=os.path.join(work, "state"))
    tool = children.start([sim, "--no-pacing", "--dial-time", "300", "--run", diag], cwd=work,
                          env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    reader.tool_output = output = ToolOutput(GLib, tool.stdout)
    try:
        check_as_a_screen_reader(reader)
    except Failure as failure:
        raise Failure("%s\n%s" % (failure, output.tail()))
    if not iterate_until(GLib, deadline, lambda: output.ended):
        raise Failure("the tool did not end after Quit\n" + output.tail())
    expect("the tool's exit status after Quit", tool.wait(), 0)


def check_as_a_screen_reader(reader):
    """Detection, the speaker test and the line test, as a screen reader user meets them."""
    welcome = dialog_of(reader.hear_focus("push button", "OK", WELCOME))
    expect("the welcome logo", reader.find(welcome, "image", "Kalvex logo").name, "Kalvex logo")
    reader.press(welcome, "OK")

    # Detection has ended once it enables the test buttons again.
    main = dialog_of(reader.hear_enabled("Run the speaker test"))
    for field, value in EXPECTED_VALUES.items():
        expect("the field %r read through its Text interface" % field, reader.read(main, field),
               value)
    heard = {n: s for t, d, s, r, n, _ in reader.heard if t == "object:text-changed:insert"}
    for field, value in EXPECTED_VALUES.items():
        expect("the last change heard in %r" % field, heard.get(field), value)
    print("detection: read and heard %s" % heard, file=sys.stderr)

    reader.press(main, "Run the speaker test")
    prompt = dialog_of(reader.hear_text("Buzzer seconds counter", "Voice On...1 Sec"))
    expect("the counter's dialog", prompt.name, "Voice ?")
    reader.hear_text("Buzzer seconds counter", "Voice On...2 Sec")
    reader.press(prompt, "Yes")
    reader.hear_text("Speaker Test", "Passed")
    expect("the speaker result", reader.read(main, "Speaker Test"), "Passed")
    print("speaker test: heard the counter and the result", file=sys.stderr)

    reader.press(main, "Run the line/DAA test")
    line_test = dialog_of(reader.hear_focus("label", "Line/DAA test status", LINE_TEST))
    reader.find(line_test, "image", "Two computers on a telephone line")
    expect("the status while the test runs", reader.read(line_test, "Line/DAA test status"),
           "Line/DAA test in progress")
    reader.hear_text("Line/DAA test status", "Passed !")
    reader.hear_text("Line/DAA Test", "Passed")
    reader.hear_focus("push button", "OK", LINE_TEST)
    reader.press(line_test, "OK")
    print("line test: focus on the status, then on OK; heard the results", file=sys.stderr)

    reader.hear_closed(line_test)
    reader.press(main, "Quit")


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    under_private_bus()
    deadline = time.monotonic() + DEADLINE_S
    children = Children()
    # A signal from the test driver still ends every child.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    with tempfile.TemporaryDirectory(prefix="kalvex-screen-reader-") as work:
        try:
            run(*map(os.path.abspath, sys.argv[1:]), work, children, deadline)
        except Failure as failure:
            print("FAILED: %s" % failure, file=sys.stderr)
            return 1
        finally:
            children.end_all()
    print("passed", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
