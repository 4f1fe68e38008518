#!/usr/bin/python3
"""Copies a parcel CSV for glabels, adding the digits of each barcode field as a column of its own
(glabels' barcode objects show a whole field, and the element string's parentheses are not part of
the symbol). usage: glabels_records.py IN.csv OUT.csv"""
import csv
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from label_layout import BARCODES  # noqa: E402
from make_glabels import DIGITS_SUFFIX  # noqa: E402


def main():
    src, out = sys.argv[1], sys.argv[2]
    fields = [b[4] for b in BARCODES]
    with open(src, newline="", encoding="utf-8-sig") as f, open(out, "w", newline="", encoding="utf-8") as g:
        reader = csv.DictReader(f)
        missing = [name for name in fields if name not in (reader.fieldnames or [])]
        if missing:
            sys.exit(f"{src}: no column {', '.join(missing)}")
        writer = csv.DictWriter(g, fieldnames=reader.fieldnames + [n + DIGITS_SUFFIX for n in fields],
                                lineterminator="\r\n")
        writer.writeheader()
        for rec in reader:
            for name in fields:
                rec[name + DIGITS_SUFFIX] = "".join(ch for ch in rec[name] if ch.isdigit())
            writer.writerow(rec)


if __name__ == "__main__":
    main()
