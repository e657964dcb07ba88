"""The callback family: director lifetime and references, results and errors
of a Python `run` on every path an event takes (from Python, from a library
thread, inside a library call), the receiver's state, cvar._qm_callback."""
import ctypes
import gc
import struct
import sys
import thread
import unittest
import weakref
from StringIO import StringIO

import qmsim
import _qm_python as qm
from callback_layer import Qm_Callback, record_words

MISMATCH = "Swig director type mismatch in output value of type 'QmWord'"
IN_VARIABLE = "in variable '_qm_callback' of type 'Qm_Callback *'"
DELETED = 'this Qm_Callback object was already deleted'


def in_method(name, position, declared):
    return "in method '%s', argument %d of type '%s'" % (name, position, declared)


class Handler(Qm_Callback):
    """Returns `result` (or raises it when it is an exception) and records
    what it was given and on which thread."""

    def __init__(self, result=0):
        Qm_Callback.__init__(self)
        self.result = result
        self.calls = []
        self.captions = []

    def run(self, event):
        words = record_words(event) if event is not None else None
        self.calls.append((thread.get_ident(), event, words))
        if words and words[0] == qm.QM_DLL_EVENT_MESSAGE_BOX:
            # The texts live only while the event is delivered.
            self.captions.append(ctypes.string_at(words[2]))
        if isinstance(self.result, BaseException):
            raise self.result
        return self.result


class Bare(object):
    """A Python self without the class layer, for bare proxies."""

    def __init__(self, result=0):
        self.result = result
        self.calls = 0

    def run(self, event):
        self.calls += 1
        return self.result


class Unraisable(object):
    """Captures what PyErr_WriteUnraisable writes to sys.stderr."""

    def __enter__(self):
        self.saved, sys.stderr = sys.stderr, StringIO()
        return self

    def __exit__(self, *exc):
        self.text = sys.stderr.getvalue()
        sys.stderr = self.saved
        return False


_pending = ctypes.pythonapi.PyErr_Occurred
_pending.restype = ctypes.c_void_p


def library_call_receiver(event=None):
    """Calls the registered receiver as the library does: through its
    address, without the interpreter lock (ctypes releases it)."""
    receiver = qmsim.Qm_Event_Receiver(qmsim.receiver())
    record = event if event is not None else qmsim.make_event(qm.QM_DLL_EVENT_SIMULATOR_LOADED)
    result = receiver(ctypes.byref(record))
    return result


def hw_event():
    return qmsim.make_event(qm.QM_DLL_EVENT_HW_CHANGE,
                            hw=(qm.QM_HW_CHANGE_BOARD_CONNECT, 3, 0xFFFFFFFF))


GOOD_RESULTS = [(7, 7, int), (0, 0, int), (0x7FFFFFFF, 0x7FFFFFFF, int),
                (0xFFFFFFFF, 4294967295, long), (True, 1, int), (False, 0, int),
                (5L, 5, int)]
BAD_RESULTS = [(-1, OverflowError), (None, TypeError), (1.5, TypeError),
               (2 ** 32, TypeError), (10 ** 30, TypeError), (-1L, TypeError),
               ('7', TypeError), (object(), TypeError)]


class CallbackTest(unittest.TestCase):
    def setUp(self):
        qm.cvar._qm_callback = None
        qm.qm_set_custom_callback(None)
        qmsim.reset()

    def tearDown(self):
        qm.cvar._qm_callback = None
        self.assertTrue(qmsim.wait_delivered(10000))


