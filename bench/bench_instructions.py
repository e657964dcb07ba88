"""Instructions per event and per call, counted by valgrind's callgrind: the
stable measure where wall-clock time varies between runs. Each workload runs
in its own interpreter under callgrind; a function's inclusive count divided
by the number of times the workload made it run is the figure. Not a test.

Events: the module's receiver (_qm_callback_imp) next to a ctypes CFUNCTYPE
callback (libffi's closure entry, which includes the thread state ctypes makes
per event), each called by the stand-in from fresh library threads that
deliver without pause; and through qmboard.on_event. Calls: record accessors
next to the hand-written floor of bench/accessor_baseline.cpp, library calls."""
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, os.pardir)

EVENTS = 20000
CALLS = 20000


# ---- workloads (run in the child, under callgrind) ----

def _library():
    sys.path.insert(0, os.path.join(ROOT, 'tests', 'python'))
    import qmsim
    import _qm_python as qm
    return qmsim, qm


def _fire(qmsim, qm, threads, count):
    event = qmsim.make_event(qm.QM_DLL_EVENT_HW_CHANGE, hw=(qm.QM_HW_CHANGE_POWER_ON, 0, 0))
    qmsim.reset()
    qmsim.fire_burst(threads, count // threads, event)
    if not qmsim.wait_delivered(3600000):
        raise SystemExit('events not delivered')


def workload_events_module(threads, count):
    qmsim, qm = _library()
    from callback_layer import Qm_Callback

    class Handler(Qm_Callback):
        def run(self, event):
            return 0

    handler = Handler()
    qm.qm_set_custom_callback(handler)
    _fire(qmsim, qm, threads, count)
    qm.qm_set_custom_callback(None)


def workload_events_ctypes(threads, count):
    import ctypes
    qmsim, qm = _library()

    @qmsim.Qm_Event_Receiver
    def handler(event):
        return 0

    register = qmsim.lib.QmSetEventCallback
    register.restype = ctypes.c_ulong
    register.argtypes = [qmsim.Qm_Event_Receiver]
    register(handler)
    _fire(qmsim, qm, threads, count)
    register(qmsim.Qm_Event_Receiver())


def workload_events_qmboard(threads, count):
    qmsim, qm = _library()
    import qmboard
    unsubscribe = qmboard.on_event(lambda event: None)
    _fire(qmsim, qm, threads, count)
    unsubscribe()


def workload_calls(count):
    qmsim, qm = _library()
    sys.path.insert(0, os.path.join(ROOT, 'build', 'lib', 'benchonly'))
    import _qm_baseline as floor
    record, words = qm.new_QmVersionNumber(), qm.new_Qm_Word_Array(16)
    floor.learn(record, words)
    fpga = qm.QM_DEBUG_ACCESS_PORT_FPGA_REGISTER
    base = qm.QM5_FPGA_REGISTER_ADDR_BASE + 0x10
    qm.delete_QmVersionNumber(qm.QmBoardOpen(0, None)[1])
    for _ in xrange(count):
        qm.QmVersionNumber_Major_get(record)
        floor.QmVersionNumber_Major_get(record)
        qm.Qm_Word_Array___getitem__(words, 3)
        floor.Qm_Word_Array___getitem__(words, 3)
        qm.QmVersionNumber_Major_set(record, 7)
        qm.QmDebugModuleModifyAll(1)
        qm.QmNewestHardwareWrite(0, 0, fpga, base, 0, 4, 1, 0, 5)
    qm.delete_QmVersionNumber(record)
    qm.delete_Qm_Word_Array(words)


# ---- the parent ----

def inclusive_counts(argv):
    """Runs argv under callgrind; returns {function name: inclusive instructions}."""
    handle, out = tempfile.mkstemp(prefix='callgrind.', suffix='.out')
    os.close(handle)
    try:
        with open(os.devnull, 'w') as quiet:
            subprocess.check_call(['valgrind', '--tool=callgrind', '--callgrind-out-file=' + out]
                                  + argv, stdout=quiet, stderr=quiet)
            text = subprocess.check_output(['callgrind_annotate', '--inclusive=yes',
                                            '--threshold=100', out], stderr=quiet)
    finally:
        os.unlink(out)
    counts, objects = {}, {}
    for line in text.splitlines():
        # "  86,701,410 (51.69%)  file:function [object]". A function may be
        # listed once per source file it has code from, and run from the
        # repository it is: the first line of a name is the largest, its
        # whole count; the object may be named on another of its lines.
        found = re.match(r'\s*([\d,]+)\s+\([^)]*\)\s+\S*?:(.+?)(?: \[(.*)\])?$', line)
        if found:
            name = found.group(2).strip()
            counts.setdefault(name, int(found.group(1).replace(',', '')))
            if found.group(3):
                objects.setdefault(name, os.path.basename(found.group(3)))
    counts = dict((name + ' @' + objects.get(name, ''), count) for name, count in counts.items())
    return counts


def per_run(counts, pattern, runs):
    """The largest inclusive count of a function matching `pattern` (its
    name, " @", its object's file name), per run."""
    found = [count for name, count in counts.items() if re.search(pattern, name)]
    if not found:
        raise SystemExit('no function matching %r in the profile' % pattern)
    return max(found) / float(runs)


def child(*arguments):
    return [sys.executable, os.path.abspath(__file__)] + [str(a) for a in arguments]


RECEIVER = r'^_qm_callback_imp @_qm_python'
# libffi's closure entry, which the library's call reaches through the
# closure's trampoline (libffi's symbols are stripped: the largest of its).
CLOSURE = r'@libffi\.so'


def main():
    try:
        subprocess.check_call(['valgrind', '--version'], stdout=open(os.devnull, 'w'))
    except (OSError, subprocess.CalledProcessError):
        print('instructions: valgrind is not installed: skipped')
        return
    print('%-44s %12s %12s %8s' % ('instructions per event (callgrind)', 'module', 'ctypes',
                                   'ratio'))
    flat = {}
    for threads in (1, 4):
        module = per_run(inclusive_counts(child('events_module', threads, EVENTS)), RECEIVER, EVENTS)
        bare = per_run(inclusive_counts(child('events_ctypes', threads, EVENTS)), CLOSURE, EVENTS)
        flat[threads] = module
        print('%-44s %12.0f %12.0f %7.2fx' % ('%d library thread(s), run -> 0' % threads,
                                             module, bare, bare / module))
    for threads in (1, 4):
        layered = per_run(inclusive_counts(child('events_qmboard', threads, EVENTS)), RECEIVER,
                          EVENTS)
        print('%-44s %12.0f %12s %7.2fx of flat' % (
            'qmboard.on_event(lambda e: None), %d thread(s)' % threads, layered, '',
            layered / flat[threads]))
    counts = inclusive_counts(child('calls', CALLS))
    print('%-44s %12s %12s %8s' % ('instructions per call (callgrind)', 'module', 'floor', 'ratio'))
    for name, floor in (('QmVersionNumber_Major_get', 'major_get'),
                        ('Qm_Word_Array___getitem__', 'word_getitem')):
        module = per_run(counts, r'^qm::py::%s\(.* @' % name, CALLS)
        bare = per_run(counts, r'anonymous namespace\)::%s\(' % floor, CALLS)
        print('%-44s %12.0f %12.0f %7.2fx' % (name, module, bare, module / bare))
    for name in ('QmVersionNumber_Major_set', 'QmDebugModuleModifyAll', 'QmNewestHardwareWrite'):
        print('%-44s %12.0f' % (name, per_run(counts, r'^qm::py::%s\(.* @' % name, CALLS)))


if __name__ == '__main__':
    if len(sys.argv) > 1:
        globals()['workload_' + sys.argv[1]](*[int(a) for a in sys.argv[2:]])
    else:
        main()
