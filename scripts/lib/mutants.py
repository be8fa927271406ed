"""The mutants of scripts/mutate: which characters of a C++ file are code, the one-line changes
each operator makes, and the list of equivalent mutants set aside."""

import hashlib
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
OPS = ["ror", "logic", "const", "arith", "negate", "return", "drop"]


# ---------------------------------------------------------------------------------------------
# Reading C++: which characters are code (not comment, string or character literal).


def code_mask(text):
    """A copy of text where comments and the insides of literals are blanked with spaces,
    newlines kept, so positions line up with the original."""
    out = list(text)
    i, n = 0, len(text)

    def blank(a, b):
        for k in range(a, min(b, n)):
            if out[k] != "\n":
                out[k] = " "

    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            blank(i, j)
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            blank(i, j)
            i = j
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not _ident(text[i - 1])):
            m = re.match(r'R"([^(\s]*)\(', text[i:])
            if not m:
                i += 1
                continue
            end = text.find(")" + m.group(1) + '"', i)
            j = n if end < 0 else end + len(m.group(1)) + 2
            blank(i + 1, j)
            i = j
        elif c == '"' or (c == "'" and not (i and text[i - 1].isalnum())):
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            blank(i + 1, j)
            i = j + 1
        else:
            i += 1
    return "".join(out)


def _ident(ch):
    return ch.isalnum() or ch == "_"


def matching_paren(code, start):
    """Index of the ')' closing the '(' at start, on the same line; -1 when not there."""
    depth = 0
    for k in range(start, len(code)):
        if code[k] == "(":
            depth += 1
        elif code[k] == ")":
            depth -= 1
            if depth == 0:
                return k
    return -1


# ---------------------------------------------------------------------------------------------
# Making mutants.

ROR = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
INT_RE = re.compile(r"(?<![\w.'])(0[xX][0-9a-fA-F]+|\d+)([uUlL]*)(?![\w.'])")
CALL_RE = re.compile(r"^[\w:.\->\[\]*&()]+\s*(\(|=|\+=|-=|\|=|&=|\*=|/=|<<=|>>=|\+\+|--)")
LHS_RE = re.compile(r"^[\w.\->\[\]*]+$")


def line_mutants(line, code):
    """(op, new line) pairs for one line; code is the line with comments and literals blanked."""
    stripped = code.strip()
    if not stripped or stripped.startswith("#") or "static_assert" in code or "TEST" in code:
        return []
    muts = []

    def put(op, a, b, new):
        muts.append((op, line[:a] + new + line[b:]))

    for m in re.finditer(r"(?<= )(<=|>=|==|!=|<|>)(?= )", code):
        put("ror", m.start(), m.end(), ROR[m.group(1)])
    for m in re.finditer(r"(?<= )(&&|\|\|)(?= )", code):
        put("logic", m.start(), m.end(), "||" if m.group(1) == "&&" else "&&")
    if not re.match(r"\s*(case\b|enum\b|template\b)", code) and "[]" not in code:
        for m in INT_RE.finditer(code):
            digits, suffix = m.group(1), m.group(2)
            value = int(digits, 0)
            hexa = digits.lower().startswith("0x")
            for v in (value + 1, value - 1):
                if v < 0:
                    continue
                text = (hex(v) if hexa else str(v)) + suffix
                put("const", m.start(), m.end(), text)
    if '"' not in line and "Text" not in code and "string" not in code:
        for m in re.finditer(r"(?<= )([+-])(?= )", code):
            put("arith", m.start(), m.end(), "-" if m.group(1) == "+" else "+")
    for m in re.finditer(r"(\+\+|--)", code):
        put("arith", m.start(), m.end(), "--" if m.group(1) == "++" else "++")
    for m in re.finditer(r"\b(if|while)\s*\(", code):
        if code[m.end():].lstrip().startswith("constexpr"):
            continue
        open_at = m.end() - 1
        close_at = matching_paren(code, open_at)
        if close_at < 0:
            continue
        inner = line[open_at + 1:close_at]
        if ";" in code[open_at:close_at]:
            continue
        put("negate", open_at + 1, close_at, "!(" + inner + ")")
    m = re.search(r"\breturn\s+(.+);\s*$", code)
    if m:
        value = line[m.start(1):m.end(1)].strip()
        if value in ("true", "false"):
            put("return", m.start(1), m.end(1), "false" if value == "true" else "true")
        elif not re.fullmatch(r"\{\}|nullptr|std::nullopt|[\w:<>, ]+\(\)", value) and not (
            INT_RE.fullmatch(value)
        ):
            put("return", m.start(1), m.end(1), "{}")
    return muts


