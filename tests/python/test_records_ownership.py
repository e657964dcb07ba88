"""Who owns what: string copies and the blocks shared by by-value copies,
library memory that must never be freed, disowning pointer setters,
destructors that refuse borrowed proxies, the owner's teardown, and (under
the debug interpreter) flat reference counts over repeated use."""
import ctypes
import os
import struct
import subprocess
import sys
import unittest

import _qm_python as qm
from record_fixture import MadeRecords
import qmsim
from runtime_support import heap_growth

HERE = os.path.dirname(os.path.abspath(__file__))
# Long enough that a freed block would have its first bytes reused by the
# allocator's free lists, so reading through a dangling pointer shows.
LONG = 'a string long enough to notice when its block is reused'


def pointer_at(proxy, offset):
    return struct.unpack('<I', ctypes.string_at(int(proxy) + offset, 4))[0]


class StringFields(MadeRecords):
    def test_setter_stores_a_copy_up_to_the_first_nul(self):
        text = LONG + '\0tail'
        a, b = self.new('Qm_Gui_Tab'), self.new('Qm_Gui_Tab')
        qm.Qm_Gui_Tab_caption_set(a, text)
        qm.Qm_Gui_Tab_caption_set(b, text)
        buffer = id(text) + str.__basicsize__ - 1
        self.assertNotIn(pointer_at(a, 0), (0, buffer, pointer_at(b, 0)))
        self.assertEqual(qm.Qm_Gui_Tab_caption_get(a), LONG)
        del text
        self.assertEqual(ctypes.string_at(pointer_at(b, 0)), LONG)

    def test_freed_records_and_arrays_free_their_strings(self):
        # 1,000 records, arrays and event records with their strings set,
        # each freed: the strings go with them (they would be ~300 KB).
        def churn():
            for _ in range(1000):
                tab = qm.new_Qm_Gui_Tab()
                qm.Qm_Gui_Tab_caption_set(tab, 'c' * 100)
                qm.Qm_Gui_Tab_tags_set(tab, 't' * 100)
                qm.delete_Qm_Gui_Tab(tab)
                configs = qm.new_Qm_Capture_Configuration_Array(2)
                qm.QmChannelData_Name_set(qm.Qm_Capture_Configuration_Array_cast(configs), 'n' * 60)
                qm.delete_Qm_Capture_Configuration_Array(configs)
                event = qm.new_Qm_Dll_Event_Param()
                union = qm.Qm_Dll_Event_Param_param_get(event)
                box = qm.Qm_Dll_Event_Param_Union_message_box_get(union)
                qm.Qm_Message_Box_Param_Message_set(box, 'm' * 60)
                qm.delete_Qm_Dll_Event_Param(event)
        self.assertLess(heap_growth(churn), 16384)

    def test_library_strings_are_replaced_never_freed(self):
        qmsim.reset()
        version = qm.QmBoardOpen(0, None)[-1]
        self.made.append((qm.delete_QmVersionNumber, version))
        _, info, v = qm.QmBoardReadDUTInfo(0, 0)
        self.made += [(qm.delete_QmDUTInfo, info), (qm.delete_QmVersionNumber, v)]
        library_text = pointer_at(info, 36)
        original = qm.QmDUTInfo_Revision_get(info)
        qm.QmDUTInfo_Revision_set(info, 'mine')
        qm.QmDUTInfo_Revision_set(info, None)
        self.assertEqual(ctypes.string_at(library_text), original)
        configs = qm.Qm_Capture_Configuration_Array_frompointer(
            qm.QmDUTInfo_capture_configs_get(info))
        qm.QmChannelData_Name_set(qm.Qm_Capture_Configuration_Array_cast(configs), 'renamed')
        _, again, v2 = qm.QmBoardReadDUTInfo(0, 0)
        self.made += [(qm.delete_QmDUTInfo, again), (qm.delete_QmVersionNumber, v2)]
        self.assertEqual(qm.QmDUTInfo_Revision_get(again), original)
        # Memory inside a Python object: freeing it would abort the process.
        buffer = ctypes.create_string_buffer('python owned')
        t = self.new('QmTextDefinition')
        ctypes.memmove(int(t), struct.pack('<I', ctypes.addressof(buffer)), 4)
        self.assertEqual(qm.QmTextDefinition_Text_get(t), 'python owned')
        qm.QmTextDefinition_Text_set(t, 'replaced')
        self.assertEqual(buffer.value, 'python owned')
        qm.QmTextDefinition_Text_set(t, None)


