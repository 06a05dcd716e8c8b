"""Line glyphs drawn in a 24 x 24 box, shared by buttons, icons and pictures.

Each glyph takes an ink colour and, where it has one, a second colour for
its filled parts, so the same shape serves every button state.
"""

from svgkit import (arc_d, arrow_head, circle, ellipse, f, gear_d, line, path,
                    polar, rect, star4)

SW = 2.2  # stroke width inside the 24-unit box


def pause(ink, fill=None):
    return rect(6, 5, 4.2, 14, 1.2, fill=ink) + rect(13.8, 5, 4.2, 14, 1.2, fill=ink)


def play(ink, fill=None):
    return path("M8 4.8L19.2 12L8 19.2Z", fill=ink, stroke=ink, sw=1.6)


def check(ink, fill=None, sw=SW + 0.6):
    return path("M5 12.6L10 17.4L19 6.8", stroke=ink, sw=sw)


def wand(ink, fill=None):
    sparkle = fill or ink
    return (line(4.5, 19.5, 14.5, 9.5, stroke=ink, sw=SW + 0.4)
            + path(star4(17.5, 6.3, 4.6), fill=sparkle)
            + path(star4(20.2, 13.5, 2.6), fill=sparkle)
            + path(star4(10.8, 4.2, 2.4), fill=sparkle))


def magnifier(ink, fill=None):
    body = circle(10.2, 10.2, 5.6, fill=fill) if fill else ""
    return (body + circle(10.2, 10.2, 5.6, stroke=ink, sw=SW)
            + line(14.4, 14.4, 19.6, 19.6, stroke=ink, sw=SW + 1.0))


def trash(ink, fill=None):
    return (line(4.5, 7, 19.5, 7, stroke=ink, sw=SW)
            + path("M9.5 7V4.6H14.5V7", stroke=ink, sw=SW - 0.4)
            + path("M6.8 7L7.9 19.6H16.1L17.2 7", stroke=ink, sw=SW, fill=fill)
            + line(10.4, 10.5, 10.7, 16.5, stroke=ink, sw=1.5)
            + line(13.6, 10.5, 13.3, 16.5, stroke=ink, sw=1.5))


def house(ink, fill=None):
    return (path("M6.5 10.8V19.5H17.5V10.8", stroke=ink, sw=SW, fill=fill)
            + path("M3.8 12.2L12 4.8L20.2 12.2", stroke=ink, sw=SW)
            + path("M10.3 19.5V14.6H13.7V19.5", stroke=ink, sw=SW - 0.6))


def undo(ink, fill=None, sw=SW):
    # An arc of three quarters ending in an arrow, turning anticlockwise.
    d = arc_d(12, 12.5, 6.5, -200, 60)
    x, y = polar(12, 12.5, 6.5, -200)
    return path(d, stroke=ink, sw=sw) + path(arrow_head(x - 0.8, y - 2.9, -110, 6.2), fill=ink)


def gear(ink, fill=None):
    return path(gear_d(12, 12, 9.6, 7.2, 8, 3.0), fill=ink, extra=' fill-rule="evenodd"')


def note(ink, fill=None):
    """Two beamed eighth notes."""
    return (ellipse(7.4, 17.6, 3.3, 2.5, fill=ink, extra=' transform="rotate(-20 7.4 17.6)"')
            + ellipse(17.0, 15.6, 3.3, 2.5, fill=ink, extra=' transform="rotate(-20 17 15.6)"')
            + rect(9.4, 5.6, 1.9, 12.2, 0.4, fill=ink)
            + rect(19.0, 3.6, 1.9, 12.2, 0.4, fill=ink)
            + path("M9.4 5.6L20.9 3.2V6.6L9.4 9Z", fill=ink))


def single_note(ink, fill=None):
    return (ellipse(9.2, 17.4, 3.6, 2.7, fill=ink, extra=' transform="rotate(-20 9.2 17.4)"')
            + rect(11.3, 4.4, 1.9, 13.2, 0.4, fill=ink)
            + path("M13.2 4.4C15.5 5.6 18.2 6.8 17.6 10.6C16.9 8.8 15.4 8.2 13.2 8.1Z", fill=ink))


def disc(ink, fill=None):
    return (circle(12, 12, 8.6, stroke=ink, sw=SW - 0.4, fill=fill)
            + circle(12, 12, 3.1, stroke=ink, sw=SW - 0.4)
            + circle(12, 12, 0.9, fill=ink))


