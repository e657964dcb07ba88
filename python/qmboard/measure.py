"""Capture a tone from a board's DUT and print its figures:

    python2.7 -m qmboard.measure --board 0 --samples 8192 --svg out.svg

prints the spectrum's figures (fundamental, SNR, SINAD, SFDR, THD, noise
floor, ENOB) as qmboard.analysis shows them, and with --svg writes the plot
of the waveform and spectrum (qmboard.plot).
"""
import optparse
import sys

import qm_python as qm
import qmboard
from qmboard import arguments, plot


def main(argv=None):
    """Runs the command with `argv` (default: sys.argv[1:]); returns the exit
    status: 0, or 1 after one 'measure: ...' line on stderr for a bad
    argument or a failure (option syntax errors exit with status 2)."""
    parser = optparse.OptionParser(
        usage='python2.7 -m qmboard.measure [--board N] [--dut N] [--samples N] '
              '[--config N] [--window NAME] [--svg FILE]',
        description='Captures a tone and prints its spectrum figures.')
    parser.add_option('--board', type='int', default=0, help='board index (0)')
    parser.add_option('--dut', type='int', default=0, help='DUT index on the board (0)')
    parser.add_option('--samples', type='int', default=8192,
                      help='samples per channel to capture, a power of two (8192)')
    parser.add_option('--config', type='int', default=0, help='capture configuration (0)')
    parser.add_option('--window', choices=['rectangular', 'blackman-harris'],
                      help='force a window (default: none for a coherent capture, '
                           'else blackman-harris)')
    parser.add_option('--svg', metavar='FILE', help='write the plot to FILE')
    options, args = parser.parse_args(argv)
    if args:
        parser.error('unexpected argument %r' % args[0])
    try:
        arguments.integer(options.board, '--board', 0, qm.MAX_BOARD - 1)
        arguments.integer(options.dut, '--dut', 0, qm.MAX_DUT - 1)
        arguments.integer(options.config, '--config')
        arguments.integer(options.samples, '--samples', 1)
        with qmboard.open(options.board) as board:
            result = board.dut(options.dut).measure(options.samples, config=options.config,
                                                    window=options.window)
    except (qmboard.QmError, ValueError, TypeError, IndexError) as error:
        sys.stderr.write('measure: %s\n' % error)
        return 1
    print result
    if options.svg:
        try:
            plot.write_svg(result, options.svg)
        except EnvironmentError as error:
            sys.stderr.write('measure: cannot write %s: %s\n' % (options.svg, error.strerror))
            return 1
        print 'plot written to %s' % options.svg
    return 0


if __name__ == '__main__':
    sys.exit(main())
