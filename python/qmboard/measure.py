"""Capture a tone from a board's DUT, or load a saved capture, and print its
figures:

    python2.7 -m qmboard.measure --board 0 --samples 8192 --svg out.svg
    python2.7 -m qmboard.measure --save tone.qmc      # ... and keep the capture
    python2.7 -m qmboard.measure --load tone.qmc      # the same figures, offline
    python2.7 -m qmboard.measure --json               # the figures as JSON

prints the spectrum's figures (fundamental, SNR, SINAD, SFDR, THD, noise
floor, ENOB) as qmboard.analysis shows them, or with --json as one JSON
object of numbers (qmboard.results: base units, null for a figure that is
not finite); --save writes the capture with its metadata (qmboard.captures;
CSV for a name ending in .csv, else binary), --load analyses a saved one
instead of capturing, and --svg writes the plot of the waveform and
spectrum (qmboard.plot).
"""
import optparse
import sys

import qm_python as qm
import qmboard
from qmboard import analysis, arguments, plot, results

_CAPTURE_OPTIONS = ('board', 'dut', 'samples', 'config')


def _parser():
    parser = optparse.OptionParser(
        usage='python2.7 -m qmboard.measure [--board N] [--dut N] [--samples N] [--config N] '
              '[--channel N] [--window NAME] [--save FILE | --load FILE] [--json] [--svg FILE]',
        description='Captures a tone (or loads a saved capture) and prints its spectrum '
                    'figures.')
    parser.add_option('--board', type='int', help='board index (0)')
    parser.add_option('--dut', type='int', help='DUT index on the board (0)')
    parser.add_option('--samples', type='int',
                      help='samples per channel to capture, a power of two (8192)')
    parser.add_option('--config', type='int', help='capture configuration (0)')
    parser.add_option('--channel', type='int', default=0, help='channel to analyse (0)')
    parser.add_option('--window', choices=['rectangular', 'blackman-harris'],
                      help='force a window (default: none for a coherent capture, '
                           'else blackman-harris)')
    parser.add_option('--save', metavar='FILE',
                      help='save the capture with its metadata (CSV for *.csv, else binary)')
    parser.add_option('--load', metavar='FILE', help='analyse a saved capture instead')
    parser.add_option('--json', action='store_true', help='print the figures as JSON')
    parser.add_option('--svg', metavar='FILE', help='write the plot to FILE')
    return parser


def _capture(options):
    """The Capture to analyse: loaded, or captured (and saved)."""
    given = [name for name in _CAPTURE_OPTIONS if getattr(options, name) is not None]
    if options.load is not None:
        if given or options.save is not None:
            raise ValueError('--load analyses a saved capture: --%s does not apply'
                             % (given + ['save'])[0])
        return qmboard.load_capture(options.load)
    board = 0 if options.board is None else options.board
    dut = 0 if options.dut is None else options.dut
    samples = 8192 if options.samples is None else options.samples
    config = 0 if options.config is None else options.config
    arguments.integer(board, '--board', 0, qm.MAX_BOARD - 1)
    arguments.integer(dut, '--dut', 0, qm.MAX_DUT - 1)
    arguments.integer(config, '--config')
    arguments.integer(samples, '--samples', 1)
    analysis.check(samples, options.window)
    with qmboard.open(board) as bench:
        capture = bench.dut(dut).record(samples, config=config)
    if options.save is not None:
        capture.save(options.save)
    return capture


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
        capture = _capture(options)
        result = capture.analyse(options.channel, options.window)
        if options.svg:
            plot.write_svg(result, options.svg)
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
    print result
    for option, done in ((options.save, 'capture saved to'), (options.svg, 'plot written to')):
        if option:
            print '%s %s' % (done, option)
    return 0


if __name__ == '__main__':
    sys.exit(main())
