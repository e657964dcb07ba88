"""ctypes access to the stand-in board library's test-control interface.

Loads libqmdll.so from $QMDLL_PATH (else build/lib/libqmdll.so under the
repository) -- the same copy the module links against, so what the module
does to the library is visible here. Thin wrappers only: names follow
qmsim.h without the prefix, function names are given as Python strings
("QmBoardOpen").
"""
import ctypes
import os

_here = os.path.dirname(os.path.abspath(__file__))
_default = os.path.join(_here, os.pardir, os.pardir, 'build', 'lib', 'libqmdll.so')
LIBRARY_PATH = os.environ.get('QMDLL_PATH') or os.path.normpath(_default)

# Loaded RTLD_GLOBAL so it is the very copy that _qm_python resolves against.
lib = ctypes.CDLL(LIBRARY_PATH, mode=getattr(ctypes, 'RTLD_GLOBAL', 0))

QmWord = ctypes.c_ulong
QmDouble = ctypes.c_double

# ---- constants used by tests (values as in qmdll.h) ----
QM_RETURN_OK, QM_RETURN_ERROR_NON_FATAL, QM_RETURN_ERROR = 0, 1, 2

QM_DLL_EVENT_HW_CHANGE = 0x1000000
QM_DLL_EVENT_MESSAGE_BOX = 0x1000001
QM_DLL_EVENT_DUT_EEPROM_RELOADED = 0x1000002
QM_DLL_EVENT_CYPRESS_EEPROM_RELOADED = 0x1000003
QM_DLL_EVENT_SIMULATOR_LOADED = 0x1000004
QM_DLL_EVENT_CHANNEL_DATA_SELECTION_CHANGED = 0x1000005

QM_HW_CHANGE_BOARD_DISCONNECT = 0x1000000
QM_HW_CHANGE_BOARD_CONNECT = 0x1000001
QM_HW_CHANGE_DUT_DISCONNECT = 0x1000002
QM_HW_CHANGE_DUT_CONNECT = 0x1000003
QM_HW_CHANGE_POWER_ON = 0x1000004
QM_HW_CHANGE_POWER_OFF = 0x1000005

QM_MESSAGE_BOX_WARNING = 0x1000000
QM_MESSAGE_BOX_ERROR = 0x1000001
QM_MESSAGE_BOX_INFORMATION = 0x1000002
QM_MESSAGE_BOX_CONFIRMATION = 0x1000003

QM_DEBUG_ACCESS_MEMORY_MAPPED = 0x1000000
QM_DEBUG_ACCESS_SPI = 0x1000001
QM_DEBUG_ACCESS_PORT_FPGA_REGISTER = 0x1000002
QM_DEBUG_ACCESS_I2C = 0x1000003
QM_DEBUG_ACCESS_CYPRESS_SFR = 0x1000004
QM_DEBUG_ACCESS_PRIVATE = 0x1000005

QM5_FPGA_REGISTER_ADDR_BASE = 0xD000
AUXBUS_DATA_ADDR_BASE = 0xCF00


# ---- event records, 4-byte packed as the library lays them out ----
class Qm_Hw_Change_Param(ctypes.Structure):
    _pack_ = 4
    _fields_ = [('id', ctypes.c_int), ('board_index', QmWord), ('dut_index', QmWord)]


class Qm_Message_Box_Param(ctypes.Structure):
    _pack_ = 4
    _fields_ = [('id', ctypes.c_int), ('Caption', ctypes.c_char_p),
                ('Message', ctypes.c_char_p), ('Enabled', QmWord)]


class Qm_Channel_Data_Selection_Changed_Params(ctypes.Structure):
    _pack_ = 4
    _fields_ = [('board_index', QmWord), ('dut_index', QmWord),
                ('channel_data_index', QmWord)]


class Qm_Dll_Event_Param_Union(ctypes.Union):
    _pack_ = 4
    _fields_ = [('hw_change', Qm_Hw_Change_Param),
                ('message_box', Qm_Message_Box_Param),
                ('channel_data_selection_changed', Qm_Channel_Data_Selection_Changed_Params)]


class Qm_Dll_Event_Param(ctypes.Structure):
    _pack_ = 4
    _fields_ = [('id', ctypes.c_int), ('param', Qm_Dll_Event_Param_Union)]


