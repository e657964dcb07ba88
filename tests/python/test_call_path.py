"""The call path: module attributes, constants, the conversion rules and the
diagnostics wrappers, checked against what the stand-in library received."""
import os
import unittest

import qmsim
import _qm_python as qm

HERE = os.path.dirname(os.path.abspath(__file__))

CONSTANTS = [
    ('MAX_BOARD', 16), ('MAX_DUT', 1), ('PUBLIC_QM_MAX_NUM_SIMULTANEOUS_CAPTURES', 2),
    ('PUBLIC_QM_ACQUISITION_MAX_SAMPLES', 8), ('PUBLIC_QM_MAX_CONFIGURATIONS', 32),
    ('QM5_FPGA_REGISTER_ADDR_BASE', 0xD000), ('QM5_FPGA_REGISTER_ADDR_SIZE', 0x1000),
    ('AUXBUS_DATA_ADDR_BASE', 0xCF00), ('AUXBUS_DATA_ADDR_SIZE', 0x100),
    ('QM_MAX_NUM_SIMULTANEOUS_DAC_CHANNELS_PROGRAMMED', 4),
    ('QM_RETURN_OK', 0), ('QM_RETURN_ERROR_NON_FATAL', 1), ('QM_RETURN_ERROR', 2),
    ('QM_DUT_EEPROM_STANDARD', 0), ('QM_DUT_EEPROM_FMC', 1),
    ('QM_DAC_CMD_DOWNLOAD_DATA', 0), ('QM_DAC_CMD_START_SOURCING', 1),
    ('QM_DAC_CMD_STOP_SOURCING', 2),
]
# Enumerations counting up from a base, names in order.
ENUMS = [
    (0x1000000, 'QmBinaryFormat QmOffsetBinaryFormat QmTwosComplementFormat'),
    (0x1000000, 'QmNumericEdit QmSpinEdit QmComboBox QmButton QmText QmCheckbox '
                'QmRadioButton QmSlider QmLevel1Register'),
    (0x1000000, 'QmHex QmInteger QmFloat'),
    (0x1000000, 'QM_BIT_SIZE_8 QM_BIT_SIZE_16'),
    (0x1000000, 'QM_REGISTER_TYPE_READ_ONLY QM_REGISTER_TYPE_READ_WRITE '
                'QM_REGISTER_TYPE_WRITE_ONLY'),
    (0x1000000, 'QM_REGISTER_ACTION_READ QM_REGISTER_ACTION_WRITE'),
    (0x1000000, 'QM_HW_CHANGE_BOARD_DISCONNECT QM_HW_CHANGE_BOARD_CONNECT '
                'QM_HW_CHANGE_DUT_DISCONNECT QM_HW_CHANGE_DUT_CONNECT '
                'QM_HW_CHANGE_POWER_ON QM_HW_CHANGE_POWER_OFF'),
    (0x1000000, 'QM_MESSAGE_BOX_WARNING QM_MESSAGE_BOX_ERROR QM_MESSAGE_BOX_INFORMATION '
                'QM_MESSAGE_BOX_CONFIRMATION'),
    (0x1000000, 'QM_DLL_EVENT_HW_CHANGE QM_DLL_EVENT_MESSAGE_BOX '
                'QM_DLL_EVENT_DUT_EEPROM_RELOADED QM_DLL_EVENT_CYPRESS_EEPROM_RELOADED '
                'QM_DLL_EVENT_SIMULATOR_LOADED QM_DLL_EVENT_CHANNEL_DATA_SELECTION_CHANGED'),
    (0x1000000, 'QM_DEBUG_ACCESS_MEMORY_MAPPED QM_DEBUG_ACCESS_SPI '
                'QM_DEBUG_ACCESS_PORT_FPGA_REGISTER QM_DEBUG_ACCESS_I2C '
                'QM_DEBUG_ACCESS_CYPRESS_SFR QM_DEBUG_ACCESS_PRIVATE QM_DEBUG_ACCESS_MAX'),
    (0, 'QM_DEBUG_MODULE_GEN QM_DEBUG_MODULE_CMD QM_DEBUG_MODULE_CMD_API '
        'QM_DEBUG_MODULE_INTERNAL QM_DEBUG_MODULE_SEARCH QM_DEBUG_MODULE_USB '
        'QM_DEBUG_MODULE_KESTREL QM_DEBUG_MODULE_EEPROM QM_DEBUG_MODULE_CLOCK '
        'QM_DEBUG_MODULE_CAPTURE QM_DEBUG_MODULE_LOAD_FPGA QM_DEBUG_MODULE_BOARD_STATE '
        'QM_DEBUG_MODULE_BOARD_STATE_POLLING QM_DEBUG_MODULE_FILE QM_DEBUG_MODULE_TEST_MODE '
        'QM_DEBUG_MODULE_SCRIPT_EP QM_DEBUG_MODULE_SCRIPT_EP_FACTORY QM_DEBUG_MODULE_SCRIPT '
        'QM_DEBUG_MODULE_CB QM_DEBUG_MODULE_XML_LIB QM_DEBUG_MODULE_UTILS '
        'QM_DEBUG_MODULE_MAX'),
]