def statement_drops(lines, codes):
    """Indexes of lines holding one whole statement that can go: a call, an assignment, an
    increment, break or continue, started after a line that ended a statement or opened a block."""
    out = []
    prev_end = "{"
    for i, code in enumerate(codes):
        s = code.strip()
        if not s:
            continue
        if s.startswith("#"):
            prev_end = "{"
            continue
        starts_fresh = prev_end in ("{", "}", ";", ":")
        prev_end = s[-1]
        if not starts_fresh or not s.endswith(";") or s.count("(") != s.count(")"):
            continue
        if s in ("break;", "continue;"):
            out.append(i)
            continue
        if re.match(r"(return|delete|using|typedef|static|const|auto|goto|case|default)\b", s):
            continue
        if re.match(r"(\+\+|--)[\w.\->\[\]]+;$", s):
            out.append(i)
            continue
        m = CALL_RE.match(s)
        if not m:
            continue
        if m.group(1) == "(":
            head = s[: m.start(1)].strip()
            if re.search(r"\b(if|while|for|switch|sizeof|return)$", head) or " " in head:
                continue
            out.append(i)
        elif m.group(1) in ("++", "--") or LHS_RE.match(s[: m.start(1)].strip()):
            out.append(i)
    return out


class Mutant:
    __slots__ = ("path", "line", "op", "before", "after", "hash")

    def __init__(self, path, line, op, before, after):
        self.path, self.line, self.op, self.before, self.after = path, line, op, before, after
        key = "\0".join([op, before.strip(), after.strip()])
        self.hash = hashlib.sha1(key.encode()).hexdigest()[:12]

    def folder(self):
        return os.path.dirname(self.path)

    def as_dict(self):
        return {k: getattr(self, k) for k in self.__slots__}


def file_mutants(rel, ops):
    with open(os.path.join(ROOT, rel), encoding="utf-8") as f:
        text = f.read()
    lines = text.split("\n")
    codes = code_mask(text).split("\n")
    found = []
    for i, (line, code) in enumerate(zip(lines, codes)):
        for op, new in line_mutants(line, code):
            if op in ops and new != line:
                found.append(Mutant(rel, i + 1, op, line, new))
    if "drop" in ops:
        for i in statement_drops(lines, codes):
            indent = lines[i][: len(lines[i]) - len(lines[i].lstrip())]
            found.append(Mutant(rel, i + 1, "drop", lines[i], indent + "{}"))
    return found


def source_files(paths):
    out = []
    for p in paths:
        full = os.path.join(ROOT, p)
        if os.path.isdir(full):
            # A module's folders of its own (src/app/download ...) belong to it.
            for base, dirs, names in sorted(os.walk(full)):
                dirs.sort()
                for name in sorted(names):
                    if name.endswith((".cpp", ".h")):
                        rel = os.path.relpath(os.path.join(base, name), ROOT)
                        out.append(rel.replace(os.sep, "/"))
        elif os.path.isfile(full):
            out.append(os.path.relpath(full, ROOT).replace(os.sep, "/"))
        else:
            sys.exit(f"mutate: no such file or folder: {p}")
    return out


def load_equivalents(path):
    known = set()
    if not os.path.exists(path):
        return known
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.split("#", 1)[0].strip() if raw.lstrip().startswith("#") else raw.strip()
            parts = line.split(None, 3)
            if len(parts) >= 3:
                known.add((parts[0], parts[1], parts[2]))
    return known
