#!/usr/bin/env python3
"""Checks that the manual pages and the completion describe the command and header as built.

  * both pages render without a single warning (man --warnings);
  * kestrel(1) names every subcommand of `kestrel --help` and every exit status of
    cli/exit_status.h, and every option the bash completion offers;
  * the completion offers every subcommand, and every option of a subcommand's --help;
  * kestrel(3) names every function kestrel.h declares.
Usage: check_docs.py SOURCE_DIR KESTREL_COMMAND
"""
import os
import re
import subprocess
import sys

source, command = sys.argv[1:]
failures = []


def read(*parts):
    return open(os.path.join(source, *parts), encoding="utf-8").read()


def plain(page):
    """The page's text without escapes, so "\\-\\-floppy" reads "--floppy"."""
    return re.sub(r"\\f[BIRP]", "", page).replace("\\-", "-").replace("\\e", "\\")


for page in ("kestrel.1", "kestrel.3"):
    run = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8",
                          os.path.join(source, "man", page)],
                         capture_output=True, text=True, env={**os.environ, "MANPAGER": "cat"})
    if run.returncode != 0 or run.stderr:
        failures.append(f"{page}: man reports {run.returncode}: {run.stderr.strip()}")

page1, page3 = plain(read("man", "kestrel.1")), plain(read("man", "kestrel.3"))
completion = read("completion", "kestrel")
help_text = subprocess.run([command, "--help"], capture_output=True, text=True).stdout
subcommands = re.findall(r"^  (\w+) ", help_text, re.M)
if not subcommands:
    failures.append("kestrel --help lists no subcommands")
commands_line = re.search(r'local commands="([^"]*)"', completion)
offered = set(commands_line.group(1).split()) if commands_line else set()
for name in subcommands:
    if not re.search(rf"^\.(B|TP)\s.*\b{name}\b|^\.B {name}\b", read("man", "kestrel.1"), re.M):
        failures.append(f"kestrel(1) has no entry for the subcommand {name}")
    if name not in offered:
        failures.append(f"the completion does not offer the subcommand {name}")

offered_options = " ".join(re.findall(r'options="([^"]*)"', completion)).split()
# The levels -0 to -9 are described together.
offered_options = {"-0 ... -9" if re.fullmatch(r"-[0-9]", o) else o for o in offered_options}
for option in sorted(offered_options):
    if not re.search(rf"(?<![\w-]){re.escape(option)}(?![\w-])", page1):
        failures.append(f"kestrel(1) does not describe the option {option}")

# Every option a subcommand's --help lists is offered by the completion and described in
# kestrel(1).
for name in subcommands:
    run = subprocess.run([command, name, "--help"], capture_output=True, text=True)
    if run.returncode != 0:
        continue  # a subcommand without options of its own
    case = re.search(rf"^\s*{name}\) options=\"([^\"]*)\"", completion, re.M)
    completed = set(case.group(1).split()) if case else set()
    for spec in re.findall(r"^  (-\S.*?)(?:\s{2,}|$)", run.stdout, re.M):
        for option in re.findall(r"(?<![\w-])(--?[A-Za-z@][\w-]*|-[0-9])", spec):
            if option not in completed:
                failures.append(f"the completion does not offer {name} {option}")
            if not re.fullmatch(r"-[0-9]", option) and not re.search(
                    rf"(?<![\w-]){re.escape(option)}(?![\w-])", page1):
                failures.append(f"kestrel(1) does not describe {name} {option}")

statuses = re.findall(r"= (\d+),?\s*//", read("cli", "exit_status.h"))
section = page1.split(".SH EXIT STATUS", 1)[-1].split(".SH", 1)[0]
for status in statuses:
    if not re.search(rf"^\.B {status}$", section, re.M):
        failures.append(f"kestrel(1) does not list the exit status {status}")

header = re.sub(r"/\*.*?\*/", "", read("include", "kestrel.h"), flags=re.S)
header = re.sub(r"^#.*$", "", header, flags=re.M)
for function in re.findall(r"\bKESTREL_API\b[^;(]*?\b(\w+)\s*\(", header):
    if not re.search(rf"\b{function}\b", page3):
        failures.append(f"kestrel(3) does not describe {function}")

for failure in failures:
    print("FAIL: " + failure)
sys.exit(1 if failures else 0)
