#pragma once
// The latency log: one text record per frame, comparing the clock when the
// frame was finished with the time stamp it was given. Records collect in a
// buffer that is written to the file when it is full and when the log closes.
//
// Runs on the worker thread only. Not locked here: the output pin holds its
// m_streamLock around every call (the pin's destructor calls CloseLog alone).
#include <cstdint>
#include <memory>
#include <string>

#include "platform/log_file.h"

// Records buffered before a write: 64 KiB is about 1200 records, some 40
// seconds at 30 frames per second, so the file is written rarely and in large
// pieces while the frame loop never waits for the disk more than once a while.
constexpr uint32_t kLatencyLogCapacity = 64 * 1024;

class LatencyLog {
 public:
  LatencyLog() = default;
  ~LatencyLog() { CloseLog(); }
  LatencyLog(const LatencyLog&) = delete;
  LatencyLog& operator=(const LatencyLog&) = delete;

  // Creates (truncates) the file at path and a buffer of capacity bytes. Any
  // log already open is closed first. False, with the log closed, when the
  // file cannot be created or the buffer cannot be allocated.
  bool Open(const std::string& path, uint32_t capacity = kLatencyLogCapacity);
  bool IsOpen() const { return buffer != nullptr; }

  // Buffers one record of len bytes; writes the buffer out first when the
  // record would not fit. A record that still does not fit is dropped.
  // Nothing happens while the log is closed.
  void Append(const char* record, uint32_t len);
  // Writes the buffered bytes. False when the file is closed or the write was
  // short; the buffered bytes are then kept.
  bool Flush();
  // Flushes, closes the file and frees the buffer. No effect when closed.
  void CloseLog();

  LogFile file;
  std::unique_ptr<char[]> buffer;
  uint32_t capacity = 0;
  uint32_t used = 0;
};

// Formats the record of one frame, "%8d(%3d)ms: Latancy=%4dms, TimeStamp=%4dms\r\n":
// the clock reading, the time since the previous record, the sample's lead
// over the clock and its time stamp, all in ms. Returns the record's length
// (at most size - 1), 0 when size is 0.
uint32_t FormatLatencyRecord(char* out, uint32_t size, int32_t nowMs, int32_t previousMs,
                             int32_t stampMs);
