#!/usr/bin/python3
"""xls_readback.py FILE [--styles]: an Excel 97-2003 workbook as xlrd reads it, in the records
excel_readback.py prints for .xlsx (widths in characters, padding included), and "log": what xlrd
found worth a warning."""
import io
import sys

import xlrd
from xlrd.formula import colname

TYPES = {xlrd.XL_CELL_TEXT: "s", xlrd.XL_CELL_NUMBER: "n", xlrd.XL_CELL_DATE: "d", xlrd.XL_CELL_BOOLEAN: "b"}
LINES = {0: "-", 1: "thin"}


def main(path, styles):
    log = io.StringIO()
    book = xlrd.open_workbook(path, formatting_info=True, logfile=log, verbosity=1)
    sheet = book.sheet_by_index(0)

    def rgb(icv):
        c = book.colour_map.get(icv)
        return "%02X%02X%02X" % c if c else "-"

    out = ["sheets\t" + "|".join(book.sheet_names())]
    size = (0, 0)
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            at = " %d %d\t" % (r + 1, c + 1)
            xf = book.xf_list[cell.xf_index]
            if cell.ctype in TYPES:
                size = (max(size[0], r + 1), max(size[1], c + 1))
                v = cell.value
                if cell.ctype == xlrd.XL_CELL_DATE:
                    v = xlrd.xldate.xldate_as_datetime(v, book.datemode).isoformat(sep=" ")
                elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                    v = "TRUE" if v else "FALSE"
                elif cell.ctype == xlrd.XL_CELL_NUMBER:
                    v = repr(int(v)) if v.is_integer() and abs(v) < 2 ** 53 else repr(v)
                else:
                    v = v.replace("\0", "<NUL>")  # the records are NUL-separated
                fmt = book.format_map[xf.format_key].format_str
                out += ["type" + at + TYPES[cell.ctype], "value" + at + v, "format" + at + fmt]
            if not styles:
                continue
            f, fill, b = book.font_list[xf.font_index], xf.background, xf.border
            out.append("font" + at + "%s|%r|%d|%d|%s" % (f.name, f.height / 20, f.weight >= 700, f.italic,
                                                           rgb(f.colour_index)))
            out.append("fill" + at + ("solid|" + rgb(fill.pattern_colour_index) if fill.fill_pattern == 1
                                      else "-|-" if fill.fill_pattern == 0 else "pattern %d" % fill.fill_pattern))
            sides = [LINES.get(s, str(s)) for s in (b.left_line_style, b.right_line_style, b.top_line_style,
                                                      b.bottom_line_style)]
            out.append("border" + at + "|".join(sides) + "|%d" % bool(b.diag_up or b.diag_down))
    out.append("size\t%d %d" % size)
    out += ["width %s\t%r" % (colname(k), ci.width / 256) for k, ci in sorted(sheet.colinfo_map.items())]
    # xlrd finds the millisecond format ambiguous by its own count of date and
    # number letters (it still reads a date); everything else is a fault.
    out.append("log\t" + "".join(line for line in log.getvalue().splitlines(True)
                                 if "***" in line and "is_date_format: ambiguous" not in line))
    sys.stdout.buffer.write("\0".join(out).encode())


if __name__ == "__main__":
    main(sys.argv[1], "--styles" in sys.argv)
