#!/usr/bin/env python3
"""Check res/CopyAnim.avi and res/Setup.ico as written by
make_icon_and_clip.py.

The clip is parsed chunk by chunk, every RLE8 frame is decoded strictly and
the deltas are applied in order; the decoded frames are compared with fresh
renders. The icon's directory, headers, palette and bitmaps are checked.
Preview images are written for a look by eye:

    /tmp/clip_frames.png   the 17 decoded frames, top to bottom
    /tmp/icon.png          both icon images, enlarged, on a checkerboard

    python3 tools/check_clip.py [--res-dir DIR] [--no-png]

Exit status 0 when everything holds; otherwise the first failure is printed
and the status is 1.
"""

import argparse
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_icon_and_clip as gen  # noqa: E402


class CheckError(Exception):
    pass


def expect(cond, what):
    if not cond:
        raise CheckError(what)


# --------------------------------------------------------------------------
# RIFF parsing
# --------------------------------------------------------------------------


def read_chunks(data, start, end):
    """[(fourcc, form or None, body_start, body_end, header_pos)] of the
    chunks in data[start:end]; LIST/RIFF bodies start after the form."""
    out = []
    pos = start
    while pos < end:
        expect(end - pos >= 8, f"truncated chunk header at {pos}")
        fourcc = data[pos:pos + 4]
        size = struct.unpack_from("<I", data, pos + 4)[0]
        body = pos + 8
        expect(body + size <= end, f"chunk {fourcc!r} at {pos} overruns")
        form = None
        if fourcc in (b"RIFF", b"LIST"):
            form = data[body:body + 4]
            out.append((fourcc, form, body + 4, body + size, pos))
        else:
            out.append((fourcc, None, body, body + size, pos))
        pos = body + size + (size % 2)
    expect(pos == end, f"chunks end at {pos}, container at {end}")
    return out


# --------------------------------------------------------------------------
# RLE8 decoding
# --------------------------------------------------------------------------


def decode_rle8(code, width, height, canvas, key_frame):
    """Apply one RLE8 frame to canvas (bottom-up rows, lists of indices).
    Strict: writes never leave the bitmap or wrap past a row end, line
    changes happen only through end-of-line or delta escapes, the stream
    ends with end-of-bitmap and nothing follows it. A key frame must write
    every pixel exactly once, row by row, each row closed by end of line."""
    x = y = 0
    i = 0
    n = len(code)
    written = [[0] * width for _ in range(height)]
    while True:
        expect(i + 2 <= n, "stream ends without end of bitmap")
        a, b = code[i], code[i + 1]
        i += 2
        if a:
            expect(y < height and x + a <= width,
                   f"run of {a} at ({x},{y}) leaves the row")
            for k in range(a):
                canvas[y][x + k] = b
                written[y][x + k] += 1
            x += a
        elif b == 0:                    # end of line
            if key_frame:
                expect(x == width, f"key frame row {y} ends at x={x}")
            expect(y < height, "end of line below the last row")
            x, y = 0, y + 1
        elif b == 1:                    # end of bitmap
            break
        elif b == 2:                    # delta
            expect(not key_frame, "delta escape in the key frame")
            expect(i + 2 <= n, "truncated delta")
            dx, dy = code[i], code[i + 1]
            i += 2
            expect(dx or dy, "empty delta")
            x, y = x + dx, y + dy
            expect(x <= width and y < height, f"delta leaves bitmap ({x},{y})")
        else:                           # absolute run
            expect(i + b <= n, "truncated absolute run")
            expect(y < height and x + b <= width,
                   f"absolute run of {b} at ({x},{y}) leaves the row")
            for k in range(b):
                canvas[y][x + k] = code[i + k]
                written[y][x + k] += 1
            x += b
            i += b + (b % 2)
    expect(i == n, f"{n - i} bytes after end of bitmap")
    if key_frame:
        expect(y == height and x == 0, "key frame does not cover all rows")
        expect(all(c == 1 for row in written for c in row),
               "key frame does not write every pixel once")
    else:
        expect(x == 0, "last line of a delta frame not closed by end of line")


# --------------------------------------------------------------------------
# Clip
# --------------------------------------------------------------------------


