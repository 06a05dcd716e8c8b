#!/usr/bin/env python3
"""Writes every picture of the application as SVG, one file per image or
animation frame, plus the manifest that artrender reads to turn them into the
PNG and GIF files under res/res/mac.

    make_art.py <work dir>

Also rewrites the resource table in tools/art/README.md, so the table always
lists what is drawn here. Standard library only.
"""

import os
import sys

import glyphs as gl
from svgkit import (A4, A5, FONT, G0, G1, G2, G3, G4, G5, G6, GREY_EDGE, GREY_FACE, GREY_INK,
                    N1, N2, N3, N4, N5, N6, N7, R3, R4, R5, WHITE, circle, f, group, line,
                    lin, mix, path, polar, rad, rect, star4, svg, text)

STATES = (("", "normal"), ("_on", "hover"), ("_down", "down"), ("_disable", "disabled"))

# Header colour behind the phase pictures; the animations are opaque except
# at their rounded corners, which GIF can only cut hard, so those edge pixels
# are blended with this colour.
HEADER_MATTE = "#efefef"


class Art:
    def __init__(self):
        self.items = []      # (kind, relpath, w, h, extra, svgs, used_by)
        self.demos = []      # button demo rows for the contact sheet

    def png(self, rel, w, h, body, defs="", used=""):
        self.items.append(("png", rel, w, h, None, [svg(w, h, body, defs)], used))

    def gif(self, rel, w, h, delay_ms, matte, frames, used=""):
        """frames: list of (defs, body)."""
        self.items.append(("gif", rel, w, h, (delay_ms, matte),
                           [svg(w, h, b, d) for d, b in frames], used))


ART = Art()


# ---------------------------------------------------------------- button faces

FACE_TONES = {
    "neutral": {
        "normal": (WHITE, "#e6e9e3", N4, G5),
        "hover": (WHITE, "#edf6e6", G3, G4),
        "down": ("#d3d8cf", "#eaece7", N5, G6),
        "disabled": (GREY_FACE, "#e9eae8", GREY_EDGE, GREY_INK),
    },
    "green": {
        "normal": ("#eef8e7", "#cce8b8", "#8cc46c", G5),
        "hover": ("#f6fcf1", "#dcf1cc", G4, G4),
        "down": ("#b9dd9f", "#dbefcd", G5, G6),
        "disabled": (GREY_FACE, "#e9eae8", GREY_EDGE, GREY_INK),
    },
}


def face(w, h, r, state, tone="neutral"):
    """A button face filling w x h; returns (defs, body, ink, dy)."""
    top, bottom, edge, ink = FACE_TONES[tone][state]
    defs = lin("face", [(0, top), (1, bottom)])
    body = ""
    if state == "down":
        body += rect(0.5, 0.5, w - 1, h - 1, r, fill="url(#face)", stroke=edge)
        # Inset: a shadow along the top edge.
        defs += lin("inset", [(0, "#000000", 0.16), (1, "#000000", 0)])
        body += rect(1, 1, w - 2, min(6, h / 3.0), max(r - 1, 0), fill="url(#inset)")
        return defs, body, ink, 1
    if state != "disabled":
        body += rect(0.5, 1.5, w - 1, h - 1.5, r, fill="#000000", opacity=0.08)
    body += rect(0.5, 0.5, w - 1, h - 2, r, fill="url(#face)", stroke=edge)
    if state != "disabled" and h > 14:
        body += line(r + 0.5, 1.5, w - r - 0.5, 1.5, stroke=WHITE, sw=1, opacity=0.9)
    return defs, body, ink, 0


def face_set(base, w, h, r, draw=None, tone="neutral", used="", ink_for=None):
    """Four state images of one button base name; draw(ink, state, dy) adds the glyph."""
    for suffix, state in STATES:
        defs, body, ink, dy = face(w, h, r, state, tone)
        if ink_for:
            ink = ink_for(state, ink)
        if draw:
            body += draw(ink, state, dy)
        ART.png("button/%s%s.png" % (base, suffix), w, h, body, defs,
                used if suffix == "" else "%s (%s)" % (used, state))


def header_button(base, glyph, tone, text, obj, color, w=132, ink_for=None):
    """The main window's header buttons: 132 x 43 (Home 112 x 43), text drawn by Qt."""
    h = 43
    size = 20

    def draw(ink, state, dy):
        if not glyph:
            return ""
        return gl.place(glyph(ink), 11, (h - size) / 2.0 - 0.5 + dy, size)

    face_set(base, w, h, 7, draw if glyph else None, tone,
             "main window header button \"%s\" (%s), %d x %d" % (text.strip(), obj, w, h), ink_for)
    ART.demos.append(("button", base, obj, text, w, h, color, 14))


def red_ink(state, ink):
    return {"normal": R4, "hover": R3, "down": R5, "disabled": GREY_INK}[state]


def header_buttons():
    header_button("pause", gl.pause, "neutral", "   Pause", "main_cancelbut", "#3d90c5")
    header_button("continue", gl.play, "green", "   Continue", "main_cancelbut", "#1e4c00")
    header_button("fixallbut", gl.wand, "green", "   Fix All", "main_fixallbut", "#002d4c")
    header_button("apply", None, "green", "Apply", "main_applybut", "#002d4c")
    header_button("return", None, "neutral", "Try Again", "main_selectbut", "#3d90c5")
    header_button("scan", gl.magnifier, "neutral", "   Scan", "main_scanbut", "#002d4c")
    header_button("remove", gl.trash, "neutral", "   Remove", "main_removebut", "#002d4c",
                  ink_for=red_ink)
    header_button("home", gl.house, "neutral", "  Home", "main_gohome", "#002d4c", w=112)


# ---------------------------------------------------------- start screen cards

CARD_PAL = {
    "normal": dict(main=G4, light=G2, dark=G5, deep=G6, paper=WHITE, line=N4, ink=N6, glow=G3),
    "hover": dict(main=G3, light=G1, dark=G4, deep=G5, paper=WHITE, line=N4, ink=N6, glow=G3),
    "down": dict(main=G5, light=G2, dark=G6, deep=G6, paper="#f4f5f2", line=N5, ink=N7, glow=G4),
    "disabled": dict(main="#c8ccc6", light="#e4e6e2", dark="#b8bcb5", deep="#aeb2ab",
                     paper="#f8f8f7", line="#d6d9d3", ink="#c6c9c3", glow="#d0d3ce"),
}


