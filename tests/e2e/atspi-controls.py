#!/usr/bin/python3
# SPDX-FileCopyrightText: 2026 the Kelvane developers
# SPDX-License-Identifier: GPL-3.0-or-later
# What a screen reader sees of Kelvane's knobs and value boxes, read through AT-SPI.
#
#   atspi-controls.py list           one line per dial or slider: role, name, value, min, max
#   atspi-controls.py watch SECONDS  prints "ready", then one line per value change it hears:
#                                    name, new value; ends after SECONDS
#   atspi-controls.py labels         the text of every label on screen, one line each
# Both need the session bus of the program (DBUS_SESSION_BUS_ADDRESS). Tab-separated output.
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

APPLICATION = "kelvane"
ROLES = ("dial", "slider")


def application():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        child = desktop.get_child_at_index(i)
        if child is not None and child.get_name() == APPLICATION:
            return child
    return None


def controls(node, depth=0, roles=ROLES):
    if node is None or depth > 40:
        return
    if node.get_role_name() in roles:
        yield node
    for i in range(node.get_child_count()):
        yield from controls(node.get_child_at_index(i), depth + 1, roles)


def list_labels():
    app = application()
    if app is None:
        print("no application named " + APPLICATION, file=sys.stderr)
        return 1
    for node in controls(app, roles=("label",)):
        if node.get_state_set().contains(Atspi.StateType.SHOWING):
            print(node.get_name().replace("\n", " | "), flush=True)
    return 0


def value_of(node):
    return [Atspi.Value.get_current_value(node), Atspi.Value.get_minimum_value(node),
            Atspi.Value.get_maximum_value(node)]


def list_controls():
    app = application()
    if app is None:
        print("no application named " + APPLICATION, file=sys.stderr)
        return 1
    for node in controls(app):
        fields = [node.get_role_name(), node.get_name()] + ["%g" % v for v in value_of(node)]
        print("\t".join(fields), flush=True)
    return 0


def watch(seconds):
    def heard(event):
        print("%s\t%g" % (event.source.get_name(), value_of(event.source)[0]), flush=True)

    listener = Atspi.EventListener.new(heard)
    listener.register("object:property-change:accessible-value")
    GLib.timeout_add(int(seconds * 1000), Atspi.event_quit)
    print("ready", flush=True)
    Atspi.event_main()
    return 0


if __name__ == "__main__":
    if len(sys.argv) >= 2 and sys.argv[1] == "list":
        sys.exit(list_controls())
    if len(sys.argv) == 2 and sys.argv[1] == "labels":
        sys.exit(list_labels())
    if len(sys.argv) == 3 and sys.argv[1] == "watch":
        sys.exit(watch(float(sys.argv[2])))
    print(__doc__ if __doc__ else "usage: atspi-controls.py list | watch SECONDS | labels", file=sys.stderr)
    sys.exit(2)
