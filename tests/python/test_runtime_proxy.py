"""Pointer proxies (SwigPyObject): printed forms, numbers, comparison and
hashing, ownership, chains, conversion through `this`, shadow instances and
teardown, and packed-data proxies. Driven through the test module _qm_second."""
import gc
import StringIO
import sys
import tempfile
import unittest
import weakref

from runtime_support import capture_fd1, run_isolated
import _qm_second as second

VERSION = '_p_QmVersionNumber'
RECORD = '_p_SecondRecord'
LEAK = "swig/python detected a memory leak of type '%s', no destructor found.\n"


def borrowed(address, type_name=VERSION):
    return second.make(address, type_name, 2)


def unregister_record():
    """Leaves SecondRecord with a class that shadows nothing it is not asked to."""
    class Plain(object):
        pass
    second.SecondRecord_swigregister(Plain)


class PrintedFormsTest(unittest.TestCase):
    def test_repr_str_and_numbers_of_one_address(self):
        p = borrowed(0x00a1b2c3)
        self.assertEqual(repr(p), "<Swig Object of type 'Qm_Version_Number *' at 0xa1b2c3>")
        self.assertEqual(p.__repr__(), repr(p))
        self.assertEqual(str(p), '_c3b2a100_p_QmVersionNumber')
        self.assertEqual(int(p), 0xa1b2c3)
        self.assertEqual(long(p), 0xa1b2c3)
        self.assertEqual(hex(p), 'a1b2c3')
        self.assertEqual(oct(p), '%o' % 0xa1b2c3)

    def test_high_address_is_unsigned(self):
        p = borrowed(0xfedcba98, '_p_char')
        self.assertEqual(int(p), 0xfedcba98)
        self.assertEqual(hex(p), 'fedcba98')
        self.assertEqual(str(p), '_98badcfe_p_char')
        self.assertEqual(repr(p), "<Swig Object of type 'CCHAR *' at 0xfedcba98>")

    def test_null_pointer_is_none(self):
        self.assertIs(second.make(0, VERSION, 1), None)

    def test_print_writes_the_representation(self):
        p = borrowed(0x1234)
        f = tempfile.TemporaryFile()
        print >>f, p
        f.seek(0)
        self.assertEqual(f.read(), repr(p) + '\n')

    def test_chain_representation_appends_each_link(self):
        p, q, r = borrowed(0x10), borrowed(0x20, RECORD), borrowed(0x30, '_p_char')
        q.append(r)
        p.append(q)
        self.assertEqual(repr(p), "<Swig Object of type 'Qm_Version_Number *' at 0x10>"
                         "<Swig Object of type 'Second_Record *' at 0x20>"
                         "<Swig Object of type 'CCHAR *' at 0x30>")

    def test_type_names_and_documentation(self):
        t = type(borrowed(0x10))
        self.assertEqual(t.__name__, 'SwigPyObject')
        self.assertEqual(t.__doc__, 'Swig object carries a C/C++ instance pointer')
        docs = dict((name, getattr(t, name).__doc__)
                    for name in ('disown', 'acquire', 'own', 'append', 'next', '__repr__'))
        self.assertEqual(docs, {
            'disown': 'releases ownership of the pointer',
            'acquire': 'aquires ownership of the pointer',
            'own': 'returns/sets ownership of the pointer',
            'append': "appends another 'this' object",
            'next': "returns the next 'this' object",
            '__repr__': 'returns object representation'})
        self.assertRaises(AttributeError, setattr, borrowed(0x10), 'x', 1)


class CompareAndHashTest(unittest.TestCase):
    def test_equality_is_by_address_whatever_the_type(self):
        p, same, other = borrowed(0x100), borrowed(0x100, RECORD), borrowed(0x200)
        self.assertTrue(p == same)
        self.assertFalse(p != same)
        self.assertTrue(p != other)
        self.assertTrue(p < other and other > p)
        self.assertEqual(cmp(p, same), 0)
        self.assertEqual(cmp(borrowed(0xfffffff0), p), 1)

    def test_hash_agrees_with_equality(self):
        p, same = borrowed(0x100), borrowed(0x100, RECORD)
        self.assertEqual(hash(p), hash(same))
        self.assertEqual(len(set([p, same, borrowed(0x200)])), 2)
        self.assertEqual({p: 'a'}[same], 'a')

    def test_non_proxies_compare_unequal_and_never_crash(self):
        p = borrowed(0x100)
        for value in (0x100, 0x100L, None, 'x', object(), [p]):
            self.assertFalse(p == value)
            self.assertTrue(p != value)
            cmp(p, value), cmp(value, p), p < value, value > p
        sorted([p, 3, 'a', borrowed(0x50), None])


