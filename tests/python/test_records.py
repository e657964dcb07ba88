"""Record families, walked field by field from one expected-layout table:
offsets and widths seen through the raw bytes of the record, each kind's
conversions, results and exact messages, and the method-table order."""
import ctypes
import struct
import unittest

import _qm_python as qm
from record_fixture import MadeRecords
import qmsim

# ---- the expected layouts, as the library lays the records out ----
# (field, offset, kind); kinds:
#   ('word', declared) ('enum', declared) ('double',) ('string',)
#   ('words', count) ('pointer', declared, disowns) ('record', inner)
WORD, BOOL = ('word', 'QmWord'), ('word', 'QmBool')
DOUBLE, STRING = ('double',), ('string',)


def ENUM(name):
    return ('enum', name)


def WORDS(count):
    return ('words', count)


def POINTER(declared, disowns):
    return ('pointer', declared, disowns)


def RECORD(inner):
    return ('record', inner)


LAYOUTS = [
    ('QmVersionNumber', 16, [
        ('Major', 0, WORD), ('Minor', 4, WORD), ('Release', 8, WORD), ('Build', 12, WORD)]),
    ('Qm_Dac_Download_Configuration', 36, [
        ('name', 0, STRING), ('bit_width', 4, WORD), ('min_freq', 8, DOUBLE),
        ('max_freq', 16, DOUBLE), ('min_transfer_size', 24, WORD),
        ('max_transfer_size', 28, WORD), ('max_num_channels', 32, WORD)]),
    ('Qm_Dac_Cmd_Data', 48, [
        ('configuration', 0, WORD), ('freq', 4, DOUBLE), ('data_format', 12, ENUM('QmDataFormat')),
        ('transfer_size', 16, WORD), ('num_channels', 20, WORD), ('channel', 24, WORDS(4)),
        ('repeat', 40, BOOL), ('data', 44, POINTER('QmWord *', True))]),
    ('QmChannelData', 104, [
        ('Name', 0, STRING), ('__u1__', 4, WORD), ('TransferMinSize', 8, WORD),
        ('TransferMaxSize', 12, WORD), ('num_channels_returned_to_user', 16, WORD),
        ('__u2__', 20, WORD), ('__u3__', 24, WORD), ('__u4__', 28, WORDS(2)),
        ('__u5__', 36, WORD), ('__u6__', 40, WORD), ('__u7__', 44, WORD), ('__u8__', 48, WORD),
        ('__u9__', 52, WORDS(8)), ('default_data_format', 84, ENUM('QmDataFormat')),
        ('BitSize', 88, WORD), ('__u10__', 92, DOUBLE), ('sampling_freq_changes', 100, BOOL)]),
    ('QmDUTInfo', 88, [
        ('__u1__', 0, DOUBLE), ('__u2__', 8, DOUBLE), ('Type', 16, WORD), ('__u3__', 20, WORD),
        ('HistogramInfo', 24, WORD), ('capture_config_count', 28, WORD),
        ('capture_configs', 32, POINTER('QmChannelData *', True)), ('Revision', 36, STRING),
        ('__u4__', 40, WORD), ('__u5__', 44, WORD), ('__u6__', 48, WORDS(8)),
        ('dac_config_count', 80, WORD),
        ('dac_configs', 84, POINTER('Qm_Dac_Download_Configuration *', True))]),
    ('QmCaptureSetup', 52, [
        ('__u1__', 0, DOUBLE), ('TransferSize', 8, WORD), ('ChannelDataIndex', 12, WORD),
        ('HistogramEnable', 16, WORD), ('HistogramMaxBin', 20, WORD),
        ('DataFormat', 24, ENUM('QmDataFormat')), ('__u2__', 28, WORD), ('__u3__', 32, WORD),
        ('__u4__', 36, WORD), ('__u5__', 40, WORD), ('__u6__', 44, WORD),
        ('num_acqs_per_strm', 48, WORD)]),
    ('Qm_Gui_Tab', 12, [('caption', 0, STRING), ('tags', 4, STRING), ('level', 8, WORD)]),
    ('QmNumericEditDefinition', 52, [
        ('Min', 0, DOUBLE), ('Max', 8, DOUBLE), ('Value', 16, DOUBLE), ('DecimalPlaces', 24, WORD),
        ('Type', 28, ENUM('QmNumValueType')), ('Caption', 32, STRING), ('Hint', 36, STRING),
        ('Units', 40, STRING), ('Highlighted', 44, BOOL), ('Enabled', 48, BOOL)]),
    ('QmSpinEditDefinition', 60, [
        ('Min', 0, DOUBLE), ('Max', 8, DOUBLE), ('Value', 16, DOUBLE), ('Increment', 24, DOUBLE),
        ('DecimalPlaces', 32, WORD), ('Type', 36, ENUM('QmNumValueType')),
        ('Caption', 40, STRING), ('Hint', 44, STRING), ('Units', 48, STRING),
        ('Highlighted', 52, BOOL), ('Enabled', 56, BOOL)]),
    ('QmComboBoxDefinition', 36, [
        ('ItemCount', 0, WORD), ('ItemList', 4, POINTER('char **', False)),
        ('Values', 8, POINTER('QmWord *', True)), ('ItemSelected', 12, WORD),
        ('Caption', 16, STRING), ('Hint', 20, STRING), ('Units', 24, STRING),
        ('Highlighted', 28, BOOL), ('Enabled', 32, BOOL)]),
    ('QmButtonDefinition', 12, [('Caption', 0, STRING), ('Hint', 4, STRING), ('Enabled', 8, BOOL)]),
    ('QmTextDefinition', 8, [('Text', 0, STRING), ('Enabled', 4, BOOL)]),
    ('QmCheckBoxDefinition', 20, [
        ('Caption', 0, STRING), ('Hint', 4, STRING), ('Checked', 8, BOOL), ('Enabled', 12, BOOL),
        ('Highlighted', 16, BOOL)]),
    ('QmRadioButtonDefinition', 24, [
        ('Caption', 0, STRING), ('Hint', 4, STRING), ('Checked', 8, BOOL),
        ('GroupNumber', 12, WORD), ('Enabled', 16, BOOL), ('Highlighted', 20, BOOL)]),
    ('QmSliderDefinition', 32, [
        ('Min', 0, WORD), ('Max', 4, WORD), ('Value', 8, WORD), ('Width', 12, WORD),
        ('Units', 16, STRING), ('Caption', 20, STRING), ('Hint', 24, STRING),
        ('Enabled', 28, BOOL)]),
    ('QmLevel1RegisterDefinition', 28, [
        ('Address', 0, WORD), ('Hint', 4, STRING), ('Value', 8, WORD),
        ('DataWidth', 12, ENUM('QmBitSize')), ('AddressWidth', 16, ENUM('QmBitSize')),
        ('RegisterType', 20, ENUM('QmRegisterType')), ('Action', 24, ENUM('QmRegisterAction'))]),
    ('QmControlDefinition', 64, [('Type', 0, ENUM('QmRegisterControl'))]),
    ('Qm_Hw_Change_Param', 12, [
        ('id', 0, ENUM('Qm_Hw_Change_Id')), ('board_index', 4, WORD), ('dut_index', 8, WORD)]),
    ('Qm_Message_Box_Param', 16, [
        ('id', 0, ENUM('Qm_Mesage_Box_Id')), ('Caption', 4, STRING), ('Message', 8, STRING),
        ('Enabled', 12, BOOL)]),
    ('Qm_Channel_Data_Selection_Changed_Params', 12, [
        ('board_index', 0, WORD), ('dut_index', 4, WORD), ('channel_data_index', 8, WORD)]),
    ('Qm_Dll_Event_Param_Union', 16, [
        ('hw_change', 0, RECORD('Qm_Hw_Change_Param')),
        ('message_box', 0, RECORD('Qm_Message_Box_Param')),
        ('channel_data_selection_changed', 0, RECORD('Qm_Channel_Data_Selection_Changed_Params'))]),
    ('Qm_Dll_Event_Param', 20, [
        ('id', 0, ENUM('Qm_Dll_Event_Id')), ('param', 4, RECORD('Qm_Dll_Event_Param_Union'))]),
    ('Qm_Dll_Data_Param', 20, [
        ('id', 0, ENUM('Qm_Dll_Event_Id')), ('param', 4, RECORD('Qm_Dll_Event_Param_Union'))]),
]
SIZES = {name: size for name, size, _ in LAYOUTS}
# Records printed under their alias (the last of the readable names).
ALIASES = {'QmVersionNumber': 'Qm_Version_Number', 'QmChannelData': 'Qm_Capture_Configuration',
           'QmDUTInfo': 'Qm_Dut_Info', 'QmCaptureSetup': 'QmCaptureSetup'}
