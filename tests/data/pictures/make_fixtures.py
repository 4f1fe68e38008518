#!/usr/bin/env python3
"""Writes the small picture fixtures of the picture-format tests (standard library only).

Run from this folder: python3 make_fixtures.py. The progressive and grey JPEGs need cjpeg.
Most raster fixtures show the same 4 x 3 pattern, rows from the top:
    red   green blue  white
    white red   green blue
    blue  white red   green
"""
import os
import struct
import subprocess
import zlib

R, G, B, W, K = (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255), (0, 0, 0)
PATTERN = [[R, G, B, W], [W, R, G, B], [B, W, R, G]]
PALETTE = [R, G, B, W]


def write(name, data):
    with open(name, "wb") as f:
        f.write(data)


# ---------- BMP ----------
def bmp_file(info, palette, pixels):
    off = 14 + len(info) + len(palette)
    return b"BM" + struct.pack("<IHHI", off + len(pixels), 0, 0, off) + info + palette + pixels


def info_header(w, h, bpp, compression=0, size_image=0, clr_used=0):
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, bpp, compression, size_image, 2835, 2835, clr_used, 0)


def pal_bytes(colours):
    return b"".join(struct.pack("BBBB", c[2], c[1], c[0], 0) for c in colours)


def pad(row):
    return row + b"\0" * ((4 - len(row) % 4) % 4)


def bmp_indexed(bpp):
    rows = []
    for y in range(3):
        idx = [PALETTE.index(c) for c in PATTERN[y]]
        if bpp == 8:
            row = bytes(idx)
        elif bpp == 4:
            row = bytes([(idx[0] << 4) | idx[1], (idx[2] << 4) | idx[3]])
        rows.append(pad(row))
    return bmp_file(info_header(4, 3, bpp), pal_bytes(PALETTE), b"".join(reversed(rows)))


def bmp_1bit():
    # black and white checkerboard: top-left black
    rows = []
    for y in range(3):
        bits = 0
        for x in range(4):
            if (x + y) % 2 == 1:
                bits |= 0x80 >> x
        rows.append(pad(bytes([bits])))
    return bmp_file(info_header(4, 3, 1), pal_bytes([K, W]), b"".join(reversed(rows)))


def bmp_16():
    rows = []
    for y in range(3):
        row = b""
        for (r, g, b) in PATTERN[y]:
            row += struct.pack("<H", ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3))
        rows.append(pad(row))
    return bmp_file(info_header(4, 3, 16), b"", b"".join(reversed(rows)))


def bmp_24(top_down=False):
    rows = [pad(b"".join(bytes([c[2], c[1], c[0]]) for c in PATTERN[y])) for y in range(3)]
    data = b"".join(rows if top_down else reversed(rows))
    return bmp_file(info_header(4, -3 if top_down else 3, 24), b"", data)


def bmp_32_alpha():
    # bit fields with an alpha mask; the top-left pixel is half transparent
    rows = []
    for y in range(3):
        row = b""
        for x, c in enumerate(PATTERN[y]):
            a = 128 if (x, y) == (0, 0) else 255
            row += bytes([c[2], c[1], c[0], a])
        rows.append(row)
    info = struct.pack("<IiiHHIIiiII", 56, 4, 3, 1, 32, 3, 0, 2835, 2835, 0, 0)
    info += struct.pack("<IIII", 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000)
    return bmp_file(info, b"", b"".join(reversed(rows)))


def bmp_rle8():
    # bottom-up rows: each row as an encoded run and an absolute run, then end of line
    data = b""
    for y in reversed(range(3)):
        idx = [PALETTE.index(c) for c in PATTERN[y]]
        data += bytes([1, idx[0]])                      # encoded run of 1
        data += bytes([0, 3] + idx[1:4]) + b"\0"        # absolute run of 3, padded to a word
        data += b"\0\0"                                 # end of line
    data += b"\0\1"                                     # end of bitmap
    return bmp_file(info_header(4, 3, 8, 1, len(data), 4), pal_bytes(PALETTE), data)


