#!/usr/bin/python3
"""Writes the list font of the Wine prefix: make-list-font.py FONTS_FOLDER

Liberation Mono has the character widths of Courier New, but at 9 points its lines come out
14 pixels high, where Courier New's are 15. This writes a copy of each of its styles with
taller line metrics (ascent 0.9 em, descent 0.35 em: 15 pixels at 12, 22 at 18, 30 at 24),
under a name of its own, "Vellumtrace Mono", as the font's licence (SIL OFL 1.1, reserved
name "Liberation") asks of a changed version. The glyphs are unchanged.
"""
import pathlib
import sys

from fontTools.ttLib import TTFont

SOURCE = pathlib.Path("/usr/share/fonts/truetype/liberation")
FAMILY = "Vellumtrace Mono"
ASCENT_EM = 0.9
DESCENT_EM = 0.35
STYLES = {"Regular": "Regular", "Bold": "Bold", "Italic": "Italic", "BoldItalic": "Bold Italic"}


def rename(font, style):
    full = FAMILY if style == "Regular" else f"{FAMILY} {style}"
    postscript = FAMILY.replace(" ", "") + "-" + style.replace(" ", "")
    names = {1: FAMILY, 2: style, 3: f"{postscript};derived from Liberation Mono", 4: full, 6: postscript,
             16: FAMILY, 17: style}
    table = font["name"]
    for record in list(table.names):
        if record.nameID in names or record.nameID in (21, 22):
            table.removeNames(nameID=record.nameID)
    for name_id, text in names.items():
        table.setName(text, name_id, 3, 1, 0x409)
        table.setName(text, name_id, 1, 0, 0)


def taller(font):
    em = font["head"].unitsPerEm
    ascent, descent = round(ASCENT_EM * em), round(DESCENT_EM * em)
    os2 = font["OS/2"]
    os2.usWinAscent, os2.usWinDescent = ascent, descent
    os2.sTypoAscender, os2.sTypoDescender, os2.sTypoLineGap = ascent, -descent, 0
    hhea = font["hhea"]
    hhea.ascent, hhea.descent, hhea.lineGap = ascent, -descent, 0
    if "VDMX" in font:  # per-size heights that would win over these
        del font["VDMX"]


def main():
    target = pathlib.Path(sys.argv[1])
    target.mkdir(parents=True, exist_ok=True)
    for source_style, style in STYLES.items():
        font = TTFont(SOURCE / f"LiberationMono-{source_style}.ttf")
        taller(font)
        rename(font, style)
        font.save(target / f"VellumtraceMono-{source_style}.ttf")


if __name__ == "__main__":
    main()