def card_face(w, h, state):
    r = 12
    defs = ""
    body = ""
    if state == "normal":
        defs = lin("card", [(0, WHITE), (1, "#eff1ec")])
        body += rect(1, 2.5, w - 2, h - 3, r, fill="#000000", opacity=0.07)
        body += rect(0.5, 0.5, w - 1, h - 3, r, fill="url(#card)", stroke=N3)
    elif state == "hover":
        defs = lin("card", [(0, WHITE), (1, G0)])
        body += rect(1, 2.5, w - 2, h - 3, r, fill="#000000", opacity=0.09)
        body += rect(1, 1, w - 2, h - 4, r, fill="url(#card)", stroke=G3, sw=2)
    elif state == "down":
        defs = lin("card", [(0, "#e3e7e0"), (1, "#f1f2ef")])
        defs += lin("inset", [(0, "#000000", 0.14), (1, "#000000", 0)])
        body += rect(0.5, 1.5, w - 1, h - 2, r, fill="url(#card)", stroke=N4)
        body += rect(1, 2, w - 2, 10, r - 1, fill="url(#inset)")
    else:
        body += rect(0.5, 0.5, w - 1, h - 3, r, fill="#f6f6f5", stroke="#e3e5e1")
    return defs, body


def ill_library(p):
    """Clean the library: a round record label with a note and sparkles."""
    defs = rad("ball", [(0, p["glow"]), (1, p["dark"])], cx=0.4, cy=0.35, r=0.7)
    body = circle(100, 80, 50, fill="url(#ball)")
    body += circle(100, 80, 50, stroke=p["deep"], sw=1.5)
    body += circle(100, 80, 41, stroke=WHITE, sw=1.2, opacity=0.35)
    body += gl.place(gl.note(WHITE), 70, 50, 60)
    body += path(star4(158, 34, 12), fill=p["main"])
    body += path(star4(170, 64, 6), fill=p["main"])
    body += path(star4(146, 12, 5), fill=p["glow"])
    return defs, body


def ill_folder(p):
    defs = lin("front", [(0, p["glow"]), (1, p["dark"])])
    body = path("M44 40C44 37 46 35 49 35H84L93 45H156C159 45 161 47 161 50V126H44Z", fill=p["deep"])
    body += rect(58, 52, 90, 60, 3, fill=p["paper"], stroke=p["line"], sw=1)
    body += path("M40 64C40 61 42 59 45 59H160C163 59 165 61 165 64L160 126C160 129 158 131 155 131H50"
                 "C47 131 45 129 45 126Z", fill="url(#front)")
    body += gl.place(gl.single_note(WHITE), 81, 66, 44)
    return defs, body


def note_card(x, y, rot, p, tag=""):
    w, h = 66, 84
    body = rect(x, y, w, h, 8, fill=p["paper"], stroke=p["line"], sw=1.5)
    body += rect(x + 9, y + 9, w - 18, w - 18, 5, fill=p["light"])
    body += gl.place(gl.single_note(p["dark"]), x + 15, y + 13, w - 30)
    body += rect(x + 10, y + w + 1, w - 20, 3.5, 1.7, fill=p["line"])
    body += rect(x + 10, y + w + 8, w - 34, 3.5, 1.7, fill=p["line"])
    return group(body, rot=rot, rcx=x + w / 2.0, rcy=y + h / 2.0) + tag


def ill_duplicates(p):
    body = note_card(46, 36, -9, p)
    body += note_card(92, 44, 7, p)
    body += circle(154, 46, 14, fill=p["main"], stroke=WHITE, sw=2)
    body += text(154, 51.5, "2", 16, WHITE, bold=True)
    return "", body


def ill_saved(p):
    body = path("M62 24H118L142 48V136H62Z", fill=p["paper"], stroke=p["line"], sw=1.8)
    body += path("M118 24V48H142", fill=p["light"], stroke=p["line"], sw=1.8)
    for i, wd in enumerate((56, 64, 48, 60, 40)):
        body += rect(74, 60 + i * 13, wd, 5, 2.5, fill=p["light"] if i % 2 else p["line"], opacity=0.9)
    body += circle(136, 120, 22, fill=p["main"], stroke=WHITE, sw=2.5)
    body += gl.place(gl.play(WHITE), 124.5, 108, 24)
    return "", body


def start_card(base, text_, obj, illustration):
    w, h = 205, 195
    for suffix, state in STATES:
        defs, body = card_face(w, h, state)
        idefs, ibody = illustration(CARD_PAL[state])
        dy = 1 if state == "down" else 0
        body += group(ibody, tx=2.5, ty=dy)
        ART.png("button/%s%s.png" % (base, suffix), w, h, body, defs + idefs,
                "start screen button \"%s\" (%s)%s, 205 x 195"
                % (text_, obj, "" if state == "normal" else " (%s)" % state))
    ART.demos.append(("start", base, obj, text_, w, h, "#5a5a5a", "#5e5e5e", 10))


def round_button(base, glyph_fn, used, letter=None):
    """32 x 32 round buttons of the start screen's bottom row."""
    tones = {
        "normal": (WHITE, N2, N4, N6),
        "hover": (WHITE, G0, G3, G4),
        "down": ("#d3d8cf", "#eaece7", N5, G6),
        "disabled": (GREY_FACE, "#e9eae8", GREY_EDGE, GREY_INK),
    }
    for suffix, state in STATES:
        top, bottom, edge, ink = tones[state]
        defs = lin("face", [(0, top), (1, bottom)])
        dy = 1 if state == "down" else 0
        body = ""
        if state in ("normal", "hover"):
            body += circle(16, 16.8, 15, fill="#000000", opacity=0.08)
        body += circle(16, 16, 14.8, fill="url(#face)", stroke=edge)
        if letter:
            body += text(16, 22.5 + dy, letter, 17, ink, bold=True)
        else:
            body += gl.place(glyph_fn(ink), 5, 5 + dy, 22)
        ART.png("button/%s%s.png" % (base, suffix), 32, 32, body, defs,
                used if not suffix else "%s (%s)" % (used, state))


