#!/usr/bin/python3
"""excel_readback.py FILE [--styles]: a workbook as openpyxl reads it, in NUL-separated
"KEY<TAB>VALUE" records: sheets, size (rows and columns holding values), per cell ("type 2 1":
row 2, column 1) type, value and format, with --styles font, fill, border and set widths."""
import re
import sys

import openpyxl


def rgb(c):
    return str(c.rgb)[-6:] if c is not None and c.type == "rgb" and c.rgb else "-"


def main(path, styles):
    # Opened as a file: openpyxl would refuse the name "x.xls" by its ending.
    wb = openpyxl.load_workbook(open(path, "rb"), read_only=not styles)
    ws = wb.worksheets[0]
    if not styles:
        ws.reset_dimensions()  # read every row, whatever the file claims
    out = ["sheets\t" + "|".join(wb.sheetnames)]
    size = (0, 0)
    for cell in (c for row in ws.iter_rows() for c in row):
        v, t = cell.value, cell.data_type
        if v is None and not styles:
            continue  # read-only empty cells have no position
        at = " %d %d\t" % (cell.row, cell.column)
        if v is not None:
            size = (max(size[0], cell.row), max(size[1], cell.column))
            if t == "d":
                v = v.isoformat(sep=" ")
            elif t == "b":
                v = "TRUE" if v else "FALSE"
            elif t == "n":
                v = repr(v)
            else:  # decoded as a spreadsheet application decodes _xHHHH_
                v = re.sub(r"_x([0-9A-Fa-f]{4})_", lambda m: chr(int(m.group(1), 16)), v)
                v = v.replace("\0", "<NUL>")  # the records are NUL-separated
            out += ["type" + at + t, "value" + at + v, "format" + at + cell.number_format]
        if styles:
            f, fl, b = cell.font, cell.fill, cell.border
            out.append("font" + at + "%s|%s|%d|%d|%s" % (f.name, f.sz, bool(f.b), bool(f.i), rgb(f.color)))
            out.append("fill" + at + (fl.fill_type + "|" + rgb(fl.fgColor) if fl.fill_type else "-|-"))
            sides = [s.style or "-" for s in (b.left, b.right, b.top, b.bottom)]
            out.append("border" + at + "|".join(sides) + "|%d" % bool(b.diagonalUp or b.diagonalDown))
    out.append("size\t%d %d" % size)
    if styles:
        out += ["width %s\t%r" % (k, d.width) for k, d in sorted(ws.column_dimensions.items()) if d.customWidth]
    sys.stdout.buffer.write("\0".join(out).encode())


if __name__ == "__main__":
    main(sys.argv[1], "--styles" in sys.argv)
