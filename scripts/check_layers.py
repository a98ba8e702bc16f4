#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks that the sources keep to the two layers and the folder order.

  check_layers.py --root SRC --qt-include DIR[:DIR...]   check a source tree
  check_layers.py --self-test                            check the checker

Rules, each failure named by file and line:
  * a file outside a ui/ folder (and outside the top folders) includes no
    widget header: no header of the widget Qt modules, no generated ui_*.h
    form header and no header from a ui/ folder of this project;
  * the folder graph (a node per folder such as document or document/ui, an
    edge when a file in one includes a header of the other) has no cycle.
    The ui/ folders form a layer of their own above every core folder, and
    among themselves they need not follow the core order: the paired editor
    view (document/ui) is built from the panes (editor/ui) and the candidate
    window (input/ui), while the panes' core builds on the document model;
  * a core folder never includes a folder ordered above it;
  * the classes (a header with its sources: X.h, X.cpp and XSuffix.cpp)
    have no cycle either;
  * every writer of export/ExportWriters.h has its entry in the table of
    formats (export/ExportFormats.cpp), which the dialog and the command
    line both read.
"""

import argparse
import os
import re
import sys
import tempfile


def read_folders(path):
    """(scanned folders, core order, top folders) from the folder list."""
    folders, order, tops = [], {}, set()
    with open(path, encoding="utf-8") as f:
        for line in f:
            words = line.split()
            if not words or words[0].startswith("#"):
                continue
            name, place = words[0], words[1] if len(words) > 1 else ""
            if place == "data":
                continue
            folders.append(name)
            if place == "core":
                order[name] = int(words[2])
            elif place == "top":
                tops.add(name)
    return folders, order, tops


# The folder list shared with the build (cmake/folders.txt): the folders
# scanned, the core folders from the bottom up (folders on the same level
# may use each other as long as they make no cycle), and the folders above
# both layers as a whole, which may include anything.
FOLDERS, ORDER, TOP_FOLDERS = read_folders(
    os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cmake", "folders.txt"))

# Qt modules that link Qt Widgets.
WIDGET_MODULES = ["QtWidgets", "QtPrintSupport", "QtSvgWidgets", "QtOpenGLWidgets"]

SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".cxx")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def widget_headers(include_dirs):
    """Header names that belong to a widget module only."""
    widget, other = set(), set()
    for base in include_dirs:
        if not os.path.isdir(base):
            continue
        for module in os.listdir(base):
            path = os.path.join(base, module)
            if not module.startswith("Qt") or not os.path.isdir(path):
                continue
            names = set(os.listdir(path)) | {module}
            (widget if module in WIDGET_MODULES else other).update(names)
        # Passed a module folder itself rather than the include root.
        name = os.path.basename(os.path.normpath(base))
        if name.startswith("Qt"):
            names = set(os.listdir(base)) | {name}
            (widget if name in WIDGET_MODULES else other).update(names)
    return widget - other


def includes(path):
    """(line number, delimiter, name) of every include outside comments."""
    found = []
    in_comment = False
    with open(path, encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            if in_comment:
                if "*/" not in line:
                    continue
                line = line.split("*/", 1)[1]
                in_comment = False
            code = re.sub(r"/\*.*?\*/", "", line)
            if "/*" in code:
                code, in_comment = code.split("/*", 1)[0], True
            m = INCLUDE.match(code)
            if m:
                found.append((number, m.group(1), m.group(2).strip()))
    return found


def is_ui(folder):
    return folder == "ui" or folder.endswith("/ui") or "/ui/" in folder


def top(folder):
    return folder.split("/", 1)[0]


def class_of(rel, siblings):
    """The class a source belongs to: its own header's name, or for a
    source without one (MainWindowStart.cpp) the longest header name it
    starts with (MainWindow.h)."""
    stem = os.path.splitext(rel)[0]
    name = os.path.basename(stem)
    headers = [os.path.splitext(h)[0] for h in siblings if h.endswith((".h", ".hpp"))]
    if name in headers:
        return stem
    owners = [h for h in headers if name.startswith(h)]
    if owners:
        return os.path.join(os.path.dirname(stem), max(owners, key=len))
    return stem


def find_cycles(edges):
    """Every elementary cycle of a small directed graph, each once."""
    nodes = sorted(set(edges) | {b for targets in edges.values() for b in targets})
    cycles = []
    for start_index, start in enumerate(nodes):
        allowed = set(nodes[start_index:])
        stack = [(start, [start])]
        while stack:
            node, path = stack.pop()
            for nxt in sorted(edges.get(node, {})):
                if nxt == start:
                    cycles.append(path)
                elif nxt in allowed and nxt not in path:
                    stack.append((nxt, path + [nxt]))
    return cycles


def describe(cycle, edges):
    hops = []
    for i, node in enumerate(cycle):
        nxt = cycle[(i + 1) % len(cycle)]
        hops.append("  %s -> %s  (%s)" % (node, nxt, edges[node][nxt]))
    return " -> ".join(cycle + [cycle[0]]) + "\n" + "\n".join(hops)


def check(root, qt_dirs, folders=FOLDERS):
    root = os.path.abspath(root)
    widgets = widget_headers(qt_dirs)
    problems = []
    dir_edges = {}   # folder -> folder -> "file:line"
    class_edges = {}  # class -> class -> "file:line"

    for base in folders:
        for dirpath, _, files in sorted(os.walk(os.path.join(root, base))):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(dirpath, name)
                rel = os.path.relpath(path, root)
                folder = os.path.dirname(rel)
                in_widget_layer = is_ui(folder) or top(folder) in TOP_FOLDERS
                for number, delim, header in includes(path):
                    where = "%s:%d" % (rel, number)
                    target = None
                    candidates = [os.path.join(root, header)]
                    if delim == '"':
                        candidates.insert(0, os.path.join(dirpath, header))
                    for candidate in candidates:
                        if os.path.isfile(candidate):
                            target = os.path.relpath(os.path.realpath(candidate), root)
                            break
                    if target is not None and top(target) not in folders:
                        target = None
                    if target is None:
                        leaf = os.path.basename(header)
                        widget = (header.split("/", 1)[0] in WIDGET_MODULES
                                  or header in widgets
                                  or re.fullmatch(r"ui_\w+\.h", leaf) is not None)
                        if widget and not in_widget_layer:
                            problems.append("%s: widget header <%s> outside a ui/ folder"
                                            % (where, header))
                        continue
                    to = os.path.dirname(target)
                    if is_ui(to) and not in_widget_layer:
                        problems.append("%s: ui/ header \"%s\" included outside a ui/ folder"
                                        % (where, header))
                    if to != folder:
                        dir_edges.setdefault(folder, {}).setdefault(to, where)
                    owner, used = class_of(rel, files), os.path.splitext(target)[0]
                    if owner != used:
                        class_edges.setdefault(owner, {}).setdefault(used, where)
                    a, b = top(folder), top(to)
                    if not in_widget_layer and a in ORDER and b in ORDER \
                            and ORDER[b] > ORDER[a]:
                        problems.append("%s: %s includes \"%s\" from %s, which sits above it"
                                        % (where, a, header, b))

    for cycle in find_cycles(dir_edges):
        problems.append("folder cycle " + describe(cycle, dir_edges))
    # Only cycles within a folder: those across folders are reported above.
    for cycle in find_cycles(class_edges):
        if len({os.path.dirname(c) for c in cycle}) == 1:
            problems.append("class cycle " + describe(cycle, class_edges))
    problems += unlisted_writers(root)
    return problems


WRITERS = "export/ExportWriters.h"
FORMATS = "export/ExportFormats.cpp"


def unlisted_writers(root):
    """Every writer declared in the writers' header is named in the table of
    formats, so no format can be exported by one path and missing from the
    other."""
    header = os.path.join(root, WRITERS)
    if not os.path.isfile(header):
        return []
    with open(header, encoding="utf-8") as f:
        writers = re.findall(r"^ExportResult (write\w+)\(", f.read(), re.M)
    table = ""
    if os.path.isfile(os.path.join(root, FORMATS)):
        with open(os.path.join(root, FORMATS), encoding="utf-8") as f:
            table = f.read()
    return ["%s: writer %s has no entry in the format table (%s)" % (WRITERS, name, FORMATS)
            for name in writers
            if not re.search(r"ExportWriters::%s\b" % name, table)]


# The self-test: small trees, each with what the check must report (every
# listed text must appear) or an empty list when it must pass.
SELF_TESTS = [
    ("clean tree", {
        "core/A.h": "#include <QString>\n",
        "document/B.cpp": '#include "core/A.h"\n#include "B.h"\n',
        "document/B.h": "",
        "document/ui/V.cpp": '#include <QWidget>\n#include "document/B.h"\n'
                             '#include "editor/E.h"\n#include "ui_V.h"\n',
        "editor/E.h": '#include "document/B.h"\n',
        "editor/ui/W.cpp": '#include "document/ui/V.h"\n#include "document/B.h"\n',
        "document/ui/V.h": "// #include <QWidget>\n/* #include \"editor/ui/W.h\" */\n",
        "app/main.cpp": '#include <QApplication>\n#include "document/ui/V.h"\n',
    }, []),
    ("widget headers in core", {
        "document/A.cpp": "#include <QWidget>\n#include <QtWidgets/QLabel>\n"
                          "#include <QPrinter>\n#include \"ui_Form.h\"\n#include <QAction>\n",
    }, ["document/A.cpp:1: widget header <QWidget>",
        "document/A.cpp:2: widget header <QtWidgets/QLabel>",
        "document/A.cpp:3: widget header <QPrinter>",
        "document/A.cpp:4: widget header <ui_Form.h>"]),
    ("ui header in core", {
        "render/R.cpp": '\n#include "document/ui/V.h"\n',
        "document/ui/V.h": "",
    }, ['render/R.cpp:2: ui/ header "document/ui/V.h"']),
    ("three-folder cycle", {
        "editor/ui/A.h": '#include "input/ui/B.h"\n',
        "input/ui/B.h": '#include "fonts/ui/C.h"\n',
        "fonts/ui/C.h": '#include "editor/ui/A.h"\n',
    }, ["folder cycle editor/ui -> input/ui -> fonts/ui -> editor/ui",
        "editor/ui -> input/ui  (editor/ui/A.h:1)"]),
    ("same-level cycle", {
        "editor/A.h": '#include "input/B.h"\n',
        "input/B.h": '#include "editor/A.h"\n',
    }, ["folder cycle editor -> input -> editor"]),
    ("cycle between a folder and a ui folder", {
        "document/A.h": '#include "fonts/B.h"\n',
        "fonts/B.h": '#include "document/A.h"\n',
        "fonts/ui/C.h": '#include "document/ui/D.h"\n',
        "document/ui/D.h": '#include "fonts/ui/C.h"\n',
    }, ["folder cycle document -> fonts -> document",
        "folder cycle document/ui -> fonts/ui -> document/ui"]),
    ("class cycle", {
        "document/A.h": "",
        "document/A.cpp": '#include "document/A.h"\n#include "document/B.h"\n',
        "document/B.h": "",
        "document/BMore.cpp": '#include "document/B.h"\n#include "document/A.h"\n',
    }, ["class cycle document/A -> document/B -> document/A",
        "document/B -> document/A  (document/BMore.cpp:2)"]),
    ("writer without a format", {
        "export/ExportWriters.h": "ExportResult writePdf(int);\nExportResult writeAbc(int);\n",
        "export/ExportFormats.cpp": "ExportWriters::writePdf(1);\n",
    }, ["export/ExportWriters.h: writer writeAbc has no entry in the format table"]),
    ("lower folder includes a higher one", {
        "document/A.cpp": '#include "render/R.h"\n',
        "render/R.h": "",
    }, ['document/A.cpp:1: document includes "render/R.h" from render']),
]


def self_test():
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        qt = os.path.join(tmp, "qt")
        for module, names in {"QtWidgets": ["QWidget", "QLabel", "qaction.h"],
                              "QtPrintSupport": ["QPrinter"],
                              "QtGui": ["QAction", "qaction.h"],
                              "QtCore": ["QString"]}.items():
            os.makedirs(os.path.join(qt, module))
            for name in names:
                open(os.path.join(qt, module, name), "w").close()
        for index, (title, files, expected) in enumerate(SELF_TESTS):
            root = os.path.join(tmp, "tree%d" % index)
            for rel, text in files.items():
                path = os.path.join(root, rel)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "w") as f:
                    f.write(text)
            report = "\n".join(check(root, [qt]))
            missing = [e for e in expected if e not in report]
            if missing or (not expected and report):
                failures += 1
                print("self-test '%s' failed; missing %s; report:\n%s"
                      % (title, missing, report or "(nothing)"))
    print("self-test: %d of %d cases failed" % (failures, len(SELF_TESTS)))
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--root", help="source tree to check")
    parser.add_argument("--qt-include", default="",
                        help="Qt include folders, separated by ':' or ';'")
    parser.add_argument("--self-test", action="store_true")
    args = parser.parse_args()
    if args.self_test:
        return self_test()
    if not args.root:
        parser.error("--root is required")
    qt_dirs = [d for d in re.split(r"[:;]", args.qt_include) if d]
    if not widget_headers(qt_dirs):
        print("no Qt Widgets headers found under %s" % (qt_dirs or "(none given)"))
        return 2
    problems = check(args.root, qt_dirs)
    for problem in problems:
        print(problem)
    if problems:
        print("%d layer problem(s)" % len(problems))
        return 1
    print("layers ok: %s" % ", ".join(FOLDERS))
    return 0


if __name__ == "__main__":
    sys.exit(main())
