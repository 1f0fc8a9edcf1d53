#!/usr/bin/python3
"""Drives a running oakvane through the accessibility bus, as a screen reader or a GUI test
tool would: by role and accessible name only, never by coordinates.

    a11y_drive.py --pid PID ingest            press Start, wait for the run, check the output
    a11y_drive.py --pid PID press NAME        press the push button NAME (in any window)
    a11y_drive.py --pid PID wait-window TITLE wait until a window whose name starts with TITLE is up
    a11y_drive.py --pid PID wait-gone TITLE   wait until no such window is up
    a11y_drive.py --pid PID wait-output TEXT  wait until an output list item holds TEXT
    a11y_drive.py --pid PID tree              print the named controls
    a11y_drive.py --pid PID toggle-prefs      in Preferences, Toggle "Auto Eject", "Date Only" and raw decoding
                                              and check that the windows follow

Needs DISPLAY and DBUS_SESSION_BUS_ADDRESS of the session the program runs in. Exit status 0
when everything asked for was found and true, 1 otherwise.
"""

import argparse
import sys
import time

import pyatspi

EXPECTED_LINES = ("SUCCESSFUL INGESTION - no errors detected", "Finished")


class Failure(Exception):
    pass


def wait_for(what, probe, timeout):
    """Polls probe until it returns something true; the accessibility bus has no event for
    'the run is over' that a window this simple would send, so polling is the honest wait."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            found = probe()
        except Failure:
            raise
        except Exception:  # the tree changes under us while windows come and go
            found = None
        if found:
            return found
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(0.2)


def find_application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def walk(node, depth=0):
    """Every descendant with its depth; a list's items are yielded like any other child."""
    yield node, depth
    try:
        node.clear_cache()
        count = node.childCount
    except Exception:
        return
    for i in range(count):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def find(root, role, name=None, prefix=False):
    for node, _ in walk(root):
        if node.getRole() != role:
            continue
        if name is None or node.name == name or (prefix and node.name.startswith(name)):
            return node
    return None


def windows(app):
    app.clear_cache()
    return [app.getChildAtIndex(i) for i in range(app.childCount)]


def window_named(app, title, exact=False):
    for window in windows(app):
        if window is not None and (window.name == title or
                                   (not exact and window.name.startswith(title))):
            return window
    return None


def main_window(app):
    for window in windows(app):
        if window is not None and window.name == "Oakvane" and \
                window.getRole() != pyatspi.ROLE_ALERT:
            return window
    return None


def alert_text(app):
    """The texts of a message box that is up, or None."""
    for window in windows(app):
        if window is not None and window.getRole() == pyatspi.ROLE_ALERT:
            texts = [node.name for node, _ in walk(window)
                     if node.getRole() == pyatspi.ROLE_LABEL and node.name]
            return " / ".join(texts) or window.name
    return None


def press(app, name):
    def button():
        for window in windows(app):
            found = find(window, pyatspi.ROLE_PUSH_BUTTON, name)
            if found is not None:
                return found
        return None

    found = wait_for(f'push button "{name}"', button, 30)
    if not found.getState().contains(pyatspi.STATE_SENSITIVE):
        raise Failure(f'push button "{name}" is disabled')
    action = found.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    index = names.index("Press") if "Press" in names else 0
    if not action.doAction(index):
        raise Failure(f'push button "{name}" refused its action {names[index]!r}')
    print(f'pressed push button "{name}" (action {names[index]!r})')


def output_items(app):
    main = main_window(app)
    output = find(main, pyatspi.ROLE_LIST, "Output list") if main else None
    if output is None:
        raise Failure('no list named "Output list"')
    output.clear_cache()
    items = []
    for i in range(output.childCount):
        item = output.getChildAtIndex(i)
        if item is not None:
            items.append(item.name)
    return items


def labels(node):
    """A combo box's name is its current text; its visible label comes as a relation."""
    names = []
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            names += [relation.getTarget(i).name for i in range(relation.getNTargets())]
    return f" (labelled by {', '.join(repr(n) for n in names)})" if names else ""


def print_tree(app):
    print(f"application {app.name!r} (pid {app.get_process_id()})")
    for window in windows(app):
        if window is None:
            continue
        list_items = 0
        for node, depth in walk(window):
            if node.getRole() == pyatspi.ROLE_LIST_ITEM:
                list_items += 1
                continue
            if node.name or depth == 0:
                print(f"{'  ' * (depth + 1)}{node.getRoleName()}: {node.name!r}{labels(node)}")
        if list_items:
            print(f"  ({list_items} list items)")


