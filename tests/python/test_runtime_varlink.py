"""The variable link (swigvarlink) behind `cvar`: attribute reads and writes
through getters and setters, the NameError for unknown names, and the
printed forms. Uses the linked variables of the test module _qm_second."""
import tempfile
import unittest

from runtime_support import has_qm_python, run_isolated
import _qm_second as second

cvar = second.cvar
UNKNOWN = 'Unknown C global variable'


class LinkTypeTest(unittest.TestCase):
    def test_type_and_printed_forms(self):
        self.assertEqual(type(cvar).__name__, 'swigvarlink')
        self.assertEqual(type(cvar).__doc__, 'Swig var link object')
        self.assertEqual(repr(cvar), '<Swig global variables>')
        self.assertEqual(str(cvar), '(label, broken, counter)')
        f = tempfile.TemporaryFile()
        print >>f, cvar
        print >>f, 'next'
        f.seek(0)
        self.assertEqual(f.read(), 'Swig global variables (label, broken, counter)\n\nnext\n')

    @unittest.skipUnless(has_qm_python(), '_qm_python is not built')
    def test_qm_python_has_its_own_link(self):
        import _qm_python
        self.assertEqual(type(_qm_python.cvar).__name__, 'swigvarlink')
        self.assertIsNot(_qm_python.cvar, cvar)
        self.assertEqual(repr(_qm_python.cvar), '<Swig global variables>')
        self.assertNotIn('counter', str(_qm_python.cvar))


class AttributeTest(unittest.TestCase):
    def assert_unknown(self, action, *args):
        with self.assertRaises(NameError) as caught:
            action(*args)
        self.assertEqual(caught.exception.args, (UNKNOWN,))

    def test_read_and_assign_through_the_getter_and_setter(self):
        cvar.counter = 41
        self.assertEqual(cvar.counter, 41)
        setattr(cvar, 'counter', -7)
        self.assertEqual(getattr(cvar, 'counter'), -7)
        self.assertEqual(cvar.label, 'second')

    def test_setter_errors_stand(self):
        cvar.counter = 3
        with self.assertRaises(TypeError) as caught:
            cvar.counter = 'three'
        self.assertEqual(str(caught.exception), "in variable 'counter' of type 'int'")
        with self.assertRaises(TypeError):
            del cvar.counter
        self.assertEqual(cvar.counter, 3)
        self.assertRaises(AttributeError, setattr, cvar, 'label', 'x')

    def test_unknown_names(self):
        self.assert_unknown(getattr, cvar, 'missing')
        self.assert_unknown(getattr, cvar, '__doc__')
        self.assert_unknown(getattr, cvar, '__class__')
        self.assert_unknown(getattr, cvar, 'Counter')
        self.assert_unknown(setattr, cvar, 'missing', 1)
        self.assert_unknown(delattr, cvar, 'missing')
        self.assert_unknown(getattr, cvar, u'missing')
        self.assertFalse(hasattr(cvar, 'missing'))

    def test_failures_without_an_error_become_name_errors(self):
        self.assert_unknown(getattr, cvar, 'broken')
        self.assert_unknown(setattr, cvar, 'broken', 1)

    def test_newest_entry_of_a_name_wins(self):
        status, out, err = run_isolated(
            'import _qm_second as s\n'
            's.cvar.counter = 5\n'
            's.relink_counter()\n'
            'print str(s.cvar), s.cvar.counter\n')
        self.assertEqual((status, err), (0, ''), err)
        self.assertEqual(out, '(counter, label, broken, counter) -1\n')


if __name__ == '__main__':
    unittest.main()
