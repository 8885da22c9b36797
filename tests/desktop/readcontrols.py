#!/usr/bin/env python3
"""Prints what a screen reader reads of the player's window: role, name, description and value of
every control, one per line, found through the accessibility bus."""
import sys

import pyatspi


def walk(node, depth=0):
    try:
        role = node.getRoleName()
        name = node.name
        description = node.description
    except Exception:  # a node that went away while we walked
        return
    value = ""
    try:
        value = " value=%g" % node.queryValue().currentValue
    except NotImplementedError:
        pass
    except Exception:
        pass
    if name or role in ("push button", "slider", "label", "filler"):
        print("%s|%s|%s|%s" % (role, name, description, value.strip()))
    for i in range(node.childCount):
        walk(node.getChildAtIndex(i), depth + 1)


desktop = pyatspi.Registry.getDesktop(0)
for app in desktop:
    if app is not None and app.name == sys.argv[1]:
        walk(app)
        sys.exit(0)
print("no application named %s" % sys.argv[1], file=sys.stderr)
sys.exit(1)
