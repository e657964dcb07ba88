"""Sweeps: one measurement per value of a parameter, one row per point.

    from qmboard import sweeps
    run = qmboard.sweep([5e6, 10e6, 20e6, 40e6], sweeps.dac_frequency(dut, level=-1.0),
                        path='sweep.csv')        # or 'sweep.jsonl': JSON lines
    print run.figure('snr')                      # [(5e6, 71.1), ...]
    qmboard.plot.write_sweep_svg(run, 'sweep.svg', ['snr', 'sinad'])

A point is any callable taking the parameter's value: it steps the
parameter and measures, returning an analysis result (an Analysis,
TwoToneAnalysis or CodeDensity: its figures are taken, see qmboard.results)
or a mapping of figure names to numbers or texts. The
helpers here make the common ones (DAC tone frequency or level, capture
configuration, a DUT register); those that step something measure through
their `measure` argument, any callable returning such a result or a mapping
(by default Dut.measure), so averaged or two-tone measurements sweep the
same way.

A point that raises an Exception records the error ('QmError: ...') and the
sweep goes on with the next value; KeyboardInterrupt (Ctrl-C) and SystemExit
stop it, and the rows written so far stay in the file. Rows are written as
the points come and flushed each time:

- CSV: a header of the parameter's name, the figures' names (those of the
  first point that succeeded; a later point's other figures are left out)
  and 'error', then one row per point: floats as repr() writes them (inf,
  -inf and nan included), None as an empty cell, the error's text in the
  last cell (empty when the point succeeded).
- JSON lines: one object per line, the parameter, every figure of the point
  and "error" (null when it succeeded); figures that are not finite are
  null (see qmboard.results).
"""
import collections
import csv
import json

from qmboard import analysis, arguments, results, tones


class Point(collections.namedtuple('Point', 'value figures error')):
    """One point of a sweep: the parameter `value`, its `figures` (an
    OrderedDict; None when it failed) and the `error` text (None when it
    succeeded)."""
    __slots__ = ()


FORMATS = ('csv', 'jsonl')
_TONE_OPTIONS = ('samples', 'rate', 'channels', 'configuration', 'config', 'data_format')


class Sweep(object):
    """The result of sweep(): the `parameter`'s name, its `unit` ('' when
    none) and the `points` (Point list) in the order they were measured."""

    def __init__(self, parameter, unit):
        self.parameter, self.unit, self.points = parameter, unit, []

    def figure(self, name):
        """(value, figure) of every point that has figure `name`."""
        return [(p.value, p.figures[name]) for p in self.points
                if p.figures is not None and name in p.figures]

    @property
    def failed(self):
        """The points that failed."""
        return [p for p in self.points if p.error is not None]

    def __len__(self):
        return len(self.points)

    def __iter__(self):
        return iter(self.points)

    def __repr__(self):
        return '<Sweep of %s: %d points, %d failed>' % (self.parameter, len(self.points),
                                                        len(self.failed))


def figures_of(result):
    """The figures of what a measurement returned: an analysis result (see
    qmboard.results.figures) or a mapping with str keys (copied)."""
    return results.figures_of(result)


def _error_text(error):
    """'QmError: ...': what a failed point records."""
    try:
        message = str(error)
    except UnicodeError:
        message = repr(error.args)
    return '%s: %s' % (type(error).__name__, message)


def _cell(value):
    if value is None:
        return ''
    if isinstance(value, float):
        return repr(value)
    if isinstance(value, unicode):
        return value.encode('utf-8')
    return value


class _CsvRows(object):
    def __init__(self, out, parameter):
        self.out, self.parameter = out, parameter
        self.writer = csv.writer(out, lineterminator='\n')
        self.columns, self.waiting = None, []

    def add(self, point):
        if self.columns is None:
            if point.figures is None:
                self.waiting.append(point)  # written once the columns are known
                return
            self.columns = list(point.figures)
            self._header()
        figures = point.figures or {}
        self.writer.writerow([_cell(point.value)] + [_cell(figures.get(c)) for c in self.columns]
                             + [point.error or ''])
        self.out.flush()

    def _header(self):
        self.writer.writerow([self.parameter] + self.columns + ['error'])
        waiting, self.waiting = self.waiting, []
        for point in waiting:
            self.add(point)

    def finish(self):
        if self.columns is None:
            self.columns = []
            self._header()
        self.out.flush()


class _JsonRows(object):
    def __init__(self, out, parameter):
        self.out, self.parameter = out, parameter

    def add(self, point):
        row = collections.OrderedDict([(self.parameter, point.value)])
        row.update(point.figures or {})
        row['error'] = point.error
        self.out.write(json.dumps(results.json_ready(row), allow_nan=False, default=repr) + '\n')
        self.out.flush()

    def finish(self):
        self.out.flush()


