#!/usr/bin/env python3
"""Prints what a screen reader reads of an application's controls, found through the
accessibility bus: role|name|description|value, one control a line."""
import sys

import pyatspi


def walk(node):
    value = ""
    try:
        value = "value=%g" % node.queryValue().currentValue
    except Exception:  # no value to read
        pass
    if node.getRoleName() != "menu item":
        print("|".join((node.getRoleName(), node.name, node.description, value)))
    for child in node:
        walk(child)


for app in pyatspi.Registry.getDesktop(0):
    if app is not None and app.name == sys.argv[1]:
        walk(app)
        sys.exit(0)
sys.exit("no application named %s" % sys.argv[1])
