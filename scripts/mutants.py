#!/usr/bin/env python3
"""Mutation testing for this repository; scripts/mutants is the entry point.

Each mutant is one small edit of a library source (a flipped comparison, a swapped
logical operator or boolean return, +1/-1 swapped, a deleted break or call
statement). The tool builds it in build/mutants (the linux-x64 configuration),
runs the suites that can see the folder, and records whether they failed
(killed), passed (survived) or the edit did not compile. Results go to a file as
they come, so an interrupted run resumes where it stopped.
"""

import argparse
import base64
import fcntl
import hashlib
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build", "mutants")
PENDING = os.path.join(BUILD, "pending-restore.json")
DEFAULT_RESULTS = os.path.join(BUILD, "results.tsv")

# Suites that link a folder's library, in the order they run: the folder's own
# suite first (the likeliest to kill), then the folders built on top of it. A suite
# is a ctest name; the targets are what it needs built.
SUITE_TARGETS = {
    "platform": ["pzl_platform_tests"],
    "log": ["pzl_log_tests"],
    "binding": ["pzl_binding_tests"],
    "formats": ["pzl_formats_tests"],
    "runtime": ["pzl_runtime_tests"],
    "api": ["pzl_api_tests"],
    "plugin": ["pzl_plugin_tests"],
    "plugin_exports": ["pzl_plugin_library"],
    "sample_api": ["pzl_sample_api_tests"],
    "host": ["pzl_host_tests"],
    "host-serve": ["pzl_serve_tests"],
    "pzl-parse-json": ["pzl-parse"],
    "pzl-parse-yaml": ["pzl-parse"],
    "pzl-parse-reject-message": ["pzl-parse"],
}
FOLDER_SUITES = {
    "platform": ["platform", "log", "binding", "formats", "runtime", "api", "plugin", "sample_api"],
    "log": ["log", "binding", "formats", "runtime", "api", "plugin", "sample_api"],
    "binding": ["binding", "formats", "runtime", "api", "plugin", "sample_api"],
    "formats": ["formats", "pzl-parse-json", "pzl-parse-yaml", "pzl-parse-reject-message",
                "runtime", "api", "plugin", "sample_api"],
    "runtime": ["runtime", "api", "plugin", "sample_api", "host"],
    "api": ["api", "sample_api", "host"],
    "plugin": ["plugin", "plugin_exports", "host"],
    "sample-api": ["sample_api", "host"],
    # pzl-host first; the stand-in host also serves the runtime and plugin suites.
    "tools": ["host", "host-serve", "runtime", "plugin", "pzl-parse-json", "pzl-parse-yaml",
              "pzl-parse-reject-message"],
}

KEYWORDS = {"return", "if", "while", "for", "switch", "case", "delete", "throw", "goto",
            "else", "do", "sizeof", "static_assert", "new", "co_return", "co_await",
            "co_yield", "using", "typedef", "decltype", "alignof", "noexcept", "catch"}


class Interrupted(Exception):
    pass


STOPPING = False


def on_signal(signum, _frame):
    global STOPPING
    STOPPING = True
    raise Interrupted(f"signal {signum}")


# ---------------------------------------------------------------- source scanning

def token_before(text, i):
    """The identifier or number characters right before position i."""
    j = i
    while j > 0 and (text[j - 1].isalnum() or text[j - 1] in "_'"):
        j -= 1
    return text[j:i]


def code_mask(text):
    """The text with comments, string and character literals and preprocessor
    lines blanked out (newlines kept), so operators are only found in code."""
    out = list(text)
    n = len(text)
    i = 0

    def blank(a, b):
        for k in range(a, b):
            if out[k] != "\n":
                out[k] = " "

    while i < n:
        c = text[i]
        nxt = text[i + 1] if i + 1 < n else ""
        if c == "/" and nxt == "/":
            j = text.find("\n", i)
            j = n if j < 0 else j
            blank(i, j)
            i = j
        elif c == "/" and nxt == "*":
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            blank(i, j)
            i = j
        elif c == '"' and token_before(text, i) in ("R", "u8R", "uR", "UR", "LR"):
            p = text.find("(", i)
            delim = text[i + 1:p]
            j = text.find(")" + delim + '"', p)
            j = n if j < 0 else j + len(delim) + 2
            blank(i, j)
            i = j
        elif c == '"' or (c == "'" and not token_before(text, i)[:1].isdigit()):
            # A quote inside a number (1'000, 0xFF'FF) separates digits.
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            blank(i, j)
            i = j
        else:
            i += 1
    masked = "".join(out)
    # Preprocessor lines, with their continuations.
    lines = masked.split("\n")
    raw = text.split("\n")
    in_directive = False
    for k, line in enumerate(lines):
        if in_directive or line.lstrip().startswith("#"):
            in_directive = raw[k].rstrip().endswith("\\")
            lines[k] = " " * len(line)
    return "\n".join(lines)


