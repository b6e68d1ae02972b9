#include "songs/Mp3Frame.h"

#include <algorithm>

namespace kestrel::songs {

namespace {

// kbit/s by bitrate index: MPEG-1 layers I, II, III, then MPEG-2/2.5 layer I, layers II and III.
constexpr int kBitrates[5][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
constexpr int kSampleRates[3] = {44100, 48000, 32000};

// Side information before the first granule's fields, and the bits of one granule and channel.
int SideInfoPrefixBits(const FrameHeader& h) {
  const bool mono = h.Channels() == 1;
  if (h.version == MpegVersion::Mpeg1) return 9 + (mono ? 5 : 3) + 4 * h.Channels();
  return 8 + (mono ? 1 : 2);
}
int GranuleChannelBits(const FrameHeader& h) { return h.version == MpegVersion::Mpeg1 ? 59 : 63; }

std::size_t FieldBit(const FrameHeader& h, int gr, int ch) {
  return static_cast<std::size_t>(h.SideInfoOffset()) * 8 + SideInfoPrefixBits(h) +
         static_cast<std::size_t>(gr * h.Channels() + ch) * GranuleChannelBits(h);
}

}  // namespace

int FrameHeader::SamplesPerFrame() const {
  if (layer == 1) return 384;
  if (layer == 2 || version == MpegVersion::Mpeg1) return 1152;
  return 576;
}

int FrameHeader::SideInfoBytes() const {
  if (version == MpegVersion::Mpeg1) return Channels() == 1 ? 17 : 32;
  return Channels() == 1 ? 9 : 17;
}

bool FrameHeader::SameStream(const FrameHeader& o) const {
  return version == o.version && layer == o.layer && sampleRate == o.sampleRate &&
         (channelMode == 3) == (o.channelMode == 3);
}

bool ParseFrameHeader(const std::uint8_t* p, FrameHeader& h) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  const int versionBits = (p[1] >> 3) & 3;
  const int layerBits = (p[1] >> 1) & 3;
  const int bitrateIndex = p[2] >> 4;
  const int rateIndex = (p[2] >> 2) & 3;
  if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 ||
      (p[3] & 3) == 2)
    return false;
  h.version = versionBits == 3 ? MpegVersion::Mpeg1 : versionBits == 2 ? MpegVersion::Mpeg2 : MpegVersion::Mpeg25;
  h.layer = 4 - layerBits;
  h.protectedByCrc = (p[1] & 1) == 0;
  const bool mpeg1 = h.version == MpegVersion::Mpeg1;
  const int table = mpeg1 ? h.layer - 1 : (h.layer == 1 ? 3 : 4);
  h.bitrateKbps = kBitrates[table][bitrateIndex];
  h.sampleRate = kSampleRates[rateIndex] / (mpeg1 ? 1 : h.version == MpegVersion::Mpeg2 ? 2 : 4);
  h.padding = (p[2] >> 1) & 1;
  h.channelMode = p[3] >> 6;
  const long bitsPerSecond = h.bitrateKbps * 1000L;
  if (h.layer == 1) {
    h.frameBytes = static_cast<int>((12 * bitsPerSecond / h.sampleRate + h.padding) * 4);
  } else {
    const int factor = (h.layer == 3 && !mpeg1) ? 72 : 144;
    h.frameBytes = static_cast<int>(factor * bitsPerSecond / h.sampleRate + h.padding);
  }
  return true;
}

unsigned ReadBits(const std::uint8_t* data, std::size_t bit, int count) {
  unsigned value = 0;
  for (int i = 0; i < count; ++i, ++bit) value = (value << 1) | ((data[bit / 8] >> (7 - bit % 8)) & 1u);
  return value;
}

void WriteBits(std::uint8_t* data, std::size_t bit, int count, unsigned value) {
  for (int i = count - 1; i >= 0; --i, ++bit) {
    const std::uint8_t mask = static_cast<std::uint8_t>(0x80u >> (bit % 8));
    if ((value >> i) & 1u) {
      data[bit / 8] |= mask;
    } else {
      data[bit / 8] &= static_cast<std::uint8_t>(~mask);
    }
  }
}

int MainDataBegin(const std::uint8_t* frame, const FrameHeader& h) {
  return static_cast<int>(ReadBits(frame, static_cast<std::size_t>(h.SideInfoOffset()) * 8,
                                   h.version == MpegVersion::Mpeg1 ? 9 : 8));
}

std::size_t GlobalGainBit(const FrameHeader& h, int gr, int ch) { return FieldBit(h, gr, ch) + 21; }

int Part23Length(const std::uint8_t* frame, const FrameHeader& h, int gr, int ch) {
  return static_cast<int>(ReadBits(frame, FieldBit(h, gr, ch), 12));
}

std::uint16_t ComputeFrameCrc(const std::uint8_t* frame, const FrameHeader& h) {
  unsigned crc = 0xFFFF;
  auto add = [&crc](std::uint8_t byte) {
    for (int i = 7; i >= 0; --i) {
      const bool top = ((crc >> 15) & 1u) != ((byte >> i) & 1u);
      crc = (crc << 1) & 0xFFFF;
      if (top) crc ^= 0x8005;
    }
  };
  add(frame[2]);
  add(frame[3]);
  const int start = h.SideInfoOffset();
  for (int i = 0; i < h.SideInfoBytes(); ++i) add(frame[start + i]);
  return static_cast<std::uint16_t>(crc);
}

std::uint16_t StoredFrameCrc(const std::uint8_t* frame) {
  return static_cast<std::uint16_t>((frame[4] << 8) | frame[5]);
}

void AddGlobalGain(std::uint8_t* frame, const FrameHeader& h, int steps) {
  const std::uint16_t error = h.protectedByCrc ? ComputeFrameCrc(frame, h) ^ StoredFrameCrc(frame) : 0;
  for (int gr = 0; gr < h.Granules(); ++gr) {
    for (int ch = 0; ch < h.Channels(); ++ch) {
      const std::size_t bit = GlobalGainBit(h, gr, ch);
      const int gain = static_cast<int>(ReadBits(frame, bit, 8)) + steps;
      WriteBits(frame, bit, 8, static_cast<unsigned>(std::clamp(gain, 0, 255)));
    }
  }
  if (h.protectedByCrc) {
    const std::uint16_t crc = ComputeFrameCrc(frame, h) ^ error;
    frame[4] = static_cast<std::uint8_t>(crc >> 8);
    frame[5] = static_cast<std::uint8_t>(crc & 0xFF);
  }
}

}  // namespace kestrel::songs
