#!/usr/bin/python3
"""Writes parcel.glabels, the sample parcel label as a glabels document merged from a CSV with
a header row, for the comparison's second peer. usage: make_glabels.py OUT.glabels

glabels reads a missing transform (a0..a5) on an object as all zeros and draws every such object
at zero size, so each object carries the identity. Its barcode objects take a whole field and no
more; the merged CSV therefore needs the digits of each barcode field in a column of its own
(glabels_records.py adds them)."""
import os
import re
import sys
from xml.sax.saxutils import escape, quoteattr

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from label_layout import BARCODES, BOXES, LINES, MARGIN_MM, PAGE_MM, PT_PER_UNIT, TEXTS  # noqa: E402

MM = 72 / 25.4
IDENTITY = 'a0="1" a1="0" a2="0" a3="1" a4="0" a5="0"'
DIGITS_SUFFIX = "_digits"  # the column glabels_records.py adds for each barcode field


def pt(v):
    return f"{v:.3f}pt"


def main():
    u = PT_PER_UNIT
    ox = oy = MARGIN_MM * MM
    w, h = PAGE_MM[0] * MM, PAGE_MM[1] * MM
    out = ['<?xml version="1.0"?>', '<Glabels-document xmlns="http://glabels.org/xmlns/3.0/">',
           f'  <Template brand="Pagewright" part="parcel-105x148" size="Other" width="{pt(w)}" height="{pt(h)}" '
           'description="Parcel label 105 x 148 mm">',
           '    <Meta category="label"/>',
           f'    <Label-rectangle id="0" width="{pt(w)}" height="{pt(h)}" round="0pt" x_waste="0pt" y_waste="0pt">',
           f'      <Layout nx="1" ny="1" x0="0pt" y0="0pt" dx="{pt(w)}" dy="{pt(h)}"/>',
           '    </Label-rectangle>', '  </Template>', '  <Objects id="0" rotate="False">']
    for x0, y0, bw, bh in BOXES:
        out.append(f'    <Object-box {IDENTITY} x="{pt(ox + x0 * u)}" y="{pt(oy + y0 * u)}" w="{pt(bw * u)}" h="{pt(bh * u)}" '
                   'line_width="0.75pt" line_color="0x000000ff" fill_color="0x00000000"/>')
    for x1, y1, x2, y2 in LINES:
        out.append(f'    <Object-line {IDENTITY} x="{pt(ox + x1 * u)}" y="{pt(oy + y1 * u)}" dx="{pt((x2 - x1) * u)}" '
                   f'dy="{pt((y2 - y1) * u)}" line_width="0.75pt" line_color="0x000000ff"/>')
    for x0, y0, tw, th, text, size, bold, align, shaded in TEXTS:
        if shaded:
            out.append(f'    <Object-box {IDENTITY} x="{pt(ox + x0 * u)}" y="{pt(oy + y0 * u)}" w="{pt(tw * u)}" h="{pt(th * u)}" '
                       'line_width="0pt" line_color="0x00000000" fill_color="0xd9d9d9ff"/>')
        parts = []
        for piece in re.split(r"(\{\w+\})", text):
            if piece.startswith("{"):
                parts.append(f'<Field name="{piece[1:-1]}"/>')
            elif piece:
                parts.append(escape(piece))
        # glabels wraps a text wider than its box (its line is wider than ours); shrinking keeps one line.
        # It also draws a shrunk text from the left, so only left-aligned texts may shrink.
        out.append(f'    <Object-text {IDENTITY} x="{pt(ox + x0 * u)}" y="{pt(oy + y0 * u)}" w="{pt(tw * u)}" h="{pt(th * u)}" '
                   f'justify="{align.capitalize()}" valign="Top" auto_shrink="{"True" if align == "left" else "False"}">'
                   f'<Span font_family="Liberation Sans" font_size="{size}" '
                   f'font_weight="{"Bold" if bold else "Regular"}" font_italic="False" color="0x000000ff" '
                   f'line_spacing="1">{"".join(parts)}</Span></Object-text>')
    for x0, y0, bw, bh, field in BARCODES:
        # Bars above, the element string with its parentheses in 12 pt below, as the sample draws it.
        out.append(f'    <Object-barcode {IDENTITY} x="{pt(ox + x0 * u)}" y="{pt(oy + y0 * u)}" w="{pt(bw * u)}" '
                   f'h="{pt((bh - 28) * u)}" backend="gnu-barcode" style="Code128" text="False" checksum="True" '
                   f'color="0x000000ff" field={quoteattr(field + DIGITS_SUFFIX)}/>')
        out.append(f'    <Object-text {IDENTITY} x="{pt(ox + x0 * u)}" y="{pt(oy + (y0 + bh - 26) * u)}" '
                   f'w="{pt(bw * u)}" h="{pt(26 * u)}" justify="Center" valign="Top" auto_shrink="False">'
                   '<Span font_family="Liberation Sans" font_size="12" font_weight="Regular" font_italic="False" '
                   f'color="0x000000ff" line_spacing="1"><Field name="{field}"/></Span></Object-text>')
    out += ['  </Objects>', '  <Merge type="Text/Comma/Line1Keys" src="records.csv"/>', '</Glabels-document>', '']
    with open(sys.argv[1], "w", encoding="utf-8") as f:
        f.write("\n".join(out))


if __name__ == "__main__":
    main()
