"""Type descriptors seen from Python: class registration, cast lists with
move-to-front and converters, the process-wide ring shared by two modules
of this kind, and repeated imports."""
import imp
import sys
import unittest

from runtime_support import TESTONLY, has_qm_python, run_isolated
import _qm_second as second

VERSION = '_p_QmVersionNumber'
RECORD = '_p_SecondRecord'


def run_ok(test, code):
    status, out, err = run_isolated(code)
    test.assertEqual((status, err), (0, ''), err)
    return out


class RegistrationTest(unittest.TestCase):
    def test_new_style_and_classic_records(self):
        class NewStyle(object):
            __swig_destroy__ = second.delete_SecondRecord
        self.assertIs(second.SecondRecord_swigregister(NewStyle), None)
        self.assertEqual(second.registered(RECORD), (NewStyle, 1, second.delete_SecondRecord, 1, 1))

        class Classic:
            __swig_destroy__ = second.delete_SecondRecord_o
        second.SecondRecord_swigregister(Classic)
        self.assertEqual(second.registered(RECORD), (Classic, 0, second.delete_SecondRecord_o, 0, 1))

        class NoDestroy(object):
            pass
        second.SecondRecord_swigregister(NoDestroy)
        self.assertEqual(second.registered(RECORD), (NoDestroy, 1, None, 0, 1))

    def test_destroy_of_other_kinds_takes_an_argument(self):
        def destroy(proxy):
            pass

        class Holder(object):
            def method(self, proxy):
                pass
        bound = Holder().method
        for value, expected in ((destroy, destroy), (staticmethod(destroy), destroy),
                                (bound, bound), (5, 5), (len, len)):
            class Record(object):
                __swig_destroy__ = value
            second.SecondRecord_swigregister(Record)
            self.assertEqual(second.registered(RECORD)[2:4], (expected, 0 if value is len else 1))

    def test_argument_errors(self):
        with self.assertRaises(TypeError) as caught:
            second.SecondRecord_swigregister()
        self.assertEqual(str(caught.exception), 'swigregister() takes exactly 1 argument (0 given)')
        self.assertRaises(TypeError, second.SecondRecord_swigregister, object, object)
        self.assertRaises(TypeError, second.register, RECORD)

    def test_a_class_that_makes_no_instances_still_gets_pointers(self):
        second.register('_p_SecondDerived', 5)
        p = second.make(0x10, '_p_SecondDerived', 0)
        self.assertEqual(type(p).__name__, 'SwigPyObject')
        self.assertEqual(int(p), 0x10)

    def test_record_attaches_to_unconverted_sources_without_class(self):
        status, out, err = run_isolated(
            'import _qm_second as s\n'
            'class Version(object): pass\n'
            'class Base(object): pass\n'
            's.register("_p_QmVersionNumber", Version)\n'
            's.register("_p_SecondBase", Base)\n'
            'print s.registered("_p_SecondVersionAlias")[0] is Version,\n'
            'print s.registered("_p_SecondVersionAlias")[4],\n'
            'print s.registered("_p_SecondDerived"),\n'
            'print type(s.make(16, "_p_SecondVersionAlias", 0)).__name__\n'
            'class Alias(object): pass\n'
            's.register("_p_SecondVersionAlias", Alias)\n'
            'class Version2(object): pass\n'
            's.register("_p_QmVersionNumber", Version2)\n'
            'print s.registered("_p_SecondVersionAlias")[0] is Alias\n')
        self.assertEqual((status, err), (0, ''), err)
        self.assertEqual(out, 'True 0 None Version\nTrue\n')


class CastListTest(unittest.TestCase):
    def test_converter_and_move_to_front(self):
        derived = second.make(0x1000, '_p_SecondDerived', 0)
        base = second.make(0x2000, '_p_SecondBase', 0)
        self.assertEqual(second.address(base, '_p_SecondBase'), 0x2000)
        self.assertEqual(second.cast_sources('_p_SecondBase'), ['_p_SecondBase', '_p_SecondDerived'])
        self.assertEqual(second.address(derived, '_p_SecondBase'), 0x1004)
        self.assertEqual(second.cast_sources('_p_SecondBase'), ['_p_SecondDerived', '_p_SecondBase'])
        self.assertEqual(second.address(base, '_p_SecondBase'), 0x2000)
        self.assertEqual(second.cast_sources('_p_SecondBase'), ['_p_SecondDerived', '_p_SecondBase'],
                         'an exact type match needs no cast check')
        self.assertRaises(TypeError, second.address, base, '_p_SecondDerived')
        self.assertEqual(second.cast_sources('_p_SecondDerived'), ['_p_SecondDerived'])

    def test_alias_without_converter(self):
        alias = second.make(0x3000, '_p_SecondVersionAlias', 2)
        self.assertEqual(second.address(alias, VERSION), 0x3000)
        self.assertRaises(TypeError, second.address, second.make(0x3000, VERSION, 2),
                          '_p_SecondVersionAlias')

    def test_names(self):
        self.assertEqual(second.char_type(), '_p_char')
        self.assertEqual(second.pretty(RECORD), 'Second_Record *')
        self.assertEqual(second.pretty('_p_SecondBase'), 'SecondBase *')
        self.assertEqual(second.ring_readable('Second_Record*'), 'SecondRecord *|Second_Record *')
        self.assertEqual(second.ring_readable('second_record *'), None)
        self.assertRaises(ValueError, second.make, 1, '_p_Nothing', 0)


