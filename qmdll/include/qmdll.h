/* qmdll.h: the board library's interface as the module and the stand-in
 * library both see it. Types, limits, enumerations, the records shared with
 * the library (4-byte packing, layouts binding) and the 32 functions. */
#ifndef QMDLL_H
#define QMDLL_H

#ifdef _WIN32
#define QM_CALL __stdcall          /* library functions: callee cleans */
#define QM_RECEIVER_CALL __cdecl   /* event receiver: caller cleans */
#else
#define QM_CALL
#define QM_RECEIVER_CALL
#endif

#if defined(_WIN32) && defined(QMDLL_BUILD)
#define QM_EXPORT __declspec(dllexport)
#elif defined(QMDLL_BUILD)
#define QM_EXPORT __attribute__((visibility("default")))
#else
#define QM_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- scalar types ---- */
typedef unsigned long QmWord;          /* 32-bit unsigned: indices, sizes, statuses */
typedef unsigned long QmBool;          /* 32-bit flag */
typedef double QmDouble;
typedef unsigned char QmStreamElement;
typedef QmStreamElement *QmStream;     /* byte buffer */
typedef char *QmString;                /* NUL-terminated 8-bit text */

/* ---- limits ---- */
#define MAX_BOARD 16
#define MAX_DUT 1
#define PUBLIC_QM_MAX_NUM_SIMULTANEOUS_CAPTURES 2
#define PUBLIC_QM_ACQUISITION_MAX_SAMPLES 8
#define PUBLIC_QM_MAX_CONFIGURATIONS 32
#define QM5_FPGA_REGISTER_ADDR_BASE 0xD000
#define QM5_FPGA_REGISTER_ADDR_SIZE 0x1000
#define AUXBUS_DATA_ADDR_BASE 0xCF00
#define AUXBUS_DATA_ADDR_SIZE 0x100
#define QM_MAX_NUM_SIMULTANEOUS_DAC_CHANNELS_PROGRAMMED 4

/* ---- enumerations (32-bit signed) ----
 * Any 32-bit value may be passed, named or not: in C++ the enumerations
 * have int as their fixed underlying type so such values are well defined. */
