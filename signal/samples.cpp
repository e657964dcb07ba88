// samples.cpp: the wrappers of the sample kernels: decode, encode,
// deinterleave, histogram.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

#include "signal/arguments.h"
#include "signal/buffers.h"
#include "signal/errors.h"
#include "signal/functions.h"
#include "signal/kernels/formats.h"
#include "signal/kernels/interleave.h"
#include "signal/released.h"

namespace qs {
namespace py {

using qm::OwnedReference;

static_assert(sizeof(int) == 4 && sizeof(unsigned) == 4, "array('i') and array('I') hold 32 bits");

PyObject *decode(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *keywords[] = {"raw", "bits", "data_format", "channels", "channel", nullptr};
  PyObject *raw;
  long bits, format, channels = 1, channel = 0;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "Oll|ll:decode", const_cast<char **>(keywords),
                                   &raw, &bits, &format, &channels, &channel))
    return nullptr;
  if (check_coding(bits, format, kMaxBits) < 0) return nullptr;
  if (channels < 1) return fail(kChannels, channels);
  if (channel < 0 || channel >= channels) return fail(kChannel, channel, channels);
  Buffer in;
  if (in.open(raw, "raw", Buffer::kWords) < 0) return nullptr;
  size_t words = in.bytes() / 4;
  if (words % size_t(channels)) return fail(kFrames, Py_ssize_t(words), channels);
  size_t count = words / size_t(channels);
  void *out;
  OwnedReference result(new_array('i', count, &out));
  if (!result) return nullptr;
  const unsigned char *first = static_cast<const unsigned char *>(in.data()) + 4 * channel;
  if (!released([&] {
        qs::decode(uint32_t(format), unsigned(bits), first, count, size_t(channels),
                   static_cast<int32_t *>(out));
      }))
    return nullptr;
  return result.release();
}

PyObject *encode(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *keywords[] = {"samples", "bits", "data_format", nullptr};
  PyObject *samples;
  long bits, format;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "Oll:encode", const_cast<char **>(keywords),
                                   &samples, &bits, &format))
    return nullptr;
  if (check_coding(bits, format, kMaxBits) < 0) return nullptr;
  Buffer in;
  if (in.open(samples, "samples", Buffer::kIntegers) < 0) return nullptr;
  const Typed values = in.typed();
  void *out;
  OwnedReference result(new_array('I', values.count, &out));
  if (!result) return nullptr;
  size_t done = 0;
  int64_t bad = 0;
  if (!released([&] {
        done = qs::encode(uint32_t(format), unsigned(bits), values.code, values.data,
                          values.count, static_cast<uint32_t *>(out), &bad);
      }))
    return nullptr;
  if (done < values.count) {
    char text[24];
    std::snprintf(text, sizeof text, "%" PRId64, bad);
    return fail(kSampleRange, text, long(lowest_value(uint32_t(format), unsigned(bits))),
                long(highest_value(unsigned(bits))), bits);
  }
  return result.release();
}

PyObject *deinterleave(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *keywords[] = {"samples", "channels", nullptr};
  PyObject *samples;
  long channels;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "Ol:deinterleave", const_cast<char **>(keywords),
                                   &samples, &channels))
    return nullptr;
  if (channels < 1) return fail(kChannels, channels);
  Buffer in;
  if (in.open(samples, "samples", Buffer::kNumbers) < 0) return nullptr;
  if (in.count() % size_t(channels)) return fail(kFrames, Py_ssize_t(in.count()), channels);
  size_t frames = in.count() / size_t(channels);
  OwnedReference list(PyList_New(channels));
  if (!list) return nullptr;
  std::vector<void *> outs(size_t(channels), nullptr);
  for (long c = 0; c < channels; ++c) {
    PyObject *run = new_array(in.code(), frames, &outs[size_t(c)]);
    if (!run) return nullptr;
    PyList_SET_ITEM(list.get(), c, run);  // the list owns it from here
  }
  size_t size = size_t(element_of(in.code())->size);
  if (!released([&] { qs::deinterleave(in.data(), frames, size_t(channels), size, outs.data()); }))
    return nullptr;
  return list.release();
}

PyObject *histogram(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *keywords[] = {"raw", "bits", "data_format", nullptr};
  PyObject *raw;
  long bits, format;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "Oll:histogram", const_cast<char **>(keywords),
                                   &raw, &bits, &format))
    return nullptr;
  if (check_coding(bits, format, kMaxHistogramBits) < 0) return nullptr;
  Buffer in;
  if (in.open(raw, "raw", Buffer::kWords) < 0) return nullptr;
  size_t codes = size_t(1) << bits;
  void *out;
  OwnedReference result(new_array('I', codes, &out));
  if (!result) return nullptr;
  if (!released([&] {
        std::memset(out, 0, codes * 4);
        qs::histogram(uint32_t(format), unsigned(bits), in.data(), in.bytes() / 4,
                      static_cast<uint32_t *>(out));
      }))
    return nullptr;
  return result.release();
}

}  // namespace py
}  // namespace qs
