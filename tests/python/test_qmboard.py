"""The bench API qmboard against the stand-in: errors, boards as context
managers, captures against the stand-in's known waveform, memories,
registers, the DAC, DUT selection and events."""
import array
import ctypes
import gc
import math
import StringIO
import sys
import threading
import types
import unittest
import weakref

import qmsim
import qm_python as qm
import qmboard
from qmboard import events, samples
from bench_fixture import BenchTest

FORMATS = (qmboard.BINARY, qmboard.OFFSET_BINARY, qmboard.TWOS_COMPLEMENT)


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

    def test_error_text_only_when_this_failure_set_it(self):
        with self.assertRaises(qmboard.QmError) as caught:
            self.dut.select('NO-SUCH-DUT')
        self.assertEqual(caught.exception.text, "unknown DUT 'NO-SUCH-DUT'")
        # A failure that sets no text of its own: the library still holds the old one.
        qmsim.force_status('QmBoardReset', qm.QM_RETURN_ERROR)
        with self.assertRaises(qmboard.QmError) as caught:
            self.board.reset()
        self.assertIsNone(caught.exception.text)
        self.assertIn("last-error text did not change: \"unknown DUT 'NO-SUCH-DUT'\"",
                      str(caught.exception))
        qmsim.clear_forced()
        with self.assertRaises(qmboard.QmError) as caught:
            self.dut.select('OTHER')
        self.assertEqual(caught.exception.text, "unknown DUT 'OTHER'")

    def test_dut_selection_changes_the_bit_width(self):
        self.dut.select('QMADC-1610')
        self.assertEqual(self.dut.bit_width, 16)
        self.assertEqual(self.board.supported_duts[0], 'QMADC-1425;QMADC-1610;QMADC-1206FMC')

    def test_one_dut_object_per_board_and_index(self):
        self.assertIs(self.board.dut(0), self.dut)
        self.assertIs(qmboard.Dut(self.board, 0), self.dut)
        self.assertRaises(ValueError, self.board.dut, qm.MAX_DUT)

    def test_shutdown_and_other_boards_of_the_index_close_a_board(self):
        with qmboard.open(1) as board:
            qmboard.shutdown()
            self.assertTrue(board.closed and self.board.closed)
        self.assertEqual(qmsim.call_count('QmBoardClose'), 0)
        first, second = qmboard.open(0), qmboard.open(0)  # the library gives the same board
        first.close()
        self.assertTrue(second.closed)
        second.close()
        self.assertEqual(qmsim.call_count('QmBoardClose'), 1)
        self.board = qmboard.open(0)

    def test_descriptions_show_names_not_numbers(self):
        configs = repr(self.dut.capture_configs)
        self.assertIn('data_format=TWOS_COMPLEMENT', configs)
        self.assertIn('data_format=OFFSET_BINARY', configs)
        self.assertIn('DutInfo(type=0x1425', repr(self.dut.info))
        self.assertRegexpMatches(repr(self.dut.measure(64)),
                                 r'^<Analysis of 64 samples, 14 bits, 250\.000 MSPS: .*SNR ')


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
        # Bytes only (a bytearray too); words as a list are refused, not misread.
        word = bytearray('\xff\x3f\0\0')
        self.assertEqual(list(qmboard.decode(word, 14, qmboard.TWOS_COMPLEMENT)), [-1])
        for bad in ([1, 2, 3, 4], u'abcd', array.array('B', [1, 2, 3, 4])):
            self.assertRaises(TypeError, qmboard.decode, bad, 8, qmboard.TWOS_COMPLEMENT)
        self.assertRaises(TypeError, qmboard.decode, '\0' * 4, 8.0, qmboard.TWOS_COMPLEMENT)
        self.assertRaises(TypeError, qmboard.encode, [1.5], 8, qmboard.TWOS_COMPLEMENT)

    def test_encode_names_the_first_bad_sample_and_decode_words_reads_a_buffer(self):
        twos = qmboard.TWOS_COMPLEMENT
        self.assertEqual(samples.encode(array.array('h', [-1, 2]), 8, twos), [255, 2])
        self.assertEqual(samples.encode(iter([-1, 2L]), 8, twos), [255, 2])
        for values, exception, message in (
                ([1, True], TypeError, 'sample True is not an integer'),
                ([300, 1.5], ValueError, 'sample 300 outside -128..127 for 8 bits'),
                ([1.5, 300], TypeError, 'sample 1.5 is not an integer'),
                ([3, 2 ** 40, 1.5], ValueError, 'sample 1099511627776L outside -128..127 for 8 bits'),
                (array.array('i', [3, -129]), ValueError, 'sample -129 outside -128..127 for 8 bits'),
                (array.array('d', [1.0]), TypeError, 'sample 1.0 is not an integer')):
            with self.assertRaises(exception) as caught:
                samples.encode(values, 8, twos)
            self.assertEqual(str(caught.exception), message)
        # A capture buffer decoded in place, one channel of two picked out.
        words = qm.Qm_Word_Array(4)
        words.write([1, 2, 0x3FFF, 0xFFFF4])
        self.assertEqual(samples.decode_words(words, 14, twos).tolist(), [1, 2, -1, -12])
        self.assertEqual(samples.decode_words(words, 14, twos, 2, 1).tolist(), [2, -12])
        self.assertRaises(TypeError, samples.decode_words, words.read(), 14, twos)
        self.assertRaises(ValueError, samples.decode_words, words, 14, twos, 3)

    def test_a_failed_read_ends_the_capture_and_reports_the_read(self):
        qmsim.force_status('QmBoardReadCaptureData', qm.QM_RETURN_ERROR)
        with self.assertRaises(qmboard.QmError) as caught:
            self.dut.capture(64)
        self.assertEqual(caught.exception.function, 'QmBoardReadCaptureData')
        self.assertEqual(qmsim.call_count('QmBoardWriteCaptureEnd'), 1)
        self.assertRaises(ValueError, self.dut.capture, 64, config=3)

    def short_capture(self, words=1024):
        """The QmError of a capture that fell short; the capture was ended."""
        ends = qmsim.call_count('QmBoardWriteCaptureEnd')
        with self.assertRaises(qmboard.QmError) as caught:
            self.dut.capture(words)
        self.assertEqual(qmsim.call_count('QmBoardWriteCaptureEnd'), ends + 1)
        self.assertFalse(qmsim.pending_during('QmBoardWriteCaptureEnd'))
        return caught.exception

    def test_exactly_the_words_asked_or_an_error_that_counts_them(self):
        whole = self.dut.capture(1024)
        qmsim.limit_capture(0, per_read=100)  # a library that hands out words in several reads
        self.assertEqual(self.dut.capture(1024), whole)
        self.assertEqual(qmsim.call_count('QmBoardReadCaptureData'), 1 + 11)
        qmsim.limit_capture(0, per_read=100, in_all=312)  # runs dry, reporting success
        error = self.short_capture()
        self.assertEqual((error.status, error.words, error.requested), (0, 312, 1024))
        self.assertIn('delivered 312 of 1024 words', str(error))
        qmsim.limit_capture(0)
        # A library that says it delivered fewer than it did, then runs out.
        qmsim.force_output_word('QmBoardReadCaptureData', 312)
        error = self.short_capture()
        self.assertIsInstance(error, qmboard.QmNonFatalError)
        self.assertIn('after 312 of 1024 words: capture data exhausted', str(error))
        # ... or more than it was asked for.
        qmsim.force_output_word('QmBoardReadCaptureData', 2000)
        error = self.short_capture()
        self.assertIn('reported 2000 words read for a read of 1024', str(error))
        self.assertEqual((error.words, error.requested), (0, 1024))
        qmsim.clear_forced()
        self.assertEqual(self.dut.capture(1024), whole)

    def test_samples_count_per_channel_in_capture_and_measure(self):
        single = self.dut.capture(64, config=0)
        self.assertEqual(qmsim.last_word('QmBoardReadCaptureData', 3), 64)
        pairs = self.dut.capture(64, config=1)
        self.assertEqual((len(single), len(pairs)), (64, 128))
        self.assertEqual(qmsim.last_word('QmBoardReadCaptureData', 3), 128)
        self.assertEqual(len(self.dut.capture(64, config=1, raw=True)), 128)
        # Channel A comes first in each pair: the same tone as configuration 1's channel 0.
        frequency, amplitude = qmsim.tone(0, 1)
        rate = self.dut.sampling_frequency_of(1)
        self.assertLess(max(abs(v - amplitude * math.sin(2 * math.pi * frequency * n / rate))
                            for n, v in enumerate(pairs[0::2])), 3)
        with self.assertRaises(ValueError) as caught:
            self.dut.capture(2 ** 20 + 1, config=1)
        self.assertEqual(str(caught.exception), 'samples per channel must be 64..1048576 for '
                         'capture configuration 1 (2 channels, 128..2097152 words), not 1048577')


