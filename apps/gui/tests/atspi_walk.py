#!/usr/bin/python3
"""The window tool as a screen reader meets it: the real teelink executable of
a build, against the reference server and an emulated device, read from this
separate process through AT-SPI, and driven with keys alone.

Run by atspi-walk.sh inside a virtual display and a D-Bus session of its own:
    atspi_walk.py BUILD_DIR BUS_DIR PORT
with the emulator bus and the server's port that the build's tool has compiled in.
"""

import os
import subprocess
import sys
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

KEYS = {"Tab": 0xFF09, "Return": 0xFF0D, "space": 0x20, "Escape": 0xFF1B, "Down": 0xFF54}


class Failed(Exception):
    pass


class Reader:
    """What a screen reader hears of the application: where the keyboard is, and
    what is announced."""

    def __init__(self):
        self.focused = None
        self.focus_log = []
        self.announcements = []
        self.listener = Atspi.EventListener.new(self.on_event)
        for kind in ("object:state-changed:focused", "object:announcement"):
            self.listener.register(kind)

    def on_event(self, event):
        try:
            if event.type.startswith("object:state-changed:focused") and event.detail1 == 1:
                self.focused = event.source
                self.focus_log.append(Name(event.source))
            elif event.type.startswith("object:announcement"):
                self.announcements.append(str(event.any_data))
        except GLib.Error:
            pass  # the object went away while its event was queued

    def focused_name(self):
        return Name(self.focused) if self.focused is not None else None


def Name(accessible):
    try:
        return accessible.get_name() or ""
    except GLib.Error:
        return ""


def Pump(until, seconds, what):
    """Serves AT-SPI's events until `until()` holds; fails naming `what`."""
    deadline = time.monotonic() + seconds
    context = GLib.MainContext.default()
    while time.monotonic() < deadline:
        while context.pending():
            context.iteration(False)
        result = until()
        if result:
            return result
        time.sleep(0.05)
    raise Failed("within %d s: %s" % (seconds, what))


def Press(key):
    """One key through AT-SPI's device controller, as an on-screen keyboard sends it."""
    Atspi.generate_keyboard_event(KEYS[key], None, Atspi.KeySynthType.SYM)
    time.sleep(0.1)


def Walk(accessible, depth=0):
    """Every showing object below `accessible`, depth first."""
    try:
        count = accessible.get_child_count()
    except GLib.Error:
        return
    for i in range(count):
        child = accessible.get_child_at_index(i)
        if child is None:
            continue
        yield child
        if depth < 20:
            yield from Walk(child, depth + 1)


def Showing(accessible):
    try:
        return accessible.get_state_set().contains(Atspi.StateType.SHOWING)
    except GLib.Error:
        return False


def Role(accessible):
    try:
        return accessible.get_role()
    except GLib.Error:
        return None


def XWindowOf(window, pid):
    """The X window of the tool's top-level `window`: the one at its place."""
    box = Atspi.Component.get_extents(window, Atspi.CoordType.SCREEN)
    for wid in subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                              capture_output=True, text=True).stdout.split():
        shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", wid],
                               capture_output=True, text=True).stdout
        geometry = dict(line.split("=", 1) for line in shell.split())
        if (int(geometry["X"]), int(geometry["Y"])) == (box.x, box.y) and \
                (int(geometry["WIDTH"]), int(geometry["HEIGHT"])) == (box.width, box.height):
            return wid
    raise Failed("no X window at %r for %r" % ((box.x, box.y, box.width, box.height),
                                                Name(window)))


def GiveKeyboard(app, window):
    """The window manager's part, which the virtual display has none for: the
    window the tool shows gets the keyboard."""
    subprocess.run(["xdotool", "windowfocus", "--sync", XWindowOf(window, app.get_process_id())],
                   check=True)


def FindApplication(pid):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def ShowingWindow(app, modal):
    """The first showing top-level window, a modal one (a dialog, a box) or not."""
    for i in range(app.get_child_count()):
        window = app.get_child_at_index(i)
        if window is not None and Showing(window) and \
                window.get_state_set().contains(Atspi.StateType.MODAL) == modal:
            return window
    return None