def toggle(node):
    """The Toggle action, as screen readers and GUI test tools use it: no click, no focus."""
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    if "Toggle" not in names:
        raise Failure(f'"{node.name}" has no Toggle action, only {names}')
    action.doAction(names.index("Toggle"))


def checked(node):
    node.clear_cache()
    return node.getState().contains(pyatspi.STATE_CHECKED)


def auto_labels(app):
    """How many "Auto" marks the main window shows beside Start and Eject."""
    main = main_window(app)
    return sum(1 for node, _ in walk(main)
               if node.getRole() == pyatspi.ROLE_LABEL and node.name == "Auto")


def example_text(window):
    example = find(window, pyatspi.ROLE_TEXT, "Folder Arrangement Example")
    if example is None:
        raise Failure('no text named "Folder Arrangement Example"')
    text = example.queryText()
    return text.getText(0, text.characterCount)


def toggle_prefs(app):
    """Toggle through the bus stores and refreshes: the main window's Auto mark beside Eject
    follows Auto Eject, and the arrangement example follows Date Only."""
    marks = auto_labels(app)
    press(app, "Preferences...")
    prefs = wait_for("the preferences dialog",
                     lambda: window_named(app, "Oakvane Preferences"), 30)
    box = wait_for('check box "Auto Eject"',
                   lambda: find(prefs, pyatspi.ROLE_CHECK_BOX, "Auto Eject"), 10)
    was = checked(box)
    toggle(box)
    wait_for('"Auto Eject" to change', lambda: checked(box) != was, 10)
    wait_for('the main window\'s "Auto" marks to follow Auto Eject',
             lambda: auto_labels(app) == marks + (-1 if was else 1), 10)
    print(f'toggled "Auto Eject" to {not was}; the main window followed')

    radio = find(prefs, pyatspi.ROLE_RADIO_BUTTON, "Date Only")
    if radio is None:
        raise Failure('no radio button "Date Only"')
    before = example_text(prefs)
    toggle(radio)
    wait_for('"Date Only" to be checked', lambda: checked(radio), 10)
    wait_for("the arrangement example to follow", lambda: example_text(prefs) != before, 10)
    print('toggled "Date Only"; the arrangement example followed')

    decode = find(prefs, pyatspi.ROLE_CHECK_BOX, "Check raw files by decoding them", prefix=True)
    if decode is None:
        raise Failure('no check box "Check raw files by decoding them ..."')
    was = checked(decode)
    toggle(decode)
    wait_for('"Check raw files by decoding them" to change', lambda: checked(decode) != was, 10)
    print(f'toggled "Check raw files by decoding them" to {not was}')
    press(app, "Close")
    wait_for("the preferences dialog to close",
             lambda: window_named(app, "Oakvane Preferences") is None, 30)


def ingest(app, timeout):
    press(app, "Start")

    def finished():
        items = output_items(app)
        if "Finished" in items:
            return items
        # The run waits for the box to be answered before it writes "Finished".
        alert = alert_text(app)
        if alert:
            raise Failure(f"message box during the run: {alert}; output so far: {items}")
        return None

    items = wait_for('"Finished" in the output list', finished, timeout)
    print(f"output list: {len(items)} items")
    for line in items:
        if line.startswith(("SUCCESSFUL", "ERROR", "Finished", "Stopped")):
            print(f"  {line}")
    missing = [line for line in EXPECTED_LINES if line not in items]
    if missing:
        raise Failure(f"output list lacks {missing}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pid", type=int, required=True)
    parser.add_argument("--timeout", type=float, default=180)
    parser.add_argument("command", choices=["ingest", "press", "wait-window", "wait-gone",
                                            "wait-output", "tree", "toggle-prefs"])
    parser.add_argument("argument", nargs="?")
    args = parser.parse_args()
    try:
        app = wait_for(f"pid {args.pid} on the accessibility bus",
                       lambda: find_application(args.pid), 60)
        wait_for("the main window", lambda: main_window(app), 30)
        if args.command == "ingest":
            print_tree(app)
            ingest(app, args.timeout)
        elif args.command == "press":
            press(app, args.argument)
        elif args.command == "wait-window":
            wait_for(f'window "{args.argument}"', lambda: window_named(app, args.argument),
                     args.timeout)
        elif args.command == "wait-gone":
            wait_for(f'window "{args.argument}" to close',
                     lambda: window_named(app, args.argument) is None, args.timeout)
        elif args.command == "wait-output":
            wait_for(f'"{args.argument}" in the output list',
                     lambda: any(args.argument in line for line in output_items(app)),
                     args.timeout)
        elif args.command == "toggle-prefs":
            toggle_prefs(app)
        else:
            print_tree(app)
    except Failure as failure:
        print(f"a11y_drive: {failure}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
