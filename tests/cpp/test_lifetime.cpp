// The lifetime unit from the library's side: which deliveries ask for the
// interpreter lock (only a stored director's), and that the receiver can let
// no exception out.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "callbacks/callback.h"
#include "callbacks/lifetime.h"
#include "callbacks/receiver.h"
#include "runtime/proxy.h"
#include "runtime/reference.h"
#include "runtime/types.h"
#include "tests/cpp/interpreter.h"

static_assert(noexcept(qm::_qm_callback_imp(nullptr)), "the receiver lets no exception out");

namespace {

class Lifetime : public InterpreterTest {
 protected:
  void SetUp() override {
    InterpreterTest::SetUp();
    qm::bind_type_table(qm::this_module);
  }

  /// Makes `object` live and stores it; its proxy (not owning: freed by retire).
  static qm::OwnedReference store(Qm_Callback *object, SwigDirector_Qm_Callback *director) {
    qm::OwnedReference proxy(qm::lifetime::adopt(object, director));
    reinterpret_cast<qm::ProxyObject *>(proxy.get())->own = 0;
    qm::lifetime::Hold(proxy.get(), object).store();
    return proxy;
  }
};

struct Answer {
  bool without_the_lock;  ///< came while this thread held the lock
  QmWord word;
};

/// The receiver's answer to a null record on a thread the interpreter never
/// saw. With `waits`, the lock is released for it at once; otherwise this
/// thread keeps the lock (for at most 30 seconds, then releases it). The
/// thread is joined with the lock released: one that delivered takes the
/// lock once more as it ends, to release its thread state.
Answer deliver(bool waits) {
  std::promise<QmWord> answer;
  std::future<QmWord> word = answer.get_future();
  std::thread library([&] { answer.set_value(qm::_qm_callback_imp(nullptr)); });
  bool ready = !waits && word.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  PyThreadState *saved = PyEval_SaveThread();
  library.join();
  PyEval_RestoreThread(saved);
  return {ready, word.get()};
}

TEST_F(Lifetime, OnlyAStoredDirectorAsksForTheLock) {
  Answer none = deliver(false);
  EXPECT_TRUE(none.without_the_lock) << "nothing stored";
  EXPECT_EQ(none.word, 1u);

  auto *plain = new Qm_Callback();
  qm::OwnedReference plain_proxy = store(plain, nullptr);
  Answer from_plain = deliver(false);
  EXPECT_TRUE(from_plain.without_the_lock) << "a plain object is answered without Python";
  EXPECT_EQ(from_plain.word, 1u);

  ASSERT_EQ(PyRun_SimpleString("class Seven(object):\n"
                               "    def run(self, event):\n"
                               "        return 7 if event is None else 0\n"
                               "seven = Seven()\n"),
            0);
  PyObject *self = PyDict_GetItemString(PyModule_GetDict(PyImport_AddModule("__main__")), "seven");
  ASSERT_NE(self, nullptr);
  auto *director = new SwigDirector_Qm_Callback(self);
  qm::OwnedReference director_proxy = store(director, director);
  EXPECT_EQ(deliver(true).word, 7u) << "the director's run, with the lock";

  EXPECT_TRUE(qm::lifetime::retire(director_proxy.get(), director));
  EXPECT_EQ(qm::lifetime::stored(), nullptr) << "deleting the stored object unstores it";
  EXPECT_TRUE(deliver(false).without_the_lock);
  EXPECT_TRUE(qm::lifetime::retire(plain_proxy.get(), plain));
  EXPECT_FALSE(qm::lifetime::retire(plain_proxy.get(), plain)) << "its proxy is stale now";
  PyRun_SimpleString("del seven, Seven\n");
}

}  // namespace
