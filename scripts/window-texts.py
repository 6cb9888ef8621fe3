#!/usr/bin/python3
"""Prints the texts of a running program's windows, one per line, read through
the accessibility bus (AT-SPI): labels, buttons, tooltips of every widget.

    window-texts.py NAME [SECONDS]

Waits up to SECONDS (default 30) for an application NAME (compared without
case) with at least one labelled widget. Exit status 1 when none appears."""
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def texts(node, depth=0, out=None):
    out = [] if out is None else out
    if node is None or depth > 40:
        return out
    for value in (node.get_name(), node.get_description()):
        if value:
            out.append(value)
    if "Text" in node.get_interfaces():
        out.append(Atspi.Text.get_text(node, 0, Atspi.Text.get_character_count(node)))
    for i in range(node.get_child_count()):
        texts(node.get_child_at_index(i), depth + 1, out)
    return out


def main():
    name = sys.argv[1].lower()
    deadline = time.monotonic() + (float(sys.argv[2]) if len(sys.argv) > 2 else 30)
    while time.monotonic() < deadline:
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and (app.get_name() or "").lower() == name:
                found = [t for t in texts(app) if t.strip()]
                if len(found) > 3:
                    print("\n".join(found))
                    return 0
        time.sleep(0.5)
    print(f"no application {sys.argv[1]} on the accessibility bus", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
