"""Events under concurrency: library threads delivering at once while Python
threads call other wrappers, threads the interpreter never saw, a handler
that calls back into the library. Each scenario runs in its own interpreter
under a watchdog, so a deadlock fails its test instead of hanging the suite;
every count is exact, nothing is timed."""
import os
import sys
import threading
import unittest

from watchdog import run_child

WATCHDOG_SECONDS = 120
HERE = os.path.abspath(__file__)


# ---- scenarios (run in the child) ----

def _setup(result):
    import qmsim
    import _qm_python as qm
    from callback_layer import Qm_Callback

    class Counter(Qm_Callback):
        def __init__(self):
            Qm_Callback.__init__(self)
            self.count = 0
            self.threads = set()
            self.lock = threading.Lock()  # handlers on several threads interleave

        def run(self, event):
            with self.lock:
                self.count += 1
            self.threads.add(threading.current_thread().ident)
            if isinstance(result, BaseException):
                raise result
            return result

    qmsim.reset()
    counter = Counter()
    qm.qm_set_custom_callback(counter)
    return qm, qmsim, counter


def _expect(condition, what):
    if not condition:
        raise SystemExit('FAILED: ' + what)


def _event(qm, qmsim):
    return qmsim.make_event(qm.QM_DLL_EVENT_HW_CHANGE, hw=(qm.QM_HW_CHANGE_POWER_ON, 1, 0))


def _python_callers(qm, qmsim, rounds, during_every=0):
    """Python threads that call wrappers while events arrive; each also has
    events delivered inside its own calls. Returns (threads, calls made)."""
    made = []

    def caller(i):
        for n in range(rounds):
            if during_every and n % during_every == 0:
                qmsim.fire_during('QmBoardReset', _event(qm, qmsim))
            _expect(qm.QmDebugModuleModifyAll(n & 1) == 0, 'QmDebugModuleModifyAll status')
            qm.QmBoardReset(i % 2)
            made.append(i)

    threads = [threading.Thread(target=caller, args=(i,)) for i in range(3)]
    for t in threads:
        t.start()
    return threads, made


def scenario_burst():
    qm, qmsim, counter = _setup(2)
    threads, made = _python_callers(qm, qmsim, 300, during_every=10)
    qmsim.fire_burst(4, 500, _event(qm, qmsim))
    qmsim.fire_burst(2, 250, _event(qm, qmsim))
    for t in threads:
        t.join()
    _expect(qmsim.wait_delivered(60000), 'bursts delivered')
    during = 3 * 30
    total = 4 * 500 + 2 * 250 + during
    _expect(len(made) == 900, 'python calls %d' % len(made))
    _expect(counter.count == total, 'handler saw %d of %d' % (counter.count, total))
    _expect(qmsim.events_delivered() == total, 'delivered %d' % qmsim.events_delivered())
    _expect(qmsim.receiver_result_sum() == 2 * total, 'result sum')
    _expect(len(counter.threads) >= 4, 'events came from several threads')


def scenario_burst_failing():
    qm, qmsim, counter = _setup(RuntimeError('handler failed'))
    pieces = []

    class Sink(object):
        write = pieces.append  # atomic, unlike StringIO's bookkeeping

    sys.stderr = Sink()
    threads, made = _python_callers(qm, qmsim, 100, during_every=5)
    qmsim.fire_burst(3, 200, _event(qm, qmsim))
    for t in threads:
        t.join()
    _expect(qmsim.wait_delivered(60000), 'bursts delivered')
    text, sys.stderr = ''.join(pieces), sys.__stderr__
    total = 600 + 3 * 20
    _expect(counter.count == total, 'handler saw %d of %d' % (counter.count, total))
    _expect(qmsim.receiver_result_sum() == total, 'every failure answered 1')
    # Reports from several threads may interleave piece by piece.
    reports = text.count("RuntimeError('handler failed',)")
    _expect(reports == total, 'reports %d' % reports)


def scenario_foreign_thread_while_main_waits():
    """The library's event thread enters while the main thread sits in a
    library wrapper and in plain Python code; the handler calls back into
    the library from that foreign thread."""
    qm, qmsim, counter = _setup(0)
    seen = []

    class Reentrant(type(counter)):
        def run(self, event):
            seen.append(qm.QmDebugModuleModifyAll(1))  # a wrapper on the library's thread
            return 7

    r = Reentrant()
    qm.qm_set_custom_callback(r)
    qmsim.set_delivery_delay(1)
    for _ in range(50):
        qmsim.fire_event(_event(qm, qmsim))
    busy = 0
    while not qmsim.wait_delivered(0):
        busy += 1  # keeps taking the lock back between deliveries
    qmsim.set_delivery_delay(0)
    _expect(qmsim.wait_delivered(60000), 'events delivered')
    _expect(seen == [0] * 50, 'reentrant calls %r' % seen[:5])
    _expect(qmsim.receiver_result_sum() == 350, 'result sum %d' % qmsim.receiver_result_sum())


