"""The object runtime under _qm_python's own record families: the one cast
between record types, registration of the record classes, ownership and
teardown of constructor proxies. Skipped while the families are absent."""
import unittest

from runtime_support import capture_fd1, has_qm_python, run_isolated
import _qm_second as second

NEEDED = ('new_QmVersionNumber', 'delete_QmVersionNumber', 'QmVersionNumber_Major_get',
          'QmVersionNumber_swigregister', 'new_QmChannelData', 'QmChannelData_BitSize_get',
          'QmChannelData_BitSize_set', 'QmChannelData_swigregister',
          'new_Qm_Capture_Configuration_Array', 'Qm_Capture_Configuration_Array___getitem__',
          'Qm_Capture_Configuration_Array_frompointer')
LEAK = "swig/python detected a memory leak of type '%s', no destructor found.\n"


def run_ok(test, code):
    status, out, err = run_isolated('import _qm_python as q, _qm_second as s\n' + code)
    test.assertEqual((status, err), (0, ''), err)
    return out


@unittest.skipUnless(has_qm_python(*NEEDED), "_qm_python's record families are not built yet")
class QmPythonRecordsTest(unittest.TestCase):
    def setUp(self):
        import _qm_python
        self.q = _qm_python

    def test_capture_array_is_accepted_as_channel_data_only(self):
        q = self.q
        array = q.new_Qm_Capture_Configuration_Array(2)
        q.QmChannelData_BitSize_set(array, 12)
        self.assertEqual(q.QmChannelData_BitSize_get(array), 12)
        self.assertEqual(second.address(array, '_p_QmChannelData'), int(array))
        channel = q.new_QmChannelData()
        self.assertRaises(TypeError, q.Qm_Capture_Configuration_Array___getitem__, channel, 0)
        self.assertEqual(second.cast_sources('_p_QmChannelData')[0],
                         '_p_Qm_Capture_Configuration_Array', 'the last hit moved to the front')
        for p in (array, channel):
            p.disown()

    def test_constructor_proxy_owns_and_is_bare(self):
        q = self.q
        p = q.new_QmVersionNumber()
        self.assertEqual(type(p).__name__, 'SwigPyObject')
        self.assertIs(p.own(), True)
        p.disown()
        self.assertIs(p.own(), False)
        self.assertEqual(capture_fd1(lambda: q.new_QmVersionNumber().disown()), '')
        self.assertRaises(TypeError, q.QmVersionNumber_swigregister)

    def test_unregistered_owner_prints_the_leak_notice(self):
        out = run_ok(self, 'p = q.new_QmVersionNumber()\nprint "x"\ndel p\nprint "y"\n')
        self.assertEqual(out, 'x\n' + LEAK % 'Qm_Version_Number *' + 'y\n')

    def test_class_layer_frees_through_the_delete_function(self):
        out = run_ok(self,
                     'class V(object):\n'
                     '    __swig_destroy__ = q.delete_QmVersionNumber\n'
                     '    def __init__(self): self.this = q.new_QmVersionNumber()\n'
                     'q.QmVersionNumber_swigregister(V)\n'
                     'v = V()\n'
                     'q.QmVersionNumber_Major_set(v, 3)\n'
                     'print q.QmVersionNumber_Major_get(v), s.registered("_p_QmVersionNumber")[3]\n'
                     'del v\n'
                     'w = V(); q.delete_QmVersionNumber(w); print w.this.own()\n'
                     'del w\n'
                     'print "done"\n')
        self.assertEqual(out, '3 1\nFalse\ndone\n')

    def test_channel_registration_leaves_the_array_type_alone(self):
        out = run_ok(self,
                     'class Channel(object): pass\n'
                     'class Array(object): pass\n'
                     'q.Qm_Capture_Configuration_Array_swigregister(Array)\n'
                     'q.QmChannelData_swigregister(Channel)\n'
                     'a = q.new_Qm_Capture_Configuration_Array(1)\n'
                     'print type(q.Qm_Capture_Configuration_Array_frompointer(a)).__name__,\n'
                     'print s.registered("_p_QmChannelData")[0].__name__\n'
                     'a.disown()\n')
        self.assertEqual(out, 'Array Channel\n')


if __name__ == '__main__':
    unittest.main()