class Run:
    """The reference server, the tool and, once plugged, an emulated device."""

    def __init__(self, build, bus, port, scratch):
        self.build = build
        self.bus = bus
        self.scratch = scratch
        self.processes = []
        os.makedirs(bus, exist_ok=True)
        self.server = self.start("server", [os.path.join(build, "refserver/teelink-update-server"),
                                            "--port", str(port), "--content",
                                            os.path.join(build, "refserver/content")])
        Pump(lambda: subprocess.run(["bash", "-c", "exec 3<>/dev/tcp/127.0.0.1/%d" % port],
                                    stderr=subprocess.DEVNULL).returncode == 0,
             10, "the reference server listens on port %d" % port)
        env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0", XDG_STATE_HOME=scratch)
        env.pop("NO_AT_BRIDGE", None)  # the bridge is what is under test
        env.pop("GTK_A11Y", None)
        self.tool = self.start("tool", [os.path.join(build, "teelink")], env)

    def start(self, name, argv, env=None):
        log = open(os.path.join(self.scratch, name + ".log"), "w")
        process = subprocess.Popen(argv, env=env, stdout=log, stderr=subprocess.STDOUT)
        self.processes.append((name, process))
        return process

    def plug(self, interval_us):
        """An R7 that writes a report every `interval_us`, slow enough to cancel."""
        self.start("device", [os.path.join(self.build, "emulator/teelink-device-emulator"),
                              "--bus", self.bus, "--label", "walk", "--model", "R7",
                              "--report-interval-us", str(interval_us)])

    def unplug(self):
        for name, process in self.processes:
            if name == "device":
                process.terminate()
                process.wait(10)

    def stop(self):
        for _, process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
        for _, process in self.processes:
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
        for name in os.listdir(self.bus):  # what the device left on a shared bus
            if "-walk.sock" in name:
                os.remove(os.path.join(self.bus, name))

    def logs(self):
        for name, _ in self.processes:
            with open(os.path.join(self.scratch, name + ".log")) as log:
                text = log.read().strip()
            if text:
                print("--- %s:\n%s" % (name, text[-4000:]))


def Dump(app):
    for accessible in Walk(app):
        if Showing(accessible):
            print("  %-14s %r" % (accessible.get_role_name(), Name(accessible)))


def Flat(text):
    return " ".join(text.split())


def Shown(frame, role):
    return [a for a in Walk(frame) if Role(a) == role and Showing(a)]


# The main page's buttons as a screen reader should say them, in Tab's order:
# the text each shows, then the group that tells the three Starts apart.
MAIN_BUTTONS = ["Start, Golf course information update", "Start, System data update",
                "TrevLog page, Acquiring positions marked", "Start, Acquiring positions marked",
                "Zorvik website", "Exit"]


NAMED_ROLES = (Atspi.Role.PUSH_BUTTON, Atspi.Role.PROGRESS_BAR, Atspi.Role.ICON,
               Atspi.Role.COMBO_BOX, Atspi.Role.TABLE, Atspi.Role.TREE_TABLE)


def CheckLabelsAndControlsNamed(frame, page):
    """Every label's name begins with the text it shows; every control is named."""
    labels = Shown(frame, Atspi.Role.LABEL)
    for label in labels:
        text = Flat(Atspi.Text.get_text(label, 0, -1))
        if not Flat(Name(label)).startswith(text):
            raise Failed("%s: the label showing %r is named %r" % (page, text, Name(label)))
    controls = [c for c in Walk(frame) if Role(c) in NAMED_ROLES and Showing(c)]
    unnamed = [c.get_role_name() for c in controls if not Name(c)]
    if unnamed:
        raise Failed("%s: unnamed %r" % (page, unnamed))
    print("%s reads: %s" % (page, " | ".join("%s %r" % (c.get_role_name(), Name(c))
                                               for c in controls)))
    return labels


