// One MPEG audio frame: its 4-byte header, the layer III side information that follows it, and
// the frame's CRC-16. What the song check and the gain change need of the format, no decoding.
//
// A layer III frame: header (4 bytes), CRC (2 bytes, only when the header says the frame is
// protected), side information (17 or 32 bytes for MPEG-1, 9 or 17 for MPEG-2 and 2.5, mono or
// not), then main data. The side information holds, for every granule (two in an MPEG-1 frame,
// one in an MPEG-2 or 2.5 frame) and channel, an 8-bit global gain: the step size of that
// granule's quantizer, where one step is 2^(1/4) in amplitude, 1.5 dB. Adding n to every global
// gain of a song makes it n x 1.5 dB louder and leaves every other bit as it was. The CRC covers
// the header's last two bytes and the side information, so it changes with the gains.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrel::songs {

enum class MpegVersion { Mpeg1, Mpeg2, Mpeg25 };

struct FrameHeader {
  MpegVersion version = MpegVersion::Mpeg1;
  int layer = 3;             // 1, 2 or 3
  bool protectedByCrc = false;
  int bitrateKbps = 0;       // never 0 here: a free-format frame is not taken as a frame
  int sampleRate = 0;        // Hz
  bool padding = false;
  int channelMode = 0;       // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
  int frameBytes = 0;        // the whole frame, header included

  int Channels() const { return channelMode == 3 ? 1 : 2; }
  int Granules() const { return version == MpegVersion::Mpeg1 ? 2 : 1; }
  int SamplesPerFrame() const;
  // Layer III: bytes of side information, and where it begins (after the header and the CRC).
  int SideInfoBytes() const;
  int SideInfoOffset() const { return protectedByCrc ? 6 : 4; }
  // Bytes from the frame's start through its side information: all a gain change touches.
  int HeadBytes() const { return SideInfoOffset() + SideInfoBytes(); }
  // Same stream: the same version, layer and sample rate, and mono or not alike. A stream's
  // frames all agree so; a chance pattern in other data rarely does.
  bool SameStream(const FrameHeader& other) const;
};

// The header at `p` (4 bytes). False for anything that is not the header of a frame whose
// length follows from it: no sync, a reserved version, layer, bitrate, sample rate or emphasis,
// or a free-format bitrate.
bool ParseFrameHeader(const std::uint8_t* p, FrameHeader& header);

// Fields of a layer III frame's side information (`frame` holds at least HeadBytes() bytes).
int MainDataBegin(const std::uint8_t* frame, const FrameHeader& header);
// Bit position, from the frame's first byte, of the global gain of granule `gr`, channel `ch`.
std::size_t GlobalGainBit(const FrameHeader& header, int gr, int ch);
// Bits of audio data (part2_3_length) of granule `gr`, channel `ch`: 0 for a silent granule.
int Part23Length(const std::uint8_t* frame, const FrameHeader& header, int gr, int ch);

unsigned ReadBits(const std::uint8_t* data, std::size_t bit, int count);
void WriteBits(std::uint8_t* data, std::size_t bit, int count, unsigned value);

// The frame's CRC-16 (polynomial 0x8005, start 0xFFFF) over the header's last two bytes and the
// side information, and the one stored in the frame (bytes 4 and 5, high byte first).
std::uint16_t ComputeFrameCrc(const std::uint8_t* frame, const FrameHeader& header);
std::uint16_t StoredFrameCrc(const std::uint8_t* frame);

// Adds `steps` to every global gain of the layer III frame (its first HeadBytes() bytes), each
// kept within 0..255, and brings a protected frame's CRC along: a CRC that was right stays
// right, and one that was wrong stays wrong by the same bits, so a decoder that checks it still
// sees the damage.
void AddGlobalGain(std::uint8_t* frame, const FrameHeader& header, int steps);

}  // namespace kestrel::songs
