// qmdll_layout.h: compile-time proof that every shared record has the
// library's layout (32-bit pointers, 4-byte packing, no padding).
#ifndef QMDLL_LAYOUT_H
#define QMDLL_LAYOUT_H

#include <cstddef>

#define QM_SIZE(rec, n) static_assert(sizeof(rec) == (n), #rec " must be " #n " bytes")
#define QM_AT(rec, field, off) \
  static_assert(offsetof(rec, field) == (off), #rec "." #field " must be at " #off)

static_assert(sizeof(void *) == 4, "the board library is a 32-bit library: build with -m32");
static_assert(sizeof(QmWord) == 4 && sizeof(QmDouble) == 8 && sizeof(QmDataFormat) == 4,
              "scalar widths");

QM_SIZE(QmVersionNumber, 16);
QM_AT(QmVersionNumber, Major, 0); QM_AT(QmVersionNumber, Minor, 4);
QM_AT(QmVersionNumber, Release, 8); QM_AT(QmVersionNumber, Build, 12);

QM_SIZE(QmChannelData, 104);
QM_AT(QmChannelData, Name, 0); QM_AT(QmChannelData, __u1__, 4);
QM_AT(QmChannelData, TransferMinSize, 8); QM_AT(QmChannelData, TransferMaxSize, 12);
QM_AT(QmChannelData, num_channels_returned_to_user, 16); QM_AT(QmChannelData, __u2__, 20);
QM_AT(QmChannelData, __u3__, 24); QM_AT(QmChannelData, __u4__, 28);
QM_AT(QmChannelData, __u5__, 36); QM_AT(QmChannelData, __u6__, 40);
QM_AT(QmChannelData, __u7__, 44); QM_AT(QmChannelData, __u8__, 48);
QM_AT(QmChannelData, __u9__, 52); QM_AT(QmChannelData, default_data_format, 84);
QM_AT(QmChannelData, BitSize, 88); QM_AT(QmChannelData, __u10__, 92);
QM_AT(QmChannelData, sampling_freq_changes, 100);

QM_SIZE(QmDUTInfo, 88);
QM_AT(QmDUTInfo, __u1__, 0); QM_AT(QmDUTInfo, __u2__, 8); QM_AT(QmDUTInfo, Type, 16);
QM_AT(QmDUTInfo, __u3__, 20); QM_AT(QmDUTInfo, HistogramInfo, 24);
QM_AT(QmDUTInfo, capture_config_count, 28); QM_AT(QmDUTInfo, capture_configs, 32);
QM_AT(QmDUTInfo, Revision, 36); QM_AT(QmDUTInfo, __u4__, 40); QM_AT(QmDUTInfo, __u5__, 44);
QM_AT(QmDUTInfo, __u6__, 48); QM_AT(QmDUTInfo, dac_config_count, 80);
QM_AT(QmDUTInfo, dac_configs, 84);

QM_SIZE(QmCaptureSetup, 52);
QM_AT(QmCaptureSetup, __u1__, 0); QM_AT(QmCaptureSetup, TransferSize, 8);
QM_AT(QmCaptureSetup, ChannelDataIndex, 12); QM_AT(QmCaptureSetup, HistogramEnable, 16);
QM_AT(QmCaptureSetup, HistogramMaxBin, 20); QM_AT(QmCaptureSetup, DataFormat, 24);
QM_AT(QmCaptureSetup, __u2__, 28); QM_AT(QmCaptureSetup, __u3__, 32);
QM_AT(QmCaptureSetup, __u4__, 36); QM_AT(QmCaptureSetup, __u5__, 40);
QM_AT(QmCaptureSetup, __u6__, 44); QM_AT(QmCaptureSetup, num_acqs_per_strm, 48);

QM_SIZE(Qm_Dac_Download_Configuration, 36);
QM_AT(Qm_Dac_Download_Configuration, name, 0); QM_AT(Qm_Dac_Download_Configuration, bit_width, 4);
QM_AT(Qm_Dac_Download_Configuration, min_freq, 8); QM_AT(Qm_Dac_Download_Configuration, max_freq, 16);
QM_AT(Qm_Dac_Download_Configuration, min_transfer_size, 24);
QM_AT(Qm_Dac_Download_Configuration, max_transfer_size, 28);
QM_AT(Qm_Dac_Download_Configuration, max_num_channels, 32);

QM_SIZE(Qm_Dac_Cmd_Data, 48);
QM_AT(Qm_Dac_Cmd_Data, configuration, 0); QM_AT(Qm_Dac_Cmd_Data, freq, 4);
QM_AT(Qm_Dac_Cmd_Data, data_format, 12); QM_AT(Qm_Dac_Cmd_Data, transfer_size, 16);
QM_AT(Qm_Dac_Cmd_Data, num_channels, 20); QM_AT(Qm_Dac_Cmd_Data, channel, 24);
QM_AT(Qm_Dac_Cmd_Data, repeat, 40); QM_AT(Qm_Dac_Cmd_Data, data, 44);

QM_SIZE(Qm_Gui_Tab, 12);
QM_AT(Qm_Gui_Tab, caption, 0); QM_AT(Qm_Gui_Tab, tags, 4); QM_AT(Qm_Gui_Tab, level, 8);

QM_SIZE(QmNumericEditDefinition, 52);
QM_AT(QmNumericEditDefinition, Min, 0); QM_AT(QmNumericEditDefinition, Max, 8);
QM_AT(QmNumericEditDefinition, Value, 16); QM_AT(QmNumericEditDefinition, DecimalPlaces, 24);
QM_AT(QmNumericEditDefinition, Type, 28); QM_AT(QmNumericEditDefinition, Caption, 32);
QM_AT(QmNumericEditDefinition, Hint, 36); QM_AT(QmNumericEditDefinition, Units, 40);
QM_AT(QmNumericEditDefinition, Highlighted, 44); QM_AT(QmNumericEditDefinition, Enabled, 48);

QM_SIZE(QmSpinEditDefinition, 60);
QM_AT(QmSpinEditDefinition, Min, 0); QM_AT(QmSpinEditDefinition, Max, 8);
QM_AT(QmSpinEditDefinition, Value, 16); QM_AT(QmSpinEditDefinition, Increment, 24);
QM_AT(QmSpinEditDefinition, DecimalPlaces, 32); QM_AT(QmSpinEditDefinition, Type, 36);
QM_AT(QmSpinEditDefinition, Caption, 40); QM_AT(QmSpinEditDefinition, Hint, 44);
QM_AT(QmSpinEditDefinition, Units, 48); QM_AT(QmSpinEditDefinition, Highlighted, 52);
QM_AT(QmSpinEditDefinition, Enabled, 56);

QM_SIZE(QmComboBoxDefinition, 36);
QM_AT(QmComboBoxDefinition, ItemCount, 0); QM_AT(QmComboBoxDefinition, ItemList, 4);
QM_AT(QmComboBoxDefinition, Values, 8); QM_AT(QmComboBoxDefinition, ItemSelected, 12);
QM_AT(QmComboBoxDefinition, Caption, 16); QM_AT(QmComboBoxDefinition, Hint, 20);
QM_AT(QmComboBoxDefinition, Units, 24); QM_AT(QmComboBoxDefinition, Highlighted, 28);
QM_AT(QmComboBoxDefinition, Enabled, 32);

QM_SIZE(QmButtonDefinition, 12);
QM_AT(QmButtonDefinition, Caption, 0); QM_AT(QmButtonDefinition, Hint, 4);
QM_AT(QmButtonDefinition, Enabled, 8);

QM_SIZE(QmTextDefinition, 8);
QM_AT(QmTextDefinition, Text, 0); QM_AT(QmTextDefinition, Enabled, 4);

QM_SIZE(QmCheckBoxDefinition, 20);
QM_AT(QmCheckBoxDefinition, Caption, 0); QM_AT(QmCheckBoxDefinition, Hint, 4);
QM_AT(QmCheckBoxDefinition, Checked, 8); QM_AT(QmCheckBoxDefinition, Enabled, 12);
QM_AT(QmCheckBoxDefinition, Highlighted, 16);

QM_SIZE(QmRadioButtonDefinition, 24);
QM_AT(QmRadioButtonDefinition, Caption, 0); QM_AT(QmRadioButtonDefinition, Hint, 4);
QM_AT(QmRadioButtonDefinition, Checked, 8); QM_AT(QmRadioButtonDefinition, GroupNumber, 12);
QM_AT(QmRadioButtonDefinition, Enabled, 16); QM_AT(QmRadioButtonDefinition, Highlighted, 20);

QM_SIZE(QmSliderDefinition, 32);
QM_AT(QmSliderDefinition, Min, 0); QM_AT(QmSliderDefinition, Max, 4);
QM_AT(QmSliderDefinition, Value, 8); QM_AT(QmSliderDefinition, Width, 12);
QM_AT(QmSliderDefinition, Units, 16); QM_AT(QmSliderDefinition, Caption, 20);
QM_AT(QmSliderDefinition, Hint, 24); QM_AT(QmSliderDefinition, Enabled, 28);

QM_SIZE(QmLevel1RegisterDefinition, 28);
QM_AT(QmLevel1RegisterDefinition, Address, 0); QM_AT(QmLevel1RegisterDefinition, Hint, 4);
QM_AT(QmLevel1RegisterDefinition, Value, 8); QM_AT(QmLevel1RegisterDefinition, DataWidth, 12);
QM_AT(QmLevel1RegisterDefinition, AddressWidth, 16);
QM_AT(QmLevel1RegisterDefinition, RegisterType, 20); QM_AT(QmLevel1RegisterDefinition, Action, 24);

QM_SIZE(QmControlDefinition, 64);
QM_AT(QmControlDefinition, Type, 0);
static_assert(sizeof(QmControlDefinition) - sizeof(QmRegisterControl) == sizeof(QmSpinEditDefinition),
              "a control definition holds the largest control record after its Type");

QM_SIZE(Qm_Hw_Change_Param, 12);
QM_AT(Qm_Hw_Change_Param, id, 0); QM_AT(Qm_Hw_Change_Param, board_index, 4);
QM_AT(Qm_Hw_Change_Param, dut_index, 8);

QM_SIZE(Qm_Message_Box_Param, 16);
QM_AT(Qm_Message_Box_Param, id, 0); QM_AT(Qm_Message_Box_Param, Caption, 4);
QM_AT(Qm_Message_Box_Param, Message, 8); QM_AT(Qm_Message_Box_Param, Enabled, 12);

QM_SIZE(Qm_Channel_Data_Selection_Changed_Params, 12);
QM_AT(Qm_Channel_Data_Selection_Changed_Params, board_index, 0);
QM_AT(Qm_Channel_Data_Selection_Changed_Params, dut_index, 4);
QM_AT(Qm_Channel_Data_Selection_Changed_Params, channel_data_index, 8);

QM_SIZE(Qm_Dll_Event_Param_Union, 16);
QM_AT(Qm_Dll_Event_Param_Union, hw_change, 0); QM_AT(Qm_Dll_Event_Param_Union, message_box, 0);
QM_AT(Qm_Dll_Event_Param_Union, channel_data_selection_changed, 0);

QM_SIZE(Qm_Dll_Event_Param, 20);
QM_AT(Qm_Dll_Event_Param, id, 0); QM_AT(Qm_Dll_Event_Param, param, 4);
QM_SIZE(Qm_Dll_Data_Param, 20);
QM_AT(Qm_Dll_Data_Param, id, 0); QM_AT(Qm_Dll_Data_Param, param, 4);

#undef QM_SIZE
#undef QM_AT

#endif // QMDLL_LAYOUT_H
