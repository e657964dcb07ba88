"""Seeded random and boundary arguments to the class layer's own public names:
record constructors and every field's property, attribute assignment, array
constructors, indexing, slices, bulk transfers, cast, frompointer and
Qm_Stream.of, pointers and the callback class. No call crashes, leaves an
exception pending or raises anything but the documented exceptions
(AttributeError too where a name is assigned), and the layer still works
afterwards. The flat functions are not called with random counts: a count
larger than its buffer is the caller's to avoid there."""
import gc
import unittest

import qm_layouts
import qm_python as qm
from random_arguments import DOCUMENTED, Checker, Values

SEED = 18
ROUNDS = 8  # values tried per call site


def makers():
    """Objects made fresh for each use: right and wrong proxies, views, pointers."""
    return [qm.QmVersionNumber, qm.QmChannelData, qm.Qm_Hw_Change_Param, qm.Qm_Message_Box_Param,
            qm.Qm_Dll_Event_Param_Union, qm.Qm_Callback, lambda: qm.Qm_Dll_Event_Param().param,
            lambda: qm.Qm_Dll_Event_Param().param.message_box, lambda: qm.Qm_Word_Array(4),
            lambda: qm.Qm_Word_Array(8).cast(), lambda: qm.Qm_Word_Array(2).cast(),
            lambda: qm.Qm_Stream(4).cast(), lambda: qm.Qm_Capture_Configuration_Array(2),
            lambda: qm.Qm_Capture_Configuration_Array(2).cast(),
            lambda: qm.Qm_Dac_Cmd_Data().channel, qm.new_QmVersionNumber]


def small(value):
    """A count for a constructor: counts that would allocate gigabytes become
    one refused before any allocation (the allocator is not what is tested)."""
    if isinstance(value, (int, long)) and 1 << 16 < value < 1 << 32:
        return 1 << 32
    return value


class RandomArguments(unittest.TestCase):
    def setUp(self):
        self.made = makers()
        self.values = Values(SEED, self.made)
        self.check = Checker()
        self.maxDiff = None

    def tearDown(self):
        gc.collect()
        self.assertEqual(self.check.faults, [])
        # Still sound: a new record and array work as before.
        setup = qm.QmCaptureSetup(TransferSize=1024)
        words = qm.Qm_Word_Array(2)
        words.write([1, 0xFFFFFFFF])
        self.assertEqual((setup.TransferSize, list(words.read())), (1024, [1, 0xFFFFFFFF]))

    def rounds(self):
        return range(ROUNDS)

    def test_records_constructors_and_properties(self):
        check, values = self.check, self.values
        names = Checker(DOCUMENTED + (AttributeError,))
        for name, size, aliases, fields in qm_layouts.RECORDS:
            cls = getattr(qm, name)
            for _ in self.rounds():
                field = values.choice(fields)[0]
                check.call(name, cls, values.pick())
                check.call(name, cls, **{field: values.pick()})
                check.call(name, cls, **{field + 'x': values.pick()})
                record = cls()
                for row in fields:
                    check.call('%s.%s =' % (name, row[0]), setattr, record, row[0], values.pick())
                    check.call('%s.%s' % (name, row[0]), getattr, record, row[0])
                check.call('repr', repr, record)
                made = values.choice([m for m in self.made if m is not qm.new_QmVersionNumber])()
                check.call('thisown =', setattr, made, 'thisown', values.pick())
                names.call('%s.<name> =' % name, setattr, record, values.pick(), 1)
                names.call('%s.%s =' % (name, field.upper()), setattr, record, field.upper(), 1)
        for base in (qm.Record, qm.Array):
            check.call(base.__name__, base, *values.picks(values.choice([0, 1])))
        self.assertEqual(names.faults, [])
        self.assertGreater(check.calls + names.calls, 1500)

    def test_arrays_and_pointers(self):
        check, values = self.check, self.values
        for name in qm.ARRAYS:
            cls = getattr(qm, name)
            for _ in self.rounds() * 4:
                check.call(name, cls, small(values.pick()))
                made = cls(4)
                pointer = made.cast()
                view = cls.frompointer(pointer)
                check.call('frompointer', cls.frompointer, values.pick())
                check.call('frompointer', cls.frompointer, pointer, values.pick())
                for target in (made, view):
                    check.call('[]', target.__getitem__, values.pick())
                    check.call('[]=', target.__setitem__, values.pick(), values.pick())
                    check.call('tostring', target.tostring, values.pick(), values.pick())
                    check.call('tostring', target.tostring, values.pick())
                    check.call('fromstring', target.fromstring, values.pick(), values.pick())
                    check.call('fromstring', target.fromstring, values.pick())
                    if hasattr(target, 'read'):
                        check.call('read', target.read, values.pick(), values.pick())
                        check.call('write', target.write, values.pick())
                        check.call('write', target.write, values.pick(), values.pick())
                    check.call('list', list, target)
                    check.call('repr', repr, target)
                if name == 'Qm_Stream':
                    check.call('Qm_Stream.of', cls.of, values.pick())
                check.call('len', len, pointer)
                check.call('==', lambda a, b: a == b, pointer, values.pick())
                check.call('thisown =', setattr, pointer, 'thisown', values.pick())
        callback = qm.Qm_Callback()
        for _ in self.rounds():
            check.call('Qm_Callback.run', callback.run, values.pick())
        self.assertGreater(check.calls, 600)


if __name__ == '__main__':
    unittest.main()