#ifdef __cplusplus
#define QM_ENUM_BASE : int
#else
#define QM_ENUM_BASE
#endif
typedef enum Qm_Return QM_ENUM_BASE {
  QM_RETURN_OK = 0, QM_RETURN_ERROR_NON_FATAL = 1, QM_RETURN_ERROR = 2
} Qm_Return;
typedef enum QmDataFormat QM_ENUM_BASE {
  QmBinaryFormat = 0x1000000, QmOffsetBinaryFormat, QmTwosComplementFormat
} QmDataFormat, Qm_Data_Format;
typedef enum Qm_Dut_Eeprom_Type QM_ENUM_BASE {
  QM_DUT_EEPROM_STANDARD = 0, QM_DUT_EEPROM_FMC = 1
} Qm_Dut_Eeprom_Type;
typedef enum Qm_Dac_Cmd QM_ENUM_BASE {
  QM_DAC_CMD_DOWNLOAD_DATA = 0, QM_DAC_CMD_START_SOURCING = 1, QM_DAC_CMD_STOP_SOURCING = 2
} Qm_Dac_Cmd;
typedef enum QmRegisterControl QM_ENUM_BASE {
  QmNumericEdit = 0x1000000, QmSpinEdit, QmComboBox, QmButton, QmText,
  QmCheckbox, QmRadioButton, QmSlider, QmLevel1Register
} QmRegisterControl;
typedef enum QmNumValueType QM_ENUM_BASE { QmHex = 0x1000000, QmInteger, QmFloat } QmNumValueType;
typedef enum QmBitSize QM_ENUM_BASE { QM_BIT_SIZE_8 = 0x1000000, QM_BIT_SIZE_16 } QmBitSize;
typedef enum QmRegisterType QM_ENUM_BASE {
  QM_REGISTER_TYPE_READ_ONLY = 0x1000000, QM_REGISTER_TYPE_READ_WRITE, QM_REGISTER_TYPE_WRITE_ONLY
} QmRegisterType;
typedef enum QmRegisterAction QM_ENUM_BASE {
  QM_REGISTER_ACTION_READ = 0x1000000, QM_REGISTER_ACTION_WRITE
} QmRegisterAction;
typedef enum Qm_Hw_Change_Id QM_ENUM_BASE {
  QM_HW_CHANGE_BOARD_DISCONNECT = 0x1000000, QM_HW_CHANGE_BOARD_CONNECT,
  QM_HW_CHANGE_DUT_DISCONNECT, QM_HW_CHANGE_DUT_CONNECT,
  QM_HW_CHANGE_POWER_ON, QM_HW_CHANGE_POWER_OFF
} Qm_Hw_Change_Id;
typedef enum Qm_Mesage_Box_Id QM_ENUM_BASE {
  QM_MESSAGE_BOX_WARNING = 0x1000000, QM_MESSAGE_BOX_ERROR,
  QM_MESSAGE_BOX_INFORMATION, QM_MESSAGE_BOX_CONFIRMATION
} Qm_Mesage_Box_Id;
typedef enum Qm_Dll_Event_Id QM_ENUM_BASE {
  QM_DLL_EVENT_HW_CHANGE = 0x1000000, QM_DLL_EVENT_MESSAGE_BOX,
  QM_DLL_EVENT_DUT_EEPROM_RELOADED, QM_DLL_EVENT_CYPRESS_EEPROM_RELOADED,
  QM_DLL_EVENT_SIMULATOR_LOADED, QM_DLL_EVENT_CHANNEL_DATA_SELECTION_CHANGED
} Qm_Dll_Event_Id;
typedef enum Qm_Debug_Access_Method QM_ENUM_BASE {
  QM_DEBUG_ACCESS_MEMORY_MAPPED = 0x1000000, QM_DEBUG_ACCESS_SPI,
  QM_DEBUG_ACCESS_PORT_FPGA_REGISTER, QM_DEBUG_ACCESS_I2C,
  QM_DEBUG_ACCESS_CYPRESS_SFR, QM_DEBUG_ACCESS_PRIVATE, QM_DEBUG_ACCESS_MAX
} Qm_Debug_Access_Method;
typedef enum Qm_Debug_Module QM_ENUM_BASE {
  QM_DEBUG_MODULE_GEN = 0, QM_DEBUG_MODULE_CMD, QM_DEBUG_MODULE_CMD_API,
  QM_DEBUG_MODULE_INTERNAL, QM_DEBUG_MODULE_SEARCH, QM_DEBUG_MODULE_USB,
  QM_DEBUG_MODULE_KESTREL, QM_DEBUG_MODULE_EEPROM, QM_DEBUG_MODULE_CLOCK,
  QM_DEBUG_MODULE_CAPTURE, QM_DEBUG_MODULE_LOAD_FPGA, QM_DEBUG_MODULE_BOARD_STATE,
  QM_DEBUG_MODULE_BOARD_STATE_POLLING, QM_DEBUG_MODULE_FILE, QM_DEBUG_MODULE_TEST_MODE,
  QM_DEBUG_MODULE_SCRIPT_EP, QM_DEBUG_MODULE_SCRIPT_EP_FACTORY, QM_DEBUG_MODULE_SCRIPT,
  QM_DEBUG_MODULE_CB, QM_DEBUG_MODULE_XML_LIB, QM_DEBUG_MODULE_UTILS, QM_DEBUG_MODULE_MAX
} Qm_Debug_Module;

/* ---- records: 4-byte packing, no padding anywhere ---- */
#pragma pack(push, 4)

typedef struct QmVersionNumber {
  QmWord Major, Minor, Release, Build;
} QmVersionNumber, Qm_Version_Number;

typedef struct QmChannelData {
  QmString Name;
  QmWord __u1__;
  QmWord TransferMinSize;
  QmWord TransferMaxSize;
  QmWord num_channels_returned_to_user;
  QmWord __u2__;
  QmWord __u3__;
  QmWord __u4__[2];
  QmWord __u5__;
  QmWord __u6__;
  QmWord __u7__;
  QmWord __u8__;
  QmWord __u9__[8];
  QmDataFormat default_data_format;
  QmWord BitSize;
  QmDouble __u10__;
  QmBool sampling_freq_changes;
} QmChannelData, Qm_Capture_Configuration;

typedef struct Qm_Dac_Download_Configuration {
  QmString name;
  QmWord bit_width;
  QmDouble min_freq;
  QmDouble max_freq;
  QmWord min_transfer_size;
  QmWord max_transfer_size;
  QmWord max_num_channels;
} Qm_Dac_Download_Configuration;

typedef struct QmDUTInfo {
  QmDouble __u1__;
  QmDouble __u2__;
  QmWord Type;
  QmWord __u3__;
  QmWord HistogramInfo;
  QmWord capture_config_count;
  QmChannelData *capture_configs;
  QmString Revision;
  QmWord __u4__;
  QmWord __u5__;
  QmWord __u6__[8];
  QmWord dac_config_count;
  Qm_Dac_Download_Configuration *dac_configs;
} QmDUTInfo, Qm_Dut_Info;

typedef struct QmCaptureSetup {
  QmDouble __u1__;
  QmWord TransferSize;
  QmWord ChannelDataIndex;
  QmWord HistogramEnable;
  QmWord HistogramMaxBin;
  QmDataFormat DataFormat;
  QmWord __u2__;
  QmWord __u3__;
  QmWord __u4__;
  QmWord __u5__;
  QmWord __u6__;
  QmWord num_acqs_per_strm;
} QmCaptureSetup, Qm_Capture_Request;

