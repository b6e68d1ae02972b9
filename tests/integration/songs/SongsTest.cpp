// The song check and the loudness change on real files, made here with the encoder and the
// converter the system's packages bring (lame, ffmpeg): several bitrates, CBR and VBR, mono and
// stereo, MPEG-1, 2 and 2.5, with and without CRC and tags; files that only look like songs; and
// damaged ones. ffmpeg is also the independent judge: its loudness meter and its CRC check.
#include <ebur128.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "integration/ftp/CliRun.h"
#include "songs/AdjustedSong.h"
#include "songs/FrameWalker.h"
#include "songs/InfoFrame.h"
#include "songs/LoudnessPlan.h"
#include "songs/SongCheck.h"
#include "songs/SongPool.h"
#include "songs/SongScreening.h"
#include "playlists/SongCheckAhead.h"
#include "support/FtpTestServer.h"
#include "support/TempDir.h"

namespace kestrel::songs {
namespace {

using test::RunCli;
using test::TempDir;

std::string Tool(const std::string& program, const std::vector<std::string>& args) {
  const test::CliRun run = RunCli(args, program);
  if (run.status != 0) throw std::runtime_error(program + " failed: " + run.err);
  return run.err;
}

std::string Read(const std::string& path) { return TempDir::ReadFile(path); }
void Write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

struct Encoding {
  const char* name;
  const char* source;
  std::vector<std::string> lameArgs;
  MpegVersion version;
  int channels;
  int sampleRate;
  int kbps;  // 0: variable bitrate
};

const std::vector<Encoding>& Encodings() {
  static const std::vector<Encoding> encodings = {
      {"mpeg1-stereo-128.mp3", "music", {"-b", "128"}, MpegVersion::Mpeg1, 2, 44100, 128},
      {"mpeg1-joint-320-crc.mp3", "music", {"-b", "320", "-p"}, MpegVersion::Mpeg1, 2, 44100, 320},
      {"mpeg1-vbr-tags.mp3", "music", {"-V", "2", "--tt", "Song", "--ta", "Band", "--add-id3v2"}, MpegVersion::Mpeg1, 2, 44100, 0},
      {"mpeg1-mono-96-crc.mp3", "music", {"-m", "m", "-b", "96", "-p"}, MpegVersion::Mpeg1, 1, 44100, 96},
      {"mpeg1-no-info-frame.mp3", "music", {"-b", "112", "-t"}, MpegVersion::Mpeg1, 2, 44100, 112},
      {"mpeg2-stereo-64.mp3", "music", {"--resample", "22.05", "-b", "64"}, MpegVersion::Mpeg2, 2, 22050, 64},
      {"mpeg2-mono-vbr-crc.mp3", "music", {"-m", "m", "--resample", "16", "-V", "4", "-p"}, MpegVersion::Mpeg2, 1, 16000, 0},
      {"mpeg25-mono-24.mp3", "music", {"-m", "m", "--resample", "8", "-b", "24"}, MpegVersion::Mpeg25, 1, 8000, 24},
      {"loud-vbr-crc.mp3", "loud", {"-V", "3", "-p", "--tt", "Loud", "--add-id3v2"}, MpegVersion::Mpeg1, 2, 44100, 0},
      {"peaky-192-crc.mp3", "peaky", {"-b", "192", "-p"}, MpegVersion::Mpeg1, 2, 44100, 192},
  };
  return encodings;
}

// The files, made once for all tests of this program.
class Songs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir("kestrel-songs-");
    const std::map<std::string, std::string> sources = {
        {"music", "anoisesrc=c=pink:a=0.08:seed=1[a];anoisesrc=c=pink:a=0.08:seed=2[b];[a][b]amerge=inputs=2"},
        {"loud", "anoisesrc=c=pink:a=0.9:seed=3[a];anoisesrc=c=pink:a=0.9:seed=4[b];[a][b]amerge=inputs=2"},
        // A quiet tone with short loud bursts: a song whose peaks, not its loudness, stop a raise.
        {"peaky", "aevalsrc=exprs=0.02*sin(2*PI*220*t)+0.45*sin(2*PI*1000*t)*lt(mod(t\\,1)\\,0.02):s=44100,"
                  "aformat=channel_layouts=stereo"},
    };
    for (const auto& [name, graph] : sources)
      Tool("/usr/bin/ffmpeg", {"-v", "error", "-filter_complex", graph + ",atrim=0:4", "-ar", "44100", "-y",
                              File(name + ".wav")});
    for (const Encoding& e : Encodings()) {
      std::vector<std::string> args = {"--quiet"};
      args.insert(args.end(), e.lameArgs.begin(), e.lameArgs.end());
      args.push_back(File(std::string(e.source) + ".wav"));
      args.push_back(File(e.name));
      Tool("/usr/bin/lame", args);
    }
    // Files named .mp3 that are something else.
    Write(File("wav.mp3"), Read(File("music.wav")));
    Tool("/usr/bin/ffmpeg", {"-v", "error", "-i", File("music.wav"), "-c:a", "aac", "-f", "mp4", "-y", File("m4a.mp3")});
    Tool("/usr/bin/ffmpeg", {"-v", "error", "-i", File("music.wav"), "-c:a", "mp2", "-f", "mp2", "-y", File("layer2.mp3")});
    Write(File("text.mp3"), "Track list\nOne\nTwo\n");
    Write(File("empty.mp3"), "");
    // Damaged songs.
    const std::string whole = Read(File("mpeg1-stereo-128.mp3"));
    Write(File("truncated.mp3"), whole.substr(0, whole.size() * 6 / 10));
    std::string holed = whole;
    for (std::size_t i = 0; i < 3000; ++i) holed[holed.size() / 2 + i] = static_cast<char>(i * 7);
    Write(File("hole.mp3"), holed);
    std::string crc = Read(File("mpeg1-joint-320-crc.mp3"));
    crc[FrameOffsets(crc)[10] + 12] ^= 0x10;  // a bit of the side information of one frame
    Write(File("crc-broken.mp3"), crc);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  static std::string File(const std::string& name) { return dir_->file(name); }