class OwnershipTest(unittest.TestCase):
    def test_own_disown_acquire(self):
        p = second.make(0x40, VERSION, 3)
        self.assertIs(p.own(), True)
        self.assertIs(p.disown(), None)
        self.assertIs(p.own(), False)
        self.assertIs(p.acquire(), None)
        self.assertIs(p.own(), True)
        self.assertIs(p.own(0), True)
        self.assertIs(p.own(), False)
        self.assertIs(p.own([1]), False)
        self.assertIs(p.own(), True)
        p.disown()

    def test_own_argument_errors_change_nothing(self):
        class Bad(object):
            def __nonzero__(self):
                raise ZeroDivisionError('no truth')
        p = borrowed(0x40)
        self.assertRaises(ZeroDivisionError, p.own, Bad())
        self.assertIs(p.own(), False)
        self.assertRaises(TypeError, p.own, 1, 2)
        self.assertRaises(TypeError, p.disown, 1)

    def test_disown_flag_of_conversion(self):
        p = second.make(0x40, VERSION, 3)
        self.assertEqual(second.address(p, VERSION), 0x40)
        self.assertIs(p.own(), True)
        self.assertEqual(second.address(p, VERSION, 1), 0x40)
        self.assertIs(p.own(), False)


class ChainTest(unittest.TestCase):
    def test_append_and_next(self):
        p, q, r = borrowed(0x10), borrowed(0x20), borrowed(0x30)
        self.assertIs(p.next(), None)
        count = sys.getrefcount(q)
        self.assertIs(p.append(q), None)
        self.assertIs(p.next(), q)
        self.assertEqual(sys.getrefcount(q), count + 1)
        p.append(r)
        self.assertIs(p.next(), r)
        self.assertEqual(sys.getrefcount(q), count)
        del p
        self.assertEqual(sys.getrefcount(r), 2)

    def test_append_refuses_non_proxies_and_cycles(self):
        p, q = borrowed(0x10), borrowed(0x20)
        for value in (None, 5, 'this', weakref.proxy(set())):
            self.assertRaises(SystemError, p.append, value)
        self.assertIs(p.next(), None)
        self.assertRaises(TypeError, p.append)
        self.assertRaises(ValueError, p.append, p)
        p.append(q)
        self.assertRaises(ValueError, q.append, p)
        self.assertIs(q.next(), None)

    def test_conversion_walks_the_chain(self):
        p = second.make(0x10, VERSION, 1)
        q = second.make(0x20, RECORD, 1)
        p.append(q)
        self.assertEqual(second.address(p, RECORD, 1), 0x20)
        self.assertIs(q.own(), False, 'only the matching link is disowned')
        self.assertIs(p.own(), True)
        self.assertEqual(second.address(p, None), 0x10)
        self.assertRaises(TypeError, second.address, p, '_p_char')
        p.disown()

    def test_long_chain_is_released_without_recursion(self):
        head = borrowed(1)
        link = head
        for address in xrange(2, 200000):
            nxt = borrowed(address)
            link.append(nxt)
            link = nxt
        del link, nxt
        del head  # must not exhaust the native stack


