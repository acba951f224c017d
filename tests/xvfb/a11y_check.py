#!/usr/bin/python3
"""What a screen reader meets in the player's window, read from the AT-SPI bus.

usage: a11y_check.py tree TITLE     the toolbar's buttons, the position bar (once, as a time),
                                    the picture (the movie's title) and the panes are named
       a11y_check.py focused        the name and role of the object that has the focus
"""
import sys
import time

import pyatspi

# The roles a toolbar button takes: a checked one reads as a check box.
BUTTONS = ("push button", "toggle button", "check box")


def application():
    end = time.time() + 20
    while time.time() < end:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name.lower().startswith("lunavue"):
                return app
        time.sleep(0.2)
    sys.exit("FAILED: the player is not on the accessibility bus")


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    for i in range(node.childCount):
        yield from walk(node.getChildAtIndex(i), depth + 1)


def tree(title):
    app = application()
    found = [(n.getRoleName(), n.name, n) for n in walk(app)]
    names = {(role, name) for role, name, _ in found}
    ok = True

    def expect(cond, what):
        nonlocal ok
        print(("ok: " if cond else "FAILED: ") + what)
        ok = ok and cond

    for button in ["Stop", "Play", "Pause", "Normal size", "Double size", "Triple size",
                   "Aspect correction", "Full screen"]:
        expect(any((role, button) in names for role in BUTTONS), f"a button named {button}")
    sliders = [n for role, name, n in found if role == "slider"]
    expect(len(sliders) == 1, f"one slider in the tree ({len(sliders)})")
    if sliders:
        s = sliders[0]
        expect(s.name == "Position", f"the slider is named Position ({s.name!r})")
        value = s.queryValue()
        expect(value.maximumValue > 0, f"its value is a time ({value.currentValue} of "
                                       f"{value.maximumValue} s)")
        expect(" of " in s.description, f"and says it ({s.description!r})")
    expect(any(name == title for role, name, _ in found if role == "animation"),
           f"the picture is named {title}")
    for pane in ["Message", "Elapsed time", "Total time"]:
        expect(("label", pane) in names, f"a pane named {pane}")
    unnamed = [role for role, name, _ in found
               if not name and role in BUTTONS + ("slider", "animation")]
    expect(not unnamed, f"no control without a name ({unnamed})")
    sys.exit(0 if ok else 1)


def focused():
    app = application()
    for n in walk(app):
        if n.getState().contains(pyatspi.STATE_FOCUSED):
            print(f"{n.getRoleName()}: {n.name}")
            return
    print("none")


if __name__ == "__main__":
    if sys.argv[1] == "tree":
        tree(sys.argv[2])
    elif sys.argv[1] == "focused":
        focused()
    else:
        sys.exit(__doc__)
