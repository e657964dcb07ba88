"""The library-function wrappers, driven from one table: what the library
received, the result's shape and types, argument messages and counts."""
import ctypes
import unittest

import qmsim
import _qm_python as qm

W, S, DM, DC, AM = 'QmWord', 'QmString', 'Qm_Debug_Module', 'Qm_Dac_Cmd', 'Qm_Debug_Access_Method'
STREAM, WORDS, SETUP, DAC = 'QmStream', 'QmWord *', 'QmCaptureSetup *', 'Qm_Dac_Cmd_Data *'

# name: (declared argument types, result shape). Shapes: 'status' a bare
# status; 'list:word' / 'list:float' [status, x]; 'open' ([status, word],
# version); tuples name their items after the status.
CALLS = {
    'QmDebugModuleModify': ([DM, 'QmBool'], 'status'),
    'QmDebugModuleModifyAll': (['QmBool'], 'status'),
    'QmDebugModuleSetOutputFilename': ([S], 'status'),
    'QmChangeImageDirectory': ([S], 'status'),
    'QmBoardEnum': ([], ('names', 'version')),
    'QmBoardOpen': ([W, S], 'open'),
    'QmBoardDUTEnum': ([W], ('names',)),
    'QmBoardLoadFPGA': ([W, W, S], ('version',)),
    'QmBoardReadDUTInfo': ([W, W], ('dutinfo', 'version')),
    'QmBoardReset': ([W], 'status'),
    'QmBoardClose': ([W], 'status'),
    'QmShutdown': ([], 'status'),
    'QmBoardWriteCaptureStart': ([W, W, SETUP], 'status'),
    'QmBoardReadCaptureData': ([W, W, WORDS, W], 'list:word'),
    'QmBoardWriteCaptureEnd': ([W, W], 'status'),
    'QmDacExecCommand': ([W, W, DC, DAC], 'status'),
    'QmBoardReadCypressEEPROM': ([W, W, STREAM, W], 'status'),
    'QmBoardWriteCypressEEPROM': ([W, W, STREAM, W], 'status'),
    'QmBoardReadDUTEEPROM': ([W, W, STREAM, W], 'status'),
    'QmBoardWriteDUTEEPROM': ([W, W, STREAM, W], 'status'),
    'QmBoardCheckFirmwareActive': ([W], 'status'),
    'QmBoardReadI2CDEVICE': ([W, W, W, STREAM, W, W], 'status'),
    'QmBoardWriteI2CDEVICE': ([W, W, W, STREAM, W, W, W], 'status'),
    'QmNewestHardwareRead': ([W, W, AM, W, W, W, W, W], 'list:word'),
    'QmNewestHardwareWrite': ([W, W, AM, W, W, W, W, W, W], 'status'),
    'QmBoardReadLastError': ([W], ('text',)),
    'QmGetSamplingFrequency': ([W, W, W], 'list:float'),
    'QmGetScriptVerions': ([W, W], ('version', 'version')),
    'QmGetSupportedDuts': ([W], ('text', 'text')),
    'QmSetDut': ([W, W, S], 'status'),
    'QmGetDutEepromType': ([W, W], ('eeprom',)),
}

DELETERS = {'Qm_Version_Number *': 'delete_QmVersionNumber', 'Qm_Dut_Info *': 'delete_QmDUTInfo'}


def _proxy_type():
    probe = qm.new_QmVersionNumber()
    kind = type(probe)
    qm.delete_QmVersionNumber(probe)
    return kind


PROXY_TYPE = _proxy_type()


def release(result):
    """Frees the record copies a wrapper returned (what a class layer's
    __swig_destroy__ would do)."""
    if isinstance(result, (list, tuple)):
        for item in result:
            release(item)
    elif type(result) is PROXY_TYPE and result.own():
        for pretty, deleter in DELETERS.items():
            if "'%s'" % pretty in repr(result):
                getattr(qm, deleter)(result)


