#pragma once
// A PictureChecker on a thread of its own beside the reading, so that the
// comparison runs while the decoder makes the next frames. Frames are handed
// over by swapping their buffers with spare ones (no copy) into a short
// queue, and compared in the order they came.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/analyse/pixels/picture_check.h"

namespace zdanalyse {

class PictureWorker {
 public:
  explicit PictureWorker(std::unique_ptr<PictureChecker> checker);
  ~PictureWorker();  // finishes the queue and joins the thread
  PictureWorker(const PictureWorker&) = delete;
  PictureWorker& operator=(const PictureWorker&) = delete;

  // Takes the frame's contents (leaving a spare frame's buffers in their
  // place) and its records; waits while the queue is full.
  void Submit(LumaFrame* frame, const FrameRecord* records, size_t count);
  // Whether the checker may compare a frame with these records (any thread).
  bool MayCompare(const FrameRecord* records, size_t count) const {
    return m_checker->MayCompare(records, count);
  }
  // Waits for every frame handed over, then the checker's result.
  PictureCheck Finish();

 private:
  struct Item {
    LumaFrame frame;
    std::vector<FrameRecord> records;
  };
  void Run();
  void Stop();

  std::unique_ptr<PictureChecker> m_checker;  // the worker thread's alone
  bool m_failed = false;                      // the worker thread's alone until joined
  std::mutex m_lock;                          // guards the members below
  std::condition_variable m_changed;
  std::deque<Item> m_queue;
  std::vector<LumaFrame> m_spares;
  bool m_stopping = false;
  std::thread m_thread;  // last: started when everything else is ready
};

}  // namespace zdanalyse
