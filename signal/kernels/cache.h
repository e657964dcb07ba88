// cache.h: a small process-wide cache of immutable tables (transform plans,
// window weights) shared between threads: the most recently used few are
// kept, and a table stays alive while a caller still holds it.
#ifndef QM_SIGNAL_KERNELS_CACHE_H
#define QM_SIGNAL_KERNELS_CACHE_H

#include <cstddef>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace qs {

template <typename Key, typename Value, size_t Capacity>
class Cache {
 public:
  /// The table for `key`, made by `make()` (outside the lock, so a slow
  /// make does not hold up other keys) when it is not kept.
  template <typename Make>
  std::shared_ptr<const Value> get(const Key &key, Make make) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].first == key) {
          std::shared_ptr<const Value> found = entries_[i].second;
          touch(i);
          return found;
        }
      }
    }
    std::shared_ptr<const Value> made = make();
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < entries_.size(); ++i)
      if (entries_[i].first == key) return entries_[i].second;  // another thread was first
    if (entries_.size() == Capacity) entries_.erase(entries_.begin());
    entries_.emplace_back(key, made);
    return made;
  }

 private:
  void touch(size_t i) {  // the most recent last
    std::pair<Key, std::shared_ptr<const Value>> entry = entries_[i];
    entries_.erase(entries_.begin() + i);
    entries_.push_back(entry);
  }
  std::mutex mutex_;
  std::vector<std::pair<Key, std::shared_ptr<const Value>>> entries_;
};

}  // namespace qs

#endif