def all_constants():
    pairs = list(CONSTANTS)
    for base, names in ENUMS:
        pairs += [(n, base + i) for i, n in enumerate(names.split())]
    return pairs


def listed_functions():
    with open(os.path.join(HERE, os.pardir, 'data', 'method_table.txt')) as f:
        return [l.strip() for l in f if l.strip() and not l.startswith('#')]


class ModuleAttributes(unittest.TestCase):
    def test_constants_are_plain_ints_with_their_values(self):
        pairs = all_constants()
        self.assertEqual(len(pairs), 85)
        for name, value in pairs:
            got = getattr(qm, name)
            self.assertIs(type(got), int, name)
            self.assertEqual(got, value, name)

    def test_dictionary_holds_functions_cvar_and_constants_only(self):
        interpreter = set(['__name__', '__doc__', '__file__', '__package__'])
        names = set(dir(qm)) - interpreter
        constants = set(n for n, _ in all_constants())
        functions = names - constants - set(['cvar'])
        self.assertIn('cvar', names)
        self.assertTrue(constants <= names)
        # Every function is listed; the list is the whole table once complete.
        self.assertEqual(functions - set(listed_functions()), set())
        for name in functions:
            self.assertTrue(callable(getattr(qm, name)), name)
            self.assertIsNone(getattr(qm, name).__doc__, name)
        self.assertIsNone(qm.__doc__)

    def test_instance_method_new_always_fails(self):
        for arg in (None, 1, object()):
            self.assertRaises(SystemError, qm.SWIG_PyInstanceMethod_New, arg)
        self.assertRaises(TypeError, qm.SWIG_PyInstanceMethod_New)
        self.assertRaises(TypeError, qm.SWIG_PyInstanceMethod_New, 1, 2)


class IntSub(int):
    pass


class LongSub(long):
    pass


class FloatSub(float):
    pass


class StrSub(str):
    pass


