#pragma once
// Any recording FFmpeg's libraries can open and decode (native build only),
// with the container's time stamp of every frame. The decoded picture is
// reduced to its luma plane: copied as it is from 8-bit YUV and grey formats,
// computed with LumaOfBgr from RGB ones, converted by libswscale otherwise.
#include <string>
#include <vector>

#include "tools/analyse/read/ffmpeg_owners.h"
#include "tools/analyse/read/frame_source.h"

namespace zdanalyse {

class FfmpegReader : public FrameSource {
 public:
  // False, with a reason, when the file cannot be opened, holds no video
  // stream, or its video cannot be decoded.
  bool Open(const std::string& path, std::string* error);

  const SourceInfo& Info() const override { return m_info; }
  ReadStatus Next(LumaFrame* frame, std::string* error) override;
  bool CanAddColour() const override { return true; }
  bool AddColour(LumaFrame* frame) override;

 private:
  ReadStatus Decode(std::string* error);  // one frame into m_frame, or the end
  // MJPG and raw video: one packet at a time, each inspected (m_damage) and
  // decoded on its own; a packet that gives no picture is a placeholder frame.
  ReadStatus DecodeInspected(std::string* error);
  void Placeholder(LumaFrame* frame) const;
  FrameDamage InspectJpegPacket();  // m_packet's JPEG
  FrameDamage FitRawPacket();       // m_packet's length, then made a whole frame's
  bool StrictlyDecodes();           // m_packet through m_strict
  bool ToLuma(LumaFrame* out, std::string* error);
  bool Lend(int plane, int offset, LumaFrame* out);
  // The colour of m_frame (and of m_converted, for RGB kinds) into out.
  void Colour(LumaFrame* out);

  FormatContextPtr m_format;
  CodecContextPtr m_codec;
  FramePtr m_frame;
  PacketPtr m_packet;
  SwsContextPtr m_sws;
  std::vector<uint8_t> m_converted;
  bool m_held = false;  // m_frame (and m_converted) still hold the frame Next gave last
  int m_stream = -1;
  bool m_flushing = false;
  bool m_pending = false;  // m_packet holds a packet the decoder could not take yet
  bool m_ended = false;
  int64_t m_frameIndex = 0;
  SourceInfo m_info;
  bool m_inspectJpeg = false;
  // MJPG: a second decoder with FFmpeg's strictest error recognition, whose
  // refusal of a structurally whole packet is corrupt data.
  CodecContextPtr m_strict;
  FramePtr m_strictFrame;
  // Raw video in a layout whose frames have a known length: the rows packed
  // and, as DIB rows are, each padded to 4 bytes (the same for most sizes).
  bool m_inspectRaw = false;
  int m_rawPacked = 0;
  int m_rawAligned = 0;
  FrameDamage m_damage = FrameDamage::kNone;  // of the packet the frame came from
  bool m_placeholder = false;                 // that packet gave no picture
  int64_t m_placeholderPts = 0;
};

}  // namespace zdanalyse
