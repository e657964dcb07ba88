// boards.cpp: discovery and lifecycle of boards: enumerate, open, close,
// reset, firmware check, FPGA images, last error, shutdown.
#include "sim.h"

#include <cctype>
#include <cstring>

namespace sim {
namespace {

const QmVersionNumber kLibraryVersion = {3, 2, 0, 118};

const char *board_name(QmWord index) {
  static const std::vector<std::string> *names = [] {
    auto *v = new std::vector<std::string>;
    for (QmWord i = 0; i < MAX_BOARD; ++i) v->push_back("QM-EVAL-" + num(i));
    return v;
  }();
  return (*names)[index].c_str();
}

// The names of the attached boards; one array per set of boards, kept for
// good so a caller still copying an older list is never left dangling.
QmString *name_list(World &w, QmWord *count) {
  unsigned mask = 0;
  QmWord n = 0;
  for (QmWord i = 0; i < w.board_count; ++i)
    if (w.boards[i].plugged) {
      mask |= 1u << i;
      ++n;
    }
  std::vector<QmString> &list = w.enum_lists[mask];
  if (list.empty()) {
    for (QmWord i = 0; i < MAX_BOARD; ++i)
      if (mask & (1u << i)) list.push_back(const_cast<char *>(board_name(i)));
    list.push_back(nullptr);
  }
  *count = n;
  return list.data();
}

// The image name decides the version: its first four numbers give Major,
// Minor, Release and Build ("adc_2_1_0_7.bit" is 2.1.0.7); a name without
// numbers is 1.0.0 with a build drawn from the name.
QmVersionNumber image_version(const char *name) {
  QmWord parts[4] = {0, 0, 0, 0};
  int found = 0;
  for (const char *p = name; *p && found < 4;) {
    if (std::isdigit(static_cast<unsigned char>(*p))) {
      QmWord v = 0;
      while (std::isdigit(static_cast<unsigned char>(*p))) v = v * 10 + QmWord(*p++ - '0');
      parts[found++] = v;
    } else {
      ++p;
    }
  }
  if (found == 0) {
    QmWord h = 2166136261u;
    for (const char *p = name; *p; ++p) h = (h ^ static_cast<unsigned char>(*p)) * 16777619u;
    return QmVersionNumber{1, 0, 0, h % 10000};
  }
  return QmVersionNumber{parts[0], parts[1], parts[2], parts[3]};
}

}  // namespace
}  // namespace sim

using namespace sim;

