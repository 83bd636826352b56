// The WAV reader against generated files: every result code, the order of its checks,
// the blocks it hands back, and nothing left allocated or open after a failure.
#include "platform/emul/control.h"
#include "samples/samples.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace wavfile;

namespace {

struct Read {
  DWORD result = 0;
  DWORD size = 0;
  WAVEFORMATEX* format = nullptr;
  BYTE* data = nullptr;

  explicit Read(const std::string& path) {
    // Outputs hold garbage on entry: the reader must clear them itself.
    size = 0xdeadbeef;
    format = reinterpret_cast<WAVEFORMATEX*>(0x1);
    data = reinterpret_cast<BYTE*>(0x1);
    result = ReadWaveFile(path.c_str(), &size, &format, &data);
  }
  ~Read() {
    if (format)
      GlobalFree(GlobalHandle(format));
    if (data)
      GlobalFree(GlobalHandle(data));
  }
  Read(const Read&) = delete;
  Read& operator=(const Read&) = delete;

  std::string Bytes() const { return std::string(reinterpret_cast<const char*>(data), size); }
  std::string FormatBytes() const {
    return std::string(reinterpret_cast<const char*>(format), 18 + format->cbSize);
  }
  SIZE_T FormatBlockSize() const { return GlobalSize(GlobalHandle(format)); }
  SIZE_T DataBlockSize() const { return GlobalSize(GlobalHandle(data)); }
};

class WaveReader : public ::testing::Test {
protected:
  void SetUp() override { blocksBefore_ = emul::LiveGlobalBlocks(); }
  void TearDown() override {
    emul::ClearFaults();
    EXPECT_EQ(emul::OpenMmioFiles(), 0u) << "a file was left open";
  }

  std::string Write(const std::string& bytes, const std::string& name = "test.wav") {
    return dir_.write(name, bytes);
  }

  // A failure: the code, the outputs cleared, and nothing of the read left allocated.
  void ExpectFailure(const Read& read, DWORD code) {
    EXPECT_EQ(read.result, code) << std::hex << "got 0x" << read.result;
    EXPECT_EQ(read.size, 0u);
    EXPECT_EQ(read.format, nullptr);
    EXPECT_EQ(read.data, nullptr);
    EXPECT_EQ(emul::LiveGlobalBlocks(), blocksBefore_) << "a global block was left";
  }