class SharedStrings(MadeRecords):
    """By-value copies share string blocks; a block goes with its last holder."""

    def message_box(self, caption, message):
        m = self.new('Qm_Message_Box_Param')
        qm.Qm_Message_Box_Param_Caption_set(m, caption)
        qm.Qm_Message_Box_Param_Message_set(m, message)
        return m

    def test_union_member_copy_shares_and_outlives_the_source(self):
        m = self.message_box(LONG, LONG + '!')
        u = self.new('Qm_Dll_Event_Param_Union')
        qm.Qm_Dll_Event_Param_Union_message_box_set(u, m)
        view = qm.Qm_Dll_Event_Param_Union_message_box_get(u)
        self.assertEqual(pointer_at(u, 4), pointer_at(m, 4))
        self.assertEqual(qm.Qm_Message_Box_Param_Caption_get(view), LONG)
        # The source lets go of its block: the union still holds it.
        qm.Qm_Message_Box_Param_Caption_set(m, 'new')
        self.assertEqual(qm.Qm_Message_Box_Param_Caption_get(view), LONG)
        qm.delete_Qm_Message_Box_Param(m)
        self.assertEqual(qm.Qm_Message_Box_Param_Message_get(view), LONG + '!')
        # Copying the union onto itself keeps its holders.
        qm.Qm_Dll_Event_Param_Union_message_box_set(u, view)
        self.assertEqual(qm.Qm_Message_Box_Param_Caption_get(view), LONG)
        # Through param copies into two event records, then the union goes.
        e1, e2 = self.new('Qm_Dll_Event_Param'), self.new('Qm_Dll_Data_Param')
        qm.Qm_Dll_Event_Param_param_set(e1, u)
        qm.Qm_Dll_Data_Param_param_set(e2, qm.Qm_Dll_Event_Param_param_get(e1))
        qm.Qm_Message_Box_Param_Caption_set(view, None)
        qm.delete_Qm_Dll_Event_Param_Union(u)
        for e, get in ((e1, qm.Qm_Dll_Event_Param_param_get), (e2, qm.Qm_Dll_Data_Param_param_get)):
            box = qm.Qm_Dll_Event_Param_Union_message_box_get(get(e))
            self.assertEqual(qm.Qm_Message_Box_Param_Caption_get(box), LONG)
            self.assertEqual(qm.Qm_Message_Box_Param_Message_get(box), LONG + '!')
        # Overwriting the member with another one lets go of both strings.
        h = self.new('Qm_Hw_Change_Param')
        qm.Qm_Dll_Event_Param_Union_hw_change_set(qm.Qm_Dll_Event_Param_param_get(e1), h)
        box = qm.Qm_Dll_Event_Param_Union_message_box_get(qm.Qm_Dll_Data_Param_param_get(e2))
        self.assertEqual(qm.Qm_Message_Box_Param_Caption_get(box), LONG)
        qm.Qm_Message_Box_Param_Caption_set(box, None)
        qm.Qm_Message_Box_Param_Message_set(box, None)

    def test_a_shared_block_outlives_its_first_owner_under_valgrind(self):
        # Freed memory is filled (and, where valgrind runs, every read of it
        # is an error): each copy must still read its own text.
        env = dict(os.environ, MALLOC_PERTURB_='165')
        command = [sys.executable, '-c', SHARED_STRINGS]
        if valgrind_works():
            command = VALGRIND + command
        child = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        out, err = child.communicate()
        self.assertEqual((child.returncode, out), (0, 'shared texts intact\n'), err)

    def test_capture_configuration_items_share_names(self):
        c = self.new('QmChannelData')
        qm.QmChannelData_Name_set(c, LONG)
        a = self.new('Qm_Capture_Configuration_Array', 2)
        qm.Qm_Capture_Configuration_Array___setitem__(a, 0, c)
        qm.Qm_Capture_Configuration_Array___setitem__(a, 1, c)
        copy = qm.Qm_Capture_Configuration_Array___getitem__(a, 1)
        self.made.append((qm.delete_QmChannelData, copy))
        self.assertTrue(copy.own())
        self.assertEqual(pointer_at(copy, 0), pointer_at(c, 0))
        qm.delete_QmChannelData(c)
        qm.Qm_Capture_Configuration_Array___setitem__(a, 0, copy)  # overwrites a holder
        qm.delete_Qm_Capture_Configuration_Array(a)
        self.assertEqual(qm.QmChannelData_Name_get(copy), LONG)
        # The element seen through _cast is a record like any other.
        b = self.new('Qm_Capture_Configuration_Array', 1)
        qm.Qm_Capture_Configuration_Array___setitem__(b, 0, copy)
        qm.QmChannelData_Name_set(copy, 'changed copy')
        first = qm.Qm_Capture_Configuration_Array_cast(b)
        self.assertEqual(qm.QmChannelData_Name_get(first), LONG)
        qm.QmChannelData_Name_set(first, None)
        qm.QmChannelData_Name_set(copy, None)