def start_buttons():
    start_card("cleanitunes", "Start to Clean iTunes", "cleaner_obj", ill_library)
    start_card("musicfolder", "Open Music Files", "open_obj", ill_folder)
    start_card("loadsaved", "Load Saved Result", "load_obj", ill_saved)
    start_card("duplicates", "Clean-up Duplicates", "duplicate_obj", ill_duplicates)
    round_button("setting", gl.gear, "start screen \"Settings\" button (set_obj), 32 x 32")
    round_button("facebook", None, "start screen \"Facebook\" button (facebook_obj, hidden), 32 x 32",
                 letter="f")
    round_button("twitter", None, "start screen \"Twitter\" button (twitter_obj, hidden), 32 x 32",
                 letter="t")
    for _, base, obj, txt in (("", "setting", "set_obj", ""), ("", "facebook", "facebook_obj", ""),
                              ("", "twitter", "twitter_obj", "")):
        ART.demos.append(("start", base, obj, txt, 32, 32, "#5e5e5e", "#ffffff", 0))


# ----------------------------------------------------------- other buttons

def small_buttons():
    # Close button of the enlarged picture.
    fills = {"normal": N6, "hover": R4, "down": R5, "disabled": "#c8cbc6"}
    for suffix, state in STATES:
        dy = 0.5 if state == "down" else 0
        body = circle(8.5, 8.5, 7.8, fill=fills[state], stroke=WHITE, sw=1)
        body += line(5.8, 5.8 + dy, 11.2, 11.2 + dy, stroke=WHITE, sw=1.7)
        body += line(11.2, 5.8 + dy, 5.8, 11.2 + dy, stroke=WHITE, sw=1.7)
        ART.png("button/enlargeclose%s.png" % suffix, 17, 17, body, "",
                "close button of the enlarged picture (EnlargeClose), 17 x 17"
                + ("" if not suffix else " (%s)" % state))
    ART.demos.append(("button", "enlargeclose", "EnlargeClose", "", 17, 17, "#000000", 11))

    # Preview button over the editor's artwork.
    looks = {"normal": (N7, 0.55, WHITE), "hover": (G4, 0.92, WHITE),
             "down": (G6, 0.95, "#e8f3e0"), "disabled": ("#9aa097", 0.35, "#f4f4f4")}
    for base, glyph in (("musicplay", gl.play), ("musicpause", gl.pause)):
        for suffix, state in STATES:
            fill, op, ink = looks[state]
            dy = 1 if state == "down" else 0
            body = circle(24, 24, 22, fill=fill, opacity=op)
            body += circle(24, 24, 22, stroke=WHITE, sw=1.6, opacity=0.85 if state != "disabled" else 0.5)
            gx = 13.5 if glyph is gl.play else 12
            body += gl.place(glyph(ink), gx + (1.5 if glyph is gl.play else 0), 12 + dy, 24)
            ART.png("button/%s%s.png" % (base, suffix), 48, 48, body, "",
                    "preview button on the editor's artwork (PlayMusicBut), %s look, 48 x 48%s"
                    % ("play" if glyph is gl.play else "pause", "" if not suffix else " (%s)" % state))
        ART.demos.append(("button", base, "PlayMusicBut", "", 48, 48, "#000000", 12))

    # Duplicate page: "Show Remove History" and its options button.
    # Its text fills the face, leading blanks included, so no glyph here.
    face_set("removehistory", 173, 26, 5, None, used="duplicate page \"   Show Remove History\" "
             "(duprembtn), 173 x 26")
    ART.demos.append(("button", "removehistory", "duprembtn", "   Show Remove History", 173, 26,
                      "#000000", 12))

    def options(ink, state, dy):
        return gl.place(gl.gear(ink), 8.5, 5 + dy, 15)

    face_set("removeoption", 32, 26, 5, options, used="duplicate page history options (dupremoptbtn), "
             "32 x 26")
    ART.demos.append(("button", "removeoption", "dupremoptbtn", "", 32, 26, "#000000", 12))

    # The track editor's show/hide tab: a small tab on the panel's top edge.
    tab = "M0.5 12V5.5C0.5 2.7 2.7 0.5 5.5 0.5H46.5C49.3 0.5 51.5 2.7 51.5 5.5V12"
    for base, up in (("infoshow", True), ("infohide", False)):
        for suffix, state in STATES:
            top, bottom, edge, ink = FACE_TONES["neutral"][state]
            defs = lin("face", [(0, top), (1, bottom)])
            dy = 0.5 if state == "down" else 0
            body = path(tab + "Z", fill="url(#face)") + path(tab, stroke=edge)
            chev = "M21.5 8L26 3.8L30.5 8" if up else "M21.5 4L26 8.2L30.5 4"
            body += group(path(chev, stroke=ink, sw=1.8), ty=dy)
            ART.png("button/%s%s.png" % (base, suffix), 52, 12, body, defs,
                    "track editor's hide/show button (InfoHideBut) while %s, 52 x 12%s"
                    % ("collapsed" if up else "open", "" if not suffix else " (%s)" % state))
        ART.demos.append(("button", base, "InfoHideBut", "", 52, 12, "#000000", 12))


def round_icon(rel, size, fill, glyph, ink=WHITE, used="", edge=None, glyph_scale=0.72):
    c = size / 2.0
    body = circle(c, c, c - 0.6, fill=fill, stroke=edge or fill, sw=1)
    g = size * glyph_scale
    body += gl.place(glyph(ink), (size - g) / 2.0, (size - g) / 2.0, g)
    ART.png(rel, size, size, body, "", used)


