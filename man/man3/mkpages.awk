# mkpages.awk - writes the section 3 man pages of libarkblade from the comments
# of include/arkblade.h, so that the header and the pages never disagree.
#
#   awk -v names=src/exported-names.txt -v out=DIR -v version=1.0.0 \
#       -v date=2026-01-01 -f man/man3/mkpages.awk include/arkblade.h
#
# The header's layout, which this reads:
#   - its first comment, "arkblade.h - summary" and paragraphs: libarkblade(3);
#   - a family comment, "== Title ==  (man 3 PAGE)" and paragraphs, starts a
#     family: PAGE(3) documents everything declared after it;
#   - an item comment, "NAME - summary" and paragraphs, documents the
#     declaration that follows it: a function, vlan_ipaddrs, a typedef'd
#     struct or a run of #define lines (NAME may end in "*" for these).
# In paragraphs, "  - " starts a list item (continued by lines indented 4),
# and a leading "Returns:", "Writes:", ... is set in bold.
#
# Writes DIR/libarkblade.3, DIR/PAGE.3 per family and DIR/NAME.3, a ".so"
# link to its family page, per exported name.  Fails (exit 1, nothing
# written) when an exported name has no comment, a comment names another
# declaration, a declaration has no comment or a name is not exported.
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

# --- comments ---------------------------------------------------------------
state == "code" && /^\/\*$/ { state = "comment"; nc = 0; next }
state == "comment" && /^ \*\/$/ {
    state = "code"
    if (ncomment++ < 0) {
        # The file's own comment.
        if (c[1] !~ /^arkblade\.h - /) fail("the first comment must begin \"arkblade.h - \"")
        over_summary = c[1]
        sub(/^arkblade\.h - /, "", over_summary)
        for (i = 2; i <= nc && c[i] !~ /^(Results|$)/; i++)
            over_summary = over_summary " " c[i]
        over_from = i
        for (i = over_from; i <= nc; i++) over[i] = c[i]
        over_to = nc
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
        fam_text[nfam] = paragraphs(c, 2, nc)
        fam_synopsis[nfam] = ""
        fam_items[nfam] = ""
        fam_names[nfam] = ""
    } else if (c[1] ~ /^[A-Za-z_][A-Za-z0-9_]*\*? - /) {
        pending = c[1]
        sub(/ - .*/, "", pending)
        pending_summary = c[1]
        sub(/^[^ ]* - /, "", pending_summary)
        pending_body = paragraphs(c, 2, nc)
        decl = ""
        kind = ""
    } else {
        fail("a comment that is neither a family nor an item: " c[1])
    }
    next
}
state == "comment" {
    line = $0
    if (line !~ /^ \*( |$)/) fail("comment lines begin \" * \"")
    sub(/^ \* ?/, "", line)
    c[++nc] = line
    next
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
    printf ".SH DESCRIPTION\n%s", paragraphs(over, over_from, over_to) > file
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