class Ownership(MadeRecords):
    NOT_OWNER = ("cannot free through a proxy that does not own its block in method '%s', "
                 "argument 1 of type '%s *'")

    def refused(self, family, proxy):
        with self.assertRaises(ValueError) as caught:
            getattr(qm, 'delete_' + family)(proxy)
        self.assertEqual(str(caught.exception), self.NOT_OWNER % ('delete_' + family, family))

    def test_pointer_setters_disown_except_char_pointer_arrays(self):
        d = self.new('QmDUTInfo')
        configs = self.new('Qm_Capture_Configuration_Array', 2)
        dac = self.new('Qm_Dac_Download_Configuration')
        qm.QmDUTInfo_capture_configs_set(d, configs)
        qm.QmDUTInfo_dac_configs_set(d, dac)
        self.assertFalse(configs.own())
        self.assertFalse(dac.own())
        self.assertEqual(pointer_at(d, 32), int(configs))
        self.refused('Qm_Capture_Configuration_Array', configs)
        self.refused('Qm_Dac_Download_Configuration', dac)
        # Disowned blocks are still usable through the record.
        qm.QmChannelData_BitSize_set(qm.QmDUTInfo_capture_configs_get(d), 12)
        self.assertEqual(qm.QmChannelData_BitSize_get(qm.Qm_Capture_Configuration_Array_cast(configs)),
                         12)
        # Ownership comes back only when asked for.
        configs.acquire()
        dac.acquire()
        qm.QmDUTInfo_capture_configs_set(d, None)
        qm.QmDUTInfo_dac_configs_set(d, None)
        # A borrowed _cast proxy gives nothing away: its array still frees.
        w = self.new('Qm_Word_Array', 4)
        cmd = self.new('Qm_Dac_Cmd_Data')
        qm.Qm_Dac_Cmd_Data_data_set(cmd, qm.Qm_Word_Array_cast(w))
        self.assertTrue(w.own())

    def test_delete_refuses_borrowed_proxies_and_second_deletes(self):
        e = self.new('Qm_Dll_Event_Param')
        u = qm.Qm_Dll_Event_Param_param_get(e)
        self.refused('Qm_Dll_Event_Param_Union', u)
        self.refused('Qm_Hw_Change_Param', qm.Qm_Dll_Event_Param_Union_hw_change_get(u))
        w = self.new('Qm_Word_Array', 2)
        self.refused('Qm_Word_Array', qm.Qm_Word_Array_frompointer(qm.Qm_Word_Array_cast(w)))
        c = self.new('QmChannelData')
        self.refused('Qm_Capture_Configuration_Array', qm.Qm_Capture_Configuration_Array_frompointer(c))
        self.refused('QmChannelData', qm.Qm_Capture_Configuration_Array_cast(
            qm.Qm_Capture_Configuration_Array_frompointer(c)))
        qm.delete_QmChannelData(c)
        self.refused('QmChannelData', c)
        self.assertFalse(c.own())
        # A proxy that acquired ownership by hand is trusted.
        v = qm.new_QmVersionNumber()
        v.disown()
        self.refused('QmVersionNumber', v)
        v.acquire()
        qm.delete_QmVersionNumber(v)

    def test_owner_teardown_frees_through_the_registered_destructor(self):
        # In a process of its own: registering classes changes every later getter.
        script = r'''
import gc, _qm_python as qm
class Record(object):
    __swig_destroy__ = qm.delete_QmVersionNumber
class Array(object):
    __swig_destroy__ = qm.delete_Qm_Word_Array
class Box(object):
    __swig_destroy__ = qm.delete_Qm_Message_Box_Param
class Union(object):
    __swig_destroy__ = qm.delete_Qm_Dll_Event_Param_Union
qm.QmVersionNumber_swigregister(Record)
qm.Qm_Word_Array_swigregister(Array)
qm.Qm_Message_Box_Param_swigregister(Box)
qm.Qm_Dll_Event_Param_Union_swigregister(Union)
for i in range(200):
    r = qm.new_QmVersionNumber(); qm.QmVersionNumber_Major_set(r, i); del r
    w = qm.new_Qm_Word_Array(8); del w
    u = qm.new_Qm_Dll_Event_Param_Union()
    m = qm.new_Qm_Message_Box_Param(); qm.Qm_Message_Box_Param_Caption_set(m, 'x' * 40)
    qm.Qm_Dll_Event_Param_Union_message_box_set(u, m)
    view = qm.Qm_Dll_Event_Param_Union_message_box_get(u)
    assert type(view) is Box and not view.this.own()
    try:
        qm.delete_Qm_Message_Box_Param(view)
    except ValueError:
        pass
    else:
        raise SystemExit('a borrowed shadow instance was deleted')
    del m, view
    assert qm.Qm_Message_Box_Param_Caption_get(qm.Qm_Dll_Event_Param_Union_message_box_get(u)) == 'x' * 40
    del u
gc.collect()
print('done')
'''
        env = dict(os.environ)
        process = subprocess.Popen([sys.executable, '-c', script], stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, env=env)
        out, err = process.communicate()
        self.assertEqual((process.returncode, out, err), (0, 'done\n', ''))