  TempDir dir_;
  size_t blocksBefore_ = 0;
};

Format Pcm16Stereo() {
  Format format;
  format.channels = 2;
  format.rate = 44100;
  format.bits = 16;
  return format;
}

TEST_F(WaveReader, ReadsAPcmFileVerbatim) {
  Format format = Pcm16Stereo();
  std::string samples = Frames(format, 1000);
  Read read(Write(Wav(format, samples)));

  ASSERT_EQ(read.result, 0u);
  EXPECT_EQ(read.size, samples.size());
  EXPECT_EQ(read.Bytes(), samples);
  EXPECT_EQ(read.FormatBytes(), FormatFields(format) + Le16(0));
  EXPECT_EQ(read.FormatBlockSize(), 18u);
  EXPECT_EQ(read.DataBlockSize(), samples.size());
}

TEST_F(WaveReader, CopiesDataSpanningManyBufferRefills) {
  // Several times the I/O layer's buffer, and not a multiple of it.
  Format format = Pcm16Stereo();
  std::string samples = Frames(format, 100003, 7);
  Read read(Write(Wav(format, samples)));

  ASSERT_EQ(read.result, 0u);
  ASSERT_EQ(read.size, samples.size());
  EXPECT_TRUE(read.Bytes() == samples);
}

TEST_F(WaveReader, EmptyDataChunkReadsAsNoBytes) {
  Read read(Write(Wav(Pcm16Stereo(), std::string())));
  ASSERT_EQ(read.result, 0u);
  EXPECT_EQ(read.size, 0u);
  EXPECT_NE(read.data, nullptr);
}

TEST_F(WaveReader, MissingFileCannotBeOpened) {
  ExpectFailure(Read(dir_.file("absent.wav")), WaveErrOpen);
}

TEST_F(WaveReader, DirectoryCannotBeOpened) {
  ExpectFailure(Read(dir_.path().string()), WaveErrOpen);
}

TEST_F(WaveReader, FilesTooShortForAChunkHeaderGiveTheDescendsCode) {
  for (std::string bytes : {std::string(), std::string("RIFF"), std::string("RIFF\x04\0\0", 7),
                            std::string("RIFF\x0c\0\0\0WA", 10)}) {
    SCOPED_TRACE(bytes.size());
    ExpectFailure(Read(Write(bytes)), MMIOERR_CHUNKNOTFOUND);
  }
}

TEST_F(WaveReader, AnythingButARiffWaveFormIsNotWave) {
  std::string chunks = Chunk("fmt ", FmtData(Pcm16Stereo())) + Chunk("data", "abcd");
  ExpectFailure(Read(Write(Riff("AVI ", chunks))), WaveErrNotWave);
  ExpectFailure(Read(Write(Riff("wave", chunks))), WaveErrNotWave);
  std::string lower = Riff("WAVE", chunks);
  lower.replace(0, 4, "riff");
  ExpectFailure(Read(Write(lower)), WaveErrNotWave);
  ExpectFailure(Read(Write(Chunk("LIST", "WAVE" + chunks))), WaveErrNotWave);
  ExpectFailure(Read(Write(std::string(64, 'x'))), WaveErrNotWave);
}

TEST_F(WaveReader, FormatChunkShorterThanSixteenBytesIsNotWave) {
  std::string fields = FormatFields(Pcm16Stereo());
  ExpectFailure(
      Read(Write(Riff("WAVE", Chunk("fmt ", fields.substr(0, 14)) + Chunk("data", "abcd")))),
      WaveErrNotWave);
}

TEST_F(WaveReader, MissingFormatChunkIsNotFound) {
  ExpectFailure(Read(Write(Riff("WAVE", Chunk("data", "abcd")))), MMIOERR_CHUNKNOTFOUND);
  // Ids are compared exactly: "FMT " and "fmt" without its blank are other chunks.
  ExpectFailure(
      Read(Write(Riff("WAVE", Chunk("FMT ", FmtData(Pcm16Stereo())) + Chunk("data", "abcd")))),
      MMIOERR_CHUNKNOTFOUND);
}

TEST_F(WaveReader, FileEndingInsideTheFormatFieldsIsAReadError) {
  // The chunk declares 16 bytes but the file holds 10 of them.
  std::string fields = FormatFields(Pcm16Stereo());
  ExpectFailure(Read(Write(Riff("WAVE", ChunkDeclaring("fmt ", 16, fields.substr(0, 10))))),
                WaveErrRead);
}

TEST_F(WaveReader, FileEndingBeforeCbSizeIsAReadError) {
  Format adpcm;
  adpcm.tag = 2;
  adpcm.bits = 4;
  ExpectFailure(Read(Write(Riff("WAVE", ChunkDeclaring("fmt ", 16, FormatFields(adpcm)) + "\x20"))),
                WaveErrRead);
}

TEST_F(WaveReader, PcmFormatOfEighteenBytesIgnoresItsCbSize) {
  // The stored cbSize is nonsense; for PCM it is never read.
  Format format = Pcm16Stereo();
  std::string fmt = FormatFields(format) + Le16(0xffff);
  std::string samples = Frames(format, 10);
  Read read(Write(Riff("WAVE", Chunk("fmt ", fmt) + Chunk("data", samples))));

  ASSERT_EQ(read.result, 0u);
  EXPECT_EQ(read.FormatBlockSize(), 18u);
  EXPECT_EQ(read.format->cbSize, 0);
  EXPECT_EQ(read.FormatBytes(), FormatFields(format) + Le16(0));
  EXPECT_EQ(read.Bytes(), samples);
}

TEST_F(WaveReader, OtherTagsCarryTheirExtraBytes) {
  Format adpcm;
  adpcm.tag = 2;
  adpcm.bits = 4;
  for (int i = 0; i < 32; ++i)
    adpcm.extra += static_cast<char>(0xa0 + i);
  Read read(Write(Wav(adpcm, std::string(64, 'z'))));

  ASSERT_EQ(read.result, 0u);
  EXPECT_EQ(read.FormatBlockSize(), 50u);
  EXPECT_EQ(read.format->cbSize, 32);
  EXPECT_EQ(read.FormatBytes(), FormatFields(adpcm) + Le16(32) + adpcm.extra);
  EXPECT_EQ(read.Bytes(), std::string(64, 'z'));
}

TEST_F(WaveReader, ExtraBytesAreReadBeyondTheChunksDeclaredSize) {
  // The chunk declares 18 bytes, but cbSize says 4 more follow: they are read anyway,
  // and the search for "data" still starts from the form's first chunk.
  Format format;
  format.tag = 3;
  format.bits = 32;
  std::string fmt = FormatFields(format) + Le16(4);
  std::string samples = Frames(format, 8);
  std::string file =
      Riff("WAVE", Chunk("data", samples) + ChunkDeclaring("fmt ", 18, fmt) + "WXYZ");
  Read read(Write(file));

  ASSERT_EQ(read.result, 0u);
  EXPECT_EQ(read.format->cbSize, 4);
  EXPECT_EQ(read.FormatBytes(), fmt + "WXYZ");
  EXPECT_EQ(read.Bytes(), samples);
}

TEST_F(WaveReader, TooFewExtraBytesIsNotWave) {
  Format format;
  format.tag = 2;
  format.bits = 4;
  std::string fmt = FormatFields(format) + Le16(32) + std::string(10, 'e');
  ExpectFailure(Read(Write(Riff("WAVE", ChunkDeclaring("fmt ", 50, fmt)))), WaveErrNotWave);
}

TEST_F(WaveReader, ChunksMayComeInAnyOrderAmongOthers) {
  Format format = Pcm16Stereo();
  std::string samples = Frames(format, 33);
  std::string fmt = Chunk("fmt ", FmtData(format));
  std::string data = Chunk("data", samples);
  std::string list = Chunk("LIST", "INFO" + Chunk("ISFT", std::string("tool", 5)));
  std::string odd = Chunk("junk", "abc"); // odd size: a pad byte follows
  for (const std::string& chunks :
       {data + fmt, list + fmt + odd + data, odd + data + list + fmt + odd,
        Chunk("fact", Le32(33)) + fmt + Chunk("PEAK", std::string(24, 'p')) + data}) {
    Read read(Write(Riff("WAVE", chunks)));
    ASSERT_EQ(read.result, 0u);
    EXPECT_EQ(read.Bytes(), samples);
    EXPECT_EQ(read.FormatBytes(), FormatFields(format) + Le16(0));
  }
}

TEST_F(WaveReader, FirstChunkWithTheIdCounts) {
  Format format = Pcm16Stereo();
  Format other;
  other.rate = 8000;
  std::string chunks = Chunk("fmt ", FmtData(format)) + Chunk("data", "first!") +
                       Chunk("fmt ", FmtData(other)) + Chunk("data", "second");
  Read read(Write(Riff("WAVE", chunks)));
  ASSERT_EQ(read.result, 0u);
  EXPECT_EQ(read.format->nSamplesPerSec, 44100u);
  EXPECT_EQ(read.Bytes(), "first!");
}

TEST_F(WaveReader, MissingDataChunkIsNotFoundAndFreesTheFormat) {
  std::string chunks = Chunk("fmt ", FmtData(Pcm16Stereo())) + Chunk("LIST", "INFO");
  ExpectFailure(Read(Write(Riff("WAVE", chunks))), MMIOERR_CHUNKNOTFOUND);
}

TEST_F(WaveReader, ChunksBeyondTheFormsDeclaredSizeAreNotSearched) {
  std::string fmt = Chunk("fmt ", FmtData(Pcm16Stereo()));
  std::string file = ChunkDeclaring("RIFF", static_cast<uint32_t>(4 + fmt.size()), "WAVE" + fmt) +
                     Chunk("data", "abcd");
  ExpectFailure(Read(Write(file)), MMIOERR_CHUNKNOTFOUND);
}

TEST_F(WaveReader, TruncatedDataIsRefusedBeforeItsBlockIsAllocated) {
  std::string fmt = Chunk("fmt ", FmtData(Pcm16Stereo()));
  // A 4 GB claim in a file of under a hundred bytes.
  std::string file = Riff("WAVE", fmt + ChunkDeclaring("data", 0xfffffff0u, "only this"));
  ExpectFailure(Read(Write(file)), WaveErrTruncated);

  // Were the declared size allocated first, a failing allocation would report
  // WaveErrNoMemory: the format block is the first allocation, the data block the second.
  emul::FailNth(emul::SystemCall::GlobalAlloc, 2);
  ExpectFailure(Read(Write(file)), WaveErrTruncated);
  emul::ClearFaults();

  // One byte short.
  ExpectFailure(Read(Write(Riff("WAVE", fmt + ChunkDeclaring("data", 10, "123456789")))),
                WaveErrTruncated);
}

TEST_F(WaveReader, CopyStillFindsTheEndWhenTheFileSizeCannotBeLearnt) {
  // The second seek is the one to the end of the file; when it fails the data block is
  // allocated and the copy runs dry.
  std::string fmt = Chunk("fmt ", FmtData(Pcm16Stereo()));
  std::string file = Riff("WAVE", fmt + ChunkDeclaring("data", 20000, std::string(9000, 'd')));
  emul::FailNth(emul::SystemCall::MmioSeek, 2);
  ExpectFailure(Read(Write(file)), WaveErrTruncated);
}

TEST_F(WaveReader, OddDataSizeLeavesThePadByteOut) {
  Format format;
  format.bits = 8;
  std::string samples = Frames(format, 7);
  // The pad byte is followed by the format: stepping over "data" must honour the pad.
  std::string chunks = Chunk("data", samples) + Chunk("fmt ", FmtData(format));
  ASSERT_EQ(chunks[8 + 7], '\0');
  Read read(Write(Riff("WAVE", chunks)));

  ASSERT_EQ(read.result, 0u);
  EXPECT_EQ(read.size, 7u);
  EXPECT_EQ(read.Bytes(), samples);
  EXPECT_EQ(read.DataBlockSize(), 7u);
  EXPECT_EQ(read.format->wBitsPerSample, 8);
}

TEST_F(WaveReader, OrderOfChecksDecidesTheCode) {
  Format format = Pcm16Stereo();
  std::string shortFmt = Chunk("fmt ", FormatFields(format).substr(0, 14));
  // Wrong form type wins over a short format; a short format over a missing "data".
  ExpectFailure(Read(Write(Riff("AVI ", shortFmt))), WaveErrNotWave);
  ExpectFailure(Read(Write(Riff("WAVE", shortFmt))), WaveErrNotWave);
  // A missing "data" chunk is found missing before a format's extra bytes would matter.
  ExpectFailure(Read(Write(Riff("WAVE", Chunk("fmt ", FmtData(format))))), MMIOERR_CHUNKNOTFOUND);
}

TEST_F(WaveReader, MemoryExhaustionForEitherBlock) {
  std::string path = Write(Wav(Pcm16Stereo(), 100));
  emul::FailNth(emul::SystemCall::GlobalAlloc, 1);
  ExpectFailure(Read(path), WaveErrNoMemory);
  emul::FailNth(emul::SystemCall::GlobalAlloc, 2);
  ExpectFailure(Read(path), WaveErrNoMemory);
}

TEST_F(WaveReader, FailingIoCallsPassTheirCodesOn) {
  std::string path = Write(Wav(Pcm16Stereo(), 5000));
  struct Case {
    emul::SystemCall call;
    unsigned nth;
    DWORD code;
  };
  for (Case c : {Case{emul::SystemCall::MmioOpen, 1, WaveErrOpen},
                 Case{emul::SystemCall::MmioDescend, 1, MMIOERR_CANNOTREAD},
                 Case{emul::SystemCall::MmioDescend, 2, MMIOERR_CANNOTREAD},
                 Case{emul::SystemCall::MmioDescend, 3, MMIOERR_CANNOTREAD},
                 Case{emul::SystemCall::MmioRead, 1, WaveErrRead},
                 Case{emul::SystemCall::MmioAscend, 1, MMIOERR_CANNOTSEEK},
                 Case{emul::SystemCall::MmioGetInfo, 1, WaveErrBufferState},
                 Case{emul::SystemCall::MmioAdvance, 1, MMIOERR_CANNOTREAD},
                 Case{emul::SystemCall::MmioAdvance, 2, MMIOERR_CANNOTREAD},
                 Case{emul::SystemCall::MmioSetInfo, 1, MMSYSERR_INVALHANDLE},
                 Case{emul::SystemCall::MmioSeek, 3, MMIOERR_CANNOTSEEK}}) {
    SCOPED_TRACE(static_cast<int>(c.call) * 100 + c.nth);
    emul::FailNth(c.call, c.nth);
    ExpectFailure(Read(path), c.code);
    emul::ClearFaults();
    EXPECT_EQ(emul::OpenMmioFiles(), 0u);
  }
}

TEST_F(WaveReader, FailingFirstSeekIsNotExamined) {
  // The "data" search then starts where the file stands, after "fmt ": with "data"
  // behind the format the file still reads; with "data" before it, it is not found.
  Format format = Pcm16Stereo();
  std::string samples = Frames(format, 4);
  std::string fmt = Chunk("fmt ", FmtData(format));
  std::string data = Chunk("data", samples);

  emul::FailNth(emul::SystemCall::MmioSeek, 1);
  {
    Read after(Write(Riff("WAVE", fmt + data), "after.wav"));
    EXPECT_EQ(after.result, 0u);
    EXPECT_EQ(after.Bytes(), samples);
  }

  emul::FailNth(emul::SystemCall::MmioSeek, 1);
  ExpectFailure(Read(Write(Riff("WAVE", data + fmt), "before.wav")), MMIOERR_CHUNKNOTFOUND);
}

TEST_F(WaveReader, WindowsStyleAndRelativeNames) {
  Format format = Pcm16Stereo();
  std::string samples = Frames(format, 3);
  std::string path = dir_.write("sub/kick.wav", Wav(format, samples));

  // C: is the host's root; backslashes separate.
  std::string windows = "C:" + path;
  for (char& c : windows)
    if (c == '/')
      c = '\\';
  {
    Read byDrive(windows);
    EXPECT_EQ(byDrive.result, 0u);
    EXPECT_EQ(byDrive.Bytes(), samples);
  }
  {
    std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    Read relative("sub\\kick.wav");
    Read posixRelative("sub/kick.wav");
    std::filesystem::current_path(before);
    EXPECT_EQ(relative.result, 0u);
    EXPECT_EQ(relative.Bytes(), samples);
    EXPECT_EQ(posixRelative.result, 0u);
  }

  ExpectFailure(Read("Q:\\kick.wav"), WaveErrOpen);
}

} // namespace