def CheckNames(frame):
    """The main page: its labels and controls named, its buttons by what they do."""
    if len(CheckLabelsAndControlsNamed(frame, "the main page")) < 8:
        raise Failed("too few labels on the main page")
    buttons = sorted(Name(b) for b in Shown(frame, Atspi.Role.PUSH_BUTTON))
    if buttons != sorted(MAIN_BUTTONS):
        raise Failed("the main page's buttons read %r" % buttons)
    keys = [Atspi.Action.get_key_binding(b, 0) for b in Shown(frame, Atspi.Role.PUSH_BUTTON)]
    if len(set(keys)) != len(keys) or not all(k.startswith("<Alt>") for k in keys):
        raise Failed("the buttons' access keys are %r" % keys)
    print("the buttons' access keys:", " ".join(keys))
    icons = [Name(i) for i in Shown(frame, Atspi.Role.ICON)]
    if "Zorvik GOLF GPS" not in icons or "Not connected" not in icons:
        raise Failed("the pictures read %r" % icons)


def DevicePicture(frame):
    for icon in Shown(frame, Atspi.Role.ICON):
        if Name(icon).startswith(("Not connected", "Connected")):
            return icon
    raise Failed("no device picture")


def CheckDeviceRecognised(run, frame, reader):
    picture = DevicePicture(frame)
    run.plug(1000)
    Pump(lambda: Name(picture).startswith("Connected, R7"), 30,
         "the device picture reads the device (%r)" % Name(picture))
    print("the device picture reads:", Name(picture))
    Pump(lambda: Name(picture) in reader.announcements, 5,
         "%r is announced (heard: %r)" % (Name(picture), reader.announcements))


def FocusOn(reader, name, seconds, what):
    Pump(lambda: reader.focused_name() == name, seconds,
         "%s: the keyboard on %r (it is on %r)" % (what, name, reader.focused_name()))


def CheckTabOrder(reader):
    """Tab goes round the page's buttons in the order the page is read."""
    for _ in range(len(MAIN_BUTTONS) + 2):
        if reader.focused_name() == MAIN_BUTTONS[0]:
            break
        Press("Tab")
        Pump(lambda: True, 1, "")
    FocusOn(reader, MAIN_BUTTONS[0], 5, "Tab reaches the first Start")
    for expected in MAIN_BUTTONS[1:] + MAIN_BUTTONS[:1]:
        Press("Tab")
        FocusOn(reader, expected, 5, "Tab")
    for expected in reversed(MAIN_BUTTONS):
        Chord("shift+Tab")
        FocusOn(reader, expected, 5, "Shift+Tab")


def AnswerBoxes(app, reader, seconds):
    """The boxes an operation's end shows, one after the other: each has the
    keyboard on OK and Return closes it. Returns what they said."""
    said = []
    box = Pump(lambda: ShowingWindow(app, True), seconds, "a box")
    while box is not None:
        texts = [Flat(Name(label)) for label in Shown(box, Atspi.Role.LABEL)]
        said.append(" ".join(t for t in texts if t))
        GiveKeyboard(app, box)
        FocusOn(reader, "OK", 5, "the box %r" % said[-1])
        Press("Return")
        Pump(lambda: not Showing(box), 10, "Return closes the box %r" % said[-1])
        deadline = time.monotonic() + 2  # the next box, if any, comes at once
        box = None
        while box is None and time.monotonic() < deadline:
            box = ShowingWindow(app, True)
            Pump(lambda: True, 1, "")
    return said


def CheckCourseUpdateByKeys(app, frame, reader):
    """Space on the focused Start: the update page with the keyboard on its
    Cancel; the box that ends it answered with Return, and the keyboard is back
    on the Start that began it."""
    FocusOn(reader, MAIN_BUTTONS[0], 5, "before the update")
    Press("space")
    FocusOn(reader, "Cancel", 20, "the update page")
    CheckLabelsAndControlsNamed(frame, "the update page")
    said = AnswerBoxes(app, reader, 120)
    print("the boxes said:", said)
    if said != ["Complete"]:
        raise Failed("the update ended with the boxes %r" % said)
    GiveKeyboard(app, frame)
    FocusOn(reader, MAIN_BUTTONS[0], 10, "back on the main page")