typedef struct Qm_Dac_Cmd_Data {
  QmWord configuration;
  QmDouble freq;
  QmDataFormat data_format;
  QmWord transfer_size;
  QmWord num_channels;
  QmWord channel[QM_MAX_NUM_SIMULTANEOUS_DAC_CHANNELS_PROGRAMMED];
  QmBool repeat;
  QmWord *data;
} Qm_Dac_Cmd_Data;

/* GUI definition records */
typedef struct Qm_Gui_Tab {
  QmString caption;
  QmString tags;
  QmWord level;
} Qm_Gui_Tab;

typedef struct QmNumericEditDefinition {
  QmDouble Min, Max, Value;
  QmWord DecimalPlaces;
  QmNumValueType Type;
  QmString Caption, Hint, Units;
  QmBool Highlighted, Enabled;
} QmNumericEditDefinition;

typedef struct QmSpinEditDefinition {
  QmDouble Min, Max, Value, Increment;
  QmWord DecimalPlaces;
  QmNumValueType Type;
  QmString Caption, Hint, Units;
  QmBool Highlighted, Enabled;
} QmSpinEditDefinition;

typedef struct QmComboBoxDefinition {
  QmWord ItemCount;
  char **ItemList;
  QmWord *Values;
  QmWord ItemSelected;
  QmString Caption, Hint, Units;
  QmBool Highlighted, Enabled;
} QmComboBoxDefinition;

typedef struct QmButtonDefinition {
  QmString Caption, Hint;
  QmBool Enabled;
} QmButtonDefinition;

typedef struct QmTextDefinition {
  QmString Text;
  QmBool Enabled;
} QmTextDefinition;

typedef struct QmCheckBoxDefinition {
  QmString Caption, Hint;
  QmBool Checked, Enabled, Highlighted;
} QmCheckBoxDefinition;

typedef struct QmRadioButtonDefinition {
  QmString Caption, Hint;
  QmBool Checked;
  QmWord GroupNumber;
  QmBool Enabled, Highlighted;
} QmRadioButtonDefinition;

typedef struct QmSliderDefinition {
  QmWord Min, Max, Value, Width;
  QmString Units, Caption, Hint;
  QmBool Enabled;
} QmSliderDefinition;

typedef struct QmLevel1RegisterDefinition {
  QmWord Address;
  QmString Hint;
  QmWord Value;
  QmBitSize DataWidth;
  QmBitSize AddressWidth;
  QmRegisterType RegisterType;
  QmRegisterAction Action;
} QmLevel1RegisterDefinition;

typedef struct QmControlDefinition {
  QmRegisterControl Type;
  unsigned char definition[60]; /* one of the control definitions; no accessor */
} QmControlDefinition;

/* event records */
typedef struct Qm_Hw_Change_Param {
  Qm_Hw_Change_Id id;
  QmWord board_index;
  QmWord dut_index;
} Qm_Hw_Change_Param;

typedef struct Qm_Message_Box_Param {
  Qm_Mesage_Box_Id id;
  QmString Caption;
  QmString Message;
  QmBool Enabled;
} Qm_Message_Box_Param;

typedef struct Qm_Channel_Data_Selection_Changed_Params {
  QmWord board_index;
  QmWord dut_index;
  QmWord channel_data_index;
} Qm_Channel_Data_Selection_Changed_Params;

typedef union Qm_Dll_Event_Param_Union {
  Qm_Hw_Change_Param hw_change;
  Qm_Message_Box_Param message_box;
  Qm_Channel_Data_Selection_Changed_Params channel_data_selection_changed;
} Qm_Dll_Event_Param_Union;

typedef struct Qm_Dll_Event_Param {
  Qm_Dll_Event_Id id;
  Qm_Dll_Event_Param_Union param;
} Qm_Dll_Event_Param;

typedef struct Qm_Dll_Data_Param {
  Qm_Dll_Event_Id id;
  Qm_Dll_Event_Param_Union param;
} Qm_Dll_Data_Param;

#pragma pack(pop)

/* ---- the event receiver the library calls ---- */
typedef QmWord(QM_RECEIVER_CALL *Qm_Event_Receiver)(Qm_Dll_Event_Param *event);

/* ---- the 32 library functions (their ordinals in qmdll.dll: qmdll_ordinals.def) ----
 * Every function returns a Qm_Return status as a QmWord and sets every output
 * parameter whatever the status. Strings and string arrays handed out stay
 * library memory. */
