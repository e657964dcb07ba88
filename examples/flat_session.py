#!/usr/bin/env python2.7
"""The exact binding, without classes: open a board, capture 1024 words and
read them with the flat functions of _qm_python. Every call returns the
library's status; nothing is raised for a failing board."""
import _qm_python as qm

BOARD, DUT, WORDS = 0, 0, 1024

status, names, version = qm.QmBoardEnum()
print 'QmBoardEnum', status, names, qm.QmVersionNumber_Major_get(version)
qm.delete_QmVersionNumber(version)
(status, handle), version = qm.QmBoardOpen(BOARD, None)
print 'QmBoardOpen', status, hex(handle)
qm.delete_QmVersionNumber(version)

setup = qm.new_QmCaptureSetup()
qm.QmCaptureSetup_TransferSize_set(setup, WORDS)
qm.QmCaptureSetup_DataFormat_set(setup, qm.QmOffsetBinaryFormat)
print 'QmBoardWriteCaptureStart', qm.QmBoardWriteCaptureStart(BOARD, DUT, setup)
buffer = qm.new_Qm_Word_Array(WORDS)
status, count = qm.QmBoardReadCaptureData(BOARD, DUT, qm.Qm_Word_Array_cast(buffer), WORDS)
words = [qm.Qm_Word_Array___getitem__(buffer, i) for i in range(count)]
print 'QmBoardReadCaptureData', status, count, 'words, first', words[:4]
print 'QmBoardWriteCaptureEnd', qm.QmBoardWriteCaptureEnd(BOARD, DUT)
status, text = qm.QmBoardReadLastError(BOARD)
print 'QmBoardReadLastError', status, repr(text)
print 'QmBoardClose', qm.QmBoardClose(BOARD)
qm.delete_Qm_Word_Array(buffer)
qm.delete_QmCaptureSetup(setup)
