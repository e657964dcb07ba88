"""The class layer qm_python against the stand-in: every family has its class
and its properties round-trip, library outputs arrive as instances and are
freed, arrays, and subclassable callbacks."""
import gc
import sys
import unittest

import qmsim
import qm_python as qm
from runtime_support import capture_fd1, run_isolated

# Values each field kind takes and gives back unchanged; enumerations refuse
# the unsigned maximum and pointer fields refuse text.
SAMPLES = {int: (0xFFFFFFFF, 7), float: (2.5,), type(None): ('text', None)}


def live_records():
    return sum(1 for o in gc.get_objects() if isinstance(o, (qm.Record, qm.Array)))


class FamiliesTest(unittest.TestCase):
    def test_every_family_has_its_class_with_properties_in_layout_order(self):
        self.assertEqual(len(qm.RECORDS), 23)
        self.assertEqual(qm.ARRAYS, ('Qm_Capture_Configuration_Array', 'Qm_Stream',
                                     'Qm_Word_Array'))
        self.assertEqual(sum(len(getattr(qm, r)._fields) for r in qm.RECORDS), 143)
        self.assertEqual(qm.QmCaptureSetup._fields[:3],
                         ('__u1__', 'TransferSize', 'ChannelDataIndex'))
        self.assertEqual(qm.Qm_Dll_Event_Param_Union._fields,
                         ('hw_change', 'message_box', 'channel_data_selection_changed'))
        for alias, name in (('Qm_Version_Number', 'QmVersionNumber'),
                            ('Qm_Capture_Configuration', 'QmChannelData'),
                            ('Qm_Dut_Info', 'QmDUTInfo'), ('Qm_Capture_Request', 'QmCaptureSetup')):
            self.assertIs(getattr(qm, alias), getattr(qm, name))
        # Every name of the module comes along.
        self.assertIs(qm._qm_callback_imp, qm._qm.__dict__['_qm_callback_imp'])
        self.assertEqual(qm.QmTwosComplementFormat, 0x1000002)
        self.assertTrue(hasattr(qm, 'cvar'))

    def test_scalar_and_string_properties_round_trip_in_every_family(self):
        for name in qm.RECORDS:
            record = getattr(qm, name)()
            for field in record._fields:
                for value in SAMPLES.get(type(getattr(record, field)), ()):
                    try:
                        setattr(record, field, value)
                    except TypeError:
                        continue
                    self.assertEqual(getattr(record, field), value, '%s.%s' % (name, field))
            self.assertTrue(record.thisown)

    def test_properties_raise_the_accessors_exceptions(self):
        version = qm.QmVersionNumber()
        with self.assertRaises(OverflowError) as caught:
            version.Major = -1
        self.assertEqual(str(caught.exception),
                         "in method 'QmVersionNumber_Major_set', argument 2 of type 'QmWord'")
        with self.assertRaises(TypeError):
            qm.QmCaptureSetup(NoSuchField=1)
        setup = qm.QmCaptureSetup(TransferSize=1024, DataFormat=qm.QmOffsetBinaryFormat)
        self.assertEqual((setup.TransferSize, setup.DataFormat, setup.__u1__),
                         (1024, qm.QmOffsetBinaryFormat, 0.0))

    def test_repr_shows_type_address_and_fields_without_entering_unions(self):
        version = qm.QmVersionNumber(Major=5, Build=300)
        self.assertEqual(repr(version), '<QmVersionNumber at 0x%x: Major=5, Minor=0, Release=0, '
                         'Build=300>' % int(version.this))
        event = qm.Qm_Dll_Event_Param()
        event.param.hw_change.board_index = 7  # would be a Caption pointer to message_box
        self.assertIn('message_box=<Qm_Message_Box_Param at 0x%x>' % (int(event.this) + 4),
                      repr(event.param))

    def test_a_nested_view_keeps_its_record_alive(self):
        hw = qm.Qm_Dll_Event_Param(id=1).param.hw_change
        hw.board_index = 3
        gc.collect()
        fillers = [qm.Qm_Dll_Event_Param() for _ in range(64)]  # would reuse a freed block
        self.assertEqual(hw.board_index, 3)
        self.assertFalse(hw.thisown)