class Conversions(unittest.TestCase):
    """The unsigned, int and string rules, seen from the library's side."""

    def setUp(self):
        qmsim.reset()

    def modify_all(self, value):
        return qm.QmDebugModuleModifyAll(value)

    def assertRaisesMessage(self, exc, message, fn, *args):
        with self.assertRaises(exc) as cm:
            fn(*args)
        self.assertEqual(str(cm.exception), message)

    def test_unsigned_rule_accepts(self):
        for value, passed in [(0, 0), (7, 7), (True, 1), (False, 0), (IntSub(3), 3),
                              (4294967295L, 0xFFFFFFFF), (LongSub(5), 5), (0L, 0),
                              (2147483647, 0x7FFFFFFF)]:
            self.assertEqual(self.modify_all(value), 0)
            self.assertEqual(qmsim.last_word('QmDebugModuleModifyAll', 0), passed, repr(value))

    def test_unsigned_rule_overflow_versus_type_error(self):
        msg = "in method 'QmDebugModuleModifyAll', argument 1 of type 'QmBool'"
        self.assertRaisesMessage(OverflowError, msg, self.modify_all, -1)
        self.assertRaisesMessage(OverflowError, msg, self.modify_all, IntSub(-2))
        for bad in (2 ** 32, -1L, 1.0, FloatSub(1.0), '1', u'1', None, [], object()):
            self.assertRaisesMessage(TypeError, msg, self.modify_all, bad)
        self.assertEqual(qmsim.call_count('QmDebugModuleModifyAll'), 0)

    def test_int_rule_for_enumerations(self):
        qm.QmDebugModuleModify(-5, 1)  # no range check: the library judges it
        self.assertEqual(qmsim.last_word('QmDebugModuleModify', 0), 0xFFFFFFFB)
        qm.QmDebugModuleModify(2 ** 31 - 1, 0)
        self.assertEqual(qmsim.last_word('QmDebugModuleModify', 0), 0x7FFFFFFF)
        qm.QmDebugModuleModify(-2 ** 31, 0)
        self.assertEqual(qmsim.last_word('QmDebugModuleModify', 0), 0x80000000)
        qm.QmDebugModuleModify(LongSub(3), True)
        self.assertEqual(qmsim.last_word('QmDebugModuleModify', 0), 3)
        self.assertEqual(qmsim.last_word('QmDebugModuleModify', 1), 1)
        msg1 = "in method 'QmDebugModuleModify', argument 1 of type 'Qm_Debug_Module'"
        for bad in (2 ** 31, -2 ** 31 - 1, 1.5, 'x', None):
            self.assertRaisesMessage(TypeError, msg1, qm.QmDebugModuleModify, bad, 1)

    def test_first_bad_argument_wins(self):
        msg1 = "in method 'QmDebugModuleModify', argument 1 of type 'Qm_Debug_Module'"
        msg2 = "in method 'QmDebugModuleModify', argument 2 of type 'QmBool'"
        self.assertRaisesMessage(TypeError, msg1, qm.QmDebugModuleModify, 1.5, -1)
        self.assertRaisesMessage(OverflowError, msg2, qm.QmDebugModuleModify, 1, -1)
        self.assertRaisesMessage(TypeError, msg2, qm.QmDebugModuleModify, 1, 'on')
        self.assertEqual(qmsim.call_count('QmDebugModuleModify'), 0)

    def test_wrong_argument_counts_never_reach_the_library(self):
        for fn, args in [(qm.QmDebugModuleModify, (1,)), (qm.QmDebugModuleModify, (1, 2, 3)),
                         (qm.QmDebugModuleModifyAll, ()),
                         (qm.QmDebugModuleSetOutputFilename, ('a', 'b')),
                         (qm.QmChangeImageDirectory, ())]:
            self.assertRaises(TypeError, fn, *args)
        self.assertRaises(TypeError, qm.QmDebugModuleModifyAll, enable=1)
        for name in ('QmDebugModuleModify', 'QmDebugModuleModifyAll',
                     'QmDebugModuleSetOutputFilename', 'QmChangeImageDirectory'):
            self.assertEqual(qmsim.call_count(name), 0, name)

    def test_parser_names_the_function(self):
        with self.assertRaises(TypeError) as cm:
            qm.QmDebugModuleModify(1)
        self.assertIn('QmDebugModuleModify', str(cm.exception))

    def test_string_rule(self):
        for fn, name in [(qm.QmChangeImageDirectory, 'QmChangeImageDirectory'),
                         (qm.QmDebugModuleSetOutputFilename, 'QmDebugModuleSetOutputFilename')]:
            fn('images/dir')
            self.assertEqual(qmsim.last_text(name, 0), 'images/dir')
            fn('ab\0cd')
            self.assertEqual(qmsim.last_text(name, 0), 'ab')
            fn(StrSub('sub'))
            self.assertEqual(qmsim.last_text(name, 0), 'sub')
            fn('')
            self.assertEqual(qmsim.last_text(name, 0), '')
            self.assertFalse(qmsim.last_is_null(name, 0))
            fn(None)
            self.assertTrue(qmsim.last_is_null(name, 0))
            msg = "in method '%s', argument 1 of type 'QmString'" % name
            for bad in (u'dir', 5, 1.0, ['x']):
                self.assertRaisesMessage(TypeError, msg, fn, bad)

    def test_library_keeps_what_it_was_told(self):
        qm.QmDebugModuleModify(qm.QM_DEBUG_MODULE_CAPTURE, 1)
        self.assertTrue(qmsim.debug_enabled(qm.QM_DEBUG_MODULE_CAPTURE))
        qm.QmDebugModuleModifyAll(0)
        self.assertFalse(qmsim.debug_enabled(qm.QM_DEBUG_MODULE_CAPTURE))
        qm.QmDebugModuleSetOutputFilename('trace.log')
        self.assertEqual(qmsim.debug_output_filename(), 'trace.log')
        qm.QmChangeImageDirectory('/images')
        self.assertEqual(qmsim.image_directory(), '/images')


class Results(unittest.TestCase):
    def tearDown(self):
        qmsim.clear_forced()

    def test_status_passes_through_as_int_or_long(self):
        for status, kind in [(0, int), (1, int), (2, int), (0x7FFFFFFF, int),
                             (0x80000000, long), (0xFFFFFFFF, long)]:
            qmsim.force_status('QmDebugModuleModifyAll', status)
            got = qm.QmDebugModuleModifyAll(1)
            self.assertEqual(got, status)
            self.assertIs(type(got), kind)
        qmsim.force_status('QmChangeImageDirectory', 2)
        self.assertEqual(qm.QmChangeImageDirectory('x'), qm.QM_RETURN_ERROR)


if __name__ == '__main__':
    unittest.main()