  // Where each audio frame starts, as the library's walker finds them.
  static std::vector<std::size_t> FrameOffsets(const std::string& bytes) {
    std::vector<std::size_t> offsets;
    FrameWalker walker([&](Segment& s) {
      if (s.kind == SegmentKind::AudioFrame) offsets.push_back(static_cast<std::size_t>(s.offset));
    });
    walker.Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    walker.Finish();
    return offsets;
  }

  static TempDir* dir_;
};

TempDir* Songs::dir_ = nullptr;

// ffmpeg's integrated loudness (its EBU R128 meter; a mono song as two channels).
double FfmpegLoudness(const std::string& path, bool mono) {
  const std::string err = RunCli({"-hide_banner", "-nostats", "-i", path, "-af",
                                  std::string("ebur128=metadata=1") + (mono ? ":dualmono=true" : "") +
                                      ",ametadata=mode=print:key=lavfi.r128.I:file=/dev/stderr",
                                  "-f", "null", "-"},
                                 "/usr/bin/ffmpeg")
                              .err;
  static const std::regex value("lavfi\\.r128\\.I=(-?[0-9.]+)");
  double last = NAN;
  for (auto it = std::sregex_iterator(err.begin(), err.end(), value); it != std::sregex_iterator(); ++it)
    last = std::stod((*it)[1]);
  return last;
}

// The loudness library's own true peak (dBTP) of the song as ffmpeg decodes it.
double LibraryTruePeak(const std::string& path, int channels, int sampleRate) {
  const std::string raw = path + ".f32";
  Tool("/usr/bin/ffmpeg", {"-v", "error", "-i", path, "-f", "f32le", "-y", raw});
  const std::string samples = Read(raw);
  ebur128_state* state = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate), EBUR128_MODE_TRUE_PEAK);
  ebur128_add_frames_float(state, reinterpret_cast<const float*>(samples.data()),
                           samples.size() / sizeof(float) / static_cast<std::size_t>(channels));
  double peak = 0;
  for (int c = 0; c < channels; ++c) {
    double p = 0;
    ebur128_true_peak(state, static_cast<unsigned>(c), &p);
    peak = std::max(peak, p);
  }
  ebur128_destroy(&state);
  return 20 * std::log10(peak);
}