class DirectorReferences(CallbackTest):
    def test_make_disown_twice_delete(self):
        obj = Bare()
        base = sys.getrefcount(obj)
        p = qm.new_Qm_Callback(obj)
        self.assertEqual(sys.getrefcount(obj), base, 'construction takes no reference')
        self.assertTrue(p.own())
        self.assertIsNone(qm.disown_Qm_Callback(p))
        self.assertEqual(sys.getrefcount(obj), base + 1)
        qm.disown_Qm_Callback(p)
        self.assertEqual(sys.getrefcount(obj), base + 1, 'a second disown takes nothing')
        self.assertIsNone(qm.delete_Qm_Callback(p))
        self.assertEqual(sys.getrefcount(obj), base)
        self.assertFalse(p.own())

    def test_never_disowned_delete_and_teardown(self):
        obj = Bare()
        base = sys.getrefcount(obj)
        qm.delete_Qm_Callback(qm.new_Qm_Callback(obj))
        self.assertEqual(sys.getrefcount(obj), base)
        p = qm.new_Qm_Callback(obj)
        qm.cvar._qm_callback = p
        del p  # the owning proxy's teardown destroys the director
        self.assertIsNone(qm.cvar._qm_callback)
        self.assertEqual(sys.getrefcount(obj), base)

    def test_plain_object(self):
        p = qm.new_Qm_Callback(None)
        self.assertIsNone(qm.disown_Qm_Callback(p))
        self.assertTrue(p.own())
        self.assertEqual(qm.Qm_Callback_run(p, None), 1)
        self.assertIsNone(qm.disown_Qm_Callback(None))
        self.assertIsNone(qm.delete_Qm_Callback(None))
        qm.delete_Qm_Callback(p)

    def test_instance_lives_with_its_proxy(self):
        h = Handler()
        alive = weakref.ref(h)
        qm.qm_set_custom_callback(h)
        del h
        gc.collect()
        self.assertIsNone(alive())
        self.assertIsNone(qm.cvar._qm_callback, 'a destroyed director is unstored')
        self.assertEqual(library_call_receiver(), 1)

    def test_disowned_director_keeps_its_self(self):
        h = Handler(4)
        alive = weakref.ref(h)
        handle = h.__disown__()
        qm.qm_set_custom_callback(h)
        del h
        gc.collect()
        self.assertIsNotNone(alive())
        self.assertEqual(library_call_receiver(), 4)
        qm.delete_Qm_Callback(handle)  # a non-owning proxy may delete a disowned director
        self.assertIsNone(alive())
        self.assertIsNone(qm.cvar._qm_callback)
        self.assertEqual(library_call_receiver(), 1)

    def test_stale_proxies_are_refused(self):
        obj = Bare()
        p = qm.new_Qm_Callback(obj)
        borrowed = qm.new_Qm_Callback(None)
        qm.delete_Qm_Callback(p)
        for call in (lambda: qm.delete_Qm_Callback(p),
                     lambda: qm.Qm_Callback_run(p, None),
                     lambda: qm.disown_Qm_Callback(p),
                     lambda: qm.qm_set_custom_callback(p)):
            with self.assertRaises(ValueError) as cm:
                call()
            self.assertEqual(str(cm.exception), DELETED)
        with self.assertRaises(ValueError):
            qm.cvar._qm_callback = p
        self.assertEqual(obj.calls, 0)
        qm.delete_Qm_Callback(borrowed)

    def test_stale_proxy_never_reaches_a_newer_object(self):
        def at_address_of(proxy, result):
            """A new director at the address of `proxy`'s deleted object."""
            address, made, kept = int(proxy), Bare(result), []
            for _ in range(100):
                newer = qm.new_Qm_Callback(made)
                if int(newer) == address:
                    return newer, made
                kept.append(newer)
            self.fail('no allocation at the freed address')

        p = qm.new_Qm_Callback(Bare())
        qm.delete_Qm_Callback(p)
        newer, made = at_address_of(p, 7)
        for call in (lambda: qm.Qm_Callback_run(p, None),
                     lambda: qm.disown_Qm_Callback(p),
                     lambda: qm.qm_set_custom_callback(p),
                     lambda: setattr(qm.cvar, '_qm_callback', p),
                     lambda: qm.delete_Qm_Callback(p)):
            with self.assertRaises(ValueError) as cm:
                call()
            self.assertEqual(str(cm.exception), DELETED)
        self.assertEqual((made.calls, sys.getrefcount(made)), (0, 2), 'never reached')
        self.assertEqual(qm.Qm_Callback_run(newer, None), 7)
        qm.delete_Qm_Callback(newer)

        # The owner of an object deleted through a view dies after a newer
        # object took the address: its teardown leaves the newer one alone.
        h = Handler()
        qm.cvar._qm_callback = h
        qm.delete_Qm_Callback(qm.cvar._qm_callback)
        newer, made = at_address_of(h.this, 9)
        qm.cvar._qm_callback = newer
        del h
        gc.collect()
        self.assertEqual(qm._qm_callback_imp(None), 9)
        qm.delete_Qm_Callback(newer)

    def test_delete_through_a_borrowed_proxy(self):
        h = Handler()
        qm.cvar._qm_callback = h
        view = qm.cvar._qm_callback
        qm.delete_Qm_Callback(view)
        self.assertIsNone(qm.cvar._qm_callback)
        with self.assertRaises(ValueError):
            qm.Qm_Callback_run(h.this, None)
        del h  # the owner's teardown finds nothing left to destroy
        gc.collect()


