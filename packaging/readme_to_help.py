#!/usr/bin/env python3
"""Makes the help page that "Help contents" opens (Help\\Default.htm beside quenvix.exe) from the
README, at build time, with nothing but Python's standard library: no network, no Markdown tool.

Usage: readme_to_help.py README.md OUT.htm VERSION DOWNLOAD_BASE

It reads the Markdown the README is written in: headings, paragraphs, lists, fenced code, tables,
`code`, **strong**, *emphasis* and [links](...). Pictures become their descriptions (the page
travels alone). The README's download examples name the placeholder address; the page names the
build's DOWNLOAD_BASE."""
import html
import re
import sys
from pathlib import Path

PLACEHOLDER_BASE = "https://www.tarmel.example/download"


def inline(text):
    # Code spans first, kept apart from the other rules.
    parts = re.split(r"(`[^`]+`)", text)
    out = []
    for part in parts:
        if part.startswith("`") and part.endswith("`") and len(part) > 1:
            out.append(f"<code>{html.escape(part[1:-1])}</code>")
            continue
        part = html.escape(part, quote=False)
        part = re.sub(r"!\[([^\]]*)\]\([^)]*\)", r"<em>[picture: \1]</em>", part)
        part = re.sub(r"\[([^\]]+)\]\(([^)\s]+)\)", lambda m: f'<a href="{html.escape(m.group(2))}">{m.group(1)}</a>', part)
        part = re.sub(r"\*\*([^*]+)\*\*", r"<strong>\1</strong>", part)
        part = re.sub(r"(?<![\w*])\*([^*\s][^*]*)\*(?![\w*])", r"<em>\1</em>", part)
        out.append(part)
    return "".join(out)


def convert(markdown):
    lines = markdown.splitlines()
    body = []
    title = "Quenvix"
    paragraph = []
    list_tag = None
    i = 0

    def flush():
        nonlocal list_tag
        if paragraph:
            body.append("<p>" + inline(" ".join(paragraph)) + "</p>")
            paragraph.clear()
        if list_tag:
            body.append(f"</{list_tag}>")
            list_tag = None

    while i < len(lines):
        line = lines[i]
        stripped = line.strip()
        if stripped.startswith("```"):
            flush()
            code = []
            i += 1
            while i < len(lines) and not lines[i].strip().startswith("```"):
                code.append(lines[i])
                i += 1
            body.append("<pre>" + html.escape("\n".join(code)) + "</pre>")
        elif m := re.match(r"^(#{1,6})\s+(.*)$", line):
            flush()
            level = len(m.group(1))
            if level == 1 and title == "Quenvix":
                title = m.group(2).strip()
            body.append(f"<h{level}>{inline(m.group(2).strip())}</h{level}>")
        elif stripped.startswith("|") and i + 1 < len(lines) and re.match(r"^\s*\|[\s:|-]+\|\s*$", lines[i + 1]):
            flush()
            cells = lambda row: [c.strip() for c in row.strip().strip("|").split("|")]
            body.append("<table>")
            body.append("<tr>" + "".join(f"<th>{inline(c)}</th>" for c in cells(line)) + "</tr>")
            i += 2
            while i < len(lines) and lines[i].strip().startswith("|"):
                body.append("<tr>" + "".join(f"<td>{inline(c)}</td>" for c in cells(lines[i])) + "</tr>")
                i += 1
            body.append("</table>")
            continue
        elif m := re.match(r"^\s*([-*]|\d+\.)\s+(.*)$", line):
            if paragraph:
                body.append("<p>" + inline(" ".join(paragraph)) + "</p>")
                paragraph.clear()
            tag = "ol" if m.group(1)[0].isdigit() else "ul"
            if list_tag != tag:
                if list_tag:
                    body.append(f"</{list_tag}>")
                body.append(f"<{tag}>")
                list_tag = tag
            item = [m.group(2)]
            # Continuation lines of the item are indented.
            while i + 1 < len(lines) and lines[i + 1].startswith("  ") and lines[i + 1].strip() and \
                    not re.match(r"^\s*([-*]|\d+\.)\s+", lines[i + 1]):
                i += 1
                item.append(lines[i].strip())
            body.append("<li>" + inline(" ".join(item)) + "</li>")
        elif not stripped:
            flush()
        else:
            if list_tag:
                flush()
            paragraph.append(stripped)
        i += 1
    flush()
    return title, "\n".join(body)


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    source, target, version, download_base = sys.argv[1:]
    markdown = Path(source).read_text(encoding="utf-8").replace(PLACEHOLDER_BASE, download_base.rstrip("/"))
    title, body = convert(markdown)
    page = f"""<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>{html.escape(title)} {html.escape(version)} - Help</title>
<style>
body {{ font-family: "Segoe UI", sans-serif; max-width: 50em; margin: 1em auto; padding: 0 1em; line-height: 1.45; }}
pre, code {{ font-family: Consolas, monospace; background: #f3f3f3; }}
pre {{ padding: 0.5em; overflow-x: auto; }}
table {{ border-collapse: collapse; }}
th, td {{ border: 1px solid #ccc; padding: 0.2em 0.5em; text-align: left; vertical-align: top; }}
</style>
</head>
<body>
<p><small>Quenvix {html.escape(version)}: this page is the README that comes with the program.</small></p>
{body}
</body>
</html>
"""
    Path(target).parent.mkdir(parents=True, exist_ok=True)
    # Windows' own tools open it: CRLF line ends.
    Path(target).write_bytes(page.replace("\n", "\r\n").encode("utf-8"))


if __name__ == "__main__":
    main()