class OwnershipTest(unittest.TestCase):
    def setUp(self):
        qmsim.reset()
        self.assertEqual(qm.QmBoardOpen(0, None)[0][0], qm.QM_RETURN_OK)

    def test_library_outputs_arrive_as_instances_and_are_freed(self):
        status, names, version = qm.QmBoardEnum()
        self.assertIsInstance(version, qm.QmVersionNumber)
        status, info, dut_version = qm.QmBoardReadDUTInfo(0, 0)
        self.assertIsInstance(info, qm.QmDUTInfo)
        self.assertTrue(info.thisown)
        configs = qm.Qm_Capture_Configuration_Array.frompointer(info.capture_configs,
                                                                info.capture_config_count)
        self.assertEqual([c.Name for c in configs][0], 'Channel A')
        self.assertIsInstance(configs[0], qm.QmChannelData)
        del status, names, version, info, dut_version, configs

        def churn():
            for _ in range(200):
                qm.QmBoardReadDUTInfo(0, 0)
                qm.QmGetScriptVerions(0, 0)
                qm.QmCaptureSetup()
                qm.Qm_Word_Array(16).cast()
        gc.collect()
        before = live_records()
        self.assertEqual(capture_fd1(churn), '')
        gc.collect()
        self.assertEqual(live_records(), before)

    def test_thisown_hands_the_block_over(self):
        setup = qm.QmCaptureSetup()
        setup.thisown = False
        self.assertFalse(setup.this.own())
        self.assertRaises(ValueError, qm.delete_QmCaptureSetup, setup)  # not the owner now
        setup.thisown = True
        self.assertTrue(setup.thisown)

    def test_disowned_instance_frees_nothing_and_kept_ones_are_freed_at_exit(self):
        code = '\n'.join([
            'import qm_python as qm, qmboard',
            'kept = [qm.QmCaptureSetup(), qm.Qm_Word_Array(4), qm.QmBoardEnum()[2]]',
            'loose = qm.QmVersionNumber(); loose.thisown = False; block = loose.this; del loose',
            'unsubscribe = qmboard.on_event(lambda e: None)',
            # held by another module, torn down late at exit
            'import sys, types; holder = sys.modules["holder"] = types.ModuleType("holder")',
            'holder.kept = [qm.QmCaptureSetup(), qm.QmBoardEnum()[2]]; del holder',
            'print "done"'])
        status, out, err = run_isolated(code)
        self.assertEqual((status, out, err), (0, 'done\n', ''))


class ArrayTest(unittest.TestCase):
    def test_indexing_length_and_bulk_transfers(self):
        words = qm.Qm_Word_Array(4)
        words[0], words[-1] = 0xFFFFFFFF, 7
        self.assertEqual(list(words), [0xFFFFFFFF, 0, 0, 7])
        self.assertEqual((len(words), words[1:3]), (4, [0, 0]))
        words.write([1, 2], start=2)
        self.assertEqual(list(words.read()), [0xFFFFFFFF, 0, 1, 2])
        self.assertEqual(list(words.read(2, start=1)), [0, 1])
        with self.assertRaises(IndexError):
            words.read(3, start=2)
        with self.assertRaises(IndexError):
            words[4]
        with self.assertRaises(OverflowError):
            words.write([-1])
        stream = qm.Qm_Stream(3)
        stream.write(b'\x01\xff')
        self.assertEqual((stream.read(), stream[1]), ('\x01\xff\x00', 255))
        with self.assertRaises(OverflowError):
            stream[0] = 256

    def test_views_cast_and_frompointer(self):
        words = qm.Qm_Word_Array(3)
        pointer = words.cast()
        view = qm.Qm_Word_Array.frompointer(pointer)
        view[2] = 9
        self.assertEqual(words[2], 9)
        self.assertIsInstance(view, qm.Qm_Word_Array)
        self.assertFalse(view.thisown)
        self.assertRaises(TypeError, len, view)
        self.assertRaises(TypeError, view.read)
        self.assertEqual(list(qm.Qm_Word_Array.frompointer(pointer, 3).read()), [0, 0, 9])
        # The pointer keeps the array's block alive after the array is gone.
        del words, view
        gc.collect()
        fillers = [qm.Qm_Word_Array(3) for _ in range(64)]  # would reuse a freed block
        self.assertEqual(qm.Qm_Word_Array___getitem__(qm.Qm_Word_Array_frompointer(pointer), 2), 9)


class CallbackTest(unittest.TestCase):
    def test_subclass_is_a_director_and_plain_callback_answers_one(self):
        seen = []

        class Handler(qm.Qm_Callback):
            def run(self, event):
                seen.append(event.id)
                return 5

        handler = Handler()
        event = qm.Qm_Dll_Event_Param(id=qm.QM_DLL_EVENT_SIMULATOR_LOADED)
        qm.cvar._qm_callback = handler
        try:
            self.assertEqual(qm._qm_callback_imp(event), 5)
            self.assertEqual(seen, [qm.QM_DLL_EVENT_SIMULATOR_LOADED])
            self.assertEqual(qm.Qm_Callback.run(handler, event), 1)  # the base run
            plain = qm.Qm_Callback()
            qm.cvar._qm_callback = plain
            self.assertEqual(qm._qm_callback_imp(event), 1)
        finally:
            qm.cvar._qm_callback = None

    def test_disown_keeps_the_instance_alive(self):
        class Handler(qm.Qm_Callback):
            def run(self, event):
                return 2

        proxy = Handler().__disown__()
        gc.collect()
        self.assertEqual(proxy.run(None), 2)
        qm.delete_Qm_Callback(proxy.this)


if __name__ == '__main__':
    unittest.main()