class ResultsFromPython(CallbackTest):
    """_qm_callback_imp and Qm_Callback_run called from Python raise."""

    def test_nothing_or_plain_stored(self):
        self.assertEqual(qm._qm_callback_imp(None), 1)
        p = qm.new_Qm_Callback(None)
        qm.cvar._qm_callback = p
        self.assertEqual(qm._qm_callback_imp(None), 1)
        qm.cvar._qm_callback = None
        qm.delete_Qm_Callback(p)

    def test_results(self):
        h = Handler()
        qm.cvar._qm_callback = h
        for value, expected, kind in GOOD_RESULTS:
            h.result = value
            for got in (qm._qm_callback_imp(None), qm.Qm_Callback_run(h.this, None)):
                self.assertEqual(got, expected, repr(value))
                self.assertIs(type(got), kind, repr(value))
        self.assertEqual(qmsim.call_count('QmSetEventCallback'), 0,
                         'cvar assignment alone reaches the object')

    def test_bad_results(self):
        h = Handler()
        qm.cvar._qm_callback = h
        for value, error in BAD_RESULTS:
            h.result = value
            for call in (lambda: qm._qm_callback_imp(None),
                         lambda: qm.Qm_Callback_run(h.this, None)):
                with self.assertRaises(error) as cm:
                    call()
                self.assertIs(type(cm.exception), error, repr(value))
                self.assertEqual(str(cm.exception), MISMATCH)
        self.assertIsNone(_pending())

    def test_raising_run(self):
        h = Handler(KeyError('boom'))
        qm.cvar._qm_callback = h
        for call in (lambda: qm._qm_callback_imp(None),
                     lambda: qm.Qm_Callback_run(h.this, None)):
            with self.assertRaises(KeyError) as cm:
                call()
            self.assertIs(cm.exception, h.result, 'the handler\'s own exception, unchanged')

    def test_handler_receives_none_for_a_null_record(self):
        h = Handler(3)
        qm.cvar._qm_callback = h
        self.assertEqual(qm._qm_callback_imp(None), 3)
        self.assertIsNone(h.calls[0][1])

    def test_run_is_looked_up_per_event(self):
        h = Handler(2)
        qm.cvar._qm_callback = h
        self.assertEqual(qm._qm_callback_imp(None), 2)
        h.run = lambda event: 9
        self.assertEqual(qm._qm_callback_imp(None), 9)
        del h.run
        self.assertEqual(qm._qm_callback_imp(None), 2)

    def test_upcall_with_its_own_self(self):
        h = Handler(ValueError('must not be called'))
        self.assertEqual(qm.Qm_Callback_run(h, None), 1)
        self.assertEqual(h.calls, [])
        with self.assertRaises(ValueError):  # not its self: dispatched to Python
            qm.Qm_Callback_run(h.this, None)

        class Inherits(Qm_Callback):
            pass

        i = Inherits()
        qm.cvar._qm_callback = i
        self.assertEqual(qm._qm_callback_imp(None), 1, 'the base run, no recursion')

    def test_record_proxy_is_borrowed(self):
        if not hasattr(qm, 'new_Qm_Dll_Event_Param'):
            self.skipTest('event records not built yet')
        record = qm.new_Qm_Dll_Event_Param()
        source = hw_event()
        ctypes.memmove(int(record), ctypes.addressof(source), 20)
        h = Handler(6)
        qm.cvar._qm_callback = h
        self.assertEqual(qm._qm_callback_imp(record), 6)
        received = h.calls[0][1]
        self.assertEqual(h.calls[0][2], record_words(record))
        view = getattr(received, 'this', received)
        self.assertEqual(int(view), int(record))
        self.assertFalse(view.own())
        del h.calls[:], received, view
        gc.collect()
        self.assertEqual(record_words(record)[0], qm.QM_DLL_EVENT_HW_CHANGE)
        qm.delete_Qm_Dll_Event_Param(record)


