"""The figures of a measurement as plain numbers, for JSON, CSV and sweeps.

    figures(result)      # OrderedDict: snr, sinad, ... as floats and ints
    tables(result)       # OrderedDict: the harmonic, spur, product tables, DNL, INL
    json_text(result)    # both as one JSON object

figures() of an Analysis holds what str(result) prints, in the same order,
as numbers in base units (Hz, dB, dBFS, dBc, bits; frequencies in Hz where
the text shows MHz): samples, bit_width, sampling_frequency, window,
coherent, fundamental_frequency, fundamental_bin, fundamental_dbfs, snr,
sinad, sfdr_dbc, sfdr_dbfs, spur_frequency, spur_order (the harmonic's
order, or None for a spur that is no harmonic), thd, noise_floor and enob;
then what report() adds: snr_dbfs, sinad_dbfs, noise_density (dBFS/Hz),
clipped and averages (SINGLE_TONE_UNITS). A TwoToneAnalysis gives
TWO_TONE_UNITS, a CodeDensity DENSITY_UNITS (missing: how many codes),
each in that order; UNITS has the unit of every figure.
tables() holds the lists: harmonics, spurs and excluded (bin ranges) of an
Analysis; products, spurs and excluded of a TwoToneAnalysis; missing, dnl
and inl (one per inner code, from first_code + 1) of a CodeDensity. The
figures of a Repeats are its statistics.

JSON has no infinities or NaN: json_ready() turns such a figure into None
(null), as it does for a figure that cannot be had (an SNR of a capture
without noise is +inf; a THD without harmonic power is -inf). CSV keeps
them as Python writes them: inf, -inf, nan.
"""
import collections
import json
import math

from qmboard import analysis, density, repeats, two_tone

_COMMON = [('samples', ''), ('bit_width', 'bits'), ('sampling_frequency', 'Hz'),
           ('window', ''), ('coherent', '')]
_NOISE = [('noise_floor', 'dBFS'), ('noise_density', 'dBFS/Hz'), ('clipped', ''),
          ('averages', '')]

# name -> unit, in the order of Analysis.rows() and extra_rows()
SINGLE_TONE_UNITS = collections.OrderedDict(_COMMON + [
    ('fundamental_frequency', 'Hz'), ('fundamental_bin', ''), ('fundamental_dbfs', 'dBFS'),
    ('snr', 'dB'), ('sinad', 'dB'),
    ('sfdr_dbc', 'dBc'), ('sfdr_dbfs', 'dBFS'), ('spur_frequency', 'Hz'), ('spur_order', ''),
    ('thd', 'dBc'), ('noise_floor', 'dBFS'), ('enob', 'bits'),
    ('snr_dbfs', 'dBFS'), ('sinad_dbfs', 'dBFS'), ('noise_density', 'dBFS/Hz'),
    ('clipped', ''), ('averages', ''),
])

# name -> unit, in the order of TwoToneAnalysis.rows()
TWO_TONE_UNITS = collections.OrderedDict(_COMMON + [
    ('tone1_frequency', 'Hz'), ('tone1_bin', ''), ('tone1_dbfs', 'dBFS'),
    ('tone2_frequency', 'Hz'), ('tone2_bin', ''), ('tone2_dbfs', 'dBFS'),
    ('imd2_dbc', 'dBc'), ('imd2_dbfs', 'dBFS'), ('imd3_dbc', 'dBc'), ('imd3_dbfs', 'dBFS'),
    ('imd_dbc', 'dBc'), ('imd_dbfs', 'dBFS'), ('imd_product', ''),
    ('sfdr_dbc', 'dBc'), ('sfdr_dbfs', 'dBFS'), ('spur_frequency', 'Hz'), ('spur_product', ''),
] + _NOISE)

# name -> unit, in the order of CodeDensity.rows()
DENSITY_UNITS = collections.OrderedDict([
    ('samples', ''), ('bit_width', 'bits'), ('source', ''), ('first_code', ''),
    ('last_code', ''), ('offset', 'LSB'), ('amplitude', 'LSB'), ('level_dbfs', 'dBFS'),
    ('dnl_min', 'LSB'), ('dnl_max', 'LSB'), ('worst_dnl', 'LSB'), ('worst_dnl_code', ''),
    ('inl_min', 'LSB'), ('inl_max', 'LSB'), ('worst_inl', 'LSB'), ('worst_inl_code', ''),
    ('missing', ''),
])

# Every figure's unit, for sweeps and plots: the single tone's first.
UNITS = collections.OrderedDict(SINGLE_TONE_UNITS)
for _units in (TWO_TONE_UNITS, DENSITY_UNITS):
    for _name, _unit in _units.items():
        UNITS.setdefault(_name, _unit)
del _units, _name, _unit