@unittest.skipUnless(hasattr(sys, 'gettotalrefcount'), 'needs the debug interpreter')
class ReferenceCounts(unittest.TestCase):
    def exercise(self):
        r = qm.new_QmChannelData()
        qm.QmChannelData_Name_set(r, 'name')
        qm.QmChannelData_Name_get(r)
        qm.QmChannelData_BitSize_set(r, 0xFFFFFFFF)
        qm.QmChannelData_BitSize_get(r)
        qm.QmChannelData___u10___set(r, 2.5)
        qm.QmChannelData___u10___get(r)
        qm.QmChannelData_default_data_format_set(r, 7)
        qm.QmChannelData_default_data_format_get(r)
        view = qm.QmChannelData___u9___get(r)
        w = qm.new_Qm_Word_Array(8)
        qm.Qm_Word_Array___setitem__(w, 7, 0xFFFFFFFF)
        qm.Qm_Word_Array___getitem__(w, 7)
        qm.QmChannelData___u9___set(r, qm.Qm_Word_Array_cast(w))
        qm.Qm_Word_Array___getitem__(qm.Qm_Word_Array_frompointer(view), 0)
        a = qm.new_Qm_Capture_Configuration_Array(2)
        qm.Qm_Capture_Configuration_Array___setitem__(a, 1, r)
        item = qm.Qm_Capture_Configuration_Array___getitem__(a, 1)
        d = qm.new_QmDUTInfo()
        qm.QmDUTInfo_capture_configs_set(d, a)
        qm.QmDUTInfo_capture_configs_get(d)
        s = qm.new_Qm_Stream(4)
        qm.Qm_Stream___setitem__(s, 3, 255)
        qm.Qm_Stream___getitem__(s, 3)
        e = qm.new_Qm_Dll_Event_Param()
        qm.Qm_Dll_Event_Param_Union_hw_change_get(qm.Qm_Dll_Event_Param_param_get(e))
        for call, args in ((qm.QmChannelData_BitSize_set, (r, -1)),
                           (qm.QmChannelData_Name_set, (r, 5)),
                           (qm.QmChannelData___u9___set, (r, None)),
                           (qm.QmChannelData_Name_get, (None,)),
                           (qm.Qm_Word_Array___getitem__, (w, 8)),
                           (qm.Qm_Capture_Configuration_Array___setitem__, (a, 0, None)),
                           (qm.delete_QmChannelData, (view,)),
                           (qm.new_Qm_Word_Array, (1 << 30,))):
            try:
                call(*args)
            except (TypeError, ValueError, OverflowError, IndexError, MemoryError):
                pass
        qm.QmChannelData_Name_set(r, None)
        qm.QmChannelData_Name_set(item, None)
        qm.QmDUTInfo_capture_configs_set(d, None)
        a.acquire()
        for family, proxy in (('QmChannelData', r), ('QmChannelData', item), ('QmDUTInfo', d),
                              ('Qm_Capture_Configuration_Array', a), ('Qm_Word_Array', w),
                              ('Qm_Stream', s), ('Qm_Dll_Event_Param', e)):
            getattr(qm, 'delete_' + family)(proxy)

    def test_totals_stay_flat(self):
        for _ in range(20):
            self.exercise()
        sys.exc_clear()
        before = sys.gettotalrefcount()
        for _ in range(200):
            self.exercise()
        sys.exc_clear()
        self.assertLess(abs(sys.gettotalrefcount() - before), 20)


