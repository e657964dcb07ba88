"""The library's events, decoded, delivered to any callables.

on_event(handler) subscribes a callable; it is called with an Event on the
library's threads. One Qm_Callback director serves every subscriber and
qmboard itself; the library has a single event receiver, so:

- on_event registers the director (replacing a receiver registered through
  the flat qm_set_custom_callback);
- an open board only uses the receiver when it is free: at open, and
  whenever qmboard looks for hot-plug events, it registers the director if
  no receiver is registered, and never replaces one;
- the director is unregistered when the last subscription has ended and
  the last board is closed, and only while it is the registered one.

qmboard keeps each DUT's description while it hears every event that may
change it (all but message boxes and channel-data selection changes): see
epoch(). While another receiver is registered, it reads the description
anew for every capture."""
import atexit
import ctypes
import itertools
import struct
import sys
import threading
import traceback

import qm_python as qm


def _names(prefix):
    """Constant value -> lower-case name after `prefix`, from the module."""
    return dict((getattr(qm, n), n[len(prefix):].lower()) for n in dir(qm)
                if n.startswith(prefix) and not n.endswith('_MAX'))


KINDS = _names('QM_DLL_EVENT_')
CHANGES = _names('QM_HW_CHANGE_')
BOXES = _names('QM_MESSAGE_BOX_')


# The union of the event's parameter records, bytes 4 to 19 of the event
# record, read as each member.
_PARAM_OFFSET = 4
_PARAM_BYTES = ctypes.c_char * 16
_MEMBERS = {
    'hw_change': struct.Struct('<iII'),                       # id, board, dut
    'message_box': struct.Struct('<iIII'),                    # id, Caption, Message, Enabled
    'channel_data_selection_changed': struct.Struct('<III'),  # board, dut, index
}
_event_id = qm.Qm_Dll_Event_Param_id_get


def _text(address):
    """The NUL-terminated text at `address`, or None for a null pointer."""
    return ctypes.string_at(address) if address else None


def _details(kind, record):
    """The attributes of an event of `kind`, read from its record in one copy."""
    member = _MEMBERS.get(kind)
    if member is None:
        return {}
    address = int(getattr(record, 'this', record)) + _PARAM_OFFSET
    words = member.unpack_from(_PARAM_BYTES.from_address(address).raw)
    if kind == 'hw_change':
        return {'change': CHANGES.get(words[0], words[0]), 'board': words[1], 'dut': words[2]}
    if kind == 'message_box':
        return {'box': BOXES.get(words[0], words[0]), 'caption': _text(words[1]),
                'message': _text(words[2]), 'enabled': bool(words[3])}
    return {'board': words[0], 'dut': words[1], 'channel_data_index': words[2]}


class Event(object):
    """A library event, read from the library's record.

    kind: 'hw_change', 'message_box', 'dut_eeprom_reloaded',
    'cypress_eeprom_reloaded', 'simulator_loaded' or
    'channel_data_selection_changed' (the id's number when unknown); id: the
    event id. hw_change: change ('board_connect', 'dut_disconnect',
    'power_on', ...), board, dut. message_box: box ('warning', 'error',
    'information', 'confirmation'), caption, message, enabled.
    channel_data_selection_changed: board, dut, channel_data_index."""

    # id and kind are read at once; the details from the record the first
    # time one is asked for, and, for an event that someone keeps, at the end
    # of its delivery at the latest, while the record is still the library's.

    def __init__(self, record):
        self.id = _event_id(record)
        self.kind = KINDS.get(self.id, self.id)
        self._record = record

    def _decode(self):
        """Reads the details, once; False when they were read before."""
        record = self.__dict__.pop('_record', None)
        if record is None:
            return False
        self.__dict__.update(_details(self.kind, record))
        return True

    def __getattr__(self, name):
        # Only reached for attributes not set yet: the details, read now.
        if name.startswith('_') or not self._decode():
            raise AttributeError("'Event' object has no attribute %r" % name)
        return getattr(self, name)

    def __repr__(self):
        self._decode()
        details = ', '.join('%s=%r' % item for item in sorted(vars(self).items())
                            if item[0] not in ('id', 'kind'))
        return '<Event %s%s>' % (self.kind, ': ' + details if details else '')


def report_unraisable(handler):
    """Prints the exception being handled as Python prints errors it cannot
    raise, naming `handler`."""
    kind, value, trace = sys.exc_info()
    try:
        sys.stderr.write('Exception in event handler %r ignored\n' % (handler,))
        traceback.print_exception(kind, value, trace, file=sys.stderr)
    except BaseException:
        pass


# Events after which a DUT's description is the same as before.
KEEP_DESCRIPTIONS = frozenset([qm.QM_DLL_EVENT_MESSAGE_BOX,
                               qm.QM_DLL_EVENT_CHANNEL_DATA_SELECTION_CHANGED])