# How plots and legends name a figure.
LABELS = {'fundamental_frequency': 'fundamental', 'fundamental_dbfs': 'fundamental',
          'snr': 'SNR', 'sinad': 'SINAD', 'sfdr_dbc': 'SFDR', 'sfdr_dbfs': 'SFDR',
          'spur_frequency': 'spur', 'thd': 'THD', 'noise_floor': 'noise floor', 'enob': 'ENOB',
          'snr_dbfs': 'SNR', 'sinad_dbfs': 'SINAD', 'noise_density': 'NSD',
          'imd2_dbc': 'IMD2', 'imd2_dbfs': 'IMD2', 'imd3_dbc': 'IMD3', 'imd3_dbfs': 'IMD3',
          'imd_dbc': 'worst IMD', 'imd_dbfs': 'worst IMD', 'tone1_dbfs': 'tone 1',
          'tone2_dbfs': 'tone 2', 'worst_dnl': 'worst DNL', 'worst_inl': 'worst INL',
          'dnl_min': 'DNL min', 'dnl_max': 'DNL max', 'inl_min': 'INL min', 'inl_max': 'INL max'}

RESULTS = (analysis.Analysis, two_tone.TwoToneAnalysis, density.CodeDensity, repeats.Repeats)


def _tone_figure(result, name):
    tone = result.tones[int(name[4]) - 1]
    return getattr(tone, {'frequency': 'frequency', 'bin': 'bin', 'dbfs': 'dbfs'}[name[6:]])


def _result(result):
    if not isinstance(result, RESULTS):
        raise TypeError('result must be an %s, not %s' % (
            ', '.join(r.__name__ for r in RESULTS[:-1]) + ' or ' + RESULTS[-1].__name__,
            type(result).__name__))


def figures(result):
    """The figures of an Analysis, TwoToneAnalysis or CodeDensity (an
    OrderedDict, see the module's text); of a Repeats, each figure's
    statistics as name_mean, name_std, name_min and name_max."""
    _result(result)
    found = collections.OrderedDict()
    if isinstance(result, repeats.Repeats):
        found['runs'] = result.count
        for name, s in result.statistics.items():
            for part in s._fields:
                found['%s_%s' % (name, part)] = getattr(s, part)
        return found
    if isinstance(result, density.CodeDensity):
        for name in DENSITY_UNITS:
            found[name] = len(result.missing) if name == 'missing' else getattr(result, name)
        return found
    if isinstance(result, two_tone.TwoToneAnalysis):
        for name in TWO_TONE_UNITS:
            if name == 'samples':
                found[name] = len(result.samples)
            elif name.startswith('tone'):
                found[name] = _tone_figure(result, name)
            else:
                found[name] = getattr(result, name)
        return found
    for name in SINGLE_TONE_UNITS:
        found[name] = len(result.samples) if name == 'samples' else getattr(result, name)
    return found


def figures_of(result):
    """figures() of a result, or a copy of a mapping of figures with str
    keys (what a sweep's or a repeat's measurement may return); TypeError
    for anything else."""
    if isinstance(result, RESULTS):
        return figures(result)
    if isinstance(result, collections.Mapping):
        for key in result:
            if not isinstance(key, str):
                raise TypeError('figure names must be str, not %s' % type(key).__name__)
        return collections.OrderedDict(result)
    raise TypeError('a measurement returns an analysis result or a mapping of figures, not %s'
                    % type(result).__name__)


def _rows(objects, names):
    return [collections.OrderedDict((n, getattr(o, n)) for n in names) for o in objects]


def tables(result):
    """The tables of a result (an OrderedDict of lists, see the module's
    text); a Repeats has none."""
    _result(result)
    found = collections.OrderedDict()
    if isinstance(result, density.CodeDensity):
        found['missing'] = list(result.missing)
        found['dnl'] = result.dnl.tolist()
        found['inl'] = result.inl.tolist()
    elif isinstance(result, two_tone.TwoToneAnalysis):
        found['products'] = _rows(result.products, ('name', 'order', 'frequency', 'bin', 'dbc',
                                                    'dbfs'))
    elif isinstance(result, analysis.Analysis):
        found['harmonics'] = _rows(result.harmonics, ('order', 'frequency', 'bin', 'dbc', 'dbfs'))
    if isinstance(result, (analysis.Analysis, two_tone.TwoToneAnalysis)):
        found['spurs'] = _rows(result.spurs, ('frequency', 'bin', 'dbc', 'dbfs'))
        found['excluded'] = [list(r) for r in result.excluded]
    return found


def json_ready(value):
    """`value` (a figure, or a mapping or list of them) with every float
    that is not finite turned into None."""
    if isinstance(value, float):
        return value if not (math.isinf(value) or math.isnan(value)) else None
    if isinstance(value, dict):
        return collections.OrderedDict((k, json_ready(v)) for k, v in value.items())
    if isinstance(value, (list, tuple)):
        return [json_ready(v) for v in value]
    return value


def json_text(result, indent=2):
    """The figures and tables of a result as JSON text (non-finite figures
    null): one object, the figures first."""
    found = figures(result)
    found.update(tables(result))
    return json.dumps(json_ready(found), indent=indent, allow_nan=False)