OPERATOR = re.compile(r"(?<= )(<=|>=|==|!=|<|>|&&|\|\|)(?= )")
FLIP = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==", "&&": "||", "||": "&&"}
BOOL_RETURN = re.compile(r"\breturn (true|false);")
PLUS_MINUS_ONE = re.compile(r"(?<= )([+-]) 1(?![\w.'])")
BREAK = re.compile(r"\bbreak;")
CALL = re.compile(r"^((?:[A-Za-z_]\w*(?:::|\.|->))*([A-Za-z_]\w*)(?:<[\w:, ]*>)?)\s*\(.*\)\s*;$")


def matching_paren_closes_at_end(stmt):
    depth = 0
    for k, ch in enumerate(stmt):
        if ch == "(":
            depth += 1
        elif ch == ")":
            depth -= 1
            if depth == 0:
                return stmt[k + 1:].strip() == ";"
    return False


def candidates(path, text):
    """Every mutant of one file: (offset, length, replacement, kind)."""
    masked = code_mask(text)
    found = []
    offset = 0
    previous_code = ""
    for line in masked.split("\n"):
        for m in OPERATOR.finditer(line):
            op = m.group(1)
            found.append((offset + m.start(), len(op), FLIP[op], f"{op} -> {FLIP[op]}"))
        for m in BOOL_RETURN.finditer(line):
            other = "false" if m.group(1) == "true" else "true"
            found.append((offset + m.start(1), len(m.group(1)), other, f"return {m.group(1)} -> {other}"))
        for m in PLUS_MINUS_ONE.finditer(line):
            other = "-" if m.group(1) == "+" else "+"
            found.append((offset + m.start(1), 1, other, f"{m.group(1)} 1 -> {other} 1"))
        for m in BREAK.finditer(line):
            found.append((offset + m.start(), len("break;"), ";", "break deleted"))
        stmt = line.strip()
        m = CALL.match(stmt)
        # A whole call statement on one line, not the continuation of another one.
        if (m and m.group(2) not in KEYWORDS and matching_paren_closes_at_end(stmt)
                and not stmt.startswith(("return", "co_return"))
                and (previous_code == "" or previous_code[-1] in ";{}:)" or previous_code.endswith("else"))):
            start = offset + line.index(stmt)
            found.append((start, len(stmt), ";", "call deleted"))
        if stmt:
            previous_code = stmt
        offset += len(line) + 1
    return found


def source_files(folder, headers):
    """The folder's sources the linux-x64 build compiles (and, on request, its headers)."""
    db = os.path.join(BUILD, "compile_commands.json")
    with open(db) as f:
        compiled = {os.path.realpath(e["file"]) for e in json.load(f)}
    files = []
    base = os.path.join(ROOT, folder)
    for dirpath, _dirs, names in os.walk(base):
        for name in names:
            full = os.path.join(dirpath, name)
            if (name.endswith(".cpp") and os.path.realpath(full) in compiled) or (headers and name.endswith(".h") and "windows" not in full.split(os.sep)):
                files.append(os.path.relpath(full, ROOT))
    return sorted(files)


def original_text(rel):
    """A file's text, as it is without the mutant a running run may have applied."""
    try:
        with open(PENDING) as f:
            record = json.load(f)
        if record["file"] == rel:
            return base64.b64decode(record["content"]).decode("utf-8")
    except (FileNotFoundError, ValueError):
        pass
    with open(os.path.join(ROOT, rel), encoding="utf-8") as f:
        return f.read()


