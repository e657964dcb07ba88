"""The array classes: items and their errors, the lengths the module knows,
cast and frompointer views, ownership, and counts too large for one block."""
import ctypes
import struct
import unittest

import _qm_python as qm
from record_fixture import MadeRecords

CLASSES = [('Qm_Capture_Configuration_Array', 'QmChannelData', 104),
           ('Qm_Word_Array', 'QmWord', 4), ('Qm_Stream', 'QmStreamElement', 1)]


def f(array, suffix):
    return getattr(qm, array + suffix)


class Arrays(MadeRecords):
    def item(self, array):
        """A valid item value for each class."""
        return {'Qm_Capture_Configuration_Array': lambda: self.new('QmChannelData'),
                'Qm_Word_Array': lambda: 0xFFFFFFFF, 'Qm_Stream': lambda: 255}[array]()

    def test_new_arrays_are_zero_filled_owned_and_know_their_length(self):
        for array, element, size in CLASSES:
            a = self.new(array, 3)
            self.assertTrue(a.own())
            self.assertEqual(type(a).__name__, 'SwigPyObject')
            self.assertEqual(ctypes.string_at(int(a), 3 * size), '\0' * (3 * size))
            get, put = f(array, '___getitem__'), f(array, '___setitem__')
            put(a, 2, self.item(array))
            for index in (3, 1 << 31):
                self.raises(IndexError, "index out of range in method '%s___getitem__', argument 2 "
                            "of type 'size_t'" % array, get, a, index)
                self.raises(IndexError, "index out of range in method '%s___setitem__', argument 2 "
                            "of type 'size_t'" % array, put, a, index, self.item(array))
            # A view at the same address is checked like the array itself.
            same = f(array, '_frompointer')(f(array, '_cast')(a))
            self.assertRaises(IndexError, get, same, 3)
            empty = self.new(array, 0)
            self.assertRaises(IndexError, get, empty, 0)

    def test_argument_errors(self):
        for array, element, size in CLASSES:
            a = self.new(array, 2)
            get, put = f(array, '___getitem__'), f(array, '___setitem__')
            new_msg = "in method 'new_%s', argument 1 of type 'size_t'" % array
            self.raises(OverflowError, new_msg, getattr(qm, 'new_' + array), -1)
            self.raises(TypeError, new_msg, getattr(qm, 'new_' + array), 1.0)
            self.raises(TypeError, new_msg, getattr(qm, 'new_' + array), -1L)
            for method, call in (('___getitem__', lambda *x: get(*x)),
                                 ('___setitem__', lambda *x: put(*(x + (self.item(array),))))):
                arg1 = "in method '%s%s', argument 1 of type '%s *'" % (array, method, array)
                arg2 = "in method '%s%s', argument 2 of type 'size_t'" % (array, method)
                self.raises(OverflowError, arg2, call, a, -1)
                self.raises(TypeError, arg2, call, a, 0.0)
                self.raises(TypeError, arg1, call, self.new('QmVersionNumber'), 0)
                self.raises(ValueError, arg1, call, None, 0)  # no array to reach into
            self.raises(TypeError, "in method '%s_cast', argument 1 of type '%s *'" % (array, array),
                        f(array, '_cast'), self.new('QmVersionNumber'))
            self.raises(TypeError, "in method '%s_frompointer', argument 1 of type '%s *'"
                        % (array, element), f(array, '_frompointer'), self.new('QmVersionNumber'))
            if array != 'Qm_Capture_Configuration_Array':  # only that class converts to its element
                self.assertRaises(TypeError, f(array, '_frompointer'), a)
            self.raises(TypeError, "in method 'delete_%s', argument 1 of type '%s *'" % (array, array),
                        getattr(qm, 'delete_' + array), f(array, '_cast')(a))
            self.assertIsNone(f(array, '_cast')(None))
            self.assertIsNone(f(array, '_frompointer')(None))

    def test_word_and_byte_items(self):
        s = self.new('Qm_Stream', 4)
        qm.Qm_Stream___setitem__(s, 3, 255)
        self.assertEqual(qm.Qm_Stream___getitem__(s, 3), 255)
        message = "in method 'Qm_Stream___setitem__', argument 3 of type 'QmStreamElement'"
        self.raises(OverflowError, message, qm.Qm_Stream___setitem__, s, 3, 256)
        self.raises(OverflowError, message, qm.Qm_Stream___setitem__, s, 3, -1)
        self.raises(TypeError, message, qm.Qm_Stream___setitem__, s, 3, 'x')
        self.assertEqual(ctypes.string_at(int(s), 4), '\0\0\0\xff')
        w = self.new('Qm_Word_Array', 2)
        qm.Qm_Word_Array___setitem__(w, 0, 0xFFFFFFFF)
        qm.Qm_Word_Array___setitem__(w, 1, 5L)
        self.assertEqual(qm.Qm_Word_Array___getitem__(w, 0), 4294967295L)
        self.assertIs(type(qm.Qm_Word_Array___getitem__(w, 0)), long)
        self.assertIs(type(qm.Qm_Word_Array___getitem__(w, 1)), int)
        message = "in method 'Qm_Word_Array___setitem__', argument 3 of type 'QmWord'"
        self.raises(OverflowError, message, qm.Qm_Word_Array___setitem__, w, 1, -1)
        self.raises(TypeError, message, qm.Qm_Word_Array___setitem__, w, 1, 1 << 32)
        self.assertEqual(struct.unpack('<2I', ctypes.string_at(int(w), 8)), (0xFFFFFFFF, 5))

    def test_capture_configuration_items_are_copies(self):
        a = self.new('Qm_Capture_Configuration_Array', 2)
        c = self.new('QmChannelData')
        qm.QmChannelData_BitSize_set(c, 14)
        qm.Qm_Capture_Configuration_Array___setitem__(a, 1, c)
        self.assertEqual(ctypes.string_at(int(a) + 104, 104), ctypes.string_at(int(c), 104))
        item = qm.Qm_Capture_Configuration_Array___getitem__(a, 1)
        self.made.append((qm.delete_QmChannelData, item))
        self.assertTrue(item.own())
        self.assertNotEqual(int(item), int(a) + 104)
        qm.QmChannelData_BitSize_set(item, 16)
        again = qm.Qm_Capture_Configuration_Array___getitem__(a, 1)
        self.made.append((qm.delete_QmChannelData, again))
        self.assertEqual(qm.QmChannelData_BitSize_get(again), 14)
        # An array proxy is a QmChannelData * too: element 0 of another array.
        b = self.new('Qm_Capture_Configuration_Array', 1)
        qm.Qm_Capture_Configuration_Array___setitem__(b, 0, item)
        qm.Qm_Capture_Configuration_Array___setitem__(a, 0, b)
        self.assertEqual(qm.QmChannelData_BitSize_get(qm.Qm_Capture_Configuration_Array_cast(a)), 16)
        self.raises(ValueError, "invalid null reference in method "
                    "'Qm_Capture_Configuration_Array___setitem__', argument 3 of type 'QmChannelData'",
                    qm.Qm_Capture_Configuration_Array___setitem__, a, 0, None)
        self.raises(TypeError, "in method 'Qm_Capture_Configuration_Array___setitem__', argument 3 "
                    "of type 'QmChannelData'", qm.Qm_Capture_Configuration_Array___setitem__, a, 0,
                    self.new('QmVersionNumber'))

    def test_views_share_the_address(self):
        for array, element, size in CLASSES:
            a = self.new(array, 2)
            cast = f(array, '_cast')(a)
            back = f(array, '_frompointer')(cast)
            self.assertEqual(int(cast), int(a))
            self.assertEqual(int(back), int(a))
            self.assertFalse(cast.own() or back.own())
            f(array, '___setitem__')(back, 1, self.item(array))
            self.assertEqual(ctypes.string_at(int(a) + size, size),
                             ctypes.string_at(int(back) + size, size))
        # A word array over a record's reserved words writes the record.
        c = self.new('QmChannelData')
        u9 = qm.Qm_Word_Array_frompointer(qm.QmChannelData___u9___get(c))
        self.assertEqual(int(u9), int(c) + 52)
        qm.Qm_Word_Array___setitem__(u9, 0, 0xABCD)
        self.assertEqual(struct.unpack('<I', ctypes.string_at(int(c) + 52, 4))[0], 0xABCD)
        cmd = self.new('Qm_Dac_Cmd_Data')
        w = self.new('Qm_Word_Array', 4)
        for i in range(4):
            qm.Qm_Word_Array___setitem__(w, i, i + 1)
        qm.Qm_Dac_Cmd_Data_channel_set(cmd, qm.Qm_Word_Array_cast(w))
        channel = qm.Qm_Word_Array_frompointer(qm.Qm_Dac_Cmd_Data_channel_get(cmd))
        self.assertEqual([qm.Qm_Word_Array___getitem__(channel, i) for i in range(4)], [1, 2, 3, 4])
        self.raises(TypeError, "in method 'Qm_Dac_Cmd_Data_data_set', argument 2 of type 'QmWord *'",
                    qm.Qm_Dac_Cmd_Data_data_set, cmd, w)

    def test_a_freed_array_leaves_no_length_at_its_address(self):
        # Item checks remember the array checked last; a block made later at a
        # freed array's address has a length of its own: 16 bytes are 4 words
        # or 16 stream bytes.
        words = qm.new_Qm_Word_Array(4)
        self.assertEqual(qm.Qm_Word_Array___getitem__(words, 3), 0)
        self.assertRaises(IndexError, qm.Qm_Word_Array___getitem__, words, 4)
        address = int(words)
        qm.delete_Qm_Word_Array(words)
        for _ in range(100):
            stream = self.new('Qm_Stream', 16)
            if int(stream) == address:
                break
        else:
            self.skipTest('no stream was made at the freed address')
        qm.Qm_Stream___setitem__(stream, 15, 7)
        self.assertEqual(qm.Qm_Stream___getitem__(stream, 15), 7)
        self.assertRaises(IndexError, qm.Qm_Stream___getitem__, stream, 16)

    def test_counts_too_large_for_one_block(self):
        for array, count in (('Qm_Word_Array', 0x40000000), ('Qm_Word_Array', 0xFFFFFFFF),
                             ('Qm_Capture_Configuration_Array', 0xFFFFFFFF // 104 + 1)):
            self.raises(MemoryError, "too many elements for one block in method 'new_%s', "
                        "argument 1 of type 'size_t'" % array, getattr(qm, 'new_' + array), count)
        # Fits in 32 bits but not in this process: no proxy to a null block.
        self.assertIsNone(qm.new_Qm_Stream(0xFFFFFFFF))

    def test_delete(self):
        for array, element, size in CLASSES:
            delete = getattr(qm, 'delete_' + array)
            a = getattr(qm, 'new_' + array)(1)
            self.assertIsNone(delete(None))
            view = f(array, '_frompointer')(f(array, '_cast')(a))
            for proxy in (view, a):
                if proxy is a:
                    delete(a)
                self.raises(ValueError, "cannot free through a proxy that does not own its block in "
                            "method 'delete_%s', argument 1 of type '%s *'" % (array, array),
                            delete, proxy)


if __name__ == '__main__':
    unittest.main()
