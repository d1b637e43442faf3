#!/usr/bin/python3
"""Reads an exported HTML table fragment with html5lib, as a browser would.

    html_readback.py FILE

The fragment is embedded in a page between a heading and a paragraph, the
way a host would use it, and parsed with the WHATWG algorithm. Printed, one
record a line, fields split by TAB:

    TABLES n            tables in the page
    SCRIPTS n           script elements in the page (markup that got in)
    AFTER yes|no        the paragraph follows the table, outside it
    ROW n               a row with n cells, then one line per cell:
    CELL tag nowrap bgcolor face color size text-hex outside-hex

face, color and size are those of the font element that encloses the text;
text-hex is that element's whole text content, outside-hex the cell's text
outside it (the blank between the two font blocks), both as UTF-8 in
hexadecimal, so any character survives the trip.
"""
import sys

import html5lib


def main(path):
    with open(path, "rb") as f:
        fragment = f.read().decode("utf-8")  # strict: bad bytes fail here
    page = ("<!DOCTYPE html><html><head><title>t</title></head><body>"
            "<h1 id=before>before</h1>" + fragment + "<p id=after>after</p></body></html>")
    doc = html5lib.parse(page, treebuilder="etree", namespaceHTMLElements=False)
    body = doc.find("body")
    tables = doc.findall(".//table")
    print("TABLES\t%d" % len(tables))
    print("SCRIPTS\t%d" % len(doc.findall(".//script")))
    children = list(body)
    after = "no"
    if tables and tables[0] in children:
        at = children.index(tables[0])
        if at + 1 < len(children) and children[at + 1].get("id") == "after":
            after = "yes"
    print("AFTER\t%s" % after)
    if not tables:
        return
    for tr in tables[0].iter("tr"):
        cells = [c for c in tr if c.tag in ("td", "th")]
        print("ROW\t%d" % len(cells))
        for c in cells:
            font = c.find("font")
            attrs = font.attrib if font is not None else {}
            text = "".join(font.itertext()) if font is not None else ""
            outside = (c.text or "") + (font.tail or "" if font is not None else "")
            print("CELL\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s" % (
                c.tag, "nowrap" if "nowrap" in c.attrib else "-", c.get("bgcolor", "-"),
                attrs.get("face", "-"), attrs.get("color", "-"), attrs.get("size", "-"),
                text.encode("utf-8").hex(), outside.encode("utf-8").hex()))


if __name__ == "__main__":
    main(sys.argv[1])
