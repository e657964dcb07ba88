"""Plots of an analysed capture as SVG, with no dependencies:

    write_svg(analysis.analyse(samples, 14, 250e6), 'capture.svg')

draws the first periods of the waveform above the spectrum (dBFS against
MHz, the fundamental and harmonics 2 to 6 marked, the noise floor dashed)
with the figures in a legend beside it. Plain SVG 1.1 (lines, polylines,
text; no CSS, scripts or fonts to load) so browsers and converters such as
rsvg-convert draw it alike.
"""
import math
from xml.sax.saxutils import escape, quoteattr

from qmboard import analysis, arguments

WIDTH, HEIGHT = 980, 780
FONT = 'DejaVu Sans, Liberation Sans, Arial, Helvetica, sans-serif'
TRACE, FUNDAMENTAL, HARMONIC, NOISE, GRID, INK = (
    '#5b8fd0', '#c62828', '#e08600', '#00802b', '#d9d9d9', '#222222')

# Panels: (left, top, right, bottom) of the plotting area.
WAVE = (80, 60, 950, 250)
SPECTRUM = (80, 330, 640, 720)
LEGEND_X = 665


def _ticks(low, high, count=6):
    """Round tick values covering low .. high, about `count` of them."""
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


def _label(v):
    return ('%.6g' % v).replace('-', u'\u2212')


class _Svg(object):
    def __init__(self):
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

    def document(self):
        head = (u'<?xml version="1.0" encoding="UTF-8"?>\n'
                u'<svg xmlns="http://www.w3.org/2000/svg" version="1.1" width="%d" height="%d" '
                u'viewBox="0 0 %d %d">\n' % (WIDTH, HEIGHT, WIDTH, HEIGHT))
        return head + u'\n'.join(self.parts) + u'\n</svg>\n'


class _Axes(object):
    """Maps data to one panel and draws its frame, grid and tick labels."""

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
        for v in _ticks(self.x0, self.x1):
            svg.line(self.x(v), top, self.x(v), bottom, GRID)
            svg.text(self.x(v), bottom + 16, _label(v), size=11, anchor='middle')
        for v in _ticks(self.y0, self.y1, yticks):
            svg.line(left, self.y(v), right, self.y(v), GRID)
            svg.text(left - 6, self.y(v) + 4, _label(v), size=11, anchor='end')
        svg.add('rect', x=left, y=top, width=right - left, height=bottom - top,
                fill='none', stroke=INK, stroke_width=1)
        svg.text(left, top - 10, title, size=14, weight='bold')
        svg.text((left + right) / 2.0, bottom + 34, xlabel, size=12, anchor='middle')
        middle = (top + bottom) / 2.0
        svg.add('text', ylabel, x=left - 52, y='%.1f' % middle, font_size=12, font_family=FONT,
                text_anchor='middle', fill=INK,
                transform='rotate(-90 %d %.1f)' % (left - 52, middle))


def _waveform(svg, result, periods):
    samples = result.samples
    cycles = result.fundamental_frequency / result.bin_width
    count = len(samples) if cycles <= 0 else int(math.ceil(periods * len(samples) / cycles)) + 1
    count = max(16, min(count, len(samples)))
    ns = 1e9 / result.sampling_frequency
    full = 2.0 ** (result.bit_width - 1)
    axes = _Axes(svg, WAVE, (0.0, (count - 1) * ns), (-full, full))
    axes.frame('Waveform: first %d samples' % count, 'time (ns)', 'code')
    points = [(axes.x(i * ns), axes.y(v)) for i, v in enumerate(samples[:count])]
    svg.polyline(points, TRACE)
    if count <= 200:
        for x, y in points:
            svg.add('circle', cx='%.1f' % x, cy='%.1f' % y, r=1.8, fill=TRACE)


def _spectrum_points(axes, levels, bin_mhz):
    """One point per bin, or a min/max pair per pixel column when bins outnumber pixels."""
    left, _, right, _ = axes.box
    columns = int(right - left)
    if len(levels) <= 2 * columns:
        return [(axes.x(k * bin_mhz), axes.y(v)) for k, v in enumerate(levels)]
    points = []
    per = len(levels) / float(columns)
    for c in range(columns):
        chunk = levels[int(c * per):max(int((c + 1) * per), int(c * per) + 1)]
        x = axes.x((int(c * per) + len(chunk) / 2.0) * bin_mhz)
        points += [(x, axes.y(max(chunk))), (x, axes.y(min(chunk)))]
    return points


