#!/usr/bin/python3
"""Reads an .xlsx workbook back with openpyxl and prints what a test checks.

    excel_readback.py FILE [--styles] [--rows]

One record per line, fields separated by TAB; text has backslash, TAB, CR
and LF escaped as \\\\, \\t, \\r, \\n. Sheet cells are decoded as a spreadsheet
application decodes them (_xHHHH_ escapes).

    sheets   NAME...
    size     MAX_ROW MAX_COLUMN
    cell     ROW COL TYPE VALUE NUMBER_FORMAT   (--rows; TYPE: s n b d)
    font     ROW COL NAME SIZE BOLD ITALIC COLOR (--styles; COLOR RRGGBB or -)
    fill     ROW COL PATTERN COLOR               (--styles)
    border   ROW COL LEFT RIGHT TOP BOTTOM DIAGONAL_UP DIAGONAL_DOWN
    width    COLUMN_LETTER WIDTH                 (set widths only)

Empty cells print no cell line (but do print their styles).
"""
import re
import sys

import openpyxl

ESCAPED = re.compile(r"_x([0-9A-Fa-f]{4})_")


def esc(v):
    return str(v).replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r").replace("\n", "\\n")


def colour(c):
    if c is None or c.type != "rgb" or c.rgb is None:
        return "-"
    return str(c.rgb)[-6:]


def main():
    path = sys.argv[1]
    styles = "--styles" in sys.argv
    rows = "--rows" in sys.argv
    # Opened as a file: openpyxl would refuse the name "x.xls" by its ending.
    wb = openpyxl.load_workbook(open(path, "rb"), read_only=not styles)
    out = []
    out.append("sheets\t" + "\t".join(wb.sheetnames))
    ws = wb[wb.sheetnames[0]]
    if not styles:
        ws.reset_dimensions()  # read every row, whatever the file claims
    max_row = 0
    max_col = 0
    for row in ws.iter_rows():
        for cell in row:
            if cell.value is None and not styles:
                continue
            r, c = cell.row, cell.column
            if cell.value is not None:
                max_row = max(max_row, r)
                max_col = max(max_col, c)
            if rows and cell.value is not None:
                v = cell.value
                t = cell.data_type
                if t == "d":
                    v = v.isoformat(sep=" ")
                elif t == "b":
                    v = "TRUE" if v else "FALSE"
                elif t == "n":
                    v = repr(v)
                else:
                    v = ESCAPED.sub(lambda m: chr(int(m.group(1), 16)), v)
                out.append("cell\t%d\t%d\t%s\t%s\t%s" % (r, c, t, esc(v), esc(cell.number_format)))
            if styles:
                f = cell.font
                out.append("font\t%d\t%d\t%s\t%s\t%d\t%d\t%s" % (
                    r, c, esc(f.name), f.sz, bool(f.b), bool(f.i), colour(f.color)))
                fl = cell.fill
                out.append("fill\t%d\t%d\t%s\t%s" % (r, c, fl.fill_type or "-", colour(fl.fgColor)))
                b = cell.border
                out.append("border\t%d\t%d\t%s\t%s\t%s\t%s\t%d\t%d" % (
                    r, c, b.left.style or "-", b.right.style or "-", b.top.style or "-",
                    b.bottom.style or "-", bool(b.diagonalUp), bool(b.diagonalDown)))
    out.append("size\t%d\t%d" % (max_row, max_col))
    if styles:
        for letter, dim in sorted(ws.column_dimensions.items()):
            if dim.customWidth:
                out.append("width\t%s\t%r" % (letter, dim.width))
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
