#!/usr/bin/env python3
"""Generate the two binary resources of Setup.exe.

    res/Setup.ico    group icon IDR_MAINFRAME: 32x32 and 16x16, 4 bpp
    res/CopyAnim.avi clip IDR_AVI_COPY for the "Copy File" window's
                     SysAnimate32 control: 17 frames of 260x40, RLE8

Standard library only. The output is fully deterministic: running the script
twice gives the same bytes, so the generated files are committed and the
script is only rerun when the pictures change.

    python3 tools/make_icon_and_clip.py [--out-dir DIR]

tools/check_clip.py parses the files back and checks them.
"""

import argparse
import math
import os
import struct

# --------------------------------------------------------------------------
# Palette: the standard Windows 16-colour (VGA) palette, as (R, G, B).
# --------------------------------------------------------------------------

PALETTE = [
    (0x00, 0x00, 0x00),  # 0  black
    (0x80, 0x00, 0x00),  # 1  dark red
    (0x00, 0x80, 0x00),  # 2  dark green
    (0x80, 0x80, 0x00),  # 3  olive
    (0x00, 0x00, 0x80),  # 4  navy
    (0x80, 0x00, 0x80),  # 5  purple
    (0x00, 0x80, 0x80),  # 6  teal
    (0xC0, 0xC0, 0xC0),  # 7  light grey
    (0x80, 0x80, 0x80),  # 8  grey
    (0xFF, 0x00, 0x00),  # 9  red
    (0x00, 0xFF, 0x00),  # 10 lime
    (0xFF, 0xFF, 0x00),  # 11 yellow
    (0x00, 0x00, 0xFF),  # 12 blue
    (0xFF, 0x00, 0xFF),  # 13 magenta: the clip's transparent key colour
    (0x00, 0xFF, 0xFF),  # 14 cyan
    (0xFF, 0xFF, 0xFF),  # 15 white
]

BLACK, MAROON, DKGREEN, OLIVE, NAVY, PURPLE, TEAL, LTGREY = range(8)
GREY, RED, LIME, YELLOW, BLUE, MAGENTA, CYAN, WHITE = range(8, 16)

KEY = MAGENTA


def palette_rgbquads():
    """The palette as DIB RGBQUADs: blue, green, red, reserved 0."""
    return b"".join(struct.pack("<4B", b, g, r, 0) for (r, g, b) in PALETTE)


# --------------------------------------------------------------------------
# A tiny indexed-colour canvas. Coordinates are top-down (y = 0 is the top
# row); the DIB writers flip to bottom-up.
# --------------------------------------------------------------------------


class Canvas:
    def __init__(self, width, height, fill):
        self.w = width
        self.h = height
        self.px = [[fill] * width for _ in range(height)]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def get(self, x, y):
        return self.px[y][x]

    def hline(self, x0, x1, y, c):
        for x in range(min(x0, x1), max(x0, x1) + 1):
            self.set(x, y, c)

    def vline(self, x, y0, y1, c):
        for y in range(min(y0, y1), max(y0, y1) + 1):
            self.set(x, y, c)

    def rect(self, x0, y0, x1, y1, c):
        """Filled rectangle, corners inclusive."""
        for y in range(y0, y1 + 1):
            self.hline(x0, x1, y, c)

    def frame(self, x0, y0, x1, y1, c):
        """Rectangle outline, corners inclusive."""
        self.hline(x0, x1, y0, c)
        self.hline(x0, x1, y1, c)
        self.vline(x0, y0, y1, c)
        self.vline(x1, y0, y1, c)

    def spans(self, rows, c):
        """rows: iterable of (y, x0, x1) spans to fill."""
        for y, x0, x1 in rows:
            self.hline(x0, x1, y, c)

    def copy(self):
        other = Canvas(self.w, self.h, 0)
        other.px = [row[:] for row in self.px]
        return other


# --------------------------------------------------------------------------
# Icon: a closed dictionary (navy cover, yellow label, page block) with a
# green "upgrade" arrow in front of its lower right corner.
# --------------------------------------------------------------------------

NONE = -1  # transparent in icon canvases (AND mask bit set)