class Buffers(object):
    """Valid pointer arguments, kept alive for the call."""

    def __init__(self):
        self.stream = qm.new_Qm_Stream(64)
        self.words = qm.new_Qm_Word_Array(64)
        self.setup = qm.new_QmCaptureSetup()
        self.dac = qm.new_Qm_Dac_Cmd_Data()
        self.strays = []

    def close(self):
        qm.delete_Qm_Stream(self.stream)
        qm.delete_Qm_Word_Array(self.words)
        qm.delete_QmCaptureSetup(self.setup)
        qm.delete_Qm_Dac_Cmd_Data(self.dac)
        for proxy in self.strays:
            qm.delete_QmVersionNumber(proxy)

    def wrong(self, declared):
        """A value of the wrong Python type for each declared argument type."""
        if declared in (STREAM, WORDS, SETUP, DAC):
            proxy = qm.new_QmVersionNumber()  # a proxy of another type
            self.strays.append(proxy)
            return proxy
        return 5 if declared == S else 1.5

    def value(self, declared, position):
        return {
            W: 0 if position == 0 else 3 + position,
            'QmBool': 1,
            S: 'text%d' % position,
            DM: 2, DC: 1, AM: qm.QM_DEBUG_ACCESS_PORT_FPGA_REGISTER,
            STREAM: qm.Qm_Stream_cast(self.stream),
            WORDS: qm.Qm_Word_Array_cast(self.words),
            SETUP: self.setup,
            DAC: self.dac,
        }[declared]

    def args(self, name):
        return [self.value(t, i) for i, t in enumerate(CALLS[name][0])]


class LibraryCallTable(unittest.TestCase):
    def setUp(self):
        qmsim.reset()
        self.buffers = Buffers()

    def tearDown(self):
        qmsim.clear_forced()
        self.buffers.close()

    def call(self, name, args=None):
        return getattr(qm, name)(*(self.buffers.args(name) if args is None else args))

    def check_shape(self, name, result, status):
        shape = CALLS[name][1]
        if shape == 'status':
            self.assertIn(type(result), (int, long))
            self.assertEqual(result, status)
            return
        if shape.startswith('list:') if isinstance(shape, str) else False:
            self.assertIs(type(result), list, name)
            self.assertEqual(len(result), 2)
            self.assertEqual(result[0], status)
            self.assertIs(type(result[1]), float if shape == 'list:float' else int)
            return
        if shape == 'open':
            self.assertIs(type(result), tuple)
            self.assertEqual(len(result), 2)
            self.assertIs(type(result[0]), list)
            self.assertEqual(result[0][0], status)
            self.check_item('version', result[1])
            return
        self.assertIs(type(result), tuple, name)
        self.assertEqual(len(result), 1 + len(shape), name)
        self.assertEqual(result[0], status)
        for item, value in zip(shape, result[1:]):
            self.check_item(item, value)

    def check_item(self, item, value):
        if item == 'names':
            self.assertIs(type(value), list)
            for n in value:
                self.assertIs(type(n), str)
        elif item in ('version', 'dutinfo'):
            self.assertIs(type(value), PROXY_TYPE)
            self.assertTrue(value.own())
            # Printed forms name the type by its last readable name.
            wanted = 'Qm_Version_Number *' if item == 'version' else 'Qm_Dut_Info *'
            self.assertIn("of type '%s'" % wanted, repr(value))

        elif item == 'text':
            self.assertIn(type(value), (str, type(None)))
        elif item == 'eeprom':
            self.assertIs(type(value), long)

    def test_every_wrapper_passes_its_arguments_and_shapes_its_result(self):
        for name in CALLS:
            args = self.buffers.args(name)
            result = self.call(name, args)
            status = result if isinstance(result, (int, long)) else (
                result[0][0] if CALLS[name][1] == 'open' else result[0])
            self.check_shape(name, result, status)
            release(result)
            self.assertEqual(qmsim.call_count(name), 1, name)
            for position, (declared, value) in enumerate(zip(CALLS[name][0], args)):
                if declared == S:
                    self.assertEqual(qmsim.last_text(name, position), value, name)
                elif declared in (STREAM, WORDS, SETUP, DAC):
                    self.assertEqual(qmsim.last_word(name, position), int(value), name)
                else:
                    self.assertEqual(qmsim.last_word(name, position), value & 0xFFFFFFFF,
                                     '%s argument %d' % (name, position + 1))

    def test_forced_statuses_pass_through_with_outputs_converted(self):
        for name in CALLS:
            for status in (qm.QM_RETURN_ERROR, 0xFFFFFFFF):
                qmsim.force_status(name, status)
                result = self.call(name)
                self.check_shape(name, result, status)
                release(result)
            qmsim.clear_forced()

    def test_argument_messages_first_bad_argument_wins(self):
        for name, (declared_types, _) in CALLS.items():
            for position, declared in enumerate(declared_types):
                args = self.buffers.args(name)
                args[position] = self.buffers.wrong(declared)
                if position + 1 < len(args):
                    args[position + 1] = self.buffers.wrong(declared_types[position + 1])
                with self.assertRaises(TypeError) as cm:
                    self.call(name, args)
                self.assertEqual(str(cm.exception), "in method '%s', argument %d of type '%s'"
                                 % (name, position + 1, declared))
                if declared in (W, 'QmBool'):
                    args[position] = -1
                    with self.assertRaises(OverflowError) as cm:
                        self.call(name, args)
                    self.assertIn("argument %d of type '%s'" % (position + 1, declared),
                                  str(cm.exception))
            self.assertEqual(qmsim.call_count(name), 0, name)

    def test_wrong_argument_counts(self):
        for name, (declared_types, _) in CALLS.items():
            args = self.buffers.args(name)
            self.assertRaises(TypeError, self.call, name, args + [0])
            if args:
                self.assertRaises(TypeError, self.call, name, args[:-1])
            self.assertEqual(qmsim.call_count(name), 0, name)

    def test_none_pointers_reach_the_library_as_null(self):
        for name, (declared_types, _) in CALLS.items():
            for position, declared in enumerate(declared_types):
                if declared in (S, STREAM, WORDS, SETUP, DAC):
                    args = self.buffers.args(name)
                    args[position] = None
                    release(self.call(name, args))
                    self.assertTrue(qmsim.last_is_null(name, position), name)


