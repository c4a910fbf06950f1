#include "tools/capture/capture_report.h"

#include <cstdarg>
#include <cstdio>

#include "tools/capture/json_members.h"

namespace zdcap {
namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

double CpuPercent(const CaptureReport& report) {
  return report.wall_seconds > 0.0 ? report.cpu_seconds * 100.0 / report.wall_seconds : 0.0;
}

// The stream's own problems: what --verify does not add.
std::vector<std::string> StreamProblems(const CaptureReport& r) {
  std::vector<std::string> list;
  if (r.device_lost())
    list.push_back("the device was removed (EC_DEVICE_LOST)");
  if (!r.stream_error.empty())
    list.push_back("the graph reported an error: " + r.stream_error);
  if (r.frames == 0) {
    list.push_back("no frames arrived");
    return list;
  }
  if (r.requested_frames > 0 && r.frames < r.requested_frames)
    list.push_back(Format("only %lld of %lld frames arrived", static_cast<long long>(r.frames),
                          static_cast<long long>(r.requested_frames)));
  if (r.empty_samples > 0)
    list.push_back(Format("%lld samples were empty", static_cast<long long>(r.empty_samples)));
  if (r.short_samples > 0)
    list.push_back(Format("%lld samples were shorter than %lld bytes",
                          static_cast<long long>(r.short_samples),
                          static_cast<long long>(r.sample_bytes)));
  if (r.wrong_size > 0 && r.variable_size)
    list.push_back(Format("%lld samples were empty or longer than %lld bytes",
                          static_cast<long long>(r.wrong_size),
                          static_cast<long long>(r.sample_bytes)));
  else if (r.wrong_size > 0)
    list.push_back(Format("%lld samples were not %lld bytes long",
                          static_cast<long long>(r.wrong_size),
                          static_cast<long long>(r.sample_bytes)));
  if (!r.timestamps.ok())
    list.push_back(Format("time stamps out of order from frame %lld",
                          static_cast<long long>(r.timestamps.first_bad_index)));
  return list;
}

}  // namespace

bool CaptureReport::device_lost() const {
  int64_t removals = 0;
  for (const DeviceEvent& event : device_events)
    removals += event.available ? 0 : 1;
  return removals > reconnects;
}

namespace {

// The device events and the streams' seams as report lines.
std::string DeviceEventsText(const CaptureReport& r) {
  std::string out;
  for (const DeviceEvent& e : r.device_events)
    out +=
        Format("device event:  EC_DEVICE_LOST %s after %lld frames, at %.3f s\n",
               e.available ? "available" : "removed", static_cast<long long>(e.frames), e.seconds);
  if (!r.device_events.empty())
    out += Format("reconnects:    %lld\n", static_cast<long long>(r.reconnects));
  for (const StreamChange& c : r.stream_changes)
    out += Format(
        "new stream:    %08x from frame %lld after stream %08x's frame %lld; %lld frames "
        "missing between\n",
        c.new_stream, static_cast<long long>(c.new_first_frame), c.old_stream,
        static_cast<long long>(c.old_last_frame), static_cast<long long>(c.missing_between));
  return out;
}

}  // namespace

bool CaptureReport::ok() const {
  return problems().empty();
}

bool CaptureReport::stream_ok() const {
  return StreamProblems(*this).empty();
}

std::vector<std::string> CaptureReport::problems() const {
  std::vector<std::string> list = StreamProblems(*this);
  if (!verify)
    return list;
  const FrameCodeCheck& c = codes;
  auto count = [&](int64_t n, const char* what) {
    if (n > 0)
      list.push_back(Format("%lld %s", static_cast<long long>(n), what));
  };
  count(c.frames - c.decoded - c.partial, "frames without a readable frame code");
  count(c.missing, "frames missing");
  count(c.repeated, "frames repeated");
  count(c.out_of_order, "frames out of order");
  // Each graph built anew starts one stream of its own.
  count(c.restarts - reconnects, "stream restarts");
  count(c.time_mismatch, "frame codes whose time is not the sample's");
  count(c.capability_mismatch, "frame codes naming another capability");
  count(c.fields_unreadable, "fields without a readable field code");
  count(c.field_mismatch, "field codes that disagree with their frame's");
  if (counts.checked && !counts.agrees)
    list.push_back("the source's IAMDroppedFrames disagrees with the frame codes: " + counts.note);
  return list;
}

