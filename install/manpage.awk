# Makes the manual page from its template (the second file) and the
# README's "Keys" section (the first file), which takes the place of the
# template's line "@KEYS@": the manual page and the README cannot tell
# different keys. Tables become tbl tables, paragraphs paragraphs, lines
# "- ..." list items, `code` bold. Fails when the README has no such section.
#   awk -v out=FILE -f manpage.awk README.md TEMPLATE

# Text as roff reads it literally.
function roff(text,   done) {
  gsub(/\\/, "\\e", text)
  while (match(text, /`[^`]*`/)) {
    done = done substr(text, 1, RSTART - 1) "\\fB" substr(text, RSTART + 1, RLENGTH - 2) "\\fR"
    text = substr(text, RSTART + RLENGTH)
  }
  text = done text
  return text ~ /^[.']/ ? "\\&" text : text
}

function endTable() {
  if (inTable) keys = keys ".TE\n"
  inTable = 0
}

# One row of a Markdown table: cells between "|", trimmed, in cell[1..n].
function splitRow(line,   n, i) {
  sub(/^[ \t]*\|/, "", line)
  sub(/\|[ \t]*$/, "", line)
  n = split(line, cell, "|")
  for (i = 1; i <= n; i++) gsub(/^[ \t]+|[ \t]+$/, "", cell[i])
  return n
}

FNR == NR {
  if (/^#+ Keys[ \t]*$/) { section = 1; found = 1; next }
  if (!section) next
  if (/^#/) { section = 0; endTable(); next }
  if (/^[ \t]*\|/) {
    n = splitRow($0)
    if (cell[1] ~ /^:?-+:?$/) { keys = keys "_\n"; next }
    if (!inTable) {
      # The header row in bold; the last column takes what width is left
      # and wraps.
      heads = ""; body = ""
      for (i = 1; i <= n; i++) {
        heads = heads (i > 1 ? " " : "") "lb"
        body = body (i > 1 ? " " : "") (i == n ? "lx" : "l")
      }
      keys = keys ".TS\n" heads "\n" body ".\n"
      inTable = 1
    }
    row = ""
    for (i = 1; i <= n; i++) row = row (i > 1 ? "\t" : "") (i == n ? "T{\n" roff(cell[i]) "\nT}" : roff(cell[i]))
    keys = keys (row ~ /^\t/ ? "\\&" : "") row "\n"
    next
  }
  endTable()
  if (/^[ \t]*$/) { paragraph = 0; next }
  if (/^- /) { keys = keys ".IP \\(bu 2\n" roff(substr($0, 3)) "\n"; paragraph = 1; next }
  if (!paragraph) keys = keys ".PP\n"
  paragraph = 1
  keys = keys roff($0) "\n"
  next
}

FNR == 1 && !found {
  print "manpage.awk: " ARGV[1] " has no Keys section" > "/dev/stderr"
  exit 1
}

$0 == "@KEYS@" { endTable(); printf "%s", keys > out; next }
{ print > out }
