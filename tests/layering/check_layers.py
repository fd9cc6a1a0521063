#!/usr/bin/env python3
"""Checks every #include under src/ against the layer table (src/layers.txt).

The libraries link along the same table, but a static library does not stop an
include that reaches up: the header compiles, and an inline function needs no
symbol. So this reads the includes themselves and reports each one the table
does not allow, as file:line with the offending edge, and each Qt header
outside ui/. Exit status 0 when clean, 1 on any finding, 2 on a bad table.

Usage: check_layers.py SRC_DIR [TABLE]   (TABLE defaults to SRC_DIR/layers.txt)
"""

import os
import re
import sys

SOURCE_SUFFIXES = (".cpp", ".hpp", ".h", ".cc", ".hh", ".ipp", ".inl")
HEADER_SUFFIXES = (".hpp", ".h", ".hh", ".ipp", ".inl")
# The one folder that may include Qt, and the only one that links it.
QT_FOLDER = "ui"

INCLUDE_RE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
# Qt's headers are <QString>, <QtCore/QString> and the like; nothing in the
# C++ or POSIX headers starts with a capital Q.
QT_HEADER_RE = re.compile(r"^Q")


class TableError(Exception):
    pass


class Unit:
    def __init__(self, name, public, private, line):
        self.name = name
        self.public = public
        self.private = private
        self.line = line

    @property
    def is_program(self):
        return "/" in self.name

    @property
    def folder(self):
        return self.name.split("/", 1)[0]

    def allowed(self):
        return set(self.public) | set(self.private)


def read_table(path):
    """Returns {unit name: Unit}; raises TableError on a malformed or cyclic table."""
    units = {}
    with open(path, encoding="utf-8") as table:
        for number, raw in enumerate(table, 1):
            line = raw.strip()
            if not line or line.startswith("#"):
                continue
            cells = [cell.strip() for cell in line.split("|")]
            if len(cells) != 3 or not cells[0]:
                raise TableError(f"{path}:{number}: expected 'unit | public | private', got: {line}")
            name, public, private = cells[0], cells[1].split(), cells[2].split()
            if name in units:
                raise TableError(f"{path}:{number}: {name} has a second row")
            both = set(public) & set(private)
            if both:
                raise TableError(f"{path}:{number}: {name} lists {' '.join(sorted(both))} as public and private")
            units[name] = Unit(name, public, private, number)

    folders = {name for name, unit in units.items() if not unit.is_program}
    for unit in units.values():
        for dep in unit.public + unit.private:
            if dep not in folders:
                raise TableError(f"{path}:{unit.line}: {unit.name} uses {dep}, which has no folder row")
            if dep == unit.name:
                raise TableError(f"{path}:{unit.line}: {unit.name} lists itself")
        if unit.is_program and unit.public:
            raise TableError(f"{path}:{unit.line}: {unit.name} is a program: it has no headers, so nothing public")

    cycle = find_cycle({name: units[name].allowed() for name in folders})
    if cycle:
        raise TableError(f"{path}: the layers form a cycle: {' -> '.join(cycle)}")
    return units


def find_cycle(edges):
    """Returns one cycle of the graph as a list of nodes (first == last), or None."""
    state = {}  # node -> "open" while on the path, "done" once fully explored

    def visit(node, path):
        state[node] = "open"
        path.append(node)
        for dep in sorted(edges.get(node, ())):
            if state.get(dep) == "open":
                return path[path.index(dep):] + [dep]
            if dep not in state:
                found = visit(dep, path)
                if found:
                    return found
        path.pop()
        state[node] = "done"
        return None

    for node in sorted(edges):
        if node not in state:
            found = visit(node, [])
            if found:
                return found
    return None


def included_folder(include, file_dir_rel):
    """The src/ folder a quoted include names, or None for one in the file's own folder."""
    if include.startswith("."):
        # A relative path counts by where it lands, so "../app/x.hpp" is an edge to app.
        resolved = os.path.normpath(os.path.join(file_dir_rel, include))
        if resolved.startswith(".."):
            return ".."
        return resolved.split(os.sep, 1)[0] if os.sep in resolved else None
    if "/" not in include:
        return None
    # Found through the include path src/; "decode/../app/x.hpp" is app's.
    resolved = os.path.normpath(include)
    if resolved.startswith(".."):
        return ".."
    return resolved.split(os.sep, 1)[0] if os.sep in resolved else None


def check_tree(src_dir, units):
    """Returns the findings, one 'file:line: message' string each."""
    findings = []
    folders = {name for name, unit in units.items() if not unit.is_program}
    for root, dirs, files in os.walk(src_dir):
        dirs.sort()
        for file_name in sorted(files):
            if not file_name.endswith(SOURCE_SUFFIXES):
                continue
            path = os.path.join(root, file_name)
            rel = os.path.relpath(path, src_dir).replace(os.sep, "/")
            shown = os.path.basename(os.path.abspath(src_dir)) + "/" + rel
            findings += check_file(path, rel, shown, units, folders)
    return findings


def check_file(path, rel, shown, units, folders):
    if "/" not in rel:
        return [f"{shown}:1: source file outside every layer folder; put it in a folder of the table"]
    folder = rel.split("/", 1)[0]
    unit = units.get(rel) or units.get(folder)
    if unit is None:
        return [f"{shown}:1: {folder}/ has no row in the layer table; add one that says what it may use"]
    is_header = rel.endswith(HEADER_SUFFIXES)
    findings = []
    with open(path, encoding="utf-8", errors="replace") as source:
        for number, line in enumerate(source, 1):
            match = INCLUDE_RE.match(line)
            if not match:
                continue
            bracket, include = match.groups()
            where = f"{shown}:{number}"
            if bracket == "<":
                if QT_HEADER_RE.match(include) and folder != QT_FOLDER:
                    findings.append(f"{where}: {folder} -> Qt <{include}>: only {QT_FOLDER}/ may include Qt")
                continue
            target = included_folder(include, os.path.dirname(rel))
            if target is None or target == folder:
                continue
            if target not in folders:
                findings.append(f'{where}: {unit.name} -> {target} ("{include}"): {target} is not a layer of the table')
            elif target not in unit.allowed():
                allowed = " ".join(sorted(unit.allowed())) or "nothing"
                findings.append(
                    f'{where}: {unit.name} -> {target} ("{include}") is not allowed; '
                    f"{unit.name} may use: {allowed}")
            elif is_header and target not in unit.public:
                findings.append(
                    f'{where}: {unit.name} -> {target} ("{include}") from a header, but {target} is private to '
                    f"{unit.name}; its users would include it too: make it public in the table")
    return findings


def main(argv):
    if len(argv) not in (2, 3):
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    src_dir = argv[1]
    table = argv[2] if len(argv) == 3 else os.path.join(src_dir, "layers.txt")
    try:
        units = read_table(table)
    except (OSError, TableError) as error:
        print(f"layer table: {error}", file=sys.stderr)
        return 2
    findings = check_tree(src_dir, units)
    for finding in findings:
        print(finding)
    if findings:
        print(f"{len(findings)} include(s) break the layering in {table}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
