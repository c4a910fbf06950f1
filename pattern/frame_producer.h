#pragma once
// Frame production: everything the output pin's worker thread does between
// the stream's start and stop. OnThreadCreate prepares a stream (clock,
// counters, information line, the background tile and the font sheet in the
// negotiated format); FillBuffer makes one frame per media sample, paced
// against the chosen clock; OnThreadDestroy releases what a stream held open.
//
// Threading: every operation runs on the worker thread only, and none takes a
// lock. The owning pin holds its m_streamLock around each call, for the whole
// call including FillBuffer's waits, and around any replacement of the preset
// passed in; all members below are guarded by that lock.
#include <cstdint>
#include <memory>
#include <string>

#include "pattern/fault_schedule.h"
#include "pattern/frame_code.h"
#include "pattern/frame_host.h"
#include "pattern/latency_log.h"
#include "pattern/mjpg_encoder.h"
#include "pattern/pixel_surface.h"
#include "pattern/planar_tile.h"
#include "platform/result_codes.h"
#include "stream/preset_info.h"

struct StreamSettings;

constexpr int kInfoLineSize = 260;  // 259 characters and the terminator

class FrameProducer {
 public:
  // Prepares a stream of the given preset. S_OK, or E_OUTOFMEMORY when the
  // pattern (unsupported format, no memory) or the font sheet (missing,
  // unreadable, unsupported, no memory) cannot be prepared; counters and
  // clock are reset in either case. Bitmap names are taken relative to
  // moduleDir. When settings name a latency log, it is (re)created beside
  // the module; a log that cannot be created leaves the stream unlogged.
  // With "frame_code" on, every frame carries the frame code, naming the
  // preset by capabilityIndex (its position in the settings' preset table,
  // as GetStreamCaps counts). namedPreset, when given, is the preset the code
  // names while the frames are another format's twin of it: layout 2's
  // fingerprint is then that preset's, and conversion (kFrameCodeNv12Twin,
  // pattern/frame_code_reader.h) says what the frames are of it.
  HResultCode OnThreadCreate(FrameHost& host, const PresetInfo& preset,
                             const StreamSettings& settings, const std::string& moduleDir,
                             int32_t capabilityIndex = 0, const PresetInfo* namedPreset = nullptr,
                             uint8_t conversion = kFrameCodeOwnFormat);

  // Fills and stamps one sample of the given preset. S_OK: deliver it, as
  // LastPlan() says; S_FALSE: end of stream (stop requested while not
  // running or while the frame was held back, or the frame's due time never
  // came); a GetState failure is passed through; E_POINTER for a null
  // sample. The marker is drawn only when mouseCursol is exactly 1.
  // Faults (the preset of the stream's start): the sample's stamps may be
  // left out or frozen, while the frame itself is made for its true time;
  // each fault is written to the fault log; the frame is held back by its
  // stall and jitter before the call returns, a stop ending the wait at once.
  // A sample fault (pattern/sample_damage.h) damages the finished frame's
  // sample and sets its data length; the frame is made whole first.
  // With fault_unplug_after N, the call for frame N unplugs the device
  // (pattern/device_presence.h) and logs it; that call and every one after
  // it in the stream make nothing and return kE_DEVICE_NOT_CONNECTED.
  HResultCode FillBuffer(FrameHost& host, FrameSample* sample, const PresetInfo& preset,
                         int32_t mouseCursol);

  // Closes the latency log. The surfaces stay until the next start.
  HResultCode OnThreadDestroy();

  // The frame the last FillBuffer made could not be handed on (its host had
  // no buffer for it): counted as dropped, so the status line of the frames
  // after it shows it, and written to the fault log when one is open as
  // "<frame> <reason>". reason: one word.
  void DropLastFrame(const char* reason);

  // The stream has unplugged the device: FillBuffer makes no more frames.
  bool DeviceRemoved() const { return m_removed; }

  // The faults of the frame the last FillBuffer made; delivery faults are
  // for the caller to apply.
  const FramePlan& LastPlan() const { return m_plan; }

