#!/usr/bin/env python2.7
"""A bench session through _qm_python: enumerate and open a board, load an
FPGA image, read the DUT's description, capture a waveform and measure it,
read the Cypress EEPROM, write and read back a register, read the last error
of a failed call, and watch the library's events as they arrive."""
import ctypes
import os
import threading
import time

import _qm_python as qm

BOARD, DUT = 0, 0
SAMPLES = 4096
STATUS = {qm.QM_RETURN_OK: 'ok', qm.QM_RETURN_ERROR_NON_FATAL: 'non-fatal error',
          qm.QM_RETURN_ERROR: 'error'}
EVENTS = {qm.QM_DLL_EVENT_HW_CHANGE: 'hardware change',
          qm.QM_DLL_EVENT_MESSAGE_BOX: 'message box',
          qm.QM_DLL_EVENT_DUT_EEPROM_RELOADED: 'DUT EEPROM reloaded',
          qm.QM_DLL_EVENT_CYPRESS_EEPROM_RELOADED: 'Cypress EEPROM reloaded',
          qm.QM_DLL_EVENT_SIMULATOR_LOADED: 'simulator loaded',
          qm.QM_DLL_EVENT_CHANNEL_DATA_SELECTION_CHANGED: 'channel data selection changed'}
HW_CHANGES = {qm.QM_HW_CHANGE_BOARD_DISCONNECT: 'board disconnected',
              qm.QM_HW_CHANGE_BOARD_CONNECT: 'board connected',
              qm.QM_HW_CHANGE_DUT_DISCONNECT: 'DUT disconnected',
              qm.QM_HW_CHANGE_DUT_CONNECT: 'DUT connected',
              qm.QM_HW_CHANGE_POWER_ON: 'power on',
              qm.QM_HW_CHANGE_POWER_OFF: 'power off'}


def record_class(name):
    """A minimal class layer over a record family: an instance holds its proxy
    in `this`, and owned records are freed through the family's destructor."""
    cls = type(name, (object,), {'__swig_destroy__': getattr(qm, 'delete_' + name)})
    getattr(qm, name + '_swigregister')(cls)
    return cls


for family in ('QmVersionNumber', 'QmDUTInfo', 'QmChannelData', 'Qm_Dll_Event_Param'):
    record_class(family)


def show(what, status, *details):
    print '%-34s %-8s %s' % (what, STATUS.get(status, status), ' '.join(str(d) for d in details))


def version_text(v):
    return '%d.%d.%d.%d' % tuple(getattr(qm, 'QmVersionNumber_%s_get' % f)(v)
                                 for f in ('Major', 'Minor', 'Release', 'Build'))


class EventPrinter(object):
    """Receives the library's events: its `this` holds a Qm_Callback director
    whose run() the library reaches on its own threads."""
    __swig_destroy__ = qm.delete_Qm_Callback

    def __init__(self):
        self.this = qm.new_Qm_Callback(self)
        self.seen = 0
        self.lock = threading.Lock()

    def run(self, event):
        kind = qm.Qm_Dll_Event_Param_id_get(event)
        param = qm.Qm_Dll_Event_Param_param_get(event)
        if kind == qm.QM_DLL_EVENT_HW_CHANGE:
            hw = qm.Qm_Dll_Event_Param_Union_hw_change_get(param)
            detail = '%s (board %d, DUT %d)' % (
                HW_CHANGES.get(qm.Qm_Hw_Change_Param_id_get(hw), '?'),
                qm.Qm_Hw_Change_Param_board_index_get(hw), qm.Qm_Hw_Change_Param_dut_index_get(hw))
        elif kind == qm.QM_DLL_EVENT_MESSAGE_BOX:
            box = qm.Qm_Dll_Event_Param_Union_message_box_get(param)
            detail = '"%s": %s' % (qm.Qm_Message_Box_Param_Caption_get(box),
                                   qm.Qm_Message_Box_Param_Message_get(box))
        elif kind == qm.QM_DLL_EVENT_CHANNEL_DATA_SELECTION_CHANGED:
            sel = qm.Qm_Dll_Event_Param_Union_channel_data_selection_changed_get(param)
            detail = 'board %d now captures with configuration %d' % (
                qm.Qm_Channel_Data_Selection_Changed_Params_board_index_get(sel),
                qm.Qm_Channel_Data_Selection_Changed_Params_channel_data_index_get(sel))
        else:
            detail = ''
        thread = threading.current_thread().name
        where = 'library thread' if thread.startswith('Dummy') else thread
        print '  event on %-14s %s %s' % (where, EVENTS.get(kind, hex(kind)), detail)
        with self.lock:
            self.seen += 1
        return 0


def stand_in_control():
    """The stand-in library's test control, to pull a cable; None with the real library."""
    path = os.environ.get('QMDLL_PATH') or os.path.join(
        os.path.dirname(os.path.abspath(qm.__file__)), 'libqmdll.so')
    try:
        control = ctypes.CDLL(path)
        control.qmsim_plug_dut.argtypes = [ctypes.c_ulong, ctypes.c_int]
        control.qmsim_wait_delivered.argtypes = [ctypes.c_int]
        return control
    except (OSError, AttributeError):
        return None


def measure(samples, rate):
    lo, hi = min(samples), max(samples)
    mean = float(sum(samples)) / len(samples)
    # Frequency from the mean crossings: two per period.
    crossings = sum(1 for a, b in zip(samples, samples[1:]) if (a - mean) * (b - mean) < 0)
    frequency = crossings / 2.0 * rate / len(samples)
    return lo, hi, mean, frequency