assert ctypes.sizeof(Qm_Dll_Event_Param) == 20, 'run under the 32-bit interpreter'

EventPtr = ctypes.POINTER(Qm_Dll_Event_Param)
# The receiver type the library calls (caller cleans: cdecl).
Qm_Event_Receiver = ctypes.CFUNCTYPE(QmWord, EventPtr)


def _declare(name, restype, *argtypes):
    f = getattr(lib, 'qmsim_' + name)
    f.restype = restype
    f.argtypes = list(argtypes)
    return f


_c = ctypes.c_char_p
_i = ctypes.c_int
_stream = ctypes.POINTER(ctypes.c_ubyte)
_words = ctypes.POINTER(QmWord)

_reset = _declare('reset', None)
_set_board_count = _declare('set_board_count', None, QmWord)
_plug_board = _declare('plug_board', _i, QmWord, _i)
_plug_dut = _declare('plug_dut', _i, QmWord, _i)
_power = _declare('power', _i, QmWord, _i)
_force_status = _declare('force_status', _i, _c, QmWord)
_clear_forced = _declare('clear_forced', None)
_force_output_word = _declare('force_output_word', _i, _c, QmWord)
_force_null_text = _declare('force_null_text', _i, _c, _i)
_limit_capture = _declare('limit_capture', _i, QmWord, QmWord, QmWord)
_call_count = _declare('call_count', QmWord, _c)
_set_call_delay = _declare('set_call_delay', _i, _c, _i)
_in_call = _declare('in_call', _i, _c)
_last_word = _declare('last_word', QmWord, _c, _i)
_last_is_null = _declare('last_is_null', _i, _c, _i)
_last_text = _declare('last_text', _c, _c, _i)
_receiver = _declare('receiver', ctypes.c_void_p)
_fire_event = _declare('fire_event', _i, EventPtr)
_fire_during = _declare('fire_during', _i, _c, EventPtr)
_fire_burst = _declare('fire_burst', _i, _i, _i, EventPtr)
_fire_relay = _declare('fire_relay', _i, _i, _i, EventPtr)
_wait_delivered = _declare('wait_delivered', _i, _i)
_events_delivered = _declare('events_delivered', QmWord)
_receiver_result_sum = _declare('receiver_result_sum', QmWord)
_debug_enabled = _declare('debug_enabled', _i, _i)
_debug_output_filename = _declare('debug_output_filename', _c)
_image_directory = _declare('image_directory', _c)
_board_open = _declare('board_open', _i, QmWord)
_read_cypress_eeprom = _declare('read_cypress_eeprom', _i, QmWord, QmWord, _stream, QmWord)
_read_dut_eeprom = _declare('read_dut_eeprom', _i, QmWord, QmWord, _stream, QmWord)
_read_register = _declare('read_register', _i, QmWord, _i, QmWord, _words)
_dac_sourcing = _declare('dac_sourcing', _i, QmWord)
_dac_samples = _declare('dac_samples', QmWord, QmWord, _words, QmWord)
_pending_during = _declare('pending_during', _i, _c)
_reload_eeprom = _declare('reload_eeprom', _i, QmWord, _i)
_simulator_loaded = _declare('simulator_loaded', _i)
_tone = _declare('tone', _i, QmWord, QmWord, ctypes.POINTER(QmDouble), ctypes.POINTER(QmDouble))
_set_delivery_delay = _declare('set_delivery_delay', None, _i)
_tone_cycles = _declare('tone_cycles', _i, QmWord, QmWord, _words, _words)
_set_tone_level = _declare('set_tone_level', _i, QmWord, QmDouble)
_set_tone_record = _declare('set_tone_record', _i, QmWord, QmWord)
_set_noise = _declare('set_noise', _i, QmWord, QmWord)
_set_fresh_noise = _declare('set_fresh_noise', _i, QmWord, _i)
_set_harmonic = _declare('set_harmonic', _i, QmWord, QmWord, QmDouble)
_add_tone = _declare('add_tone', _i, QmWord, QmDouble, QmDouble)
_set_transition = _declare('set_transition', _i, QmWord, _i, QmDouble)
_set_code_width = _declare('set_code_width', _i, QmWord, _i, QmDouble)
_clear_imperfections = _declare('clear_imperfections', _i, QmWord)


