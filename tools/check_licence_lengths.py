#!/usr/bin/env python3
"""Checks the lengths of the licence agreement pieces in res/Setup.rc.

The licence dialog joins string resources 102 to 111 of the user's language
and shows the result. This script reads the string tables of the resource
script, counts the characters of each piece as the loader returns them (the
escape pair \\r\\n counts as two characters) and compares them with the
lengths the pieces are meant to have.

It fails (exit status 1) when
  - a piece is missing in one of the three languages,
  - the English piece 102 has 600 characters or fewer,
  - a piece differs from its intended length by more than 15 per cent, or
  - a join doubles a space or drops the space after a comma.

Usage: check_licence_lengths.py [path/to/Setup.rc]
"""

import os
import re
import sys

TOLERANCE = 0.15
FIRST_PIECE_MIN = 600  # English piece 102 must be longer than this

LANGUAGES = [
    # (label, LANGUAGE statement of the script)
    ("0x0409 English", ("LANG_ENGLISH", "SUBLANG_ENGLISH_US")),
    ("0x0404 Traditional", ("LANG_CHINESE", "SUBLANG_CHINESE_TRADITIONAL")),
    ("0x0804 Simplified", ("LANG_CHINESE", "SUBLANG_CHINESE_SIMPLIFIED")),
]

PIECE_IDS = list(range(102, 112))

# Intended length of each piece, in the order of PIECE_IDS.
TARGETS = {
    "0x0409 English": [653, 490, 461, 301, 349, 302, 213, 254, 338, 238],
    "0x0404 Traditional": [133, 126, 86, 125, 173, 150, 123, 123, 122, 92],
    "0x0804 Simplified": [130, 126, 86, 125, 182, 147, 116, 115, 113, 116],
}

TOKEN_RE = re.compile(
    r'\s+'                      # white space
    r'|//[^\n]*'                # line comment
    r'|/\*.*?\*/'               # block comment
    r'|(?P<str>L?"(?:[^"\n]|"")*")'
    r'|(?P<word>[A-Za-z_][A-Za-z_0-9]*)'
    r'|(?P<num>0[xX][0-9A-Fa-f]+L?|\d+L?)'
    r'|(?P<punct>[,{}|()+\-])'
    r'|(?P<other>.)',
    re.S,
)


def read_symbols(header_path):
    symbols = {}
    with open(header_path, encoding="utf-8") as f:
        for line in f:
            m = re.match(r'\s*#\s*define\s+(\w+)\s+\(?(-?\d+)\)?\s*$', line)
            if m:
                symbols[m.group(1)] = int(m.group(2))
    return symbols


def unescape(literal):
    """Returns the text of one string literal of a resource script."""
    if literal.startswith("L"):
        literal = literal[1:]
    body = literal[1:-1]
    out = []
    i = 0
    while i < len(body):
        c = body[i]
        if c == '"':  # "" stands for one double quote
            out.append('"')
            i += 2
            continue
        if c != "\\":
            out.append(c)
            i += 1
            continue
        e = body[i + 1]
        simple = {"r": "\r", "n": "\n", "t": "\t", "a": "\a", "\\": "\\", '"': '"', "0": "\0"}
        if e == "x":
            m = re.match(r'[0-9A-Fa-f]{1,4}', body[i + 2:])
            out.append(chr(int(m.group(0), 16)))
            i += 2 + len(m.group(0))
        elif e in simple:
            out.append(simple[e])
            i += 2
        else:
            out.append(e)
            i += 2
    return "".join(out)


def tokens(text):
    lines = []
    for line in text.splitlines():
        # Preprocessor lines carry no string-table content.
        lines.append("" if line.lstrip().startswith("#") else line)
    text = "\n".join(lines)
    for m in TOKEN_RE.finditer(text):
        kind = m.lastgroup
        if kind is None:
            continue
        yield kind, m.group(kind)


def read_string_tables(rc_path, symbols):
    """Returns {(lang, sublang): {id: text}} for every STRINGTABLE."""
    with open(rc_path, encoding="utf-8") as f:
        toks = list(tokens(f.read()))
    tables = {}
    language = None
    i = 0
    while i < len(toks):
        kind, value = toks[i]
        if kind == "word" and value == "LANGUAGE":
            language = (toks[i + 1][1], toks[i + 3][1])
            i += 4
            continue
        if kind == "word" and value == "STRINGTABLE":
            i += 1
            while toks[i][1] not in ("BEGIN", "{"):
                i += 1
            i += 1
            table = tables.setdefault(language, {})
            while toks[i][1] not in ("END", "}"):
                kind, value = toks[i]
                if kind == "num":
                    ident = int(value.rstrip("L"), 0)
                elif kind == "word":
                    ident = symbols[value]
                else:
                    raise SystemExit("%s: unexpected %r in a string table" % (rc_path, value))
                i += 1
                if toks[i][1] == ",":
                    i += 1
                parts = []
                while toks[i][0] == "str":
                    parts.append(unescape(toks[i][1]))
                    i += 1
                if ident in table:
                    raise SystemExit("%s: string %d defined twice" % (rc_path, ident))
                table[ident] = "".join(parts)
            i += 1
            continue
        i += 1
    return tables


def main(argv):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    rc_path = argv[1] if len(argv) > 1 else os.path.join(root, "res", "Setup.rc")
    symbols = read_symbols(os.path.join(os.path.dirname(rc_path), "resource.h"))
    tables = read_string_tables(rc_path, symbols)

    failures = []
    header = "%-20s" % "piece" + "".join("%22s" % label for label, _ in LANGUAGES)
    print(header)
    rows = {ident: "%-20d" % ident for ident in PIECE_IDS}
    totals = {}
    for label, language in LANGUAGES:
        table = tables.get(language, {})
        total = 0
        prev = None
        for n, ident in enumerate(PIECE_IDS):
            target = TARGETS[label][n]
            if ident not in table:
                failures.append("%s: piece %d is missing" % (label, ident))
                rows[ident] += "%22s" % "missing"
                continue
            piece = table[ident]
            length = len(piece)
            total += length
            off = (length - target) / target
            rows[ident] += "%22s" % ("%d / %d (%+.0f%%)" % (length, target, off * 100))
            if abs(off) > TOLERANCE:
                failures.append("%s: piece %d has %d characters, meant to have about %d"
                                % (label, ident, length, target))
            if prev is not None:
                if prev[-1:] == " " and piece[:1] == " ":
                    failures.append("%s: the join %d/%d doubles a space" % (label, ident - 1, ident))
                if label.endswith("English") and prev[-1:] == "," and piece[:1] not in (" ", "\r"):
                    failures.append("%s: the join %d/%d drops the space after a comma"
                                    % (label, ident - 1, ident))
            prev = piece
        totals[label] = (total, sum(TARGETS[label]))
    for ident in PIECE_IDS:
        print(rows[ident])
    print("%-20s" % "total" + "".join("%22s" % ("%d / %d" % totals[label]) for label, _ in LANGUAGES))

    first = tables.get(LANGUAGES[0][1], {}).get(PIECE_IDS[0], "")
    if len(first) <= FIRST_PIECE_MIN:
        failures.append("English piece %d has %d characters, must have more than %d"
                        % (PIECE_IDS[0], len(first), FIRST_PIECE_MIN))

    for failure in failures:
        print("FAIL: " + failure)
    print("OK" if not failures else "%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