  // The clock the frames are paced by, in ms since the stream started.
  double GetCurrentMs(FrameHost& host) const;

  // Frame-production state, reset by OnThreadCreate.
  uint32_t m_frameCount = 0;    // frames completed: the frame number and scroll index
  uint32_t m_dropCount = 0;     // frames made more than one interval after their due time
  int64_t m_sampleTime = 0;     // start time of the next sample, 100-ns units
  int32_t m_useCpuClock = 0;    // 1: performance counter; 0: the graph's stream time
  int64_t m_perfFrequency = 1;  // performance-counter ticks per second
  double m_perfBaseMs = 0.0;    // counter reading at stream start, ms
  double m_nextDueMs = 0.0;     // due time of the next frame; 0.0: nothing scheduled yet
  double m_fps = 0.0;           // frame rate shown in the status line
  int32_t m_fpsFrameMark = 0;   // m_frameCount at the last frame-rate update
  double m_fpsNextMs = 1000.0;  // time of the next frame-rate update
  int32_t m_scrollOriginX = 0;  // added to every frame's scroll position
  int32_t m_scrollOriginY = 0;
  int32_t m_lastLogMs = 0;      // clock reading of the previous frame's latency record
  uint32_t m_skipCount = 0;     // frames skipped as overdue (counted in m_dropCount too)
  double m_firstFrameMs = 0.0;  // clock reading when frame 0 was made
  double m_madeMs = 0.0;        // clock reading when the last frame was made (the time it shows)

  // The Media Foundation face's schedule; off for DirectShow, and kept over
  // stream starts. A frame whose due time has passed by more than one
  // interval when it is asked for is skipped: never made, but numbered and
  // timed as if it had been (so the next frame's time stamp and frame code
  // go on from it), and counted as dropped. A client that asks slowly then
  // gets the frame of the moment, never a backlog of old ones.
  bool m_skipOverdue = false;

  // A clock reading (ms since the stream started) as the performance
  // counter's time in 100-ns units, the clock MFGetSystemTime reads. For
  // the performance-counter clock only.
  int64_t CounterTime(double ms) const;

  // The surfaces are in the output format, or for NV12, I420 and MJPG in the
  // format of the twin whose picture theirs is (see TwinPreset); for MJPG in
  // full range.
  PixelSurface m_pattern;                  // background tile
  PixelSurface m_font;                     // font sheet
  PlanarTile m_planarPattern;              // NV12 and I420: the tile as planes
  std::unique_ptr<uint8_t[]> m_twinFrame;  // NV12, I420, MJPG: the twin's frame (see below)
  size_t m_twinFrameBytes = 0;
  char m_infoLine[kInfoLineSize] = {};  // drawn at the bottom left of every frame
  LatencyLog m_latencyLog;              // closed unless the settings name a file
  FaultSchedule m_faults;               // the stream's faults, fixed at its start
  FramePlan m_plan;                     // the faults of the last frame made
  LatencyLog m_faultLog;                // the same kind of sink: one line per injected fault
  FrameCodeWriter m_frameCode;          // off unless the settings turn the code on
  int32_t m_unplugAfter = 0;            // the stream's unplug: frames delivered first; 0: none
  int32_t m_replugMs = 0;               // and the time the device stays away
  bool m_removed = false;               // the stream has unplugged the device

  // NV12 and I420 draw the overlays into the twin's frame; MJPG composes its
  // whole picture there, and the encoder makes the sample's JPEG of it; both
  // made at stream start.
  MjpgEncoder m_mjpg;
  uint32_t m_encodeFailures = 0;  // MJPG frames that could not be encoded (never delivered)
  double m_encodeLeadMs = 0.0;    // MJPG: how long before its due time a frame is begun

