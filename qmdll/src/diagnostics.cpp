// diagnostics.cpp: debug output switches, the debug output file name and the
// FPGA image directory. Kept as set; the bench writes no files.
#include "sim.h"

using namespace sim;

extern "C" {

QM_EXPORT QmWord QM_CALL QmDebugModuleModify(Qm_Debug_Module module, QmBool enable) {
  Call call(kQmDebugModuleModify, {W(QmWord(module)), W(enable)});
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  QmWord m = QmWord(module);
  if (m >= QM_DEBUG_MODULE_MAX)
    return call.status(fail(kNoBoard, "unknown debug module " + num(m)));
  w.debug[m] = enable != 0;
  return call.status(QM_RETURN_OK);
}

QM_EXPORT QmWord QM_CALL QmDebugModuleModifyAll(QmBool enable) {
  Call call(kQmDebugModuleModifyAll, {W(enable)});
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  for (bool &d : w.debug) d = enable != 0;
  return call.status(QM_RETURN_OK);
}

// An empty name sends debug output to the console again.
QM_EXPORT QmWord QM_CALL QmDebugModuleSetOutputFilename(QmString filename) {
  Call call(kQmDebugModuleSetOutputFilename, {T(filename)});
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  if (!filename) return call.status(fail(kNoBoard, "no debug output file name given"));
  w.out_file_set = true;
  w.out_file = filename;
  return call.status(QM_RETURN_OK);
}

QM_EXPORT QmWord QM_CALL QmChangeImageDirectory(QmString directory) {
  Call call(kQmChangeImageDirectory, {T(directory)});
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  if (!directory) return call.status(fail(kNoBoard, "no image directory given"));
  w.image_dir = directory;
  return call.status(QM_RETURN_OK);
}

QM_EXPORT int qmsim_debug_enabled(int module) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  return module >= 0 && module < QM_DEBUG_MODULE_MAX && w.debug[module] ? 1 : 0;
}

QM_EXPORT const char *qmsim_debug_output_filename(void) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  return w.out_file_set ? intern(w.out_file) : nullptr;
}

QM_EXPORT const char *qmsim_image_directory(void) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  return intern(w.image_dir);
}

}  // extern "C"