def icon_buttons():
    """Icons of tree rows and of the duplicate toolbar (QIcon modes, not style states)."""
    u = "row preview icon while playing (g_pIconPause, %s mode), 16 x 16"
    round_icon("button/playing.png", 16, G4, gl.pause, used=u % "Normal")
    round_icon("button/playing_down.png", 16, G6, gl.pause, used=u % "Active")
    round_icon("button/playing_on.png", 16, WHITE, gl.pause, ink=G5, edge=G4, used=u % "Selected")
    round_icon("button/play_on.png", 16, G4, lambda i: group(gl.play(i), tx=1), used=
               "row preview icon (g_pIconPlay, Selected mode, shown in every mode), 16 x 16")
    round_icon("button/reset_down.png", 16, G4, gl.undo, used=
               "undo icon of a removed duplicate row (g_pReset, Disabled mode), 16 x 16", glyph_scale=0.8)
    u = "reveal-in-file-manager icon of a duplicate row (g_pOpen, %s mode), 16 x 16"
    round_icon("button/open.png", 16, N5, gl.folder_solid, used=u % "Normal", glyph_scale=0.7)
    round_icon("button/open_down.png", 16, N7, gl.folder_solid, used=u % "Active", glyph_scale=0.7)
    round_icon("button/open_on.png", 16, WHITE, gl.folder_solid, ink=N6, edge=N4, used=u % "Selected",
               glyph_scale=0.7)

    # Duplicate sources toolbar, 24 x 24 (the toolbar's icon size).
    modes = (("", "Normal"), ("_down", "Active"), ("_on", "Selected"))
    for suffix, mode in modes:
        ink = {"": G5, "_down": G6, "_on": G4}[suffix]
        body = gl.place(gl.note_scan(ink, WHITE), 0, 0, 24)
        ART.png("button/sit%s.png" % suffix, 24, 24, body, "",
                "duplicate toolbar \"Scan iTunes\" (g_pScaniTunes, %s mode), 24 x 24" % mode)
    for base, glyph, colours, label in (
            ("add", gl.plus, {"": G4, "_down": G6, "_on": G3}, "Add"),
            ("del", gl.minus, {"": R4, "_down": R5, "_on": R3}, "Delete")):
        for suffix, mode in modes:
            round_icon("button/%s%s.png" % (base, suffix), 24, colours[suffix],
                       lambda i, g=glyph: g(i, sw=3.4), glyph_scale=0.62, used=
                       "duplicate toolbar \"%s\" (g_p%s, %s mode), 24 x 24"
                       % (label, "Add" if base == "add" else "Del", mode))


# ------------------------------------------------------------------- lists

def placeholder(w, h, faded=False):
    """Artwork placeholder: a soft tile with a record in it."""
    defs = lin("tile", [(0, "#f4f6f2"), (1, "#e2e6de")])
    defs += rad("rec", [(0, "#a3ab9f" if not faded else "#c9cec6"), (1, N5 if not faded else "#b3b9b0")],
                cx=0.45, cy=0.4, r=0.65)
    cx, cy = w / 2.0, h / 2.0
    rr = min(w, h) * 0.31
    body = rect(0.5, 0.5, w - 1, h - 1, 6, fill="url(#tile)", stroke=N3)
    body += circle(cx, cy, rr, fill="url(#rec)")
    for k in (0.82, 0.66):
        body += circle(cx, cy, rr * k, stroke=WHITE, sw=0.8, opacity=0.22)
    body += circle(cx, cy, rr * 0.36, fill=G3 if not faded else "#d5e6cb")
    body += circle(cx, cy, rr * 0.08, fill="#f4f6f2")
    return defs, body


def checkbox(x, y, checked):
    body = rect(x + 0.5, y + 1.5, 13, 13, 3, fill=G4 if checked else WHITE, stroke=G5 if checked else N5)
    if checked:
        body += gl.place(gl.check(WHITE, sw=3.2), x + 1.5, y + 2.5, 11)
    return body