class RingTest(unittest.TestCase):
    def test_alone_the_module_publishes_its_table(self):
        out = run_ok(self,
                     'import sys, _qm_second as s\n'
                     'rt = sys.modules["swig_runtime_data4"]\n'
                     'print s.ring_sizes(), type(rt.type_pointer).__name__, sorted(vars(rt))\n'
                     'print s.is_own("_p_QmVersionNumber"), s.ring_readable("QmStream")\n')
        self.assertEqual(out, "[8] PyCObject ['__doc__', '__name__', '__package__', 'type_pointer']\n"
                              "True None\n")

    def test_repeated_import_changes_nothing(self):
        out = run_ok(self,
                     'import ctypes, _qm_second as s\n'
                     'class R(object): __swig_destroy__ = s.delete_SecondRecord\n'
                     's.SecondRecord_swigregister(R)\n'
                     'print s.address(s.make(16, "_p_SecondDerived", 0), "_p_SecondBase")\n'
                     'before = (s.ring_sizes(), s.cast_sources("_p_SecondBase"), s.registered("_p_SecondRecord"))\n'
                     'cvar = s.cvar\n'
                     'ctypes.PyDLL(s.__file__).init_qm_second()\n'
                     'import _qm_second as again\n'
                     'again.rebind()\n'
                     'after = (s.ring_sizes(), s.cast_sources("_p_SecondBase"), s.registered("_p_SecondRecord"))\n'
                     'print before == after, again.cvar is cvar, str(cvar)\n')
        self.assertEqual(out, '20\nTrue True (label, broken, counter, label, broken, counter)\n')

    def test_teardown_releases_what_class_records_hold(self):
        out = run_ok(self,
                     'import sys, _qm_second as s\n'
                     'def f(p): pass\n'
                     'class V(object): __swig_destroy__ = f\n'
                     's.SecondRecord_swigregister(V)\n'
                     'counts = sys.getrefcount(V), sys.getrefcount(f)\n'
                     'del sys.modules["swig_runtime_data4"].type_pointer\n'
                     'print counts[0] - sys.getrefcount(V), counts[1] - sys.getrefcount(f),\n'
                     'print s.registered("_p_SecondRecord")[:3] == (V, 0, None)\n'
                     'print type(s.make(16, "_p_SecondRecord", 0)).__name__\n'
                     'p = s.make(16, "_p_SecondRecord", 1)\n'
                     'del p\n')
        self.assertEqual(out, '1 1 True\nSwigPyObject\n'
                              "swig/python detected a memory leak of type 'Second_Record *', "
                              'no destructor found.\n')

    @unittest.skipUnless(has_qm_python(), '_qm_python is not built')
    def test_two_modules_share_one_ring(self):
        for first, other in (('_qm_python', '_qm_second'), ('_qm_second', '_qm_python')):
            out = run_ok(self,
                         'import sys, %s, %s\n'
                         'import _qm_second as s\n'
                         'print s.ring_sizes(), s.is_own("_p_QmVersionNumber"), s.is_own("_p_SecondRecord")\n'
                         'print s.ring_readable("QmStream"), s.ring_readable("_p_Qm_Stream")\n'
                         'print len([m for m in sys.modules if m.startswith("swig_runtime_data")])\n'
                         % (first, other))
            own = 'True' if first == '_qm_second' else 'False'
            sizes = '[8, 58]'
            self.assertEqual(out, '%s %s True\n' % (sizes, own) +
                             'FCHAR *|unsigned char *|UCHAR *|BYTE *|TBYTE *|QmStreamElement *|UINT8 *|'
                             'BOOLEAN *|QmStream Qm_Stream *\n1\n', first)

    @unittest.skipUnless(has_qm_python(), '_qm_python is not built')
    def test_second_import_of_qm_python_keeps_the_ring(self):
        out = run_ok(self,
                     'import ctypes, _qm_python as q, _qm_second as s\n'
                     'before = s.ring_sizes(), s.cast_sources("_p_QmChannelData")\n'
                     'ctypes.PyDLL(q.__file__).init_qm_python()\n'
                     'import _qm_python\n'
                     'print before == (s.ring_sizes(), s.cast_sources("_p_QmChannelData")),\n'
                     'print _qm_python.cvar is q.cvar, str(q.cvar)\n')
        self.assertEqual(out, 'True True (_qm_callback, _qm_callback)\n')


@unittest.skipUnless(has_qm_python('new_QmVersionNumber', 'delete_QmVersionNumber',
                                   'QmVersionNumber_Major_get', 'QmVersionNumber_swigregister'),
                     "_qm_python's QmVersionNumber family is not built yet")
class CrossModuleTest(unittest.TestCase):
    """A proxy made by one module is accepted by the other for a shared type name."""

    def test_proxies_cross_in_both_directions(self):
        import _qm_python as q
        p = q.new_QmVersionNumber()
        self.assertEqual(second.address(p, VERSION), int(p))
        self.assertEqual(second.find(p), p)
        alias = second.make(int(p), '_p_SecondVersionAlias', 2)
        q.QmVersionNumber_Major_set(alias, 7)
        self.assertEqual(q.QmVersionNumber_Major_get(second.make(int(p), VERSION, 2)), 7)
        self.assertRaises(TypeError, q.QmVersionNumber_Major_get, second.make(int(p), RECORD, 2))
        q.delete_QmVersionNumber(p)

    def test_registration_in_one_module_shadows_the_other(self):
        out = run_ok(self,
                     'import _qm_python as q, _qm_second as s\n'
                     'class V(object): __swig_destroy__ = q.delete_QmVersionNumber\n'
                     'q.QmVersionNumber_swigregister(V)\n'
                     'print s.registered("_p_QmVersionNumber")[0] is V, type(s.make(16, "_p_QmVersionNumber", 0)).__name__\n')
        self.assertEqual(out, 'True V\n')


if __name__ == '__main__':
    unittest.main()
