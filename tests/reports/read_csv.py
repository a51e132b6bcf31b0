#!/usr/bin/env python3
"""Reads a CSV file (or stdin) with Python's csv module, strictly, and prints its records as JSON.

The first output line tells whether the input began with a UTF-8 byte-order mark, so a test sees
both the records and the encoding without parsing CSV itself.
"""
import csv
import io
import json
import sys

data = open(sys.argv[1], "rb").read() if len(sys.argv) > 1 else sys.stdin.buffer.read()
bom = data.startswith(b"\xef\xbb\xbf")
text = data.decode("utf-8-sig")
records = list(csv.reader(io.StringIO(text, newline=""), strict=True))
print(json.dumps({"bom": bom, "records": records}, ensure_ascii=False))
