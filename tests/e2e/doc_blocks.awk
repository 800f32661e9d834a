# Splits documents into the command blocks tests/e2e/docs_commands.sh runs:
# every ```sh block of a Markdown file, every .EX/.EE block of a man page's
# EXAMPLES section (with \- and \e read as - and \).  Block N goes to
# OUT/N.sh, its origin ("FILE:LINE") to OUT/N.where and, when a plain ```
# block follows it with nothing but blank lines between, that block (the
# output the document shows) to OUT/N.out.
#
#   awk -v out=OUT -f doc_blocks.awk FILE...
FNR == 1 { man = FILENAME ~ /\.[0-9]$/; section = ""; inblock = 0; after = 0 }
function start(kind) { inblock = kind; n = sprintf("%03d", n + 1); printf "%s:%d\n", FILENAME, FNR > (out "/" n ".where"); close(out "/" n ".where") }
function put(file, line) { print line > file }
function stop() { close(out "/" n ".sh"); close(out "/" n ".out"); inblock = 0 }
man && /^\.SH / { section = $0; next }
man && section == ".SH EXAMPLES" && /^\.EX/ { start("sh"); next }
man && inblock && /^\.EE/ { stop(); next }
man && inblock { line = $0; gsub(/\\-/, "-", line); gsub(/\\e/, "\\", line); put(out "/" n ".sh", line); next }
man { next }
!inblock && /^```sh$/ { start("sh"); next }
!inblock && /^```$/ && after { inblock = "out"; next }
inblock && /^```$/ { was = inblock; stop(); after = was == "sh"; next }
inblock == "sh" { put(out "/" n ".sh", $0); next }
inblock == "out" { put(out "/" n ".out", $0); next }
/^```/ { inblock = "other"; after = 0; next }
inblock == "other" { next }
/^[ \t]*$/ { next }
{ after = 0 }
