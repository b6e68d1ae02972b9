// The MPEG audio decoder library, fed the bytes of a stream as they are read and handing on
// the decoded samples as 32-bit floats (1.0 = full scale), with the encoder's delay and padding
// left out (as a player leaves them out). No samples are kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <string>
#include <vector>

struct mpg123_handle_struct;

namespace kestrel::songs {

class Mp3Decoder {
 public:
  // `format` when the stream's format is known (again, when it changes); `samples` with
  // `frames` interleaved frames.
  using FormatSink = std::function<void(long sampleRate, int channels)>;
  using SampleSink = std::function<void(const float* samples, std::size_t frames)>;

  Mp3Decoder(FormatSink format, SampleSink samples);
  ~Mp3Decoder();
  Mp3Decoder(const Mp3Decoder&) = delete;
  Mp3Decoder& operator=(const Mp3Decoder&) = delete;

  void Feed(const std::uint8_t* data, std::size_t bytes);
  // The stream has ended: what the decoder still holds is decoded.
  void Finish();

  // False when the library could not be set up (`Problem` says why).
  bool Usable() const { return handle_ != nullptr; }
  const std::string& Problem() const { return problem_; }
  // Errors the decoder reported on the way (it goes on after each).
  int Errors() const { return errors_; }

 private:
  void Drain();

  mpg123_handle_struct* handle_ = nullptr;
  FormatSink format_;
  SampleSink samples_;
  std::vector<unsigned char> out_;
  std::string problem_;
  int errors_ = 0;
  int channels_ = 0;
};

}  // namespace kestrel::songs
