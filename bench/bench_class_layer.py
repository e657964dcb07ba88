"""Reading 65,536 captured words into Python: one Qm_Word_Array___getitem__
call per word, the best hand-written ctypes paths (from_address or string_at
plus one copy), and qmboard's capture read (raw words, and decoded per data
format). Then a record property next to the flat accessor it calls. Not a
test."""
import array
import ctypes
import sys
import timeit

import qm_python as qm
from qmboard import samples

WORDS = 65536
BITS = 14


def seconds(fn, number):
    return min(timeit.repeat(fn, number=number, repeat=7)) / number


def filled_buffer():
    """A Qm_Word_Array holding a real capture of WORDS words (offset binary)."""
    qm.QmBoardOpen(0, None)
    setup = qm.QmCaptureSetup(TransferSize=WORDS, DataFormat=qm.QmOffsetBinaryFormat)
    qm.QmBoardWriteCaptureStart(0, 0, setup)
    buffer = qm.Qm_Word_Array(WORDS)
    status, got = qm.QmBoardReadCaptureData(0, 0, buffer.cast(), WORDS)
    qm.QmBoardWriteCaptureEnd(0, 0)
    assert (status, got) == (0, WORDS)
    return buffer


def capture_rows(buffer):
    flat, address = buffer.this, int(buffer.this)
    get = qm.Qm_Word_Array___getitem__
    code = qm.WORD_TYPECODE
    c_words = ctypes.c_uint32 * WORDS

    def from_address():
        words = array.array(code)
        words.fromstring(buffer_of(c_words.from_address(address)))
        return words

    def string_at():
        words = array.array(code)
        words.fromstring(ctypes.string_at(address, 4 * WORDS))
        return words

    buffer_of = lambda c: ctypes.string_at(ctypes.addressof(c), ctypes.sizeof(c))
    ctypes_paths = [('ctypes from_address + one copy', from_address),
                    ('ctypes string_at + one copy', string_at)]
    flat_time = seconds(lambda: [get(flat, i) for i in xrange(WORDS)], 3)
    rows = [('flat: %d x Qm_Word_Array___getitem__' % WORDS, flat_time)]
    rows += [(label, seconds(fn, 50)) for label, fn in ctypes_paths]
    best = min(t for label, t in rows[1:])
    rows.append(('qmboard raw words (Qm_Word_Array.read)', seconds(buffer.read, 50)))
    raw = buffer.tostring()
    for fmt in (samples.OFFSET_BINARY, samples.TWOS_COMPLEMENT, samples.BINARY):
        rows.append(('qmboard decoded, %s, %d bits' % (samples.FORMAT_NAMES[fmt], BITS),
                     seconds(lambda: samples.decode(buffer.tostring(), BITS, fmt), 20)))
    assert list(buffer.read()) == list(string_at()) == [get(flat, i) for i in xrange(WORDS)]
    assert list(samples.decode(raw, BITS, samples.OFFSET_BINARY)) == [
        get(flat, i) - (1 << (BITS - 1)) for i in xrange(WORDS)]
    print('Reading %d captured words into Python' % WORDS)
    print('%-44s %10s %12s %14s' % ('path', 'ms', 'x faster', 'x best ctypes'))
    for label, t in rows:
        print('%-44s %10.3f %11.1fx %13.2fx' % (label, t * 1e3, flat_time / t, t / best))


def property_rows():
    version = qm.QmVersionNumber(Major=5)
    event = qm.Qm_Dll_Event_Param()
    cmd = qm.Qm_Dac_Cmd_Data()
    get, set_ = qm.QmVersionNumber_Major_get, qm.QmVersionNumber_Major_set

    def assign():
        version.Major = 7  # through the class's assignment rule

    rows = [('QmVersionNumber.Major read', lambda: version.Major, lambda: get(version)),
            ('QmVersionNumber.Major = 7', assign, lambda: set_(version, 7)),
            ('setattr(version, "Major", 7)', lambda: setattr(version, 'Major', 7),
             lambda: set_(version, 7)),
            ('Qm_Dll_Event_Param.param (a view)', lambda: event.param,
             lambda: qm.Qm_Dll_Event_Param_param_get(event)),
            ('Qm_Dac_Cmd_Data.channel (a pointer)', lambda: cmd.channel,
             lambda: qm.Qm_Dac_Cmd_Data_channel_get(cmd))]
    number = 200000
    print('\nA record property next to the flat accessor it calls')
    print('%-36s %12s %12s %8s' % ('access', 'property ns', 'flat ns', 'ratio'))
    for label, prop, flat in rows:
        p, f = seconds(prop, number) * 1e9, seconds(flat, number) * 1e9
        print('%-36s %12.0f %12.0f %7.2fx' % (label, p, f, p / f))


def main():
    capture_rows(filled_buffer())
    property_rows()


if __name__ == '__main__':
    main()
