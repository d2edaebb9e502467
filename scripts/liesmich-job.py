#!/usr/bin/env python3
"""Prints the shell commands of one step of LIESMICH's GitHub Linux jobs
("Bauen" or "Prüfen") as they stand, for the archive check to run them on a
repository like an author's. Package installation (lines with sudo) is left
to the machine. With --bits 64 the lines take the 64-bit archive and
compiler."""
import argparse
import re
import sys

parser = argparse.ArgumentParser()
parser.add_argument("liesmich")
parser.add_argument("step", choices=("Bauen", "Prüfen"))
parser.add_argument("--bits", choices=("32", "64"), default="32")
args = parser.parse_args()

text = open(args.liesmich, encoding="utf-8").read()
workflow = text[text.index("GitHub Actions, .github/workflows/plugin.yml"):
                text.index("GitLab CI, .gitlab-ci.yml")]
commands = []
# The step's "run: |" block: every line indented deeper than "run:".
match = re.search(r"^( *)- name: " + args.step + r"\n\1  run: \|\n((?:\1    .*\n)+)", workflow, re.M)
if not match:
    sys.exit(f"LIESMICH has no GitHub step \"{args.step}\" with a run block")
for line in match.group(2).splitlines():
    line = line.strip()
    if line.startswith("sudo "):
        continue
    if args.bits == "64":
        line = line.replace("-win32", "-win64").replace("i686-w64-mingw32", "x86_64-w64-mingw32")
    commands.append(line)
if args.step == "Prüfen" and not any("dllscope-check.exe" in c for c in commands):
    sys.exit("the GitHub step \"Prüfen\" runs no dllscope-check.exe")
print("\n".join(commands))