extern "C" {

QM_EXPORT QmWord QM_CALL QmBoardEnum(QmWord *count, QmString **names, QmVersionNumber *version) {
  Call call(kQmBoardEnum, {P(count), P(names), P(version)});
  World &w = world();
  QmWord n;
  QmString *list;
  {
    std::lock_guard<std::mutex> lock(w.m);
    list = name_list(w, &n);
  }
  put_names(call, count, names, n, list);
  put(version, kLibraryVersion);
  return call.status(QM_RETURN_OK);
}

QM_EXPORT QmWord QM_CALL QmBoardOpen(QmWord board, QmString name, QmWord *handle,
                                    QmVersionNumber *version) {
  Call call(kQmBoardOpen, {W(board), T(name), P(handle), P(version)});
  World &w = world();
  QmWord st, h = 0;
  QmVersionNumber v{};
  {
    std::lock_guard<std::mutex> lock(w.m);
    if (Board *b = need(board, 0, 0, &st)) {
      if (name && *name && std::strcmp(name, board_name(board)) != 0) {
        st = fail(board, "board " + num(board) + " is " + board_name(board) + ", not " + name);
      } else if (!b->powered) {
        st = fail(board, "board " + num(board) + " is powered off");
      } else {
        // Opening an open board is harmless and gives the same handle.
        b->open = true;
        h = 0x10000 + board;
        v = QmVersionNumber{5, 0, 2, 300 + board};
      }
    }
  }
  put(handle, call.word(h));
  put(version, v);
  return call.status(st);
}

QM_EXPORT QmWord QM_CALL QmBoardClose(QmWord board) {
  Call call(kQmBoardClose, {W(board)});
  World &w = world();
  QmWord st;
  std::lock_guard<std::mutex> lock(w.m);
  if (Board *b = need(board, 0, kOpen, &st)) {
    b->open = false;
    stop_activity(*b);
  }
  return call.status(st);
}

QM_EXPORT QmWord QM_CALL QmBoardReset(QmWord board) {
  Call call(kQmBoardReset, {W(board)});
  World &w = world();
  QmWord st;
  std::lock_guard<std::mutex> lock(w.m);
  if (Board *b = need(board, 0, kOpen | kPowered, &st)) {
    // Like a power cycle of the logic: registers back to their defaults;
    // memories and the loaded image stay.
    stop_activity(*b);
    factory_registers(board, *b);
  }
  return call.status(st);
}

QM_EXPORT QmWord QM_CALL QmBoardCheckFirmwareActive(QmWord board) {
  Call call(kQmBoardCheckFirmwareActive, {W(board)});
  World &w = world();
  QmWord st;
  std::lock_guard<std::mutex> lock(w.m);
  if (Board *b = need(board, 0, kOpen, &st)) {
    if (!b->powered)
      st = fail(board, "firmware of board " + num(board) + " is not running",
                QM_RETURN_ERROR_NON_FATAL);
  }
  return call.status(st);
}

QM_EXPORT QmWord QM_CALL QmBoardLoadFPGA(QmWord board, QmWord dut, QmString image,
                                        QmVersionNumber *version) {
  Call call(kQmBoardLoadFPGA, {W(board), W(dut), T(image), P(version)});
  World &w = world();
  QmWord st;
  QmVersionNumber v{};
  bool missing = false;
  std::string caption = "FPGA image not found", message;
  {
    std::lock_guard<std::mutex> lock(w.m);
    if (Board *b = need(board, dut, kOpen | kPowered | kDut, &st)) {
      if (!image || !*image) {
        st = fail(board, "no FPGA image name given");
      } else if (std::strstr(image, "missing")) {
        missing = true;
        message = "The FPGA image " + w.image_dir + "/" + image + " does not exist.";
        st = fail(board, "FPGA image " + w.image_dir + "/" + image + " not found");
      } else {
        v = image_version(image);
        b->fpga_image = image;
        b->fpga_version = v;
        b->fpga[1] = (v.Major & 0xFF) << 24 | (v.Minor & 0xFF) << 16 |
                     (v.Release & 0xFF) << 8 | (v.Build & 0xFF);
      }
    }
  }
  if (missing) {
    // The library warns the user before it returns, on the caller's thread.
    Event e;
    e.rec.id = QM_DLL_EVENT_MESSAGE_BOX;
    e.rec.param.message_box.id = QM_MESSAGE_BOX_WARNING;
    e.rec.param.message_box.Enabled = 1;
    e.caption = caption;
    e.message = message;
    e.has_caption = e.has_message = true;
    deliver_now(e);
  }
  put(version, v);
  return call.status(st);
}

QM_EXPORT QmWord QM_CALL QmBoardReadLastError(QmWord board, QmString *text) {
  Call call(kQmBoardReadLastError, {W(board), P(text)});
  World &w = world();
  const char *t;
  {
    std::lock_guard<std::mutex> lock(w.m);
    // Numbers beyond MAX_BOARD read the board-independent slot.
    t = board < MAX_BOARD ? w.boards[board].error : w.global_error;
  }
  if (call.null_text()) t = nullptr;
  put(text, const_cast<QmString>(t));
  return call.status(QM_RETURN_OK);
}

QM_EXPORT QmWord QM_CALL QmShutdown(void) {
  Call call(kQmShutdown, {});
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  for (Board &b : w.boards) {
    b.open = false;
    stop_activity(b);
  }
  return call.status(QM_RETURN_OK);
}

}  // extern "C"
