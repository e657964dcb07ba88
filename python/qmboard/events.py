"""The library's events, decoded, delivered to any callables.

on_event(handler) subscribes a callable; it is called with an Event on the
library's threads. One Qm_Callback director serves every subscriber: it is
registered with the library on the first subscription and released after
the last one ends."""
import atexit
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
    except Exception:
        pass


class _Dispatcher(qm.Qm_Callback):
    """The director the library calls: decodes the event once and hands it
    to every subscriber."""

    def __init__(self):
        qm.Qm_Callback.__init__(self)
        self.handlers = []

    def run(self, record):
        if record is None:
            return 1
        event = Event(record)
        for token, handler in self.handlers:  # replaced, never changed in place
            try:
                handler(event)
            except Exception:
                report_unraisable(handler)
        return 0


_lock = threading.Lock()
_dispatcher = None


def _unsubscriber(token):
    def unsubscribe():
        """Ends this subscription (later calls do nothing)."""
        global _dispatcher
        with _lock:
            if _dispatcher is None:
                return
            kept = [entry for entry in _dispatcher.handlers if entry[0] is not token]
            if len(kept) == len(_dispatcher.handlers):
                return
            _dispatcher.handlers = kept
            if not kept:
                qm.qm_set_custom_callback(None)
                _dispatcher = None
    return unsubscribe


def on_event(handler):
    """Calls `handler(event)` for every library event from now on, on the
    library's threads; returns a function that ends the subscription. An
    exception raised by a handler is printed and delivery goes on."""
    global _dispatcher
    if not callable(handler):
        raise TypeError('an event handler must be callable, not %r' % (handler,))
    token = object()  # a handler subscribed twice has two subscriptions
    with _lock:
        if _dispatcher is None:
            _dispatcher = _Dispatcher()
            qm.qm_set_custom_callback(_dispatcher)
        _dispatcher.handlers = _dispatcher.handlers + [(token, handler)]
    return _unsubscriber(token)


@atexit.register
def _unsubscribe_all():
    """At exit the library stops delivering to this layer before the
    interpreter tears the director's Python side down."""
    global _dispatcher
    with _lock:
        if _dispatcher is not None:
            qm.qm_set_custom_callback(None)
            _dispatcher = None