def folder_solid(ink, fill=None):
    """A filled folder that stays readable at 16 pixels."""
    return path("M3 6.8C3 6.1 3.5 5.6 4.2 5.6H9.4L11.4 7.8H19.8C20.5 7.8 21 8.3 21 9V18.2"
                "C21 18.9 20.5 19.4 19.8 19.4H4.2C3.5 19.4 3 18.9 3 18.2Z", fill=ink)


def person(ink, fill=None):
    return (circle(12, 8.4, 3.8, fill=ink)
            + path("M4.8 20C5.2 15.4 8.2 13.4 12 13.4C15.8 13.4 18.8 15.4 19.2 20Z", fill=ink))


def picture(ink, fill=None):
    return (rect(3.5, 5, 17, 14, 1.6, stroke=ink, sw=SW - 0.4, fill=fill)
            + path("M5.6 17L10 12.2L13 15.2L15.2 13L18.6 17Z", fill=ink)
            + circle(15.6, 9.2, 1.7, fill=ink))


def locked_file(ink, fill=None):
    """A page with a padlock: a file that cannot be written."""
    return (path("M6 3.5H13.4L18 8.1V20.5H6Z", stroke=ink, sw=SW - 0.6, fill=fill)
            + path("M13.4 3.5V8.1H18", stroke=ink, sw=SW - 0.9)
            + rect(8.6, 13.2, 6.8, 5.2, 0.8, fill=ink)
            + path("M9.9 13.2V11.6C9.9 9.1 14.1 9.1 14.1 11.6V13.2", stroke=ink, sw=1.5))


def question(ink, fill=None):
    return (path("M8.6 8.8C8.6 6.7 10.2 5.2 12.2 5.2C14.2 5.2 15.7 6.6 15.7 8.4C15.7 11.2 12.2 11.4 12.2 14.4",
                 stroke=ink, sw=SW + 0.3)
            + circle(12.2, 18.6, 1.5, fill=ink))


def globe(ink, fill=None):
    return (circle(12, 12, 8.4, stroke=ink, sw=SW - 0.5, fill=fill)
            + ellipse(12, 12, 3.6, 8.4, stroke=ink, sw=SW - 0.8)
            + line(3.8, 9.2, 20.2, 9.2, stroke=ink, sw=SW - 0.9)
            + line(3.8, 14.8, 20.2, 14.8, stroke=ink, sw=SW - 0.9))


def sliders(ink, fill=None):
    out = ""
    for y, kx in ((6.5, 15.5), (12, 8.5), (17.5, 13.5)):
        out += line(4, y, 20, y, stroke=ink, sw=SW - 0.6)
        out += circle(kx, y, 2.5, fill=fill or "#ffffff", stroke=ink, sw=SW - 0.6)
    return out


def plus(ink, fill=None, sw=SW + 0.6):
    return line(12, 5.5, 12, 18.5, stroke=ink, sw=sw) + line(5.5, 12, 18.5, 12, stroke=ink, sw=sw)


def minus(ink, fill=None, sw=SW + 0.6):
    return line(5.5, 12, 18.5, 12, stroke=ink, sw=sw)


def pencil(ink, fill=None):
    return (path("M5 19L6 14.8L15.6 5.2L18.8 8.4L9.2 18Z", stroke=ink, sw=SW - 0.5, fill=fill)
            + line(13.6, 7.2, 16.8, 10.4, stroke=ink, sw=SW - 0.8))


def skip(ink, fill=None):
    return path("M5 6.5L11 12L5 17.5Z M12.5 6.5L18.5 12L12.5 17.5Z", fill=ink, stroke=ink, sw=1.2)


def exclaim(ink, fill=None):
    return rect(10.6, 4.6, 2.8, 10.2, 1.4, fill=ink) + circle(12, 18.4, 1.7, fill=ink)


def download(ink, fill=None):
    return (path("M12 4.5V14.5", stroke=ink, sw=SW)
            + path("M7.6 10.4L12 14.8L16.4 10.4", stroke=ink, sw=SW)
            + path("M5 18.8H19", stroke=ink, sw=SW))


def note_scan(ink, fill=None):
    """A note under a small magnifier: scanning the music library."""
    return (group_small(single_note(ink), -1.5, 0.5, 0.9)
            + circle(16.4, 15.2, 3.7, fill=fill or "#ffffff", stroke=ink, sw=SW - 0.5)
            + line(19.0, 17.8, 21.6, 20.4, stroke=ink, sw=SW + 0.3))


def group_small(body, tx, ty, s):
    return '<g transform="translate(%s %s) scale(%s)">%s</g>' % (f(tx), f(ty), f(s), body)


def place(glyph_body, x, y, size):
    """Puts a 24-unit glyph with its top-left corner at (x, y), size pixels wide."""
    return group_small(glyph_body, x, y, size / 24.0)
