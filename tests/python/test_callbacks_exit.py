"""Events at the edges of a life: library threads streaming into a Python
`run` while the main thread leaves with sys.exit(), and a callback object
deleted while another thread is inside its `run`. Each scenario runs in its
own interpreter under a watchdog; the deletion also under valgrind where it
is installed. Run with the debug interpreter (scripts/test_debug.sh) the
same scenarios check reference counts and freed-memory fills too."""
import os
import re
import subprocess
import sys
import unittest

from watchdog import run_child

HERE = os.path.abspath(__file__)
VALGRIND = ['valgrind', '-q', '--error-exitcode=99',
            '--suppressions=' + os.path.join(os.path.dirname(HERE), 'valgrind-python2.supp')]
WATCHDOG_SECONDS = 120
EXIT_RUNS = 20
INTERPRETER = 'debug' if hasattr(sys, 'gettotalrefcount') else 'release'
# What is printed at exit by design: the debug build's reference total only
# (a callback object still alive when the interpreter has dropped its class
# registration goes with the process, without a leak notice).
OWN_OUTPUT = re.compile(r"^\[\d+ refs\]\n?", re.M)


# ---- scenarios (run in the child) ----

def _expect(condition, what):
    if not condition:
        raise SystemExit('FAILED: ' + what)


def _event(qm, qmsim):
    return qmsim.make_event(qm.QM_DLL_EVENT_HW_CHANGE, hw=(qm.QM_HW_CHANGE_POWER_ON, 1, 0))


def scenario_exit_while_streaming(variant):
    """4 library threads deliver without pause while the main thread exits.
    Variants: the handler lives on into finalization (0), does so and sleeps
    inside `run`, so deliveries queue for the lock (1), or dies while
    SystemExit unwinds, in the middle of the stream (2)."""
    import atexit
    import os
    import threading
    import time

    # Registered before the module's own handler, so it runs after it: from
    # then on no delivery may enter Python.
    exiting, write = [], os.write
    atexit.register(exiting.append, True)

    import qmsim
    import _qm_python as qm
    from callback_layer import Qm_Callback

    streaming = threading.Event()

    class Streamed(Qm_Callback):
        def __init__(self, pause):
            Qm_Callback.__init__(self)
            self.pause, self.seen = pause, 0

        def run(self, event):
            if exiting:
                write(2, 'a delivery entered Python during exit\n')
            self.seen += 1
            if self.seen >= 200:  # threads interleave: it may skip 200
                streaming.set()
            if self.pause:
                time.sleep(self.pause)
            # Module globals, and a library call that releases the lock: as
            # a bench script's handler does.
            return LIBRARY.QmBoardReset(0) + 2

    global LIBRARY
    LIBRARY = qm
    qmsim.reset()
    handler = Streamed(0.001 if variant == 1 else 0)
    if variant != 2:
        globals()['kept_until_exit'] = handler
    qm.qm_set_custom_callback(handler)
    qmsim.fire_burst(4, 10 ** 8, _event(qm, qmsim))
    streaming.wait(60)
    _expect(streaming.is_set(), 'events are streaming')
    sys.exit(0)


def scenario_exit_dropping_the_handler():
    """Four Python daemon threads call the module, every event comes on a
    fresh library thread, and the registered handler's last reference is
    the frame that raises SystemExit: it dies while the exception unwinds,
    with deliveries under way and threads starting and ending."""
    import atexit
    import os
    import threading

    exiting, write = [], os.write
    atexit.register(exiting.append, True)  # runs after the module's drain

    import qmsim
    import _qm_python as qm
    from callback_layer import Qm_Callback

    # Bound once: the names stay callable while the exit clears modules.
    reset, modify, deliver = qm.QmBoardReset, qm.QmDebugModuleModifyAll, qm._qm_callback_imp
    new, get = qm.new_QmVersionNumber, qm.QmVersionNumber_Major_get

    # A record no proxy owns: a daemon thread stopped anywhere holds nothing
    # that could print a leak notice at exit. (An owning proxy of a record
    # without a class, held across a call that releases the lock, would: the
    # exit clears the stopped thread's frame, and that notice is the
    # binding's defined behaviour for an owned block with no destructor.)
    shared = new()
    shared.disown()

    def caller():
        while True:
            reset(0)
            modify(1)
            deliver(None)  # the Python way into the same receiver
            get(shared)

    def stream_then_exit():
        streaming = threading.Event()

        class Streamed(Qm_Callback):
            seen = 0

            def run(self, event):
                if exiting:
                    write(2, 'a delivery entered Python during exit\n')
                self.seen += 1
                if self.seen >= 200:
                    streaming.set()
                return reset(0) + 2

        handler = Streamed()
        qm.qm_set_custom_callback(handler)
        for _ in range(4):
            thread = threading.Thread(target=caller)
            thread.daemon = True
            thread.start()
        qmsim.fire_relay(4, 10 ** 8, _event(qm, qmsim))
        streaming.wait(60)
        _expect(streaming.is_set(), 'events are streaming')
        sys.exit(0)  # `handler` goes with this frame, while SystemExit unwinds

    qmsim.reset()
    stream_then_exit()


