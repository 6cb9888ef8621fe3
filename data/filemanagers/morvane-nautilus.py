# "Print with Morvane" and "Open in Morvane" in the context menu of GNOME
# Files, for a selection of PDF files and print lists. The commands are the
# desktop entry's actions, so that every file manager runs the same ones.

import gi

gi.require_version("Nautilus", "4.0")
from gi.repository import GLib, GObject, Gio, Nautilus  # noqa: E402

DESKTOP_ENTRY = "org.morvane.Morvane.desktop"
MIME_TYPES = ("application/pdf", "text/x-morvane-printlist")
SUFFIXES = (".pdf", ".pbt")
ACTIONS = ("print", "window")


def app_info():
    # None when the entry is missing or its program is not on PATH.
    try:
        return Gio.DesktopAppInfo.new(DESKTOP_ENTRY)
    except TypeError:
        return None


def action_command(action, paths):
    """The argv of the desktop entry's action for the files, or None."""
    info = app_info()
    if info is None or info.get_filename() is None:
        return None
    entry = GLib.KeyFile()
    try:
        entry.load_from_file(info.get_filename(), GLib.KeyFileFlags.NONE)
        ok, argv = GLib.shell_parse_argv(entry.get_string("Desktop Action " + action, "Exec"))
    except GLib.Error:
        return None
    command = []
    for arg in argv:
        if arg in ("%F", "%U"):
            command.extend(paths)
        elif arg not in ("%f", "%u", "%i", "%c", "%k"):
            command.append(arg)
    return command


def action_name(action):
    info = app_info()
    return info.get_action_name(action) if info is not None else action


def run(_item, command):
    # Not waited for: the run reports its end by a notification.
    GLib.spawn_async(command, flags=GLib.SpawnFlags.SEARCH_PATH)


def menu_items(paths):
    """The two items for local files, each running its action's command."""
    items = []
    for action in ACTIONS:
        command = action_command(action, paths)
        if command is None:
            continue
        item = Nautilus.MenuItem(name="Morvane::" + action, label=action_name(action))
        item.connect("activate", run, command)
        items.append(item)
    return items


def printable_path(file):
    if file.get_uri_scheme() != "file" or file.is_directory():
        return None
    path = file.get_location().get_path()
    if file.get_mime_type() in MIME_TYPES or path.lower().endswith(SUFFIXES):
        return path
    return None


class MorvaneMenuProvider(GObject.GObject, Nautilus.MenuProvider):
    def get_file_items(self, files):
        paths = [printable_path(f) for f in files]
        # Only a selection that is all printable: a mixed one would print less than was chosen.
        if not paths or None in paths:
            return []
        return menu_items(paths)