def _name(function):
    if not isinstance(function, bytes):
        function = function.encode('ascii')
    return function


def _check(rc, what):
    if rc != 0:
        raise ValueError('qmsim_%s failed (%d)' % (what, rc))


# ---- world ----
def reset():
    _reset()


def set_board_count(count):
    _set_board_count(count)


def plug_board(board, plugged=True):
    _check(_plug_board(board, int(bool(plugged))), 'plug_board')


def plug_dut(board, plugged=True):
    _check(_plug_dut(board, int(bool(plugged))), 'plug_dut')


def power(board, on=True):
    _check(_power(board, int(bool(on))), 'power')


# ---- forced results and the call log ----
def force_status(function, status):
    _check(_force_status(_name(function), status), 'force_status')


def clear_forced():
    _clear_forced()


def force_output_word(function, value):
    _check(_force_output_word(_name(function), value), 'force_output_word')


def force_null_text(function, on=True):
    _check(_force_null_text(_name(function), int(bool(on))), 'force_null_text')


def limit_capture(board, per_read=0, in_all=0):
    """Captures of `board` hand out at most `per_read` words a read and
    `in_all` words in all (0: no limit), then reads succeed with 0 words."""
    _check(_limit_capture(board, per_read, in_all), 'limit_capture')


def set_call_delay(function, ms):
    """Make every later call of `function` take `ms` longer (0: none)."""
    _check(_set_call_delay(_name(function), int(ms)), 'set_call_delay')


def in_call(function):
    """How many calls of `function` are running right now."""
    return int(_in_call(_name(function)))


def call_count(function):
    return int(_call_count(_name(function)))


def last_word(function, position):
    """Argument `position` (0-based) of the last call, as an unsigned word."""
    return int(_last_word(_name(function), position))


def last_is_null(function, position):
    return bool(_last_is_null(_name(function), position))


def last_text(function, position):
    """The bytes a string argument pointed to during the last call, or None."""
    return _last_text(_name(function), position)


# ---- events ----
def receiver():
    """Address of the receiver last registered with QmSetEventCallback, or None."""
    return _receiver()


def make_event(event_id, hw=None, message_box=None, selection=None):
    """Build an event record. hw=(id, board, dut); message_box=(id, caption,
    message, enabled); selection=(board, dut, channel_data_index). The record
    keeps the caption and message strings alive."""
    e = Qm_Dll_Event_Param()
    e.id = event_id
    if hw is not None:
        p = e.param.hw_change
        p.id, p.board_index, p.dut_index = hw
    if message_box is not None:
        mid, caption, message, enabled = message_box
        e._keep = (caption, message)
        p = e.param.message_box
        p.id, p.Caption, p.Message, p.Enabled = mid, caption, message, enabled
    if selection is not None:
        p = e.param.channel_data_selection_changed
        p.board_index, p.dut_index, p.channel_data_index = selection
    return e


def _event(event_id, kw):
    if isinstance(event_id, Qm_Dll_Event_Param):
        return event_id
    return make_event(event_id, **kw)


def fire_event(event_id, **kw):
    """Deliver an event from the library's event thread. `event_id` is an id
    (with make_event's keywords) or a ready Qm_Dll_Event_Param."""
    e = _event(event_id, kw)
    _check(_fire_event(ctypes.byref(e)), 'fire_event')


def fire_during(function, event_id, **kw):
    """Deliver an event on the caller's thread during the next call of `function`."""
    e = _event(event_id, kw)
    _check(_fire_during(_name(function), ctypes.byref(e)), 'fire_during')


def fire_burst(threads, count, event_id, **kw):
    e = _event(event_id, kw)
    _check(_fire_burst(threads, count, ctypes.byref(e)), 'fire_burst')


def fire_relay(threads, count, event_id, **kw):
    """As fire_burst, but each event on a fresh thread (qmsim.h)."""
    e = _event(event_id, kw)
    _check(_fire_relay(threads, count, ctypes.byref(e)), 'fire_relay')


def wait_delivered(ms=5000):
    """True once every queued or bursting event was delivered."""
    return bool(_wait_delivered(int(ms)))


def events_delivered():
    return int(_events_delivered())


