"""Small helpers for writing the SVG that the art renderer turns into PNG.

Only what Qt's SVG renderer (SVG Tiny 1.2) draws reliably is used: paths,
basic shapes, linear and radial gradients, opacity, transforms and text.
No clip paths, masks or filters.
"""

import math

# Palette: soft neutrals with one green accent (the accent of the score),
# plus a warm red and an amber reserved for failure and warning marks.
WHITE = "#ffffff"
N1 = "#f7f8f6"
N2 = "#eceee9"
N3 = "#d7dbd3"
N4 = "#b3bab0"
N5 = "#858d83"
N6 = "#5b6259"
N7 = "#3a4039"
G0 = "#f1f8ec"
G1 = "#e3f2d9"
G2 = "#c4e3ae"
G3 = "#78c84f"
G4 = "#5aa83a"
G5 = "#3d8526"
G6 = "#2b6319"
R3 = "#e4826f"
R4 = "#d0523f"
R5 = "#a83a2a"
A4 = "#e8a23a"
A5 = "#b97a1d"
GREY_INK = "#b9beb6"
GREY_FACE = "#f2f3f1"
GREY_EDGE = "#dcdfda"

FONT = "DejaVu Sans"


def f(v):
    """Number formatting that keeps the SVG short and locale-free."""
    s = ("%.3f" % v).rstrip("0").rstrip(".")
    return s if s not in ("", "-0") else "0"


def svg(w, h, body, defs=""):
    d = "<defs>%s</defs>" % defs if defs else ""
    return ('<svg xmlns="http://www.w3.org/2000/svg" version="1.2" baseProfile="tiny" '
            'width="%d" height="%d" viewBox="0 0 %d %d">%s%s</svg>' % (w, h, w, h, d, body))


def lin(gid, stops, x1=0, y1=0, x2=0, y2=1):
    s = "".join('<stop offset="%s" stop-color="%s"%s/>' % (
        f(o), c, (' stop-opacity="%s"' % f(a)) if a is not None else "")
        for o, c, a in [(st + (None,))[:3] for st in stops])
    return ('<linearGradient id="%s" x1="%s" y1="%s" x2="%s" y2="%s">%s</linearGradient>'
            % (gid, f(x1), f(y1), f(x2), f(y2), s))


def rad(gid, stops, cx=0.5, cy=0.5, r=0.5):
    s = "".join('<stop offset="%s" stop-color="%s"%s/>' % (
        f(o), c, (' stop-opacity="%s"' % f(a)) if a is not None else "")
        for o, c, a in [(st + (None,))[:3] for st in stops])
    return ('<radialGradient id="%s" cx="%s" cy="%s" r="%s">%s</radialGradient>'
            % (gid, f(cx), f(cy), f(r), s))


def attrs(fill=None, stroke=None, sw=None, opacity=None, extra=""):
    a = ' fill="%s"' % (fill if fill else "none")
    if stroke:
        a += ' stroke="%s" stroke-width="%s" stroke-linecap="round" stroke-linejoin="round"' % (
            stroke, f(sw if sw is not None else 1))
    if opacity is not None:
        a += ' opacity="%s"' % f(opacity)
    return a + extra


def rect(x, y, w, h, r=0, **kw):
    return '<rect x="%s" y="%s" width="%s" height="%s" rx="%s" ry="%s"%s/>' % (
        f(x), f(y), f(w), f(h), f(r), f(r), attrs(**kw))


def circle(cx, cy, r, **kw):
    return '<circle cx="%s" cy="%s" r="%s"%s/>' % (f(cx), f(cy), f(r), attrs(**kw))


def ellipse(cx, cy, rx, ry, **kw):
    return '<ellipse cx="%s" cy="%s" rx="%s" ry="%s"%s/>' % (f(cx), f(cy), f(rx), f(ry), attrs(**kw))


def path(d, **kw):
    return '<path d="%s"%s/>' % (d, attrs(**kw))


def line(x1, y1, x2, y2, **kw):
    return path("M%s %sL%s %s" % (f(x1), f(y1), f(x2), f(y2)), **kw)


def group(body, tx=0, ty=0, s=1, rot=0, rcx=0, rcy=0, opacity=None):
    t = []
    if tx or ty:
        t.append("translate(%s %s)" % (f(tx), f(ty)))
    if s != 1:
        t.append("scale(%s)" % f(s))
    if rot:
        t.append("rotate(%s %s %s)" % (f(rot), f(rcx), f(rcy)))
    a = ' transform="%s"' % " ".join(t) if t else ""
    if opacity is not None:
        a += ' opacity="%s"' % f(opacity)
    return "<g%s>%s</g>" % (a, body)


def text(x, y, s, size, fill, bold=False, anchor="middle", italic=False):
    s = s.replace("&", "&amp;").replace("<", "&lt;")
    return ('<text x="%s" y="%s" font-family="%s" font-size="%s"%s%s text-anchor="%s" fill="%s">%s</text>'
            % (f(x), f(y), FONT, f(size), ' font-weight="bold"' if bold else "",
               ' font-style="italic"' if italic else "", anchor, fill, s))


def polar(cx, cy, r, deg):
    a = math.radians(deg)
    return cx + r * math.cos(a), cy + r * math.sin(a)


def arc_d(cx, cy, r, a0, a1):
    """Path data of a circular arc from angle a0 to a1 (degrees, clockwise on screen)."""
    x0, y0 = polar(cx, cy, r, a0)
    x1, y1 = polar(cx, cy, r, a1)
    large = 1 if abs(a1 - a0) % 360 > 180 else 0
    sweep = 1 if a1 > a0 else 0
    return "M%s %sA%s %s 0 %d %d %s %s" % (f(x0), f(y0), f(r), f(r), large, sweep, f(x1), f(y1))


def arrow_head(x, y, deg, size):
    """A filled triangle pointing along deg with its tip at (x, y)."""
    bx, by = polar(x, y, -size, deg)
    lx, ly = polar(bx, by, size * 0.6, deg + 90)
    rx, ry = polar(bx, by, size * 0.6, deg - 90)
    return "M%s %sL%s %sL%s %sZ" % (f(x), f(y), f(lx), f(ly), f(rx), f(ry))


def star4(cx, cy, r, inner=0.28):
    """A four-pointed sparkle."""
    pts = []
    for i in range(8):
        rr = r if i % 2 == 0 else r * inner
        pts.append(polar(cx, cy, rr, -90 + i * 45))
    return "M" + "L".join("%s %s" % (f(x), f(y)) for x, y in pts) + "Z"


def gear_d(cx, cy, r_out, r_in, teeth, hole):
    pts = []
    step = 360.0 / teeth
    for i in range(teeth):
        a = -90 + i * step
        for da, rr in ((-step * 0.22, r_out), (step * 0.22, r_out), (step * 0.32, r_in), (step * 0.68, r_in)):
            pts.append(polar(cx, cy, rr, a + da))
    d = "M" + "L".join("%s %s" % (f(x), f(y)) for x, y in pts) + "Z"
    d += "M%s %sA%s %s 0 1 0 %s %sA%s %s 0 1 0 %s %sZ" % (
        f(cx + hole), f(cy), f(hole), f(hole), f(cx - hole), f(cy), f(hole), f(hole), f(cx + hole), f(cy))
    return d


def mix(c1, c2, t):
    """Colour between c1 (t = 0) and c2 (t = 1)."""
    a = [int(c1[i:i + 2], 16) for i in (1, 3, 5)]
    b = [int(c2[i:i + 2], 16) for i in (1, 3, 5)]
    return "#%02x%02x%02x" % tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))
