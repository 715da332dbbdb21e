"""Every python file of the tests names the version of each introspected library it imports. One
left unnamed loads the newest installed: where GTK 4's introspection data is installed (any GNOME
desktop) an unnamed Gdk is Gdk 4, Gtk 3 then refuses to load, and the helper dies before it shows
its window."""
import ast
import os
import unittest

TESTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")


def unnamed_versions(source):
    """The namespaces a file imports from gi.repository without gi.require_version for them."""
    imported, named = set(), set()
    for node in ast.walk(ast.parse(source)):
        if isinstance(node, ast.ImportFrom) and node.module == "gi.repository":
            imported |= {alias.name for alias in node.names}
        elif (isinstance(node, ast.Call) and getattr(node.func, "attr", None) == "require_version" and node.args
              and isinstance(node.args[0], ast.Constant)):
            named.add(node.args[0].value)
    return sorted(imported - named)


class GiVersionsTest(unittest.TestCase):
    def test_every_imported_namespace_has_its_version_named(self):
        unnamed = {}
        for directory, _, names in os.walk(TESTS):
            for name in filter(lambda n: n.endswith(".py"), names):
                with open(os.path.join(directory, name)) as f:
                    missing = unnamed_versions(f.read())
                if missing:
                    unnamed[os.path.relpath(os.path.join(directory, name), TESTS)] = missing
        self.assertEqual(unnamed, {})


if __name__ == "__main__":
    unittest.main(verbosity=2)
