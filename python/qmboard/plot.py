"""Plots as SVG, with no dependencies:

    write_svg(analysis.analyse(samples, 14, 250e6), 'capture.svg')
    write_two_tone_svg(dut.measure_two_tone(65536), 'two_tone.svg')
    write_code_density_svg(dut.code_density(), 'dnl_inl.svg')
    write_sweep_svg(qmboard.sweep(...), 'sweep.svg', ['snr', 'sinad'])

write_svg draws the first periods of the waveform above the spectrum (dBFS
against MHz, the fundamental and its harmonics marked, the noise floor
dashed) with the figures in a legend beside it. write_two_tone_svg draws
the whole spectrum of a two-tone analysis above a close view of the tones,
the tones and the IMD2 and IMD3 products marked where they fold, with the
figures beside. write_code_density_svg draws DNL above INL against the
code, missing codes marked, with the figures beside. write_sweep_svg draws
figures of a sweep against the swept parameter, one line each, with the
points that failed marked on the axis and their errors in the legend.
Plain SVG 1.1 (qmboard.svg) so browsers and converters such as rsvg-convert
draw it alike.
"""
import math
import numbers
import textwrap

from qmboard import analysis, arguments, density, results, sweeps, two_tone
from qmboard.svg import (FUNDAMENTAL, HARMONIC, NOISE, SERIES, TRACE, Axes, Document, Labels,
                         wrap)

WIDTH, HEIGHT = 980, 780
# Panels: (left, top, right, bottom) of the plotting area.
WAVE = (80, 60, 950, 250)
SPECTRUM = (80, 330, 640, 720)
LEGEND_X = 665

# The two-tone plot: the whole first zone above a close view of the tones.
TWO_TONE_HEIGHT = 860
WHOLE = (80, 60, 640, 400)
CLOSE = (80, 480, 640, 820)
IMD2, IMD3 = SERIES[4], HARMONIC

# The DNL/INL plot.
DENSITY_HEIGHT = 720
DNL_BOX = (80, 60, 640, 340)
INL_BOX = (80, 420, 640, 680)

SWEEP_WIDTH, SWEEP_HEIGHT = 980, 560
SWEEP = (80, 60, 680, 480)
SWEEP_LEGEND_X = 705
FAILED = '#c62828'


def _waveform(svg, result, periods):
    samples = result.samples
    cycles = result.fundamental_frequency / result.bin_width
    count = len(samples) if cycles <= 0 else int(math.ceil(periods * len(samples) / cycles)) + 1
    count = max(16, min(count, len(samples)))
    ns = 1e9 / result.sampling_frequency
    full = 2.0 ** (result.bit_width - 1)
    axes = Axes(svg, WAVE, (0.0, (count - 1) * ns), (-full, full))
    axes.frame('Waveform: first %d samples' % count, 'time (ns)', 'code')
    points = [(axes.x(i * ns), axes.y(v)) for i, v in enumerate(samples[:count])]
    svg.polyline(points, TRACE)
    if count <= 200:
        for x, y in points:
            svg.add('circle', cx='%.1f' % x, cy='%.1f' % y, r=1.8, fill=TRACE)


def _spectrum_points(axes, levels, bin_mhz, first=0):
    """One point per value (value k at (first + k) * bin_mhz), or a min/max
    pair per pixel column when values outnumber pixels."""
    left, _, right, _ = axes.box
    columns = int(right - left)
    if len(levels) <= 2 * columns:
        return [(axes.x((first + k) * bin_mhz), axes.y(v)) for k, v in enumerate(levels)]
    points = []
    per = len(levels) / float(columns)
    for c in range(columns):
        chunk = levels[int(c * per):max(int((c + 1) * per), int(c * per) + 1)]
        x = axes.x((first + int(c * per) + len(chunk) / 2.0) * bin_mhz)
        points += [(x, axes.y(max(chunk))), (x, axes.y(min(chunk)))]
    return points


