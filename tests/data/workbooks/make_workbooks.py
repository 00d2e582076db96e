#!/usr/bin/python3
"""Regenerates the workbook fixtures of tst_workbookreader and tst_torquepointlist.

Needs Debian's python3-openpyxl and python3-xlsxwriter (two real writers:
one keeps strings shared, the other inline). Run from anywhere:
    /usr/bin/python3 tests/data/workbooks/make_workbooks.py
"""
import io
import os
import struct
import zipfile

import openpyxl
import xlsxwriter

HERE = os.path.dirname(os.path.abspath(__file__))


def out(name):
    return os.path.join(HERE, name)


def points_workbook():
    # XlsxWriter keeps strings in the shared-string table. Numbers, numeric
    # text, a boolean, an empty second column, and three sheets of which the
    # first is read.
    wb = xlsxwriter.Workbook(out("points.xlsx"))
    ws = wb.add_worksheet("Points")
    ws.write_string(0, 0, "Current")
    ws.write_string(0, 1, "Torque")
    ws.write_boolean(0, 2, True)
    ws.write_boolean(1, 2, False)
    rows = [(0.5, 1.0), (1.0, 2.0), (1.5, None), (2.0, 3.5), (2.5, 4.0),
            ("3.0", "5.5"), (3.5, 6.0), (4.0, 7.25), (4.5, 8.0), (5.0, 9.0),
            (5.5, 10.0), (6.0, 11.5), (6.5, 12.34)]
    for i, (x, y) in enumerate(rows, start=1):
        ws.write(i, 0, x)
        if y is not None:
            ws.write(i, 1, y)
    ws.write_string(4, 3, "电流")
    other = wb.add_worksheet("Other")
    other.write_number(0, 0, 99)
    other.write_string(2, 1, "second sheet")
    wb.add_worksheet("空表")
    wb.close()


def inline_workbook():
    # openpyxl writes its strings inline in each cell.
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Inline"
    ws.append(["Current", "Torque"])
    for i in range(12):
        ws.append([1.0 + i, 10.0 + 2 * i])
    ws.append(["13.5", "40"])
    wb.save(out("inline.xlsx"))


def empty_first_cell_workbook():
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Points"
    ws["B1"] = "Torque"
    for i in range(2, 20):
        ws.cell(row=i, column=1, value=float(i))
        ws.cell(row=i, column=2, value=float(i) * 2)
    wb.save(out("emptyfirstcell.xlsx"))


def rewrite(source, target, replace):
    """Copies a workbook, replacing the members named in replace."""
    with zipfile.ZipFile(out(source)) as src, \
            zipfile.ZipFile(out(target), "w", zipfile.ZIP_DEFLATED, compresslevel=9) as dst:
        for info in src.infolist():
            data = replace.get(info.filename, src.read(info.filename))
            dst.writestr(info.filename, data, zipfile.ZIP_DEFLATED)


SHEET = "xl/worksheets/sheet1.xml"
BOMB_SIZE = 65 * 1024 * 1024


def bomb_xml():
    head = (b'<?xml version="1.0" encoding="UTF-8"?>'
            b'<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
            b'<sheetData><row r="1"><c r="A1"><v>1</v></c><c r="B1"><v>2</v></c></row>')
    tail = b'</sheetData></worksheet>'
    return head + b" " * (BOMB_SIZE - len(head) - len(tail)) + tail


def lie_about_size(name, member, declared):
    """Patches the uncompressed size of one member in both zip headers."""
    path = out(name)
    with zipfile.ZipFile(path) as z:
        info = z.getinfo(member)
    data = bytearray(open(path, "rb").read())
    local = info.header_offset
    assert data[local:local + 4] == b"PK\x03\x04"
    struct.pack_into("<I", data, local + 22, declared)
    eocd = data.rfind(b"PK\x05\x06")
    cd_offset = struct.unpack_from("<I", data, eocd + 16)[0]
    pos = cd_offset
    while data[pos:pos + 4] == b"PK\x01\x02":
        name_len, extra_len, comment_len = struct.unpack_from("<HHH", data, pos + 28)
        if data[pos + 46:pos + 46 + name_len].decode() == member:
            struct.pack_into("<I", data, pos + 24, declared)
        pos += 46 + name_len + extra_len + comment_len
    open(path, "wb").write(bytes(data))


def reordered_parts():
    # Sheet parts named against their order, one target absolute: a reader
    # has to follow the relationships to find the first sheet.
    with zipfile.ZipFile(out("points.xlsx")) as src:
        rels = src.read("xl/_rels/workbook.xml.rels").decode()
        first = src.read("xl/worksheets/sheet1.xml")
        third = src.read("xl/worksheets/sheet3.xml")
    rels = (rels.replace("worksheets/sheet1.xml", "@")
                .replace('Target="worksheets/sheet3.xml"', 'Target="/xl/worksheets/sheet1.xml"')
                .replace("@", "worksheets/sheet3.xml"))
    rewrite("points.xlsx", "reordered.xlsx", {
        "xl/_rels/workbook.xml.rels": rels.encode(),
        "xl/worksheets/sheet1.xml": third,
        "xl/worksheets/sheet3.xml": first,
    })


def malformed():
    whole = open(out("points.xlsx"), "rb").read()
    open(out("truncated.xlsx"), "wb").write(whole[: len(whole) // 2])
    open(out("notazip.xlsx"), "w").write("Current,Torque\n1,2\n")
    # An old binary workbook: compound-document signature, nothing a zip reader takes.
    open(out("legacy.xls"), "wb").write(
        bytes.fromhex("D0CF11E0A1B11AE1") + bytes(504) + b"Workbook" + bytes(512))

    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", "<Types/>")
        z.writestr("docProps/app.xml", "<Properties/>")
    open(out("noworkbook.xlsx"), "wb").write(buf.getvalue())

    rewrite("points.xlsx", "bomb.xlsx", {SHEET: bomb_xml()})
    rewrite("points.xlsx", "bomb-hidden.xlsx", {SHEET: bomb_xml()})
    lie_about_size("bomb-hidden.xlsx", SHEET, 4096)

    entity = (b'<?xml version="1.0" encoding="UTF-8"?>'
              b'<!DOCTYPE worksheet [<!ENTITY a "1234567890">'
              b'<!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">'
              b'<!ENTITY ext SYSTEM "file:///etc/hostname">]>'
              b'<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
              b'<sheetData><row r="1"><c r="A1" t="inlineStr"><is><t>&b;&ext;</t></is></c>'
              b'<c r="B1"><v>2</v></c></row></sheetData></worksheet>')
    rewrite("points.xlsx", "doctype.xlsx", {SHEET: entity})


if __name__ == "__main__":
    points_workbook()
    inline_workbook()
    empty_first_cell_workbook()
    reordered_parts()
    malformed()
