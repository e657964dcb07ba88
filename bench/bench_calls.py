"""Nanoseconds per call through the module next to the same library function
(or the same memory access) through ctypes, in one run. Not a test."""
import ctypes
import os
import sys
import timeit

import _qm_python as qm

LIBRARY = os.environ.get('QMDLL_PATH') or os.path.join(
    os.path.dirname(os.path.abspath(__file__)), os.pardir, 'build', 'lib', 'libqmdll.so')
lib = ctypes.CDLL(LIBRARY, mode=ctypes.RTLD_GLOBAL)
W = ctypes.c_ulong


def declare(name, *argtypes):
    f = getattr(lib, name)
    f.restype = W
    f.argtypes = list(argtypes)
    return f


c_modify_all = declare('QmDebugModuleModifyAll', W)
c_reset = declare('QmBoardReset', W)
c_write = declare('QmNewestHardwareWrite', *([W, W, ctypes.c_int] + [W] * 6))
c_enum = declare('QmBoardEnum', ctypes.POINTER(W), ctypes.POINTER(ctypes.POINTER(ctypes.c_char_p)),
                 ctypes.c_void_p)


class Version(ctypes.Structure):
    _pack_ = 4
    _fields_ = [('Major', W), ('Minor', W), ('Release', W), ('Build', W)]


def ns_per_call(fn, number):
    best = min(timeit.repeat(fn, number=number, repeat=9))
    return best / number * 1e9


def main():
    number = int(sys.argv[1]) if len(sys.argv) > 1 else 200000
    qm.delete_QmVersionNumber(qm.QmBoardOpen(0, None)[1])
    fpga = qm.QM_DEBUG_ACCESS_PORT_FPGA_REGISTER
    base = qm.QM5_FPGA_REGISTER_ADDR_BASE + 0x10
    count, names = W(), ctypes.POINTER(ctypes.c_char_p)()
    version_buf = Version()

    record = qm.new_QmVersionNumber()
    c_record = Version.from_address(int(record))
    words = qm.new_Qm_Word_Array(16)
    c_words = (W * 16).from_address(int(words))

    def c_enum_call():
        c_enum(ctypes.byref(count), ctypes.byref(names), ctypes.byref(version_buf))
        [names[i] for i in range(count.value)]

    def c_set():
        c_record.Major = 7

    rows = [
        ('QmDebugModuleModifyAll(1)', lambda: qm.QmDebugModuleModifyAll(1),
         lambda: c_modify_all(1)),
        ('QmBoardReset(0)', lambda: qm.QmBoardReset(0), lambda: c_reset(0)),
        ('QmNewestHardwareWrite (9 args)',
         lambda: qm.QmNewestHardwareWrite(0, 0, fpga, base, 0, 4, 1, 0, 5),
         lambda: c_write(0, 0, fpga, base, 0, 4, 1, 0, 5)),
        ('QmBoardEnum() + free version', lambda: qm.delete_QmVersionNumber(qm.QmBoardEnum()[2]),
         c_enum_call),
        ('QmVersionNumber_Major_get', lambda: qm.QmVersionNumber_Major_get(record),
         lambda: c_record.Major),
        ('QmVersionNumber_Major_set', lambda: qm.QmVersionNumber_Major_set(record, 7), c_set),
        ('Qm_Word_Array___getitem__', lambda: qm.Qm_Word_Array___getitem__(words, 3),
         lambda: c_words[3]),
    ]
    print('%-34s %12s %12s %8s' % ('call', 'module ns', 'ctypes ns', 'speedup'))
    for label, module_fn, ctypes_fn in rows:
        m = ns_per_call(module_fn, number)
        c = ns_per_call(ctypes_fn, number)
        print('%-34s %12.0f %12.0f %7.1fx' % (label, m, c, c / m))
    qm.delete_QmVersionNumber(record)
    qm.delete_Qm_Word_Array(words)


if __name__ == '__main__':
    main()