TEST_F(Songs, ReadsTheFormatOfEveryKindOfMp3AndAgreesWithFfmpegOnLoudness) {
  for (const Encoding& e : Encodings()) {
    SCOPED_TRACE(e.name);
    const SongCheck c = CheckSong(File(e.name));
    EXPECT_EQ(c.verdict, SongVerdict::Ok) << c.reason;
    EXPECT_EQ(c.layer, 3);
    EXPECT_EQ(c.version, e.version);
    EXPECT_EQ(c.channels, e.channels);
    EXPECT_EQ(c.sampleRate, e.sampleRate);
    EXPECT_EQ(c.variableBitrate, e.kbps == 0);
    EXPECT_NEAR(c.seconds, 4.0, 0.05);
    if (e.kbps != 0) {
      EXPECT_NEAR(c.bitrateKbps, e.kbps, 0.5);
    }
    ASSERT_TRUE(c.measured);
    EXPECT_NEAR(c.loudnessLufs, FfmpegLoudness(File(e.name), e.channels == 1), 0.1);
    EXPECT_NEAR(c.truePeakDbtp, LibraryTruePeak(File(e.name), e.channels, e.sampleRate), 0.05);
  }
  // A large tag before the audio, as a big cover picture makes, hides no song.
  const std::uint32_t tagBytes = 3u << 20;
  std::string tag = "ID3\3";
  tag += std::string(2, '\0');
  for (int shift : {21, 14, 7, 0}) tag += static_cast<char>((tagBytes >> shift) & 0x7f);
  Write(File("large-tag.mp3"), tag + std::string(tagBytes, '\0') + Read(File("mpeg1-stereo-128.mp3")));
  const SongCheck tagged = CheckSong(File("large-tag.mp3"));
  EXPECT_EQ(tagged.verdict, SongVerdict::Ok) << tagged.reason;
  EXPECT_NEAR(tagged.seconds, 4.0, 0.05);
}

TEST_F(Songs, RefusesFilesThatAreNotMp3) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"wav.mp3", "a WAV file"},       {"m4a.mp3", "MP4"}, {"layer2.mp3", "layer II"},
      {"text.mp3", "a text file"},     {"empty.mp3", "empty"},
  };
  for (const auto& [name, why] : cases) {
    SCOPED_TRACE(name);
    const SongCheck c = CheckSong(File(name));
    EXPECT_EQ(c.verdict, SongVerdict::NotMp3);
    EXPECT_FALSE(c.Sendable());
    EXPECT_NE(c.reason.find(why), std::string::npos) << c.reason;
  }
  EXPECT_EQ(CheckSong(File("no such file.mp3")).verdict, SongVerdict::Unreadable);
}

TEST_F(Songs, WarnsAboutDamagedSongs) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"truncated.mp3", "truncated: the last frame is cut short"},
      {"hole.mp3", "between frames"},
      {"crc-broken.mp3", "1 frame fails its CRC check"},
  };
  for (const auto& [name, why] : cases) {
    SCOPED_TRACE(name);
    const SongCheck c = CheckSong(File(name));
    EXPECT_EQ(c.verdict, SongVerdict::Damaged);
    EXPECT_TRUE(c.Sendable());
    EXPECT_NE(c.reason.find(why), std::string::npos) << c.reason;
    EXPECT_TRUE(c.measured);
  }
}

