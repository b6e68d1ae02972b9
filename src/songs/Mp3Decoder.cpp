#include "songs/Mp3Decoder.h"

#include <mpg123.h>

#include <mutex>

namespace kestrel::songs {

namespace {

bool LibraryReady(std::string& problem) {
  static int result = MPG123_ERR;
  static std::once_flag once;
  std::call_once(once, [] { result = mpg123_init(); });
  if (result != MPG123_OK) problem = "the MPEG audio decoder could not start";
  return result == MPG123_OK;
}

}  // namespace

Mp3Decoder::Mp3Decoder(FormatSink format, SampleSink samples)
    : format_(std::move(format)), samples_(std::move(samples)) {
  if (!LibraryReady(problem_)) return;
  int error = MPG123_OK;
  mpg123_handle* h = mpg123_new(nullptr, &error);
  if (!h) {
    problem_ = "the MPEG audio decoder could not start";
    return;
  }
  // Quiet (nothing on standard error), float samples, ID3v2 tags skipped without reading them
  // into memory, the encoder's delay and padding left out.
  const long flags = MPG123_QUIET | MPG123_FORCE_FLOAT | MPG123_SKIP_ID3V2 | MPG123_GAPLESS;
  if (mpg123_param(h, MPG123_FLAGS, flags, 0) != MPG123_OK || mpg123_open_feed(h) != MPG123_OK) {
    problem_ = std::string("the MPEG audio decoder could not start: ") + mpg123_strerror(h);
    mpg123_delete(h);
    return;
  }
  handle_ = h;
  out_.resize(mpg123_outblock(h) * 4);
}

Mp3Decoder::~Mp3Decoder() {
  if (handle_) mpg123_delete(handle_);
}

void Mp3Decoder::Feed(const std::uint8_t* data, std::size_t bytes) {
  if (!handle_ || bytes == 0) return;
  if (mpg123_feed(handle_, data, bytes) != MPG123_OK) {
    ++errors_;
    return;
  }
  Drain();
}

void Mp3Decoder::Finish() {
  if (handle_) Drain();
}

void Mp3Decoder::Drain() {
  for (;;) {
    std::size_t done = 0;
    const int result = mpg123_read(handle_, out_.data(), out_.size(), &done);
    if (done > 0 && channels_ > 0)
      samples_(reinterpret_cast<const float*>(out_.data()), done / (sizeof(float) * static_cast<std::size_t>(channels_)));
    if (result == MPG123_NEW_FORMAT) {
      long rate = 0;
      int channels = 0, encoding = 0;
      mpg123_getformat(handle_, &rate, &channels, &encoding);
      if (encoding != MPG123_ENC_FLOAT_32) {
        ++errors_;
        channels_ = 0;
        return;
      }
      channels_ = channels;
      format_(rate, channels);
      continue;
    }
    if (result == MPG123_OK) continue;
    if (result == MPG123_NEED_MORE || result == MPG123_DONE) return;
    ++errors_;  // a damaged frame: the decoder skips it and goes on with the next feed
    return;
  }
}

}  // namespace kestrel::songs