std::string FormatReportText(const CaptureReport& r) {
  std::string out;
  const Capability& f = r.format;
  out += Format("device:        %s\n", r.device.c_str());
  out += Format("format:        %dx%d %s, %.3f fps (frame time %lld), %s\n", f.width, f.height,
                f.subtype.c_str(), RateOfFrameTime(f.frame_time),
                static_cast<long long>(f.frame_time), InterlaceText(f.interlace_flags).c_str());
  if (r.variable_size) {
    out += Format(
        "frames:        %lld received in %.3f s, samples of up to %lld bytes, %lld empty or "
        "longer\n",
        static_cast<long long>(r.frames), r.wall_seconds, static_cast<long long>(r.sample_bytes),
        static_cast<long long>(r.wrong_size));
  } else {
    out += Format(
        "frames:        %lld received in %.3f s, sample size %lld bytes, %lld of another size\n",
        static_cast<long long>(r.frames), r.wall_seconds, static_cast<long long>(r.sample_bytes),
        static_cast<long long>(r.wrong_size));
  }
  out += Format("empty, short:  %lld empty, %lld shorter than the frame\n",
                static_cast<long long>(r.empty_samples), static_cast<long long>(r.short_samples));
  out += Format("sample sizes:  min %lld, p50 %lld, max %lld bytes\n",
                static_cast<long long>(r.sizes.min), static_cast<long long>(r.sizes.p50),
                static_cast<long long>(r.sizes.max));
  const TimestampCheck& t = r.timestamps;
  out += Format(
      "time stamps:   %s (first start %lld; %lld off schedule, %lld bad stop, "
      "%lld out of order, %lld gaps missing %lld frames, %lld without time)\n",
      t.ok() ? "0, ft, 2ft, ... in order" : "NOT in order", static_cast<long long>(t.first_start),
      static_cast<long long>(t.off_schedule), static_cast<long long>(t.bad_stop),
      static_cast<long long>(t.out_of_order), static_cast<long long>(t.gaps),
      static_cast<long long>(t.missing_frames), static_cast<long long>(t.missing));
  const IntervalStats& i = r.intervals;
  out += Format(
      "arrivals (ms): mean %.3f, p50 %.3f, p99 %.3f, min %.3f, max %.3f "
      "(nominal %.3f)\n",
      i.mean_ms, i.p50_ms, i.p99_ms, i.min_ms, i.max_ms,
      static_cast<double>(f.frame_time) / 10000.0);
  out += Format("rate:          %.3f fps measured\n", r.measured_fps);
  out +=
      Format("graph clock:   %s\n", r.media_foundation ? "none (Media Foundation's source reader)"
                                    : r.graph_clock    ? "the graph's reference clock"
                                                       : "none (--no-clock)");
  out += Format("late arrivals: %lld frames more than one interval late (max %.3f ms behind)\n",
                static_cast<long long>(r.lateness.late_frames), r.lateness.max_late_ms);
  out += "source counts: " + SourceCountsText(r.source) + "\n";
  out += Format("cpu:           %.1f %% of one core (%.1f %% of %d cores)\n", CpuPercent(r),
                CpuPercent(r) / (r.processors > 0 ? r.processors : 1), r.processors);
  if (r.verify) {
    const FrameCodeCheck& c = r.codes;
    out += Format(
        "frame codes:   %lld of %lld read (%lld unreadable, %lld without a code), frames %lld "
        "to %lld: %lld missing, %lld repeated, %lld out of order, %lld restarts; source drops "
        "%lld\n",
        static_cast<long long>(c.decoded), static_cast<long long>(c.frames),
        static_cast<long long>(c.unreadable), static_cast<long long>(c.no_code),
        static_cast<long long>(c.first_frame), static_cast<long long>(c.last_frame),
        static_cast<long long>(c.missing), static_cast<long long>(c.repeated),
        static_cast<long long>(c.out_of_order), static_cast<long long>(c.restarts),
        static_cast<long long>(c.source_drops));
    if (c.interlaced)
      out += Format("field codes:   %lld read, %lld unreadable, %lld disagreeing\n",
                    static_cast<long long>(c.fields_decoded),
                    static_cast<long long>(c.fields_unreadable),
                    static_cast<long long>(c.field_mismatch));
    out += FindingsText(r.findings, r.counts);
  }
  out += DeviceEventsText(r);
  if (r.ended_early)
    out += "note:          the source ended the stream early\n";
  if (!r.snapshot.empty())
    out += Format("snapshot:      %s\n", r.snapshot.c_str());
  const std::vector<std::string> problems = r.problems();
  out += problems.empty() ? "result:        ok\n" : "result:        FAILED\n";
  for (const std::string& problem : problems)
    out += "  " + problem + "\n";
  return out;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20)
          out += Format("\\u%04x", static_cast<unsigned>(c));
        else
          out += c;
    }
  }
  return out + "\"";
}