class ArgumentErrors(CallbackTest):
    def test_messages(self):
        p = qm.new_Qm_Callback(None)
        cases = [
            (qm.delete_Qm_Callback, (5,), in_method('delete_Qm_Callback', 1, 'Qm_Callback *')),
            (qm.Qm_Callback_run, (5, None), in_method('Qm_Callback_run', 1, 'Qm_Callback *')),
            (qm.Qm_Callback_run, ('x', 5), in_method('Qm_Callback_run', 1, 'Qm_Callback *')),
            (qm.Qm_Callback_run, (p, 5), in_method('Qm_Callback_run', 2, 'Qm_Dll_Event_Param *')),
            (qm.Qm_Callback_run, (p, p), in_method('Qm_Callback_run', 2, 'Qm_Dll_Event_Param *')),
            (qm.disown_Qm_Callback, (1.5,), in_method('disown_Qm_Callback', 1, 'Qm_Callback *')),
            (qm._qm_callback_imp, (p,), in_method('_qm_callback_imp', 1, 'Qm_Dll_Event_Param *')),
            (qm.qm_set_custom_callback, ('cb',),
             in_method('qm_set_custom_callback', 1, 'Qm_Callback *')),
        ]
        for function, args, message in cases:
            with self.assertRaises(TypeError) as cm:
                function(*args)
            self.assertEqual(str(cm.exception), message)
        with self.assertRaises(ValueError) as cm:
            qm.Qm_Callback_run(None, None)
        self.assertEqual(str(cm.exception), in_method('Qm_Callback_run', 1, 'Qm_Callback *'))
        for function in (qm.new_Qm_Callback, qm.delete_Qm_Callback, qm._qm_callback_imp,
                         qm.Qm_Callback_run, qm.qm_set_custom_callback, qm.disown_Qm_Callback):
            self.assertRaises(TypeError, function)
            self.assertRaises(TypeError, function, None, None, None)
        self.assertEqual(qmsim.call_count('QmSetEventCallback'), 0)
        self.assertTrue(p.own(), 'a failed conversion does not disown')
        qm.delete_Qm_Callback(p)


class LinkedVariable(CallbackTest):
    def test_round_trip(self):
        self.assertIsNone(qm.cvar._qm_callback)
        h = Handler()
        qm.cvar._qm_callback = h
        view = qm.cvar._qm_callback
        self.assertIsNot(view, h)
        self.assertIsInstance(view, Qm_Callback, 'shadowed by the registered class')
        self.assertEqual(int(view.this), int(h.this))
        self.assertFalse(view.this.own())
        self.assertIsNot(qm.cvar._qm_callback, view, 'a new proxy per read')
        qm.cvar._qm_callback = h.this  # the bare proxy converts as well
        self.assertEqual(int(qm.cvar._qm_callback.this), int(h.this))
        qm.cvar._qm_callback = weakref.proxy(h)
        self.assertEqual(int(qm.cvar._qm_callback.this), int(h.this))
        qm.cvar._qm_callback = None
        self.assertIsNone(qm.cvar._qm_callback)

    def test_bad_assignments_leave_it_unchanged(self):
        h = Handler()
        qm.cvar._qm_callback = h
        values = [5, 'x', 1.0, object(), Bare()]
        record = getattr(qm, 'new_Qm_Dll_Event_Param', lambda: None)()
        if record is not None:
            values.append(record)
        for value in values:
            with self.assertRaises(TypeError) as cm:
                qm.cvar._qm_callback = value
            self.assertEqual(str(cm.exception), IN_VARIABLE)
            self.assertEqual(int(qm.cvar._qm_callback.this), int(h.this))
        with self.assertRaises(TypeError) as cm:
            del qm.cvar._qm_callback
        self.assertEqual(str(cm.exception), IN_VARIABLE)
        self.assertEqual(int(qm.cvar._qm_callback.this), int(h.this))
        if record is not None:
            qm.delete_Qm_Dll_Event_Param(record)


