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
import itertools
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


class Event(object):
    """A library event, copied out of the library's record.

    kind: 'hw_change', 'message_box', 'dut_eeprom_reloaded',
    'cypress_eeprom_reloaded', 'simulator_loaded' or
    'channel_data_selection_changed' (the id's number when unknown); id: the
    event id. hw_change: change ('board_connect', 'dut_disconnect',
    'power_on', ...), board, dut. message_box: box ('warning', 'error',
    'information', 'confirmation'), caption, message, enabled.
    channel_data_selection_changed: board, dut, channel_data_index."""

    def __init__(self, record):
        self.id = record.id
        self.kind = KINDS.get(self.id, self.id)
        param = record.param
        if self.kind == 'hw_change':
            p = param.hw_change
            self.change = CHANGES.get(p.id, p.id)
            self.board, self.dut = p.board_index, p.dut_index
        elif self.kind == 'message_box':
            p = param.message_box
            self.box = BOXES.get(p.id, p.id)
            self.caption, self.message, self.enabled = p.Caption, p.Message, bool(p.Enabled)
        elif self.kind == 'channel_data_selection_changed':
            p = param.channel_data_selection_changed
            self.board, self.dut = p.board_index, p.dut_index
            self.channel_data_index = p.channel_data_index

    def __repr__(self):
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
    description, decodes the event once and hands it to every subscriber."""

    def __init__(self):
        qm.Qm_Callback.__init__(self)
        self.handlers = []

    def run(self, record):
        global _epoch
        if record is None:
            return 1
        if record.id not in KEEP_DESCRIPTIONS:
            # next() is atomic; every stored value is new, so whoever read an
            # older one sees the change even when two deliveries race here.
            _epoch = next(_ticks)
        handlers = self.handlers  # replaced, never changed in place
        if handlers:
            event = Event(record)
            for token, handler in handlers:
                try:
                    handler(event)
                except BaseException:  # SystemExit too: the next subscriber still gets it
                    report_unraisable(handler)
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
