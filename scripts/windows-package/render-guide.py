#!/usr/bin/python3
"""Renders an administrator's guide (Markdown) for the package: HTML (UTF-8, tables rendered)
and plain text (UTF-8 with a byte-order mark, which Notepad reads) with CR LF line ends and
lines of at most 100 characters.
Usage: render-guide.py <guide.md> <out.html> <out.txt> <title>"""
import sys
import textwrap

import markdown

WIDTH = 100


def text(source):
    out, code = [], False
    for line in source.splitlines():
        if line.startswith("```"):
            code = not code
            continue
        if code or len(line) <= WIDTH:
            out.append(line.rstrip())
            continue
        # Table rows, list items and paragraphs wrap with an indent that keeps them apart.
        indent = "  " if line.lstrip().startswith(("|", "-", "*")) or line[:1].isdigit() else ""
        out.extend(textwrap.wrap(line, WIDTH, subsequent_indent=indent, break_long_words=True,
                                 break_on_hyphens=False))
    too_long = [l for l in out if len(l) > WIDTH]
    if too_long:
        sys.exit("render-guide.py: a code line is longer than %d characters: %s" % (WIDTH, too_long[0]))
    return "\r\n".join(out) + "\r\n"


def main():
    source_path, html_path, txt_path, title = sys.argv[1:5]
    source = open(source_path, encoding="utf-8").read()
    body = markdown.markdown(source, extensions=["tables", "fenced_code"])
    html = ("<!DOCTYPE html>\n<html lang=\"%s\">\n<head>\n<meta charset=\"utf-8\">\n<title>%s</title>\n"
            "<style>body{font-family:Segoe UI,Arial,sans-serif;max-width:60em;margin:2em auto;line-height:1.4}"
            "table{border-collapse:collapse}td,th{border:1px solid #999;padding:.2em .5em;vertical-align:top}"
            "pre{background:#f4f4f4;padding:.5em;overflow-x:auto}</style>\n</head>\n<body>\n%s\n</body>\n</html>\n"
            % ("de" if ".de." in source_path else "en", title, body))
    open(html_path, "w", encoding="utf-8", newline="\n").write(html)
    open(txt_path, "w", encoding="utf-8-sig", newline="").write(text(source))


main()
