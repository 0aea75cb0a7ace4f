#!/usr/bin/env python3
"""Writes resources/background.svg, the Kestrune editor face.

The SVG uses the editor's logical coordinates (800 x 400) and declares a
1600 x 800 pixel size, so it renders straight to the 2x bitmap that the
editor draws at half scale.  All lettering is converted to outlines here
(with fontTools, from Debian-packaged fonts), so the SVG itself needs no
fonts and renders identically everywhere.  Random placement (smoke puffs,
sparks) uses a fixed seed: running this script twice gives the same file.

Usage:  python3 make_background_svg.py [output.svg]
Needs:  python3-fonttools, fonts-roboto-unhinted, fonts-urw-base35
"""

import math
import os
import random
import sys

from fontTools.pens.boundsPen import BoundsPen
from fontTools.pens.svgPathPen import SVGPathPen
from fontTools.pens.transformPen import TransformPen
from fontTools.ttLib import TTFont

HERE = os.path.dirname(os.path.abspath(__file__))

W, H = 800, 400          # logical editor size
SCALE = 2                # bitmap pixels per logical pixel

FONT_DIRS = {
    "serif": "/usr/share/fonts/opentype/urw-base35/P052-Roman.otf",
    "title": "/usr/share/fonts/truetype/roboto/unhinted/RobotoCondensed-Bold.ttf",
    "thin": "/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Light.ttf",
    "caption": "/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Medium.ttf",
}

# ---------------------------------------------------------------------------
# Layout (logical pixels).  The editor places see-through knobs exactly over
# these discs, so they must not move.
# ---------------------------------------------------------------------------
LARGE_FILL = (33, 187, 62)
SMALL_FILL = (0, 109, 31)
KNOBS = [  # name, cx, cy, outer radius, fill
    ("noise", 150, 177, 76, LARGE_FILL),
    ("freq", 650, 177, 76, LARGE_FILL),
    ("tone", 57, 321, 29, SMALL_FILL),
    ("mix", 245, 321, 29, SMALL_FILL),
    ("width", 556, 321, 29, SMALL_FILL),
    ("peak", 743, 321, 29, SMALL_FILL),
]
OUTLINE = 1.0  # white rim width

CAPTIONS = [  # text, centre x, centre y, cap height, font, tracking (em)
    ("NOISE", 151, 274, 20, "caption", 0.22),
    ("FREQ", 650, 274, 20, "caption", 0.22),
    ("TONE", 56, 367, 12.5, "caption", 0.24),
    ("MIX", 245, 367, 12.5, "caption", 0.24),
    ("WIDTH", 555, 367, 12.5, "caption", 0.24),
    ("PEAK", 744, 367, 12.5, "caption", 0.24),
    ("IN", 288, 208, 9, "caption", 0.30),
    ("OUT", 512, 208, 9, "caption", 0.30),
]

# Rectangles the editor paints over (value read-outs): background only.
PLAIN_RECTS = [  # x0, y0, x1, y1
    (110, 82, 190, 102), (610, 82, 690, 102),
    (17, 271, 97, 291), (205, 271, 285, 291),
    (516, 271, 596, 291), (703, 271, 783, 291),
    (256, 175, 321, 195), (480, 175, 545, 195),
]

BG_EDGE = (4, 1, 17)
BG_GLOW = (39, 40, 52)

CX = 400  # centre line of the illustration


def rgb(c, a=None):
    if a is None:
        return "rgb(%d,%d,%d)" % tuple(c)
    return "rgba(%d,%d,%d,%.3f)" % (c[0], c[1], c[2], a)


def f3(v):
    s = "%.3f" % v
    s = s.rstrip("0").rstrip(".")
    return "0" if s in ("-0", "") else s


