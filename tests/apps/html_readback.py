#!/usr/bin/python3
"""Parses an exported table with html5lib between a heading and a paragraph, as a host page holds it. Prints the
body's child tags and "scripts=N", then per row its cells, TAB-separated: "tag nowrap bgcolor face color size|text"
(face, color, size: the font around the text; the text as UTF-8 hex)."""
import sys

import html5lib


def cell(c):
    font = c.find("font")
    a, text = (font.attrib, "".join(font.itertext())) if font is not None else ({}, "")
    attrs = [c.tag, "nowrap" if "nowrap" in c.attrib else "-", c.get("bgcolor", "-")]
    return " ".join(attrs + [a.get(k, "-") for k in ("face", "color", "size")]) + "|" + text.encode().hex()


fragment = open(sys.argv[1], "rb").read().decode("utf-8")  # strict: bad bytes fail here
doc = html5lib.parse("<!DOCTYPE html><title>t</title><h1>before</h1>" + fragment + "<p>after</p>",
                     treebuilder="etree", namespaceHTMLElements=False)
print("%s scripts=%d" % (" ".join(e.tag for e in doc.find("body")), len(doc.findall(".//script"))))
for tr in doc.iter("tr"):
    print("\t".join(cell(c) for c in tr if c.tag in ("td", "th")))
