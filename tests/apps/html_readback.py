#!/usr/bin/python3
"""Parses an exported table fragment with html5lib, between a heading and a
paragraph as in a host page, and prints TAB-separated lines: PAGE "body's child
tags scripts=n", ROW, and per cell CELL "tag nowrap bgcolor face color size"
(face, color, size: the font around the text) and the text as UTF-8 hex."""
import sys

import html5lib

with open(sys.argv[1], "rb") as f:
    fragment = f.read().decode("utf-8")  # strict: bad bytes fail here
doc = html5lib.parse("<!DOCTYPE html><title>t</title><h1>before</h1>" + fragment + "<p>after</p>",
                     treebuilder="etree", namespaceHTMLElements=False)
print("PAGE\t%s scripts=%d" % (" ".join(e.tag for e in doc.find("body")), len(doc.findall(".//script"))))
for tr in doc.iter("tr"):
    print("ROW")
    for c in (c for c in tr if c.tag in ("td", "th")):
        font = c.find("font")
        a = font.attrib if font is not None else {}
        attrs = [c.tag, "nowrap" if "nowrap" in c.attrib else "-", c.get("bgcolor", "-")]
        attrs += [a.get(k, "-") for k in ("face", "color", "size")]
        text = "".join(font.itertext()) if font is not None else ""
        print("CELL\t%s\t%s" % (" ".join(attrs), text.encode("utf-8").hex()))
