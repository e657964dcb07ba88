"""How many calls into _qm_python one dut.capture(8192) makes, by function,
after a first capture has warmed the DUT's description. Not a test.

Every call made from Python code shows as a profiler c_call event. Record
properties whose accessors are the module's built-ins themselves would be
called from C and stay unseen, so they are first wrapped in Python
functions that call the same built-ins. Blocks freed by the proxies' own
teardown are not counted; reads of the registered event receiver through
the module's variable link are counted apart."""
import sys

import _qm_python
import qm_python as qm
import qmboard
from qmboard import events

SAMPLES = 8192
READS = 'cvar._qm_callback'


def _builtin(function):
    return getattr(function, '__module__', None) == _qm_python.__name__


def _through_python(function):
    if function is None or not _builtin(function):
        return function
    return lambda *args: function(*args)


def expose_properties():
    """Wraps the module-built-in accessors of every class-layer property."""
    for cls in set(c for c in vars(qm).values() if isinstance(c, type)):
        for name, attribute in list(vars(cls).items()):
            if isinstance(attribute, property):
                setattr(cls, name, property(_through_python(attribute.fget),
                                            _through_python(attribute.fset),
                                            None, attribute.__doc__))


def calls_of(action):
    """{built-in name: calls} of what `action()` calls in the module, and
    how often it read the registered receiver (cvar._qm_callback, an
    attribute of the module's variable link, which no c_call shows)."""
    counts = {}
    receiver_reads = getattr(getattr(events, '_registered', None), '__code__', None)

    def profile(frame, event, function):
        if event == 'c_call' and _builtin(function):
            counts[function.__name__] = counts.get(function.__name__, 0) + 1
        elif event == 'call' and frame.f_code is receiver_reads:
            counts[READS] = counts.get(READS, 0) + 1
    sys.setprofile(profile)
    try:
        action()
    finally:
        sys.setprofile(None)
    return counts


def main():
    expose_properties()
    with qmboard.open(0) as board:
        dut = board.dut(0)
        dut.capture(SAMPLES)
        counts = calls_of(lambda: dut.capture(SAMPLES))
    print('Calls into _qm_python made by dut.capture(%d) (the second one)' % SAMPLES)
    reads = counts.pop(READS, 0)
    for name, count in sorted(counts.items(), key=lambda item: (-item[1], item[0])):
        print('  %-52s %4d' % (name, count))
    print('  %-52s %4d' % ('total', sum(counts.values())))
    print('  %-52s %4d' % ('and reads of cvar._qm_callback', reads))


if __name__ == '__main__':
    main()