# ---------------------------------------------------------------------------
# Lettering
# ---------------------------------------------------------------------------
class Face:
    def __init__(self, path):
        self.font = TTFont(path)
        self.glyphs = self.font.getGlyphSet()
        self.cmap = self.font.getBestCmap()
        bp = BoundsPen(self.glyphs)
        self.glyphs[self.cmap[ord("H")]].draw(bp)
        self.cap_units = bp.bounds[3]
        self.path = path

    def layout(self, text, cap, tracking_px):
        """Returns [(glyph name, x offset)] in px and the pen scale."""
        s = cap / self.cap_units
        x = 0.0
        out = []
        for ch in text:
            g = self.cmap[ord(ch)]
            out.append((g, x))
            x += self.glyphs[g].width * s + tracking_px
        return out, s

    def ink_bounds(self, placed, s):
        xs0, xs1 = [], []
        for g, x in placed:
            bp = BoundsPen(self.glyphs)
            self.glyphs[g].draw(bp)
            if bp.bounds is None:
                continue
            xs0.append(x + bp.bounds[0] * s)
            xs1.append(x + bp.bounds[2] * s)
        return min(xs0), max(xs1)

    def outline(self, text, cx, baseline, cap, tracking_px=0.0, width=None):
        """SVG path data for text whose ink is centred on cx.

        If width is given, the tracking is chosen so the ink spans exactly
        that width."""
        if width is not None:
            placed, s = self.layout(text, cap, 0.0)
            x0, x1 = self.ink_bounds(placed, s)
            tracking_px = (width - (x1 - x0)) / (len(text) - 1)
        placed, s = self.layout(text, cap, tracking_px)
        x0, x1 = self.ink_bounds(placed, s)
        dx = cx - (x0 + x1) / 2.0
        pen = SVGPathPen(self.glyphs, ntos=f3)
        for g, x in placed:
            tp = TransformPen(pen, (s, 0, 0, -s, x + dx, baseline))
            self.glyphs[g].draw(tp)
        return pen.getCommands(), (x0 + dx, x1 + dx), tracking_px


# ---------------------------------------------------------------------------
# Illustration: a faceted, glowing kestrel hovering with raised wings
# (right half given; mirrored about CX).  Points are (dx, y).
# ---------------------------------------------------------------------------
BIRD_DY = 12


def bird_facets():
    """List of (polygon, shade 0..1) for the right half of the bird."""
    d = BIRD_DY
    P = lambda x, y: (x, y + d)
    head_top = P(0, 104)
    facets = []
    # head
    facets += [
        ([P(0, 104), P(6, 106), P(4, 113)], 0.95),
        ([P(0, 104), P(4, 113), P(0, 116)], 0.80),
        ([P(6, 106), P(9, 113), P(4, 113)], 0.70),
        ([P(4, 113), P(9, 113), P(8, 121)], 0.55),
        ([P(0, 116), P(4, 113), P(8, 121), P(3, 124)], 0.65),
        ([P(0, 116), P(3, 124), P(0, 127)], 0.45),
    ]
    # body / breast
    facets += [
        ([P(0, 127), P(3, 124), P(8, 121), P(12, 130), P(0, 136)], 0.60),
        ([P(0, 136), P(12, 130), P(14, 146), P(0, 150)], 0.50),
        ([P(0, 150), P(14, 146), P(12, 160), P(0, 166)], 0.38),
        ([P(0, 166), P(12, 160), P(7, 175), P(0, 178)], 0.28),
    ]
    # wing: leading edge (coverts) strip
    lead = [P(12, 130), P(26, 118), P(44, 105), P(61, 95)]
    inner = [P(14, 140), P(29, 129), P(46, 117), P(63, 106)]
    for i in range(3):
        shade = 0.90 - 0.10 * i
        facets.append(([lead[i], lead[i + 1], inner[i + 1]], shade))
        facets.append(([lead[i], inner[i + 1], inner[i]], shade - 0.18))
    facets.append(([P(12, 130), P(14, 140), P(14, 146)], 0.55))
    # primaries: fingered tips fanning around the wrist
    wrist_base = [P(63, 106), P(66, 111), P(67, 117), P(65, 123), P(61, 128)]
    tips = [P(73, 84), P(82, 90), P(88, 99), P(90, 109), P(87, 119)]
    notches = [P(70, 95), P(77, 99), P(80, 106), P(80, 114), P(76, 122)]
    prev = lead[3]
    for i in range(5):
        base = wrist_base[i]
        tip = tips[i]
        nxt_notch = notches[i]
        facets.append(([prev, tip, nxt_notch, base], 0.98 - 0.12 * i))
        prev = nxt_notch
    # secondaries: scalloped trailing edge back to the body
    sec_tips = [P(57, 136), P(46, 142), P(35, 147), P(24, 151)]
    sec_base = [P(61, 128), P(52, 123), P(40, 128), P(29, 134), P(19, 141)]
    facets.append(([notches[4], P(76, 126), sec_tips[0], sec_base[0]], 0.42))
    covert_line = [P(63, 106), P(46, 117), P(29, 129), P(14, 140)]
    facets.append(([covert_line[0], wrist_base[4], sec_base[1], covert_line[1]], 0.62))
    facets.append(([covert_line[1], sec_base[1], sec_base[3], covert_line[2]], 0.55))
    facets.append(([covert_line[2], sec_base[3], sec_base[4], covert_line[3]], 0.48))
    for i in range(4):
        a, b = sec_base[i], sec_base[i + 1]
        facets.append(([a, sec_tips[i], b], 0.40 - 0.05 * i))
    facets.append(([sec_base[4], sec_tips[3], P(14, 146)], 0.30))
    facets.append(([sec_base[4], P(14, 146), P(14, 140)], 0.36))
    # tail fan
    tail_tips = [P(15, 200), P(8, 204), P(0, 205)]
    tail_notch = [P(11, 196), P(4, 200)]
    facets.append(([P(0, 178), P(7, 175), tail_tips[0], tail_notch[0]], 0.40))
    facets.append(([P(0, 178), tail_notch[0], tail_tips[1], tail_notch[1]], 0.30))
    facets.append(([P(0, 178), tail_notch[1], tail_tips[2]], 0.22))
    return facets, head_top