_ticks = itertools.count(1)
_epoch = next(_ticks)  # a fresh value after every event that may change a description


class _Dispatcher(qm.Qm_Callback):
    """The director the library calls: notes events that may change a DUT's
    description, reads the event once and hands it to every subscriber."""

    def __init__(self):
        qm.Qm_Callback.__init__(self)
        self.handlers = []

    # Every event passes here: the names it uses are bound as defaults (a
    # local look-up, not a global one).
    def run(self, record, _new=object.__new__, _kind=KINDS.get, _references=sys.getrefcount,
            _id=_event_id, _keep=KEEP_DESCRIPTIONS, _tick=_ticks.next, _Event=Event):
        global _epoch
        if record is None:
            return 1
        number = _id(record)
        if number not in _keep:
            # A tick is atomic; every stored value is new, so whoever read an
            # older one sees the change even when two deliveries race here.
            _epoch = _tick()
        handlers = self.handlers  # replaced, never changed in place
        if not handlers:
            return 0
        # What Event(record) does, without a Python frame of its own.
        event = _new(_Event)
        event.id = number
        event.kind = _kind(number, number)
        event._record = record
        try:
            for token, handler in handlers:
                try:
                    handler(event)
                except BaseException:  # SystemExit too: the next subscriber still gets it
                    report_unraisable(handler)
        finally:
            # The record goes with the delivery: an event someone kept (more
            # references than this name and the call's) reads it now; one
            # nobody kept goes with it.
            if _references(event) > 2:
                event._decode()
        return 0


# Held while the registration changes; never taken on a delivery.
_lock = threading.Lock()
_dispatcher = None
_boards = 0        # open boards that listen for hot-plug events
_exiting = False


def _registered():
    """The receiver registered through the module, or None."""
    return qm.cvar._qm_callback


def _ours(current):
    return (current is not None and _dispatcher is not None
            and int(current.this) == int(_dispatcher.this))


def _register():
    """Makes the director the library's receiver (lock held)."""
    global _dispatcher, _epoch
    if _dispatcher is None:
        _dispatcher = _Dispatcher()
    qm.qm_set_custom_callback(_dispatcher)
    _epoch = next(_ticks)  # events went elsewhere until now


def _release():
    """Drops the director once nothing needs it (lock held)."""
    global _dispatcher
    if _dispatcher is not None and not _dispatcher.handlers and not _boards:
        if _ours(_registered()):
            qm.qm_set_custom_callback(None)
        _dispatcher = None


def epoch():
    """A value that stays the same while no event arrives that may change a
    DUT's description (hot-plug, power, EEPROM reloads, simulator loaded);
    None while qmboard does not hear the library's events (another receiver
    is registered), when nothing read earlier can be trusted. Registers the
    director when boards are open and no receiver is registered."""
    with _lock:
        if _exiting:
            return None
        current = _registered()
        if not _ours(current):
            if current is not None or not _boards:
                return None
            _register()
        return _epoch


def listen():
    """An open board starts listening for hot-plug events."""
    global _boards
    with _lock:
        _boards += 1
        if not _exiting and _registered() is None:
            _register()


def stop_listening():
    """A board was closed."""
    global _boards
    with _lock:
        _boards = max(0, _boards - 1)
        _release()


def _unsubscriber(token):
    def unsubscribe():
        """Ends this subscription (later calls do nothing)."""
        with _lock:
            if _dispatcher is None:
                return
            kept = [entry for entry in _dispatcher.handlers if entry[0] is not token]
            if len(kept) == len(_dispatcher.handlers):
                return
            _dispatcher.handlers = kept
            _release()
    return unsubscribe


def on_event(handler):
    """Calls `handler(event)` for every library event from now on, on the
    library's threads; returns a function that ends the subscription. An
    exception raised by a handler (SystemExit and KeyboardInterrupt too) is
    printed and delivery goes on to the other subscribers. Subscribing makes
    qmboard's director the library's event receiver, replacing one that was
    registered through the flat qm_set_custom_callback."""
    if not callable(handler):
        raise TypeError('an event handler must be callable, not %r' % (handler,))
    token = object()  # a handler subscribed twice has two subscriptions
    with _lock:
        if not _ours(_registered()):
            _register()
        _dispatcher.handlers = _dispatcher.handlers + [(token, handler)]
    return _unsubscriber(token)


@atexit.register
def _unsubscribe_all():
    """At exit the library stops delivering to this layer before the
    interpreter tears the director's Python side down."""
    global _dispatcher, _exiting
    with _lock:
        _exiting = True
        if _dispatcher is not None:
            if _ours(_registered()):
                qm.qm_set_custom_callback(None)
            _dispatcher = None
