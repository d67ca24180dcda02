#!/usr/bin/env python3
"""Holds src/ to its rooms (src/rooms.cmake): every file includes only its own room, the rooms
its room names and what those link in turn; a room names only rooms below it; a room's library
includes every room it names and no other, and links no room by hand. Prints each fault with
its file and line."""

import argparse
import pathlib
import re
import sys
import tempfile

SOURCES = (".h", ".cpp", ".in")
INCLUDE = re.compile(r'^\s*#\s*include\s*(?:"([^"]+)"|<([^>]+)>)')


def read_table(path):
    text = path.read_text()
    sets = {m.group(1): m.group(2).replace('""', "").split()
            for m in re.finditer(r"set\(\s*(\w+)\s*([^)]*)\)", text)}
    order = sets.get("NIMBRIX_ROOMS", [])
    return order, {room: sets.get("NIMBRIX_ROOM_" + room, []) for room in order}


def reach(table, room):
    """The rooms a room's targets link, directly or through the rooms they link."""
    seen, todo = set(), list(table.get(room, []))
    while todo:
        r = todo.pop()
        if r not in seen:
            seen.add(r)
            todo.extend(table.get(r, []))
    return seen


def is_library_file(relative):
    # Tests and fakes are linked into test binaries only; everything else is the room's library
    # (and app/main.cpp, the program on top of it).
    return not relative.name.endswith("_test.cpp") and "fake" not in relative.parts[1:-1]


def check(src, table_path):
    order, table = read_table(table_path)
    faults = []
    if not order:
        return [f"{table_path}: no NIMBRIX_ROOMS"]
    for i, room in enumerate(order):
        for named in table[room]:
            if named not in order:
                faults.append(f"{table_path}: {room} names {named}, which is no room")
            elif order.index(named) >= i:
                faults.append(f"{table_path}: {room} names {named}, which is not below it")
    included = {room: set() for room in order}
    for path in sorted(src.rglob("*")):
        if not path.is_file() or path.suffix not in SOURCES:
            continue
        relative = path.relative_to(src)
        room = relative.parts[0]
        if room not in table:
            faults.append(f"{path}: in {room}/, which is no room of {table_path.name}")
            continue
        allowed = reach(table, room)
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            header = m.group(1) or m.group(2)
            first = header.split("/")[0]
            if m.group(2) and (first not in table or "/" not in header):
                continue  # a system or library header
            if first == room:
                continue
            if first not in table:
                faults.append(f"{path}:{number}: includes {header}, which is in no room")
            elif first not in allowed:
                faults.append(f"{path}:{number}: includes {header}, but {room} may include only "
                              f"{' '.join(sorted(allowed)) or 'itself'}")
            elif is_library_file(relative):
                included[room].add(first)
    # A room library's rooms come from the table alone, never from a link line of its own.
    lists = src / "CMakeLists.txt"
    if lists.exists():
        text = lists.read_text()
        for m in re.finditer(r"target_link_libraries\(\s*nimbrix_(\w+)\b([^)]*)\)", text):
            linked = [r for r in re.findall(r"\bnimbrix_(\w+)", m.group(2)) if r in table]
            if m.group(1) in table and linked:
                faults.append(f"{lists}: nimbrix_{m.group(1)} links {' '.join(linked)} by hand; "
                              f"its rooms are {table_path.name}'s")
    for room in order:
        for named in sorted(set(table[room]) - included[room]):
            faults.append(f"{table_path}: {room} links {named}, but its library includes nothing "
                          "of it")
        for used in sorted(included[room] - set(table[room])):
            faults.append(f"{table_path}: {room}'s library includes {used}, which it does not "
                          "name")
    return faults


def self_test():
    """The check itself: a tree that keeps its rooms passes, each kind of fault is caught."""
    table = ('set(NIMBRIX_ROOMS low high)\nset(NIMBRIX_ROOM_low "")\n'
             "set(NIMBRIX_ROOM_high low)\n")
    cases = [
        ({"high/a.h": '#include "low/b.h"', "low/b.h": "#include <vector>"}, []),
        ({"high/a.h": '#include "low/b.h"', "low/b.h": '#include "high/a.h"'},
         ["low may include only itself"]),
        ({"high/a.h": "", "low/b.h": ""}, ["high links low, but its library includes nothing"]),
        ({"high/a.h": '#include "low/b.h"', "high/a_test.cpp": '#include "tools/x.h"',
          "low/b.h": ""}, ["which is in no room"]),
        ({"high/a.h": '#include "low/b.h"', "side/c.h": "", "low/b.h": ""}, ["which is no room"]),
        ({"high/a.h": '#include "low/b.h"', "low/b.h": "",
          "CMakeLists.txt": "target_link_libraries(nimbrix_high PUBLIC nimbrix_low)"},
         ["links low by hand"]),
    ]
    failed = 0
    for files, wanted in cases:
        with tempfile.TemporaryDirectory() as folder:
            root = pathlib.Path(folder)
            (root / "rooms.cmake").write_text(table)
            for name, text in files.items():
                (root / name).parent.mkdir(parents=True, exist_ok=True)
                (root / name).write_text(text + "\n")
            faults = check(root, root / "rooms.cmake")
        ok = all(any(w in f for f in faults) for w in wanted) and (wanted or not faults)
        if not ok:
            failed += 1
            print(f"self-test: {sorted(files)} gave {faults}, wanted {wanted}")
    return failed


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("src", type=pathlib.Path, help="the src/ folder")
    parser.add_argument("--table", type=pathlib.Path, help="default: SRC/rooms.cmake")
    arguments = parser.parse_args()
    if self_test():
        return 1
    table = arguments.table or arguments.src / "rooms.cmake"
    faults = check(arguments.src, table)
    for fault in faults:
        print(fault)
    print(f"rooms: {len(faults)} faults" if faults else "rooms: every include points down")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