ARRAYS = ['Qm_Capture_Configuration_Array', 'Qm_Word_Array', 'Qm_Stream']


def width(kind):
    if kind[0] == 'double':
        return 8
    if kind[0] == 'words':
        return 4 * kind[1]
    if kind[0] == 'record':
        return SIZES[kind[1]]
    return 4


def declared(kind):
    return {'word': lambda: kind[1], 'enum': lambda: kind[1], 'double': lambda: 'QmDouble',
            'string': lambda: 'QmString', 'words': lambda: 'QmWord [%d]' % kind[1],
            'pointer': lambda: kind[1], 'record': lambda: kind[1] + ' *'}[kind[0]]()


def raw(proxy, size):
    return ctypes.string_at(int(proxy), size)


def poke(proxy, offset, data):
    ctypes.memmove(int(proxy) + offset, data, len(data))


def proxy_type(proxy):
    """The pretty type name a bare proxy prints."""
    return repr(proxy).split("'")[1]


def table_order():
    """Module functions in method-table order: each builtin function points
    at its row of the table (PyCFunctionObject.m_ml follows the header)."""
    header = object.__basicsize__
    rows = []
    for name in dir(qm):
        f = getattr(qm, name)
        if type(f) is type(len):
            rows.append((ctypes.c_void_p.from_address(id(f) + header).value, name))
    return [name for _, name in sorted(rows)]