 private:
  // Where a sample's frame lies: rows of pitch bytes holding rowLen pixels.
  struct FrameLayout {
    uint8_t* buffer = nullptr;
    uint32_t size = 0;
    uint32_t rows = 0;
    uint32_t pitch = 0;
    uint32_t rowLen = 0;
    bool drawable = false;  // a buffer with at least one pixel per row
  };
  // Where the text goes in a frame, and the status line's text.
  struct TextPlacement {
    char status[256];
    int32_t statusX = 0;
    int32_t infoY = 0;
    bool marker = false;
    int32_t markerX = 0;
    int32_t markerY = 0;
  };
  // The clock reading when the wait ended; reached is false when the stream ends instead.
  struct DueTime {
    bool reached;
    double nowMs;
  };

  // The steps of FillBuffer, in order.
  HResultCode WaitForRunning(FrameHost& host) const;
  static FrameLayout LayoutOf(FrameSample& sample, const PresetInfo& preset);
  DueTime WaitUntil(FrameHost& host, double dueMs) const;
  void SkipOverdue(double now, const PresetInfo& preset);
  void CountFrame(double now, const PresetInfo& preset);
  void Compose(FrameHost& host, const FrameLayout& frame, const PresetInfo& preset, double now,
               int32_t mouseCursol) const;
  uint32_t DamageSample(const FrameLayout& frame, uint32_t length);
  int64_t Stamp(FrameSample* sample, uint32_t length, const PresetInfo& preset);
  void Record(FrameHost& host, int64_t start, int64_t frameTime);
  HResultCode Finish(FrameHost& host);
  HResultCode Unplug(FrameHost& host);

  // MJPG: FillBuffer's steps for a frame encoded ahead of its due time (see
  // mjpg_frames.cpp).
  HResultCode FillMjpg(FrameHost& host, FrameSample* sample, const FrameLayout& frame,
                       const PresetInfo& preset, int32_t mouseCursol);

  // The parts of Compose.
  void DrawBackground(const FrameLayout& frame, const PresetInfo& preset) const;
  void DrawText(FrameHost& host, const FrameLayout& frame, const PresetInfo& preset, double now,
                int32_t mouseCursol) const;
  void PlaceText(FrameHost& host, const PresetInfo& preset, double now, int32_t mouseCursol,
                 TextPlacement* text) const;
  void DrawPlacedText(const TextPlacement& text, uint8_t* buffer, uint32_t pitch, uint32_t rowLen,
                      uint32_t rows) const;

  // NV12 and I420: the background as planes, then the overlays drawn into
  // the twin's frame in the bands they cover, and those bands converted.
  void ComposePlanar(FrameHost& host, const FrameLayout& frame, const PresetInfo& preset,
                     double now, int32_t mouseCursol);

  // MJPG (mjpg_frames.cpp): the twin's frame and the encoder, at stream
  // start; then per frame the twin's picture with the text and the frame
  // code, encoded into the sample. The JPEG's length, or 0 when it could not
  // be made (the sample then holds nothing to deliver).
  bool PrepareMjpg(const PresetInfo& preset);
  uint32_t ComposeMjpg(FrameHost& host, const FrameLayout& frame, const PresetInfo& preset,
                       double now, int32_t mouseCursol);
  // A frame that could not be encoded: never delivered, counted as lost,
  // and named in the fault log.
  void DropUnencoded();
};

// The preset whose frames make a planar or an MJPG preset's frames: the same
// in YUY2, so that an NV12 or I420 frame is its YUY2 twin with the chroma
// averaged over row pairs (pattern/yuv420_convert.h) and an MJPG frame is its
// YUY2 twin's picture as a JPEG. Any other preset is its own.
PresetInfo TwinPreset(const PresetInfo& preset);

// The information line of a preset: "%dx%d%s %s %s #g%s" with size, scan
// letter, format name, clock name and comment, cut to 259 characters.
void FormatInfoLine(char (&out)[kInfoLineSize], const PresetInfo& preset, bool cpuClock);

// The status line: the long form when w > 480, else the short one.
void FormatStatusLine(char* out, size_t size, int32_t w, uint32_t frameCount, uint32_t dropCount,
                      uint32_t timeMs, double fps);