def scenario_swap_objects_while_bursting():
    """Objects stored, replaced and deleted while events arrive: each event
    goes to some live object or gets 1; nothing crashes."""
    qm, qmsim, counter = _setup(2)
    from callback_layer import Qm_Callback
    qmsim.fire_burst(3, 2000, _event(qm, qmsim))
    plain = qm.new_Qm_Callback(None)
    for n in range(200):
        qm.qm_set_custom_callback(counter if n % 2 else plain)
        qm.cvar._qm_callback = None if n % 3 == 0 else counter
    qm.qm_set_custom_callback(None)
    _expect(qmsim.wait_delivered(60000), 'bursts delivered')
    handled = counter.count
    _expect(qmsim.events_delivered() == 6000, 'delivered')
    _expect(qmsim.receiver_result_sum() == 6000 + handled, 'sum %d handled %d' % (
        qmsim.receiver_result_sum(), handled))
    qm.delete_Qm_Callback(plain)
    del Qm_Callback


def _thread_states():
    """How many thread states the interpreter has now."""
    import ctypes
    api = ctypes.pythonapi
    api.PyInterpreterState_Head.restype = ctypes.c_void_p
    api.PyInterpreterState_ThreadHead.restype = ctypes.c_void_p
    api.PyInterpreterState_ThreadHead.argtypes = [ctypes.c_void_p]
    api.PyThreadState_Next.restype = ctypes.c_void_p
    api.PyThreadState_Next.argtypes = [ctypes.c_void_p]
    count, state = 0, api.PyInterpreterState_ThreadHead(api.PyInterpreterState_Head())
    while state:
        count, state = count + 1, api.PyThreadState_Next(state)
    return count


def _settle(expected, seconds=60):
    """Waits until the interpreter is back to `expected` thread states (a
    library thread releases its own when it ends, after its last event)."""
    import time
    until = time.time() + seconds
    while _thread_states() != expected and time.time() < until:
        time.sleep(0.01)
    return _thread_states()


def scenario_thread_states():
    """A library thread keeps one thread state over its events, so what `run`
    keeps in a threading.local survives from one event to the next; it
    releases that state when it ends, so threads that deliver one event each
    leave none behind and a new thread never finds an old one's; a Python
    thread that had events delivered inside its calls keeps its own."""
    qm, qmsim, counter = _setup(0)
    local = threading.local()
    seen = []

    class Keeper(type(counter)):
        def run(self, event):
            local.events = getattr(local, 'events', 0) + 1
            seen.append(local.events)
            return 0

    keeper = Keeper()
    qm.qm_set_custom_callback(keeper)
    base = _thread_states()
    qmsim.fire_burst(1, 50, _event(qm, qmsim))
    _expect(qmsim.wait_delivered(60000), 'burst delivered')
    _expect(seen == range(1, 51), 'one state over the thread: %r' % seen[:8])
    _expect(_settle(base) == base, 'the burst thread left its state: %d' % _thread_states())

    del seen[:]
    qmsim.fire_relay(4, 500, _event(qm, qmsim))
    _expect(qmsim.wait_delivered(60000), 'relays delivered')
    _expect(len(seen) == 2000 and set(seen) == set([1]), 'fresh state per thread: %r' % (
        sorted(set(seen)),))
    _expect(_settle(base) == base, 'relay threads left %d states' % (_thread_states() - base))

    def python_caller():
        qmsim.fire_during('QmBoardReset', _event(qm, qmsim))
        qm.QmBoardReset(0)
        local.events = 100  # this thread's own, not a library thread's

    callers = [threading.Thread(target=python_caller) for _ in range(3)]
    for caller in callers:
        caller.start()
        caller.join()
    _expect(seen[2000:] == [1, 1, 1], 'inside the Python threads\' calls: %r' % seen[2000:])
    qmsim.fire_burst(2, 20, _event(qm, qmsim))
    _expect(qmsim.wait_delivered(60000), 'second burst delivered')
    _expect(_settle(base) == base, 'after the Python threads: %d states' % _thread_states())


SCENARIOS = [name for name in dir() if name.startswith('scenario_')]


# ---- the watchdog (parent) ----

def run_scenario(name):
    return run_child([sys.executable, HERE, name], WATCHDOG_SECONDS)


class Concurrency(unittest.TestCase):
    pass


def _make_test(name):
    def test(self):
        expired, code, output = run_scenario(name)
        self.assertFalse(expired, '%s deadlocked (killed after %ds)\n%s' % (
            name, WATCHDOG_SECONDS, output))
        self.assertEqual(code, 0, '%s exited with %s\n%s' % (name, code, output))
    return test


for _name in SCENARIOS:
    setattr(Concurrency, 'test_' + _name[len('scenario_'):], _make_test(_name))


if __name__ == '__main__':
    if len(sys.argv) == 2 and sys.argv[1] in SCENARIOS:
        globals()[sys.argv[1]]()
        sys.exit(0)
    unittest.main()