// The adjusted copy of `c`'s song, read in pieces of odd sizes as a transfer would.
std::string AdjustedCopy(const SongCheck& c, int steps) {
  AdjustedSongReader reader(c, steps);
  std::string copy;
  char buffer[1000];
  for (std::size_t n; (n = reader.Read(buffer, 777 + copy.size() % 200)) > 0;) copy.append(buffer, n);
  EXPECT_EQ(static_cast<std::int64_t>(copy.size()), reader.Size());
  return copy;
}

// Bit by bit, the copy differs from the original only in the audio frames' global gains and
// CRCs and in the info frame's extension, and every global gain moved by `steps` (within 0..255).
void ExpectOnlyGainsChanged(const std::string& original, const std::string& copy, int steps) {
  ASSERT_EQ(original.size(), copy.size());
  std::vector<bool> mayDiffer(original.size() * 8, false);
  int gains = 0;
  std::string work = original;
  FrameWalker walker([&](Segment& s) {
    const std::size_t at = static_cast<std::size_t>(s.offset);
    if (s.kind == SegmentKind::InfoFrame && s.info.extension != 0) {
      for (std::size_t bit = (at + s.info.extension) * 8; bit < (at + s.info.extension + 36) * 8; ++bit) mayDiffer[bit] = true;
    }
    if (s.kind != SegmentKind::AudioFrame) return;
    const FrameHeader& h = s.header;
    if (h.protectedByCrc)
      for (std::size_t bit = (at + 4) * 8; bit < (at + 6) * 8; ++bit) mayDiffer[bit] = true;
    for (int gr = 0; gr < h.Granules(); ++gr) {
      for (int ch = 0; ch < h.Channels(); ++ch) {
        const std::size_t bit = GlobalGainBit(h, gr, ch);
        const auto* o = reinterpret_cast<const std::uint8_t*>(original.data() + at);
        const auto* c = reinterpret_cast<const std::uint8_t*>(copy.data() + at);
        const int before = static_cast<int>(ReadBits(o, bit, 8));
        ASSERT_EQ(static_cast<int>(ReadBits(c, bit, 8)), std::clamp(before + steps, 0, 255));
        for (int k = 0; k < 8; ++k) mayDiffer[at * 8 + bit + k] = true;
        ++gains;
      }
    }
  });
  walker.Feed(reinterpret_cast<const std::uint8_t*>(work.data()), work.size());
  walker.Finish();
  EXPECT_GT(gains, 0);
  for (std::size_t byte = 0; byte < original.size(); ++byte) {
    const auto diff = static_cast<std::uint8_t>(original[byte] ^ copy[byte]);
    for (int k = 0; k < 8; ++k)
      if ((diff >> (7 - k)) & 1) {
        ASSERT_TRUE(mayDiffer[byte * 8 + k]) << "byte " << byte << " bit " << k;
      }
  }
}

// The info frame of `bytes` describes its audio: its own CRC holds, the CRC of the audio after
// it is the one it keeps, and its radio replay gain is what `radioTenths` says.
void ExpectInfoFrameTrue(const std::string& bytes, int radioTenths) {
  std::uint16_t stored = 0, computed = 0;
  bool inAudio = false, seen = false;
  std::size_t audioEnd = 0, audioStart = 0;
  std::string work = bytes;
  FrameWalker walker([&](Segment& s) {
    if (s.kind == SegmentKind::InfoFrame) {
      seen = true;
      EXPECT_TRUE(s.info.extensionCrcValid);
      stored = s.info.musicCrc;
      const std::uint8_t* e = s.data + s.info.extension;
      const int field = (e[15] << 8) | e[16];
      EXPECT_EQ((field & 0x200 ? -1 : 1) * (field & 0x1FF), radioTenths);
      audioStart = static_cast<std::size_t>(s.offset) + s.size;
      inAudio = true;
    } else if (inAudio && s.kind == SegmentKind::AudioFrame) {
      audioEnd = static_cast<std::size_t>(s.offset) + s.size;
    }
  });
  walker.Feed(reinterpret_cast<const std::uint8_t*>(work.data()), work.size());
  walker.Finish();
  ASSERT_TRUE(seen);
  // The audio CRC, bit by bit (polynomial 0x8005 reflected, start 0).
  for (std::size_t i = audioStart; i < audioEnd; ++i) {
    computed ^= static_cast<std::uint8_t>(bytes[i]);
    for (int k = 0; k < 8; ++k) computed = (computed & 1) ? (computed >> 1) ^ 0xA001 : computed >> 1;
  }
  EXPECT_EQ(computed, stored);
}

