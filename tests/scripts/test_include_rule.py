"""Tests of scripts/check-include-rule: what it lets a folder include, and that the sources keep
the rule."""

import importlib.machinery
import importlib.util
import os
import subprocess
import sys
import tempfile
import unittest

SOURCE_DIR = os.environ.get("TANDREL_SOURCE_DIR",
                            os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
SCRIPT = os.path.join(SOURCE_DIR, "scripts", "check-include-rule")


def load_rule():
    loader = importlib.machinery.SourceFileLoader("check_include_rule", SCRIPT)
    spec = importlib.util.spec_from_loader("check_include_rule", loader)
    module = importlib.util.module_from_spec(spec)
    loader.exec_module(module)
    return module


RULE = load_rule()


class IncludeRuleTest(unittest.TestCase):
    def test_which_includes_break_the_rule(self):
        cases = [
            # (including file, included header, breaks the rule)
            ("island/island_view.cpp", "island/inbox_layout.h", False),
            ("island/island_view.cpp", "events/event_store.h", False),
            ("island/island_view.cpp", "ui/settings_model.h", False),
            ("island/island_view.cpp", "pets/pet_avatar.h", False),
            ("app/overlay_controller.cpp", "island/tandrel_view.h", False),
            ("selfcheck/checks/pet_sync_checks.cpp", "app/overlay_controller.h", False),
            ("settings/pages/sounds_page.cpp", "sounds/view_sounds.h", False),
            ("island/tandrel_view.cpp", "settings/settings_panel.h", False),
            ("island/island_view.cpp", "settings/settings_panel.h", True),
            ("settings/pages/sounds_page.cpp", "island/tandrel_view.h", True),
            ("ui/paint.cpp", "pets/pet_avatar.h", True),
            ("pets/pet_rail.cpp", "sounds/view_sounds.h", True),
            ("companion/companion_view.cpp", "settings/settings_panel.h", True),
            ("events/event_store.cpp", "ui/settings_model.h", True),
            ("usage/usage_snapshot.cpp", "island/usage_header.h", True),
            ("island/island_view.cpp", "gadgets/widget.h", True),
        ]
        for source, included, breaks in cases:
            with self.subTest(source=source, included=included):
                self.assertEqual(RULE.breach(source, included) is not None, breaks)

    def test_a_tree_with_a_breach_is_reported_with_its_line(self):
        with tempfile.TemporaryDirectory() as root:
            os.makedirs(os.path.join(root, "pets"))
            with open(os.path.join(root, "pets", "pet.cpp"), "w", encoding="utf-8") as file:
                file.write('#include "pets/pet.h"\n#include <QString>\n#include "island/tandrel_view.h"\n')
            run = subprocess.run([sys.executable, SCRIPT, root], capture_output=True, text=True, check=False)
            self.assertEqual(run.returncode, 1)
            self.assertIn("pets/pet.cpp:3: island/tandrel_view.h", run.stdout)
            self.assertIn("1 include lines break the rule", run.stdout)

    def test_the_sources_keep_the_rule(self):
        found = RULE.violations(os.path.join(SOURCE_DIR, "src"))
        self.assertEqual(found, [], "\n".join(found))


if __name__ == "__main__":
    unittest.main()