LIBRARY_CALLS = [n for n in dir(qm) if n.startswith('Qm') and '_' not in n
                 and isinstance(getattr(qm, n), types.BuiltinFunctionType)]


def library_calls():
    return sum(qmsim.call_count(n) for n in LIBRARY_CALLS)


class ArgumentTest(BenchTest):
    def test_bad_arguments_are_refused_in_the_api_words_before_any_call(self):
        self.dut.capture(64)  # the description is kept: refusing needs no library call
        eeprom, clock = self.board.cypress_eeprom, self.board.i2c(0x68)
        before = library_calls()
        cases = [
            (self.dut.capture, (-64,), ValueError, 'samples must be 1..4294967295, not -64'),
            (self.dut.capture, (2 ** 32,), ValueError,
             'samples must be 1..4294967295, not 4294967296'),
            (self.dut.capture, (64.0,), TypeError, 'samples must be an integer, not float'),
            (self.dut.capture, (64, -1), ValueError,
             'capture configuration must be 0..4294967295, not -1'),
            (self.dut.capture, (64, 3), ValueError, 'no capture configuration 3: the DUT has 3'),
            (self.dut.capture, (64, 0, False, 7), ValueError, 'unknown data format 0x7'),
            (self.dut.capture, (10,), ValueError,
             'samples must be 64..1048576 for capture configuration 0 (1 channel'),
            (self.dut.measure, (8192, 0, -1), ValueError, 'channel must be 0..4294967295'),
            (self.dut.measure, (8192, 0, 0, 'hann'), ValueError, "window must be None"),
            (self.dut.sampling_frequency_of, (None,), TypeError,
             'capture configuration must be an integer, not NoneType'),
            (self.dut.select, (u'QMADC-1610',), TypeError, 'DUT name must be a str, not unicode'),
            (self.dut.dac_download, ([1.5] * 16, 10e6), TypeError, 'sample 1.5 is not an integer'),
            (self.dut.dac_download, ([1] * 16, -1), ValueError,
             'frequency must be a positive finite number, not -1.0'),
            (self.dut.dac_download, ([1] * 15, 10e6, (0, 1)), ValueError,
             'values must be whole frames of 2 sample(s), not 15 values'),
            (self.dut.dac_download, ([1] * 16, 10e6, (0, -1)), ValueError,
             'channels[1] must be 0..4294967295, not -1'),
            (self.dut.dac_download, ('abcd', 10e6), TypeError, 'values must be a sequence'),
            (self.board.dut, (-1,), ValueError, 'DUT index must be 0..0, not -1'),
            (self.board.load_fpga, (None,), TypeError, 'image must be a str, not NoneType'),
            (self.board.read_register, ('fpga', -1), ValueError,
             'register address must be 0..4294967295, not -1'),
            (self.board.read_register, ('fpga', 0, 0, 12), ValueError,
             'width must be 8, 16, 32 or 0'),
            (self.board.read_register, (2 ** 31, 0), ValueError,
             'register space must be -2147483648..2147483647'),
            (self.board.read_register, ([], 0), ValueError, 'unknown register space []'),
            (self.board.write_register, ('fpga', 0xD010, 2 ** 32), ValueError,
             'value must be 0..4294967295'),
            (eeprom.read, (-1, 2), ValueError, 'offset must be 0..4294967295, not -1'),
            (eeprom.read, (0, 2 ** 32), ValueError, 'length must be 0..1048576'),
            (eeprom.write, (0.5, 'ab'), TypeError, 'offset must be an integer, not float'),
            (self.board.i2c, (-1,), ValueError, 'I2C address must be 0..4294967295, not -1'),
            (clock.read, (0, 1, -1), ValueError, 'flags must be 0..4294967295, not -1'),
            (clock.write, (0, 'ab', 0, -1), ValueError, 'delay must be 0..4294967295, not -1'),
            (qmboard.open, (-1,), ValueError, 'board index must be 0..15, not -1'),
            (qmboard.open, (0, 5), TypeError, 'board name must be a str or None, not int'),
        ]
        for function, args, kind, message in cases:
            with self.assertRaises(kind) as caught:
                function(*args)
            self.assertIn(message, str(caught.exception), (function, args))
        self.assertEqual(library_calls(), before)


