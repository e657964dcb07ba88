"""Repeated measurements: each figure's mean, standard deviation, minimum
and maximum over K captures.

    run = qmboard.repeat(lambda: dut.measure(8192), 10)
    print run                          # a line per figure
    run.statistics['snr'].std          # Statistic(mean, std, min, max)

repeat() calls a measurement K times, each capturing anew; a figure is
summarised when every run gave it as a number (not a bool; None and texts
such as the window's name are left out, and so are the capture's SETTINGS:
samples, bit width, sampling frequency, averages). The standard deviation is the
sample's (K - 1 in the denominator; 0 for one run). A figure that is
infinite in some run is so in the mean, with a NaN spread unless every run
gave the same; one that is NaN in any run is NaN throughout.
"""
import collections
import math
import numbers

from qmboard import arguments

MAX_REPEATS = 100000
# What describes the capture rather than measures it: no statistics.
SETTINGS = frozenset(['samples', 'bit_width', 'sampling_frequency', 'averages'])


class Statistic(collections.namedtuple('Statistic', 'mean std min max')):
    """One figure over the runs: mean, standard deviation, minimum, maximum."""
    __slots__ = ()


class Repeats(object):
    """The figures of `count` runs of one measurement: `figures` (a list of
    OrderedDicts, one per run, as qmboard.figures gives them), `statistics`
    (an OrderedDict of Statistic per figure, in the first run's order) and
    `last`, the last run's result (to plot it). repeat() makes them;
    Repeats(runs) summarises figures had otherwise (TypeError unless `runs`
    is a non-empty list of mappings)."""

    def __init__(self, runs, last=None):
        if isinstance(runs, basestring) or not isinstance(runs, (list, tuple)) or not all(
                isinstance(run, collections.Mapping) for run in runs):
            raise TypeError('runs must be a list of mappings of figures, not %s'
                            % type(runs).__name__)
        if not runs:
            raise ValueError('runs must hold at least one run')
        runs = list(runs)
        self.figures = runs
        self.count = len(runs)
        self.last = last
        self.statistics = collections.OrderedDict()
        for name in runs[0]:
            if name in SETTINGS:
                continue
            values = [run.get(name) for run in runs]
            if all(isinstance(v, numbers.Real) and not isinstance(v, bool) for v in values):
                self.statistics[name] = _statistic([float(v) for v in values])

    def rows(self):
        """(name, text) pairs: a figure each, with its unit."""
        from qmboard import results
        rows = [('Runs', '%d' % self.count)]
        for name, s in self.statistics.items():
            unit = results.UNITS.get(name, '')
            rows.append((name, 'mean %.6g, std %.3g, min %.6g, max %.6g%s' % (
                s.mean, s.std, s.min, s.max, ' ' + unit if unit else '')))
        return rows

    def __str__(self):
        width = max(len(name) for name, _ in self.rows())
        return '\n'.join('%-*s %s' % (width, name, text) for name, text in self.rows())

    def __repr__(self):
        return '<Repeats of %d runs: %d figures>' % (self.count, len(self.statistics))


def _statistic(values):
    if any(math.isnan(v) for v in values):
        return Statistic(*[float('nan')] * 4)
    if any(math.isinf(v) for v in values):
        mean = sum(values)  # inf, -inf, or NaN for both
        spread = 0.0 if len(set(values)) == 1 else float('nan')
    else:
        mean = math.fsum(values) / len(values)
        spread = math.sqrt(math.fsum((v - mean) ** 2 for v in values) / (len(values) - 1)) \
            if len(values) > 1 else 0.0
    return Statistic(mean, spread, min(values), max(values))


def repeat(measure, count):
    """Runs `measure()` (any callable without arguments returning what
    qmboard.figures() takes: an Analysis, TwoToneAnalysis, CodeDensity or a
    mapping of figures) `count` times, 1 to MAX_REPEATS, and returns the
    Repeats. TypeError when `measure` is not callable or returns something
    else; what a run raises is raised (the runs before it are lost)."""
    if not callable(measure):
        raise TypeError('measure must be callable, not %s' % type(measure).__name__)
    arguments.integer(count, 'count', 1, MAX_REPEATS)
    from qmboard import results  # which knows every result, this one too
    runs, last = [], None
    for _ in range(count):
        last = measure()
        runs.append(results.figures_of(last))
    return Repeats(runs, last)