def check_clip(path):
    with open(path, "rb") as f:
        data = f.read()
    W, H, N = gen.CLIP_W, gen.CLIP_H, gen.FRAMES

    top = read_chunks(data, 0, len(data))
    expect(len(top) == 1 and top[0][0] == b"RIFF" and top[0][1] == b"AVI ",
           "not a single RIFF 'AVI ' form")
    parts = read_chunks(data, top[0][2], top[0][3])
    expect([(c[0], c[1]) for c in parts]
           == [(b"LIST", b"hdrl"), (b"LIST", b"movi"), (b"idx1", None)],
           f"top level is {[(c[0], c[1]) for c in parts]}")
    hdrl, movi, idx1 = parts

    # hdrl: avih, then one strl with strh and strf; no other stream.
    h = read_chunks(data, hdrl[2], hdrl[3])
    expect([(c[0], c[1]) for c in h] == [(b"avih", None), (b"LIST", b"strl")],
           "hdrl holds avih and one strl")
    avih = data[h[0][2]:h[0][3]]
    expect(len(avih) == 56, "avih is 56 bytes")
    (usec, maxbps, pad, flags, total, initial, streams, sugg, w, hh,
     *reserved) = struct.unpack("<14I", avih)
    expect(usec == 100000, "avih microseconds per frame")
    expect(pad == 0 and flags == 0x610, "avih padding/flags")
    expect(total == N and initial == 0 and streams == 1, "avih frame/streams")
    expect((w, hh) == (W, H) and reserved == [0, 0, 0, 0], "avih size")

    s = read_chunks(data, h[1][2], h[1][3])
    expect([c[0] for c in s] == [b"strh", b"strf"], "strl holds strh, strf")
    strh = data[s[0][2]:s[0][3]]
    expect(len(strh) == 56, "strh is 56 bytes")
    (ftype, handler, sflags, prio, lang, sinit, scale, rate, start, length,
     ssugg, quality, samplesize, *rc) = struct.unpack("<4s4sIHHIIIIIIII4h",
                                                      strh)
    expect(ftype == b"vids" and handler == b"RLE ", "strh type/handler")
    expect((sflags, prio, lang, sinit) == (0, 0, 0, 0), "strh flags")
    expect((scale, rate, start, length) == (100000, 1000000, 0, N),
           "strh timing")
    expect(quality == 10000 and samplesize == 0, "strh quality")
    expect(rc == [0, 0, W, H], "strh rcFrame")
    strf = data[s[1][2]:s[1][3]]
    expect(len(strf) == 40 + 64, "strf is a header plus 16 colours")
    (bsize, bw, bh, planes, bpp, comp, simg, _, _, used,
     important) = struct.unpack_from("<IiiHHIIiiII", strf)
    expect((bsize, bw, bh, planes, bpp, comp) == (40, W, H, 1, 8, 1),
           "strf header")
    expect(simg == W * H and used == 16 and important in (0, 16),
           "strf sizes/colours")
    expect(strf[40:] == gen.palette_rgbquads(), "strf palette")
    expect(strf[40 + 13 * 4:40 + 14 * 4] == b"\xff\x00\xff\x00",
           "palette index 13 is magenta")

    # movi: 17 '00dc' chunks, each padded to even size.
    frames = read_chunks(data, movi[2], movi[3])
    expect(len(frames) == N and all(c[0] == b"00dc" for c in frames),
           "movi holds 17 '00dc' chunks")
    sizes = [c[3] - c[2] for c in frames]
    expect(max(sizes) <= sugg and sugg == ssugg, "suggested buffer size")
    expect(maxbps >= max(sizes) * 10, "max bytes per second")

    # idx1: one entry per frame, offsets from the 'movi' fourcc.
    idx = data[idx1[2]:idx1[3]]
    expect(len(idx) == 16 * N, "idx1 has 17 entries")
    movi_fourcc = movi[2] - 4
    for k in range(N):
        ckid, iflags, off, size = struct.unpack_from("<4sIII", idx, 16 * k)
        expect(ckid == b"00dc", f"idx1[{k}] id")
        expect(iflags == (0x10 if k == 0 else 0), f"idx1[{k}] flags")
        expect(movi_fourcc + off == frames[k][4], f"idx1[{k}] offset")
        expect(size == sizes[k], f"idx1[{k}] size")

    # Decode and compare with fresh renders.
    canvas = [[None] * W for _ in range(H)]
    decoded = []
    for k, c in enumerate(frames):
        decode_rle8(data[c[2]:c[3]], W, H, canvas, key_frame=(k == 0))
        top_down = [row[:] for row in reversed(canvas)]
        expect(len(top_down) == H and all(len(r) == W for r in top_down),
               f"frame {k + 1} size")
        expect(top_down[0][0] == 13, f"frame {k + 1} top-left is not 13")
        expect(all(p is not None and 0 <= p < 16
                   for row in top_down for p in row),
               f"frame {k + 1} has undefined pixels")
        expect(top_down == gen.render_frame(k).px,
               f"frame {k + 1} differs from its render")
        decoded.append(top_down)
    expect(decoded[-1] == gen.render_frame(N - 1).px, "frame 17")

    return data, sizes, decoded


def check_key_colour_unused():
    """Draw folders and sheet over a non-key background: none of their
    pixels may come out as index 13."""
    for k in range(gen.FRAMES):
        cv = gen.Canvas(gen.CLIP_W, gen.CLIP_H, -1)
        gen.folder_back(cv, gen.LEFT_FOLDER_X, gen.LEFT_PAPERS)
        gen.folder_back(cv, gen.RIGHT_FOLDER_X, gen.RIGHT_PAPERS)
        sx, sy = gen.sheet_position(k)
        gen.sheet(cv, sx, sy)
        gen.folder_front(cv, gen.LEFT_FOLDER_X)
        gen.folder_front(cv, gen.RIGHT_FOLDER_X)
        expect(all(p != gen.KEY for row in cv.px for p in row),
               f"frame {k + 1}: drawing uses the key colour")
        expect(cv.px[0][0] == -1, "top-left pixel is drawn on")


