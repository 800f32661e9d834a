# mkpages.awk - writes the section 3 man pages of libarkblade from their
# sources in man/man3 and the declarations of include/arkblade.h, so that a
# page's synopsis is always the header's.
#
#   awk -v names=src/exported-names.txt -v out=DIR -v version=1.0.0 \
#       -v date=2026-01-01 -f man/man3/mkpages.awk man/man3/*.txt include/arkblade.h
#
# A source, man/man3/PAGE.txt, is plain text: the page's own paragraphs,
# then per item a line "== NAME" and the item's paragraphs.  libarkblade.txt
# is the overview, libarkblade(3); every other one is the page of a family.
#
# The header's layout, which this reads (of each comment, only the first line;
# the lines after it are for the header's reader):
#   - its first comment, "arkblade.h - summary" up to an empty line: the
#     overview's NAME;
#   - a family comment, "== Title ==  (man 3 PAGE)", starts a family: PAGE(3)
#     documents everything declared after it;
#   - an item comment, "NAME - summary", on one line ("/* ... */") or as the
#     first line of a block ("/*" or "/* NAME - summary"), documents the declaration that follows it: a function,
#     vlan_ipaddrs, a typedef'd struct or a run of #define lines (NAME may end
#     in "*" for these).  The summary is the first sentence of the item's
#     section, the source's paragraphs for NAME the rest.
# In paragraphs, "  - " starts a list item (continued by lines indented 4),
# and a leading "Returns:", "Writes:", ... is set in bold.
#
# Writes DIR/libarkblade.3, DIR/PAGE.3 per family and DIR/NAME.3, a ".so"
# link to its family page, per exported name.  Fails (exit 1, nothing
# written) when an exported name has no comment, a comment names another
# declaration, a declaration has no comment, a name is not exported, or an
# item has no source paragraphs, paragraphs on another family's page or
# paragraphs that no declaration uses.
# POSIX awk: runs under mawk and gawk alike.

function fail(msg) {
    printf "mkpages: %s:%d: %s\n", FILENAME, FNR, msg > "/dev/stderr"
    failed = 1
}