class ThisConversionTest(unittest.TestCase):
    """Objects that carry a proxy in `this`, the ways _qm_python's class layer may hold it."""

    def setUp(self):
        self.p = borrowed(0x700)

    def check(self, obj, expected=0x700):
        self.assertEqual(second.address(obj, VERSION), expected)
        self.assertEqual(second.find(obj), self.p)

    def test_none_and_non_carriers(self):
        self.assertIs(second.address(None, VERSION), None)
        self.assertIs(second.address(None, None), None)
        for value in (0, 0x700, 'x', [], {}, object(), type(self.p)):
            self.assertRaises(TypeError, second.address, value, VERSION)
            self.assertIs(second.find(value), None)

    def test_classic_instance(self):
        class Classic:
            pass
        obj = Classic()
        self.assertRaises(TypeError, second.address, obj, VERSION)
        obj.this = self.p
        self.check(obj)
        Classic.this = self.p  # a class attribute is found through the instance too
        self.check(Classic())

    def test_instance_dictionary(self):
        class New(object):
            pass
        obj = New()
        self.assertRaises(TypeError, second.address, obj, VERSION)
        obj.other = 1
        self.assertRaises(TypeError, second.address, obj, VERSION)
        obj.this = self.p
        self.check(obj)

    def test_attribute_without_dictionary(self):
        class Slotted(object):
            __slots__ = ('this',)
        obj = Slotted()
        self.assertRaises(TypeError, second.address, obj, VERSION)
        obj.this = self.p
        self.check(obj)

    def test_computed_attribute(self):
        p = self.p

        class Computed(object):
            __slots__ = ()

            @property
            def this(self):
                return borrowed(int(p))
        self.check(Computed())
        found = [second.find(Computed()) for _ in range(3)]
        self.assertEqual(found, [p] * 3)

    def test_attribute_errors_are_not_left_pending(self):
        class Raising(object):
            __slots__ = ()

            @property
            def this(self):
                raise RuntimeError('no this here')
        self.assertRaises(TypeError, second.address, Raising(), VERSION)
        self.assertIs(second.find(Raising()), None)

    def test_weak_proxies(self):
        class New(object):
            pass
        obj = New()
        obj.this = self.p
        self.check(weakref.proxy(obj))

        class Callable(object):
            def __call__(self):
                pass
        target = Callable()
        target.this = self.p
        self.check(weakref.proxy(target, lambda r: None))
        dead = weakref.proxy(New())
        gc.collect()
        self.assertRaises(TypeError, second.address, dead, VERSION)

    def test_nested_and_circular_this(self):
        class New(object):
            pass
        inner, outer = New(), New()
        inner.this = self.p
        outer.this = inner
        self.check(outer)
        loop = New()
        loop.this = loop
        self.assertRaises(TypeError, second.address, loop, VERSION)
        a, b = New(), New()
        a.this, b.this = b, a
        self.assertRaises(TypeError, second.address, a, VERSION)

    def test_impostor_named_like_the_proxy_type(self):
        SwigPyObject = type('SwigPyObject', (object,), {})
        self.assertRaises(TypeError, second.address, SwigPyObject(), VERSION)
        holder = SwigPyObject()
        holder.this = self.p
        self.check(holder)


class ShadowInstanceTest(unittest.TestCase):
    def tearDown(self):
        unregister_record()

    def test_new_style_class_gets_new_without_init(self):
        class Record(object):
            def __init__(self):
                raise AssertionError('__init__ must not run')
        second.SecondRecord_swigregister(Record)
        obj = second.make(0x800, RECORD, 0)
        self.assertIsInstance(obj, Record)
        self.assertEqual(obj.__dict__.keys(), ['this'])
        self.assertEqual(int(obj.this), 0x800)
        self.assertIs(obj.this.own(), False)
        self.assertEqual(sys.getrefcount(obj.this), 2, 'held by the instance only')
        self.assertEqual(second.address(obj, RECORD), 0x800)

    def test_classic_class(self):
        class Record:
            def __init__(self):
                raise AssertionError('__init__ must not run')
        second.SecondRecord_swigregister(Record)
        obj = second.make(0x800, RECORD, 0)
        self.assertIsInstance(obj, Record)
        self.assertEqual(int(obj.this), 0x800)

    def test_no_shadow_flag_gives_the_bare_proxy(self):
        class Record(object):
            pass
        second.SecondRecord_swigregister(Record)
        self.assertEqual(type(second.make(0x800, RECORD, 2)).__name__, 'SwigPyObject')
        self.assertIsInstance(second.make(0x800, RECORD, 0), Record)

    def test_failing_new_falls_back_to_the_bare_proxy(self):
        class Record(object):
            def __new__(cls):
                raise RuntimeError('cannot make one')
        second.SecondRecord_swigregister(Record)
        p = second.make(0x800, RECORD, 0)
        self.assertEqual(type(p).__name__, 'SwigPyObject')
        self.assertEqual(int(p), 0x800)

    def test_new_that_fills_the_dictionary_gets_no_this(self):
        class Record(object):
            def __new__(cls):
                obj = object.__new__(cls)
                obj.made = True
                return obj
        second.SecondRecord_swigregister(Record)
        obj = second.make(0x800, RECORD, 0)
        self.assertEqual(obj.__dict__, {'made': True})