# --------------------------------------------------------------------------
# Icon
# --------------------------------------------------------------------------


def check_icon(path):
    with open(path, "rb") as f:
        data = f.read()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    expect((reserved, kind, count) == (0, 1, 2), "icon directory header")
    images = []
    expected = [(32, 744), (16, 296)]
    end = 6 + 16 * count
    for k in range(count):
        (bw, bh, colours, res, planes, bpp, size,
         off) = struct.unpack_from("<BBBBHHII", data, 6 + 16 * k)
        side, stored = expected[k]
        expect((bw, bh, colours, res, planes, bpp) == (side, side, 16, 0, 1,
                                                       4),
               f"icon entry {k + 1}")
        expect(size == stored, f"icon image {k + 1} is {size} bytes")
        expect(off == end, f"icon image {k + 1} offset")
        end += size
        img = data[off:off + size]
        (hsize, w, h, hplanes, hbpp, comp, simg, _, _, used,
         imp) = struct.unpack_from("<IiiHHIIiiII", img)
        expect((hsize, w, h, hplanes, hbpp, comp) == (40, side, 2 * side, 1,
                                                      4, 0),
               f"icon image {k + 1} header")
        expect(used in (0, 16) and imp in (0, 16), "icon colour counts")
        expect(img[40:104] == gen.palette_rgbquads(), "icon palette")
        xor_stride = ((side * 4 + 31) // 32) * 4
        and_stride = ((side + 31) // 32) * 4
        expect(size == 40 + 64 + side * (xor_stride + and_stride),
               "icon image layout")
        xor = img[104:104 + side * xor_stride]
        mask = img[104 + side * xor_stride:]
        pixels = []
        for y in range(side - 1, -1, -1):
            row = []
            for x in range(side):
                byte = xor[y * xor_stride + x // 2]
                c = (byte >> 4) if x % 2 == 0 else (byte & 15)
                transparent = mask[y * and_stride + x // 8] & (0x80 >> (x % 8))
                if transparent:
                    expect(c == 0, "transparent icon pixel has colour")
                    row.append(None)
                else:
                    row.append(c)
            expect(all(mask[y * and_stride + b] == 0
                       for b in range((side + 7) // 8, and_stride)),
                   "mask row padding is zero")
            pixels.append(row)
        expect(any(p is None for r in pixels for p in r), "no transparency")
        images.append(pixels)
    expect(end == len(data), "icon file length")
    return data, images


# --------------------------------------------------------------------------
# PNG previews
# --------------------------------------------------------------------------


def write_png(path, rows):
    """rows: list of lists of (r, g, b)."""
    h = len(rows)
    w = len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for r, g, b in row:
            raw += bytes((r, g, b))

    def png_chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    png = (b"\x89PNG\r\n\x1a\n"
           + png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
           + png_chunk(b"IDAT", zlib.compress(bytes(raw), 9))
           + png_chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def clip_sheet(decoded, scale=2, gap=4):
    W, H = gen.CLIP_W, gen.CLIP_H
    sep = (40, 40, 40)
    rows = []
    for k, frame in enumerate(decoded):
        for y in range(H):
            line = []
            for x in range(W):
                line += [gen.PALETTE[frame[y][x]]] * scale
            rows += [line] * scale
        for _ in range(gap):
            rows.append([sep] * (W * scale))
    return rows


def icon_sheet(images, scale=8):
    side = 32 * scale + 16 * scale + 3 * 8
    rows = [[(90, 90, 90)] * side for _ in range(32 * scale + 16)]
    x0 = 8
    for img in images:
        n = len(img)
        for y in range(n * scale):
            for x in range(n * scale):
                p = img[y // scale][x // scale]
                if p is None:
                    light = ((x // 8) + (y // 8)) % 2
                    colour = (212, 208, 200) if light else (180, 176, 168)
                else:
                    colour = gen.PALETTE[p]
                rows[8 + y][x0 + x] = colour
        x0 += n * scale + 8
    return rows


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--res-dir",
                        default=os.path.join(os.path.dirname(here), "res"))
    parser.add_argument("--no-png", action="store_true")
    args = parser.parse_args()
    try:
        clip, sizes, decoded = check_clip(
            os.path.join(args.res_dir, "CopyAnim.avi"))
        check_key_colour_unused()
        icon, images = check_icon(os.path.join(args.res_dir, "Setup.ico"))
        expect(clip == gen.build_clip(), "clip is not reproducible")
        expect(icon == gen.build_icon(), "icon is not reproducible")
    except CheckError as e:
        print(f"FAIL: {e}")
        return 1
    print(f"CopyAnim.avi: {len(clip)} bytes, frame chunks {sizes}")
    print(f"Setup.ico: {len(icon)} bytes, images 744 + 296 bytes")
    if not args.no_png:
        write_png("/tmp/clip_frames.png", clip_sheet(decoded))
        write_png("/tmp/icon.png", icon_sheet(images))
        print("previews: /tmp/clip_frames.png /tmp/icon.png")
    print("OK")
    return 0


if __name__ == "__main__":
    sys.exit(main())
