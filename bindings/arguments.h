// arguments.h: the library's argument types, named as the library declares
// them (a trailing _p stands for " *"). Each is a kind from runtime/kinds.h
// plus the declared type name its messages quote.
#ifndef QM_BINDINGS_ARGUMENTS_H
#define QM_BINDINGS_ARGUMENTS_H

#include "catalog/type_names.h"
#include "catalog/type_table.h"
#include "qmdll/include/qmdll.h"
#include "runtime/kinds.h"

namespace qm {
namespace wrap {

#define QM_ARGUMENT(NAME, DECLARED, ...)         \
  struct NAME : __VA_ARGS__ {                    \
    static constexpr char declared[] = DECLARED; \
  };

QM_ARGUMENT(QmWord, "QmWord", kind::Unsigned)
QM_ARGUMENT(QmBool, "QmBool", kind::Unsigned)
QM_ARGUMENT(QmString, "QmString", kind::String)
QM_ARGUMENT(Qm_Debug_Module, "Qm_Debug_Module", kind::Enumeration<::Qm_Debug_Module>)
QM_ARGUMENT(Qm_Dac_Cmd, "Qm_Dac_Cmd", kind::Enumeration<::Qm_Dac_Cmd>)
QM_ARGUMENT(Qm_Debug_Access_Method, "Qm_Debug_Access_Method",
            kind::Enumeration<::Qm_Debug_Access_Method>)
QM_ARGUMENT(QmStream, "QmStream", kind::Pointer<::QmStreamElement, ty::p_unsigned_char>)
QM_ARGUMENT(QmWord_p, "QmWord *", kind::Pointer<::QmWord, ty::p_unsigned_long>)
QM_ARGUMENT(QmCaptureSetup_p, "QmCaptureSetup *",
            kind::Pointer<::QmCaptureSetup, ty::p_QmCaptureSetup>)
QM_ARGUMENT(Qm_Dac_Cmd_Data_p, "Qm_Dac_Cmd_Data *",
            kind::Pointer<::Qm_Dac_Cmd_Data, ty::p_Qm_Dac_Cmd_Data>)

#undef QM_ARGUMENT

// Each pointer argument's descriptor row names the type the argument declares.
static_assert(ty::row_names(ty::p_unsigned_char, QmStream::declared), "QmStream row");
static_assert(ty::row_names(ty::p_unsigned_long, QmWord_p::declared), "QmWord * row");
static_assert(ty::row_names(ty::p_QmCaptureSetup, QmCaptureSetup_p::declared), "setup row");
static_assert(ty::row_names(ty::p_Qm_Dac_Cmd_Data, Qm_Dac_Cmd_Data_p::declared), "DAC row");

}  // namespace wrap
}  // namespace qm

#endif