int RadioTenths(const std::string& bytes) {
  int tenths = 0;
  std::string work = bytes;
  FrameWalker walker([&](Segment& s) {
    if (s.kind != SegmentKind::InfoFrame || s.info.extension == 0) return;
    const std::uint8_t* e = s.data + s.info.extension;
    const int field = (e[15] << 8) | e[16];
    tenths = (field & 0x200 ? -1 : 1) * (field & 0x1FF);
  });
  walker.Feed(reinterpret_cast<const std::uint8_t*>(work.data()), work.size());
  walker.Finish();
  return tenths;
}

TEST_F(Songs, EvensOutLoudnessByGlobalGainAlone) {
  struct Case {
    const char* name;
    double targetFromLoudness;  // the target, relative to the song's loudness (NAN: the default target)
    bool peakLimited;
  };
  const std::vector<Case> cases = {
      {"mpeg1-joint-320-crc.mp3", +9, false},  // 9 dB too quiet
      {"mpeg2-mono-vbr-crc.mp3", +9, false},
      {"mpeg25-mono-24.mp3", +9, false},
      {"mpeg1-vbr-tags.mp3", +9, false},
      {"mpeg1-no-info-frame.mp3", +9, false},
      {"loud-vbr-crc.mp3", NAN, false},        // loud: brought down to -18 LUFS
      {"peaky-192-crc.mp3", +15, true},        // its peaks stop the raise
      {"hole.mp3", +6, false},                 // damaged songs change too, damage and all
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const SongCheck before = CheckSong(File(k.name));
    ASSERT_TRUE(before.measured);
    const double target = std::isnan(k.targetFromLoudness) ? kDefaultTargetLufs : before.loudnessLufs + k.targetFromLoudness;
    const LoudnessChange change = PlanLoudness(before, target);
    ASSERT_NE(change.steps, 0);
    EXPECT_EQ(change.reachesTarget, !k.peakLimited) << change.note;
    EXPECT_EQ(change.note.empty(), !k.peakLimited) << change.note;

    const std::string original = Read(File(k.name));
    const std::string copy = AdjustedCopy(before, change.steps);
    ExpectOnlyGainsChanged(original, copy, change.steps);
    const std::string copyPath = File(std::string("adjusted-") + k.name);
    Write(copyPath, copy);
    if (before.gain.setMusicCrc) ExpectInfoFrameTrue(copy, RadioTenths(original) - 15 * change.steps);

    // Decoded again: louder or quieter by the change, within the target's tolerance, peaks held.
    const SongCheck after = CheckSong(copyPath);
    EXPECT_EQ(after.verdict, before.verdict) << after.reason;
    EXPECT_EQ(after.reason, before.reason);
    EXPECT_NEAR(after.loudnessLufs - before.loudnessLufs, change.gainDb, 0.05);
    if (!k.peakLimited) {
      EXPECT_NEAR(after.loudnessLufs, target, kToleranceLu);
    }
    if (change.steps > 0) {
      EXPECT_LE(after.truePeakDbtp, kPeakCeilingDbtp);
    }
    if (k.peakLimited) {  // one step more would pass it
      EXPECT_GT(after.truePeakDbtp + kGainStepDb, kPeakCeilingDbtp);
    }
    EXPECT_EQ(after.gain.setMusicCrc, before.gain.setMusicCrc);
    // ffmpeg's decoder, checking every CRC, finds nothing wrong that was not wrong before.
    if (before.verdict == SongVerdict::Ok) {
      EXPECT_EQ(RunCli({"-v", "error", "-err_detect", "crccheck", "-i", copyPath, "-f", "null", "-"}, "/usr/bin/ffmpeg").err, "");
    }
  }
}

