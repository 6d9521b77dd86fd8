#!/bin/sh
# SPDX-License-Identifier: MIT
# Writes sqlsim's manual page: the template with its options section made from what
# `sqlsim --help` prints, so the page lists the options the program has, word for word.
# usage: make-sqlsim-page.sh SQLSIM TEMPLATE VERSION OUTPUT
set -eu
sqlsim=$1 template=$2 version=$3 output=$4

options=$("$sqlsim" --help | awk '
    # roff: a backslash is \e, a minus is \-, and a line may not start with a control character.
    function roff(text) {
        gsub(/\\/, "\\e", text)
        gsub(/-/, "\\-", text)
        sub(/^[.'"'"']/, "\\\\\\&&", text)
        return text
    }
    /^  -/ {
        line = $0
        sub(/^ +/, "", line)
        split(line, parts, /  +/)
        head = parts[1]
        text = substr(line, length(head) + 1)
        sub(/^ +/, "", text)
        name = head; argument = ""
        if (index(head, " ") > 0) {
            name = substr(head, 1, index(head, " ") - 1)
            argument = substr(head, index(head, " ") + 1)
        }
        print ".TP"
        if (argument == "") print ".B " roff(name)
        else print ".BI \"" roff(name) " \" \"" roff(argument) "\""
        print roff(text)
        next
    }
    /^    +[^ ]/ && NR > 1 {
        line = $0
        sub(/^ +/, "", line)
        print roff(line)
    }
')
[ -n "$options" ] || { echo "make-sqlsim-page.sh: $sqlsim --help listed no options" >&2; exit 1; }

tmp=$output.tmp
awk -v version="$version" -v options="$options" '
    $0 == "@OPTIONS@" { print options; next }
    { gsub(/@VERSION@/, version); print }
' "$template" >"$tmp"
mv "$tmp" "$output"
