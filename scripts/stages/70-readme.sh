#!/usr/bin/env bash
# The documents' commands, run as a reader would: every ```sh block of the
# README and of each docs/*.md, one at a time, from the repository root, with
# bash -euo pipefail, each document's blocks in order; the scratch files they
# make with mktemp go to a directory of this stage's own (TMPDIR). An
# ```output block right after a ```sh block is what that block must print.
# A ```text block is neither run nor compared. A block is left out only when
# the line before it says why: <!-- not run by the README check: REASON -->
# (scripts/test.sh, which runs this stage, is one such block).
# The commands must leave the repository as they found it (build/ aside).
source "$(dirname "$0")/../lib.sh"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cd "$ROOT"
before="$(git status --porcelain --untracked-files=all)"
TMPDIR="$scratch" python3 - README.md docs/*.md <<'PY'
import re, subprocess, sys

def read_blocks(path):
    """The fenced blocks of a document, each with its kind, line and skip reason."""
    lines = open(path, encoding="utf-8").read().split("\n")
    blocks, reason, k = [], None, 0
    while k < len(lines):
        skip = re.fullmatch(r"<!-- not run by the README check: (.+) -->", lines[k])
        fence = re.fullmatch(r"```(\w*)", lines[k])
        if skip:
            reason = skip.group(1)
        elif fence:
            start, k = k + 1, k + 1
            while not lines[k].startswith("```"):
                k += 1
            blocks.append({"kind": fence.group(1), "line": start, "skip": reason,
                           "text": "\n".join(lines[start:k]) + "\n"})
            reason = None
        k += 1
    return blocks

failed, ran = 0, 0
for path in sys.argv[1:]:
    blocks = read_blocks(path)
    for n, block in enumerate(blocks):
        where = "%s:%d" % (path, block["line"])
        if block["kind"] not in ("sh", "output", "text"):
            sys.exit("%s: a ```%s block; commands go in ```sh, what they print in ```output"
                     % (where, block["kind"]))
        if block["kind"] == "output" and (n == 0 or blocks[n - 1]["kind"] != "sh"):
            sys.exit("%s: an ```output block that follows no ```sh block" % where)
        if block["skip"] and block["kind"] != "sh":
            sys.exit("%s: only a ```sh block can be left out" % where)
        if block["kind"] != "sh":
            continue
        if block["skip"]:
            print("== %s: not run: %s" % (where, block["skip"]), flush=True)
            continue
        print("== %s: %s" % (where, block["text"].splitlines()[0]), flush=True)
        run = subprocess.run(["bash", "-euo", "pipefail", "-c", block["text"]],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        ran += 1
        if run.returncode != 0:
            failed += 1
            print("%s: exit status %d\n%s%s" % (where, run.returncode,
                  run.stdout.decode(errors="replace"), run.stderr.decode(errors="replace")[-3000:]))
            continue
        following = blocks[n + 1] if n + 1 < len(blocks) else None
        if following and following["kind"] == "output":
            got = run.stdout.decode("utf-8", errors="replace").rstrip("\n")
            if got != following["text"].rstrip("\n"):
                failed += 1
                print("%s:%d: the output shown is not what the block prints:\n%s"
                      % (path, following["line"], got))
sys.exit("== %d of %d blocks failed" % (failed, ran) if failed else None)
PY
after="$(git status --porcelain --untracked-files=all)"
[ "$before" = "$after" ] || { echo "the documents' commands changed the repository:"; diff <(echo "$before") <(echo "$after"); exit 1; }
echo "== the commands of the README and docs/*.md ran and printed what they show"
