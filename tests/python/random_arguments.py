"""Seeded random and boundary arguments for the public names of the Python
layers, and the check every such call must pass: it returns, or raises one of
the exceptions the layer documents, and leaves no exception pending in the
interpreter. A crash ends the test process, which fails the test.

    values = Values(seed=18, makers=[qm.QmVersionNumber, lambda: qm.Qm_Word_Array(2).cast()])
    check = Checker()                            # DOCUMENTED exceptions allowed
    check.call('Qm_Word_Array', qm.Qm_Word_Array, values.pick())
    assert check.faults == []
"""
import array
import ctypes
import random

DOCUMENTED = (TypeError, ValueError, IndexError, OverflowError, MemoryError)


def boundary_values():
    """New boundary values: the edges of the 32-bit rules, floats that compare
    badly, None and booleans, text of both kinds, bytes-like objects, lists,
    slices and objects of no use at all. New objects on every call, since a
    call may keep or change what it is given."""
    return [0, 1, -1, 3, 255, 256, 2 ** 31 - 1, 2 ** 31, -2 ** 31, -2 ** 31 - 1, 2 ** 32 - 1,
            2 ** 32, 2 ** 64, 1.5, -0.0, float('nan'), float('inf'), float('-inf'), None, True,
            False, '', 'abcd', '\x00\xff\x00\xff', u'', u'abcd', u'\u20ac', bytearray('ab'),
            memoryview('abcd'), buffer('abcd'), array.array('B', [1, 2]),
            array.array('I', [1, 2, 3, 4]), array.array('d', [1.5]), [], [1, 2], [256], [-1],
            [1.5], ['a'], (1, 2, 3, 4), {}, {'a': 1}, object(), int, len, slice(0, 2),
            slice(-1, None), slice(None, None, -1), slice(1.5, 2)]


class Values(object):
    """A seeded source of arguments: boundary values (with a layer's own
    `extra` ones) and, about one time in three, an object that one of
    `makers` (callables without arguments) makes fresh: proxies of the wrong
    type, views, pointers, open boards, ..."""

    def __init__(self, seed, makers=(), extra=()):
        self.random = random.Random(seed)
        self.makers = list(makers)
        self.extra = list(extra)

    def pick(self):
        if self.makers and self.random.random() < 0.3:
            return self.random.choice(self.makers)()
        return self.random.choice(boundary_values() + self.extra)

    def picks(self, count):
        return [self.pick() for _ in range(count)]

    def choice(self, items):
        return self.random.choice(items)


_occurred = ctypes.pythonapi.PyErr_Occurred
_occurred.restype = ctypes.c_void_p


def pending_exception():
    """The exception a C function left set although it returned, or None."""
    try:
        address = _occurred()  # a call through pythonapi raises what is pending
    except BaseException as exception:
        return exception
    return 'an exception' if address else None


def _shown(args, kwargs):
    parts = [repr(a)[:60] for a in args] + ['%s=%s' % (k, repr(v)[:60]) for k, v in kwargs.items()]
    return ', '.join(parts)


class Checker(object):
    """Makes the calls and collects what is wrong with them: an exception
    outside `allowed` (ctypes.ArgumentError, AttributeError, KeyError, ...),
    or one left pending. `calls` counts the calls, `raised` the allowed
    exceptions by class name."""

    def __init__(self, allowed=DOCUMENTED, keep=20, judge=None):
        self.allowed = allowed
        self.judge = judge  # an allowed exception -> a fault text, or None when it is fine
        self.keep = keep
        self.calls = 0
        self.raised = {}
        self.faults = []

    def _fault(self, text):
        if len(self.faults) < self.keep:
            self.faults.append(text)

    def call(self, label, function, *args, **kwargs):
        """function(*args, **kwargs): its result, or None when it raised."""
        self.calls += 1
        result = None
        try:
            result = function(*args, **kwargs)
        except self.allowed as exception:
            name = type(exception).__name__
            self.raised[name] = self.raised.get(name, 0) + 1
            wrong = self.judge(exception) if self.judge else None
            if wrong:
                self._fault('%s(%s) raised %s: %s (%s)' % (label, _shown(args, kwargs), name,
                                                           exception, wrong))
        except BaseException as exception:
            self._fault('%s(%s) raised %s: %s' % (label, _shown(args, kwargs),
                                                   type(exception).__name__, exception))
        pending = pending_exception()
        if pending is not None:
            self._fault('%s(%s) left %r pending' % (label, _shown(args, kwargs), pending))
        return result
