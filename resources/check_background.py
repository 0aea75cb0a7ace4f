#!/usr/bin/env python3
"""Measures resources/background.png against the editor layout.

Prints the file format, each knob disc's fitted centre / outer radius and
fill, each caption's ink centre and cap height, and how plain the read-out
areas are.  Coordinates are printed in the editor's logical pixels
(bitmap pixels / 2).  Exits non-zero if something is out of tolerance.

Usage:  python3 check_background.py [background.png]
Needs:  python3-pil, python3-numpy
"""

import math
import os
import sys

import numpy as np
from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
S = 2  # bitmap pixels per logical pixel

KNOBS = [
    ("noise", 150, 177, 76, (33, 187, 62), 70),
    ("freq", 650, 177, 76, (33, 187, 62), 70),
    ("tone", 57, 321, 29, (0, 109, 31), 25),
    ("mix", 245, 321, 29, (0, 109, 31), 25),
    ("width", 556, 321, 29, (0, 109, 31), 25),
    ("peak", 743, 321, 29, (0, 109, 31), 25),
]
CAPTIONS = [  # text, cx, cy, cap height, half width of search window
    ("NOISE", 151, 274, 20, 75), ("FREQ", 650, 274, 20, 75),
    ("TONE", 56, 367, 12.5, 50), ("MIX", 245, 367, 12.5, 45),
    ("WIDTH", 555, 367, 12.5, 50), ("PEAK", 744, 367, 12.5, 50),
    ("IN", 288, 208, 9, 25), ("OUT", 512, 208, 9, 25),
]
TEXT_BOXES = [  # name, x0, y0, x1, y1 expected ink box (approximate)
    ("TARNWELL", 16, 17, 161, 32), ("KESTRUNE", 255, 24, 545, 60),
    ("NOISE RISER", 317, 73, 483, 87),
]
PLAIN = [
    (110, 82, 190, 102), (610, 82, 690, 102),
    (17, 271, 97, 291), (205, 271, 285, 291),
    (516, 271, 596, 291), (703, 271, 783, 291),
    (256, 175, 321, 195), (480, 175, 545, 195),
]


