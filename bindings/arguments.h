// arguments.h: the library's argument types, named as the library declares
// them (a trailing _p stands for " *"). Each is a kind from runtime/kinds.h;
// QM_DECLARED_<type> is the declared type name its messages quote.
#ifndef QM_BINDINGS_ARGUMENTS_H
#define QM_BINDINGS_ARGUMENTS_H

#include "catalog/type_names.h"
#include "catalog/type_table.h"
#include "qmdll/include/qmdll.h"
#include "runtime/kinds.h"

#define QM_DECLARED_QmWord "QmWord"
#define QM_DECLARED_QmBool "QmBool"
#define QM_DECLARED_QmString "QmString"
#define QM_DECLARED_Qm_Debug_Module "Qm_Debug_Module"
#define QM_DECLARED_Qm_Dac_Cmd "Qm_Dac_Cmd"
#define QM_DECLARED_Qm_Debug_Access_Method "Qm_Debug_Access_Method"
#define QM_DECLARED_QmStream "QmStream"
#define QM_DECLARED_QmWord_p "QmWord *"
#define QM_DECLARED_QmCaptureSetup_p "QmCaptureSetup *"
#define QM_DECLARED_Qm_Dac_Cmd_Data_p "Qm_Dac_Cmd_Data *"

namespace qm {
namespace wrap {

using QmWord = kind::Unsigned;
using QmBool = kind::Unsigned;
using QmString = kind::String;
using Qm_Debug_Module = kind::Enumeration<::Qm_Debug_Module>;
using Qm_Dac_Cmd = kind::Enumeration<::Qm_Dac_Cmd>;
using Qm_Debug_Access_Method = kind::Enumeration<::Qm_Debug_Access_Method>;
using QmStream = kind::Pointer<::QmStreamElement, ty::p_unsigned_char>;
using QmWord_p = kind::Pointer<::QmWord, ty::p_unsigned_long>;
using QmCaptureSetup_p = kind::Pointer<::QmCaptureSetup, ty::p_QmCaptureSetup>;
using Qm_Dac_Cmd_Data_p = kind::Pointer<::Qm_Dac_Cmd_Data, ty::p_Qm_Dac_Cmd_Data>;

// Each pointer argument's descriptor row names the type the argument declares.
static_assert(ty::row_names(ty::p_unsigned_char, QM_DECLARED_QmStream), "QmStream row");
static_assert(ty::row_names(ty::p_unsigned_long, QM_DECLARED_QmWord_p), "QmWord * row");
static_assert(ty::row_names(ty::p_QmCaptureSetup, QM_DECLARED_QmCaptureSetup_p), "setup row");
static_assert(ty::row_names(ty::p_Qm_Dac_Cmd_Data, QM_DECLARED_Qm_Dac_Cmd_Data_p), "DAC row");

}  // namespace wrap
}  // namespace qm

#endif