# Text for a roff line: backslashes and hyphens escaped, no leading control
# character.
function esc(s) {
    gsub(/\\/, "\\e", s)
    gsub(/-/, "\\-", s)
    if (s ~ /^[.']/) s = "\\&" s
    return s
}

# esc() plus the exported names in bold.
function esc_text(s,    r, name) {
    s = esc(s)
    r = ""
    while (match(s, /[A-Za-z_][A-Za-z0-9_]*/)) {
        name = substr(s, RSTART, RLENGTH)
        r = r substr(s, 1, RSTART - 1)
        if (name in exported) r = r "\\fB" name "\\fR"
        else r = r name
        s = substr(s, RSTART + RLENGTH)
    }
    return r s
}

# The roff of comment paragraphs, lines n_from to n_to of array text.
function paragraphs(text, from, to,    i, line, out, inlist, start, opened) {
    out = ""
    start = 1
    inlist = 0
    for (i = from; i <= to; i++) {
        line = text[i]
        if (line == "") {
            start = 1
            inlist = 0
            continue
        }
        if (line ~ /^  - /) {
            sub(/^  - /, "", line)
            out = out ".IP \\(bu 2\n"
            inlist = 1
            start = 0
        } else if (inlist && line ~ /^    /) {
            sub(/^ +/, "", line)
        } else if (start || inlist) {
            # The first paragraph follows its .SH, which opens one already.
            if (out != "") out = out ".PP\n"
            inlist = 0
            start = 0
            opened = 1
        }
        line = esc_text(line)
        # A label opens a paragraph: "Returns: ...", "Byte order.  ..."
        if (opened && match(line, /^((Returns|Writes|Reads|Blocks|When):|(Results|Byte order|Blocking|State|Ownership|Log)\.)/))
            line = "\\fB" substr(line, 1, RLENGTH) "\\fR" substr(line, RLENGTH + 1)
        opened = 0
        out = out line "\n"
    }
    return out
}

function th(page) {
    return ".TH " toupper(page) " 3 " date " \"libarkblade " version "\" \"libarkblade manual\"\n.nh\n"
}

BEGIN {
    while ((getline n < names) > 0)
        if (n != "") exported[n] = 0
    close(names)
    nfam = 0
    ncomment = -1
    state = "code"
}

# --- sources ----------------------------------------------------------------
# Their lines go to src[]; src_from/src_to[PAGE] are a page's own paragraphs,
# src_from/src_to["NAME"] an item's, src_page[NAME] the page it is on.
FILENAME ~ /\.txt$/ {
    if (FNR == 1) {
        key = FILENAME
        sub(/.*\//, "", key)
        sub(/\.txt$/, "", key)
        src_page_seen[key] = 1
        page_of_file = key
        src_from[key] = nsrc + 1
        src_to[key] = nsrc
    }
    if ($0 ~ /^== [A-Za-z_][A-Za-z0-9_]*\*?$/) {
        key = substr($0, 4)
        if (key in src_page) fail(key " has paragraphs twice")
        src_page[key] = page_of_file
        src_from[key] = nsrc + 1
        src_to[key] = nsrc
        next
    }
    src[++nsrc] = $0
    src_to[key] = nsrc
    next
}

# --- header comments --------------------------------------------------------
state == "code" && /^\/\* .* \*\/$/ {
    nc = 1
    c[1] = $0
    sub(/^\/\* /, "", c[1])
    sub(/ \*\/$/, "", c[1])
    comment_done()
    next
}
state == "code" && /^\/\*$/ { state = "comment"; nc = 0; next }
# "/* FIRST" opens a comment of its own first line, " * LAST */" closes one.
state == "code" && /^\/\* / {
    state = "comment"
    nc = 1
    c[1] = substr($0, 4)
    next
}
state == "comment" && /^ \*\/$/ { state = "code"; comment_done(); next }
state == "comment" && /^ \* .* \*\/$/ {
    state = "code"
    c[++nc] = substr($0, 4, length($0) - 6)
    comment_done()
    next
}
state == "comment" {
    line = $0
    if (line !~ /^ \*( |$)/) fail("comment lines begin \" * \"")
    sub(/^ \* ?/, "", line)
    c[++nc] = line
    next
}
# The source paragraphs of KEY (a page or an item) as roff; "" when it has none.
function source(key) {
    if (!(key in src_from)) return ""
    used[key] = 1
    return paragraphs(src, src_from[key], src_to[key])
}
function comment_done(    t, p, i) {
    if (ncomment++ < 0) {
        # The file's own comment.
        if (c[1] !~ /^arkblade\.h - /) fail("the first comment must begin \"arkblade.h - \"")
        over_summary = c[1]
        sub(/^arkblade\.h - /, "", over_summary)
        for (i = 2; i <= nc && c[i] != ""; i++)
            over_summary = over_summary " " c[i]
        if (!("libarkblade" in src_page_seen)) fail("no source man/man3/libarkblade.txt")
        over_text = source("libarkblade")
    } else if (c[1] ~ /^== .* ==  \(man 3 [a-z-]+\)$/) {
        nfam++
        t = c[1]
        sub(/^== /, "", t)
        sub(/ ==  \(man 3 [a-z-]+\)$/, "", t)
        fam_title[nfam] = t
        p = c[1]
        sub(/^.*\(man 3 /, "", p)
        sub(/\)$/, "", p)
        fam_page[nfam] = p
        if (!(p in src_page_seen)) fail("no source man/man3/" p ".txt")
        fam_text[nfam] = source(p)
        fam_synopsis[nfam] = ""
        fam_items[nfam] = ""
        fam_names[nfam] = ""
    } else if (c[1] ~ /^[A-Za-z_][A-Za-z0-9_]*\*? - /) {
        pending = c[1]
        sub(/ - .*/, "", pending)
        pending_summary = c[1]
        sub(/^[^ ]* - /, "", pending_summary)
        p = nfam ? fam_page[nfam] : "libarkblade"
        if (!(pending in src_page)) fail(pending ": no paragraphs \"== " pending "\" in man/man3/" p ".txt")
        else if (src_page[pending] != p) fail(pending ": its paragraphs are in " src_page[pending] ".txt, its family is " p)
        pending_body = source(pending)
        decl = ""
        kind = ""
    } else {
        fail("a comment that is neither a family nor an item: " c[1])
    }
}

# --- declarations -----------------------------------------------------------
# name and the roff of its declaration; block: 1 for a struct or a run of
# #define lines (set apart in the synopsis, not exported), 0 for a function or
# vlan_ipaddrs (exported).
function item_done(name, code, block,    f) {
    f = nfam
    if (!block) {
        if (!(name in exported)) fail(name " is declared but not exported (src/exported-names.txt)")
        else if (exported[name]) fail(name " is documented twice")
        else exported[name] = f
        if (f == 0) fail(name " comes before the first family")
        fam_names[f] = fam_names[f] ", " name
    }
    if (f == 0) {
        over_synopsis = over_synopsis code (block ? ".sp\n" : "")
        over_items = over_items ".SS " esc(name) "\n" sentence(pending_summary) "\n" pending_body
    } else {
        fam_synopsis[f] = fam_synopsis[f] code (block ? ".sp\n" : "")
        fam_items[f] = fam_items[f] ".SS " esc(name) "\n.nf\n\\fB" code_bold(code) "\\fR\n.fi\n.PP\n" \
            sentence(pending_summary) "\n" pending_body
    }
    pending = ""
}
# An item's summary as the first sentence of its section.
function sentence(s) {
    # A summary that opens with a C name keeps its case: "arkb_pwr_poweron_node(0, watts, mode)".
    if (s !~ /^[A-Za-z0-9]*[_(]/) s = toupper(substr(s, 1, 1)) substr(s, 2)
    if (s !~ /[.:]$/) s = s "."
    return esc_text(s)
}
function code_bold(code) {
    sub(/\n$/, "", code)
    gsub(/\n/, "\\fR\n\\fB", code)
    return code
}

state == "code" && pending != "" && kind == "" {
    if ($0 ~ /^#define /) kind = "define"
    else if ($0 ~ /^typedef struct/) kind = "struct"
    else if ($0 ~ /^[A-Za-z]/) kind = "decl"
    else if ($0 != "") fail("an item comment must be followed by its declaration")
}
state == "code" && kind == "define" && pending != "" {
    if ($0 ~ /^#define /) {
        decl = decl esc($0) "\n"
        next
    }
    item_done(pending, decl, 1)
    kind = ""
}
state == "code" && kind == "struct" && pending != "" {
    decl = decl esc($0) "\n"
    if ($0 ~ /^}.*;$/) {
        n = $0
        sub(/^} */, "", n)
        sub(/;$/, "", n)
        if (n != pending) fail("the comment names " pending ", the struct is " n)
        item_done(pending, decl, 1)
        kind = ""
    }
    next
}
state == "code" && kind == "decl" && pending != "" {
    if ($0 !~ /^#/ && $0 !~ /__attribute__/) {
        line = $0
        sub(/^ +/, "", line)
        decl = decl (decl == "" || line == ";" ? "" : " ") line
    }
    if (decl ~ /;$/) {
        n = decl
        sub(/[([].*/, "", n)
        sub(/.*[ *]/, "", n)
        if (n != pending) fail("the comment names " pending ", the declaration is " n)
        item_done(pending, esc(decl) "\n", 0)
        kind = ""
    }
    next
}
# Anything else declared at file level needs a comment of its own.
state == "code" && /^[A-Za-z]/ && !/^extern "C" \{$/ { fail("no comment above: " $0) }

END {
    if (state != "code") fail("unterminated comment")
    for (n in exported)
        if (!exported[n]) {
            printf "mkpages: %s is exported but not documented in the header\n", n > "/dev/stderr"
            failed = 1
        }
    for (n in src_page)
        if (!(n in used)) {
            printf "mkpages: man/man3/%s.txt: no declaration in the header uses the paragraphs of %s\n", src_page[n], n > "/dev/stderr"
            failed = 1
        }
    if (nfam == 0) fail("no families")
    if (failed) exit 1

    see = ".BR libarkblade (3)"
    for (f = 1; f <= nfam; f++) see = see ",\n.BR " fam_page[f] " (3)"
    see = see ",\n.BR arksim (1),\n.BR arkbctl (1)\n"

    # The overview.
    file = out "/libarkblade.3"
    printf "%s", th("libarkblade") > file
    printf ".SH NAME\nlibarkblade \\- %s\n", esc(over_summary) > file
    printf ".SH SYNOPSIS\n.nf\n.B #include <arkblade.h>\n.PP\n%s.fi\n", over_synopsis > file
    printf ".PP\nLink with \\fB\\-larkblade\\fR: \\fBpkg\\-config \\-\\-cflags \\-\\-libs arkblade\\fR, or\n" > file
    printf "\\fBfind_package(arkblade)\\fR and the CMake target \\fBarkblade::arkblade\\fR.\n" > file
    printf ".SH DESCRIPTION\n%s", over_text > file
    printf "%s", over_items > file
    printf ".SH FAMILIES\n" > file
    for (f = 1; f <= nfam; f++) {
        names_f = fam_names[f]
        sub(/^, /, "", names_f)
        printf ".TP\n.BR %s (3)\n%s: %s.\n", fam_page[f], esc(fam_title[f]), esc(names_f) > file
    }
    printf ".SH EXAMPLES\nThe \\fIexamples\\fR folder of the source tree (in the Debian package,\n" > file
    printf "\\fI/usr/share/doc/libarkblade\\-dev/examples\\fR) holds a small complete program per\n" > file
    printf "family, built with its \\fIMakefile\\fR (pkg\\-config) or \\fICMakeLists.txt\\fR.\n" > file
    printf ".SH SEE ALSO\n%s", see > file
    close(file)

    for (f = 1; f <= nfam; f++) {
        file = out "/" fam_page[f] ".3"
        printf "%s", th(fam_page[f]) > file
        printf ".SH NAME\n%s%s \\- libarkblade: %s\n", fam_page[f], fam_names[f], esc(tolower(fam_title[f])) > file
        printf ".SH SYNOPSIS\n.nf\n.B #include <arkblade.h>\n.PP\n%s.fi\n", fam_synopsis[f] > file
        printf ".PP\nLink with \\fB\\-larkblade\\fR.\n" > file
        printf ".SH DESCRIPTION\n%s%s", fam_text[f], fam_items[f] > file
        printf ".SH SEE ALSO\n%s", see > file
        close(file)
    }
    for (n in exported) {
        file = out "/" n ".3"
        printf ".so man3/%s.3\n", fam_page[exported[n]] > file
        close(file)
    }
}
