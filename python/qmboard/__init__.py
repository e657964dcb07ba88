"""qmboard: scripting a QM evaluation bench.

    import qmboard
    print qmboard.boards()                        # names, library version
    with qmboard.open(0) as board:                # closed on exit, also on an exception
        print board.version, board.duts
        board.load_fpga('adc_1.2.3.4.bit')
        dut = board.dut(0)
        print dut.info.revision, [c.name for c in dut.capture_configs]
        samples = dut.capture(8192, config=0)     # array of signed ints
        print dut.measure(8192)                   # SNR, SINAD, SFDR, THD, ENOB (qmboard.analysis)
        print dut.measure(8192, averages=16).report()  # tables too; 16 spectra averaged
        tone = dut.dac_tone(10e6, level=-3.0)     # a coherent DAC tone, looped back
        dut.record(8192).save('tone.qmc')         # samples and metadata (qmboard.captures)
        run = qmboard.sweep([5e6, 20e6], qmboard.sweeps.dac_frequency(dut), path='sweep.csv')
        board.cypress_eeprom.write(0x100, b'\\x01\\x02')
        board.write_register('fpga', 0xD010, 0xC0FFEE)
        unsubscribe = qmboard.on_event(print_event)

Every failing library status raises QmError (QmNonFatalError for the
non-fatal status) with the status, the function and the library's last-error
text when this failure set it; so does a capture that delivers fewer words
than asked. Bad arguments raise TypeError or ValueError before anything is
built or called. Captures count samples per channel (a configuration of
several channels gives them interleaved) and are decoded per data format and
bit width straight from the capture buffer, by the native signal core
(_qm_signal) that also computes the measurements. A DUT's
description is read once and again when an event, select(), load_fpga() or
reset() may have changed it (qmboard.events says how qmboard shares the
library's event receiver). The flat binding stays available as qm_python
(classes) and _qm_python (functions).

Tones for the DAC are planned coherent (coherent_frequency, qmboard.tones)
and sourced by Dut.dac_tone; closing a board stops the DACs it started.
Dut.record() gives a Capture with its metadata, which saves to CSV or a
binary file and loads back exactly (load_capture, qmboard.capture_files).
Measurements: analyse() and average() (one tone: harmonic and spur tables,
exclusions, noise density, clipping; qmboard.analysis), analyse_two_tone()
(IMD2, IMD3; qmboard.two_tone), code_density() (DNL, INL, missing codes by
IEEE 1241's sine histogram; qmboard.density), all reached from a Dut
(measure, measure_two_tone, code_density, the last through the DUT's
hardware histogram where it has one) and a Capture; repeat() gives each
figure's statistics over repeated captures (qmboard.repeats). figures()
turns a result into numbers (qmboard.results); sweep() steps a parameter
and writes a row per point (qmboard.sweeps); qmboard.plot draws captures,
two-tone spectra, DNL and INL, and sweeps as SVG. `python -m
qmboard.measure` is the command line.
"""
from qmboard.analysis import Analysis, Harmonic, Options, Spur, analyse, average
from qmboard.board import Board, BoardList, Eeprom, I2cDevice, SPACES, boards, open, shutdown
from qmboard.capture_files import CaptureFileError, load as load_capture
from qmboard.captures import Capture
from qmboard.density import CodeDensity, code_density, code_density_of_counts
from qmboard.dut import CaptureConfig, DacConfig, Dut, DutInfo
from qmboard.errors import QmError, QmNonFatalError
from qmboard.events import Event, on_event
from qmboard.repeats import Repeats, Statistic, repeat
from qmboard.results import figures
from qmboard.samples import BINARY, OFFSET_BINARY, TWOS_COMPLEMENT, decode, encode
from qmboard.sweeps import Point, Sweep, sweep
from qmboard.tones import Coherent, DacTone, coherent_frequency, tone_waveform
from qmboard.two_tone import Product, Tone, TwoToneAnalysis, analyse_two_tone, average_two_tone
from qmboard.versions import Version

__all__ = ['Analysis', 'Harmonic', 'Options', 'Spur', 'analyse', 'average', 'Board', 'BoardList', 'Eeprom', 'I2cDevice', 'SPACES', 'boards', 'open', 'shutdown',
           'Capture', 'CodeDensity', 'code_density', 'code_density_of_counts', 'CaptureFileError', 'load_capture', 'CaptureConfig', 'DacConfig', 'Dut',
           'DutInfo', 'QmError', 'QmNonFatalError', 'Event', 'on_event', 'Repeats', 'Statistic', 'repeat', 'figures', 'BINARY',
           'OFFSET_BINARY', 'TWOS_COMPLEMENT', 'decode', 'encode', 'Point', 'Sweep', 'sweep',
           'Coherent', 'DacTone', 'coherent_frequency', 'tone_waveform', 'Product', 'Tone',
           'TwoToneAnalysis', 'analyse_two_tone', 'average_two_tone', 'Version']