class PointerArguments(unittest.TestCase):
    def setUp(self):
        qmsim.reset()

    def test_array_proxies_are_not_element_pointers(self):
        words = qm.new_Qm_Word_Array(4)
        with self.assertRaises(TypeError) as cm:
            qm.QmBoardReadCaptureData(0, 0, words, 4)
        self.assertEqual(str(cm.exception),
                         "in method 'QmBoardReadCaptureData', argument 3 of type 'QmWord *'")
        stream = qm.new_Qm_Stream(4)
        with self.assertRaises(TypeError) as cm:
            qm.QmBoardReadDUTEEPROM(0, 0, stream, 4)
        self.assertEqual(str(cm.exception),
                         "in method 'QmBoardReadDUTEEPROM', argument 3 of type 'QmStream'")
        dac = qm.new_Qm_Dac_Cmd_Data()
        with self.assertRaises(TypeError):
            qm.QmBoardWriteCaptureStart(0, 0, dac)
        qm.delete_Qm_Word_Array(words)
        qm.delete_Qm_Stream(stream)
        qm.delete_Qm_Dac_Cmd_Data(dac)

    def test_enumerations_are_not_range_checked(self):
        qm.QmDacExecCommand(0, 0, 7, None)
        self.assertEqual(qmsim.last_word('QmDacExecCommand', 2), 7)
        qm.QmNewestHardwareRead(0, 0, 0, 0, 0, 0, 0, 0)
        self.assertEqual(qmsim.last_word('QmNewestHardwareRead', 2), 0)
        with self.assertRaises(TypeError):
            qm.QmDacExecCommand(0, 0, 2 ** 31, None)


