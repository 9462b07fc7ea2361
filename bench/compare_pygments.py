"""Pygments' Delphi lexer with its HTML formatter, for bench/compare.

Timing mode (in-process): compare_pygments.py REPS FILE...
    Reads each file, then times only highlight(code, DelphiLexer(), HtmlFormatter())
    REPS times; prints {"version": ..., "seconds": {FILE: [s, ...]}} as JSON.
Whole-process mode: compare_pygments.py --whole FILE
    Highlights FILE once and writes the HTML to standard output.

Files are decoded as Latin-1 so that every byte is one character and no input
can fail to decode; Pygments then sees exactly as many characters as the file
has bytes.
"""

import json
import sys
import time

import pygments
from pygments import highlight
from pygments.formatters import HtmlFormatter
from pygments.lexers.pascal import DelphiLexer


def read_source(path):
    with open(path, "rb") as f:
        return f.read().decode("latin-1")


def time_highlight(code, reps):
    seconds = []
    for _ in range(reps):
        lexer, formatter = DelphiLexer(), HtmlFormatter()
        start = time.perf_counter()
        html = highlight(code, lexer, formatter)
        seconds.append(time.perf_counter() - start)
        if not html:
            raise SystemExit("Pygments produced no output")
    return seconds


def main(argv):
    if len(argv) == 2 and argv[0] == "--whole":
        html = highlight(read_source(argv[1]), DelphiLexer(), HtmlFormatter())
        sys.stdout.buffer.write(html.encode("latin-1", "replace"))
        return
    if len(argv) < 2:
        raise SystemExit(__doc__)
    reps = int(argv[0])
    result = {path: time_highlight(read_source(path), reps) for path in argv[1:]}
    json.dump({"version": pygments.__version__, "seconds": result}, sys.stdout)


if __name__ == "__main__":
    main(sys.argv[1:])
