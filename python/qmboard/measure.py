"""Capture a tone from a board's DUT, or load a saved capture, and print its
figures:

    python2.7 -m qmboard.measure --board 0 --samples 8192 --svg out.svg
    python2.7 -m qmboard.measure --save tone.qmc      # ... and keep the capture
    python2.7 -m qmboard.measure --load tone.qmc      # the same figures, offline
    python2.7 -m qmboard.measure --json               # the figures as JSON
    python2.7 -m qmboard.measure --two-tone 10e6,11e6 --samples 65536
    python2.7 -m qmboard.measure --averages 16 --harmonics 9 --exclude 31.25e6
    python2.7 -m qmboard.measure --repeat 10          # mean, std, min, max
    python2.7 -m qmboard.measure --histogram --svg dnl_inl.svg

prints the spectrum's figures (fundamental, SNR, SINAD, SFDR, THD, noise
floor, ENOB, noise density, clipped samples) and the harmonic and spur
tables as qmboard.analysis reports them, or with --json one JSON object of
the figures and tables (qmboard.results: base units, null for a figure
that is not finite).

--two-tone F1,F2 sources two tones through the DAC at the coherent
frequencies nearest F1 and F2 Hz (--level dBFS each, default -7) and
analyses the capture as two tones (qmboard.two_tone: IMD2, IMD3, SFDR); with
--load it looks for the tones near F1 and F2. --histogram runs the
code-density test (qmboard.density: DNL, INL, missing codes) of 2**20
samples unless --samples says otherwise, through the DUT's hardware
histogram where it has one (not with --save, which needs the samples).
--averages K averages the power spectra of K captures, --repeat K gives
each figure's statistics over K measurements; --harmonics, --spurs and
--exclude (LOW:HIGH in Hz, or one frequency for the component there;
repeatable) set the figures. --save writes the capture with its metadata
(qmboard.captures; CSV for a name ending in .csv, else binary), --load
analyses a saved one instead of capturing, and --svg writes the plot
(qmboard.plot: waveform and spectrum, the two-tone spectrum, or DNL and
INL).
"""
import optparse
import sys

import qm_python as qm
import qmboard
from qmboard import analysis, arguments, plot, results

_CAPTURE_OPTIONS = ('board', 'dut', 'samples', 'config')
_LIVE_ONLY = ('averages', 'repeat', 'level')
_SPECTRUM_ONLY = ('window', 'averages', 'harmonics', 'spurs', 'exclude')
_PLOTS = {qmboard.Analysis: plot.write_svg, qmboard.TwoToneAnalysis: plot.write_two_tone_svg,
          qmboard.CodeDensity: plot.write_code_density_svg}


def _parser():
    parser = optparse.OptionParser(
        usage='python2.7 -m qmboard.measure [--board N] [--dut N] [--samples N] [--config N] '
              '[--channel N] [--window NAME] [--two-tone F1,F2 [--level DBFS] | --histogram] '
              '[--averages K] [--repeat K] [--harmonics N] [--spurs N] [--exclude LOW:HIGH] '
              '[--save FILE | --load FILE] [--json] [--svg FILE]',
        description='Captures a tone (or loads a saved capture) and prints its spectrum '
                    'figures, its two-tone figures or its code density.')
    parser.add_option('--board', type='int', help='board index (0)')
    parser.add_option('--dut', type='int', help='DUT index on the board (0)')
    parser.add_option('--samples', type='int',
                      help='samples per channel to capture, a power of two (8192; for '
                           '--histogram 1048576)')
    parser.add_option('--config', type='int', help='capture configuration (0)')
    parser.add_option('--channel', type='int', default=0, help='channel to analyse (0)')
    parser.add_option('--window', choices=['rectangular', 'blackman-harris'],
                      help='force a window (default: none for a coherent capture, '
                           'else blackman-harris)')
    parser.add_option('--two-tone', metavar='F1,F2', dest='two_tone',
                      help='two tones at F1 and F2 Hz through the DAC (with --load: where to '
                           'look for them), analysed for IMD')
    parser.add_option('--level', type='float', metavar='DBFS',
                      help='level of each of the two tones in dBFS (-7)')
    parser.add_option('--histogram', action='store_true',
                      help='the code-density test: DNL, INL, missing codes')
    parser.add_option('--averages', type='int', metavar='K',
                      help='average the power spectra of K captures (1)')
    parser.add_option('--repeat', type='int', metavar='K',
                      help='measure K times and print each figure\'s statistics')
    parser.add_option('--harmonics', type='int', metavar='N',
                      help='harmonics H2 .. H(N+1) in THD and the table (5)')
    parser.add_option('--spurs', type='int', metavar='N', help='spurs in the spur table (5)')
    parser.add_option('--exclude', action='append', metavar='LOW:HIGH',
                      help='leave out the bins from LOW to HIGH Hz, or the component at one '
                           'frequency (repeatable)')
    parser.add_option('--save', metavar='FILE',
                      help='save the capture with its metadata (CSV for *.csv, else binary)')
    parser.add_option('--load', metavar='FILE', help='analyse a saved capture instead')
    parser.add_option('--json', action='store_true', help='print the figures as JSON')
    parser.add_option('--svg', metavar='FILE', help='write the plot to FILE')
    return parser


def _given(options, names):
    return [name for name in names if getattr(options, name) is not None]


def _option_name(name):
    return '--' + name.replace('_', '-')


def _frequencies(text):
    """The two frequencies of --two-tone F1,F2."""
    parts = text.split(',')
    try:
        if len(parts) != 2:
            raise ValueError
        return tuple(float(p) for p in parts)
    except ValueError:
        raise ValueError('--two-tone takes two frequencies in Hz, F1,F2, not %r' % text)


