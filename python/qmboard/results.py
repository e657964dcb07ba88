"""The figures of an analysis as plain numbers, for JSON, CSV and sweeps.

    figures(result)      # OrderedDict: snr, sinad, ... as floats and ints
    json_text(result)    # the same as a JSON object

figures() holds what str(result) prints, in the same order, as numbers in
base units (Hz, dB, dBFS, dBc, bits; frequencies in Hz where the text shows
MHz): samples, bit_width, sampling_frequency, window, coherent,
fundamental_frequency, fundamental_bin, fundamental_dbfs, snr, sinad,
sfdr_dbc, sfdr_dbfs, spur_frequency, spur_order (the harmonic's order, or
None for a spur that is no harmonic), thd, noise_floor and enob.

JSON has no infinities or NaN: json_ready() turns such a figure into None
(null), as it does for a figure that cannot be had (an SNR of a capture
without noise is +inf; a THD without harmonic power is -inf). CSV keeps
them as Python writes them: inf, -inf, nan.
"""
import collections
import json
import math

from qmboard import analysis, arguments

# name -> unit, in the order of Analysis.rows()
UNITS = collections.OrderedDict([
    ('samples', ''), ('bit_width', 'bits'), ('sampling_frequency', 'Hz'),
    ('window', ''), ('coherent', ''),
    ('fundamental_frequency', 'Hz'), ('fundamental_bin', ''), ('fundamental_dbfs', 'dBFS'),
    ('snr', 'dB'), ('sinad', 'dB'),
    ('sfdr_dbc', 'dBc'), ('sfdr_dbfs', 'dBFS'), ('spur_frequency', 'Hz'), ('spur_order', ''),
    ('thd', 'dBc'), ('noise_floor', 'dBFS'), ('enob', 'bits'),
])

# How plots and legends name a figure.
LABELS = {'fundamental_frequency': 'fundamental', 'fundamental_dbfs': 'fundamental',
          'snr': 'SNR', 'sinad': 'SINAD', 'sfdr_dbc': 'SFDR', 'sfdr_dbfs': 'SFDR',
          'spur_frequency': 'spur', 'thd': 'THD', 'noise_floor': 'noise floor', 'enob': 'ENOB'}


def figures(result):
    """The figures of an Analysis (an OrderedDict, see the module's text)."""
    arguments.instance(result, analysis.Analysis, 'result')
    found = collections.OrderedDict()
    for name in UNITS:
        found[name] = len(result.samples) if name == 'samples' else getattr(result, name)
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
    """The figures of an Analysis as JSON text (non-finite figures null)."""
    return json.dumps(json_ready(figures(result)), indent=indent, allow_nan=False)
