#!/usr/bin/env python3
"""Reads an .xlsx workbook with Python's zipfile and the XML of its parts, and prints as JSON what
a test needs to see: every sheet with its name, cells, frozen pane and column widths, and the
number format of each cell style. Nothing of the writer's own code is used.

Cell: {"t": type attribute ("" for a number), "v": the value as text (an inline or shared string
decoded, _xHHHH_ escapes resolved), "format": the number format code of its style, "formula":
whether it has an <f> element}.
"""
import json
import re
import sys
import zipfile
import xml.etree.ElementTree as ET

NS = {
    "m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
    "r": "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
    "rel": "http://schemas.openxmlformats.org/package/2006/relationships",
}
BUILTIN_FORMATS = {0: "General", 1: "0", 14: "mm-dd-yy", 20: "h:mm", 49: "@"}


def unescape(text):
    # ECMA-376 ST_Xstring: a character XML cannot carry is written _xHHHH_.
    return re.sub(r"_x([0-9A-Fa-f]{4})_", lambda m: chr(int(m.group(1), 16)), text)


def text_of(element):
    return unescape("".join(t.text or "" for t in element.iter("{%s}t" % NS["m"])))


def main(path):
    book = zipfile.ZipFile(path)
    if book.testzip() is not None:
        raise SystemExit("damaged member in " + path)
    shared = []
    if "xl/sharedStrings.xml" in book.namelist():
        root = ET.fromstring(book.read("xl/sharedStrings.xml"))
        shared = [text_of(si) for si in root.findall("m:si", NS)]

    styles = ET.fromstring(book.read("xl/styles.xml"))
    codes = dict(BUILTIN_FORMATS)
    for fmt in styles.findall("m:numFmts/m:numFmt", NS):
        codes[int(fmt.get("numFmtId"))] = fmt.get("formatCode")
    formats = [codes.get(int(xf.get("numFmtId", "0")), "?")
               for xf in styles.findall("m:cellXfs/m:xf", NS)]

    rels = ET.fromstring(book.read("xl/_rels/workbook.xml.rels"))
    targets = {rel.get("Id"): rel.get("Target") for rel in rels.findall("rel:Relationship", NS)}
    workbook = ET.fromstring(book.read("xl/workbook.xml"))
    sheets = []
    for sheet in workbook.findall("m:sheets/m:sheet", NS):
        target = targets[sheet.get("{%s}id" % NS["r"])].lstrip("/")
        part = target if target.startswith("xl/") else "xl/" + target
        root = ET.fromstring(book.read(part))
        cells = {}
        for c in root.iter("{%s}c" % NS["m"]):
            kind = c.get("t", "")
            if kind == "inlineStr":
                value = text_of(c.find("m:is", NS))
            elif kind == "s":
                value = shared[int(c.find("m:v", NS).text)]
            else:
                v = c.find("m:v", NS)
                value = v.text if v is not None else ""
            cells[c.get("r")] = {
                "t": kind,
                "v": value,
                "format": formats[int(c.get("s", "0"))],
                "formula": c.find("m:f", NS) is not None,
            }
        pane = root.find("m:sheetViews/m:sheetView/m:pane", NS)
        cols = [{"min": int(col.get("min")), "max": int(col.get("max")), "width": float(col.get("width"))}
                for col in root.findall("m:cols/m:col", NS)]
        sheets.append({
            "name": sheet.get("name"),
            "cells": cells,
            "pane": dict(pane.attrib) if pane is not None else {},
            "cols": cols,
            "rows": len(root.findall("m:sheetData/m:row", NS)),
        })
    print(json.dumps({"sheets": sheets}, ensure_ascii=False))


main(sys.argv[1])