class Outputs(unittest.TestCase):
    def setUp(self):
        qmsim.reset()

    def tearDown(self):
        qmsim.clear_forced()

    def test_output_words_above_int_range_are_longs(self):
        for name, args, pick in [
                ('QmBoardOpen', (0, None), lambda r: r[0][1]),
                ('QmBoardReadCaptureData', (0, 0, None, 0), lambda r: r[1]),
                ('QmNewestHardwareRead', (0, 0, 0, 0, 0, 0, 0, 0), lambda r: r[1])]:
            qmsim.force_output_word(name, 0xFFFFFFFF)
            result = getattr(qm, name)(*args)
            value = pick(result)
            self.assertEqual(value, 4294967295L)
            self.assertIs(type(value), long)
            release(result)
            qmsim.force_output_word(name, 5)
            result = getattr(qm, name)(*args)
            self.assertIs(type(pick(result)), int)
            release(result)

    def test_null_texts_become_none_and_null_name_arrays_empty(self):
        qmsim.force_null_text('QmBoardReadLastError')
        self.assertIsNone(qm.QmBoardReadLastError(0)[1])
        qmsim.force_null_text('QmGetSupportedDuts')
        self.assertEqual(qm.QmGetSupportedDuts(0)[1:], (None, None))
        qmsim.force_null_text('QmBoardEnum')
        result = qm.QmBoardEnum()
        self.assertEqual(result[1], [])
        release(result)
        qmsim.force_null_text('QmBoardDUTEnum')
        self.assertEqual(qm.QmBoardDUTEnum(0)[1], [])

    def test_name_lists_are_copies_in_library_order(self):
        status, names, version = qm.QmBoardEnum()
        release(version)
        self.assertEqual(status, qm.QM_RETURN_OK)
        self.assertEqual(names, ['QM-EVAL-0', 'QM-EVAL-1'])
        qmsim.set_board_count(3)
        self.assertEqual(names, ['QM-EVAL-0', 'QM-EVAL-1'])
        result = qm.QmBoardEnum()
        self.assertEqual(len(result[1]), 3)
        release(result)

    def test_record_copies_are_fresh_and_independent(self):
        release(qm.QmBoardOpen(0, None))
        first = qm.QmBoardReadDUTInfo(0, 0)
        second = qm.QmBoardReadDUTInfo(0, 0)
        self.assertNotEqual(int(first[1]), int(second[1]))
        self.assertNotEqual(int(first[2]), int(second[2]))
        library_type = qm.QmDUTInfo_Type_get(second[1])
        self.assertEqual(ctypes.string_at(int(first[1]), 88), ctypes.string_at(int(second[1]), 88))
        release(first)
        qm.QmDUTInfo_Type_set(second[1], library_type + 1)
        self.assertEqual(qm.QmDUTInfo_Type_get(second[1]), library_type + 1)
        # The library's own record is untouched by changes to a copy.
        third = qm.QmBoardReadDUTInfo(0, 0)
        self.assertEqual(qm.QmDUTInfo_Type_get(third[1]), library_type)
        release([second, third])
        status, v1, v2 = qm.QmGetScriptVerions(0, 0)
        self.assertNotEqual(int(v1), int(v2))
        major = qm.QmVersionNumber_Major_get(v2)
        qm.delete_QmVersionNumber(v1)
        self.assertEqual(qm.QmVersionNumber_Major_get(v2), major)
        release(v2)

    def test_last_error_text_is_a_copy(self):
        qm.QmBoardReset(99)  # an unknown board fails and sets a text
        status, first = qm.QmBoardReadLastError(99)
        self.assertIs(type(first), str)
        self.assertTrue(first)
        kept = first[:]
        release(qm.QmBoardLoadFPGA(0, 0, ''))  # another failure, another text
        qm.QmBoardReadLastError(0)
        self.assertEqual(first, kept)

    def test_eeprom_kind_is_a_long(self):
        release([qm.QmBoardOpen(0, None), qm.QmBoardOpen(1, None)])
        kinds = [qm.QmGetDutEepromType(b, 0)[1] for b in (0, 1)]
        self.assertEqual(kinds, [qm.QM_DUT_EEPROM_STANDARD, qm.QM_DUT_EEPROM_FMC])
        for k in kinds:
            self.assertIs(type(k), long)


class LockRelease(unittest.TestCase):
    """Other Python threads run while a library call is in progress."""

    def test_other_threads_run_during_a_library_call(self):
        import threading
        if not hasattr(qmsim, 'set_call_delay'):
            self.skipTest('stand-in has no call delay')
        seen = []
        done = threading.Event()

        def watcher():
            while not done.is_set():
                if qmsim.in_call('QmBoardReset'):
                    seen.append(True)
                    return

        qmsim.set_call_delay('QmBoardReset', 300)
        t = threading.Thread(target=watcher)
        t.start()
        try:
            qm.QmBoardReset(0)
        finally:
            done.set()
            t.join(10)
            qmsim.set_call_delay('QmBoardReset', 0)
        self.assertEqual(seen, [True])


if __name__ == '__main__':
    unittest.main()
