#!/usr/bin/env python3
"""Breaks the code on purpose, one place at a time, and checks that the suite notices.

Reads tools/breakages.txt (records separated by blank lines; see its head), applies each
breakage as a literal replacement, rebuilds only the named targets, runs the named tests
and restores the file whatever happens. Prints a Markdown table.
"""
import os
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BACKUP_SUFFIX = ".breakage-orig"


def unescape(text):
    """In a snippet "\\n" stands for a line break, "\\t" for a tab and "\\\\" for a backslash."""
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"n": "\n", "t": "\t"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def parse(path):
    records, current = [], {}
    for raw in open(path, encoding="utf-8"):
        line = raw.rstrip("\n")
        if line.startswith("#"):
            continue
        if not line.strip():
            if current:
                records.append(current)
            current = {}
            continue
        key, _, value = line.partition(":")
        value = value[1:] if value.startswith(" ") else value
        if key in ("from", "to"):
            value = unescape(value)
        current[key.strip()] = value
    if current:
        records.append(current)
    return records


class Restorer:
    """Puts the original file back, also on Ctrl-C or a kill."""

    def __init__(self, path, text):
        self.path, self.text = path, text
        with open(path + BACKUP_SUFFIX, "w", encoding="utf-8") as f:
            f.write(text)

    def restore(self):
        with open(self.path, "w", encoding="utf-8") as f:
            f.write(self.text)
        os.remove(self.path + BACKUP_SUFFIX)


def run(cmd, timeout):
    try:
        p = subprocess.run(cmd, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           text=True, timeout=timeout)
        return p.returncode, p.stdout
    except subprocess.TimeoutExpired as e:
        return -1, (e.stdout or b"").decode(errors="replace") if isinstance(e.stdout, bytes) else (e.stdout or "")


def failing_tests(output):
    names, in_list = [], False
    for line in output.splitlines():
        if "The following tests FAILED" in line:
            in_list = True
            continue
        if in_list:
            m = re.match(r"\s*\d+ - (.+) \([^)]*\)\s*$", line) or re.match(r"\s*\d+ - (\S+)", line)
            if m:
                # A parameterised row without a printer is named by its bytes: keep the test's name.
                names.append(re.sub(r"(  # GetParam\(\).*| object <.*)$", "", m.group(1)))
            elif line.strip() and not line.startswith("\t"):
                in_list = False
    return names


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    data = sys.argv[2] if len(sys.argv) > 2 else os.path.join(ROOT, "tools", "breakages.txt")
    only = set(sys.argv[3:])
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(130))

    by_id = {}
    for rec in parse(data):
        by_id.setdefault(rec["id"], []).append(rec)
    rows = []
    for ident, alternatives in by_id.items():
        if only and ident not in only:
            continue
        chosen, text = None, None
        for rec in alternatives:
            path = os.path.join(ROOT, rec["file"])
            if os.path.exists(path):
                content = open(path, encoding="utf-8").read()
                if content.count(rec["from"]) == 1:
                    chosen, text = rec, content
                    break
        kind = alternatives[0].get("kind", "")
        if not chosen:
            rows.append((ident, kind, alternatives[0]["file"], "DOES NOT APPLY", "snippet not found once"))
            print(f"{ident}: DOES NOT APPLY", file=sys.stderr, flush=True)
            continue
        path = os.path.join(ROOT, chosen["file"])
        restorer = Restorer(path, text)
        started = time.time()
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write(text.replace(chosen["from"], chosen["to"]))
            code, out = run(["cmake", "--build", build, "--target", *chosen["targets"].split()], 1200)
            if code != 0:
                rows.append((ident, kind, chosen["file"], "BUILD FAILED", out.strip().splitlines()[-1:]))
                continue
            code, out = run(["ctest", "--test-dir", build, "-R", chosen["tests"], "-j2",
                             "--timeout", "300"], 1800)
            failed = failing_tests(out)
            if "No tests were found" in out:
                rows.append((ident, kind, chosen["file"], "NO TESTS", chosen["tests"]))
            elif failed or code != 0:
                rows.append((ident, kind, chosen["file"], "CAUGHT", ", ".join(dict.fromkeys(failed)) or "ctest failed"))
            else:
                rows.append((ident, kind, chosen["file"], "MISSED", ""))
        finally:
            restorer.restore()
        print(f"{ident}: {rows[-1][3]} ({time.time() - started:.0f} s)", file=sys.stderr, flush=True)

    print("| id | kind | file | result | failing tests |")
    print("|---|---|---|---|---|")
    for ident, kind, file, result, tests in rows:
        print(f"| {ident} | {kind} | {file} | {result} | {tests} |")
    caught = sum(1 for r in rows if r[3] == "CAUGHT")
    print(f"\n{caught} of {len(rows)} caught.")
    return 0 if caught == len(rows) else 1


if __name__ == "__main__":
    sys.exit(main())