def select(folder, count, seed, headers):
    all_mutants = []
    for rel in source_files(folder, headers):
        text = original_text(rel)
        digest = hashlib.sha1(text.encode()).hexdigest()
        for off, length, repl, kind in candidates(rel, text):
            line_no = text.count("\n", 0, off) + 1
            line_start = text.rfind("\n", 0, off) + 1
            line_end = text.find("\n", off)
            line_end = len(text) if line_end < 0 else line_end
            original = text[line_start:line_end]
            mutated = text[line_start:off] + repl + text[off + length:line_end]
            if kind.endswith("deleted"):
                mutated = f"{text[line_start:off].strip()} /* deleted: {text[off:off + length]} */ {text[off + length:line_end].strip()}"
            key = hashlib.sha1(f"{rel}:{digest}:{off}:{length}:{repl}".encode()).hexdigest()[:12]
            all_mutants.append({"key": key, "folder": folder, "file": rel, "line": line_no,
                                "offset": off, "length": length, "replacement": repl, "kind": kind,
                                "original": original.strip(), "mutated": mutated.strip(), "digest": digest})
    rng = random.Random(f"{seed}/{folder}")
    chosen = rng.sample(all_mutants, min(count, len(all_mutants)))
    for rank, m in enumerate(chosen):
        m["rank"] = rank
    chosen.sort(key=lambda m: (m["file"], m["offset"]))
    return chosen, len(all_mutants)


# ---------------------------------------------------------------- file handling

def restore_pending():
    """Puts back a file a previous run left mutated (killed before it could)."""
    if not os.path.exists(PENDING):
        return
    with open(PENDING) as f:
        record = json.load(f)
    with open(os.path.join(ROOT, record["file"]), "wb") as f:
        f.write(base64.b64decode(record["content"]))
    os.remove(PENDING)
    print(f"restored {record['file']} left mutated by an earlier run", file=sys.stderr)


class Mutated:
    """The mutant applied for the length of a with-block; the original comes back on
    every way out, and a record on disk covers a kill the process cannot catch."""

    def __init__(self, mutant):
        self.mutant = mutant
        self.path = os.path.join(ROOT, mutant["file"])

    def __enter__(self):
        with open(self.path, "rb") as f:
            self.original = f.read()
        text = self.original.decode("utf-8")
        if hashlib.sha1(text.encode()).hexdigest() != self.mutant["digest"]:
            raise RuntimeError(f"{self.mutant['file']} changed since the mutants were chosen")
        m = self.mutant
        mutated = text[:m["offset"]] + m["replacement"] + text[m["offset"] + m["length"]:]
        with open(PENDING + ".tmp", "w") as f:
            json.dump({"file": m["file"], "content": base64.b64encode(self.original).decode()}, f)
        os.replace(PENDING + ".tmp", PENDING)
        with open(self.path, "w", encoding="utf-8") as f:
            f.write(mutated)
        return self

    def __exit__(self, *exc):
        with open(self.path, "wb") as f:
            f.write(self.original)
        os.remove(PENDING)
        return False


# ---------------------------------------------------------------- build and test

def build(targets, log):
    cmd = ["cmake", "--build", BUILD, "-j2", "--target", *targets]
    proc = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, cwd=ROOT, text=True, errors="replace")
    log.write(proc.stdout)
    if proc.returncode != 0 and (proc.returncode < 0 or "build stopped: interrupted" in proc.stdout):
        # A build stopped by a signal says nothing about the mutant.
        raise Interrupted("build interrupted")
    return proc.returncode == 0


def run_suite(suite, timeout, log):
    """'pass', 'fail' or 'timeout'."""
    env = dict(os.environ, GTEST_FAIL_FAST="1")
    cmd = ["ctest", "--test-dir", BUILD, "-R", f"^{re.escape(suite)}$", "--timeout", str(timeout),
           "--stop-on-failure", "--output-on-failure"]
    proc = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env, cwd=ROOT,
                          text=True, errors="replace")
    log.write(proc.stdout)
    if proc.returncode < 0:
        raise Interrupted("test run interrupted")
    if proc.returncode == 0:
        if "No tests were found" in proc.stdout:
            raise RuntimeError(f"no ctest entry {suite}")
        return "pass"
    return "timeout" if "Timeout" in proc.stdout else "fail"


def measure_suites(suites, log):
    """Builds and runs the unmutated suites once: they must pass, or every mutant
    would look killed; their times set each suite's timeout."""
    times = {}
    for suite in suites:
        if not build(SUITE_TARGETS[suite], log):
            sys.exit(f"mutants: the unmutated build of {suite} fails (see {log.name})")
        start = time.monotonic()
        if run_suite(suite, 600, log) != "pass":
            sys.exit(f"mutants: the unmutated suite {suite} fails (see {log.name})")
        times[suite] = time.monotonic() - start
    return times


