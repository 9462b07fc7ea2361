#!/usr/bin/env python3
"""Finds the multipliers of the key word hash in highlight/tables.cpp: the
first (A, B, C, D) in a small search for which
    (first + B*second + C*last + D*length) % 512        (A fixed at 1)
gives each key word of highlight/tables.h a slot of its own. Letters are
folded to lower case as the lookup folds them. The C++ table checks the
result at compile time; run this only when the key words change."""
import itertools
import pathlib
import re

TABLES = pathlib.Path(__file__).resolve().parent.parent / "highlight" / "tables.h"
SLOTS = 512


def key_words():
    text = TABLES.read_text()
    table = text[text.index("KeyWordTable = {"):]
    table = table[: table.index("};")]
    return sorted(set(re.findall(r'"([a-z]+)"', table)))


def main():
    words = key_words()
    for b, c, d in itertools.product(range(1, 32), repeat=3):
        slots = {(ord(w[0]) + b * ord(w[1]) + c * ord(w[-1]) + d * len(w)) % SLOTS for w in words}
        if len(slots) == len(words):
            print(f"{len(words)} key words: first + {b}*second + {c}*last + {d}*length, mod {SLOTS}")
            return
    raise SystemExit("no multipliers found; widen the search")


if __name__ == "__main__":
    main()