def draw_arrow(cv, cx, top, head_half, shaft_half, bottom):
    """Upward arrow on column cx: a head whose row top+i is 2i+1 pixels
    wide, then a shaft down to row bottom. Lime with a dark green right
    edge and a black outline."""
    cv.set(cx, top - 1, BLACK)
    for i in range(head_half + 1):
        y = top + i
        cv.hline(cx - i - 1, cx + i + 1, y, BLACK)
        cv.hline(cx - i, cx + i, y, LIME)
        if i:
            cv.set(cx + i, y, DKGREEN)
    base = top + head_half + 1
    cv.hline(cx - head_half - 1, cx + head_half + 1, base, BLACK)
    for y in range(base, bottom + 1):
        cv.hline(cx - shaft_half - 1, cx + shaft_half + 1, y, BLACK)
        cv.hline(cx - shaft_half, cx + shaft_half, y, LIME)
        cv.set(cx + shaft_half, y, DKGREEN)
    cv.hline(cx - shaft_half - 1, cx + shaft_half + 1, bottom + 1, BLACK)


def draw_icon32():
    cv = Canvas(32, 32, NONE)
    # Page block, seen at the right and bottom edges of the cover.
    cv.rect(6, 3, 25, 28, WHITE)
    cv.frame(6, 3, 25, 28, BLACK)
    for x in range(23, 25):
        for y in range(5, 27, 2):
            cv.set(x, y, LTGREY)
    for y in range(26, 28):
        for x in range(8, 24, 2):
            cv.set(x, y, LTGREY)
    # Cover.
    cv.rect(3, 1, 22, 25, NAVY)
    cv.frame(3, 1, 22, 25, BLACK)
    cv.rect(4, 2, 6, 24, BLUE)          # rounded spine highlight
    cv.vline(7, 2, 24, BLACK)           # spine crease
    cv.hline(8, 21, 2, BLUE)            # top edge light
    # Title label with two lines of "text".
    cv.rect(10, 5, 19, 11, YELLOW)
    cv.frame(10, 5, 19, 11, OLIVE)
    cv.hline(12, 17, 7, BLACK)
    cv.hline(12, 16, 9, BLACK)
    # Gilt bands on the spine.
    cv.hline(4, 6, 5, YELLOW)
    cv.hline(4, 6, 21, YELLOW)
    # Upgrade arrow.
    draw_arrow(cv, cx=24, top=13, head_half=5, shaft_half=2, bottom=29)
    return cv


def draw_icon16():
    cv = Canvas(16, 16, NONE)
    cv.rect(3, 2, 13, 14, WHITE)
    cv.frame(3, 2, 13, 14, BLACK)
    cv.set(12, 4, LTGREY)
    cv.set(12, 6, LTGREY)
    cv.set(12, 8, LTGREY)
    cv.rect(1, 0, 11, 12, NAVY)
    cv.frame(1, 0, 11, 12, BLACK)
    cv.vline(2, 1, 11, BLUE)
    cv.vline(3, 1, 11, BLACK)
    cv.rect(5, 2, 9, 5, YELLOW)
    cv.hline(6, 8, 3, BLACK)
    draw_arrow(cv, cx=11, top=7, head_half=3, shaft_half=1, bottom=14)
    return cv