class DescriptionTest(BenchTest):
    """The DUT's description is read once and again only when it may have changed."""

    def reads(self):
        return qmsim.call_count('QmBoardReadDUTInfo')

    def test_read_once_then_after_select_hot_plug_and_board_calls(self):
        for _ in range(3):
            self.dut.capture(64)
        self.assertEqual(self.reads(), 1)
        self.dut.select('QMADC-1610')
        self.assertEqual((self.dut.bit_width, self.reads()), (16, 2))
        qmsim.plug_dut(0, False)
        qmsim.plug_dut(0, True)
        self.assertTrue(qmsim.wait_delivered())
        self.dut.capture(64)
        self.assertEqual(self.reads(), 3)
        qmsim.fire_event(qm.QM_DLL_EVENT_MESSAGE_BOX,
                         message_box=(qm.QM_MESSAGE_BOX_ERROR, 'Cap', 'Msg', 1))
        self.assertTrue(qmsim.wait_delivered())
        self.dut.capture(64, config=2)  # channel-data selection changed: description kept
        self.assertEqual(self.reads(), 3)
        self.board.reset()
        self.dut.capture(64)
        self.assertEqual(self.reads(), 4)

    def test_another_receiver_is_kept_and_then_every_capture_reads(self):
        theirs = qm.Qm_Callback()
        self.board.close()
        qm.qm_set_custom_callback(theirs)
        try:
            with qmboard.open(0) as board:
                self.assertEqual(int(qm.cvar._qm_callback.this), int(theirs.this))
                board.dut(0).capture(64)
                board.dut(0).capture(64)
                self.assertEqual(self.reads(), 2)
                unsubscribe = qmboard.on_event(lambda event: None)  # takes the receiver
                unsubscribe()
                qm.qm_set_custom_callback(theirs)
            self.assertEqual(int(qm.cvar._qm_callback.this), int(theirs.this))
            qm.qm_set_custom_callback(None)
            # With the receiver free again, open boards take it up.
            self.board = qmboard.open(0)
            self.dut = self.board.dut(0)
            self.dut.capture(64)
            self.dut.capture(64)
            self.assertEqual(self.reads(), 3)
            self.assertIsNotNone(qm.cvar._qm_callback)
        finally:
            if qm.cvar._qm_callback is not None and int(qm.cvar._qm_callback.this) == int(
                    theirs.this):
                qm.qm_set_custom_callback(None)

    def test_a_description_that_changes_during_a_capture_is_not_used(self):
        status, record, version = qm.QmBoardReadDUTInfo(0, 0)
        # BitSize of the library's own first QmChannelData (offset 88).
        bit_size = ctypes.c_uint32.from_address(int(record.capture_configs.this) + 88)

        def change_width(event):
            # The library's description changes as a DUT that came back different would.
            if getattr(event, 'change', None) == 'dut_connect':
                bit_size.value = 12

        self.dut.capture(64)
        unsubscribe = qmboard.on_event(change_width)
        try:
            qmsim.fire_during('QmBoardReadCaptureData', qm.QM_DLL_EVENT_HW_CHANGE,
                              hw=(qm.QM_HW_CHANGE_DUT_CONNECT, 0, 0))
            with self.assertRaises(qmboard.QmError) as caught:
                self.dut.capture(64)
            self.assertIn('description changed (14 bits, 1 channel(s) before; 12, 1 now)',
                          str(caught.exception))
            self.assertEqual(self.dut.bit_width, 12)
        finally:
            bit_size.value = 14
            unsubscribe()


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

    def test_the_dac_samples_live_while_the_library_may_source_them(self):
        def downloaded():
            """The live command record and sample array of the download."""
            gc.collect()
            cmds = [o for o in gc.get_objects()
                    if isinstance(o, qm.Qm_Dac_Cmd_Data) and int(o.this) == address]
            data = int(cmds[0].data) if cmds else None
            arrays = [o for o in gc.get_objects()
                      if isinstance(o, qm.Qm_Word_Array) and int(o.this) == data]
            return cmds, arrays

        self.board.dut(0).dac_download([1, 2, 3, 4] * 4, 10e6)
        address = qmsim.last_word('QmDacExecCommand', 3)
        cmds, arrays = downloaded()
        self.assertEqual((len(cmds), list(arrays[0].read())), (1, [1, 2, 3, 4] * 4))
        del cmds, arrays
        self.board.dut(0).dac_start()
        self.board.dut(0).dac_stop()
        self.assertEqual([len(found) for found in downloaded()], [1, 1])
        self.board.close()
        self.assertEqual(downloaded(), ([], []))
        self.board = qmboard.open(0)


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

        def leave(event):
            raise SystemExit(3)

        stop_failing = qmboard.on_event(fail)
        stop_leaving = qmboard.on_event(leave)
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
        self.assertEqual(errors.count('Exception in event handler'), 4)
        self.assertIn('ValueError: handler trouble', errors)
        self.assertIn('SystemExit: 3', errors)
        self.assertEqual([(e.kind, e.change, e.board, e.dut) for e in seen[:1]],
                         [('hw_change', 'dut_disconnect', 0, 0)])
        self.assertEqual((seen[1].box, seen[1].caption, seen[1].message, seen[1].enabled),
                         ('error', 'Cap', 'Msg', True))
        self.assertNotIn(threading.current_thread(), threads)
        self.assertEqual(qmsim.receiver_result_sum(), 0)
        stop_failing()
        stop_leaving()
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