def _marker(svg, x, y, colour, label):
    svg.add('path', d='M %.1f %.1f l -5 -9 l 10 0 z' % (x, y - 2), fill=colour, stroke='none')
    # A light patch keeps the label readable over the noise.
    svg.add('rect', x='%.1f' % (x - 6), y='%.1f' % (y - 25), width=12, height=14, rx=2,
            fill='#ffffff', fill_opacity=0.85)
    svg.text(x, y - 14, label, size=11, anchor='middle', fill=colour, weight='bold')


def _spectrum(svg, result):
    levels = result.spectrum
    ordered = sorted(levels)
    low = ordered[len(ordered) // 100] - 10
    bottom = max(-200.0, math.floor(low / 20.0) * 20)
    # Room above the highest bin for its marker.
    top = max(0.0, math.ceil(max(levels) / 10.0) * 10) + 10
    mhz = result.sampling_frequency / 2e6
    axes = _Axes(svg, SPECTRUM, (0.0, mhz), (bottom, top))
    axes.frame('Spectrum', 'frequency (MHz)', 'dBFS', yticks=8)
    bin_mhz = result.bin_width / 1e6
    svg.polyline(_spectrum_points(axes, levels, bin_mhz), TRACE, 1)
    left, _, right, _ = SPECTRUM
    svg.line(left, axes.y(result.noise_floor), right, axes.y(result.noise_floor), NOISE, 2,
             dash='8,4')
    for h in result.harmonics:
        if h.dbc != float('-inf'):
            level = result.fundamental_dbfs + h.dbc
            _marker(svg, axes.x(h.frequency / 1e6), axes.y(level), HARMONIC, str(h.order))
    _marker(svg, axes.x(result.fundamental_frequency / 1e6), axes.y(result.fundamental_dbfs),
            FUNDAMENTAL, 'F')


def _legend(svg, result):
    x, y = LEGEND_X, SPECTRUM[1]
    svg.add('rect', x=x, y=y, width=WIDTH - x - 15, height=SPECTRUM[3] - y, fill='#f7f7f7',
            stroke='#bbbbbb', stroke_width=1)
    y += 24
    keys = [('line', TRACE, 'spectrum'), ('mark', FUNDAMENTAL, 'fundamental (F)'),
            ('mark', HARMONIC, 'harmonics 2 to 6'), ('dash', NOISE, 'noise floor')]
    for kind, colour, name in keys:
        if kind == 'mark':
            svg.add('path', d='M %d %d l -5 -9 l 10 0 z' % (x + 24, y + 1), fill=colour)
        else:
            svg.line(x + 12, y - 4, x + 36, y - 4, colour, 2, dash='8,4' if kind == 'dash' else None)
        svg.text(x + 46, y, name, size=12)
        y += 20
    y += 10
    for name, value in result.rows():
        svg.text(x + 12, y, name, size=12, weight='bold')
        for line in _wrap(value.split(', '), 25):
            svg.text(x + 110, y, line, size=12)
            y += 16
        y += 6


def _wrap(parts, width):
    """Comma-separated parts joined into lines of about `width` characters."""
    lines = [parts[0]]
    for part in parts[1:]:
        if len(lines[-1]) + 2 + len(part) <= width:
            lines[-1] += ', ' + part
        else:
            lines[-1] += ','
            lines.append(part)
    return lines


def svg_text(result, periods=3):
    """The plot of an Analysis as SVG text (unicode); `periods` (a positive
    number) of the waveform are drawn."""
    arguments.instance(result, analysis.Analysis, 'result')
    arguments.number(periods, 'periods')
    svg = _Svg()
    svg.add('rect', x=0, y=0, width=WIDTH, height=HEIGHT, fill='#ffffff')
    svg.text(WIDTH / 2.0, 26, 'Capture at %.3f MSPS, %d bits: %.3f MHz tone, SNR %.2f dB, '
             'ENOB %.2f bits' % (result.sampling_frequency / 1e6, result.bit_width,
                                 result.fundamental_frequency / 1e6, result.snr, result.enob),
             size=15, anchor='middle', weight='bold')
    _waveform(svg, result, periods)
    _spectrum(svg, result)
    _legend(svg, result)
    return svg.document()


def write_svg(result, path, periods=3):
    """Writes the plot of an Analysis (the first `periods` periods of the
    waveform, the spectrum, the figures) to the file `path` as SVG;
    EnvironmentError when it cannot be written."""
    if not isinstance(path, basestring):
        raise TypeError('path must be a file name, not %s' % type(path).__name__)
    text = svg_text(result, periods)
    with open(path, 'wb') as out:
        out.write(text.encode('utf-8'))