def _level_range(levels, top_level):
    """(bottom, top) dBFS of a spectrum panel: below all but the lowest 1 %
    of bins, room above `top_level` for its marker."""
    ordered = sorted(levels)
    low = ordered[len(ordered) // 100] - 10
    bottom = max(-200.0, math.floor(low / 20.0) * 20)
    return bottom, max(0.0, math.ceil(top_level / 10.0) * 10) + 10


def _spectrum(svg, result):
    levels = result.spectrum
    bottom, top = _level_range(levels, max(levels))
    mhz = result.sampling_frequency / 2e6
    axes = Axes(svg, SPECTRUM, (0.0, mhz), (bottom, top))
    axes.frame('Spectrum', 'frequency (MHz)', 'dBFS', yticks=8)
    bin_mhz = result.bin_width / 1e6
    svg.polyline(_spectrum_points(axes, levels, bin_mhz), TRACE, 1)
    left, _, right, _ = SPECTRUM
    svg.line(left, axes.y(result.noise_floor), right, axes.y(result.noise_floor), NOISE, 2,
             dash='8,4')
    for h in result.harmonics:
        if h.dbc != float('-inf'):
            level = result.fundamental_dbfs + h.dbc
            svg.marker(axes.x(h.frequency / 1e6), axes.y(level), HARMONIC, str(h.order))
    svg.marker(axes.x(result.fundamental_frequency / 1e6), axes.y(result.fundamental_dbfs),
               FUNDAMENTAL, 'F')


def _legend(svg, result):
    count = len(result.harmonics)
    keys = [('line', TRACE, 'spectrum'), ('mark', FUNDAMENTAL, 'fundamental (F)'),
            ('mark', HARMONIC, 'harmonics 2 to %d' % (count + 1) if count > 1 else
             'harmonic 2' if count else 'no harmonics'), ('dash', NOISE, 'noise floor')]
    _key_box(svg, SPECTRUM[1], SPECTRUM[3], keys, result.rows())


def _key_box(svg, top, bottom, keys, rows):
    """The legend beside the panels: the keys, then the figures' rows."""
    x, y = LEGEND_X, top
    svg.add('rect', x=x, y=y, width=WIDTH - x - 15, height=bottom - y, fill='#f7f7f7',
            stroke='#bbbbbb', stroke_width=1)
    y += 24
    for kind, colour, name in keys:
        if kind == 'mark':
            svg.add('path', d='M %d %d l -5 -9 l 10 0 z' % (x + 24, y + 1), fill=colour)
        elif kind in ('line', 'dash'):
            svg.line(x + 12, y - 4, x + 36, y - 4, colour, 2, dash='8,4' if kind == 'dash' else None)
        elif kind == 'tick':
            svg.line(x + 24, y - 9, x + 24, y + 1, colour, 2)
        svg.text(x + 46, y, name, size=12)
        y += 20
    y += 10
    for name, value in rows:
        svg.text(x + 12, y, name, size=12, weight='bold')
        for line in wrap(value.split(', '), 25):
            svg.text(x + 110, y, line, size=12)
            y += 16
        y += 6


def svg_text(result, periods=3):
    """The plot of an Analysis as SVG text (unicode); `periods` (a positive
    number) of the waveform are drawn."""
    arguments.instance(result, analysis.Analysis, 'result')
    arguments.number(periods, 'periods')
    svg = Document(WIDTH, HEIGHT)
    svg.add('rect', x=0, y=0, width=WIDTH, height=HEIGHT, fill='#ffffff')
    svg.title('Capture at %.3f MSPS, %d bits: %.3f MHz tone, SNR %.2f dB, ENOB %.2f bits'
              % (result.sampling_frequency / 1e6, result.bit_width,
                 result.fundamental_frequency / 1e6, result.snr, result.enob))
    _waveform(svg, result, periods)
    _spectrum(svg, result)
    _legend(svg, result)
    return svg.document()


def write_svg(result, path, periods=3):
    """Writes the plot of an Analysis (the first `periods` periods of the
    waveform, the spectrum, the figures) to the file `path` as SVG;
    EnvironmentError when it cannot be written."""
    _write(lambda: svg_text(result, periods), path)


def _write(draw, path):
    """Writes the SVG text `draw()` gives to the file `path`."""
    arguments.path(path)
    text = draw()
    with open(path, 'wb') as out:
        out.write(text.encode('utf-8'))


# ---- two tones ----
def _marks(result):
    """(frequency in Hz, level in dBFS, colour, label) of the tones and of
    the products above the noise floor."""
    marks = [(t.frequency, t.dbfs, FUNDAMENTAL, 'F%d' % i) for i, t in enumerate(result.tones, 1)]
    for p in result.products:
        if p.dbfs != float('-inf') and p.dbfs > result.noise_floor:
            marks.append((p.frequency, p.dbfs, IMD2 if p.order == 2 else IMD3,
                          p.name.replace('-', u'\u2212')))
    return marks


def _spectrum_panel(svg, result, box, title, first, last):
    """Bins first .. last of a two-tone spectrum in `box`, marks within it."""
    levels = result.spectrum[first:last + 1]
    mhz = result.bin_width / 1e6
    bottom, top = _level_range(levels, max(t.dbfs for t in result.tones))
    axes = Axes(svg, box, (first * mhz, last * mhz), (bottom, top + 10))  # room for two labels
    axes.frame(title, 'frequency (MHz)', 'dBFS', yticks=8)
    svg.polyline(_spectrum_points(axes, levels, mhz, first), TRACE, 1)
    left, _, right, _ = box
    svg.line(left, axes.y(result.noise_floor), right, axes.y(result.noise_floor), NOISE, 2,
             dash='8,4')
    labels = Labels()
    # Highest first: a product's label moves out of a tone's way, not the other way round.
    for frequency, level, colour, label in sorted(_marks(result), key=lambda m: -m[1]):
        if first * mhz * 1e6 <= frequency <= last * mhz * 1e6:
            x, y = axes.x(frequency / 1e6), axes.y(level)
            svg.marker(x, y, colour, label, labels.place(x, y, label))


def two_tone_svg_text(result):
    """The plot of a TwoToneAnalysis as SVG text (unicode): the whole first
    Nyquist zone, below it the bins around the tones (from 2f1 - f2 to
    2f2 - f1, a spacing of the tones beyond either), the tones (F1, F2) and
    the products above the noise floor marked, the figures beside."""
    arguments.instance(result, two_tone.TwoToneAnalysis, 'result')
    svg = Document(WIDTH, TWO_TONE_HEIGHT)
    svg.add('rect', x=0, y=0, width=WIDTH, height=TWO_TONE_HEIGHT, fill='#ffffff')
    f1, f2 = [t.frequency / 1e6 for t in result.tones]
    svg.title('Two tones at %.3f and %.3f MHz, %.3f MSPS, %d bits: IMD3 %.2f dBc, IMD2 %.2f dBc'
              % (f1, f2, result.sampling_frequency / 1e6, result.bit_width, result.imd3_dbc,
                 result.imd2_dbc))
    last = len(result.spectrum) - 1
    _spectrum_panel(svg, result, WHOLE, 'Spectrum', 0, last)
    low, high = [t.bin for t in result.tones]
    spacing = high - low
    first, end = max(0, low - 2 * spacing), min(last, high + 2 * spacing)
    _spectrum_panel(svg, result, CLOSE, 'Around the tones', first, max(end, first + 1))
    keys = [('line', TRACE, 'spectrum'), ('mark', FUNDAMENTAL, 'tones (F1, F2)'),
            ('mark', IMD2, 'IMD2: f2' + u'\u2212' + 'f1, f1+f2'),
            ('mark', IMD3, 'IMD3: 2f1' + u'\u2212' + 'f2, 2f2' + u'\u2212' + 'f1'),
            ('dash', NOISE, 'noise floor')]
    _key_box(svg, WHOLE[1], CLOSE[3], keys, result.rows())
    return svg.document()


def write_two_tone_svg(result, path):
    """Writes the plot of a TwoToneAnalysis (see two_tone_svg_text) to the
    file `path` as SVG; EnvironmentError when it cannot be written."""
    _write(lambda: two_tone_svg_text(result), path)


# ---- code density ----
def _density_panel(svg, result, box, title, values, name):
    """DNL or INL against the code in `box`, at least +/-0.5 LSB."""
    first = result.first_code + 1
    low, high = min(values), max(values)
    span = (min(-0.5, math.floor(low * 10 - 1) / 10.0), max(0.5, math.ceil(high * 10 + 1) / 10.0))
    axes = Axes(svg, box, (first - 0.5, result.last_code - 0.5), span)
    axes.frame(title, 'code', name + ' (LSB)')
    left, _, right, _ = box
    svg.line(left, axes.y(0.0), right, axes.y(0.0), NOISE, 1)
    svg.polyline(_spectrum_points(axes, values, 1.0, first), TRACE, 1)
    return axes


def code_density_svg_text(result):
    """The plot of a CodeDensity as SVG text (unicode): DNL above INL
    against the code (a min/max pair per pixel where codes outnumber
    pixels), missing codes marked below the DNL, the figures beside."""
    arguments.instance(result, density.CodeDensity, 'result')
    svg = Document(WIDTH, DENSITY_HEIGHT)
    svg.add('rect', x=0, y=0, width=WIDTH, height=DENSITY_HEIGHT, fill='#ffffff')
    svg.title('Code density of %d samples, %d bits: DNL %+.3f..%+.3f LSB, INL %+.3f..%+.3f LSB'
              % (result.samples, result.bit_width, result.dnl_min, result.dnl_max,
                 result.inl_min, result.inl_max))
    axes = _density_panel(svg, result, DNL_BOX, 'Differential nonlinearity', result.dnl, 'DNL')
    bottom = DNL_BOX[3]
    for code in result.missing:
        svg.line(axes.x(code), bottom - 14, axes.x(code), bottom - 2, FAILED, 2)
    _density_panel(svg, result, INL_BOX, 'Integral nonlinearity', result.inl, 'INL')
    keys = [('line', TRACE, 'DNL, INL per code'), ('tick', FAILED, 'missing code')]
    _key_box(svg, DNL_BOX[1], INL_BOX[3], keys, result.rows())
    return svg.document()


def write_code_density_svg(result, path):
    """Writes the plot of a CodeDensity (see code_density_svg_text) to the
    file `path` as SVG; EnvironmentError when it cannot be written."""
    _write(lambda: code_density_svg_text(result), path)


# ---- sweeps ----
_PREFIXES = ((1e9, 'G'), (1e6, 'M'), (1e3, 'k'))


def _scale(unit, values):
    """(factor, axis unit): Hz shown in kHz, MHz or GHz when the values are that large."""
    if unit == 'Hz':
        largest = max(abs(v) for v in values)
        for factor, prefix in _PREFIXES:
            if largest >= factor:
                return factor, prefix + unit
    return 1.0, unit


def _span(values):
    """(low, high) covering `values` with a margin, never empty."""
    low, high = min(values), max(values)
    margin = (high - low) * 0.05 or max(abs(low) * 0.05, 1.0)
    return low - margin, high + margin


def _finite(v):
    return (isinstance(v, numbers.Real) and not isinstance(v, bool)
            and not (math.isinf(v) or math.isnan(v)))


def _series(run, names):
    """[(name, [(x, y) in x order, None between points that lack it])]."""
    ordered = sorted(run.points, key=lambda p: p.value)
    found = []
    for name in names:
        points = [(p.value, p.figures[name]) if p.figures and _finite(p.figures.get(name))
                  else None for p in ordered]
        if not any(points):
            raise ValueError('no point of the sweep has a finite figure %r' % name)
        found.append((name, points))
    return found


def _sweep_legend(svg, run, series, units, xunit, factor):
    x, y = SWEEP_LEGEND_X, SWEEP[1]
    svg.add('rect', x=x, y=y, width=SWEEP_WIDTH - x - 15, height=SWEEP[3] - y, fill='#f7f7f7',
            stroke='#bbbbbb', stroke_width=1)
    y += 24
    for (name, _), colour in zip(series, SERIES):
        svg.line(x + 12, y - 4, x + 36, y - 4, colour, 2)
        svg.add('circle', cx=x + 24, cy=y - 4, r=3, fill=colour)
        svg.text(x + 46, y, _named(name, units[name]), size=12)
        y += 20
    failed = run.failed
    if failed:
        _cross(svg, x + 24, y - 4)
        svg.text(x + 46, y, 'failed point', size=12)
        y += 20
    y += 10
    svg.text(x + 12, y, '%d points, %d failed' % (len(run.points), len(failed)), size=12,
             weight='bold')
    y += 22
    for point in failed[:4]:
        where = ('%.6g %s' % (point.value / factor, xunit)).strip()
        for line in textwrap.wrap('at %s: %s' % (where, point.error), 38):
            if y > SWEEP[3] - 10:
                return
            svg.text(x + 12, y, line, size=11)
            y += 15
        y += 6


def _named(name, unit):
    """'SNR (dB)': a figure's label and unit."""
    label = results.LABELS.get(name, name)
    return label + (' (%s)' % unit if unit else '')


def _cross(svg, x, y):
    svg.line(x - 4, y - 4, x + 4, y + 4, FAILED, 2)
    svg.line(x - 4, y + 4, x + 4, y - 4, FAILED, 2)


def sweep_svg_text(run, figures=('snr', 'sinad')):
    """The plot of a Sweep as SVG text (unicode): the figures named by
    `figures` (a name or a list of up to six) against the swept values,
    which must be numbers. ValueError for a figure no point has."""
    arguments.instance(run, sweeps.Sweep, 'run')
    names = [figures] if isinstance(figures, str) else figures
    if (isinstance(names, basestring) or not isinstance(names, (list, tuple))
            or not 1 <= len(names) <= len(SERIES)
            or not all(isinstance(n, str) for n in names)):
        raise TypeError('figures must be a figure name or a list of 1 to %d of them'
                        % len(SERIES))
    if not run.points:
        raise ValueError('the sweep has no points')
    values = [p.value for p in run.points]
    if not all(_finite(v) for v in values):
        raise TypeError('the swept values must be finite numbers to plot them')
    series = _series(run, names)
    factor, xunit = _scale(run.unit, values)
    units = dict((n, results.UNITS.get(n, '')) for n in names)
    ys = [y for _, points in series for p in points if p for y in p[1:]]
    svg = Document(SWEEP_WIDTH, SWEEP_HEIGHT)
    svg.add('rect', x=0, y=0, width=SWEEP_WIDTH, height=SWEEP_HEIGHT, fill='#ffffff')
    svg.title('Sweep of %s: %d points%s' % (
        run.parameter, len(run.points), ', %d failed' % len(run.failed) if run.failed else ''))
    axes = Axes(svg, SWEEP, _span([v / factor for v in values]), _span(ys))
    ylabel = ', '.join(sorted(set(u for u in units.values() if u))) or 'value'
    axes.frame(', '.join(_named(n, units[n]) for n in names),
               run.parameter + (' (%s)' % xunit if xunit else ''), ylabel)
    for (name, points), colour in zip(series, SERIES):
        segment = []
        for p in points + [None]:
            if p is None:
                if len(segment) > 1:
                    svg.polyline(segment, colour, 2)
                segment = []
                continue
            x, y = axes.x(p[0] / factor), axes.y(p[1])
            segment.append((x, y))
            svg.add('circle', cx='%.1f' % x, cy='%.1f' % y, r=3, fill=colour)
    for point in run.failed:
        _cross(svg, axes.x(point.value / factor), SWEEP[3] - 8)
    _sweep_legend(svg, run, series, units, xunit, factor)
    return svg.document()


def write_sweep_svg(run, path, figures=('snr', 'sinad')):
    """Writes the plot of a Sweep (see sweep_svg_text) to the file `path`
    as SVG; EnvironmentError when it cannot be written."""
    _write(lambda: sweep_svg_text(run, figures), path)