def list_images():
    d, b = placeholder(100, 100)
    ART.png("list/artwork_def.png", 100, 100, b, d,
            "artwork grid tile while its artwork is being fixed (g_xDefX, g_pimgDef), 100 x 100")
    d, b = placeholder(100, 100)
    ART.png("list/artwork_load.png", 100, 100, b + checkbox(3, 2, True), d,
            "artwork grid tile not yet fixed, checked (g_pimgArLoad), 100 x 100")
    ART.png("list/artwork_load_uncheck.png", 100, 100, b + checkbox(3, 2, False), d,
            "artwork grid tile not yet fixed, unchecked (g_pimgUncheckLoad), 100 x 100")
    d, b = placeholder(100, 100, faded=True)
    b += circle(70, 70, 15, fill=R4, stroke=WHITE, sw=2)
    b += gl.place(gl.exclaim(WHITE), 58, 58, 24)
    ART.png("list/artwork_failed.png", 100, 100, b, d,
            "artwork grid tile whose artwork failed or is unreadable (g_xFailedX, g_pimgFailed), 100 x 100")
    ART.png("list/artwork_frame.png", 100, 100, rect(1, 1, 98, 98, 6, stroke=N4, sw=2), "",
            "artwork frame (g_pimgFrame; loaded, not drawn), 100 x 100")

    ART.png("list/check.png", 14, 15, checkbox(0, 0, True), "",
            "check box of a fixed artwork tile, checked (g_pimgCheck), 14 x 15")
    ART.png("list/uncheck.png", 14, 15, checkbox(0, 0, False), "",
            "check box of a fixed artwork tile, unchecked (g_pimgUnCheck), 14 x 15")

    body = rect(1.5, 2.5, 21, 21, 5, fill="#000000", opacity=0.1)
    body += rect(1.5, 1.5, 21, 21, 5, fill=WHITE, stroke=G4)
    body += path("M22 16.5V20C22 21.1 21.1 22 20 22H16.5Z", fill=G4)
    ART.png("list/expand.png", 24, 24, body, "",
            "list button of a fixed artwork tile, under the candidate count (g_pimgSelectBut), 24 x 24")

    # Count badge of the unused section header: left cap, middle, right cap.
    defs = lin("pill", [(0, G0), (1, G2)])
    ART.png("list/label_bl.png", 12, 24,
            path("M12 1.5H11.5A10.5 10.5 0 0 0 11.5 22.5H12Z", fill="url(#pill)")
            + path("M12 1.5H11.5A10.5 10.5 0 0 0 11.5 22.5H12", stroke=G4), defs,
            "count badge, left cap (g_pimgbl), 12 x 24")
    ART.png("list/label_bc.png", 4, 24, rect(0, 1.5, 4, 21, 0, fill="url(#pill)")
            + line(0, 1.5, 4, 1.5, stroke=G4) + line(0, 22.5, 4, 22.5, stroke=G4), defs,
            "count badge, middle (g_pimgbc), 4 x 24")
    ART.png("list/label_br.png", 12, 24,
            path("M0 1.5H0.5A10.5 10.5 0 0 1 0.5 22.5H0Z", fill="url(#pill)")
            + path("M0 1.5H0.5A10.5 10.5 0 0 1 0.5 22.5H0", stroke=G4), defs,
            "count badge, right cap (g_pimgbr), 12 x 24")

    round_icon("list/complete.png", 16, G4, lambda i: gl.check(i, sw=3.6), glyph_scale=0.78,
               used="fixed mark of rows and categories (g_pOK), 16 x 16")
    round_icon("list/failed.png", 16, R4, gl.exclaim, glyph_scale=0.8,
               used="failed mark of rows (g_pFailed), 16 x 16")
    round_icon("list/skiped.png", 16, N5, gl.skip, glyph_scale=0.7,
               used="skipped mark (g_pSkiped; loaded, not drawn), 16 x 16")
    for suffix, ink, mode in (("", N6, "plain"), ("_on", G4, "hover"), ("_down", G6, "pressed")):
        ART.png("list/edit%s.png" % suffix, 16, 16, gl.place(gl.pencil(ink, WHITE), 0, 0, 16), "",
                "edit mark (g_pIconEdit, g_pixEdit%s; loaded, not drawn), %s, 16 x 16"
                % ({"": "", "_on": "_On", "_down": "_Down"}[suffix], mode))
    for base, glyph in (("pause", gl.pause), ("play", gl.play)):
        for suffix, fill, mode in (("", G4, "plain"), ("_on", G3, "hover"), ("_down", G6, "pressed")):
            round_icon("list/%s%s.png" % (base, suffix), 16, fill,
                       (lambda i, g=glyph: group(g(i), tx=1)) if base == "play" else glyph,
                       used="list %s mark (g_pix%s%s; loaded, not drawn), %s, 16 x 16"
                       % (base, base.capitalize(), {"": "", "_on": "_On", "_down": "_Down"}[suffix], mode))

    # The spinner picture that CRotation turns: an arc with a fading tail.
    body = ""
    for i in range(10):
        a0 = -90 + i * 27
        colour = mix(G5, "#e6f1de", (9 - i) / 9.0)
        body += path(gl_arc(8, 8, 5.6, a0, a0 + 28), stroke=colour, sw=2.6)
    body += circle(*polar(8, 8, 5.6, -90 + 270), r=1.6, fill=G5)
    ART.png("list/fixing.png", 16, 16, body, "", "spinner of a category being fixed (CRotation), 16 x 16")

    # Candidate strip: caps, middle and the pointer toward the tile.
    defs = lin("strip", [(0, WHITE), (1, N1)])
    top, bottom = 12.5, 153.5
    left = ("M16 %sH8.5A8 8 0 0 0 0.5 %sV%sA8 8 0 0 0 8.5 %sH16"
            % (f(top), f(top + 8), f(bottom - 8), f(bottom)))
    ART.png("list/expandbg_left.png", 16, 156,
            path(left.replace("M16", "M16", 1) + "V%sZ" % f(top), fill="#000000", opacity=0.08,
                 extra=' transform="translate(0 1.5)"')
            + path(left + "Z", fill="url(#strip)") + path(left, stroke=N4), defs,
            "artwork chooser strip, left cap (CArtworkList), 16 x 156")
    ART.png("list/expandbg_center.png", 8, 156,
            rect(0, top + 1.5, 8, bottom - top, 0, fill="#000000", opacity=0.08)
            + rect(0, top, 8, bottom - top, 0, fill="url(#strip)")
            + line(0, top, 8, top, stroke=N4) + line(0, bottom, 8, bottom, stroke=N4), defs,
            "artwork chooser strip, middle, stretched (CArtworkList), 8 x 156")
    right = ("M0 %sH7.5A8 8 0 0 1 15.5 %sV%sA8 8 0 0 1 7.5 %sH0"
             % (f(top), f(top + 8), f(bottom - 8), f(bottom)))
    ART.png("list/expandbg_right.png", 16, 156,
            path(right + "Z", fill="#000000", opacity=0.08, extra=' transform="translate(0 1.5)"')
            + path(right + "Z", fill="url(#strip)") + path(right, stroke=N4), defs,
            "artwork chooser strip, right cap (CArtworkList), 16 x 156")
    ART.png("list/expandbcl.png", 26, 14,
            rect(1.5, 12, 23, 2, 0, fill=WHITE) + path("M0.5 12.5L13 1L25.5 12.5Z", fill=WHITE)
            + path("M0.5 12.5L13 1L25.5 12.5", stroke=N4), "",
            "artwork chooser strip, pointer toward the tile (CArtworkList), 26 x 14")

    defs = lin("bar", [(0, N1), (1, N2)])
    ART.png("list/list_title.png", 32, 30,
            rect(0, 0, 32, 30, 0, fill="url(#bar)") + line(0, 0.5, 32, 0.5, stroke=WHITE)
            + line(0, 29.5, 32, 29.5, stroke=N3), defs,
            "section header bar, stretched (CTreeItemTool, never built), 32 x 30")

    types = (("unrecognized", gl.question, "\"Unrecognized Songs\""),
             ("artwork", gl.picture, "\"Songs Without Album Artwork\""),
             ("artist", gl.person, "\"Songs Without Artist\""),
             ("album", gl.disc, "\"Songs Without Album\""),
             ("duplicate", gl.locked_file, "\"Unwritable Items\""))
    defs = lin("badge", [(0, G3), (1, G5)])
    for name, glyph, caption in types:
        body = rect(0.5, 0.5, 15, 15, 3.5, fill="url(#badge)", stroke=G5)
        body += gl.place(glyph(WHITE), 2, 2, 12)
        ART.png("list/type/%s.png" % name, 16, 16, body, defs,
                "report category row %s, 16 x 16" % caption)