def white_mask(a):
    return (a.min(axis=2) > 200)


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "background.png")
    ok = True
    im = Image.open(path)
    interlaced = bool(im.info.get("interlace", 0))
    print("file: %s  %d bytes  %dx%d  mode=%s  interlaced=%s"
          % (path, os.path.getsize(path), im.size[0], im.size[1], im.mode, interlaced))
    if im.size != (1600, 800) or im.mode != "RGB" or interlaced:
        print("  FAIL: must be 1600x800 RGB, not interlaced")
        ok = False
    a = np.asarray(im.convert("RGB")).astype(np.int32)
    hgt, wid = a.shape[:2]
    yy, xx = np.mgrid[0:hgt, 0:wid]
    # pixel centres in logical coordinates
    lx = (xx + 0.5) / S
    ly = (yy + 0.5) / S

    print("\nknob discs (logical px):")
    for name, cx, cy, r, fill, rflat in KNOBS:
        inside = (lx - cx) ** 2 + (ly - cy) ** 2 <= rflat ** 2
        px = a[inside]
        bad = np.any(px != np.array(fill), axis=1).sum()
        # outline: white pixels in a ring around the nominal rim
        d = np.sqrt((lx - cx) ** 2 + (ly - cy) ** 2)
        ring = (d > r - 4) & (d < r + 4) & white_mask(a)
        ys, xs = ly[ring], lx[ring]
        # least-squares circle fit to the rim pixels
        A = np.c_[2 * xs, 2 * ys, np.ones_like(xs)]
        b = xs ** 2 + ys ** 2
        (fx, fy, c), *_ = np.linalg.lstsq(A, b, rcond=None)
        fr = math.sqrt(c + fx ** 2 + fy ** 2)
        outer = d[ring].max()
        status = "ok"
        if bad or abs(fx - cx) > 1 or abs(fy - cy) > 1 or abs(outer - r) > 1:
            status = "FAIL"
            ok = False
        print("  %-6s centre (%.2f, %.2f) want (%d, %d)  rim mid-radius %.2f, outer %.2f want %d  "
              "fill %s, %d/%d off-fill pixels within r%d  %s"
              % (name, fx, fy, cx, cy, fr, outer, r, fill, bad, len(px), rflat, status))

    print("\ncaptions (ink box, logical px):")
    for text, cx, cy, cap, hw in CAPTIONS:
        win = (lx > cx - hw) & (lx < cx + hw) & (ly > cy - cap * 0.5 - 5) & (ly < cy + cap * 0.5 + 5)
        m = win & white_mask(a)
        ys, xs = yy[m], xx[m]
        x0, x1 = xs.min() / S, (xs.max() + 1) / S
        y0, y1 = ys.min() / S, (ys.max() + 1) / S
        mx, my = (x0 + x1) / 2, (y0 + y1) / 2
        status = "ok" if abs(mx - cx) <= 1 and abs(my - cy) <= 1.5 else "CHECK"
        print("  %-6s x %.1f..%.1f  y %.1f..%.1f  centre (%.1f, %.1f) want (%g, %g)  "
              "height %.1f want %g  %s" % (text, x0, x1, y0, y1, mx, my, cx, cy, y1 - y0, cap, status))

    print("\nlettering (ink box, logical px):")
    for text, bx0, by0, bx1, by1 in TEXT_BOXES:
        win = (lx > bx0 - 12) & (lx < bx1 + 12) & (ly > by0 - 4) & (ly < by1 + 4)
        m = win & white_mask(a)
        ys, xs = yy[m], xx[m]
        print("  %-12s x %.1f..%.1f  y %.1f..%.1f  (about %d..%d, %d..%d)"
              % (text, xs.min() / S, (xs.max() + 1) / S, ys.min() / S, (ys.max() + 1) / S,
                 bx0, bx1, by0, by1))

    print("\nplain read-out areas (residual from a smooth gradient; the rim of a")
    print("large disc reaches y 101, so pixels within 2 px of a disc are left out):")
    near_disc = np.zeros((hgt, wid), bool)
    for name, cx, cy, r, fill, rflat in KNOBS:
        near_disc |= (lx - cx) ** 2 + (ly - cy) ** 2 <= (r + 2) ** 2
    for x0, y0, x1, y1 in PLAIN:
        keep = ~near_disc[y0 * S:y1 * S, x0 * S:x1 * S].ravel()
        sub = a[y0 * S:y1 * S, x0 * S:x1 * S].reshape(-1, 3).astype(float)[keep]
        gy, gx = np.mgrid[y0 * S:y1 * S, x0 * S:x1 * S]
        gy, gx = gy.ravel()[keep], gx.ravel()[keep]
        A = np.c_[gx.ravel(), gy.ravel(), gx.ravel() * gy.ravel(), gx.ravel() ** 2,
                  gy.ravel() ** 2, np.ones(gx.size)]
        worst = 0.0
        for ch in range(3):
            coef, *_ = np.linalg.lstsq(A, sub[:, ch], rcond=None)
            worst = max(worst, np.abs(A @ coef - sub[:, ch]).max())
        status = "ok" if worst <= 3 and sub.max() < 80 else "FAIL"
        if status != "ok":
            ok = False
        print("  x %3d-%3d y %3d-%3d  min %s max %s  worst residual %.1f  %s"
              % (x0, x1, y0, y1, sub.min(axis=0).astype(int).tolist(),
                 sub.max(axis=0).astype(int).tolist(), worst, status))

    print("\ncorners:", [a[0, 0].tolist(), a[0, -1].tolist(), a[-1, 0].tolist(), a[-1, -1].tolist()],
          " top centre:", a[4, 800].tolist())
    print("\n" + ("all checks passed" if ok else "SOME CHECKS FAILED"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