def scenario_delete_while_running():
    """The main thread deletes a director while the event thread sleeps in
    its `run`: freed once, when that delivery leaves; later events get 1.
    Then while a delivery waits for the lock: that one gets 1 as well."""
    import ctypes
    import gc
    import threading
    import time
    import weakref
    import qmsim
    import _qm_python as qm
    from callback_layer import Qm_Callback

    inside, release = threading.Event(), threading.Event()

    class Sleeper(Qm_Callback):
        def run(self, event):
            inside.set()
            release.wait(60)
            return 5

    qmsim.reset()
    sleeper = Sleeper()
    handle = sleeper.__disown__()  # its self now dies exactly when the director is freed
    freed = weakref.ref(sleeper)
    qm.qm_set_custom_callback(sleeper)
    del sleeper
    qmsim.fire_event(_event(qm, qmsim))
    _expect(inside.wait(60) or inside.is_set(), 'run entered')
    qm.delete_Qm_Callback(handle)
    gc.collect()
    _expect(freed() is not None, 'freed under the running delivery')
    _expect(qm.cvar._qm_callback is None, 'still stored after delete')
    qmsim.fire_burst(2, 3, _event(qm, qmsim))  # start after the delete
    release.set()
    _expect(qmsim.wait_delivered(60000), 'events delivered')
    _expect(qmsim.receiver_result_sum() == 5 + 6, 'sum %d' % qmsim.receiver_result_sum())
    gc.collect()
    _expect(freed() is None, 'not freed when the delivery left')

    calls = []

    class Counter(Qm_Callback):
        def run(self, event):
            calls.append(event)
            return 7

    counter = Counter()
    qm.qm_set_custom_callback(counter)
    # This thread keeps the lock from firing to deleting: no switch (the new
    # interval counts once the old one has run out), a burst started through
    # a handle that does not release the lock, a spin in bytecode.
    sys.setcheckinterval(10 ** 9)
    for _ in range(200):
        pass
    fire_burst = ctypes.PyDLL(qmsim.LIBRARY_PATH).qmsim_fire_burst
    fire_burst(1, 1, ctypes.byref(_event(qm, qmsim)))
    until = time.time() + 0.5
    while time.time() < until:
        pass  # the burst thread reaches the receiver and waits for the lock
    qm.delete_Qm_Callback(counter)
    sys.setcheckinterval(100)
    _expect(qmsim.wait_delivered(60000), 'burst delivered')
    _expect((calls, qmsim.receiver_result_sum()) == ([], 5 + 6 + 1),
            'after the delete: %d calls, sum %d' % (len(calls), qmsim.receiver_result_sum()))


# ---- the parent ----

def run_scenario(*argv, **options):
    prefix = options.get('prefix', [])
    expired, code, output = run_child(prefix + [sys.executable, HERE] + list(argv),
                                      options.get('seconds', WATCHDOG_SECONDS))
    return expired, code, OWN_OUTPUT.sub('', output)


def valgrind_works():
    try:
        return subprocess.call(VALGRIND + [sys.executable, '-c', 'pass']) == 0
    except OSError:
        return False


class Exit(unittest.TestCase):
    def check_exits(self, what, argv_of_run):
        failures = []
        for run in range(EXIT_RUNS):
            expired, code, output = run_scenario(*argv_of_run(run))
            if expired or code != 0 or output:
                failures.append('run %d: %s, status %s\n%s' % (
                    run, 'killed by the watchdog' if expired else 'ended', code, output[-2000:]))
        sys.stderr.write('\n%s, %s interpreter: %d runs, %d clean exits\n' % (
            what, INTERPRETER, EXIT_RUNS, EXIT_RUNS - len(failures)))
        self.assertEqual(failures, [])

    def test_exit_while_library_threads_stream(self):
        self.check_exits('exit while streaming',
                         lambda run: ('scenario_exit_while_streaming', str(run % 3)))

    def test_exit_dropping_the_handler_among_python_threads(self):
        self.check_exits('exit dropping the handler, a thread per event',
                         lambda run: ('scenario_exit_dropping_the_handler',))


class DeleteWhileRunning(unittest.TestCase):
    def check(self, expired, code, output):
        self.assertFalse(expired, 'killed by the watchdog\n' + output)
        self.assertEqual((code, output), (0, ''))

    def test_in_its_own_process(self):
        self.check(*run_scenario('scenario_delete_while_running'))

    def test_under_valgrind(self):
        if INTERPRETER == 'debug' or not valgrind_works():
            self.skipTest('valgrind cannot run %s here' % sys.executable)
        self.check(*run_scenario('scenario_delete_while_running', seconds=600, prefix=VALGRIND))


if __name__ == '__main__':
    if len(sys.argv) >= 2 and sys.argv[1].startswith('scenario_'):
        globals()[sys.argv[1]](*[int(a) for a in sys.argv[2:]])
        sys.exit(0)
    unittest.main()
