"""Every program's command line: --version names the project's version, and a command line the
program cannot take ends it with status 2 and a message that says what is wrong; and without a
session bus widgetctl's commands say that no widget host runs (status 3). Nothing here needs a bus."""
import os
import subprocess
import unittest

BIN_DIR = os.environ["WIDGET_HOST_BIN_DIR"]
VERSION = os.environ["KELVO_PROJECT_VERSION"]
PROGRAMS = ["widget-host", "widget-render", "widget-gallery", "kelvo-app", "widgetctl"]

# program, arguments, a word the message must name
USAGE_ERRORS = [
    ("widget-host", ["--nosuch"], "--nosuch"),
    ("widget-host", ["--scale", "99"], "--scale"),
    ("widget-render", [], "extension"),
    ("widget-render", ["KelvoWidget", "--family", "huge"], "huge"),
    ("widget-gallery", ["--appearance", "purple"], "purple"),
    ("kelvo-app", ["--ledger"], "--ledger"),
    ("kelvo-app", ["not-a-link"], "not-a-link"),
    ("widgetctl", [], "subcommand"),
    ("widgetctl", ["frobnicate"], "frobnicate"),
    ("widgetctl", ["place"], "KIND"),
    ("widgetctl", ["render", "1", "--out", "/dev/null"], "/dev/null"),
]

# widgetctl's subcommands that need the host, with no session bus at all
NO_HOST = [["kinds"], ["gallery"], ["list"]]


def run(program, args):
    return subprocess.run([os.path.join(BIN_DIR, program)] + args, capture_output=True, text=True, timeout=60,
                          env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent"))


class CommandLineTest(unittest.TestCase):
    def test_every_program_answers_version(self):
        for program in PROGRAMS:
            with self.subTest(program=program):
                result = run(program, ["--version"])
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stdout.strip(), "%s %s" % (program, VERSION))

    def test_usage_errors_exit_2_and_say_what_is_wrong(self):
        for program, args, named in USAGE_ERRORS:
            with self.subTest(program=program, args=args):
                result = run(program, args)
                self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
                self.assertIn(named, result.stderr)

    def test_widgetctl_without_a_host_exits_3(self):
        for args in NO_HOST:
            with self.subTest(args=args):
                result = run("widgetctl", args)
                self.assertEqual(result.returncode, 3, result.stdout + result.stderr)
                self.assertIn("no widget host", result.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)
