"""Event records: the union overlay, `param` views into the event record,
and by-value copies of nested records."""
import ctypes
import struct
import unittest

import _qm_python as qm
from record_fixture import MadeRecords


def words(proxy, offset, count):
    return list(struct.unpack('<%dI' % count, ctypes.string_at(int(proxy) + offset, 4 * count)))


class EventRecords(MadeRecords):
    def hw_change(self, id_, board, dut):
        h = self.new('Qm_Hw_Change_Param')
        qm.Qm_Hw_Change_Param_id_set(h, id_)
        qm.Qm_Hw_Change_Param_board_index_set(h, board)
        qm.Qm_Hw_Change_Param_dut_index_set(h, dut)
        return h

    def test_member_set_through_param_view_changes_only_its_bytes(self):
        e = self.new('Qm_Dll_Event_Param')
        ctypes.memmove(int(e), struct.pack('<5I', *range(100, 105)), 20)
        param = qm.Qm_Dll_Event_Param_param_get(e)
        self.assertEqual(int(param), int(e) + 4)
        qm.Qm_Dll_Event_Param_Union_hw_change_set(param, self.hw_change(qm.QM_HW_CHANGE_POWER_ON, 2, 3))
        self.assertEqual(words(e, 0, 5), [100, qm.QM_HW_CHANGE_POWER_ON, 2, 3, 104])

    def test_members_overlay_one_another(self):
        u = self.new('Qm_Dll_Event_Param_Union')
        qm.Qm_Dll_Event_Param_Union_hw_change_set(u, self.hw_change(0x1000001, 0xFFFFFFFF, 9))
        c = qm.Qm_Dll_Event_Param_Union_channel_data_selection_changed_get(u)
        hw = qm.Qm_Dll_Event_Param_Union_hw_change_get(u)
        self.assertEqual(int(c), int(u))
        self.assertEqual(int(hw), int(u))
        self.assertEqual([qm.Qm_Channel_Data_Selection_Changed_Params_board_index_get(c),
                          qm.Qm_Channel_Data_Selection_Changed_Params_dut_index_get(c),
                          qm.Qm_Channel_Data_Selection_Changed_Params_channel_data_index_get(c)],
                         [0x1000001, 0xFFFFFFFF, 9])
        self.assertIs(type(qm.Qm_Hw_Change_Param_board_index_get(hw)), long)
        self.assertIs(type(qm.Qm_Hw_Change_Param_id_get(hw)), int)
        # A 12-byte member leaves the union's last word alone.
        ctypes.memmove(int(u) + 12, struct.pack('<I', 77), 4)
        qm.Qm_Dll_Event_Param_Union_channel_data_selection_changed_set(
            u, self.new('Qm_Channel_Data_Selection_Changed_Params'))
        self.assertEqual(words(u, 0, 4), [0, 0, 0, 77])

    def test_param_copies_all_sixteen_bytes_and_keeps_the_id(self):
        for family in ('Qm_Dll_Event_Param', 'Qm_Dll_Data_Param'):
            e = self.new(family)
            getattr(qm, family + '_id_set')(e, 7)  # no enumerator has 7: stored anyway
            u = self.new('Qm_Dll_Event_Param_Union')
            ctypes.memmove(int(u), struct.pack('<4I', 1, 2, 3, 4), 16)
            getattr(qm, family + '_param_set')(e, u)
            self.assertEqual(words(e, 0, 5), [7, 1, 2, 3, 4])
            self.assertEqual(getattr(qm, family + '_id_get')(e), 7)


if __name__ == '__main__':
    unittest.main()