def lerp(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def facet_colour(shade, y):
    """Deep green -> emerald -> ice cyan, lighter towards the top."""
    dark = (6, 70, 48)
    mid = (40, 200, 120)
    lite = (170, 255, 236)
    t = max(0.0, min(1.0, shade * 0.85 + (200 - y) / 600.0))
    if t < 0.55:
        return lerp(dark, mid, t / 0.55)
    return lerp(mid, lite, (t - 0.55) / 0.45)


def poly_d(pts, mirror=False):
    s = []
    for i, (x, y) in enumerate(pts):
        xx = CX - x if mirror else CX + x
        s.append(("M" if i == 0 else "L") + f3(xx) + " " + f3(y))
    return "".join(s) + "Z"


# ---------------------------------------------------------------------------
def build():
    rnd = random.Random(20240611)
    faces = {k: Face(v) for k, v in FONT_DIRS.items()}
    o = []
    a = o.append
    a('<?xml version="1.0" encoding="UTF-8"?>')
    a("<!-- Kestrune editor face, 800 x 400 logical, rendered at 1600 x 800.")
    a("     Generated by make_background_svg.py; lettering is outlined. -->")
    a('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" '
      'viewBox="0 0 %d %d">' % (W * SCALE, H * SCALE, W, H))
    a("<defs>")
    # background: dark violet edges rising to a grey glow behind the title
    a('<radialGradient id="bg" gradientUnits="userSpaceOnUse" cx="400" cy="34" '
      'r="400" gradientTransform="translate(400 34) scale(1 0.78) translate(-400 -34)">')
    for off, c in [(0.0, BG_GLOW), (0.18, (31, 30, 44)), (0.42, (17, 13, 32)),
                   (0.7, (8, 4, 22)), (1.0, BG_EDGE)]:
        a('<stop offset="%s" stop-color="%s"/>' % (f3(off), rgb(c)))
    a("</radialGradient>")
    # plain read-out areas are cut out of every piece of artwork
    a('<mask id="plain" maskUnits="userSpaceOnUse" x="0" y="0" width="%d" height="%d">' % (W, H))
    a('<rect x="0" y="0" width="%d" height="%d" fill="#fff"/>' % (W, H))
    for x0, y0, x1, y1 in PLAIN_RECTS:
        a('<rect x="%s" y="%s" width="%s" height="%s" fill="#000"/>'
          % (f3(x0 - 1), f3(y0 - 1), f3(x1 - x0 + 2), f3(y1 - y0 + 2)))
    a("</mask>")
    # filters
    a('<filter id="blur2" x="-50%" y="-50%" width="200%" height="200%">'
      '<feGaussianBlur stdDeviation="2"/></filter>')
    a('<filter id="blur5" x="-50%" y="-50%" width="200%" height="200%">'
      '<feGaussianBlur stdDeviation="5"/></filter>')
    a('<filter id="blur10" x="-80%" y="-80%" width="260%" height="260%">'
      '<feGaussianBlur stdDeviation="10"/></filter>')
    a('<filter id="blur1" x="-50%" y="-50%" width="200%" height="200%">'
      '<feGaussianBlur stdDeviation="0.8"/></filter>')
    for i, (freq, seed, disp, alpha_gain) in enumerate(
            [(0.011, 3, 26, 3.0), (0.017, 8, 20, 3.2), (0.026, 15, 14, 3.4)]):
        a('<filter id="smoke%d" filterUnits="userSpaceOnUse" x="200" y="150" width="400" height="260" '
          'color-interpolation-filters="sRGB">' % i)
        a('<feGaussianBlur in="SourceGraphic" stdDeviation="7" result="shape"/>')
        a('<feTurbulence type="fractalNoise" baseFrequency="%s %s" numOctaves="5" seed="%d" result="n"/>'
          % (f3(freq), f3(freq * 1.6), seed))
        a('<feColorMatrix in="n" type="matrix" values="0 0 0 0 1  0 0 0 0 1  0 0 0 0 1  %s 0 0 0 %s" result="na"/>'
          % (f3(alpha_gain), f3(-alpha_gain * 0.3)))
        a('<feComposite in="shape" in2="na" operator="in" result="s"/>')
        a('<feTurbulence type="turbulence" baseFrequency="%s" numOctaves="3" seed="%d" result="w"/>'
          % (f3(freq * 2.2), seed + 1))
        a('<feDisplacementMap in="s" in2="w" scale="%d" xChannelSelector="R" yChannelSelector="G" result="d"/>' % disp)
        a('<feTurbulence type="fractalNoise" baseFrequency="0.9" numOctaves="2" seed="%d" result="g"/>' % (seed + 2))
        a('<feColorMatrix in="g" type="saturate" values="0" result="gg"/>')
        a('<feComposite in="d" in2="gg" operator="arithmetic" k1="0.45" k2="0.78" k3="0" k4="0"/>')
        a("</filter>")
    # grain for the bird
    a('<filter id="grain" x="-10%" y="-10%" width="120%" height="120%" color-interpolation-filters="sRGB">'
      '<feTurbulence type="fractalNoise" baseFrequency="0.8" numOctaves="2" seed="5" result="g"/>'
      '<feColorMatrix in="g" type="saturate" values="0" result="gg"/>'
      '<feComposite in="SourceGraphic" in2="gg" operator="arithmetic" k1="0.35" k2="0.85" k3="0" k4="0"/>'
      "</filter>")
    # glows
    a('<radialGradient id="core" gradientUnits="userSpaceOnUse" cx="400" cy="150" r="80" '
      'gradientTransform="translate(400 150) scale(1.05 0.95) translate(-400 -150)">')
    a('<stop offset="0" stop-color="rgb(120,255,210)" stop-opacity="0.34"/>')
    a('<stop offset="0.35" stop-color="rgb(40,200,150)" stop-opacity="0.16"/>')
    a('<stop offset="0.7" stop-color="rgb(20,120,110)" stop-opacity="0.05"/>')
    a('<stop offset="1" stop-color="rgb(10,60,70)" stop-opacity="0"/>')
    a("</radialGradient>")
    a('<radialGradient id="floor" gradientUnits="userSpaceOnUse" cx="402" cy="400" r="150" '
      'gradientTransform="translate(402 400) scale(1 0.75) translate(-402 -400)">')
    a('<stop offset="0" stop-color="rgb(70,150,130)" stop-opacity="0.22"/>')
    a('<stop offset="0.6" stop-color="rgb(40,80,90)" stop-opacity="0.08"/>')
    a('<stop offset="1" stop-color="rgb(20,30,50)" stop-opacity="0"/>')
    a("</radialGradient>")
    a('<radialGradient id="puffGrey" cx="0.5" cy="0.5" r="0.5" fx="0.5" fy="0.32">'
      '<stop offset="0" stop-color="rgb(150,156,168)" stop-opacity="0.85"/>'
      '<stop offset="0.6" stop-color="rgb(110,116,130)" stop-opacity="0.45"/>'
      '<stop offset="1" stop-color="rgb(80,84,98)" stop-opacity="0"/></radialGradient>')
    a('<radialGradient id="puffDark" cx="0.5" cy="0.5" r="0.5">'
      '<stop offset="0" stop-color="rgb(70,74,88)" stop-opacity="0.9"/>'
      '<stop offset="0.65" stop-color="rgb(50,52,66)" stop-opacity="0.5"/>'
      '<stop offset="1" stop-color="rgb(30,30,44)" stop-opacity="0"/></radialGradient>')
    a('<radialGradient id="puffLight" cx="0.5" cy="0.5" r="0.5" fx="0.5" fy="0.3">'
      '<stop offset="0" stop-color="rgb(214,222,228)" stop-opacity="0.8"/>'
      '<stop offset="0.55" stop-color="rgb(170,180,190)" stop-opacity="0.35"/>'
      '<stop offset="1" stop-color="rgb(140,150,160)" stop-opacity="0"/></radialGradient>')
    a('<radialGradient id="puffGreen" cx="0.5" cy="0.5" r="0.5">'
      '<stop offset="0" stop-color="rgb(120,235,170)" stop-opacity="0.7"/>'
      '<stop offset="0.6" stop-color="rgb(60,170,130)" stop-opacity="0.25"/>'
      '<stop offset="1" stop-color="rgb(40,120,110)" stop-opacity="0"/></radialGradient>')
    a('<linearGradient id="cone" gradientUnits="userSpaceOnUse" x1="0" y1="204" x2="0" y2="372">'
      '<stop offset="0" stop-color="rgb(120,255,200)" stop-opacity="0.30"/>'
      '<stop offset="0.45" stop-color="rgb(60,210,190)" stop-opacity="0.12"/>'
      '<stop offset="1" stop-color="rgb(40,160,170)" stop-opacity="0"/></linearGradient>')
    a('<radialGradient id="birdTint" gradientUnits="userSpaceOnUse" cx="400" cy="%s" r="92">'
      '<stop offset="0" stop-color="rgb(230,255,245)" stop-opacity="0.22"/>'
      '<stop offset="0.3" stop-color="rgb(120,255,210)" stop-opacity="0"/>'
      '<stop offset="0.62" stop-color="rgb(60,230,255)" stop-opacity="0"/>'
      '<stop offset="1" stop-color="rgb(70,225,255)" stop-opacity="0.5"/></radialGradient>' % f3(140 + BIRD_DY))
    # knob halo: only below the horizon of each disc
    a('<linearGradient id="haloFade" x1="0" y1="0" x2="0" y2="1">'
      '<stop offset="0" stop-color="#fff" stop-opacity="0"/>'
      '<stop offset="0.42" stop-color="#fff" stop-opacity="0"/>'
      '<stop offset="0.85" stop-color="#fff" stop-opacity="1"/></linearGradient>')

    # ---- light streaks (gradients defined per streak) ----
    streaks = []
    n = 11
    for i in range(n):
        t = i / (n - 1)
        ox = CX + (t - 0.5) * 18
        oy = 204 + BIRD_DY * 0 - abs(t - 0.5) * 6
        ex = CX + 2 + (t - 0.5) * 2 * 96 + rnd.uniform(-5, 5)
        ey = 340 + rnd.uniform(0, 40) - abs(t - 0.5) * 40
        col = (80, 255, 140) if i % 2 == 0 else (90, 235, 255)
        w = 1.6 + rnd.uniform(0, 1.4)
        streaks.append((ox, oy, ex, ey, col, w))
    for k, (ox, oy, ex, ey, col, w) in enumerate(streaks):
        a('<linearGradient id="st%d" gradientUnits="userSpaceOnUse" x1="%s" y1="%s" x2="%s" y2="%s">'
          % (k, f3(ox), f3(oy), f3(ex), f3(ey)))
        a('<stop offset="0" stop-color="%s" stop-opacity="0"/>' % rgb(col))
        a('<stop offset="0.08" stop-color="rgb(235,255,250)" stop-opacity="0.95"/>')
        a('<stop offset="0.35" stop-color="%s" stop-opacity="0.8"/>' % rgb(col))
        a('<stop offset="1" stop-color="%s" stop-opacity="0"/>' % rgb(col))
        a("</linearGradient>")
    a("</defs>")

    # ---- background ----
    a('<rect id="background" x="0" y="0" width="%d" height="%d" fill="url(#bg)"/>' % (W, H))

    a('<g id="artwork" mask="url(#plain)">')
    # central emitter glow and a faint floor glow under the smoke
    a('<ellipse cx="400" cy="150" rx="84" ry="76" fill="url(#core)"/>')
    a('<ellipse cx="402" cy="400" rx="150" ry="112" fill="url(#floor)"/>')

    # ---- smoke: three layers of puffs, each shaped by noise ----
    def puff_field(count, y0, y1, rmin, rmax, spread_top, spread_bottom, jitter=1.0):
        items = []
        for _ in range(count):
            y = rnd.uniform(y0, y1)
            t = (y - 240) / 160.0
            half = spread_top + (spread_bottom - spread_top) * max(0.0, min(1.0, t))
            x = 402 + rnd.uniform(-half, half) * jitter
            r = rnd.uniform(rmin, rmax) * (0.6 + 0.6 * max(0.0, min(1.0, t)))
            items.append((x, y, r))
        return items

    def limit(items, margin):
        # keep each puff's disc within the smoke envelope: narrow at the
        # top, x 265..540 at the bottom edge
        out = []
        for x, y, r in items:
            t = max(0.0, min(1.0, (y - 250) / 150.0))
            lo = 318 - 53 * t + r * margin
            hi = 486 + 54 * t - r * margin
            if lo < hi:
                x = max(lo, min(hi, x))
            else:
                x = (lo + hi) / 2
            out.append((x, y, r))
        return out

    back = limit(puff_field(46, 292, 440, 22, 44, 70, 150), 0.5)
    mid = limit(puff_field(44, 262, 430, 14, 32, 60, 130), 0.55)
    front = limit(puff_field(30, 285, 430, 10, 24, 50, 120), 0.65)

    # soft fog body that carries the clouds down to the bottom edge
    a('<g id="smoke-fog" filter="url(#blur10)">')
    a('<path d="M330 290 C360 270 445 270 474 290 C510 320 535 360 548 410 L258 410 '
      'C270 360 296 318 330 290Z" fill="rgb(58,62,78)" opacity="0.55"/>')
    a('<ellipse cx="402" cy="392" rx="128" ry="40" fill="rgb(88,94,108)" opacity="0.45"/>')
    a("</g>")

    a('<g id="smoke-back" filter="url(#smoke0)">')
    for x, y, r in back:
        a('<circle cx="%s" cy="%s" r="%s" fill="url(#puffDark)"/>' % (f3(x), f3(y), f3(r)))
    a("</g>")

    # volumetric light cone from the tail fan down into the smoke
    a('<path id="light-cone" d="M392 204 L408 204 L500 372 L304 372 Z" fill="url(#cone)" '
      'filter="url(#blur5)"/>')

    # streak glows under the mid smoke
    a('<g id="streak-glow" filter="url(#blur5)" opacity="0.9">')
    for k, (ox, oy, ex, ey, col, w) in enumerate(streaks):
        a('<path d="%s" fill="url(#st%d)"/>' % (taper(ox, oy, ex, ey, 1.5, w * 4.0), k))
    a("</g>")

    a('<g id="smoke-mid" filter="url(#smoke1)">')
    for x, y, r in mid:
        a('<circle cx="%s" cy="%s" r="%s" fill="url(#puffGrey)"/>' % (f3(x), f3(y), f3(r)))
    a("</g>")

    # crisp streaks
    a('<g id="streaks">')
    for k, (ox, oy, ex, ey, col, w) in enumerate(streaks):
        a('<path d="%s" fill="url(#st%d)"/>' % (taper(ox, oy, ex, ey, 0.35, w), k))
    a("</g>")

    # green and cyan light caught in the smoke where the streaks land
    a('<g id="smoke-lit" filter="url(#smoke1)">')
    for ox, oy, ex, ey, col, w in streaks:
        a('<circle cx="%s" cy="%s" r="%s" fill="url(#puffGreen)"/>'
          % (f3(ex), f3(ey - 4), f3(16 + w * 3)))
    a("</g>")

    a('<g id="smoke-front" filter="url(#smoke2)">')
    for x, y, r in front:
        a('<circle cx="%s" cy="%s" r="%s" fill="url(#puffLight)"/>' % (f3(x), f3(y), f3(r)))
    a("</g>")

    # sparks rising along the light
    a('<g id="sparks">')
    for _ in range(70):
        t = rnd.random()
        y = 150 + t * 190
        spread = 20 + t * 110
        x = CX + rnd.uniform(-spread, spread)
        if 180 < y < 215 and abs(x - CX) < 30:
            continue
        r = rnd.uniform(0.35, 1.15)
        col = rnd.choice([(150, 255, 190), (150, 240, 255), (235, 255, 245)])
        op = rnd.uniform(0.35, 0.9) * (1.0 - 0.5 * t)
        if rnd.random() < 0.3:
            a('<circle cx="%s" cy="%s" r="%s" fill="%s" filter="url(#blur1)"/>'
              % (f3(x), f3(y), f3(r * 2.2), rgb(col, op)))
        a('<circle cx="%s" cy="%s" r="%s" fill="%s"/>' % (f3(x), f3(y), f3(r), rgb(col, op)))
    a("</g>")

    # ---- the kestrel ----
    facets, head_top = bird_facets()
    sil = []
    for pts, _ in facets:
        sil.append(poly_d(pts))
        sil.append(poly_d(pts, mirror=True))
    sil_d = "".join(sil)
    a('<g id="kestrel">')
    a('<path d="%s" fill="rgb(40,230,160)" opacity="0.55" filter="url(#blur10)"/>' % sil_d)
    a('<path d="%s" fill="rgb(140,255,220)" opacity="0.6" filter="url(#blur2)"/>' % sil_d)
    a('<g filter="url(#grain)">')
    for pts, shade in facets:
        cy = sum(p[1] for p in pts) / len(pts)
        for mirror in (False, True):
            sh = shade if not mirror else shade * 0.93
            c = facet_colour(sh, cy)
            a('<path d="%s" fill="%s" stroke="%s" stroke-width="0.35" stroke-linejoin="round"/>'
              % (poly_d(pts, mirror), rgb(c), rgb(c)))
    a("</g>")
    # cyan towards the wing tips, white heat at the breast
    a('<path d="%s" fill="url(#birdTint)"/>' % sil_d)
    # facet edges as fine light lines
    a('<g fill="none" stroke="rgb(210,255,240)" stroke-width="0.3" stroke-linejoin="round" opacity="0.45">')
    for pts, _ in facets:
        a('<path d="%s"/>' % poly_d(pts))
        a('<path d="%s"/>' % poly_d(pts, mirror=True))
    a("</g>")
    # eyes and malar stripes
    for m in (1, -1):
        a('<path d="M%s %sL%s %sL%s %sZ" fill="rgb(4,30,28)"/>'
          % (f3(CX + 5.2 * m), f3(118 + BIRD_DY - 4), f3(CX + 3.2 * m), f3(118 + BIRD_DY),
             f3(CX + 4.0 * m), f3(118 + BIRD_DY + 5)))
        a('<circle cx="%s" cy="%s" r="1.15" fill="rgb(4,24,24)"/>' % (f3(CX + 3.3 * m), f3(112.6 + BIRD_DY)))
        a('<circle cx="%s" cy="%s" r="0.4" fill="rgb(220,255,250)"/>' % (f3(CX + 3.0 * m), f3(112.2 + BIRD_DY)))
    a('<path d="M%s %sL%s %sL%s %sZ" fill="rgb(12,60,50)"/>'
      % (f3(CX - 2), f3(121 + BIRD_DY), f3(CX + 2), f3(121 + BIRD_DY), f3(CX), f3(127 + BIRD_DY)))
    a("</g>")
    a("</g>")  # artwork

    # ---- knob bodies ----
    a('<g id="knob-halos" mask="url(#plain)">')
    for name, kx, ky, r, fill in KNOBS:
        a('<mask id="haloMask-%s" maskUnits="userSpaceOnUse" x="%s" y="%s" width="%s" height="%s">'
          '<rect x="%s" y="%s" width="%s" height="%s" fill="url(#haloFade)"/></mask>'
          % (name, f3(kx - r - 20), f3(ky - r - 20), f3(2 * r + 40), f3(2 * r + 40),
             f3(kx - r - 20), f3(ky - r - 20), f3(2 * r + 40), f3(2 * r + 40)))
        a('<g mask="url(#haloMask-%s)"><circle cx="%d" cy="%d" r="%s" fill="none" '
          'stroke="rgb(60,230,120)" stroke-width="%s" opacity="%s" filter="url(#blur5)"/></g>'
          % (name, kx, ky, f3(r + 2), f3(4 if r > 50 else 3), "0.35" if r > 50 else "0.3"))
    a("</g>")
    a('<g id="knobs">')
    for name, kx, ky, r, fill in KNOBS:
        a('<circle id="knob-%s" cx="%d" cy="%d" r="%s" fill="%s" stroke="#fff" stroke-width="%s"/>'
          % (name, kx, ky, f3(r - OUTLINE / 2), rgb(fill), f3(OUTLINE)))
    a("</g>")

    # ---- lettering ----
    a('<g id="lettering" fill="#fff">')
    d, span, tr = faces["serif"].outline("TARNWELL", (16 + 161) / 2.0, 32, 15, width=145)
    a('<path id="maker" d="%s"/>' % d)
    # heavy: the outline is stroked 1 px wide, so the ink grows 0.5 px each way
    d, span, tr = faces["title"].outline("KESTRUNE", CX, 59.5, 35, width=289)
    a('<path id="title-glow" d="%s" fill="rgb(150,255,220)" opacity="0.22" filter="url(#blur5)"/>' % d)
    a('<path id="title" d="%s" stroke="#fff" stroke-width="1" stroke-linejoin="round"/>' % d)
    d, span, tr = faces["thin"].outline("NOISE RISER", CX, 87, 14, width=166)
    a('<path id="subtitle" d="%s"/>' % d)
    for text, x, y, cap, face, track in CAPTIONS:
        size_px = cap / (faces[face].cap_units / faces[face].font["head"].unitsPerEm)
        d, span, tr = faces[face].outline(text, x, y + cap / 2.0, cap, track * size_px)
        a('<path id="caption-%s" d="%s"/>' % (text.lower(), d))
    a("</g>")
    a("</svg>")
    return "\n".join(o) + "\n"


def taper(ox, oy, ex, ey, w0, w1):
    """A streak: a quad from width w0 at the origin to w1 at the end."""
    dx, dy = ex - ox, ey - oy
    ln = math.hypot(dx, dy)
    nx, ny = -dy / ln, dx / ln
    pts = [(ox + nx * w0 / 2, oy + ny * w0 / 2), (ex + nx * w1 / 2, ey + ny * w1 / 2),
           (ex - nx * w1 / 2, ey - ny * w1 / 2), (ox - nx * w0 / 2, oy - ny * w0 / 2)]
    return "M" + "L".join("%s %s" % (f3(x), f3(y)) for x, y in pts) + "Z"


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "background.svg")
    with open(out, "w", encoding="utf-8") as fh:
        fh.write(build())
