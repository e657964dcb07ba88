"""Events per second from library threads into a Python handler that returns
0: through the module's receiver and director (a typed record proxy per
event) next to a ctypes CFUNCTYPE callback registered with the same library
and fired the same way, in one run; then through qmboard.on_event to a
handler that does nothing, next to the module's flat path. Not a test."""
import ctypes
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, os.pardir, 'tests', 'python'))

import qmsim  # noqa: E402
import _qm_python as qm  # noqa: E402
from callback_layer import Qm_Callback  # noqa: E402


class Handler(Qm_Callback):
    def run(self, event):
        return 0


@qmsim.Qm_Event_Receiver
def ctypes_handler(event):
    return 0


set_event_callback = qmsim.lib.QmSetEventCallback
set_event_callback.restype = ctypes.c_ulong
set_event_callback.argtypes = [qmsim.Qm_Event_Receiver]


def burst_rate(threads, count):
    """Events per second of one burst of `threads` fresh library threads."""
    event = qmsim.make_event(qm.QM_DLL_EVENT_HW_CHANGE, hw=(qm.QM_HW_CHANGE_POWER_ON, 0, 0))
    qmsim.reset()
    start = time.time()
    qmsim.fire_burst(threads, count, event)
    if not qmsim.wait_delivered(600000):
        raise SystemExit('events not delivered')
    elapsed = time.time() - start
    assert qmsim.events_delivered() == threads * count
    return threads * count / elapsed


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 40000
    rounds = 9
    handler = Handler()
    flat = {}
    print('%-32s %14s %14s %8s' % ('delivery (best of %d)' % rounds, 'module ev/s',
                                    'ctypes ev/s', 'ratio'))
    for threads in (1, 4):
        module = bare = 0.0
        # Alternate the two so that load from elsewhere hits both alike.
        for _ in range(rounds):
            qm.qm_set_custom_callback(handler)
            module = max(module, burst_rate(threads, count // threads))
            set_event_callback(ctypes_handler)
            bare = max(bare, burst_rate(threads, count // threads))
        qm.qm_set_custom_callback(handler)  # the module's receiver again
        print('%-32s %14.0f %14.0f %7.2fx' % (
            '%d library thread(s), run -> 0' % threads, module, bare, module / bare))
        flat[threads] = module
    qm.qm_set_custom_callback(None)
    import qmboard
    print('%-32s %14s %14s %8s' % ('qmboard.on_event(lambda e: None)', 'ev/s', '', 'of flat'))
    for threads in (1, 4):
        unsubscribe = qmboard.on_event(lambda event: None)
        layered = max(burst_rate(threads, count // threads) for _ in range(rounds))
        unsubscribe()
        print('%-32s %14.0f %14s %7.2fx' % ('%d library thread(s)' % threads, layered, '',
                                            flat[threads] / layered))


if __name__ == '__main__':
    main()
