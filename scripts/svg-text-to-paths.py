#!/usr/bin/env python3
"""Copies an SVG file with every <text> element replaced by the outlines of its glyphs.

The pictures in resources/images/ keep their words as <text> so that they stay
easy to edit, but the SVG renderer bundled with wxWidgets draws shapes only and
skips text. This script lays the text out with HarfBuzz (hb-shape), finds the font
with fontconfig (fc-match) as a desktop renderer would, and draws the glyphs with
fontTools, so the output needs no font at all.

Usage: svg-text-to-paths.py IN.svg OUT.svg

Handled on <text> and <tspan>: x, y (on <text>), dx, dy, text-anchor (start,
middle or end, on <text>), font-family, font-size (user units), font-weight,
font-style and fill. A <tspan> inherits what it does not set from its <text>.
Anything else on a <text> (style, transform, letter-spacing, ...) is refused
rather than drawn wrongly. When the font found has no italic face, the glyphs
are slanted as fontconfig's synthetic oblique does (x += 0.2 * y).

Needs: python3-fonttools, libharfbuzz-bin (hb-shape) and fontconfig.
"""

import json
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

from fontTools.pens.svgPathPen import SVGPathPen
from fontTools.pens.transformPen import TransformPen
from fontTools.ttLib import TTFont

SYNTHETIC_OBLIQUE = 0.2
TEXT_ATTRS = {"x", "y", "dx", "dy", "text-anchor", "font-family", "font-size",
              "font-weight", "font-style", "fill"}
INHERITED = ("font-family", "font-size", "font-weight", "font-style", "fill")
CSS_WEIGHTS = {"normal": "regular", "bold": "bold", "100": "thin", "200": "extralight",
               "300": "light", "400": "regular", "500": "medium", "600": "demibold",
               "700": "bold", "800": "extrabold", "900": "black"}

_fonts = {}


def fail(message):
    sys.exit("svg-text-to-paths: " + message)


def number(text):
    """A coordinate written with at most two decimals and no trailing zeros."""
    out = "%.2f" % text
    out = out.rstrip("0").rstrip(".")
    return "0" if out in ("", "-0") else out


def find_font(family, weight, style, text):
    """(file, face index, needs synthetic oblique) of the first font fontconfig
    offers for the family list that has every character of `text`."""
    families = ",".join(f.strip().strip("'\"") for f in family.split(","))
    if weight not in CSS_WEIGHTS:
        fail("unsupported font-weight %r" % weight)
    italic = style in ("italic", "oblique")
    pattern = "%s:%s%s" % (families, CSS_WEIGHTS[weight], ":italic" if italic else "")
    listing = subprocess.run(["fc-match", "-s", "-f", "%{file}\t%{index}\n", pattern],
                             capture_output=True, text=True, check=True).stdout
    for line in listing.splitlines():
        path, index = line.split("\t")
        if not path.lower().endswith((".ttf", ".otf", ".ttc", ".otc")):
            continue
        font = load_font(path, int(index))
        cmap = font.getBestCmap()
        if all(ord(c) in cmap for c in text):
            # fontconfig reports a synthesized slant as the font's own, so ask the font.
            return path, int(index), italic and not is_italic(font)
    fail("no installed font has all of %r" % text)


def is_italic(font):
    return bool(font["head"].macStyle & 2) or font["post"].italicAngle != 0


def load_font(path, index):
    key = (path, index)
    if key not in _fonts:
        _fonts[key] = TTFont(path, fontNumber=index, lazy=True)
    return _fonts[key]


def shape(path, index, text, language):
    args = ["hb-shape", "--output-format=json", "--no-glyph-names",
            "--face-index=%d" % index, path, text]
    if language:
        args.insert(1, "--language=" + language)
    return json.loads(subprocess.run(args, capture_output=True, text=True, check=True).stdout)