VALGRIND = ['valgrind', '-q', '--error-exitcode=99',
            '--suppressions=' + os.path.join(HERE, 'valgrind-python2.supp')]


def valgrind_works():
    if hasattr(sys, 'gettotalrefcount'):
        return False
    try:
        return subprocess.call(VALGRIND + [sys.executable, '-c', 'pass']) == 0
    except OSError:
        return False


# Every by-value copy that shares a string block (union member setter,
# `param` copy, array item set and item copy), then the owners go one by one.
SHARED_STRINGS = r'''
import _qm_python as qm
text = 'a caption shared by copies of its record ' * 3
box = qm.new_Qm_Message_Box_Param()
qm.Qm_Message_Box_Param_Caption_set(box, text)
event = qm.new_Qm_Dll_Event_Param()
qm.Qm_Dll_Event_Param_Union_message_box_set(qm.Qm_Dll_Event_Param_param_get(event), box)
data = qm.new_Qm_Dll_Data_Param()
qm.Qm_Dll_Data_Param_param_set(data, qm.Qm_Dll_Event_Param_param_get(event))
channel = qm.new_QmChannelData()
qm.QmChannelData_Name_set(channel, text)
configs = qm.new_Qm_Capture_Configuration_Array(2)
qm.Qm_Capture_Configuration_Array___setitem__(configs, 1, channel)
item = qm.Qm_Capture_Configuration_Array___getitem__(configs, 1)

def caption(record, get_param):
    union = get_param(record)
    return qm.Qm_Message_Box_Param_Caption_get(qm.Qm_Dll_Event_Param_Union_message_box_get(union))

def check(what, got):
    if got != text:
        raise SystemExit('%s reads %r' % (what, got))

qm.delete_Qm_Message_Box_Param(box)
qm.delete_QmChannelData(channel)
fillers = [qm.new_Qm_Gui_Tab() for _ in range(32)]
for filler in fillers:
    qm.Qm_Gui_Tab_caption_set(filler, 'x' * len(text))
check('the event', caption(event, qm.Qm_Dll_Event_Param_param_get))
check('the data record', caption(data, qm.Qm_Dll_Data_Param_param_get))
again = qm.Qm_Capture_Configuration_Array___getitem__(configs, 1)
check('the array element', qm.QmChannelData_Name_get(again))
qm.delete_QmChannelData(again)
check('the item copy', qm.QmChannelData_Name_get(item))
qm.delete_Qm_Dll_Event_Param(event)
qm.delete_Qm_Capture_Configuration_Array(configs)
check('the data record after the event', caption(data, qm.Qm_Dll_Data_Param_param_get))
check('the item copy after the array', qm.QmChannelData_Name_get(item))
qm.delete_Qm_Dll_Data_Param(data)
qm.delete_QmChannelData(item)
for filler in fillers:
    qm.delete_Qm_Gui_Tab(filler)
print 'shared texts intact'
'''


STRING_RACE = r'''
import threading, _qm_python as qm
tab = qm.new_Qm_Gui_Tab()
texts = ['text number %d of a string field shared by threads' % i for i in range(4)]
bad = []

def worker(text):
    for _ in range(3000):
        qm.Qm_Gui_Tab_caption_set(tab, text)
        got = qm.Qm_Gui_Tab_caption_get(tab)
        if got not in texts:
            bad.append(got)

threads = [threading.Thread(target=worker, args=(t,)) for t in texts]
for t in threads: t.start()
for t in threads: t.join()
qm.delete_Qm_Gui_Tab(tab)
print 'bad', len(bad)
'''


class ConcurrentStringFields(unittest.TestCase):
    def test_threads_sharing_a_string_field_never_see_freed_text(self):
        env = dict(os.environ, MALLOC_PERTURB_='165')
        child = subprocess.Popen([sys.executable, '-c', STRING_RACE], env=env,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        out, err = child.communicate()
        self.assertEqual(child.returncode, 0, err)
        self.assertIn('bad 0', out)


if __name__ == '__main__':
    unittest.main()