class LibraryDelivery(CallbackTest):
    """The receiver called by the library: failures never reach it."""

    def test_registration(self):
        h = Handler(11)
        self.assertIsNone(qm.qm_set_custom_callback(h))
        self.assertEqual(qmsim.call_count('QmSetEventCallback'), 1)
        self.assertTrue(qmsim.receiver())
        qm.qm_set_custom_callback(h)
        self.assertEqual(qmsim.call_count('QmSetEventCallback'), 2, 'registers every time')
        qm.qm_set_custom_callback(None)
        self.assertIsNone(qm.cvar._qm_callback)
        self.assertTrue(qmsim.receiver(), 'the receiver stays registered')
        self.assertEqual(library_call_receiver(), 1)

    def test_event_thread_and_record(self):
        h = Handler(11)
        qm.qm_set_custom_callback(h)
        qmsim.fire_event(hw_event())
        qmsim.fire_event(qm.QM_DLL_EVENT_MESSAGE_BOX,
                         message_box=(qm.QM_MESSAGE_BOX_ERROR, 'cap', 'msg', 1))
        self.assertTrue(qmsim.wait_delivered())
        self.assertEqual(qmsim.events_delivered(), 2)
        self.assertEqual(qmsim.receiver_result_sum(), 22)
        (tid, _, words), (_, _, words2) = h.calls
        self.assertNotEqual(tid, thread.get_ident())
        self.assertEqual(words, (qm.QM_DLL_EVENT_HW_CHANGE, qm.QM_HW_CHANGE_BOARD_CONNECT,
                                 3, 0xFFFFFFFF, 0))
        self.assertEqual(words2[:2], (qm.QM_DLL_EVENT_MESSAGE_BOX, qm.QM_MESSAGE_BOX_ERROR))
        self.assertEqual(h.captions, ['cap'])

    def test_during_a_call_on_the_callers_thread(self):
        h = Handler(5)
        qm.qm_set_custom_callback(h)
        qmsim.fire_during('QmDebugModuleModifyAll', hw_event())
        self.assertEqual(qm.QmDebugModuleModifyAll(1), qm.QM_RETURN_OK)
        self.assertFalse(qmsim.pending_during('QmDebugModuleModifyAll'))
        self.assertEqual([c[0] for c in h.calls], [thread.get_ident()])
        self.assertEqual(qmsim.receiver_result_sum(), 5)

    def test_nothing_or_plain_stored(self):
        qmsim.fire_event(hw_event())
        p = qm.new_Qm_Callback(None)
        self.assertTrue(qmsim.wait_delivered())
        qm.qm_set_custom_callback(p)
        qmsim.fire_event(hw_event())
        qmsim.fire_during('QmBoardReset', hw_event())
        qm.QmBoardReset(0)
        self.assertTrue(qmsim.wait_delivered())
        self.assertEqual((qmsim.events_delivered(), qmsim.receiver_result_sum()), (3, 3))
        qm.qm_set_custom_callback(None)
        qm.delete_Qm_Callback(p)

    def assert_reported(self, text, error, message, count):
        lines = [l for l in text.splitlines() if l.startswith('Exception ')]
        self.assertEqual(len(lines), count, text)
        for line in lines:
            self.assertIn(error.__name__, line)
            self.assertIn(message, line)
            self.assertTrue(line.endswith(' ignored'), line)

    def test_failures_are_reported_and_answered_1(self):
        h = Handler()
        qm.qm_set_custom_callback(h)
        failures = [(ValueError('boom'), ValueError, 'boom')]
        failures += [(value, error, MISMATCH) for value, error in BAD_RESULTS]
        for result, error, message in failures:
            h.result = result
            qmsim.reset()
            with Unraisable() as out:
                # library thread, a library call on this thread, a bare library call
                qmsim.fire_event(hw_event())
                self.assertTrue(qmsim.wait_delivered())
                qmsim.fire_during('QmDebugModuleModifyAll', hw_event())
                self.assertEqual(qm.QmDebugModuleModifyAll(0), 0)
                self.assertEqual(library_call_receiver(), 1)
                self.assertIsNone(_pending(), 'nothing left pending')
            self.assertEqual((qmsim.events_delivered(), qmsim.receiver_result_sum()), (2, 2))
            self.assert_reported(out.text, error, message, 3)
        h.result = 8
        with Unraisable() as out:
            self.assertEqual(library_call_receiver(), 8)
        self.assertEqual(out.text, '')

    def test_director_deleted_inside_its_own_run(self):
        class Quitter(Qm_Callback):
            def run(self, event):
                qm.qm_set_custom_callback(None)
                qm.delete_Qm_Callback(holder.pop())
                return 3

        q = Quitter()
        holder = [q.__disown__()]
        qm.qm_set_custom_callback(q)
        del q
        for _ in range(3):
            qmsim.fire_event(hw_event())
        self.assertTrue(qmsim.wait_delivered())
        self.assertEqual(qmsim.receiver_result_sum(), 3 + 1 + 1)


if __name__ == '__main__':
    unittest.main()
