#!/usr/bin/python3
"""Reads the running Tarnel's accessibility tree over AT-SPI, prints it
(tables abridged to their first rows) and checks what screen readers need:
both lists named and offered without their hidden columns, the red row and
the broken driver said in words, the status panels read as their texts,
and a name on every control. Exit status 1 when a check fails."""
import sys
import time

import pyatspi

# Roles a user operates or reads as one thing. Inner "frame"s are Qt's
# plain containers; only windows (the application's children) count.
CONTROLS = {
    "push button", "toggle button", "check box", "radio button", "combo box", "spin button", "text",
    "table", "tree", "tree table", "list", "page tab", "page tab list", "menu item", "menu bar", "menu",
    "split pane", "slider", "progress bar", "scroll bar", "tool bar", "status bar", "dialog",
    "table column header", "image",
}

failures = []


def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + what)
    if not ok:
        failures.append(what)


def find_app(name, tries=60):
    for _ in range(tries):
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name.lower() == name:
                return app
        time.sleep(0.5)
    return None


def walk(node, depth=0, out=None):
    """Every node with its depth, in tree order."""
    if out is None:
        out = []
    out.append((depth, node))
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            walk(child, depth + 1, out)
    return out


def show(node):
    state = node.getState()
    hidden = "" if state.contains(pyatspi.STATE_SHOWING) else " [hidden]"
    desc = f" desc='{node.description}'" if node.description else ""
    return f"{node.getRoleName()} '{node.name}'{desc}{hidden}"


def print_tree(nodes):
    shown_cells = {}
    for depth, node in nodes:
        role = node.getRoleName()
        if role == "table cell":
            parent = node.parent
            count = shown_cells.get(id(parent), 0)
            shown_cells[id(parent)] = count + 1
            if count == 10:
                print("  " * depth + "...")
            if count >= 10 and not node.description:
                continue
        print("  " * depth + show(node))


def main():
    app = find_app(sys.argv[1] if len(sys.argv) > 1 else "tarnel")
    if app is None:
        print("FAIL  the program is not on the accessibility bus")
        return 1
    nodes = walk(app)
    print_tree(nodes)
    print()

    tables = {n.name: n for _, n in nodes if n.getRoleName() == "table"}
    for name in ("Active Codecs", "Inactive Codecs"):
        check(name in tables, f"a table named '{name}'")
        if name not in tables:
            continue
        table = tables[name].queryTable()
        heads = [table.getColumnDescription(c) for c in range(table.nColumns)]
        check(heads == ["Fourcc", "Driver", "Shortname", "Description", "Version"],
              f"'{name}' offers its shown columns only: {heads}")
    active = tables.get("Active Codecs")
    if active is not None:
        cells = {}
        for i in range(active.childCount):
            cell = active.getChildAtIndex(i)
            cells.setdefault(cell.name, cell)
        check(cells.get("mjpg") is not None and cells["mjpg"].description == "has an inactive twin",
              "the red mjpg row says 'has an inactive twin'")
        check(cells.get("xmv7") is not None and
              cells["xmv7"].description.startswith("Driver file not found: "),
              "the xmv7 row says why its driver cannot be loaded")

    labels = [n.name for _, n in nodes if n.getRoleName() == "label" and n.parent is not None
              and n.parent.parent is not None and n.parent.parent.getRoleName() == "status bar"]
    for text in ("Running On : Windows XP Professional", "Active : 12", "Inactive : 4"):
        check(text in labels, f"a status panel reads '{text}'")
    if active is not None:
        # Selecting a row through the screen reader's own interface fills the
        # selection panel.
        active.queryTable().addRowSelection(0)
        time.sleep(1)
        labels = [n.name for _, n in walk(app) if n.getRoleName() == "label"]
        check("mjpg (1)" in labels, "the selection panel reads 'mjpg (1)' once mjpg is selected")

    unnamed = [show(n) for depth, n in nodes
               if n.getRoleName() in CONTROLS and not n.name.strip()
               or (depth == 1 and not n.name.strip())]
    check(not unnamed, "every control has a name" + ("" if not unnamed else ": " + "; ".join(unnamed)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