def test_mutant(mutant, timeouts, log):
    """(status, detail, seconds)."""
    start = time.monotonic()
    with Mutated(mutant):
        for suite in FOLDER_SUITES[mutant["folder"]]:
            if not build(SUITE_TARGETS[suite], log):
                return "not compiling", "", time.monotonic() - start
            outcome = run_suite(suite, timeouts[suite], log)
            if outcome != "pass":
                return "killed", f"{suite}{' (timeout)' if outcome == 'timeout' else ''}", time.monotonic() - start
    return "survived", "", time.monotonic() - start


# ---------------------------------------------------------------- results

FIELDS = ["key", "status", "detail", "seconds", "folder", "file", "line", "kind", "original", "mutated"]


def load_results(path):
    results = {}
    if path and os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            for line in f:
                parts = line.rstrip("\n").split("\t")
                if len(parts) == len(FIELDS):
                    results[parts[0]] = dict(zip(FIELDS, parts))
    return results


def append_result(path, row):
    with open(path, "a", encoding="utf-8") as f:
        f.write("\t".join(str(row[k]).replace("\t", " ") for k in FIELDS) + "\n")


def report(selection, results, args, totals):
    out = []
    out.append(f"Mutation testing: seed {args.seed}, {args.count} mutants per folder"
               f"{' (headers included)' if args.headers else ''}, linux-x64")
    out.append("Score: killed / (killed + survived); mutants that do not compile are left out.")
    out.append("")
    out.append(f"{'folder':<12}{'candidates':>11}{'mutants':>9}{'killed':>8}{'survived':>10}"
               f"{'not compiling':>15}{'pending':>9}{'score':>8}")
    all_counts = {"mutants": 0, "killed": 0, "survived": 0, "not compiling": 0, "pending": 0}
    for folder, chosen in selection.items():
        counts = {"killed": 0, "survived": 0, "not compiling": 0, "pending": 0}
        for m in chosen:
            counts[results[m["key"]]["status"] if m["key"] in results else "pending"] += 1
        judged = counts["killed"] + counts["survived"]
        score = f"{100.0 * counts['killed'] / judged:.1f}%" if judged else "-"
        out.append(f"{folder:<12}{totals[folder]:>11}{len(chosen):>9}{counts['killed']:>8}{counts['survived']:>10}"
                   f"{counts['not compiling']:>15}{counts['pending']:>9}{score:>8}")
        all_counts["mutants"] += len(chosen)
        for k in counts:
            all_counts[k] += counts[k]
    judged = all_counts["killed"] + all_counts["survived"]
    score = f"{100.0 * all_counts['killed'] / judged:.1f}%" if judged else "-"
    out.append(f"{'all':<12}{sum(totals.values()):>11}{all_counts['mutants']:>9}{all_counts['killed']:>8}"
               f"{all_counts['survived']:>10}{all_counts['not compiling']:>15}{all_counts['pending']:>9}{score:>8}")
    out.append("")
    out.append("Survivors:")
    for chosen in selection.values():
        for m in chosen:
            r = results.get(m["key"])
            if r and r["status"] == "survived":
                out.append(f"  {m['key']}  {m['file']}:{m['line']}  [{m['kind']}]  {m['mutated']}")
    if args.list:
        out.append("")
        out.append("Every mutant (key, status, where, what, killing suite):")
        for chosen in selection.values():
            for m in chosen:
                r = results.get(m["key"])
                status = r["status"] if r else "pending"
                detail = f"  <- {r['detail']}" if r and r["detail"] else ""
                out.append(f"  {m['key']}  {status:<13} {m['file']}:{m['line']}  [{m['kind']}]  {m['mutated']}{detail}")
    return "\n".join(out) + "\n"


# ---------------------------------------------------------------- main