QM_EXPORT QmWord QM_CALL QmSetEventCallback(Qm_Event_Receiver receiver);
QM_EXPORT QmWord QM_CALL QmBoardDUTEnum(QmWord board, QmWord *count, QmString **names);
QM_EXPORT QmWord QM_CALL QmBoardEnum(QmWord *count, QmString **names, QmVersionNumber *version);
QM_EXPORT QmWord QM_CALL QmBoardReadI2CDEVICE(QmWord board, QmWord device, QmWord reg,
                                             QmStream buffer, QmWord length, QmWord flags);
QM_EXPORT QmWord QM_CALL QmBoardWriteI2CDEVICE(QmWord board, QmWord device, QmWord reg,
                                              QmStream buffer, QmWord length, QmWord flags,
                                              QmWord delay);
QM_EXPORT QmWord QM_CALL QmBoardLoadFPGA(QmWord board, QmWord dut, QmString image,
                                        QmVersionNumber *version);
QM_EXPORT QmWord QM_CALL QmBoardOpen(QmWord board, QmString name, QmWord *handle,
                                    QmVersionNumber *version);
QM_EXPORT QmWord QM_CALL QmBoardReadCypressEEPROM(QmWord board, QmWord offset, QmStream buffer,
                                                 QmWord length);
QM_EXPORT QmWord QM_CALL QmBoardReadDUTEEPROM(QmWord board, QmWord offset, QmStream buffer,
                                             QmWord length);
QM_EXPORT QmWord QM_CALL QmBoardReadDUTInfo(QmWord board, QmWord dut, QmDUTInfo *info,
                                           QmVersionNumber *version);
QM_EXPORT QmWord QM_CALL QmBoardReadLastError(QmWord board, QmString *text);
QM_EXPORT QmWord QM_CALL QmBoardReadCaptureData(QmWord board, QmWord dut, QmWord *buffer,
                                               QmWord length, QmWord *words_read);
QM_EXPORT QmWord QM_CALL QmBoardClose(QmWord board);
QM_EXPORT QmWord QM_CALL QmBoardCheckFirmwareActive(QmWord board);
QM_EXPORT QmWord QM_CALL QmBoardReset(QmWord board);
QM_EXPORT QmWord QM_CALL QmBoardWriteCaptureEnd(QmWord board, QmWord dut);
QM_EXPORT QmWord QM_CALL QmBoardWriteCaptureStart(QmWord board, QmWord dut, QmCaptureSetup *setup);
QM_EXPORT QmWord QM_CALL QmBoardWriteCypressEEPROM(QmWord board, QmWord offset, QmStream buffer,
                                                  QmWord length);
QM_EXPORT QmWord QM_CALL QmBoardWriteDUTEEPROM(QmWord board, QmWord offset, QmStream buffer,
                                              QmWord length);
QM_EXPORT QmWord QM_CALL QmChangeImageDirectory(QmString directory);
QM_EXPORT QmWord QM_CALL QmDebugModuleModify(Qm_Debug_Module module, QmBool enable);
QM_EXPORT QmWord QM_CALL QmDebugModuleModifyAll(QmBool enable);
QM_EXPORT QmWord QM_CALL QmDebugModuleSetOutputFilename(QmString filename);
QM_EXPORT QmWord QM_CALL QmGetSamplingFrequency(QmWord board, QmWord dut, QmWord channel_data_index,
                                               QmDouble *frequency);
QM_EXPORT QmWord QM_CALL QmGetScriptVerions(QmWord board, QmWord dut, QmVersionNumber *script,
                                           QmVersionNumber *engine);
QM_EXPORT QmWord QM_CALL QmGetSupportedDuts(QmWord board, QmString *duts, QmString *details);
QM_EXPORT QmWord QM_CALL QmNewestHardwareRead(QmWord board, QmWord dut, Qm_Debug_Access_Method method,
                                             QmWord address, QmWord device, QmWord width,
                                             QmWord count, QmWord flags, QmWord *value);
QM_EXPORT QmWord QM_CALL QmNewestHardwareWrite(QmWord board, QmWord dut, Qm_Debug_Access_Method method,
                                              QmWord address, QmWord device, QmWord width,
                                              QmWord count, QmWord flags, QmWord value);
QM_EXPORT QmWord QM_CALL QmSetDut(QmWord board, QmWord dut, QmString name);
QM_EXPORT QmWord QM_CALL QmShutdown(void);
QM_EXPORT QmWord QM_CALL QmDacExecCommand(QmWord board, QmWord dut, Qm_Dac_Cmd cmd,
                                         Qm_Dac_Cmd_Data *data);
QM_EXPORT QmWord QM_CALL QmGetDutEepromType(QmWord board, QmWord dut, Qm_Dut_Eeprom_Type *type);

#ifdef __cplusplus
} /* extern "C" */
#endif

#ifdef __cplusplus
#include "qmdll_layout.h"
#endif

#endif /* QMDLL_H */