namespace {

// What --verify found, as one JSON object.
std::string FrameCodeJson(const FrameCodeCheck& c) {
  return JsonMembers()
      .Bool("ok", c.ok())
      .Int("frames", c.frames)
      .Int("decoded", c.decoded)
      .Int("unreadable", c.unreadable)
      .Int("no_code", c.no_code)
      .Int("partial", c.partial)
      .Int("first_frame", c.first_frame)
      .Int("last_frame", c.last_frame)
      .Int("missing", c.missing)
      .Int("repeated", c.repeated)
      .Int("out_of_order", c.out_of_order)
      .Int("restarts", c.restarts)
      .Int("time_mismatch", c.time_mismatch)
      .Int("capability_mismatch", c.capability_mismatch)
      .Int("source_drops", c.source_drops)
      .Bool("interlaced", c.interlaced)
      .Int("fields_decoded", c.fields_decoded)
      .Int("fields_unreadable", c.fields_unreadable)
      .Int("field_mismatch", c.field_mismatch)
      .Object();
}

}  // namespace

std::string FormatReportJson(const CaptureReport& r) {
  const Capability& f = r.format;
  const TimestampCheck& t = r.timestamps;
  const IntervalStats& i = r.intervals;
  std::string out = "{\n";
  out += "  \"device\": " + JsonString(r.device) + ",\n";
  out += Format("  \"width\": %d, \"height\": %d, \"format\": %s, \"frame_time\": %lld,\n", f.width,
                f.height, JsonString(f.subtype).c_str(), static_cast<long long>(f.frame_time));
  out += Format("  \"nominal_fps\": %.6f, \"interlace_flags\": %d, \"sample_bytes\": %lld,\n",
                RateOfFrameTime(f.frame_time), f.interlace_flags,
                static_cast<long long>(r.sample_bytes));
  out += Format("  \"requested_frames\": %lld, \"frames\": %lld, \"wrong_size\": %lld,\n",
                static_cast<long long>(r.requested_frames), static_cast<long long>(r.frames),
                static_cast<long long>(r.wrong_size));
  out += Format("  \"empty_samples\": %lld, \"short_samples\": %lld,\n",
                static_cast<long long>(r.empty_samples), static_cast<long long>(r.short_samples));

  out += "  \"timestamps\": " +
         JsonMembers()
             .Bool("ok", t.ok())
             .Int("first_start", t.first_start)
             .Int("off_schedule", t.off_schedule)
             .Int("bad_stop", t.bad_stop)
             .Int("out_of_order", t.out_of_order)
             .Int("gaps", t.gaps)
             .Int("missing_frames", t.missing_frames)
             .Int("missing", t.missing)
             .Int("first_bad_index", t.first_bad_index)
             .Object() +
         ",\n";
  out += "  \"interval_ms\": " +
         JsonMembers()
             .Int("count", i.count)
             .Fixed("mean", i.mean_ms)
             .Fixed("p50", i.p50_ms)
             .Fixed("p99", i.p99_ms)
             .Fixed("min", i.min_ms)
             .Fixed("max", i.max_ms)
             .Object() +
         ",\n";
  out += Format("  \"measured_fps\": %.4f, \"late_frames\": %lld, \"max_late_ms\": %.4f,\n",
                r.measured_fps, static_cast<long long>(r.lateness.late_frames),
                r.lateness.max_late_ms);
  out += Format(
      "  \"wall_seconds\": %.4f, \"cpu_seconds\": %.4f, \"cpu_percent_one_core\": %.2f, "
      "\"processors\": %d,\n",
      r.wall_seconds, r.cpu_seconds, CpuPercent(r), r.processors);
  out += Format("  \"ended_early\": %s, \"graph_clock\": %s,\n", r.ended_early ? "true" : "false",
                r.graph_clock ? "true" : "false");
  out += "  \"snapshot\": " + JsonString(r.snapshot) + ",\n";
  out += "  \"stream_error\": " + JsonString(r.stream_error) + ",\n";
  out += "  \"source_counts\": " + SourceCountsJson(r.source) + ",\n";
  out += "  \"device_events\": [";
  for (size_t k = 0; k < r.device_events.size(); ++k) {
    const DeviceEvent& e = r.device_events[k];
    out += (k ? ", " : "") + Format("{\"event\": \"%s\", \"frames\": %lld, \"seconds\": %.4f}",
                                    e.available ? "available" : "removed",
                                    static_cast<long long>(e.frames), e.seconds);
  }
  out += Format("], \"reconnects\": %lld,\n", static_cast<long long>(r.reconnects));
  if (r.verify) {
    out += "  \"stream_changes\": [";
    for (size_t k = 0; k < r.stream_changes.size(); ++k) {
      const StreamChange& c = r.stream_changes[k];
      out += (k ? ", " : "") + JsonMembers()
                                   .Int("old_stream", c.old_stream)
                                   .Int("new_stream", c.new_stream)
                                   .Int("old_last_frame", c.old_last_frame)
                                   .Int("new_first_frame", c.new_first_frame)
                                   .Int("missing_between", c.missing_between)
                                   .Object();
    }
    out += "],\n";
    out += "  \"frame_code\": " + FrameCodeJson(r.codes) + ",\n";
    out += FindingsJson(r.findings, r.counts);
  }
  // Last but the verdict, so that the keys before keep their first match.
  out += "  \"variable_size\": " + std::string(r.variable_size ? "true" : "false") +
         ", \"sample_sizes\": " +
         JsonMembers()
             .Int("min", r.sizes.min)
             .Int("p50", r.sizes.p50)
             .Int("max", r.sizes.max)
             .Object() +
         ",\n";
  out += "  \"problems\": [";
  const std::vector<std::string> problems = r.problems();
  for (size_t k = 0; k < problems.size(); ++k)
    out += (k ? ", " : "") + JsonString(problems[k]);
  out += "],\n";
  out += Format("  \"ok\": %s\n}\n", problems.empty() ? "true" : "false");
  return out;
}

