// The frame an encoder puts before the audio to describe the stream: a layer III frame of
// silence whose main data holds a "Xing" (variable bitrate) or "Info" (constant bitrate) tag
// with the number of frames and bytes, often followed by the encoder's own extension (nine
// bytes of encoder name, then delay and padding, replay gains, and two CRC-16s: one over the
// audio after this frame, one over the frame itself up to the extension's end). A "VBRI" tag
// plays the same part for some other encoders. Decoders skip this frame; it is not audio, and
// a gain change must leave it alone but for the extension's fields that describe the audio's
// level, which it keeps true.
#pragma once

#include <cstddef>
#include <cstdint>

#include "songs/Mp3Frame.h"

namespace kestrel::songs {

struct InfoFrame {
  bool variableBitrate = false;  // "Xing" or "VBRI" rather than "Info"
  std::int64_t audioFrames = -1;  // the frames after this one, as the tag counts them; -1: not given
  std::int64_t streamBytes = -1;  // bytes from this frame's start to the last frame's end; -1: not given

  // The encoder's extension, when there is one (it begins with the encoder's name).
  std::size_t extension = 0;   // its offset in the frame; 0: none
  bool extensionCrcValid = false;  // the frame's own CRC (over bytes 0 .. extension + 33) holds
  std::uint16_t musicCrc = 0;  // as stored: the CRC of the audio bytes after this frame
};

// The tag of `frame` (`bytes` long, a layer III frame with header `header`). False when the
// frame carries none: then it is audio.
bool ParseInfoFrame(const std::uint8_t* frame, std::size_t bytes, const FrameHeader& header, InfoFrame& info);

// The CRC-16 the encoder's extension uses (polynomial 0x8005 reflected, start 0), continued
// from `crc`.
std::uint16_t ExtensionCrc(const std::uint8_t* data, std::size_t bytes, std::uint16_t crc = 0);
void UpdateExtensionCrc(std::uint16_t& crc, std::uint8_t byte);

// The extension's fields after `steps` x 1.5 dB were added to the audio: the replay gains it
// gives (when set) lowered by the same amount, the peak (when given) raised, the gain change it
// records increased by `steps`; the audio CRC set to `musicCrc` when `setMusicCrc`; and the
// frame's own CRC computed again when it was right before.
void AdjustExtension(std::uint8_t* frame, const InfoFrame& info, int steps, bool setMusicCrc, std::uint16_t musicCrc);

}  // namespace kestrel::songs
