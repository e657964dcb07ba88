#!/usr/bin/env python2.7
"""A bench session through qmboard: enumerate and open a board, load an FPGA
image, read the DUT's description, capture a waveform and measure its tone
(figures printed, plot written to capture.svg), measure two tones sourced
through the DAC loopback (two_tone.svg) and the code density of a sine a
little beyond full scale (dnl_inl.svg), read the Cypress EEPROM, write and
read back a register, see a failed call's error, and watch the library's
events as they arrive. With the stand-in library, its test control gives
the converter known imperfections to find (IMD products, a missing code, a
wide code, a moved transition); with the real library the DUT's own input
is measured."""
import ctypes
import os
import threading
import time

import _qm_python
import qmboard
from qmboard import plot

PLOT = 'capture.svg'  # in the directory the session runs in
TWO_TONE_PLOT = 'two_tone.svg'
DENSITY_PLOT = 'dnl_inl.svg'
TWO_TONE_SAMPLES = 65536
DENSITY_SAMPLES = 1 << 22  # counted by the DUT: some 160 a code of 14 bits


def show_event(event):
    thread = threading.current_thread().name
    print '  event on %-14s %r' % ('library thread' if thread.startswith('Dummy') else thread,
                                   event)


def test_control():
    """The stand-in library's test control (ctypes), or None with the real library."""
    name = 'qmdll.dll' if os.name == 'nt' else 'libqmdll.so'
    path = os.environ.get('QMDLL_PATH') or os.path.join(
        os.path.dirname(os.path.abspath(_qm_python.__file__)), name)
    try:
        control = ctypes.CDLL(path)
        control.qmsim_plug_dut.argtypes = [ctypes.c_ulong, ctypes.c_int]
        control.qmsim_add_tone.argtypes = [ctypes.c_ulong, ctypes.c_double, ctypes.c_double]
        control.qmsim_set_tone_level.argtypes = [ctypes.c_ulong, ctypes.c_double]
        control.qmsim_set_tone_record.argtypes = [ctypes.c_ulong, ctypes.c_ulong]
        for setter in (control.qmsim_set_code_width, control.qmsim_set_transition):
            setter.argtypes = [ctypes.c_ulong, ctypes.c_int, ctypes.c_double]
        control.qmsim_clear_imperfections.argtypes = [ctypes.c_ulong]
    except (OSError, AttributeError):
        return None
    return control


def pull_dut_cable(board, control):
    """Unplugs and replugs the DUT through the stand-in library's test control
    (not there with the real library)."""
    if control is None:
        return
    print 'pulling the DUT cable and plugging it back (stand-in library):'
    control.qmsim_plug_dut(board.index, 0)
    control.qmsim_plug_dut(board.index, 1)
    control.qmsim_wait_delivered(5000)
    time.sleep(0.1)


def indented(text):
    return '  ' + text.replace('\n', '\n  ')


def two_tones(board, dut, control):
    """Two coherent tones at -7 dBFS each through the DAC loopback, analysed
    for intermodulation; the stand-in's converter is given IMD3 products at
    -80 dBc and IMD2 products at -85 dBc to find."""
    tones = dut.dac_tone([10e6, 11e6], level=-7.0, samples=TWO_TONE_SAMPLES)
    print 'two tones through the DAC loopback, %s MHz at -7 dBFS each:' % ' and '.join(
        '%.3f' % (f / 1e6) for f in tones.frequencies)
    if control is not None:
        f1, f2 = tones.frequencies
        print '  (the stand-in\'s converter makes IMD3 at -80 dBc and IMD2 at -85 dBc)'
        for frequency, level in ((2 * f1 - f2, -87.0), (2 * f2 - f1, -87.0), (f2 - f1, -92.0),
                                 (f1 + f2, -92.0)):
            control.qmsim_add_tone(board.index, frequency, level)
    result = dut.measure_two_tone(TWO_TONE_SAMPLES, tones=tones.frequencies)
    dut.dac_stop()
    if control is not None:
        control.qmsim_clear_imperfections(board.index)
    print indented(result.report())
    plot.write_two_tone_svg(result, TWO_TONE_PLOT)
    print '  two-tone spectrum plotted in %s' % TWO_TONE_PLOT


def code_density(board, dut, control):
    """The code-density test of a sine 0.2 dB beyond full scale, counted by
    the DUT's hardware histogram; the stand-in's converter is given a
    missing code, a code half an LSB wide and a transition moved by 0.3
    LSB to find."""
    print 'code density of a sine a little beyond full scale, %d samples:' % DENSITY_SAMPLES
    if control is not None:
        print ('  (the stand-in\'s converter misses code -1000, code 2000 is 0.5 LSB wide, the '
               'step up to 4000 0.3 LSB late)')
        control.qmsim_set_tone_record(board.index, DENSITY_SAMPLES)
        control.qmsim_set_tone_level(board.index, 0.2)
        control.qmsim_set_code_width(board.index, -1000, -1.0)
        control.qmsim_set_code_width(board.index, 2000, 0.5)
        control.qmsim_set_transition(board.index, 4000, 0.3)
    try:
        result = dut.code_density(DENSITY_SAMPLES)
    finally:
        if control is not None:
            control.qmsim_clear_imperfections(board.index)
    print indented(result.report())
    plot.write_code_density_svg(result, DENSITY_PLOT)
    print '  DNL and INL plotted in %s' % DENSITY_PLOT


def main():
    received = []
    unsubscribe = qmboard.on_event(lambda event: (received.append(event), show_event(event)))
    print 'boards:', qmboard.boards()
    with qmboard.open(0) as board:
        print 'board version', board.version, 'DUTs', board.duts
        print 'FPGA image', board.load_fpga('qm_adc_capture.bit')
        print 'loading an image that is not there (the library shows a message box):'
        try:
            board.load_fpga('missing_image.bit')
        except qmboard.QmError as error:
            print '  %s' % error
        dut = board.dut(0)
        info = dut.info
        print 'DUT revision %s, version %s, %d-bit, %.3f MHz' % (
            info.revision, info.version, dut.bit_width, dut.sampling_frequency / 1e6)
        for i, config in enumerate(info.capture_configs):
            print '  [%d] %-24s %2d bits, %d channel(s), transfers %d..%d' % (
                i, config.name, config.bit_size, config.channels, config.transfer_min_size,
                config.transfer_max_size)
        samples = dut.capture(4096, config=0, data_format=qmboard.OFFSET_BINARY)
        print 'captured %d samples: min %d, max %d' % (len(samples), min(samples), max(samples))
        measurement = dut.measure(8192)
        print 'the tone of an 8192-sample capture:'
        print indented(measurement.report())
        plot.write_svg(measurement, PLOT)
        print '  waveform and spectrum plotted in %s' % PLOT
        control = test_control()
        two_tones(board, dut, control)
        code_density(board, dut, control)
        print 'Cypress EEPROM:', board.cypress_eeprom.read(0, 16).encode('hex')
        board.write_register('fpga', 0xD010, 0xC0FFEE)
        print 'FPGA register 0xD010: 0x%x' % board.read_register('fpga', 0xD010)
        try:
            dut.select('NO-SUCH-DUT')
        except qmboard.QmError as error:
            print 'selecting an unknown DUT: %s (status %d)' % (error.text, error.status)
        pull_dut_cable(board, control)
    qmboard.shutdown()
    unsubscribe()
    print '%d events received' % len(received)


if __name__ == '__main__':
    main()