def _exclusions(texts):
    """--exclude's LOW:HIGH ranges and single frequencies, as Options takes them."""
    found = []
    for text in texts or ():
        try:
            parts = [float(p) for p in text.split(':')]
            if len(parts) > 2:
                raise ValueError
        except ValueError:
            raise ValueError('--exclude takes LOW:HIGH in Hz or one frequency, not %r' % text)
        found.append(tuple(parts) if len(parts) == 2 else parts[0])
    return found


def _check(options):
    """ValueError for options that do not go together."""
    kinds = [name for name in ('two_tone', 'histogram') if getattr(options, name)]
    if len(kinds) > 1:
        raise ValueError('--two-tone and --histogram are different measurements: give one')
    if options.histogram:
        for name in _given(options, _SPECTRUM_ONLY):
            raise ValueError('--histogram counts codes: %s does not apply' % _option_name(name))
    if options.level is not None and not options.two_tone:
        raise ValueError('--level sets the two tones of --two-tone')
    if options.two_tone and options.harmonics is not None:
        raise ValueError('--two-tone analyses products, not harmonics: --harmonics does not '
                         'apply')
    if options.load is not None:
        for name in _given(options, _CAPTURE_OPTIONS + _LIVE_ONLY) + (
                ['save'] if options.save is not None else []):
            raise ValueError('--load analyses a saved capture: %s does not apply'
                             % _option_name(name))
    elif options.save is not None:
        for name in ('averages', 'repeat'):
            if getattr(options, name) is not None:
                raise ValueError('--save keeps one capture: %s takes several'
                                 % _option_name(name))
    for name in ('averages', 'repeat'):
        if getattr(options, name) is not None:
            arguments.integer(getattr(options, name), _option_name(name), 1)


def _spectrum_options(options):
    """The keyword arguments of the spectrum's figures the options give."""
    found = {'exclude': _exclusions(options.exclude)}
    for name in ('spurs', 'harmonics'):
        if getattr(options, name) is not None:
            found[name] = getattr(options, name)
    return found


def _analysed(capture, options, tones):
    """The result of a capture (loaded, or just recorded)."""
    if options.histogram:
        return capture.code_density(options.channel)
    if tones is not None:
        return capture.analyse_two_tone(options.channel, options.window, tones,
                                        **_spectrum_options(options))
    return capture.analyse(options.channel, options.window, **_spectrum_options(options))


def _measurement(options):
    """The result to print: of a loaded capture, or of one captured now (and
    saved), of averaged captures, or the statistics of repeats."""
    _check(options)
    tones = _frequencies(options.two_tone) if options.two_tone else None
    if options.load is not None:
        return _analysed(qmboard.load_capture(options.load), options, tones)
    board = 0 if options.board is None else options.board
    dut = 0 if options.dut is None else options.dut
    samples = options.samples
    if samples is None:
        samples = 1 << 20 if options.histogram else 8192
    config = 0 if options.config is None else options.config
    arguments.integer(board, '--board', 0, qm.MAX_BOARD - 1)
    arguments.integer(dut, '--dut', 0, qm.MAX_DUT - 1)
    arguments.integer(config, '--config')
    arguments.integer(samples, '--samples', 1)
    if not options.histogram:
        analysis.check(samples, options.window)
    averages = options.averages or 1
    with qmboard.open(board) as bench:
        device = bench.dut(dut)
        if tones is not None:
            level = -7.0 if options.level is None else options.level
            tones = device.dac_tone(list(tones), level=level, samples=samples,
                                    config=config).frequencies

        def once():
            if options.histogram and options.save is None:
                return device.code_density(samples, config, options.channel)
            if averages > 1:
                if tones is not None:
                    return device.measure_two_tone(samples, config, options.channel,
                                                   options.window, averages, tones,
                                                   **_spectrum_options(options))
                return device.measure(samples, config, options.channel, options.window,
                                      averages, **_spectrum_options(options))
            capture = device.record(samples, config=config)
            if options.save is not None:
                capture.save(options.save)
            return _analysed(capture, options, tones)
        if options.repeat is not None:
            return qmboard.repeat(once, options.repeat)
        return once()


def main(argv=None):
    """Runs the command with `argv` (default: sys.argv[1:]); returns the exit
    status: 0, or 1 after one 'measure: ...' line on stderr for a bad
    argument, an unreadable capture file or a failure (option syntax errors
    exit with status 2)."""
    parser = _parser()
    options, args = parser.parse_args(argv)
    if args:
        parser.error('unexpected argument %r' % args[0])
    try:
        arguments.integer(options.channel, '--channel')
        result = _measurement(options)
        if options.svg:
            shown = result.last if isinstance(result, qmboard.Repeats) else result
            _PLOTS[type(shown)](shown, options.svg)
    except (qmboard.QmError, ValueError, TypeError, IndexError) as error:
        sys.stderr.write('measure: %s\n' % error)
        return 1
    except EnvironmentError as error:
        sys.stderr.write('measure: cannot %s %s: %s\n' % (
            'read' if error.filename == options.load else 'write', error.filename,
            error.strerror))
        return 1
    if options.json:
        print results.json_text(result)
        return 0
    print result if isinstance(result, qmboard.Repeats) else result.report()
    for option, done in ((options.save, 'capture saved to'), (options.svg, 'plot written to')):
        if option:
            print '%s %s' % (done, option)
    return 0


if __name__ == '__main__':
    sys.exit(main())
