"""A minimal class layer over the callback family, as an application's shadow
module builds it: the instance holds its owning proxy in `this`, the class
names delete_Qm_Callback as its destructor, and subclasses override `run`.
Shared by the callback tests and bench/bench_events.py."""
import ctypes
import weakref

import _qm_python as _qm


class Qm_Callback(object):
    __swig_destroy__ = _qm.delete_Qm_Callback

    def __init__(self):
        # A plain Qm_Callback has no Python self; a subclass instance is the
        # director's self.
        _self = None if type(self) is Qm_Callback else self
        self.this = _qm.new_Qm_Callback(_self)

    def run(self, event):
        return _qm.Qm_Callback_run(self, event)

    def __disown__(self):
        self.this.disown()
        _qm.disown_Qm_Callback(self)
        return weakref.proxy(self)


_qm.Qm_Callback_swigregister(Qm_Callback)

EVENT_SIZE = 20


def record_bytes(event):
    """The 20 bytes behind an event record proxy (or shadow instance)."""
    proxy = getattr(event, 'this', event)
    return ctypes.string_at(int(proxy), EVENT_SIZE)


def record_words(event):
    """The record's five 32-bit words: id, then the union's four words."""
    import struct
    return struct.unpack('<5I', record_bytes(event))