class TeardownTest(unittest.TestCase):
    def setUp(self):
        gc.collect()
        self.live, self.deleted = second.counters()

    def tearDown(self):
        unregister_record()

    def assert_counters(self, live, deleted):
        self.assertEqual(second.counters(), (self.live + live, self.deleted + deleted))

    def register(self, destroy, classic=False):
        if classic:
            class Record:
                __swig_destroy__ = destroy
        else:
            class Record(object):
                __swig_destroy__ = destroy
        second.SecondRecord_swigregister(Record)
        return Record

    def test_builtin_destroy_runs_once(self):
        deleted = 0
        for destroy in (second.delete_SecondRecord, second.delete_SecondRecord_o):
            for classic in (False, True):
                self.register(destroy, classic)
                holder = [second.new_SecondRecord(1)]
                self.assertEqual(holder[0].__class__.__name__, 'Record')
                self.assert_counters(1, deleted)
                out = capture_fd1(holder.pop)
                deleted += 1
                self.assert_counters(0, deleted)
                self.assertEqual(out, '')

    def test_explicit_delete_then_teardown_frees_once(self):
        self.register(second.delete_SecondRecord)
        p = second.new_SecondRecord()
        second.delete_SecondRecord(p)
        self.assertIs(p.own(), False)
        self.assert_counters(0, 1)
        holder = [p]
        del p
        self.assertEqual(capture_fd1(holder.pop), '')
        self.assert_counters(0, 1)

    def test_borrowed_proxy_frees_nothing(self):
        self.register(second.delete_SecondRecord)
        p = second.new_SecondRecord()
        view = second.make(int(p), RECORD, 2)
        second.delete_SecondRecord(view)
        del view
        self.assert_counters(1, 0)
        del p
        self.assert_counters(0, 1)

    def test_teardowns_on_two_threads_that_release_the_lock(self):
        # Each destroy function waits (the lock released) until told to free
        # its block: the first to finish must not take the other's teardown
        # with it, which would leave that block unfreed.
        import threading
        entered = dict((name, threading.Event()) for name in 'ab')
        go = dict((name, threading.Event()) for name in 'ab')

        def destroy(proxy):
            name = threading.current_thread().name
            entered[name].set()
            go[name].wait(60)
            second.delete_SecondRecord(proxy)

        self.register(destroy)
        holders = dict((name, [second.new_SecondRecord(1)]) for name in 'ab')
        threads = dict((name, threading.Thread(target=holders[name].pop, name=name))
                       for name in 'ab')
        threads['a'].start()
        self.assertTrue(entered['a'].wait(60))
        threads['b'].start()
        self.assertTrue(entered['b'].wait(60))
        go['a'].set()
        threads['a'].join(60)
        go['b'].set()
        threads['b'].join(60)
        self.assert_counters(0, 2)

    def test_python_callables_get_a_stand_in_once(self):
        calls = []

        def record_call(proxy):
            calls.append((type(proxy).__name__, int(proxy), proxy.own()))

        class Holder(object):
            def method(self, proxy):
                record_call(proxy)
        for destroy in (record_call, staticmethod(record_call), lambda p: record_call(p),
                        Holder().method):
            for classic in (False, True):
                del calls[:]
                self.register(destroy, classic)
                p = second.make(0x900, RECORD, 1)
                del p
                self.assertEqual(calls, [('SwigPyObject', 0x900, False)])

    def test_destroy_errors_stay_inside_teardown(self):
        def failing(proxy):
            raise ValueError('destroy failed')
        for destroy in (failing, 5, 'delete', None.__class__):
            self.register(destroy)
            saved, sys.stderr = sys.stderr, StringIO.StringIO()
            try:
                p = second.make(0x900, RECORD, 1)
                del p
                written = sys.stderr.getvalue()
            finally:
                sys.stderr = saved
            self.assertIn('ignored', written)

    def test_destroy_failing_without_exception_prints_nothing(self):
        import _qm_python
        self.register(_qm_python.SWIG_PyInstanceMethod_New)  # fails, sets nothing
        saved, sys.stderr = sys.stderr, StringIO.StringIO()
        try:
            out = capture_fd1(lambda: second.make(0x900, RECORD, 1))
            written = sys.stderr.getvalue()
        finally:
            sys.stderr = saved
        self.assertEqual((out, written), ('', ''))

    def test_pending_exception_survives_teardown(self):
        calls = []
        self.register(lambda p: (calls.append(int(p)), second.delete_SecondRecord(p)))
        with self.assertRaises(KeyError) as caught:
            second.drop_with_error(1)
        self.assertEqual(caught.exception.args, ('pending',))
        self.assertEqual(len(calls), 1)
        self.assert_counters(0, 1)

        def failing(proxy):
            raise ValueError('destroy failed')
        self.register(failing)
        saved, sys.stderr = sys.stderr, StringIO.StringIO()
        try:
            self.assertRaises(KeyError, second.drop_with_error, 1)
        finally:
            sys.stderr = saved

    def test_leak_notice_without_destroy(self):
        out = capture_fd1(lambda: second.make(0xa00, VERSION, 1))
        self.assertEqual(out, LEAK % 'Qm_Version_Number *')

        class NoDestroy(object):
            pass
        second.SecondRecord_swigregister(NoDestroy)
        out = capture_fd1(lambda: second.make(0xa00, RECORD, 1))
        self.assertEqual(out, LEAK % 'Second_Record *')
        out = capture_fd1(lambda: second.make(0xa00, RECORD, 3).disown())
        self.assertEqual(out, '')
        out = capture_fd1(lambda: second.make(0xa00, RECORD, 0))
        self.assertEqual(out, '')

    def test_leak_notice_reaches_standard_output_of_a_process(self):
        status, out, err = run_isolated(
            'import _qm_second as s\n'
            'print "before"\n'
            'p = s.make(0xb00, "_p_QmVersionNumber", 1)\n'
            'del p\n'
            'print "after"\n')
        self.assertEqual((status, err), (0, ''))
        self.assertEqual(out, 'before\n' + LEAK % 'Qm_Version_Number *' + 'after\n')

    def test_leak_notice_in_order_with_pythons_own_buffers(self):
        # As on Windows, where the interpreter's C library is not the
        # module's: Python's text waits in buffers of its own over descriptor
        # 1, first in a replaced sys.stdout, then in a replaced sys.__stdout__
        # while sys.stdout writes elsewhere.
        code = ('import os, StringIO, sys\n'
                'import _qm_second as s\n'
                'sys.stdout = os.fdopen(os.dup(1), "w", 4096)\n'
                'print "before"\n'
                'p = s.make(0xb00, "_p_QmVersionNumber", 1)\n'
                'del p\n'
                'print "after"\n'
                'sys.stdout.flush()\n'
                'sys.__stdout__ = os.fdopen(os.dup(1), "w", 4096)\n'
                'sys.stdout = StringIO.StringIO()\n'
                'sys.__stdout__.write("then before\\n")\n'
                'p = s.make(0xb00, "_p_QmVersionNumber", 1)\n'
                'del p\n'
                'sys.__stdout__.write("then after\\n")\n'
                'assert sys.stdout.getvalue() == ""\n')
        notice = LEAK % 'Qm_Version_Number *'
        for to_file in (False, True):
            status, out, err = run_isolated(code, stdout_to_file=to_file)
            self.assertEqual((status, err), (0, ''))
            self.assertEqual(out, 'before\n' + notice + 'after\nthen before\n' + notice + 'then after\n')

    def test_leak_notice_keeps_a_pending_exception_and_survives_a_failing_flush(self):
        class BrokenFile(object):
            def flush(self):
                raise IOError('flush failed')
        unregister_record()
        raised = []

        def drop():
            saved, sys.stdout = sys.stdout, BrokenFile()
            try:
                second.drop_with_error(1)
            except KeyError as error:
                raised.append(error.args)
            finally:
                sys.stdout = saved
        self.assertEqual(capture_fd1(drop), LEAK % 'Second_Record *')
        self.assertEqual(raised, [('pending',)])


