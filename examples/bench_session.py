#!/usr/bin/env python2.7
"""A bench session through qmboard: enumerate and open a board, load an FPGA
image, read the DUT's description, capture a waveform and measure its tone
(figures printed, plot written to capture.svg), read the Cypress
EEPROM, write and read back a register, see a failed call's error, and watch
the library's events as they arrive."""
import ctypes
import os
import threading
import time

import _qm_python
import qmboard
from qmboard import plot

PLOT = 'capture.svg'  # in the directory the session runs in


def show_event(event):
    thread = threading.current_thread().name
    print '  event on %-14s %r' % ('library thread' if thread.startswith('Dummy') else thread,
                                   event)


def pull_dut_cable(board):
    """Unplugs and replugs the DUT through the stand-in library's test control
    (not there with the real library)."""
    name = 'qmdll.dll' if os.name == 'nt' else 'libqmdll.so'
    path = os.environ.get('QMDLL_PATH') or os.path.join(
        os.path.dirname(os.path.abspath(_qm_python.__file__)), name)
    try:
        control = ctypes.CDLL(path)
        control.qmsim_plug_dut.argtypes = [ctypes.c_ulong, ctypes.c_int]
    except (OSError, AttributeError):
        return
    print 'pulling the DUT cable and plugging it back (stand-in library):'
    control.qmsim_plug_dut(board.index, 0)
    control.qmsim_plug_dut(board.index, 1)
    control.qmsim_wait_delivered(5000)
    time.sleep(0.1)


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
        print '  ' + str(measurement).replace('\n', '\n  ')
        plot.write_svg(measurement, PLOT)
        print '  waveform and spectrum plotted in %s' % PLOT
        print 'Cypress EEPROM:', board.cypress_eeprom.read(0, 16).encode('hex')
        board.write_register('fpga', 0xD010, 0xC0FFEE)
        print 'FPGA register 0xD010: 0x%x' % board.read_register('fpga', 0xD010)
        try:
            dut.select('NO-SUCH-DUT')
        except qmboard.QmError as error:
            print 'selecting an unknown DUT: %s (status %d)' % (error.text, error.status)
        pull_dut_cable(board)
    qmboard.shutdown()
    unsubscribe()
    print '%d events received' % len(received)


if __name__ == '__main__':
    main()