// Any damage at all: the check gives a verdict and the copy keeps the file's size.
TEST_F(Songs, SurvivesDamageAnywhere) {
  std::minstd_rand random(28);
  for (const char* name : {"mpeg2-mono-vbr-crc.mp3", "mpeg1-vbr-tags.mp3"}) {
    const std::string whole = Read(File(name));
    for (int round = 0; round < 20; ++round) {
      std::string bytes = whole.substr(0, whole.size() - random() % (whole.size() / 2));
      for (int k = 0; k < round * 4; ++k) bytes[random() % bytes.size()] = static_cast<char>(random());
      const std::string path = File("damaged.mp3");
      Write(path, bytes);
      const SongCheck c = CheckSong(path);
      if (!c.Sendable()) continue;
      EXPECT_EQ(AdjustedCopy(c, 3).size(), bytes.size());
    }
  }
}

TEST_F(Songs, PoolGivesResultsInTheOrderOfThePaths) {
  std::vector<std::string> paths;
  for (const Encoding& e : Encodings()) paths.push_back(File(e.name));
  paths.push_back(File("wav.mp3"));
  std::vector<std::size_t> told;
  SongPoolOptions options;
  options.workers = 3;
  options.done = [&](std::size_t index, const SongCheck&) { told.push_back(index); };
  const std::vector<SongCheck> results = CheckSongs(paths, options);
  ASSERT_EQ(results.size(), paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    EXPECT_EQ(results[i].path, paths[i]);
    EXPECT_EQ(told[i], i);
  }
  EXPECT_EQ(results.back().verdict, SongVerdict::NotMp3);

  // A cancel stops a long song half way: only the songs before it are given.
  std::string frames;
  const std::string song = Read(File("mpeg1-stereo-128.mp3"));
  for (int i = 0; i < 400; ++i) frames += song;  // about half an hour
  Write(File("long.mp3"), frames);
  std::atomic<bool> cancel{false};
  SongPoolOptions stopping;
  stopping.workers = 2;
  stopping.cancel = &cancel;
  stopping.done = [&](std::size_t, const SongCheck&) { cancel = true; };
  EXPECT_EQ(CheckSongs({File("mpeg1-stereo-128.mp3"), File("long.mp3")}, stopping).size(), 1u);
}

// Checks made ahead of the sending: each song's check is handed out once, a dropped song's never,
// and the limit of checks made ahead holds nothing up.
TEST_F(Songs, CheckAheadHandsOutEachCheckOnce) {
  const int run = 0;
  const std::vector<std::string> files = {"mpeg1-stereo-128.mp3", "text.mp3", "loud-vbr-crc.mp3", "mpeg1-stereo-128.mp3",
                                          "wav.mp3", "mpeg2-stereo-64.mp3", "loud-vbr-crc.mp3"};
  std::vector<SongCheckAhead::Song> songs;
  for (std::size_t i = 0; i < files.size(); ++i) songs.push_back({{&run, i}, File(files[i])});
  SongCheckAhead ahead(songs, -18.0);
  ahead.Drop(&run, 2, 4);
  const struct {
    std::size_t key;
    bool made;
    SongVerdict verdict;
  } asks[] = {
      {0, true, SongVerdict::Ok},     {1, true, SongVerdict::NotMp3}, {2, false, {}}, {3, false, {}},
      {4, true, SongVerdict::NotMp3}, {4, false, {}},                 {5, true, SongVerdict::Ok},
      {6, true, SongVerdict::Ok},
  };
  for (const auto& ask : asks) {
    SCOPED_TRACE(ask.key);
    const std::optional<songs::ScreenedSong> made = ahead.Take({&run, ask.key});
    ASSERT_EQ(made.has_value(), ask.made);
    if (!made) continue;
    EXPECT_EQ(made->check.path, File(files[ask.key]));
    EXPECT_EQ(made->check.verdict, ask.verdict);
  }
}