def main():
    parser = argparse.ArgumentParser(prog="scripts/mutants", description=__doc__.split("\n\n")[0])
    parser.add_argument("--folders", default="plugin,api,runtime,formats,log",
                        help="comma-separated source folders (default: %(default)s)")
    parser.add_argument("--count", type=int, default=40, help="mutants per folder (default: %(default)s)")
    parser.add_argument("--seed", default="1", help="selection seed (default: %(default)s)")
    parser.add_argument("--headers", action="store_true", help="mutate headers too (slow: many files rebuild)")
    parser.add_argument("--results", default=DEFAULT_RESULTS, help="results file, read to resume (default: %(default)s)")
    parser.add_argument("--rerun-survivors", action="store_true", help="test the recorded survivors again")
    parser.add_argument("--only", default="", help="comma-separated mutant keys: test just these (again)")
    parser.add_argument("--report", action="store_true", help="print the report from the results file, run nothing")
    parser.add_argument("--list", action="store_true", help="list every mutant in the report, not only survivors")
    parser.add_argument("--output", help="also write the report to this file")
    parser.add_argument("--restore", action="store_true", help="put back a file a killed run left mutated, then exit")
    args = parser.parse_args()

    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, on_signal)
    os.makedirs(BUILD, exist_ok=True)
    # One run at a time per build tree; a report can be read while one runs.
    lock = open(os.path.join(BUILD, "lock"), "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        locked = True
    except BlockingIOError:
        locked = False
    if locked:
        restore_pending()
    if args.restore:
        return 0
    if not locked and not args.report:
        sys.exit("mutants: another run is using build/mutants (--report reads its results)")

    if not os.path.exists(os.path.join(BUILD, "build.ninja")):
        subprocess.run(["cmake", "--preset", "linux-x64", "-B", BUILD], cwd=ROOT, check=True,
                       stdout=subprocess.DEVNULL)

    folders = [f.strip().strip("/") for f in args.folders.split(",") if f.strip()]
    for folder in folders:
        if folder not in FOLDER_SUITES:
            sys.exit(f"mutants: no suites known for folder {folder!r} (known: {', '.join(FOLDER_SUITES)})")
    selection, totals = {}, {}
    for folder in folders:
        selection[folder], totals[folder] = select(folder, args.count, args.seed, args.headers)

    results = load_results(args.results)
    only = {k for k in args.only.split(",") if k}
    todo = []
    for chosen in selection.values():
        for m in chosen:
            r = results.get(m["key"])
            if only:
                if m["key"] in only:
                    todo.append(m)
            elif r is None or (args.rerun_survivors and r["status"] == "survived"):
                todo.append(m)
    # In the order drawn, one folder after the other in turn, so that a run stopped
    # early still gives every folder a fair sample.
    todo.sort(key=lambda m: (m["rank"], folders.index(m["folder"])))
    if only and len(todo) != len(only):
        sys.exit("mutants: --only names keys that are not among the chosen mutants (same --folders/--count/--seed?)")

    if todo and not args.report:
        log_path = os.path.join(BUILD, "mutants.log")
        with open(log_path, "w") as log:
            suites = []
            for m in todo:
                for s in FOLDER_SUITES[m["folder"]]:
                    if s not in suites:
                        suites.append(s)
            print(f"mutants: {len(todo)} to test; checking the unmutated suites first", file=sys.stderr, flush=True)
            times = measure_suites(suites, log)
            timeouts = {s: int(max(30, 5 * t + 10)) for s, t in times.items()}
            try:
                for i, m in enumerate(todo, 1):
                    log.write(f"\n===== {m['key']} {m['file']}:{m['line']} {m['kind']}\n")
                    log.flush()
                    status, detail, seconds = test_mutant(m, timeouts, log)
                    if STOPPING:
                        raise Interrupted("stopped")
                    row = dict(m, status=status, detail=detail, seconds=f"{seconds:.0f}")
                    results[m["key"]] = row
                    append_result(args.results, row)
                    print(f"[{i}/{len(todo)}] {status:<13} {m['file']}:{m['line']}  [{m['kind']}]  "
                          f"{m['mutated']}  ({seconds:.0f} s{', ' + detail if detail else ''})", file=sys.stderr, flush=True)
            except (KeyboardInterrupt, Interrupted):
                print("mutants: interrupted; every file is restored, the next run resumes", file=sys.stderr)
                text = report(selection, results, args, totals)
                sys.stdout.write(text)
                return 130
            finally:
                # Leave the build tree matching the sources again (ccache makes this quick).
                signal.signal(signal.SIGINT, signal.SIG_DFL)
                subprocess.run(["cmake", "--build", BUILD, "-j2", "--target",
                                *{t for s in suites for t in SUITE_TARGETS[s]}],
                               stdout=log, stderr=subprocess.STDOUT, cwd=ROOT)

    text = report(selection, results, args, totals)
    sys.stdout.write(text)
    if args.output:
        with open(args.output, "w") as f:
            f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