def sweep(values, point, path=None, format=None, parameter=None, unit=None):
    """Calls `point(value)` for each of `values` in turn and returns the
    Sweep. With `path`, writes one row per point to that file as they come:
    `format` 'csv' or 'jsonl' (None: 'jsonl' for a name ending in .jsonl or
    .json, else 'csv'). `parameter` names the values (in the file and on
    plots) and `unit` gives theirs; by default the point's own (the helpers
    here have them), else 'value' and ''. See the module's text for failing
    points and the file formats."""
    if not callable(point):
        raise TypeError('point must be callable, not %s' % type(point).__name__)
    if isinstance(values, basestring) or not hasattr(values, '__iter__'):
        raise TypeError('values must be a sequence, not %s' % type(values).__name__)
    parameter = arguments.text(parameter if parameter is not None
                               else getattr(point, 'parameter', 'value'), 'parameter')
    if not parameter or parameter == 'error':
        raise ValueError("parameter must be a name other than '' and 'error', not %r" % parameter)
    unit = arguments.text(unit if unit is not None else getattr(point, 'unit', ''), 'unit')
    if path is not None:
        arguments.path(path)
    if format is None and path is not None:
        format = 'jsonl' if path.lower().endswith(('.jsonl', '.json')) else 'csv'
    if format is not None and format not in FORMATS:
        raise ValueError("format must be 'csv', 'jsonl' or None, not %r" % (format,))
    run = Sweep(parameter, unit)
    out = open(path, 'wb') if path is not None else None
    try:
        rows = None if out is None else (_CsvRows if format == 'csv' else _JsonRows)(out, parameter)
        try:
            for value in values:
                try:
                    found = figures_of(point(value))
                    for taken in (parameter, 'error'):
                        if taken in found:
                            raise ValueError('the point returned a figure named %r, the name '
                                             'of the %s column' % (taken, 'parameter'
                                                                   if taken == parameter
                                                                   else 'error'))
                    done = Point(value, found, None)
                except Exception as error:
                    done = Point(value, None, _error_text(error))
                run.points.append(done)
                if rows is not None:
                    rows.add(done)
        finally:
            if rows is not None:
                rows.finish()
    finally:
        if out is not None:
            out.close()
    return run


class _Stepper(object):
    """A sweep point that steps something with `step(value)` and then
    measures with `measure()` (None: what `step` returned is the
    measurement); `extra(stepped)` gives figures that come first in the row."""

    def __init__(self, parameter, unit, step, measure=None, extra=None):
        if measure is not None and not callable(measure):
            raise TypeError('measure must be callable, not %s' % type(measure).__name__)
        self.parameter, self.unit = parameter, unit
        self._step, self._measure, self._extra = step, measure, extra

    def __call__(self, value):
        stepped = self._step(value)
        row = collections.OrderedDict(self._extra(stepped) if self._extra else ())
        row.update(figures_of(stepped if self._measure is None else self._measure()))
        return row

    def __repr__(self):
        return '<sweep point over %s>' % self.parameter


def _dut(dut):
    from qmboard.dut import Dut
    return arguments.instance(dut, Dut, 'dut')


def _tone_options(options):
    """The options of dac_tone; those the default measurement uses checked."""
    unknown = sorted(set(options) - set(_TONE_OPTIONS))
    if unknown:
        raise TypeError('dac_tone takes no option %r (options: %s)'
                        % (unknown[0], ', '.join(_TONE_OPTIONS)))
    arguments.integer(options.get('samples', 8192), 'samples', 3, tones.MAX_SAMPLES)
    arguments.integer(options.get('config', 0), 'capture configuration')
    return options


def _tone_point(dut, parameter, unit, tone, measure, options):
    dut = _dut(dut)
    options = _tone_options(options)
    if measure is None:
        samples, config = options.get('samples', 8192), options.get('config', 0)
        measure = lambda: dut.measure(samples, config=config)

    def extra(played):
        return [('tone_frequency', played.frequencies[0]), ('tone_level', played.levels[0])]
    return _Stepper(parameter, unit, lambda value: tone(dut, value, options), measure, extra)


def dac_frequency(dut, level=-1.0, measure=None, **options):
    """A point for sweep() over the DAC tone's frequency: sources
    dut.dac_tone(value, level, **options) (options: samples, rate,
    channels, configuration, config, data_format), then measures with
    `measure()` (default: dut.measure(samples, config=config)). Its row has
    the tone's coherent frequency and level (tone_frequency, tone_level)
    before the measurement's figures."""
    tones.one_or_more(level, 'level', tones.check_level)
    return _tone_point(dut, 'dac_frequency', 'Hz',
                       lambda d, value, o: d.dac_tone(value, level, **o), measure, options)


def dac_level(dut, frequency, measure=None, **options):
    """A point for sweep() over the DAC tone's level in dBFS: sources
    dut.dac_tone(frequency, value, **options), then measures, as
    dac_frequency() does."""
    tones.one_or_more(frequency, 'frequency', arguments.real)
    return _tone_point(dut, 'dac_level', 'dBFS',
                       lambda d, value, o: d.dac_tone(frequency, value, **o), measure, options)


def capture_config(dut, samples=8192, channel=0, window=None):
    """A point for sweep() over capture configurations: measures
    dut.measure(samples, value, channel, window)."""
    dut = _dut(dut)
    analysis.check(samples, window)
    arguments.integer(channel, 'channel')
    return _Stepper('config', '', lambda value: dut.measure(samples, value, channel, window))


def register(board, space, address, measure, device=0, width=0, dut=0):
    """A point for sweep() over the values of a register: writes the value
    with board.write_register(space, address, value, device, width, dut),
    then measures with `measure()`."""
    from qmboard.board import Board, _register
    arguments.instance(board, Board, 'board')
    _register(space, address, device, width, dut)
    if not callable(measure):
        raise TypeError('measure must be callable, not %s' % type(measure).__name__)
    name = 'register %s 0x%x' % (space if isinstance(space, str) else '0x%x' % space, address)
    return _Stepper(name, '', lambda value: board.write_register(space, address, value, device,
                                                                 width, dut), measure)
