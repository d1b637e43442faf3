#!/usr/bin/python3
"""The Excel benchmark's peer: the rows of a SQLite query written with
Debian's python3-xlsxwriter, in the same shape as varnelo-export's Excel
format with its default settings.

    xlsx_peer.py DATABASE QUERY OUTPUT.xlsx

Same workbook as ours: one sheet "Sheet1", a header row of column names in
the header look (8.25-point "Sans Serif", white on a solid 0x000040 fill), body
cells in the body look (8.25-point "Sans Serif", black on a solid white fill),
dates as date cells "yyyy-mm-dd" or "yyyy-mm-dd hh:mm:ss" when not midnight,
integers of more than 15 digits and non-finite reals as text, Null and ''
as formatted blanks, no borders, default widths. Streams in constant-memory
mode, as we do.
"""
import datetime
import math
import sqlite3
import sys

import xlsxwriter

FONT = {"font_name": "Sans Serif", "font_size": 8.25}
MAX_EXACT = 999_999_999_999_999


def parse_date(raw):
    text = raw.decode()
    try:
        return datetime.datetime.fromisoformat(text.replace("T", " ").rstrip("Z"))
    except ValueError:
        return text  # not a date: written as text, as we do


def main():
    db_path, query, out = sys.argv[1:4]
    for decl in ("DATE", "DATETIME", "TIMESTAMP"):
        sqlite3.register_converter(decl, parse_date)
    db = sqlite3.connect("file:%s?mode=ro" % db_path, uri=True, detect_types=sqlite3.PARSE_DECLTYPES)
    cur = db.execute(query)

    wb = xlsxwriter.Workbook(out, {"constant_memory": True})
    ws = wb.add_worksheet("Sheet1")
    header = wb.add_format(dict(FONT, font_color="#FFFFFF", bg_color="#000040", pattern=1))
    body_look = dict(FONT, font_color="#000000", bg_color="#FFFFFF", pattern=1)
    body = wb.add_format(body_look)
    day = wb.add_format(dict(body_look, num_format="yyyy-mm-dd"))
    stamp = wb.add_format(dict(body_look, num_format="yyyy-mm-dd hh:mm:ss"))

    for col, d in enumerate(cur.description):
        ws.write_string(0, col, d[0], header)

    row = 1
    write_string, write_number, write_blank = ws.write_string, ws.write_number, ws.write_blank
    write_datetime, write_boolean = ws.write_datetime, ws.write_boolean
    for values in cur:
        for col, v in enumerate(values):
            t = type(v)
            if v is None or v == "":
                write_blank(row, col, None, body)
            elif t is int:
                if -MAX_EXACT <= v <= MAX_EXACT:
                    write_number(row, col, v, body)
                else:
                    write_string(row, col, str(v), body)
            elif t is float:
                if math.isfinite(v):
                    write_number(row, col, v, body)
                else:
                    write_string(row, col, repr(v), body)
            elif t is datetime.datetime:
                midnight = v.hour == 0 and v.minute == 0 and v.second == 0
                write_datetime(row, col, v, day if midnight else stamp)
            elif t is bool:
                write_boolean(row, col, v, body)
            else:
                write_string(row, col, str(v), body)
        row += 1
    wb.close()


if __name__ == "__main__":
    main()
