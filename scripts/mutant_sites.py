"""mutant_sites: where scripts/check-mutants changes the library's sources.
Finds, in one source file's text, every place a comparison or logical operator
can be swapped, a negation dropped, an integer constant or log line number
moved by one, `return 0` and `return -1` swapped or a test of a result
inverted, skipping comments, strings, attributes and declarations; and names
each mutant by its file, the text of its line and the change, so that its id
outlives edits elsewhere in the file.
"""
import hashlib
import re
from dataclasses import dataclass


@dataclass
class Mutant:
    path: str  # relative to the tree
    line: int  # 1-based
    column: int  # 1-based
    start: int  # offset in the file of the replaced text
    end: int
    replacement: str
    change: str  # "a -> b", for people
    ident: str = ""


# ---- finding the mutation sites --------------------------------------------


def blank_non_code(text):
    """The text with comments, string and character literals and preprocessor
    lines replaced by spaces (newlines kept), so offsets stay those of the
    file and only code can match."""
    out = list(text)
    i, n = 0, len(text)

    def blank(a, b):
        for k in range(a, b):
            if out[k] != "\n":
                out[k] = " "

    at_line_start = True
    while i < n:
        c = text[i]
        if at_line_start and text[i:].lstrip(" \t").startswith("#"):
            j = i
            while True:  # a directive runs to an unescaped newline
                j = text.find("\n", j)
                if j < 0:
                    j = n
                    break
                if text[j - 1] != "\\":
                    break
                j += 1
            blank(i, j)
            i = j
            continue
        at_line_start = c == "\n"
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
        elif c in "\"'" and not (c == "'" and i > 0 and text[i - 1].isalnum()):
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            blank(i, j + 1)
            i = j + 1
        else:
            i += 1
    code = "".join(out)
    # Attributes ([[...]] too) and static assertions are read by the compiler alone.
    for m in ATTRIBUTE.finditer(code):
        close_at = closing_paren(code, m.end() - 1)
        code = code[: m.start()] + " " * (close_at + 1 - m.start()) + code[close_at + 1 :]
    for m in list(STANDARD_ATTRIBUTE.finditer(code)):
        code = code[: m.start()] + " " * (m.end() - m.start()) + code[m.end() :]
    return code


ATTRIBUTE = re.compile(r"\b(?:__attribute__|static_assert)\s*\(")
STANDARD_ATTRIBUTE = re.compile(r"\[\[.*?\]\]", re.S)
# The zero a local starts from when its next use hands it to a call to fill
# (`uint8_t slot = 0;` then `f(&slot)`): there for the compiler's sake, not a
# value the code uses.  Zeros that start a sum or a count stay mutants.
ZERO_START = re.compile(r"\n\s+(?!return\b)[\w:]+ (\w+) = (0);(?=\n)")


def filled_by_a_call(code, m):
    use = re.compile(r"\b" + m.group(1) + r"\b").search(code, m.end())
    return use is not None and code[use.start() - 1] == "&"


# Binary operators stand between spaces (the sources are clang-formatted), which
# tells `a < b` from `array<T, 4>` and `a > b` from `->` and `>>`.
SWAPS = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==", "&&": "||", "||": "&&"}
BINARY_OP = re.compile(r"(?<=\s)(<=|>=|==|!=|&&|\|\||<|>)(?=\s)")
NEGATION = re.compile(r"!(?=[A-Za-z_(])")
INTEGER = re.compile(r"(?<![\w.])(0[xX][0-9A-Fa-f]+|[0-9]+)([uUlL]*)(?![\w.])")
RETURN = re.compile(r"\breturn (0|-1);")
CONDITION = re.compile(r"\b(if|while) \(")
TEMPLATE_KEYWORD = re.compile(r"\btemplate\s*$")


def closing_paren(code, open_at):
    depth = 0
    for k in range(open_at, len(code)):
        if code[k] == "(":
            depth += 1
        elif code[k] == ")":
            depth -= 1
            if depth == 0:
                return k
    return -1


def is_bare_test(cond):
    """A condition that only tests a value or a call's result for truth
    (`if (rc)`, `if (f(x))`): swapping operators cannot reach it."""
    return not BINARY_OP.search(f" {cond} ") and not cond.lstrip().startswith("!")


def moved_by_one(literal, delta=1):
    if literal[:2] in ("0x", "0X"):
        base, spell = 16, hex
    elif len(literal) > 1 and literal[0] == "0":
        base, spell = 8, lambda v: f"0{v:o}"  # file modes
    else:
        base, spell = 10, str
    value = int(literal, base) + delta
    return spell(value) if value >= 0 else None


def find_mutants(rel, text):
    code = blank_non_code(text)
    found = []

    def add(start, end, replacement, change):
        line_start = code.rfind("\n", 0, start) + 1
        found.append(Mutant(rel, code.count("\n", 0, start) + 1, start - line_start + 1, start, end, replacement,
                            change))

    for m in BINARY_OP.finditer(code):
        if m.group(1) == "<" and TEMPLATE_KEYWORD.search(code[: m.start()]):
            continue
        add(m.start(), m.end(), SWAPS[m.group(1)], f"{m.group(1)} -> {SWAPS[m.group(1)]}")
    for m in NEGATION.finditer(code):
        if code[m.start() + 1] != "=":
            add(m.start(), m.end(), "", "! dropped")
    for m in RETURN.finditer(code):
        other = "-1" if m.group(1) == "0" else "0"
        add(m.start(1), m.end(1), other, f"return {m.group(1)} -> return {other}")
    for m in CONDITION.finditer(code):
        open_at = m.end() - 1
        close_at = closing_paren(code, open_at)
        if close_at > 0 and is_bare_test(code[open_at + 1 : close_at]):
            inner = text[open_at + 1 : close_at]
            add(open_at + 1, close_at, f"!({inner})", f"{m.group(1)} test inverted")
    filled = {m.start(2) for m in ZERO_START.finditer(code) if filled_by_a_call(code, m)}
    for m in INTEGER.finditer(code):
        if m.start(1) in filled:
            continue
        # `return -1` belongs to the return swap; a literal inside it is not
        # moved again.
        if RETURN.match(code, m.start() - 8) or RETURN.match(code, m.start() - 7):
            continue
        moved = moved_by_one(m.group(1), 1)
        add(m.start(1), m.end(1), moved, f"{m.group(1)} -> {moved}")
    return found


def name_mutants(text, mutants):
    """Gives each mutant an id from its file, its line's text, which of the
    file's lines with that text it is on, its column's rank among the changes
    of its line, and the change."""
    lines = text.split("\n")
    seen = {}
    ordinal_of_line = []
    for line in lines:
        key = line.strip()
        seen[key] = seen.get(key, 0) + 1
        ordinal_of_line.append(seen[key])
    rank = {}
    for m in sorted(mutants, key=lambda m: (m.line, m.start, m.change)):
        key = (m.line, m.change)
        rank[key] = rank.get(key, 0) + 1
        words = [m.path, lines[m.line - 1].strip(), str(ordinal_of_line[m.line - 1]), m.change, str(rank[key])]
        m.ident = "m" + hashlib.sha1("\0".join(words).encode()).hexdigest()[:7]
