#!/usr/bin/env python3
"""Fails when a source under the given folder is longer than its limit of
lines or holds a function (with the lambdas inside it) longer than its limit.

    check-sizes.py [--file-lines N] [--function-lines N] FOLDER...

A function's length runs from the line of its opening brace to the line of
its closing one. Comments, strings and preprocessor lines are passed over.
"""
import argparse
import pathlib
import re
import sys

SCOPE = re.compile(r"^\s*(template\s*<.*>\s*)?(namespace|class|struct|union|enum|extern\s+\"C\")\b")


def strip(text):
    """The code without comments, string and character literals and
    preprocessor lines; line breaks stay where they were."""
    out, i, n = [], 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c == "#":
            while i < n and text[i] != "\n":
                if text[i] == "\\" and i + 1 < n and text[i + 1] == "\n":
                    out.append("\n")
                    i += 2
                    continue
                i += 1
            continue
        if c == "\n":
            line_start = True
            out.append(c)
            i += 1
            continue
        if not c.isspace():
            line_start = False
        if text.startswith("//", i):
            while i < n and text[i] != "\n":
                i += 1
            continue
        if text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append("\n" * text.count("\n", i, end))
            i = end
            continue
        raw = re.match(r'(?:u8|[uUL])?R"([^(]*)\(', text[i:i + 40])
        if raw:
            end = text.find(")" + raw.group(1) + '"', i)
            end = n if end < 0 else end + len(raw.group(1)) + 2
            out.append('""' + "\n" * text.count("\n", i, end))
            i = end
            continue
        if c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(c + c)
            i = j + 1
            continue
        out.append(c)
        i += 1
    return "".join(out)


def functions(code):
    """(first line, last line, head) of every function body at namespace or
    class level."""
    found = []
    stack = []  # "decl" (namespace, class), "data" (an initializer), or "body"
    head_start = 0
    line = 1
    body_open = None
    for i, c in enumerate(code):
        if c == "\n":
            line += 1
            continue
        in_decl = not stack or stack[-1] == "decl"
        if c in ";}" and in_decl:
            head_start = i + 1
        if c == "{":
            if not in_decl:
                stack.append("body" if "body" in stack else "data")
                continue
            head = code[head_start:i]
            flat = " ".join(head.split())
            head_start = i + 1
            if SCOPE.match(flat) or not flat or flat.endswith(":"):
                stack.append("decl")
            elif "(" in flat and ("operator" in flat or "=" not in re.sub(r"\([^()]*\)", "", flat)):
                stack.append("body")
                body_open = (line, flat)
            else:
                stack.append("data")
        elif c == "}" and stack:
            kind = stack.pop()
            if kind == "body" and "body" not in stack:
                found.append((body_open[0], line, body_open[1]))
            if not stack or stack[-1] == "decl":
                head_start = i + 1
        elif c == ":" and in_decl and re.search(r"\b(public|private|protected)\s*$", code[head_start:i]):
            head_start = i + 1
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--file-lines", type=int, default=320)
    parser.add_argument("--function-lines", type=int, default=60)
    parser.add_argument("folders", nargs="+")
    args = parser.parse_args()
    problems = []
    files = 0
    for folder in args.folders:
        for path in sorted(pathlib.Path(folder).rglob("*")):
            if path.suffix not in (".cpp", ".h", ".c"):
                continue
            files += 1
            text = path.read_text(encoding="utf-8")
            lines = text.count("\n") + (0 if text.endswith("\n") else 1)
            if lines > args.file_lines:
                problems.append(f"{path}: {lines} lines (at most {args.file_lines})")
            for first, last, head in functions(strip(text)):
                if last - first + 1 > args.function_lines:
                    name = re.sub(r"\s*\(.*", "", head).split(" ")[-1]
                    problems.append(f"{path}:{first}: {name} has {last - first + 1} lines "
                                    f"(at most {args.function_lines})")
    for p in problems:
        print(p)
    if problems:
        sys.exit(f"{len(problems)} sizes over their limits in {files} files")
    print(f"{files} files, none over {args.file_lines} lines, no function over {args.function_lines}")


if __name__ == "__main__":
    main()
