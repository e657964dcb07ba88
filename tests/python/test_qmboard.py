"""The bench API qmboard against the stand-in: errors, boards as context
managers, captures against the stand-in's known waveform, memories,
registers, the DAC, DUT selection and events."""
import array
import gc
import math
import StringIO
import sys
import threading
import unittest
import weakref

import qmsim
import qm_python as qm
import qmboard
from qmboard import events, samples

FORMATS = (qmboard.BINARY, qmboard.OFFSET_BINARY, qmboard.TWOS_COMPLEMENT)


class BenchTest(unittest.TestCase):
    def setUp(self):
        qmsim.reset()
        self.board = qmboard.open(0)
        self.dut = self.board.dut(0)

    def tearDown(self):
        self.board.close()


class BoardTest(BenchTest):
    def test_boards_versions_and_dut_description(self):
        found = qmboard.boards()
        self.assertEqual(found.names, ['QM-EVAL-0', 'QM-EVAL-1'])
        self.assertEqual(str(found.library_version), '3.2.0.118')
        self.assertEqual((str(self.board.version), self.board.duts), ('5.0.2.300', ['QMADC-1425']))
        self.assertEqual(self.board.load_fpga('adc_1.2.3.4.bit'), (1, 2, 3, 4))
        info = self.dut.info
        self.assertEqual((info.revision, info.type, str(info.version)), ('Rev C', 0x1425, '1.2.0.5157'))
        self.assertEqual([c.name for c in info.capture_configs][1], 'Channels A+B interleaved')
        self.assertEqual(info.dac_configs[0].bit_width, 16)
        self.assertEqual((self.dut.bit_width, self.dut.sampling_frequency), (14, 250e6))
        self.assertEqual(self.dut.sampling_frequency_of(2), 62.5e6)
        self.assertEqual([str(v) for v in self.dut.script_versions], ['2.4.1.5157', '1.9.0.77'])
        self.assertEqual(self.dut.eeprom_type, 'standard')
        self.assertTrue(self.board.firmware_active())

    def test_with_closes_the_board_also_on_an_exception(self):
        with self.assertRaises(KeyError):
            with qmboard.open(1) as board:
                self.assertTrue(qmsim.board_open(1))
                raise KeyError('in the block')
        self.assertFalse(qmsim.board_open(1))
        self.assertTrue(board.closed)
        # A close that fails does not hide the exception that ended the block.
        qmsim.force_status('QmBoardClose', qm.QM_RETURN_ERROR)
        with self.assertRaises(KeyError):
            with qmboard.open(1):
                raise KeyError('first')
        qmsim.clear_forced()

    def test_errors_carry_status_function_and_last_error_text(self):
        with self.assertRaises(qmboard.QmError) as caught:
            qmboard.open(5)
        error = caught.exception
        self.assertEqual((error.status, error.function, error.text, error.board),
                         (qm.QM_RETURN_ERROR, 'QmBoardOpen', 'board 5 is not attached', 5))
        self.assertNotIsInstance(error, qmboard.QmNonFatalError)
        with self.assertRaises(qmboard.QmError) as caught:
            self.dut.select('NO-SUCH-DUT')
        self.assertEqual(caught.exception.text, "unknown DUT 'NO-SUCH-DUT'")
        qmsim.force_status('QmBoardReset', qm.QM_RETURN_ERROR_NON_FATAL)
        with self.assertRaises(qmboard.QmNonFatalError) as caught:
            self.board.reset()
        self.assertEqual(caught.exception.status, 1)
        qmsim.power(0, False)
        self.assertFalse(self.board.firmware_active())

    def test_dut_selection_changes_the_bit_width(self):
        self.dut.select('QMADC-1610')
        self.assertEqual(self.dut.bit_width, 16)
        self.assertEqual(self.board.supported_duts[0], 'QMADC-1425;QMADC-1610;QMADC-1206FMC')