class Run:
    """Words with one font, size and fill, placed after the previous run."""

    def __init__(self, text, attrs, dx, dy, y):
        self.text = text
        self.attrs = attrs
        self.dx = dx
        self.dy = dy
        self.y = y
        self.size = float(attrs.get("font-size", "16"))
        self.path, self.index, self.slant = find_font(
            attrs.get("font-family", "sans-serif"), attrs.get("font-weight", "normal"),
            attrs.get("font-style", "normal"), text)
        self.font = load_font(self.path, self.index)
        self.scale = self.size / self.font["head"].unitsPerEm
        language = "ja" if any(ord(c) >= 0x3000 for c in text) else ""
        self.glyphs = shape(self.path, self.index, text, language)
        self.advance = sum(g["ax"] for g in self.glyphs) * self.scale

    def outline(self, x, baseline):
        glyph_set = self.font.getGlyphSet()
        pen = SVGPathPen(glyph_set, ntos=number)
        skew = SYNTHETIC_OBLIQUE if self.slant else 0.0
        s = self.scale
        for g in self.glyphs:
            name = self.font.getGlyphName(g["g"])
            gx = x + g["dx"] * s
            gy = baseline - g["dy"] * s
            glyph_set[name].draw(TransformPen(pen, (s, 0, skew * s, -s, gx, gy)))
            x += g["ax"] * s
            baseline -= g["ay"] * s
        return pen.getCommands()

    def face_name(self):
        names = self.font["name"]
        family = names.getDebugName(16) or names.getDebugName(1)
        style = names.getDebugName(17) or names.getDebugName(2)
        return "%s %s%s" % (family, style, " (slanted)" if self.slant else "")


def collapse(text):
    return re.sub(r"\s+", " ", text or "")


def runs_of(element):
    """The runs of a <text> element, in order."""
    for name in element.attrib:
        if name not in TEXT_ATTRS:
            fail("unsupported attribute %r on <text>" % name)
    base = {k: element.get(k) for k in INHERITED if element.get(k) is not None}
    pieces = [(collapse(element.text), base, element.get("dx"), element.get("dy"), None)]
    for child in element:
        if child.tag != "tspan":
            fail("unsupported <%s> in <text>" % child.tag)
        if len(child):
            fail("nested <tspan> is not supported")
        for name in child.attrib:
            if name not in TEXT_ATTRS - {"x", "text-anchor"}:
                fail("unsupported attribute %r on <tspan>" % name)
        attrs = dict(base)
        attrs.update({k: child.get(k) for k in INHERITED if child.get(k) is not None})
        pieces.append((collapse(child.text), attrs, child.get("dx"), child.get("dy"),
                       child.get("y")))
        pieces.append((collapse(child.tail), base, None, None, None))
    # Leading and trailing spaces of the whole element are dropped, as renderers do.
    pieces = [list(p) for p in pieces]
    texts = [p for p in pieces if p[0]]
    if texts:
        texts[0][0] = texts[0][0].lstrip()
        texts[-1][0] = texts[-1][0].rstrip()
    return [Run(p[0], p[1], float(p[2] or 0), float(p[3] or 0), p[4])
            for p in pieces if p[0]]


def convert_text(block, indent):
    element = ET.fromstring(block)
    runs = runs_of(element)
    if not runs:
        return ""
    width = sum(r.dx + r.advance for r in runs)
    x = float(element.get("x", "0"))
    anchor = element.get("text-anchor", "start")
    if anchor == "middle":
        x -= width / 2
    elif anchor == "end":
        x -= width
    elif anchor != "start":
        fail("unsupported text-anchor %r" % anchor)
    baseline = float(element.get("y", "0"))
    # The comment must hold no "<" or ">": NanoSVG's reader splits tags on them.
    words = re.sub(r"[<>]|--", "", " ".join(r.text for r in runs))
    faces = ", ".join(dict.fromkeys(r.face_name() for r in runs))
    lines = ["<!-- \"%s\" in %s, drawn as outlines -->" % (words, faces)]
    for run in runs:
        x += run.dx
        baseline = float(run.y) if run.y is not None else baseline + run.dy
        fill = run.attrs.get("fill", "#000000")
        lines.append('<path fill="%s" d="%s"/>' % (fill, run.outline(x, baseline)))
        x += run.advance
    return ("\n" + indent).join(lines)


def main():
    if len(sys.argv) != 3:
        print(__doc__.split("\n\n")[2], file=sys.stderr)
        sys.exit(2)
    source, target = sys.argv[1], sys.argv[2]
    with open(source, encoding="utf-8") as f:
        svg = f.read()

    def replace(match):
        indent = match.group(1)
        return indent + convert_text(match.group(2), indent)

    out, count = re.subn(r"(?m)^([ \t]*)(<text\b.*?</text>)", replace, svg, flags=re.S)
    if "<text" in out:
        fail("%s: a <text> element must start its own line" % source)
    name = source.replace("\\", "/").rsplit("/", 1)[-1]
    header = ("<!-- Written by scripts/svg-text-to-paths.sh from %s (texts as outlines);"
              " edit that file, not this one. -->\n" % name)
    if out.startswith("<?xml"):
        head, _, rest = out.partition("\n")
        out = head + "\n" + header + rest
    else:
        out = header + out
    with open(target, "w", encoding="utf-8", newline="\n") as f:
        f.write(out)
    print("%s: %d text element(s) outlined" % (target, count))


if __name__ == "__main__":
    main()
