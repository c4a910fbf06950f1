#include "tools/analyse/pixels/picture_worker.h"

#include <exception>
#include <string>
#include <utility>

namespace zdanalyse {
namespace {

constexpr size_t kQueued = 3;  // frames waiting at most

}  // namespace

PictureWorker::PictureWorker(std::unique_ptr<PictureChecker> checker)
    : m_checker(std::move(checker)), m_thread([this] { Run(); }) {}

PictureWorker::~PictureWorker() {
  Stop();
}

void PictureWorker::Submit(LumaFrame* frame, const FrameRecord* records, size_t count) {
  std::unique_lock<std::mutex> lock(m_lock);
  m_changed.wait(lock, [this] { return m_queue.size() < kQueued; });
  Item item;
  if (!m_spares.empty()) {
    item.frame = std::move(m_spares.back());
    m_spares.pop_back();
  }
  std::swap(item.frame, *frame);
  item.records.assign(records, records + count);
  m_queue.push_back(std::move(item));
  m_changed.notify_all();
}

// The worker thread: compares the frames in turn, giving their buffers back
// as spares.
void PictureWorker::Run() {
  std::unique_lock<std::mutex> lock(m_lock);
  for (;;) {
    m_changed.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
    if (m_queue.empty())
      return;
    Item item = std::move(m_queue.front());
    m_queue.pop_front();
    m_changed.notify_all();
    lock.unlock();
    // Nothing leaves the thread: a frame too large for the memory left ends
    // the comparison, and the report says so.
    try {
      // Luma a reader lent is copied only for a frame that is compared.
      if (!m_failed && m_checker->WillCompare(item.records.data(), item.records.size())) {
        item.frame.Own();
        m_checker->Frame(item.frame, item.records.data(), item.records.size());
      }
    } catch (const std::exception&) {
      m_failed = true;
    }
    item.frame.Release();
    lock.lock();
    m_spares.push_back(std::move(item.frame));
  }
}

void PictureWorker::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_stopping = true;
  }
  m_changed.notify_all();
  if (m_thread.joinable())
    m_thread.join();
}

PictureCheck PictureWorker::Finish() {
  Stop();
  PictureCheck result = m_checker->Finish();
  if (m_failed)
    result.note = "the comparison ran out of memory and stopped after " +
                  std::to_string(result.frames) + " frames";
  return result;
}

}  // namespace zdanalyse