def gl_arc(cx, cy, r, a0, a1):
    from svgkit import arc_d
    return arc_d(cx, cy, r, a0, a1)


# ------------------------------------------------------------------ labels

def app_icon(size):
    s = size / 128.0
    defs = lin("sq", [(0, "#92d566"), (0.55, G4), (1, G6)], x1=0.15, y1=0, x2=0.85, y2=1)
    defs += lin("shine", [(0, WHITE, 0.35), (1, WHITE, 0)])
    body = rect(8, 12, 112, 112, 26, fill="#000000", opacity=0.10)
    body += rect(7, 9, 114, 113, 27, fill="#000000", opacity=0.08)
    body += rect(7, 6, 114, 114, 26, fill="url(#sq)", stroke=G6, sw=1.2)
    body += path("M9 34C9 18 20 8 34 8H94C108 8 119 18 119 34V44C92 56 40 58 9 50Z", fill="url(#shine)")
    body += gl.place(gl.note(WHITE), 24, 30, 72)
    body += path(star4(97, 33, 14), fill=WHITE)
    body += path(star4(106, 58, 6), fill=WHITE, opacity=0.9)
    body += path(star4(81, 18, 5), fill=WHITE, opacity=0.85)
    return defs, group(body, s=s)


def phase_tile(body_fn, defs_extra=""):
    defs = lin("tile", [(0, WHITE), (1, G1)]) + defs_extra
    body = rect(0.5, 0.5, 88, 88, 16, fill="url(#tile)", stroke=G2)
    return defs, body + body_fn()


def record(cx, cy, r, sheen_angle=None):
    defs = rad("rec", [(0, N5), (1, N7)], cx=0.45, cy=0.4, r=0.7)
    body = circle(cx, cy, r, fill="url(#rec)")
    for k in (0.86, 0.72, 0.58):
        body += circle(cx, cy, r * k, stroke=WHITE, sw=0.8, opacity=0.16)
    if sheen_angle is not None:
        for a in (sheen_angle, sheen_angle + 180):
            p0 = polar(cx, cy, r * 0.97, a - 16)
            p1 = polar(cx, cy, r * 0.97, a + 16)
            body += path("M%s %sL%s %sA%s %s 0 0 1 %s %sZ" % (
                f(cx), f(cy), f(p0[0]), f(p0[1]), f(r * 0.97), f(r * 0.97), f(p1[0]), f(p1[1])),
                fill=WHITE, opacity=0.16)
    body += circle(cx, cy, r * 0.36, fill=G4)
    body += circle(cx, cy, r * 0.36, stroke=G5, sw=1)
    body += circle(cx, cy, r * 0.07, fill=WHITE)
    return defs, body


def dup_cards():
    def card(x, y, rot, ink):
        b = rect(x, y, 34, 44, 5, fill=WHITE, stroke=N4, sw=1.2)
        b += rect(x + 5, y + 5, 24, 24, 3, fill=G1)
        b += gl.place(gl.single_note(ink), x + 7, y + 7, 20)
        b += rect(x + 6, y + 33, 20, 2.6, 1.3, fill=N3)
        b += rect(x + 6, y + 38, 14, 2.6, 1.3, fill=N3)
        return group(b, rot=rot, rcx=x + 17, rcy=y + 22)
    return card(15, 17, -9, G5) + card(38, 25, 7, G5)


def check_badge(cx, cy, r):
    return (circle(cx, cy, r, fill=G4, stroke=WHITE, sw=2)
            + gl.place(gl.check(WHITE, sw=3.4), cx - r * 0.62, cy - r * 0.62, r * 1.24))


def wand_over(angle=0, twinkle=1.0):
    body = group(line(42, 56, 66, 32, stroke=N7, sw=4.2) + line(62.5, 35.5, 66, 32, stroke=WHITE, sw=4.2),
                 rot=angle, rcx=42, rcy=56)
    tip = polar(42, 56, 33.9, -45 + angle)
    body += path(star4(tip[0] + 4, tip[1] - 4, 9 * twinkle), fill=G3)
    body += path(star4(tip[0] + 12, tip[1] + 9, 4.5 * (1.6 - twinkle)), fill=G4)
    body += path(star4(tip[0] - 8, tip[1] - 7, 4 * (0.6 + twinkle * 0.5)), fill=G4)
    return body