def bmp_rle4():
    data = b""
    for y in reversed(range(3)):
        idx = [PALETTE.index(c) for c in PATTERN[y]]
        data += bytes([1, idx[0] << 4])                                # encoded run of 1
        data += bytes([0, 3, (idx[1] << 4) | idx[2], idx[3] << 4])      # absolute run of 3 (2 bytes)
        data += b"\0\0"
    data += b"\0\1"
    return bmp_file(info_header(4, 3, 4, 2, len(data), 4), pal_bytes(PALETTE), data)


# ---------- PNG ----------
def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def png_rgba():
    # 3 x 2: top row red opaque, green half transparent, blue fully transparent; bottom row white
    px = [[(255, 0, 0, 255), (0, 255, 0, 128), (0, 0, 255, 0)], [(255, 255, 255, 255)] * 3]
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in px)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", 3, 2, 8, 6, 0, 0, 0)) +
            png_chunk(b"IDAT", zlib.compress(raw)) + png_chunk(b"IEND", b""))


def png_rgb(w, h, colour):
    raw = b"".join(b"\0" + bytes(colour) * w for _ in range(h))
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) +
            png_chunk(b"IDAT", zlib.compress(raw)) + png_chunk(b"IEND", b""))


# ---------- GIF ----------
def lzw_encode(indexes, min_size):
    clear, eoi = 1 << min_size, (1 << min_size) + 1
    out, acc, nbits = bytearray(), 0, 0
    size = min_size + 1

    def emit(code):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    table = {(i,): i for i in range(clear)}
    nxt = eoi + 1
    emit(clear)
    w = ()
    for k in indexes:
        wk = w + (k,)
        if wk in table:
            w = wk
            continue
        emit(table[w])
        if nxt < 4096:
            table[wk] = nxt
            nxt += 1
            if nxt - 1 == (1 << size) and size < 12:
                size += 1
        w = (k,)
    emit(table[w])
    nxt += 1
    if nxt - 1 == (1 << size) and size < 12:
        size += 1
    emit(eoi)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def sub_blocks(data):
    out = b""
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out += bytes([len(chunk)]) + chunk
    return out + b"\0"


def gif_two_frames():
    # 3 x 2 screen, global table red green blue white (index 3 transparent in frame 1).
    table = b"".join(bytes(c) for c in PALETTE)
    out = b"GIF89a" + struct.pack("<HHBBB", 3, 2, 0x80 | 0x01, 0, 0) + table
    # frame 1: top row red, green, transparent; bottom row blue, blue, blue
    out += b"\x21\xF9\x04" + bytes([0x01]) + struct.pack("<H", 10) + bytes([3]) + b"\0"
    out += b"\x2C" + struct.pack("<HHHHB", 0, 0, 3, 2, 0) + bytes([2]) + sub_blocks(lzw_encode([0, 1, 3, 2, 2, 2], 2))
    # frame 2: all green, with a longer run so the code size grows
    out += b"\x21\xF9\x04" + bytes([0x00]) + struct.pack("<H", 10) + bytes([0]) + b"\0"
    out += b"\x2C" + struct.pack("<HHHHB", 0, 0, 3, 2, 0) + bytes([2]) + sub_blocks(lzw_encode([1] * 6, 2))
    return out + b"\x3B"


def gif_interlaced_local_table():
    # GIF87a, 2 x 5, no global table, local table black/white, interlaced: row y is white when y is odd
    table = bytes(K) + bytes(W)
    rows = [[y % 2] * 2 for y in range(5)]
    order = [0, 4, 2, 1, 3]  # passes: 0 (every 8th), 4 (from 4), 2 (from 2), 1, 3
    indexes = [i for y in order for i in rows[y]]
    out = b"GIF87a" + struct.pack("<HHBBB", 2, 5, 0, 0, 0)
    out += b"\x2C" + struct.pack("<HHHHB", 0, 0, 2, 5, 0x80 | 0x40 | 0x00) + table
    out += bytes([2]) + sub_blocks(lzw_encode(indexes, 2))
    return out + b"\x3B"