std::string FormatCapabilitiesText(const std::vector<Capability>& caps) {
  std::string out = "index  size        format  fps        frame_time  layout  interlace\n";
  for (const Capability& c : caps) {
    out += Format("%5d  %-10s  %-6s  %-9.3f  %-10lld  %-6s  %s\n", c.index,
                  (std::to_string(c.width) + "x" + std::to_string(c.height)).c_str(),
                  c.subtype.c_str(), RateOfFrameTime(c.frame_time),
                  static_cast<long long>(c.frame_time), c.video_info2 ? "VIH2" : "VIH",
                  InterlaceText(c.interlace_flags).c_str());
  }
  return out;
}

std::string FormatCapabilitiesJson(const std::string& device, const std::vector<Capability>& caps) {
  std::string out = "{\n  \"device\": " + JsonString(device) + ",\n  \"capabilities\": [\n";
  for (size_t k = 0; k < caps.size(); ++k) {
    const Capability& c = caps[k];
    out += Format(
        "    {\"index\": %d, \"width\": %d, \"height\": %d, \"format\": %s, "
        "\"frame_time\": %lld, \"fps\": %.6f, \"video_info2\": %s, "
        "\"interlace_flags\": %d}%s\n",
        c.index, c.width, c.height, JsonString(c.subtype).c_str(),
        static_cast<long long>(c.frame_time), RateOfFrameTime(c.frame_time),
        c.video_info2 ? "true" : "false", c.interlace_flags, k + 1 < caps.size() ? "," : "");
  }
  return out + "  ]\n}\n";
}

}  // namespace zdcap