def receiver_result_sum():
    return int(_receiver_result_sum())


def pending_during(function):
    """Whether an event armed with fire_during still waits for its call."""
    return bool(_pending_during(_name(function)))


def reload_eeprom(board, dut=True):
    """Fire DUT_EEPROM_RELOADED (dut) or CYPRESS_EEPROM_RELOADED from the event thread."""
    _check(_reload_eeprom(board, int(bool(dut))), 'reload_eeprom')


def simulator_loaded():
    """Fire SIMULATOR_LOADED from the event thread."""
    _check(_simulator_loaded(), 'simulator_loaded')


def set_delivery_delay(ms):
    """Make the event thread pause `ms` before each delivery (0: none)."""
    _set_delivery_delay(int(ms))


# ---- state readback ----
def debug_enabled(module):
    return bool(_debug_enabled(module))


def debug_output_filename():
    return _debug_output_filename()


def image_directory():
    return _image_directory()


def board_open(board):
    return bool(_board_open(board))


def _read_bytes(fn, board, offset, length, what):
    buf = (ctypes.c_ubyte * max(length, 1))()
    _check(fn(board, offset, buf, length), what)
    return bytes(bytearray(buf[:length]))


def read_cypress_eeprom(board, offset, length):
    return _read_bytes(_read_cypress_eeprom, board, offset, length, 'read_cypress_eeprom')


def read_dut_eeprom(board, offset, length):
    return _read_bytes(_read_dut_eeprom, board, offset, length, 'read_dut_eeprom')


def read_register(board, method, address):
    value = QmWord(0)
    _check(_read_register(board, method, address, ctypes.byref(value)), 'read_register')
    return int(value.value)


def dac_sourcing(board):
    return bool(_dac_sourcing(board))


def tone(board, channel_data_index):
    """(frequency in Hz, peak amplitude in LSB) of the test tone a capture sees."""
    f, a = QmDouble(), QmDouble()
    _check(_tone(board, channel_data_index, ctypes.byref(f), ctypes.byref(a)), 'tone')
    return f.value, a.value


def tone_cycles(board, channel_data_index):
    """(cycles, record): the test tone makes `cycles` periods in `record` samples."""
    cycles, record = QmWord(), QmWord()
    _check(_tone_cycles(board, channel_data_index, ctypes.byref(cycles), ctypes.byref(record)),
           'tone_cycles')
    return int(cycles.value), int(record.value)


# ---- known imperfections of a board's converter (qmsim.h says what each does) ----
def set_tone_level(board, level):
    """The test tone's level in dBFS (float('-inf') silences it)."""
    _check(_set_tone_level(board, level), 'set_tone_level')


def set_tone_record(board, samples):
    """Make the test tone coherent over `samples` samples (default 8192)."""
    _check(_set_tone_record(board, samples), 'set_tone_record')


def set_noise(board, peak):
    """Integer noise uniform over -peak..peak LSB (default 2; 0: none)."""
    _check(_set_noise(board, peak), 'set_noise')


def set_fresh_noise(board, on=True):
    """Every capture draws its own noise (on), or the same as the last (off, the default)."""
    _check(_set_fresh_noise(board, int(bool(on))), 'set_fresh_noise')


def set_harmonic(board, order, level):
    """Harmonic `order` of the test tone at `level` dBc."""
    _check(_set_harmonic(board, order, level), 'set_harmonic')


def add_tone(board, frequency, level):
    """A free tone of `frequency` Hz at `level` dBFS (second tone, spur, product)."""
    _check(_add_tone(board, frequency, level), 'add_tone')


def set_transition(board, code, offset):
    """Move the step from code - 1 up to `code` by `offset` LSB."""
    _check(_set_transition(board, code, offset), 'set_transition')


def set_code_width(board, code, error):
    """Make `code` `error` LSB wider (-1: missing); its neighbours take the difference."""
    _check(_set_code_width(board, code, error), 'set_code_width')


def clear_imperfections(board):
    _check(_clear_imperfections(board), 'clear_imperfections')


def dac_samples(board, max_count=65536):
    buf = (QmWord * max(max_count, 1))()
    n = int(_dac_samples(board, buf, max_count))
    return [int(v) for v in buf[:min(n, max_count)]]