// Without a loudness target a song goes as it is, its check made beside the sending when it is not
// made yet: a file the check refuses is named and leaves nothing on the player.
TEST_F(Songs, ASongRefusedBesideTheSendingLeavesNothing) {
  TempDir tree, settings;
  std::filesystem::create_directories(tree.path() / "Lounge");
  test::FtpTestServer server(tree.str());
  settings.write("ftpServer.ini", "[ftpServer]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(server.port()) +
                                      "\r\nUserName=kestrel\r\nPassword=secret\r\n");
  const test::CliRun upload = RunCli({"--settings", settings.str(), "upload", "Lounge", "--replace", File("wav.mp3"),
                                      File("mpeg1-joint-320-crc.mp3")});
  EXPECT_EQ(upload.status, 4) << upload.err;
  EXPECT_NE(upload.err.find("wav.mp3: not sent: a WAV file"), std::string::npos) << upload.err;
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(tree.path() / "Lounge"))
    left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"mpeg1-joint-320-crc.mp3"});
}

// Upload and deploy check every file before sending and even out loudness on the player's copies
// alone: no MP3 is not sent, a damaged one is sent with a warning, each stored copy is its file
// with other gains and reaches the target (or stops below the peak ceiling), and the deploy tells
// evened-out copies from unchanged ones.
TEST_F(Songs, UploadAndDeployCheckAndEvenOutWhatTheySend) {
  TempDir tree, settings, folder;
  std::filesystem::create_directories(tree.path() / "Lounge");
  test::FtpTestServer server(tree.str());
  settings.write("ftpServer.ini", "[ftpServer]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(server.port()) +
                                      "\r\nUserName=kestrel\r\nPassword=secret\r\n");
  const SongCheck quiet = CheckSong(File("mpeg1-joint-320-crc.mp3"));
  char target[16];
  std::snprintf(target, sizeof target, "%.1f", quiet.loudnessLufs + 9);  // the quiet song is 9 dB below it
  const std::vector<std::string> sent = {"mpeg1-joint-320-crc.mp3", "loud-vbr-crc.mp3", "peaky-192-crc.mp3",
                                         "truncated.mp3"};
  std::vector<std::string> args = {"--settings", settings.str(), "upload", "Lounge", "--replace", "--normalize=" + std::string(target)};
  for (const std::string& name : sent) args.push_back(File(name));
  args.push_back(File("wav.mp3"));
  const test::CliRun upload = RunCli(args);
  EXPECT_EQ(upload.status, 4) << upload.err;
  EXPECT_NE(upload.err.find("wav.mp3: not sent: a WAV file"), std::string::npos) << upload.err;
  EXPECT_NE(upload.err.find("warning: sent, but damaged: truncated.mp3"), std::string::npos) << upload.err;
  EXPECT_FALSE(std::filesystem::exists(tree.path() / "Lounge" / "wav.mp3"));
  for (const std::string& name : sent) {
    SCOPED_TRACE(name);
    const std::string stored = (tree.path() / "Lounge" / name).string();
    // The plan as a transfer makes it (checked in the pool of workers).
    const ScreenedSong planned = ScreenSongs({File(name)}, {std::stod(target), nullptr, nullptr}).songs.at(0);
    const SongCheck& before = planned.check;
    const SongCheck after = CheckSong(stored);
    const LoudnessChange& change = planned.change;
    // (A truncated song's cut-off last frame has its gains moved too, which the walker here
    // does not show as a frame.)
    if (before.verdict == SongVerdict::Ok) ExpectOnlyGainsChanged(Read(File(name)), Read(stored), change.steps);
    EXPECT_NEAR(after.loudnessLufs - before.loudnessLufs, change.gainDb, 0.05);
    if (change.reachesTarget) {
      EXPECT_NEAR(after.loudnessLufs, std::stod(target), kToleranceLu);
    }
    EXPECT_LE(after.truePeakDbtp, std::max(before.truePeakDbtp, kPeakCeilingDbtp));
  }
  EXPECT_GT(PlanLoudness(quiet, std::stod(target)).gainDb, 7.5);

  // Deploys: evened out twice (the second finds nothing), then as the files are.
  for (const char* name : {"mpeg1-joint-320-crc.mp3", "loud-vbr-crc.mp3"})
    folder.write(std::string("Lounge/") + name, Read(File(name)));
  const std::vector<std::string> deploy = {"--settings", settings.str(), "deploy", folder.str()};
  const auto run = [&](const std::vector<std::string>& extra) {
    std::vector<std::string> all = deploy;
    all.insert(all.end(), extra.begin(), extra.end());
    return RunCli(all);
  };
  const test::CliRun dry = run({"--dry-run", "--normalize=" + std::string(target)});
  EXPECT_NE(dry.out.find(" LUFS, "), std::string::npos) << dry.out;
  const test::CliRun first = run({"--normalize=" + std::string(target)});
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_NE(run({"--normalize=" + std::string(target)}).err.find("nothing to do"), std::string::npos);
  const test::CliRun plain = run({});
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.err.find("nothing to do"), std::string::npos);
  EXPECT_EQ(Read((tree.path() / "Lounge" / "loud-vbr-crc.mp3").string()), Read(File("loud-vbr-crc.mp3")));

  // A song the player did not store is not told as changed.
  test::FtpTestServer refusing(tree.str(), {"--refuse-stor"});
  settings.write("ftpServer.ini", "[ftpServer]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(refusing.port()) +
                                      "\r\nUserName=kestrel\r\nPassword=secret\r\n");
  const test::CliRun refused = RunCli({"--settings", settings.str(), "upload", "Lounge", "--replace",
                                       "--normalize=" + std::string(target), File("mpeg1-joint-320-crc.mp3")});
  EXPECT_EQ(refused.status, 4) << refused.err;
  EXPECT_EQ(refused.err.find("loudness changed"), std::string::npos) << refused.err;
}

TEST_F(Songs, CommandLineCheckNamesEachSongAndFailsForWhatWouldNotBeSent) {
  TempDir folder;
  Write(folder.file("a.mp3"), Read(File("mpeg1-stereo-128.mp3")));
  Write(folder.file("b.mp3"), Read(File("truncated.mp3")));
  const test::CliRun good = RunCli({"check", folder.str()});
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_TRUE(std::regex_search(good.out, std::regex("a\\.mp3\\t4\\.0\\t128\\tCBR\\t44100\\t-[0-9.]+\\t-[0-9.]+\\tok\\t\\n")))
      << good.out;
  EXPECT_NE(good.out.find("\tdamaged\ttruncated"), std::string::npos) << good.out;

  const test::CliRun bad = RunCli({"check", "--json", File("mpeg2-stereo-64.mp3"), File("m4a.mp3")});
  EXPECT_EQ(bad.status, 4);
  const nlohmann::json rows = nlohmann::json::parse(bad.out);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]["mpegVersion"], "MPEG-2");
  EXPECT_EQ(rows[0]["verdict"], "ok");
  EXPECT_EQ(rows[1]["verdict"], "not MP3");
}

}  // namespace
}  // namespace kestrel::songs
