#!/usr/bin/python3
"""Draws the sample parcel label once per CSV record with ReportLab, as the comparison's first
peer. usage: reportlab_labels.py RECORDS.csv OUT.pdf"""
import csv
import os
import sys

from reportlab.graphics.barcode.code128 import Code128
from reportlab.lib.units import mm
from reportlab.pdfbase import pdfmetrics
from reportlab.pdfbase.ttfonts import TTFont
from reportlab.pdfgen import canvas

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from label_layout import BARCODES, BOXES, LINES, MARGIN_MM, PAGE_MM, PT_PER_UNIT, TEXTS  # noqa: E402

FONTS = "/usr/share/fonts/truetype/liberation2"
pdfmetrics.registerFont(TTFont("Sans", os.path.join(FONTS, "LiberationSans-Regular.ttf")))
pdfmetrics.registerFont(TTFont("Sans-Bold", os.path.join(FONTS, "LiberationSans-Bold.ttf")))


def main():
    src, out = sys.argv[1], sys.argv[2]
    width, height = PAGE_MM[0] * mm, PAGE_MM[1] * mm
    left, top = MARGIN_MM * mm, height - MARGIN_MM * mm
    u = PT_PER_UNIT

    def y(v):
        return top - v * u

    c = canvas.Canvas(out, pagesize=(width, height))
    with open(src, newline="", encoding="utf-8-sig") as f:
        for rec in csv.DictReader(f):
            for x0, y0, w, h in BOXES:
                c.rect(left + x0 * u, y(y0 + h), w * u, h * u)
            for x1, y1, x2, y2 in LINES:
                c.line(left + x1 * u, y(y1), left + x2 * u, y(y2))
            for x0, y0, w, h, text, size, bold, align, shaded in TEXTS:
                if shaded:
                    c.setFillGray(0.85)
                    c.rect(left + x0 * u, y(y0 + h), w * u, h * u, stroke=0, fill=1)
                    c.setFillGray(0)
                c.setFont("Sans-Bold" if bold else "Sans", size)
                s = text.format(**rec)
                base = y(y0) - size
                if align == "center":
                    c.drawCentredString(left + (x0 + w / 2) * u, base, s)
                elif align == "right":
                    c.drawRightString(left + (x0 + w) * u - 2, base, s)
                else:
                    c.drawString(left + x0 * u + 2, base, s)
            for x0, y0, w, h, field in BARCODES:
                value = rec[field]
                digits = "".join(ch for ch in value if ch.isdigit())
                bc = Code128(digits, barHeight=(h - 28) * u, barWidth=1.0, humanReadable=False)
                scale = min(1.0, w * u / bc.width)
                c.saveState()
                c.translate(left + x0 * u, y(y0) - (h - 28) * u)
                c.scale(scale, 1)
                bc.drawOn(c, 0, 0)
                c.restoreState()
                c.setFont("Sans", 12)
                c.drawCentredString(left + (x0 + w / 2) * u, y(y0 + h) + 4, value)
            c.showPage()
    c.save()


if __name__ == "__main__":
    main()