def Chord(keys):
    """A key with modifiers (alt+a) as the keyboard sends it."""
    subprocess.run(["xdotool", "key", "--clearmodifiers", keys], check=True)
    time.sleep(0.1)


def CheckLogSaveByKeys(app, frame, reader, folder):
    """Alt+A, the log Start's access key: the log page with the keyboard on its
    Cancel, then the file dialog with the keyboard in the file name; a typed
    path and Return save the log, Return ends the box, and the keyboard is
    back on the log's Start."""
    Chord("alt+a")
    FocusOn(reader, "Cancel", 20, "the log page")
    CheckLabelsAndControlsNamed(frame, "the log page")
    chooser = Pump(lambda: ShowingWindow(app, True), 60, "the file dialog")
    GiveKeyboard(app, chooser)
    Pump(lambda: reader.focused is not None and Role(reader.focused) == Atspi.Role.TEXT, 10,
         "the file name has the keyboard (it is on %r)" % reader.focused_name())
    path = os.path.join(folder, "walk.trv")
    Chord("ctrl+a")
    subprocess.run(["xdotool", "type", "--delay", "20", path], check=True)
    Press("Return")
    Pump(lambda: not Showing(chooser), 10, "Return ends the file dialog")
    said = AnswerBoxes(app, reader, 30)
    print("the log save's boxes said:", said)
    if said != ["Complete"]:
        raise Failed("the log save ended with the boxes %r" % said)
    if not os.path.isfile(path) or os.path.getsize(path) == 0:
        raise Failed("no log saved at %s" % path)
    GiveKeyboard(app, frame)
    FocusOn(reader, MAIN_BUTTONS[3], 10, "back on the main page after the log")


def CheckDeviceGoneAnnounced(run, frame, reader):
    picture = DevicePicture(frame)
    run.unplug()
    Pump(lambda: Name(picture) == "Not connected", 30,
         "the device picture reads the device gone (%r)" % Name(picture))
    Pump(lambda: "Not connected" in reader.announcements, 5,
         "the device's going is announced (heard: %r)" % reader.announcements)
    print("announced:", " / ".join(reader.announcements))


def Frame(app):
    return Pump(lambda: ShowingWindow(app, False), 30, "the main window is shown")


def AnswerLanguage(app, reader):
    """The language dialog comes first: Down to English, Return is OK."""
    GiveKeyboard(app, Pump(lambda: ShowingWindow(app, True), 60, "the language dialog is shown"))
    Pump(lambda: reader.focused is not None, 10, "the language dialog has the keyboard")
    Press("Down")
    Press("Return")
    Pump(lambda: ShowingWindow(app, True) is None, 10, "Return ends the language dialog")


def Walkthrough(run, reader):
    app = Pump(lambda: FindApplication(run.tool.pid), 60, "the tool is on the accessibility bus")
    AnswerLanguage(app, reader)
    frame = Frame(app)
    GiveKeyboard(app, frame)
    CheckNames(frame)
    CheckDeviceRecognised(run, frame, reader)
    CheckTabOrder(reader)
    CheckCourseUpdateByKeys(app, frame, reader)
    CheckLogSaveByKeys(app, frame, reader, run.scratch)
    CheckDeviceGoneAnnounced(run, frame, reader)


def main(build, bus, port):
    Atspi.init()
    reader = Reader()
    with tempfile.TemporaryDirectory() as scratch:
        run = Run(build, bus, int(port), scratch)
        try:
            Walkthrough(run, reader)
            failure = None
        except (Failed, GLib.Error) as error:
            failure = error
            app = FindApplication(run.tool.pid)
            if app is not None:
                print("what the tool shows:")
                Dump(app)
        finally:
            went = [n for i, n in enumerate(reader.focus_log)
                    if i == 0 or n != reader.focus_log[i - 1]]
            print("the keyboard went:", " / ".join(n or "(unnamed)" for n in went))
            run.stop()
        if failure is not None:
            print("FAILED:", failure, "(the tool's exit status: %s)" % run.tool.poll())
            run.logs()
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