def icon_image(cv):
    """One RT_ICON image: BITMAPINFOHEADER (height doubled), palette, XOR
    bits (4 bpp) and AND mask (1 bpp), rows bottom-up and padded to 4
    bytes."""
    w, h = cv.w, cv.h
    xor_stride = ((w * 4 + 31) // 32) * 4
    and_stride = ((w + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        row = cv.px[y]
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, c in enumerate(row):
            if c == NONE:
                c = 0
                bits[x // 8] |= 0x80 >> (x % 8)
            if x % 2 == 0:
                line[x // 2] |= c << 4
            else:
                line[x // 2] |= c
        xor += line
        mask += bits
    header = struct.pack(
        "<IiiHHIIiiII",
        40,             # biSize
        w,              # biWidth
        h * 2,          # biHeight: XOR image plus AND mask
        1,              # biPlanes
        4,              # biBitCount
        0,              # biCompression BI_RGB
        len(xor) + len(mask),  # biSizeImage
        0, 0,           # resolution
        0, 0,           # biClrUsed, biClrImportant
    )
    return header + palette_rgbquads() + bytes(xor) + bytes(mask)


def build_icon():
    images = [(32, icon_image(draw_icon32())), (16, icon_image(draw_icon16()))]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data),
                           offset)
        offset += len(data)
    for _, data in images:
        out += data
    return bytes(out)


# --------------------------------------------------------------------------
# Clip: a folder at each end and a sheet of paper flying from the left one
# into the right one along an arc. Everything else is the key colour.
# --------------------------------------------------------------------------

CLIP_W = 260
CLIP_H = 40
FRAMES = 17

FOLDER_W = 46
FOLDER_TOP = 12             # top row of the folder tab
LEFT_FOLDER_X = 4
RIGHT_FOLDER_X = CLIP_W - 4 - FOLDER_W

SHEET_W = 16
SHEET_H = 20
SHEET_REST_Y = 9            # top row of the sheet while in a folder
SHEET_LIFT = 8              # height of the arc


def folder_back(cv, x0, papers):
    """Tab, back panel and the papers standing in the folder."""
    y0 = FOLDER_TOP
    bottom = y0 + 26
    # Tab: a strip above the back panel with a slanted right end.
    cv.hline(x0 + 1, x0 + 14, y0, BLACK)
    for i in (1, 2):
        cv.hline(x0 + 1, x0 + 14 + i, y0 + i, OLIVE)
        cv.set(x0, y0 + i, BLACK)
        cv.set(x0 + 15 + i, y0 + i, BLACK)
    cv.hline(x0 + 2, x0 + 14, y0 + 1, YELLOW)
    # Back panel; its top edge runs on from the end of the tab.
    cv.rect(x0, y0 + 3, x0 + FOLDER_W - 1, bottom, OLIVE)
    cv.hline(x0 + 17, x0 + FOLDER_W - 1, y0 + 3, BLACK)
    cv.vline(x0, y0 + 3, bottom, BLACK)
    cv.vline(x0 + FOLDER_W - 1, y0 + 3, bottom, BLACK)
    cv.hline(x0 + 1, x0 + 1, y0 + 3, YELLOW)
    # Light inner lip of the back panel.
    cv.hline(x0 + 2, x0 + FOLDER_W - 2, y0 + 4, YELLOW)
    # Papers standing in the folder, back to front.
    for (dx, dy, w) in papers:
        px0 = x0 + dx
        py0 = y0 + dy
        cv.rect(px0, py0, px0 + w - 1, bottom - 2, WHITE)
        cv.frame(px0, py0, px0 + w - 1, bottom - 2, GREY)
        for ty in range(py0 + 2, py0 + 8, 2):
            cv.hline(px0 + 2, px0 + w - 3 - (ty % 3), ty, LTGREY)


def folder_front(cv, x0):
    """Front flap: a parallelogram leaning to the right, yellow with a
    light top edge and a shaded bottom."""
    y0 = FOLDER_TOP + 9
    bottom = FOLDER_TOP + 26
    height = bottom - y0
    for y in range(y0, bottom + 1):
        shift = ((bottom - y) * 4) // height     # 4 px lean over the flap
        left = x0 + shift
        right = x0 + FOLDER_W - 1 + shift - 4
        if y == y0 or y == bottom:
            cv.hline(left, right, y, BLACK)
            continue
        cv.hline(left + 1, right - 1, y, YELLOW)
        cv.set(left, y, BLACK)
        cv.set(right, y, BLACK)
        if y == y0 + 1:
            cv.hline(left + 1, right - 1, y, WHITE)
        elif y >= bottom - 3:
            # Dithered shading towards the bottom edge.
            for x in range(left + 1, right):
                if (x + y) % 2 == 0 or y == bottom - 1:
                    cv.set(x, y, OLIVE)
        else:
            cv.set(right - 1, y, OLIVE)
    # A label slot on the flap.
    lx = x0 + 16
    ly = y0 + 5
    cv.rect(lx, ly, lx + 14, ly + 4, WHITE)
    cv.frame(lx, ly, lx + 14, ly + 4, OLIVE)
    cv.hline(lx + 2, lx + 11, ly + 2, GREY)


def sheet(cv, x0, y0):
    """The travelling sheet: white, black outline, a folded top right
    corner and a few lines of text."""
    x1 = x0 + SHEET_W - 1
    y1 = y0 + SHEET_H - 1
    fold = 4
    for y in range(y0, y1 + 1):
        right = x1
        if y - y0 < fold:
            right = x1 - fold + (y - y0)
        cv.hline(x0, right, y, WHITE)
        cv.set(x0, y, BLACK)
        cv.set(right, y, BLACK)
    cv.hline(x0, x1 - fold, y0, BLACK)
    cv.hline(x0, x1, y1, BLACK)
    # Folded corner.
    for i in range(fold):
        if i >= 2:
            cv.hline(x1 - fold + 1, x1 - fold + i - 1, y0 + i, LTGREY)
        cv.set(x1 - fold, y0 + i, BLACK)
    cv.hline(x1 - fold, x1, y0 + fold, BLACK)
    # Text.
    lines = [(4, 2, 7), (6, 2, 12), (8, 2, 11), (10, 2, 12), (12, 2, 8),
             (14, 2, 12), (16, 2, 10)]
    for dy, a, b in lines:
        cv.hline(x0 + a, x0 + b, y0 + dy, BLACK if dy == 4 else GREY)


LEFT_PAPERS = [(9, 1, 16), (22, 3, 16)]
RIGHT_PAPERS = [(14, 4, 16)]


def sheet_position(i):
    """Top-left corner of the sheet in frame i (0-based)."""
    t = i / (FRAMES - 1)
    start = LEFT_FOLDER_X + (FOLDER_W - SHEET_W) // 2
    end = RIGHT_FOLDER_X + (FOLDER_W - SHEET_W) // 2
    x = start + round(t * (end - start))
    y = SHEET_REST_Y - round(SHEET_LIFT * math.sin(math.pi * t))
    return x, y


def render_frame(i):
    """Frame i (0-based) as a top-down canvas of palette indices."""
    cv = Canvas(CLIP_W, CLIP_H, KEY)
    folder_back(cv, LEFT_FOLDER_X, LEFT_PAPERS)
    folder_back(cv, RIGHT_FOLDER_X, RIGHT_PAPERS)
    sx, sy = sheet_position(i)
    sheet(cv, sx, sy)
    folder_front(cv, LEFT_FOLDER_X)
    folder_front(cv, RIGHT_FOLDER_X)
    return cv


# --------------------------------------------------------------------------
# RLE8 encoding. Encoded mode: (count, index). Escapes after a 0 byte:
# 0 end of line, 1 end of bitmap, 2 delta (dx, dy), 3..255 absolute run
# padded to a 16-bit boundary. Rows are coded bottom-up.
# --------------------------------------------------------------------------


def encode_pixels(pixels):
    """Encode a horizontal stretch of pixels (no line end)."""
    # Split into runs of equal pixels.
    runs = []
    for p in pixels:
        if runs and runs[-1][0] == p and runs[-1][1] < 255:
            runs[-1][1] += 1
        else:
            runs.append([p, 1])
    out = bytearray()
    literal = []

    def flush():
        # A literal stretch of three or more pixels goes in absolute mode;
        # shorter ones are coded as one-pixel runs.
        while literal:
            chunk = literal[:255]
            del literal[:255]
            if len(chunk) >= 3:
                out.extend((0, len(chunk)))
                out.extend(chunk)
                if len(chunk) % 2:
                    out.append(0)
            else:
                for p in chunk:
                    out.extend((1, p))

    for p, n in runs:
        if n >= 3:
            flush()
            out.extend((n, p))
        else:
            literal.extend([p] * n)
    flush()
    return bytes(out)


def bottom_up(cv):
    return [cv.px[cv.h - 1 - r] for r in range(cv.h)]


def encode_key_frame(cv):
    out = bytearray()
    for row in bottom_up(cv):
        out += encode_pixels(row)
        out += b"\x00\x00"
    out += b"\x00\x01"
    return bytes(out)


def changed_segments(prev_row, row):
    """[x0, x1) stretches to re-encode in one row of a delta frame.
    Nearby stretches are merged when coding the gap between them costs no
    more than the 4-byte delta escape that would skip it."""
    segs = []
    x = 0
    w = len(row)
    while x < w:
        if prev_row[x] != row[x]:
            s = x
            while x < w and prev_row[x] != row[x]:
                x += 1
            segs.append([s, x])
        else:
            x += 1
    merged = []
    for s in segs:
        if merged:
            gap = row[merged[-1][1]:s[0]]
            if len(encode_pixels(gap)) <= 4:
                merged[-1][1] = s[1]
                continue
        merged.append(s)
    return merged


def move(cur, target):
    """Escape codes that take the decoder from cur to target (x, y); y
    never decreases. Returns (bytes, new position)."""
    (x, y), (tx, ty) = cur, target
    out = bytearray()
    if ty > y and tx < x:
        out += b"\x00\x00"          # end of line: to the start of row y+1
        x, y = 0, y + 1
    while (x, y) != (tx, ty):
        dx = min(tx - x, 255)
        dy = min(ty - y, 255)
        out += bytes((0, 2, dx, dy))
        x, y = x + dx, y + dy
    return bytes(out), (x, y)


def encode_delta_frame(prev, cv):
    out = bytearray()
    pos = (0, 0)
    for r, (prow, row) in enumerate(zip(bottom_up(prev), bottom_up(cv))):
        for x0, x1 in changed_segments(prow, row):
            code, pos = move(pos, (x0, r))
            out += code
            out += encode_pixels(row[x0:x1])
            pos = (x1, r)
        if pos[1] == r and pos != (0, r):
            # Close every line that was written on.
            out += b"\x00\x00"
            pos = (0, r + 1)
    out += b"\x00\x01"
    return bytes(out)


# --------------------------------------------------------------------------
# AVI (RIFF) writer.
# --------------------------------------------------------------------------


def chunk(fourcc, data):
    out = fourcc + struct.pack("<I", len(data)) + data
    if len(data) % 2:
        out += b"\x00"
    return out


def riff_list(kind, form, body):
    return kind + struct.pack("<I", len(body) + 4) + form + body


AVIF_FLAGS = 0x610
AVIIF_KEYFRAME = 0x10
USEC_PER_FRAME = 100000


def build_clip():
    frames = [render_frame(i) for i in range(FRAMES)]
    data = [encode_key_frame(frames[0])]
    for i in range(1, FRAMES):
        data.append(encode_delta_frame(frames[i - 1], frames[i]))
    largest = max(len(d) for d in data)
    largest_even = largest + (largest % 2)
    image_size = CLIP_W * CLIP_H

    avih = struct.pack(
        "<14I",
        USEC_PER_FRAME,                 # dwMicroSecPerFrame
        largest_even * (1000000 // USEC_PER_FRAME),  # dwMaxBytesPerSec
        0,                              # dwPaddingGranularity
        AVIF_FLAGS,                     # dwFlags
        FRAMES,                         # dwTotalFrames
        0,                              # dwInitialFrames
        1,                              # dwStreams
        largest_even,                   # dwSuggestedBufferSize
        CLIP_W, CLIP_H,                 # dwWidth, dwHeight
        0, 0, 0, 0,                     # dwReserved
    )
    strh = struct.pack(
        "<4s4sIHHIIIIIIII4h",
        b"vids", b"RLE ",
        0,                              # dwFlags
        0, 0,                           # wPriority, wLanguage
        0,                              # dwInitialFrames
        100000, 1000000,                # dwScale, dwRate: 10 frames/s
        0, FRAMES,                      # dwStart, dwLength
        largest_even,                   # dwSuggestedBufferSize
        10000,                          # dwQuality
        0,                              # dwSampleSize
        0, 0, CLIP_W, CLIP_H,           # rcFrame
    )
    strf = struct.pack(
        "<IiiHHIIiiII",
        40, CLIP_W, CLIP_H, 1, 8,
        1,                              # BI_RLE8
        image_size,
        0, 0,
        16, 0,                          # biClrUsed, biClrImportant
    ) + palette_rgbquads()

    hdrl = riff_list(
        b"LIST", b"hdrl",
        chunk(b"avih", avih)
        + riff_list(b"LIST", b"strl",
                    chunk(b"strh", strh) + chunk(b"strf", strf)))

    movi_body = bytearray()
    index = bytearray()
    for i, d in enumerate(data):
        offset = 4 + len(movi_body)     # from the "movi" fourcc
        movi_body += chunk(b"00dc", d)
        index += struct.pack("<4sIII", b"00dc",
                             AVIIF_KEYFRAME if i == 0 else 0, offset, len(d))
    movi = riff_list(b"LIST", b"movi", bytes(movi_body))
    idx1 = chunk(b"idx1", bytes(index))
    return riff_list(b"RIFF", b"AVI ", hdrl + movi + idx1)


# --------------------------------------------------------------------------


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out-dir",
                        default=os.path.join(os.path.dirname(here), "res"))
    args = parser.parse_args()
    os.makedirs(args.out_dir, exist_ok=True)
    for name, data in (("Setup.ico", build_icon()),
                       ("CopyAnim.avi", build_clip())):
        path = os.path.join(args.out_dir, name)
        with open(path, "wb") as f:
            f.write(data)
        print(f"{path}: {len(data)} bytes")


if __name__ == "__main__":
    main()