def main():
    qm.Qm_Callback_swigregister(EventPrinter)
    printer = EventPrinter()
    qm.qm_set_custom_callback(printer)

    status, names, library_version = qm.QmBoardEnum()
    show('QmBoardEnum', status, names, 'library', version_text(library_version))
    (status, handle), board_version = qm.QmBoardOpen(BOARD, None)
    show('QmBoardOpen', status, 'handle 0x%x' % handle, 'board', version_text(board_version))
    status, dut_names = qm.QmBoardDUTEnum(BOARD)
    show('QmBoardDUTEnum', status, dut_names)
    status, fpga_version = qm.QmBoardLoadFPGA(BOARD, DUT, 'qm_adc_capture.bit')
    show('QmBoardLoadFPGA', status, 'image', version_text(fpga_version))
    print 'loading an image that is not there (the library shows a message box):'
    status, _ = qm.QmBoardLoadFPGA(BOARD, DUT, 'missing_image.bit')
    show('QmBoardLoadFPGA missing image', status)
    qm.QmBoardLoadFPGA(BOARD, DUT, 'qm_adc_capture.bit')

    status, info, dut_version = qm.QmBoardReadDUTInfo(BOARD, DUT)
    show('QmBoardReadDUTInfo', status, 'revision', qm.QmDUTInfo_Revision_get(info),
         'version', version_text(dut_version))
    count = qm.QmDUTInfo_capture_config_count_get(info)
    configs = qm.Qm_Capture_Configuration_Array_frompointer(qm.QmDUTInfo_capture_configs_get(info))
    print '  %d capture configurations:' % count
    for i in range(count):
        cfg = qm.Qm_Capture_Configuration_Array___getitem__(configs, i)
        print '    [%d] %-24s %2d bits, %d channel(s), transfers %d..%d' % (
            i, qm.QmChannelData_Name_get(cfg), qm.QmChannelData_BitSize_get(cfg),
            qm.QmChannelData_num_channels_returned_to_user_get(cfg),
            qm.QmChannelData_TransferMinSize_get(cfg), qm.QmChannelData_TransferMaxSize_get(cfg))
    status, rate = qm.QmGetSamplingFrequency(BOARD, DUT, 0)
    show('QmGetSamplingFrequency', status, '%.3f MHz' % (rate / 1e6))

    setup = qm.new_QmCaptureSetup()
    qm.QmCaptureSetup_TransferSize_set(setup, SAMPLES)
    qm.QmCaptureSetup_ChannelDataIndex_set(setup, 0)
    qm.QmCaptureSetup_DataFormat_set(setup, qm.QmOffsetBinaryFormat)
    show('QmBoardWriteCaptureStart', qm.QmBoardWriteCaptureStart(BOARD, DUT, setup))
    buffer = qm.new_Qm_Word_Array(SAMPLES)
    status, words = qm.QmBoardReadCaptureData(BOARD, DUT, qm.Qm_Word_Array_cast(buffer), SAMPLES)
    show('QmBoardReadCaptureData', status, words, 'words')
    show('QmBoardWriteCaptureEnd', qm.QmBoardWriteCaptureEnd(BOARD, DUT))
    samples = [qm.Qm_Word_Array___getitem__(buffer, i) for i in range(words)]
    if samples:
        lo, hi, mean, frequency = measure(samples, rate)
        print '  waveform: min %d, max %d, mean %.1f, about %.3f MHz' % (lo, hi, mean, frequency / 1e6)

    stream = qm.new_Qm_Stream(16)
    status = qm.QmBoardReadCypressEEPROM(BOARD, 0, qm.Qm_Stream_cast(stream), 16)
    show('QmBoardReadCypressEEPROM', status,
         ' '.join('%02x' % qm.Qm_Stream___getitem__(stream, i) for i in range(16)))

    method = qm.QM_DEBUG_ACCESS_PORT_FPGA_REGISTER
    address = qm.QM5_FPGA_REGISTER_ADDR_BASE + 0x10
    show('QmNewestHardwareWrite', qm.QmNewestHardwareWrite(BOARD, DUT, method, address, 0, 32, 1, 0,
                                                           0xC0FFEE))
    status, value = qm.QmNewestHardwareRead(BOARD, DUT, method, address, 0, 32, 1, 0)
    show('QmNewestHardwareRead', status, '0x%x' % value)

    status = qm.QmSetDut(BOARD, DUT, 'NO-SUCH-DUT')
    show('QmSetDut unknown DUT', status)
    status, text = qm.QmBoardReadLastError(BOARD)
    show('QmBoardReadLastError', status, repr(text))

    control = stand_in_control()
    if control is not None:
        print 'pulling the DUT cable and plugging it back (stand-in library):'
        control.qmsim_plug_dut(BOARD, 0)
        control.qmsim_plug_dut(BOARD, 1)
        control.qmsim_wait_delivered(5000)
        time.sleep(0.1)

    show('QmBoardClose', qm.QmBoardClose(BOARD))
    show('QmShutdown', qm.QmShutdown())
    qm.qm_set_custom_callback(None)
    print '%d events received' % printer.seen
    for record, delete in ((setup, qm.delete_QmCaptureSetup), (buffer, qm.delete_Qm_Word_Array),
                           (stream, qm.delete_Qm_Stream)):
        delete(record)


if __name__ == '__main__':
    main()
