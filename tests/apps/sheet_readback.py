#!/usr/bin/python3
"""sheet_readback.py FILE [--styles]: a workbook as its reader reads it - xlrd for a name ending in .xls, openpyxl
otherwise - in NUL-separated "KEY<TAB>VALUE" records: sheets, size (rows and columns holding values), per cell
("type 2 1": row 2, column 1) type, value and format, with --styles font "NAME|SIZE|BOLD|ITALIC|RGB", fill
"PATTERN|RGB", border "L|R|T|B|DIAGONAL" and widths in characters; for .xls "log": what xlrd found worth a warning."""
import io, re, sys


def cell_records(out, at, t, v, fmt):
    out += ["type" + at + t, "value" + at + v.replace("\0", "<NUL>"), "format" + at + fmt]  # the records are NUL-separated


def style_records(out, at, font, fill, sides, diagonal):
    out += ["font" + at + "%s|%s|%d|%d|%s" % font, "fill" + at + fill, "border" + at + "|".join(sides) + "|%d" % diagonal]


def xlsx(path, styles, out):
    import openpyxl

    def rgb(c):
        return str(c.rgb)[-6:] if c is not None and c.type == "rgb" and c.rgb else "-"

    # Opened as a file: openpyxl would refuse the name "x.xls" by its ending.
    wb = openpyxl.load_workbook(open(path, "rb"), read_only=not styles)
    ws = wb.worksheets[0]
    if not styles:
        ws.reset_dimensions()  # read every row, whatever the file claims
    out.append("sheets\t" + "|".join(wb.sheetnames))
    size = (0, 0)
    for cell in (c for row in ws.iter_rows() for c in row):
        v, t = cell.value, cell.data_type
        if v is None and not styles:
            continue  # read-only empty cells have no position
        at = " %d %d\t" % (cell.row, cell.column)
        if v is not None:
            size = (max(size[0], cell.row), max(size[1], cell.column))
            v = (v.isoformat(sep=" ") if t == "d" else ("TRUE" if v else "FALSE") if t == "b" else repr(v) if t == "n"
                 else re.sub(r"_x([0-9A-Fa-f]{4})_", lambda m: chr(int(m.group(1), 16)), v))  # as a spreadsheet decodes
            cell_records(out, at, t, v, cell.number_format)
        if styles:
            f, fl, b = cell.font, cell.fill, cell.border
            style_records(out, at, (f.name, f.sz, bool(f.b), bool(f.i), rgb(f.color)),
                          fl.fill_type + "|" + rgb(fl.fgColor) if fl.fill_type else "-|-",
                          [s.style or "-" for s in (b.left, b.right, b.top, b.bottom)], bool(b.diagonalUp or b.diagonalDown))
    out.append("size\t%d %d" % size)
    if styles:
        out += ["width %s\t%r" % (k, d.width) for k, d in sorted(ws.column_dimensions.items()) if d.customWidth]


def xls(path, styles, out):
    import xlrd
    from xlrd.formula import colname

    types = {xlrd.XL_CELL_TEXT: "s", xlrd.XL_CELL_NUMBER: "n", xlrd.XL_CELL_DATE: "d", xlrd.XL_CELL_BOOLEAN: "b"}
    log = io.StringIO()
    book = xlrd.open_workbook(path, formatting_info=True, logfile=log, verbosity=1)
    sheet = book.sheet_by_index(0)

    def rgb(icv):
        c = book.colour_map.get(icv)
        return "%02X%02X%02X" % c if c else "-"

    out.append("sheets\t" + "|".join(book.sheet_names()))
    size = (0, 0)
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            cell, at = sheet.cell(r, c), " %d %d\t" % (r + 1, c + 1)
            xf = book.xf_list[cell.xf_index]
            if cell.ctype in types:
                size = (max(size[0], r + 1), max(size[1], c + 1))
                v, t = cell.value, types[cell.ctype]
                v = (xlrd.xldate.xldate_as_datetime(v, book.datemode).isoformat(sep=" ") if t == "d"
                     else ("TRUE" if v else "FALSE") if t == "b"
                     else repr(int(v) if v.is_integer() and abs(v) < 2 ** 53 else v) if t == "n" else v)
                cell_records(out, at, t, v, book.format_map[xf.format_key].format_str)
            if styles:
                f, fill, b = book.font_list[xf.font_index], xf.background, xf.border
                lines = (b.left_line_style, b.right_line_style, b.top_line_style, b.bottom_line_style)
                style_records(out, at, (f.name, repr(f.height / 20), f.weight >= 700, f.italic, rgb(f.colour_index)),
                              "solid|" + rgb(fill.pattern_colour_index) if fill.fill_pattern == 1
                              else "-|-" if fill.fill_pattern == 0 else "pattern %d" % fill.fill_pattern,
                              [{0: "-", 1: "thin"}.get(s, str(s)) for s in lines], bool(b.diag_up or b.diag_down))
    out.append("size\t%d %d" % size)
    out += ["width %s\t%r" % (colname(k), ci.width / 256) for k, ci in sorted(sheet.colinfo_map.items())]
    # xlrd finds the millisecond format ambiguous by its own count of date and
    # number letters (it still reads a date); everything else is a fault.
    out.append("log\t" + "".join(line for line in log.getvalue().splitlines(True)
                                 if "***" in line and "is_date_format: ambiguous" not in line))


if __name__ == "__main__":
    records = []
    (xls if sys.argv[1].lower().endswith(".xls") else xlsx)(sys.argv[1], "--styles" in sys.argv, records)
    sys.stdout.buffer.write("\0".join(records).encode())