class Fixture(MadeRecords):
    delete_all = True


class Families(Fixture):
    def test_method_table_order_of_records_and_arrays(self):
        expected = []
        for record, _, fields in LAYOUTS:
            for field, _, _ in fields:
                expected += ['%s_%s_set' % (record, field), '%s_%s_get' % (record, field)]
            expected += ['new_' + record, 'delete_' + record, record + '_swigregister']
        self.assertEqual(len(expected), 355)
        arrays = []
        for array in ARRAYS:
            arrays += [p % array for p in ('new_%s', 'delete_%s', '%s___getitem__',
                                           '%s___setitem__', '%s_cast', '%s_frompointer',
                                           '%s_swigregister')]
        order = table_order()
        start = order.index('new_Qm_Callback') + 5  # the callback family comes first
        self.assertEqual(order[start:start + 355], expected)
        self.assertEqual(order[-21:], arrays)

    def test_constructors_make_zero_filled_owned_bare_records(self):
        for record, size, _ in LAYOUTS:
            proxy = self.new(record)
            self.assertEqual(type(proxy).__name__, 'SwigPyObject')
            self.assertTrue(proxy.own())
            self.assertEqual(raw(proxy, size), '\0' * size, record)
            self.assertEqual(proxy_type(proxy), ALIASES.get(record, record) + ' *')

    def test_destructors(self):
        for record, size, _ in LAYOUTS:
            delete = getattr(qm, 'delete_' + record)
            self.assertIsNone(delete(None))
            other = 'QmChannelData' if record == 'QmVersionNumber' else 'QmVersionNumber'
            self.raises(TypeError, "in method 'delete_%s', argument 1 of type '%s *'" % (record, record),
                        delete, self.new(other))
            proxy = getattr(qm, 'new_' + record)()
            self.assertIsNone(delete(proxy))
            self.assertFalse(proxy.own())
            self.raises(ValueError, "cannot free through a proxy that does not own its block in "
                        "method 'delete_%s', argument 1 of type '%s *'" % (record, record),
                        delete, proxy)
            self.raises(TypeError, 'delete_%s() takes exactly 1 argument (0 given)' % record, delete)

    def test_parse_formats_name_the_function(self):
        self.raises(TypeError, 'new_QmDUTInfo() takes exactly 0 arguments (1 given)', qm.new_QmDUTInfo, 1)
        self.raises(TypeError, 'QmDUTInfo_Type_set() takes exactly 2 arguments (1 given)',
                    qm.QmDUTInfo_Type_set, None)
        self.raises(TypeError, 'QmDUTInfo_Type_get() takes exactly 1 argument (2 given)',
                    qm.QmDUTInfo_Type_get, None, None)