def phase_pictures():
    frames = {}

    def scanned_bg():
        d, b = record(44.5, 44.5, 29)
        return d, b

    d, b = scanned_bg()
    td, tb = phase_tile(lambda: b, d)
    ART.png("label/scanned_bg.png", 89, 89, tb, td,
            "phase picture background while loading and analysing (label_back), 89 x 89")

    td, tb = phase_tile(dup_cards)
    ART.png("label/duplicate_bg.png", 89, 89, tb, td,
            "phase picture background while scanning for duplicates (label_back), 89 x 89")
    td, tb = phase_tile(lambda: dup_cards() + check_badge(67, 67, 12))
    ART.png("label/duplicate.png", 89, 89, tb, td,
            "phase picture of the duplicate results, no animation (label_back), 89 x 89")

    d, b = record(38, 51, 25)
    td, tb = phase_tile(lambda: b + wand_over(), d)
    ART.png("label/fix_bg.png", 89, 89, tb, td, "phase picture background while fixing (label_back), 89 x 89")

    d, b = record(44.5, 44.5, 29)
    td, tb = phase_tile(lambda: b, d)
    ART.png("label/fix_end_bg.png", 89, 89, tb, td,
            "phase picture background when fixing is done or nothing is left to fix (label_back), 89 x 89")

    # Animations, each frame complete (its background included).
    n = 12
    fr = []
    for i in range(n):
        d, b = record(44.5, 44.5, 29, sheen_angle=-60 + i * 15)
        fr.append(phase_tile(lambda: b, d))
    ART.gif("gif/scanning.gif", 89, 89, 80, HEADER_MATTE, fr,
            "phase animation while loading (over scanned_bg), 89 x 89")

    fr = []
    for i in range(16):
        d, b = record(44.5, 44.5, 29)
        cx, cy = polar(42, 42, 13, -90 + i * 22.5)
        lens = gl.place(gl.magnifier(N7), cx - 17, cy - 17, 40)
        glass = circle(cx - 17 + 10.2 * 40 / 24, cy - 17 + 10.2 * 40 / 24, 5.6 * 40 / 24, fill=WHITE, opacity=0.35)
        fr.append(phase_tile(lambda: b + glass + lens, d))
    ART.gif("gif/scanned.gif", 89, 89, 90, HEADER_MATTE, fr,
            "phase animation while analysing (over scanned_bg), 89 x 89")

    fr = []
    xs = [14 + (61 * (i / 8.0)) for i in range(9)]
    xs = xs + xs[-2:0:-1]
    for x in xs:
        defs = lin("beam", [(0, G3, 0), (0.5, G3, 0.55), (1, G3, 0)], x1=0, y1=0, x2=1, y2=0)
        fr.append(phase_tile(lambda x=x: dup_cards() + rect(x - 7, 8, 14, 73, 3, fill="url(#beam)")
                             + line(x, 9, x, 80, stroke=G4, sw=1.4), defs))
    ART.gif("gif/duplicate.gif", 89, 89, 70, HEADER_MATTE, fr,
            "phase animation while scanning for duplicates (over duplicate_bg), 89 x 89")

    fr = []
    for i in range(12):
        import math
        ang = 12 * math.sin(i * 2 * math.pi / 12)
        tw = 0.8 + 0.35 * math.sin(i * 2 * math.pi / 6)
        d, b = record(38, 51, 25)
        fr.append(phase_tile(lambda b=b, ang=ang, tw=tw: b + wand_over(ang, tw), d))
    ART.gif("gif/fix.gif", 89, 89, 90, HEADER_MATTE, fr, "phase animation while fixing (over fix_bg), 89 x 89")

    fr = []
    sparkles = ((66, 36, 6), (79, 56, 4.5), (46, 70, 5), (74, 78, 3.5))
    for i in range(12):
        import math
        d, b = record(44.5, 44.5, 29)
        extra = ""
        if i > 0:
            for k, (sx, sy, sr) in enumerate(sparkles):
                t = math.sin((i + k * 3) * math.pi / 6)
                if t > 0:
                    extra += path(star4(sx, sy, sr * (0.5 + t)), fill=G3, opacity=0.5 + 0.5 * t)
        fr.append(phase_tile(lambda b=b, extra=extra: b + check_badge(64, 64, 16) + extra, d))
    ART.gif("gif/fix_end.gif", 89, 89, 100, HEADER_MATTE, fr,
            "phase animation when fixing is done; its first frame is the still picture when nothing "
            "is left to fix (over fix_end_bg), 89 x 89")


def dots_ring(cx, cy, r, dot, count, head, head_colour, tail_colour):
    body = ""
    for k in range(count):
        age = (head - k) % count
        colour = mix(head_colour, tail_colour, min(1.0, age / (count - 1.0)))
        x, y = polar(cx, cy, r, -90 + k * 360.0 / count)
        body += circle(x, y, dot * (1.0 - 0.35 * age / count), fill=colour)
    return body


def spinners():
    fr = [("", dots_ring(8, 8, 5.4, 1.7, 8, i, G5, "#dfeed6")) for i in range(8)]
    ART.gif("list/samllloading.gif", 16, 16, 90, WHITE, fr,
            "busy mark of a row being fixed (g_pRun; an icon, so its first frame), 16 x 16")

    fr = []
    for i in range(8):
        body = circle(16, 16, 15, fill=WHITE, stroke=N3, sw=1)
        body += dots_ring(16, 16, 9.2, 2.4, 8, i, G5, "#dcead3")
        fr.append(("", body))
    ART.gif("gif/artwork_run.gif", 32, 32, 90, N3, fr,
            "busy animation over an artwork tile being fixed (g_pMovie), 32 x 32")

    fr = []
    for i in range(12):
        body = rect(0.5, 0.5, 59, 59, 12, fill=N7)
        body += dots_ring(30, 30, 18, 3.4, 12, i, G3, "#4d574b")
        fr.append(("", body))
    ART.gif("gif/bigloading.gif", 60, 60, 80, "#6f726e", fr,
            "busy animation of the page overlay (CAnalyWidget), 60 x 60")