def gif_large_run():
    # 160 x 160: frame 1 red with one blue dot; frame 2 pseudo-random over four colours, enough
    # data for the code size to reach 12 bits and the code table to fill up
    import random
    table = b"".join(bytes(c) for c in (R, B, G, W))
    idx = [0] * (160 * 160)
    idx[160 * 10 + 20] = 1
    out = b"GIF89a" + struct.pack("<HHBBB", 160, 160, 0x81, 0, 0) + table
    out += b"\x2C" + struct.pack("<HHHHB", 0, 0, 160, 160, 0) + bytes([2]) + sub_blocks(lzw_encode(idx, 2))
    rnd = random.Random(7)
    idx2 = [rnd.randrange(4) for _ in range(160 * 160)]
    out += b"\x2C" + struct.pack("<HHHHB", 0, 0, 160, 160, 0) + bytes([2]) + sub_blocks(lzw_encode(idx2, 2))
    rows = [pad(bytes(idx2[y * 160:(y + 1) * 160])) for y in range(160)]
    expected = bmp_file(info_header(160, -160, 8, 0, 0, 4), pal_bytes((R, B, G, W)), b"".join(rows))
    return out + b"\x3B", expected


# ---------- ICO ----------
def ico_with_png():
    # an 8 x 8 BMP entry (24-bit, AND mask making the top-left pixel transparent) and a 16 x 16 PNG entry
    w = h = 8
    xor = b"".join(pad(bytes([0, 0, 255]) * w) for _ in range(h))  # red, bottom-up
    mask_rows = []
    for y in reversed(range(h)):
        bits = 0x80 if y == 0 else 0
        mask_rows.append(pad(bytes([bits])))
    andmask = b"".join(mask_rows)
    bmp = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 24, 0, 0, 0, 0, 0, 0) + xor + andmask
    png = png_rgb(16, 16, (0, 0, 255))
    entries = [(8, 8, 24, bmp), (16, 16, 32, png)]
    out = struct.pack("<HHH", 0, 1, len(entries))
    off = 6 + 16 * len(entries)
    dirs, blobs = b"", b""
    for (ew, eh, bits, blob) in entries:
        dirs += struct.pack("<BBBBHHII", ew, eh, 0, 0, 1, bits, len(blob), off + len(blobs))
        blobs += blob
    return out + dirs + blobs, struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 8, 8, 0, 0, 1, 24, len(bmp), 22) + bmp


