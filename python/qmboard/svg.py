"""The pieces qmboard's plots are drawn with: a plain SVG 1.1 document
(lines, polylines, paths, text; no CSS, scripts or fonts to load, so
browsers and converters such as rsvg-convert draw it alike), panels with
their frame, grid and tick labels, markers and wrapped legend text."""
import math
import textwrap
from xml.sax.saxutils import escape, quoteattr

FONT = 'DejaVu Sans, Liberation Sans, Arial, Helvetica, sans-serif'
TRACE, FUNDAMENTAL, HARMONIC, NOISE, GRID, INK = (
    '#5b8fd0', '#c62828', '#e08600', '#00802b', '#d9d9d9', '#222222')
# Colours told apart also in grey and by most colour-blind readers.
SERIES = ('#1f5fa8', '#c62828', '#00802b', '#e08600', '#6a3d9a', '#6d4c41')


def ticks(low, high, count=6):
    """Round tick values covering low .. high (low < high), about `count` of them."""
    raw = (high - low) / float(count)
    power = 10 ** math.floor(math.log10(raw))
    step = min((m * power for m in (1, 2, 5, 10)), key=lambda s: abs(math.log(s / raw)))
    first = math.ceil(low / step - 1e-9) * step
    values = []
    v = first
    while v <= high + step * 1e-9:
        values.append(0.0 if abs(v) < step * 1e-9 else v)
        v += step
    return values


def label(v):
    """A tick's text, with a true minus sign."""
    return ('%.6g' % v).replace('-', u'\u2212')


def label_width(text):
    """The pixels a marker's bold 11-pixel label takes, with a margin (at least 12)."""
    return max(12, int(round(7 * len(text) + 3)))


class Labels(object):
    """Places marker labels of one panel so that none covers another: a
    label that would meet one placed before goes up by a line until free.
    place() gives the pixels to raise it by."""
    LINE = 15

    def __init__(self):
        self.placed = []  # (left, right, top, bottom) of each label

    def place(self, x, y, text):
        half = label_width(text) / 2.0
        raised = 0
        while any(x - half < r and l < x + half and y - 25 - raised < b and t < y - 11 - raised
                  for l, r, t, b in self.placed):
            raised += self.LINE
        self.placed.append((x - half, x + half, y - 25 - raised, y - 11 - raised))
        return raised


def wrap(parts, width):
    """Comma-separated parts joined into lines of about `width` characters;
    a part longer than that is broken at its spaces."""
    lines = []
    for part in parts:
        pieces = textwrap.wrap(part, width) if len(part) > width else [part]
        if lines and len(lines[-1]) + 2 + len(pieces[0]) <= width:
            lines[-1] += ', ' + pieces[0]
        else:
            if lines:
                lines[-1] += ','
            lines.append(pieces[0])
        lines += pieces[1:]
    return lines


class Document(object):
    """An SVG document of `width` x `height` pixels, built element by element."""

    def __init__(self, width, height):
        self.width, self.height = width, height
        self.parts = []

    def add(self, element, text=None, **attrs):
        pairs = ' '.join('%s=%s' % (k.replace('_', '-'), quoteattr(str(v)))
                         for k, v in sorted(attrs.items()))
        if text is None:
            self.parts.append(u'<%s %s/>' % (element, pairs))
        else:
            self.parts.append(u'<%s %s>%s</%s>' % (element, pairs, escape(text), element))

    def text(self, x, y, text, size=12, anchor='start', fill=INK, weight='normal'):
        self.add('text', text, x='%.1f' % x, y='%.1f' % y, font_size=size, font_family=FONT,
                 text_anchor=anchor, fill=fill, font_weight=weight)

    def line(self, x1, y1, x2, y2, stroke=INK, width=1, dash=None):
        attrs = dict(x1='%.1f' % x1, y1='%.1f' % y1, x2='%.1f' % x2, y2='%.1f' % y2,
                     stroke=stroke, stroke_width=width)
        if dash:
            attrs['stroke_dasharray'] = dash
        self.add('line', **attrs)

    def polyline(self, points, stroke, width=1.2):
        self.add('polyline', points=' '.join('%.1f,%.1f' % p for p in points), fill='none',
                 stroke=stroke, stroke_width=width, stroke_linejoin='round')

    def marker(self, x, y, colour, text, raise_by=0):
        """A downward triangle above (x, y) with `text` over it, the text
        `raise_by` pixels higher still (to clear a neighbour's)."""
        self.add('path', d='M %.1f %.1f l -5 -9 l 10 0 z' % (x, y - 2), fill=colour,
                 stroke='none')
        # A light patch keeps the text readable over the trace.
        width = label_width(text)
        self.add('rect', x='%.1f' % (x - width / 2.0), y='%.1f' % (y - 25 - raise_by),
                 width='%g' % width, height=14, rx=2, fill='#ffffff', fill_opacity=0.85)
        self.text(x, y - 14 - raise_by, text, size=11, anchor='middle', fill=colour,
                  weight='bold')

    def title(self, text):
        self.text(self.width / 2.0, 26, text, size=15, anchor='middle', weight='bold')

    def document(self):
        head = (u'<?xml version="1.0" encoding="UTF-8"?>\n'
                u'<svg xmlns="http://www.w3.org/2000/svg" version="1.1" width="%d" height="%d" '
                u'viewBox="0 0 %d %d">\n' % (self.width, self.height, self.width, self.height))
        return head + u'\n'.join(self.parts) + u'\n</svg>\n'


class Axes(object):
    """Maps data to one panel, `box` = (left, top, right, bottom) pixels,
    and draws its frame, grid and tick labels."""

    def __init__(self, svg, box, xrange_, yrange):
        self.svg, self.box = svg, box
        self.x0, self.x1 = xrange_
        self.y0, self.y1 = yrange

    def x(self, v):
        left, _, right, _ = self.box
        return left + (v - self.x0) * (right - left) / (self.x1 - self.x0)

    def y(self, v):
        _, top, _, bottom = self.box
        v = min(max(v, self.y0), self.y1)
        return bottom - (v - self.y0) * (bottom - top) / (self.y1 - self.y0)

    def frame(self, title, xlabel, ylabel, yticks=5):
        left, top, right, bottom = self.box
        svg = self.svg
        svg.add('rect', x=left, y=top, width=right - left, height=bottom - top,
                fill='#ffffff', stroke='none')
        for v in ticks(self.x0, self.x1):
            svg.line(self.x(v), top, self.x(v), bottom, GRID)
            svg.text(self.x(v), bottom + 16, label(v), size=11, anchor='middle')
        for v in ticks(self.y0, self.y1, yticks):
            svg.line(left, self.y(v), right, self.y(v), GRID)
            svg.text(left - 6, self.y(v) + 4, label(v), size=11, anchor='end')
        svg.add('rect', x=left, y=top, width=right - left, height=bottom - top,
                fill='none', stroke=INK, stroke_width=1)
        svg.text(left, top - 10, title, size=14, weight='bold')
        svg.text((left + right) / 2.0, bottom + 34, xlabel, size=12, anchor='middle')
        middle = (top + bottom) / 2.0
        svg.add('text', ylabel, x=left - 52, y='%.1f' % middle, font_size=12, font_family=FONT,
                text_anchor='middle', fill=INK,
                transform='rotate(-90 %d %.1f)' % (left - 52, middle))
