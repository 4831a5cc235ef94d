# Makes the manual page from its template (the second file) and the
# README (the first file): the README's "Keys" section takes the place of
# the template's line "@KEYS@", and its recipe for a profile, the
# parenthesis ("New profile", ...) of the words "create a profile", takes
# the place of "@PROFILE@": the manual page and the README cannot tell
# different keys or a different recipe. Tables become tbl tables,
# paragraphs paragraphs, lines "- ..." list items, `code` bold. Fails when
# the README has no such section or no such recipe.
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

# A table is gathered whole, then written: its widest column (by its
# longest cell) takes what width is left and wraps, so the table fits the
# page however long its rows are.
function endTable(   r, i, widest, longest, format, row) {
  if (!rows) return
  widest = 1; longest = -1
  for (i = 1; i <= columns; i++)
    if (width[i] > longest) { longest = width[i]; widest = i }
  format = ""
  for (i = 1; i <= columns; i++) format = format (i > 1 ? " " : "") "lb"
  format = format "\n"
  for (i = 1; i <= columns; i++) format = format (i > 1 ? " " : "") (i == widest ? "lx" : "l")
  keys = keys ".TS\n" format ".\n"
  for (r = 1; r <= rows; r++) {
    if (rule[r]) { keys = keys "_\n"; continue }
    row = ""
    for (i = 1; i <= columns; i++)
      row = row (i > 1 ? "\t" : "") (i == widest ? "T{\n" roff(table[r, i]) "\nT}" : roff(table[r, i]))
    keys = keys (row ~ /^\t/ ? "\\&" : "") row "\n"
  }
  keys = keys ".TE\n"
  rows = 0
  split("", width)
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
  readme = readme " " $0
  if (/^#+ Keys[ \t]*$/) { section = 1; found = 1; next }
  if (!section) next
  if (/^#/) { section = 0; endTable(); next }
  if (/^[ \t]*\|/) {
    n = splitRow($0)
    rows++
    rule[rows] = cell[1] ~ /^:?-+:?$/
    if (rows == 1) columns = n
    for (i = 1; i <= columns; i++) {
      table[rows, i] = i <= n ? cell[i] : ""
      if (!rule[rows] && length(table[rows, i]) > width[i]) width[i] = length(table[rows, i])
    }
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

FNR == 1 {
  gsub(/[ \t]+/, " ", readme)
  if (!match(readme, /create a profile \("New profile",[^)]*\)/)) {
    print "manpage.awk: " ARGV[1] " has no recipe for a profile (create a profile (\"New profile\", ...))" > "/dev/stderr"
    exit 1
  }
  recipe = roff(substr(readme, RSTART + length("create a profile "), RLENGTH - length("create a profile ")))
  gsub(/&/, "\\\\&", recipe)
}

/@PROFILE@/ { gsub(/@PROFILE@/, recipe) }

$0 == "@KEYS@" { endTable(); printf "%s", keys > out; next }
{ print > out }