class CaptureTest(BenchTest):
    def test_captures_follow_the_known_waveform_in_every_format(self):
        frequency, amplitude = qmsim.tone(0, 0)
        rate = self.dut.sampling_frequency
        captured = [self.dut.capture(8192, data_format=f) for f in FORMATS]
        for values in captured:
            self.assertIsInstance(values, array.array)
            self.assertEqual(values, captured[0])
        worst = max(abs(v - amplitude * math.sin(2 * math.pi * frequency * n / rate))
                    for n, v in enumerate(captured[0]))
        self.assertLess(worst, 3)
        raw = self.dut.capture(8192, raw=True, data_format=qmboard.OFFSET_BINARY)
        self.assertEqual([w - 0x2000 for w in raw[:16]], list(captured[0][:16]))
        self.assertEqual(self.dut.capture(64, config=2), self.dut.capture(64, config=2))

    def test_signs_at_the_edges_of_the_bit_width(self):
        # A DAC waveform at full scale loops back into captures: the
        # converter's extremes, noise clipped at them.
        self.dut.dac_download([32767, -32768, 0, 100] * 16, 100e6)
        self.dut.dac_start()
        binary, offset, twos = [self.dut.capture(64, data_format=f) for f in FORMATS]
        self.assertEqual(offset, twos)
        self.assertEqual((max(twos), min(twos)), (8191, -8192))
        self.assertEqual(list(binary), [max(v, -8191) for v in twos])

    def test_decode_every_format_and_width_ignoring_bits_above(self):
        for bits in (1, 2, 8, 9, 14, 16, 17, 24, 31, 32):
            half = 1 << (bits - 1)
            for fmt in FORMATS:
                low = -half + 1 if fmt == qmboard.BINARY else -half
                values = sorted(set(v for v in (low, low + 1, -1, 0, half - 1)
                                    if low <= v < half))
                words = samples.encode(values, bits, fmt)
                dirty = [(w | (0xA5A5A5A5 << bits)) & 0xFFFFFFFF for w in words]
                raw = array.array(qm.WORD_TYPECODE, dirty).tostring()
                self.assertEqual(list(samples.decode(raw, bits, fmt)), values, (bits, fmt))
        self.assertRaises(ValueError, samples.decode, '\0' * 4, 33, qmboard.TWOS_COMPLEMENT)
        self.assertRaises(ValueError, samples.decode, '\0' * 4, 14, 7)
        self.assertRaises(ValueError, samples.decode, '\0' * 3, 14, qmboard.TWOS_COMPLEMENT)
        self.assertRaises(ValueError, samples.encode, [8192], 14, qmboard.TWOS_COMPLEMENT)

    def test_a_failed_read_ends_the_capture_and_reports_the_read(self):
        qmsim.force_status('QmBoardReadCaptureData', qm.QM_RETURN_ERROR)
        with self.assertRaises(qmboard.QmError) as caught:
            self.dut.capture(64)
        self.assertEqual(caught.exception.function, 'QmBoardReadCaptureData')
        self.assertEqual(qmsim.call_count('QmBoardWriteCaptureEnd'), 1)
        self.assertRaises(ValueError, self.dut.capture, 64, config=3)


class DeviceTest(BenchTest):
    def test_memories_registers_and_dac_round_trip(self):
        self.board.cypress_eeprom.write(0x100, b'\x01\x02')
        self.assertEqual(self.board.cypress_eeprom.read(0x100, 2), '\x01\x02')
        self.assertEqual(qmsim.read_cypress_eeprom(0, 0x100, 2), '\x01\x02')
        self.dut.eeprom.write(0x40, bytearray(b'dut'))
        self.assertEqual(qmsim.read_dut_eeprom(0, 0x40, 3), 'dut')
        clock = self.board.i2c(0x68)
        clock.write(0x10, 'ab')
        self.assertEqual(clock.read(0x10, 2), 'ab')
        with self.assertRaises(qmboard.QmError):
            self.board.i2c(0x11).read(0, 1)
        self.board.write_register('fpga', 0xD010, 0xC0FFEE)
        self.assertEqual(self.board.read_register('fpga', 0xD010), 0xC0FFEE)
        self.assertEqual(qmsim.read_register(0, qm.QM_DEBUG_ACCESS_PORT_FPGA_REGISTER, 0xD010),
                         0xC0FFEE)
        self.assertEqual(self.board.read_register('spi', 2), 14)
        self.assertRaises(ValueError, self.board.read_register, 'nowhere', 0)
        self.dut.dac_download([-1, 0, 1, 32767] * 4, 10e6, data_format=qmboard.OFFSET_BINARY)
        self.assertEqual(qmsim.dac_samples(0)[:4], [32767, 32768, 32769, 65535])
        self.dut.dac_start()
        self.assertTrue(qmsim.dac_sourcing(0))
        self.dut.dac_stop()
        self.assertFalse(qmsim.dac_sourcing(0))