class EveryField(Fixture):
    """One walk over every field of every record; each kind checked its way."""

    def foreign(self, record):
        return self.new('QmChannelData' if record == 'QmVersionNumber' else 'QmVersionNumber')

    def test_every_field(self):
        count = 0
        for record, size, fields in LAYOUTS:
            for field, offset, kind in fields:
                count += 1
                self.check_field(record, size, field, offset, kind)
        self.assertEqual(count, 143)

    def check_field(self, record, size, field, offset, kind):
        name = '%s_%s' % (record, field)
        setter, getter = getattr(qm, name + '_set'), getattr(qm, name + '_get')
        where = '%s.%s' % (record, field)
        arg1_set = "in method '%s_set', argument 1 of type '%s *'" % (name, record)
        arg1_get = "in method '%s_get', argument 1 of type '%s *'" % (name, record)
        arg2 = "in method '%s_set', argument 2 of type '%s'" % (name, declared(kind))
        r = self.new(record)
        # Argument 1: another record type is a type error; nothing changes.
        self.raises(TypeError, arg1_set, setter, self.foreign(record), 0)
        self.raises(TypeError, arg1_get, getter, self.foreign(record))
        self.raises(TypeError, arg1_get, getter, 5)
        # Fill the record with a pattern so untouched bytes can be told apart.
        pattern = ''.join(chr(0x40 + i % 32) for i in range(size))
        poke(r, 0, pattern)
        w = width(kind)
        getattr(self, 'check_' + kind[0])(r, setter, getter, kind, arg2, arg1_set, arg1_get,
                                          field, offset, w)
        after = raw(r, size)
        # Only the field's own bytes ever change.
        self.assertEqual(after[:offset] + after[offset + w:], pattern[:offset] + pattern[offset + w:],
                         where)
        poke(r, 0, '\0' * size)

    def field_bytes(self, r, offset, w):
        return ctypes.string_at(int(r) + offset, w)

    def check_word(self, r, setter, getter, kind, arg2, arg1_set, arg1_get, field, offset, w):
        setter(r, 0x12345678)
        self.assertEqual(self.field_bytes(r, offset, 4), struct.pack('<I', 0x12345678))
        self.assertIs(type(getter(r)), int)
        setter(r, 0xFFFFFFFF)
        self.assertEqual(getter(r), 0xFFFFFFFF)
        self.assertIs(type(getter(r)), long)
        setter(r, 5L)
        self.assertIs(type(getter(r)), int)
        setter(r, True)
        self.assertEqual(getter(r), 1)
        self.raises(OverflowError, arg2, setter, r, -1)
        for bad in (1 << 32, -1L, 1.0, '1', None):
            self.raises(TypeError, arg2, setter, r, bad)
        self.assertEqual(getter(r), 1)
        self.assertIsNone(setter(None, 7))  # a null record stores nothing
        self.raises(ValueError, arg1_get, getter, None)

    def check_enum(self, r, setter, getter, kind, arg2, arg1_set, arg1_get, field, offset, w):
        setter(r, 0x1000002)
        self.assertEqual(self.field_bytes(r, offset, 4), struct.pack('<i', 0x1000002))
        setter(r, -5)
        self.assertEqual(getter(r), -5)
        setter(r, 7L)
        self.assertEqual(getter(r), 7)
        self.assertIs(type(getter(r)), int)
        for bad in (1 << 31, -(1 << 31) - 1, 1.5, 'x', None):
            self.raises(TypeError, arg2, setter, r, bad)
        self.assertEqual(getter(r), 7)
        self.assertIsNone(setter(None, 7))
        self.raises(ValueError, arg1_get, getter, None)

    def check_double(self, r, setter, getter, kind, arg2, arg1_set, arg1_get, field, offset, w):
        setter(r, 1.5)
        self.assertEqual(self.field_bytes(r, offset, 8), struct.pack('<d', 1.5))
        self.assertEqual(getter(r), 1.5)
        setter(r, 3)
        self.assertIs(type(getter(r)), float)
        setter(r, 1L << 40)
        self.assertEqual(getter(r), float(1 << 40))
        for bad in ('1.0', None, 1L << 1100):
            self.raises(TypeError, arg2, setter, r, bad)
        self.assertEqual(getter(r), float(1 << 40))
        self.assertIsNone(setter(None, 1.0))
        self.raises(ValueError, arg1_get, getter, None)

    def check_string(self, r, setter, getter, kind, arg2, arg1_set, arg1_get, field, offset, w):
        poke(r, offset, '\0' * 4)  # the pattern is no pointer
        self.assertIsNone(getter(r))
        text = 'text of ' + field
        setter(r, text)
        address = struct.unpack('<I', self.field_bytes(r, offset, 4))[0]
        self.assertEqual(ctypes.string_at(address), text)
        self.assertEqual(getter(r), text)
        setter(r, 'cut\0off')
        self.assertEqual(getter(r), 'cut')
        for bad in (u'text', 5, 1.0):
            self.raises(TypeError, arg2, setter, r, bad)
        self.assertEqual(getter(r), 'cut')
        setter(r, None)
        self.assertEqual(self.field_bytes(r, offset, 4), '\0' * 4)
        self.assertIsNone(getter(r))
        self.raises(ValueError, arg1_set, setter, None, 'x')
        self.raises(ValueError, arg1_get, getter, None)

    def check_words(self, r, setter, getter, kind, arg2, arg1_set, arg1_get, field, offset, w):
        count = kind[1]
        view = getter(r)
        self.assertEqual(int(view), int(r) + offset)
        self.assertFalse(view.own())
        source = self.new('Qm_Word_Array', count + 1)
        self.assertEqual(proxy_type(view), proxy_type(qm.Qm_Word_Array_cast(source)))
        for i in range(count + 1):
            qm.Qm_Word_Array___setitem__(source, i, 0xA0000000 + i)
        saved = raw(r, offset + w)
        setter(r, qm.Qm_Word_Array_cast(source))
        self.assertEqual(self.field_bytes(r, offset, w),
                         struct.pack('<%dI' % count, *[0xA0000000 + i for i in range(count)]))
        # Writing through the view changes the record in place.
        qm.Qm_Word_Array___setitem__(qm.Qm_Word_Array_frompointer(view), count - 1, 9)
        self.assertEqual(self.field_bytes(r, offset + w - 4, 4), struct.pack('<I', 9))
        now = self.field_bytes(r, offset, w)
        self.raises(ValueError, "invalid null reference in variable '%s' of type 'QmWord [%d]'"
                    % (field, count), setter, r, None)
        self.raises(TypeError, arg2, setter, r, source)  # the array itself is no QmWord *
        self.assertEqual(self.field_bytes(r, offset, w), now)
        self.raises(ValueError, arg1_set, setter, None, qm.Qm_Word_Array_cast(source))
        self.raises(ValueError, arg1_get, getter, None)
        poke(r, offset, saved[offset:])

    def check_pointer(self, r, setter, getter, kind, arg2, arg1_set, arg1_get, field, offset, w):
        pointee = kind[1]
        poke(r, offset, '\0' * 4)
        self.assertIsNone(getter(r))
        if pointee == 'char **':
            # Nothing makes a char **: take one the record itself points at.
            poke(r, offset, struct.pack('<I', int(r)))
            value = getter(r)
            value.acquire()
        elif pointee == 'QmWord *':
            value = qm.Qm_Word_Array_cast(self.new('Qm_Word_Array', 2))
            value.acquire()  # an owning QmWord * shows whether the setter disowns
        else:
            record = pointee.rstrip(' *')
            value = getattr(qm, 'new_' + record)()
            self.made.append((getattr(qm, 'delete_' + record), value))
        self.assertTrue(value.own())
        setter(r, value)
        self.assertEqual(value.own(), not kind[2])
        # Hand ownership back to whoever frees the block at tear-down.
        if pointee in ('char **', 'QmWord *'):
            value.disown()
        else:
            value.acquire()
        self.assertEqual(self.field_bytes(r, offset, 4), struct.pack('<I', int(value)))
        view = getter(r)
        self.assertEqual(int(view), int(value))
        self.assertFalse(view.own())
        self.assertEqual(proxy_type(view), proxy_type(value))
        self.raises(TypeError, arg2, setter, r, self.new('Qm_Gui_Tab'))
        self.raises(TypeError, arg2, setter, r, 5)
        self.assertEqual(int(getter(r)), int(value))
        setter(r, None)
        self.assertIsNone(getter(r))
        self.assertIsNone(setter(None, None))
        self.raises(ValueError, arg1_get, getter, None)

    def check_record(self, r, setter, getter, kind, arg2, arg1_set, arg1_get, field, offset, w):
        inner = kind[1]
        view = getter(r)
        self.assertEqual(int(view), int(r) + offset)
        self.assertFalse(view.own())
        source = self.new(inner)
        self.assertEqual(proxy_type(view), proxy_type(source))
        data = ''.join(chr(0x61 + i) for i in range(w))
        poke(source, 0, data)
        setter(r, source)
        self.assertEqual(self.field_bytes(r, offset, w), data)
        self.raises(ValueError, "invalid null reference in variable '%s' of type '%s *'"
                    % (field, inner), setter, r, None)
        self.raises(TypeError, arg2, setter, r, self.new('Qm_Gui_Tab'))
        self.assertEqual(self.field_bytes(r, offset, w), data)
        self.assertIsNone(setter(None, source))
        self.assertIsNone(setter(None, None))  # a null container stores nothing, whatever the value
        self.raises(ValueError, arg1_get, getter, None)
        poke(source, 0, '\0' * w)  # no pointers left in the source for the tear-down


class Aliases(Fixture):
    def setUp(self):
        Fixture.setUp(self)
        qmsim.reset()

    def test_alias_proxies_are_read_by_the_records_accessors(self):
        opened = qm.QmBoardOpen(0, None)
        status, info, version = qm.QmBoardReadDUTInfo(0, 0)
        self.made += [(qm.delete_QmVersionNumber, opened[-1]), (qm.delete_QmDUTInfo, info),
                      (qm.delete_QmVersionNumber, version)]
        self.assertEqual(proxy_type(version), 'Qm_Version_Number *')
        qm.QmVersionNumber_Major_set(version, 3)
        self.assertEqual(qm.QmVersionNumber_Major_get(version), 3)
        self.assertIs(type(qm.QmDUTInfo_Type_get(info)), int)

    def test_event_records_accept_only_their_own_type(self):
        data = self.new('Qm_Dll_Data_Param')
        self.raises(TypeError, "in method 'Qm_Dll_Event_Param_id_get', argument 1 of type "
                    "'Qm_Dll_Event_Param *'", qm.Qm_Dll_Event_Param_id_get, data)


if __name__ == '__main__':
    unittest.main()
