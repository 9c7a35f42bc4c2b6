#!/usr/bin/python3
# A screen reader's view of one process, through the AT-SPI accessibility bus of the
# session named by DBUS_SESSION_BUS_ADDRESS.
#
#   atspi_client.py dump PID
#       One line per accessible object of the process's application, depth first:
#       path, role, name, description, key binding, states (showing, focused) and the
#       extents on the screen (x, y, width, height), separated by tabs. The items of
#       lists, tables and trees are left out (a file dialog lists a whole folder).
#   atspi_client.py watch PID SECONDS
#       Prints "ready" once it listens, then one line per change of an object's name or
#       description in the process: event type, role, the object's name and description
#       after the change. Ends after SECONDS.
#
# Debian's python3-pyatspi installs into the system's Python, hence /usr/bin/python3.

import sys

import pyatspi
from gi.repository import GLib

CONTAINERS_OF_ITEMS = ("list", "table", "tree", "tree table")


def clean(text):
    return (text or "").replace("\t", " ").replace("\n", "\\n")


def key_binding(accessible):
    try:
        action = accessible.queryAction()
        return action.getKeyBinding(0) if action.nActions > 0 else ""
    except (NotImplementedError, GLib.GError):
        return ""


def extents(accessible):
    try:
        box = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return [str(box.x), str(box.y), str(box.width), str(box.height)]
    except (NotImplementedError, GLib.GError):
        return ["0", "0", "0", "0"]


def states(accessible):
    state = accessible.getState()
    names = (("showing", pyatspi.STATE_SHOWING), ("focused", pyatspi.STATE_FOCUSED))
    return ",".join(name for name, value in names if state.contains(value))


def dump(accessible, path):
    try:
        role = accessible.getRoleName()
        fields = [path, role, clean(accessible.name), clean(accessible.description),
                  clean(key_binding(accessible)), states(accessible)] + extents(accessible)
    except GLib.GError:
        return  # the object went away while it was read
    print("\t".join(fields))
    if role in CONTAINERS_OF_ITEMS:
        return
    for index in range(accessible.childCount):
        child = accessible.getChildAtIndex(index)
        if child is not None:
            dump(child, path + "/" + str(index))


def application_of(pid):
    for application in pyatspi.Registry.getDesktop(0):
        try:
            if application is not None and application.get_process_id() == pid:
                return application
        except GLib.GError:
            continue
    return None


def watch(pid, seconds):
    def on_change(event):
        try:
            if event.host_application.get_process_id() != pid:
                return
            source = event.source
            print("\t".join([event.type, source.getRoleName(), clean(source.name),
                             clean(source.description)]), flush=True)
        except GLib.GError:
            pass  # an object of a dialog that has closed since

    for kind in ("object:property-change:accessible-name",
                 "object:property-change:accessible-description"):
        pyatspi.Registry.registerEventListener(on_change, kind)
    print("ready", flush=True)
    GLib.timeout_add_seconds(seconds, pyatspi.Registry.stop)
    pyatspi.Registry.start()


def main():
    if len(sys.argv) >= 3 and sys.argv[1] == "dump":
        application = application_of(int(sys.argv[2]))
        if application is not None:
            dump(application, "app")
        return 0
    if len(sys.argv) == 4 and sys.argv[1] == "watch":
        watch(int(sys.argv[2]), int(sys.argv[3]))
        return 0
    print("usage: atspi_client.py dump PID | watch PID SECONDS", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
