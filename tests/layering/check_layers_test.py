#!/usr/bin/env python3
"""Shows that check_layers.py catches each kind of reach-up in a small source
tree, and accepts the same tree without it; a checker that never fails would
pass on src/ too."""

import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_layers  # noqa: E402

TABLE = """\
# unit | public | private
platform              |          |
decode                | platform |
app                   | decode   | platform
ui                    | app      |
app/varnolt_main.cpp  |          | app ui
"""

# A clean tree: every include follows the table.
CLEAN = {
    "platform/file_io.hpp": "#pragma once\n#include <string>\n",
    "platform/file_io.cpp": '#include "platform/file_io.hpp"\n',
    "decode/reader.hpp": '#pragma once\n#include "platform/file_io.hpp"\n',
    "decode/reader.cpp": '#include "decode/reader.hpp"\n#include "local.hpp"\n',
    "app/varnolt_app.hpp": '#pragma once\n#include "decode/reader.hpp"\n',
    "app/varnolt_app.cpp": '#include "app/varnolt_app.hpp"\n#include "platform/file_io.hpp"\n',
    "app/varnolt_main.cpp": '#include "app/varnolt_app.hpp"\n#ifdef GUI\n#include "ui/start.hpp"\n#endif\n',
    "ui/start.hpp": '#pragma once\n#include <QWidget>\n#include "app/varnolt_app.hpp"\n',
    "ui/start.cpp": '#include "ui/start.hpp"\n#include <QtCore/QString>\n',
    "notes.txt": '#include "app/not_code.hpp"\n',
}


class CheckLayersTest(unittest.TestCase):
    def make_tree(self, files, table=TABLE):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        src = os.path.join(self.tmp.name, "src")
        for rel, text in {**files, "layers.txt": table}.items():
            path = os.path.join(src, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8") as out:
                out.write(text)
        return src

    def findings(self, files):
        src = self.make_tree(files)
        return check_layers.check_tree(src, check_layers.read_table(os.path.join(src, "layers.txt")))

    def test_clean_tree_passes(self):
        self.assertEqual(self.findings(CLEAN), [])

    def test_each_reach_up_is_reported_with_file_line_and_edge(self):
        cases = [
            ("decoder includes the application object",
             "decode/reader.cpp", '#include "decode/reader.hpp"\n#include "app/varnolt_app.hpp"\n',
             'src/decode/reader.cpp:2: decode -> app ("app/varnolt_app.hpp") is not allowed'),
            ("reach-up from a header, spaced directive",
             "decode/reader.hpp", '#pragma once\n  #  include "ui/start.hpp"\n',
             'src/decode/reader.hpp:2: decode -> ui ("ui/start.hpp") is not allowed'),
            ("relative path out of the folder",
             "decode/reader.cpp", '#include "../app/varnolt_app.hpp"\n',
             'src/decode/reader.cpp:1: decode -> app ("../app/varnolt_app.hpp") is not allowed'),
            ("a path that climbs back out of an allowed folder",
             "decode/reader.cpp", '#include "platform/../app/varnolt_app.hpp"\n',
             'src/decode/reader.cpp:1: decode -> app ("platform/../app/varnolt_app.hpp") is not allowed'),
            ("the lowest layer uses nothing",
             "platform/file_io.cpp", '#include "decode/reader.hpp"\n',
             "src/platform/file_io.cpp:1: platform -> decode"),
            ("Qt in the core",
             "decode/reader.cpp", '#include "decode/reader.hpp"\n#include <QString>\n',
             "src/decode/reader.cpp:2: decode -> Qt <QString>: only ui/ may include Qt"),
            ("Qt module path in the core",
             "app/varnolt_app.cpp", "#include <QtCore/qglobal.h>\n",
             "src/app/varnolt_app.cpp:1: app -> Qt <QtCore/qglobal.h>"),
            ("a private layer from a header",
             "app/varnolt_app.hpp", '#pragma once\n#include "platform/file_io.hpp"\n',
             'src/app/varnolt_app.hpp:2: app -> platform ("platform/file_io.hpp") from a header, but platform '
             "is private to app"),
            ("the main file's edge to ui is its own, not its folder's",
             "app/varnolt_app.cpp", '#include "ui/start.hpp"\n',
             'src/app/varnolt_app.cpp:1: app -> ui ("ui/start.hpp") is not allowed'),
            ("a folder the table does not know",
             "app/varnolt_app.cpp", '#include "generated/tables.hpp"\n',
             "src/app/varnolt_app.cpp:1: app -> generated"),
            ("a new folder without a row",
             "search/finder.cpp", '#include "platform/file_io.hpp"\n',
             "src/search/finder.cpp:1: search/ has no row in the layer table"),
            ("a source file outside every folder",
             "loose.cpp", "int x;\n",
             "src/loose.cpp:1: source file outside every layer folder"),
        ]
        for name, rel, text, expected in cases:
            with self.subTest(name):
                findings = self.findings({**CLEAN, rel: text})
                self.assertEqual(len(findings), 1, findings)
                self.assertTrue(findings[0].startswith(expected), findings[0])

    def test_table_errors(self):
        cases = [
            ("cycle", TABLE.replace("platform              |          |",
                                    "platform              |          | app"),
             "the layers form a cycle: app -> decode -> platform -> app"),
            ("unknown layer", TABLE + "search | platfrom |\n", "search uses platfrom, which has no folder row"),
            ("missing column", TABLE + "search | platform\n", "expected 'unit | public | private'"),
            ("second row", TABLE + "decode | | platform\n", "decode has a second row"),
            ("program with public edges", TABLE + "frontend/x_main.cpp | app |\n", "is a program"),
        ]
        for name, table, expected in cases:
            with self.subTest(name):
                src = self.make_tree(CLEAN, table)
                with self.assertRaises(check_layers.TableError) as caught:
                    check_layers.read_table(os.path.join(src, "layers.txt"))
                self.assertIn(expected, str(caught.exception))

    def test_exit_status_and_output_of_the_program(self):
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_layers.py")
        cases = [
            (CLEAN, TABLE, 0, ""),
            ({**CLEAN, "decode/reader.cpp": '#include "app/varnolt_app.hpp"\n'}, TABLE, 1,
             "src/decode/reader.cpp:1: decode -> app"),
            (CLEAN, TABLE + "bad row\n", 2, "layer table:"),
        ]
        for files, table, status, text in cases:
            with self.subTest(status=status):
                src = self.make_tree(files, table)
                run = subprocess.run([sys.executable, script, src], capture_output=True, text=True)
                self.assertEqual(run.returncode, status, run.stdout + run.stderr)
                self.assertIn(text, run.stdout + run.stderr)


if __name__ == "__main__":
    unittest.main()