# ---------- WMF ----------
def wmf_record(fn, *words, raw=b""):
    body = struct.pack("<%dh" % len(words), *words) + raw
    return struct.pack("<IH", 3 + len(body) // 2, fn) + body


def wmf_picture():
    # bounds 0..1000 at 1000 units per inch: 96 x 96 pixels
    recs = b""
    recs += wmf_record(0x0103, 8)                                     # anisotropic
    recs += wmf_record(0x020B, 0, 0)                                  # window origin
    recs += wmf_record(0x020C, 1000, 1000)                            # window extent
    recs += wmf_record(0x02FC, 0, 0x00FF, 0, 0)                       # brush 0: solid red (COLORREF as 2 words)
    recs += wmf_record(0x02FA, 5, 0, 0, 0, 0)                         # pen 1: null
    recs += wmf_record(0x012D, 0)
    recs += wmf_record(0x012D, 1)
    recs += wmf_record(0x041B, 500, 500, 100, 100)                    # rectangle (bottom, right, top, left)
    recs += wmf_record(0x02FC, 0, 0, 0x00FF, 0)                       # brush 2: solid blue
    recs += wmf_record(0x012D, 2)
    recs += wmf_record(0x0418, 900, 900, 600, 600)                    # ellipse
    recs += wmf_record(0x01F0, 0)                                     # delete brush 0: slot 0 free again
    recs += wmf_record(0x02FA, 0, 20, 0, 0x0000, 0x0000)              # pen 0 (reused slot): solid black, 20 wide
    recs += wmf_record(0x012D, 0)
    recs += wmf_record(0x0214, 100, 600)                              # move to (x 600, y 100)
    recs += wmf_record(0x0213, 100, 950)                              # line to (x 950, y 100)
    face = b"Arial".ljust(32, b"\0")
    recs += wmf_record(0x02FB, -200, 0, 0, 0, 700, raw=bytes([0, 0, 0, 1, 0, 0, 0, 0]) + face)  # font 3
    recs += wmf_record(0x012D, 3)
    recs += wmf_record(0x0209, 0, 0)                                  # text colour black
    recs += wmf_record(0x0102, 1)                                     # transparent background
    recs += wmf_record(0x0521, 2, raw=b"HH" + struct.pack("<hh", 700, 100))  # text at x 100, y 700
    recs += wmf_record(0x012D, 1)                                     # null pen again
    recs += wmf_record(0x012D, 2)                                     # blue brush
    # pie in (50,520)-(450,680) from the right (450,600) counter-clockwise to the top (250,520)
    recs += wmf_record(0x081A, 520, 250, 600, 450, 680, 450, 520, 50)
    # a 2 x 2 DIB (top row red, yellow; bottom row black, white) stretched over (600,200)-(900,500)
    dib = struct.pack("<IiiHHIIiiII", 40, 2, 2, 1, 24, 0, 0, 0, 0, 0, 0)
    dib += bytes([0, 0, 0, 255, 255, 255]) + b"\0\0" + bytes([0, 0, 255, 0, 255, 255]) + b"\0\0"
    recs += wmf_record(0x0F43, 0x0020, 0x00CC, 0, 2, 2, 0, 0, 300, 300, 200, 600, raw=dib)
    recs += wmf_record(0x0626, 1, 2, 3)                               # escape record: skipped
    recs += wmf_record(0x0000)
    header = struct.pack("<HHHIHIH", 1, 9, 0x300, (18 + len(recs)) // 2, 3, 16, 0)
    words = struct.unpack("<10H", struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, 1000, 1000, 1000, 0))
    checksum = 0
    for w_ in words:
        checksum ^= w_
    placeable = struct.pack("<IHhhhhHIH", 0x9AC6CDD7, 0, 0, 0, 1000, 1000, 1000, 0, checksum)
    return placeable + header + recs


# ---------- EMF ----------
def emr(kind, body):
    return struct.pack("<II", kind, 8 + len(body)) + body


def emf_picture():
    recs = b""
    recs += emr(17, struct.pack("<I", 1))                                    # MM_TEXT
    recs += emr(39, struct.pack("<IIII", 1, 0, 0x0000FF00, 0))               # brush 1: solid green
    recs += emr(37, struct.pack("<I", 1))
    recs += emr(37, struct.pack("<I", 0x80000008))                           # stock null pen
    recs += emr(43, struct.pack("<iiii", 10, 10, 50, 50))                    # rectangle
    recs += emr(17, struct.pack("<I", 8))                                    # anisotropic: 200 logical = 96 pixels
    recs += emr(9, struct.pack("<ii", 200, 200))
    recs += emr(11, struct.pack("<ii", 96, 96))
    recs += emr(39, struct.pack("<IIII", 2, 0, 0x00FF0000, 0))               # brush 2: solid blue
    recs += emr(37, struct.pack("<I", 2))
    recs += emr(86, struct.pack("<iiiiI", 0, 0, 0, 0, 3) + struct.pack("<6h", 120, 120, 180, 120, 150, 180))  # polygon16
    recs += emr(17, struct.pack("<I", 1))
    # a 2 x 2 DIB stretched over (60,10)-(90,40): top row red, yellow; bottom row (first in the data) black, white
    bmi = struct.pack("<IiiHHIIiiII", 40, 2, 2, 1, 24, 0, 0, 0, 0, 0, 0)
    bits = bytes([0, 0, 0, 255, 255, 255]) + b"\0\0" + bytes([0, 0, 255, 0, 255, 255]) + b"\0\0"
    fixed = 8 + 16 + 4 * 14
    body = struct.pack("<iiii", 60, 10, 90, 40) + struct.pack("<iiiiii", 60, 10, 0, 0, 2, 2)
    body += struct.pack("<IIII", fixed, len(bmi), fixed + len(bmi), len(bits)) + struct.pack("<II", 0, 0x00CC0020)
    body += struct.pack("<ii", 30, 30) + bmi + bits
    recs += emr(81, body)
    face = "Arial".encode("utf-16-le").ljust(64, b"\0")
    recs += emr(82, struct.pack("<IiiiiiBBBBBBBB", 3, -20, 0, 0, 0, 700, 0, 0, 0, 1, 0, 0, 0, 0) + face)  # font 3
    recs += emr(37, struct.pack("<I", 3))
    recs += emr(24, struct.pack("<I", 0))                                    # text colour black
    recs += emr(18, struct.pack("<I", 1))                                    # transparent background
    recs += emr(22, struct.pack("<I", 0))                                    # top-left alignment
    text = "HH".encode("utf-16-le")
    fixed = 8 + 16 + 4 + 8 + 8 + 4 + 4 + 4 + 16 + 4
    body = struct.pack("<iiii", 0, 0, 0, 0) + struct.pack("<Iff", 1, 1.0, 1.0)
    body += struct.pack("<iiIII", 10, 60, 2, fixed, 0) + struct.pack("<iiii", 0, 0, 0, 0) + struct.pack("<I", fixed + 4)
    body += text + struct.pack("<ii", 14, 14)
    recs += emr(84, body)
    recs += emr(59, b"")                                                     # path: a triangle, filled blue
    recs += emr(27, struct.pack("<ii", 5, 86))
    recs += emr(54, struct.pack("<ii", 45, 86))
    recs += emr(54, struct.pack("<ii", 25, 95))
    recs += emr(61, b"")
    recs += emr(60, b"")
    recs += emr(62, struct.pack("<iiii", 5, 86, 45, 95))
    recs += emr(70, struct.pack("<I", 4) + b"junk")                          # a comment: skipped
    recs += emr(14, struct.pack("<III", 0, 16, 20))
    # header: bounds 0..95, frame 0..2540 hundredths of a millimetre (96 pixels), a 96 dpi reference device
    total = 108 + len(recs)
    header = struct.pack("<iiii", 0, 0, 95, 95) + struct.pack("<iiii", 0, 0, 2540, 2540)
    header += struct.pack("<IIIIHHIIIiiii", 0x464D4520, 0x10000, total, 20, 3, 0, 0, 0, 0, 960, 960, 254, 254)
    header += struct.pack("<IIIii", 0, 0, 0, 254000, 254000)
    return emr(1, header) + recs


def ppm(w, h, pixel):
    return b"P6\n%d %d\n255\n" % (w, h) + b"".join(bytes(pixel(x, y)) for y in range(h) for x in range(w))


def main():
    write("bmp_1bit.bmp", bmp_1bit())
    write("bmp_4bit.bmp", bmp_indexed(4))
    write("bmp_8bit.bmp", bmp_indexed(8))
    write("bmp_16bit.bmp", bmp_16())
    write("bmp_24bit.bmp", bmp_24())
    write("bmp_24bit_topdown.bmp", bmp_24(True))
    write("bmp_32bit_alpha.bmp", bmp_32_alpha())
    write("bmp_rle8.bmp", bmp_rle8())
    write("bmp_rle4.bmp", bmp_rle4())
    write("png_rgba.png", png_rgba())
    write("gif_two_frames.gif", gif_two_frames())
    write("gif_interlaced.gif", gif_interlaced_local_table())
    large, large_frame2 = gif_large_run()
    write("gif_large.gif", large)
    write("gif_large_frame2.bmp", large_frame2)
    ico, ico_bmp = ico_with_png()
    write("ico_png.ico", ico)
    write("ico_bmp.ico", ico_bmp)
    write("picture.wmf", wmf_picture())
    write("picture.emf", emf_picture())
    # 32 x 16: left half red, right half blue
    src = ppm(32, 16, lambda x, y: R if x < 16 else B)
    for name, args in (("jpeg_progressive.jpg", ["-progressive"]), ("jpeg_grey.jpg", ["-grayscale"])):
        out = subprocess.run(["cjpeg", "-quality", "95"] + args, input=src, capture_output=True, check=True).stdout
        write(name, out)


if __name__ == "__main__":
    os.chdir(os.path.dirname(os.path.abspath(__file__)))
    main()
