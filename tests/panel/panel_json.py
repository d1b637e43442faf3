#!/usr/bin/env python3
"""Reads varnelo-panel's JSON output (which must parse) and prints, as
compact JSON, the value of the expression given on the command line; the
parsed output is `d`."""
import json
import sys

with open(sys.argv[1], encoding="utf-8") as f:
    d = json.load(f)
print(json.dumps(eval(sys.argv[2], {"d": d}), separators=(",", ":")))