class EventTest(unittest.TestCase):
    def setUp(self):
        qmsim.reset()

    def test_callables_get_decoded_events_from_the_library_thread(self):
        seen, threads = [], []

        def record(event):
            seen.append(event)
            threads.append(threading.current_thread())

        def fail(event):
            raise ValueError('handler trouble')

        stop_failing = qmboard.on_event(fail)
        unsubscribe = qmboard.on_event(record)
        director = weakref.ref(events._dispatcher)
        errors, sys.stderr = sys.stderr, StringIO.StringIO()
        try:
            qmsim.plug_dut(0, False)
            qmsim.fire_event(qm.QM_DLL_EVENT_MESSAGE_BOX,
                             message_box=(qm.QM_MESSAGE_BOX_ERROR, 'Cap', 'Msg', 1))
            self.assertTrue(qmsim.wait_delivered())
        finally:
            errors, sys.stderr = sys.stderr.getvalue(), errors
        self.assertEqual(errors.count('Exception in event handler'), 2)
        self.assertIn('ValueError: handler trouble', errors)
        self.assertEqual([(e.kind, e.change, e.board, e.dut) for e in seen[:1]],
                         [('hw_change', 'dut_disconnect', 0, 0)])
        self.assertEqual((seen[1].box, seen[1].caption, seen[1].message, seen[1].enabled),
                         ('error', 'Cap', 'Msg', True))
        self.assertNotIn(threading.current_thread(), threads)
        self.assertEqual(qmsim.receiver_result_sum(), 0)
        stop_failing()
        unsubscribe()
        unsubscribe()  # a second call does nothing
        gc.collect()
        self.assertIsNone(director())
        self.assertIsNone(qm.cvar._qm_callback)
        self.assertRaises(TypeError, qmboard.on_event, 'not callable')

    def deliver(self, handler, *events_fired):
        """Fires each (id, keywords) from the library's thread to `handler`,
        counting the reads of event details."""
        reads, details = [], events._details
        events._details = lambda kind, record: (reads.append(kind), details(kind, record))[1]
        unsubscribe = qmboard.on_event(handler)
        try:
            for event_id, keywords in events_fired:
                qmsim.fire_event(event_id, **keywords)
            self.assertTrue(qmsim.wait_delivered())
        finally:
            unsubscribe()
            events._details = details
        return reads

    def test_details_are_read_only_when_asked_for_or_kept(self):
        hw = (qm.QM_DLL_EVENT_HW_CHANGE, {'hw': (qm.QM_HW_CHANGE_POWER_OFF, 1, 0xFFFFFFFF)})
        kinds = []
        self.assertEqual(self.deliver(lambda e: kinds.append(e.kind), hw, hw), [])
        self.assertEqual(kinds, ['hw_change'] * 2)
        boards = []
        self.assertEqual(self.deliver(lambda e: boards.append((e.board, e.dut, e.change)), hw),
                         ['hw_change'])
        self.assertEqual(boards, [(1, 4294967295L, 'power_off')])
        # A kept event reads its details before the library's record goes,
        # whether a handler asked for them or not.
        kept = []
        reads = self.deliver(kept.append, hw, (qm.QM_DLL_EVENT_MESSAGE_BOX, {
            'message_box': (qm.QM_MESSAGE_BOX_WARNING, 'Caption', None, 0)}),
            (qm.QM_DLL_EVENT_CHANNEL_DATA_SELECTION_CHANGED, {'selection': (1, 0, 4)}),
            (qm.QM_DLL_EVENT_SIMULATOR_LOADED, {}), (7, {}))
        self.assertEqual(reads, ['hw_change', 'message_box', 'channel_data_selection_changed',
                                 'simulator_loaded', 7])
        self.assertEqual([repr(e) for e in kept], [
            "<Event hw_change: board=1, change='power_off', dut=4294967295L>",
            "<Event message_box: box='warning', caption='Caption', enabled=False, message=None>",
            "<Event channel_data_selection_changed: board=1, channel_data_index=4, dut=0>",
            "<Event simulator_loaded>", "<Event 7>"])
        self.assertEqual([e.id for e in kept[3:]], [qm.QM_DLL_EVENT_SIMULATOR_LOADED, 7])
        for event, absent in zip(kept, ('caption', 'change', 'box', 'board', 'dut')):
            self.assertRaises(AttributeError, getattr, event, absent)
            self.assertRaises(AttributeError, getattr, event, '_record')


if __name__ == '__main__':
    unittest.main()