class PackedTest(unittest.TestCase):
    def test_forms(self):
        p = second.packed('\x01\xab\x00z', VERSION)
        self.assertEqual(type(p).__name__, 'SwigPyPacked')
        self.assertEqual(type(p).__doc__, 'Swig object carries a C/C++ instance pointer')
        self.assertEqual(str(p), '_01ab007a_p_QmVersionNumber')
        self.assertEqual(repr(p), '<Swig Packed at _01ab007a_p_QmVersionNumber>')
        f = tempfile.TemporaryFile()
        print >>f, p
        f.seek(0)
        self.assertEqual(f.read(), '<Swig Packed at _01ab007a_p_QmVersionNumber>\n')

    def test_too_large_for_the_text(self):
        p = second.packed('x' * 600, RECORD)
        self.assertEqual(str(p), '_p_SecondRecord')
        self.assertEqual(repr(p), '<Swig Packed _p_SecondRecord>')
        f = tempfile.TemporaryFile()
        print >>f, p
        f.seek(0)
        self.assertEqual(f.read(), '<Swig Packed _p_SecondRecord>\n')
        self.assertEqual(str(second.packed('x' * 511, RECORD)), '_' + '78' * 511 + '_p_SecondRecord')

    def test_compare(self):
        self.assertEqual(cmp(second.packed('ab', VERSION), second.packed('abc', VERSION)), -1)
        self.assertEqual(cmp(second.packed('b', VERSION), second.packed('a', VERSION)), 1)
        self.assertEqual(cmp(second.packed('ab', VERSION), second.packed('ab', RECORD)), 0)
        self.assertEqual(cmp(second.packed('a\x00x', VERSION), second.packed('a\x00y', VERSION)), 0)
        cmp(second.packed('a', VERSION), 5)


if __name__ == '__main__':
    unittest.main()