def labels():
    d, b = app_icon(128)
    ART.png("label/icon.png", 128, 128, b, d,
            "application icon: window icon, About box (128 x 128), What's New icon (scaled to 50 x 50)")
    d, b = app_icon(80)
    ART.png("label/starticon.png", 80, 80, b, d,
            "welcome header icon (StartUIIcon, 80 x 80), icon of the continue question and of the "
            "message box (CWarnMessage, in a 100 x 100 label)")

    body = circle(10, 10, 8.6, fill=G4) + path(star4(10, 10, 6.2), fill=WHITE)
    body += text(22, 15.2, "zorva", 15.5, N6, bold=True, anchor="start")
    ART.png("label/zorvalogo.png", 76, 20, body, "",
            "maker's logo: status bar when it shows no message (bar height 30), About box, 76 x 20")

    body = path("M24 5L44.5 41.5H3.5Z", fill=A4, stroke=A4, sw=5)
    body += path("M24 5L44.5 41.5H3.5Z", stroke=A5, sw=1, opacity=0.6)
    body += gl.place(gl.exclaim(WHITE), 12.5, 14, 23)
    ART.png("label/msg_warning.png", 48, 48, body, "", "icon of the duplicate removal confirmation, 48 x 48")

    defs = lin("pref", [(0, G3), (1, G5)])
    for name, glyph, label in (("genera_icon", gl.sliders, "General"), ("network_icon", gl.globe, "Network"),
                               ("update_icon", gl.download, "Update")):
        body = rect(2.5, 3.5, 27, 27, 7, fill="#000000", opacity=0.1)
        body += rect(2.5, 2.5, 27, 27, 7, fill="url(#pref)", stroke=G5)
        if glyph is gl.sliders:
            body += gl.place(gl.sliders(WHITE, G4), 5, 5, 22)
        else:
            body += gl.place(glyph(WHITE), 5, 5, 22)
        ART.png("label/%s.png" % name, 32, 32, body, defs,
                "preferences toolbar \"%s\", 32 x 32" % label)

    defs = lin("bg", [(0, WHITE), (1, N2)])
    body = rect(0, 0, 376, 376, 0, fill="url(#bg)") + rect(0.5, 0.5, 375, 375, 0, stroke=N4)
    body += rect(3.5, 3.5, 369, 369, 0, stroke=WHITE, sw=1)
    ART.png("label/enlarge_bg.png", 376, 376, body, defs, "background of the enlarged picture popup, 376 x 376")

    ART.png("label/blackmask.png", 16, 16, rect(0, 0, 16, 16, 0, fill="#1d221c", opacity=0.5), "",
            "dark mask of the busy overlay, stretched (CAnalyWidget), 16 x 16")

    body = rect(0.5, 0.5, 59, 59, 12, fill=N7)
    body += circle(30, 30, 19, fill=G4, stroke=G3, sw=1.5)
    body += gl.place(gl.check(WHITE, sw=3.2), 17, 17, 26)
    ART.png("label/fixallok.png", 60, 60, body, "", "finished picture of the busy overlay (CAnalyWidget), 60 x 60")

    d, b = placeholder(110, 110)
    b += rect(14, 86, 82, 17, 8.5, fill=WHITE, opacity=0.85)
    b += text(55, 98.5, "No Artwork", 10.5, N6, bold=True)
    ART.png("label/noartwork.png", 110, 110, b, d,
            "track editor: original artwork when the track has none, 110 x 110")

    d, b = placeholder(110, 110, faded=True)
    b += circle(55, 40, 14, fill=R4, stroke=WHITE, sw=2)
    b += gl.place(gl.exclaim(WHITE), 44, 29, 22)
    b += rect(8, 68, 94, 33, 8, fill=WHITE, opacity=0.88)
    b += text(55, 81.5, "Failed to load", 10.5, R5, bold=True)
    b += text(55, 95, "artwork", 10.5, R5, bold=True)
    ART.png("label/Failed_load_artwork_en.png", 110, 110, b, d,
            "track editor: both pictures when the track's artwork cannot be read, 110 x 110")

    defs = lin("drop", [(0, WHITE), (1, G0)])
    body = rect(1, 1, 108, 108, 9, fill="url(#drop)")
    body += rect(4.5, 4.5, 101, 101, 8, stroke=G4, sw=1.6, extra=' stroke-dasharray="6 4"')
    body += gl.place(gl.picture(N5), 34, 14, 42)
    body += circle(70, 50, 12, fill=G4, stroke=WHITE, sw=2)
    body += gl.place(gl.download(WHITE), 61, 41, 18)
    body += text(55, 80, "Drag artwork", 11, N6, bold=True)
    body += text(55, 94, "here", 11, N6, bold=True)
    ART.png("label/drag_artwork_here_en.png", 110, 110, body, defs,
            "track editor: new artwork drop target while none is chosen, 110 x 110")


# ------------------------------------------------------------------- output

def write(work):
    os.makedirs(work, exist_ok=True)
    manifest = []
    n = 0
    for kind, rel, w, h, extra, svgs, _ in ART.items:
        files = []
        for s in svgs:
            name = "%04d.svg" % n
            n += 1
            with open(os.path.join(work, name), "w", encoding="utf-8") as fh:
                fh.write(s)
            files.append(name)
        if kind == "png":
            manifest.append("png\t%s\t%d\t%d\t%s" % (rel, w, h, files[0]))
        else:
            manifest.append("gif\t%s\t%d\t%d\t%d\t%s\t%s" % (rel, w, h, extra[0], extra[1], ";".join(files)))
    with open(os.path.join(work, "manifest.tsv"), "w", encoding="utf-8") as fh:
        fh.write("\n".join(manifest) + "\n")
    with open(os.path.join(work, "demos.tsv"), "w", encoding="utf-8") as fh:
        for row in ART.demos:
            fh.write("\t".join(str(v) for v in row) + "\n")


def write_readme_table(readme):
    import re
    four_state = {demo[1] for demo in ART.demos}
    rows = ["| resource (below :/res/res/mac/) | size | used for |", "|---|---|---|"]
    for kind, rel, w, h, extra, svgs, used in sorted(ART.items, key=lambda i: i[1].lower()):
        m = re.match(r"button/(.*?)(_on|_down|_disable)?\.png$", rel)
        if m and m.group(1) in four_state:
            if m.group(2):
                continue  # listed with its plain state
            rel += " (and _on, _down, _disable)"
        size = "%d x %d" % (w, h)
        if kind == "gif":
            size += ", %d frames, %d ms" % (len(svgs), extra[0])
        used = re.sub(r",? \d+ x \d+$", "", used)
        rows.append("| %s | %s | %s |" % (rel, size, used.replace("|", "\\|")))
    rows.append("| vessolin_mac.qss | text | application style sheet, set by main at start-up |")
    table = "\n".join(rows)
    begin, end = "<!-- resource table begin -->", "<!-- resource table end -->"
    with open(readme, encoding="utf-8") as fh:
        content = fh.read()
    head, rest = content.split(begin, 1)
    _, tail = rest.split(end, 1)
    with open(readme, "w", encoding="utf-8") as fh:
        fh.write(head + begin + "\n" + table + "\n" + end + tail)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_art.py <work dir>")
    header_buttons()
    start_buttons()
    small_buttons()
    icon_buttons()
    list_images()
    phase_pictures()
    spinners()
    labels()
    write(sys.argv[1])
    write_readme_table(os.path.join(os.path.dirname(os.path.abspath(__file__)), "README.md"))
    print("%d images" % len(ART.items))


if __name__ == "__main__":
    main()
