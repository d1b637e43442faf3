#!/usr/bin/env python3
"""Reads varnelo-panel's JSON output (which must parse) and prints, one per
line as compact JSON, the value of each expression given on the command line;
the parsed output is `d`."""
import json
import sys

with open(sys.argv[1], encoding="utf-8") as f:
    d = json.load(f)
for expression in sys.argv[2:]:
    print(json.dumps(eval(expression, {"d": d}), separators=(",", ":")))
