// The multimedia file I/O stand-in: chunk navigation, buffered reads and direct access
// to its read buffer, as the WAV reader and Windows programs use them.
#include "platform/emul/control.h"
#include "platform/win32.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_files.h"

#include <gtest/gtest.h>

#include <string>

using namespace wavfile;

namespace {

class Mmio : public ::testing::Test {
protected:
  void TearDown() override {
    for (HMMIO file : open_)
      mmioClose(file, 0);
    EXPECT_EQ(emul::OpenMmioFiles(), 0u);
    emul::ClearFaults();
  }

  HMMIO Open(const std::string& bytes, LPMMIOINFO info = nullptr,
             DWORD flags = MMIO_READ | MMIO_ALLOCBUF) {
    std::string path = dir_.write("file.riff", bytes);
    HMMIO file = mmioOpenA(path.data(), info, flags);
    if (file)
      open_.push_back(file);
    return file;
  }

  static LONG Tell(HMMIO file) { return mmioSeek(file, 0, SEEK_CUR); }

  TempDir dir_;
  std::vector<HMMIO> open_;
};

const FOURCC Wave = mmioFOURCC('W', 'A', 'V', 'E');

TEST_F(Mmio, OpenFailuresAndTheirCodes) {
  MMIOINFO info{};
  EXPECT_EQ(mmioOpenA(dir_.file("absent").data(), &info, MMIO_READ | MMIO_ALLOCBUF), nullptr);
  EXPECT_EQ(info.wErrorRet, static_cast<UINT>(MMIOERR_FILENOTFOUND));
  EXPECT_EQ(mmioOpenA(dir_.file("absent/dir/file").data(), &info, MMIO_READ), nullptr);
  EXPECT_EQ(mmioOpenA(const_cast<char*>(dir_.path().c_str()), &info, MMIO_READ), nullptr);
  EXPECT_EQ(info.wErrorRet, static_cast<UINT>(MMIOERR_ACCESSDENIED));
  // Only reading is offered.
  EXPECT_EQ(Open("data", nullptr, MMIO_WRITE), nullptr);
  EXPECT_EQ(Open("data", nullptr, MMIO_READWRITE | MMIO_CREATE), nullptr);
  EXPECT_EQ(emul::OpenMmioFiles(), 0u);
  EXPECT_EQ(mmioClose(reinterpret_cast<HMMIO>(&info), 0),
            static_cast<MMRESULT>(MMSYSERR_INVALHANDLE));
}

TEST_F(Mmio, DescendIntoTheFormLeavesTheFileAfterItsType) {
  std::string chunks = Chunk("fmt ", std::string(16, 'f')) + Chunk("data", "abc");
  HMMIO file = Open(Riff("WAVE", chunks));
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(emul::OpenMmioFiles(), 1u);

  MMCKINFO form{};
  ASSERT_EQ(mmioDescend(file, &form, nullptr, 0), 0u);
  EXPECT_EQ(form.ckid, FOURCC_RIFF);
  EXPECT_EQ(form.cksize, 4 + chunks.size());
  EXPECT_EQ(form.fccType, Wave);
  EXPECT_EQ(form.dwDataOffset, 8u);
  EXPECT_EQ(Tell(file), 12);

  // A plain chunk: no type, the file at its data.
  MMCKINFO chunk{};
  ASSERT_EQ(mmioDescend(file, &chunk, &form, 0), 0u);
  EXPECT_EQ(chunk.ckid, mmioFOURCC('f', 'm', 't', ' '));
  EXPECT_EQ(chunk.cksize, 16u);
  EXPECT_EQ(chunk.fccType, 0u);
  EXPECT_EQ(chunk.dwDataOffset, 20u);
  EXPECT_EQ(Tell(file), 20);
}

TEST_F(Mmio, FindChunkStepsOverChunksAndPadBytes) {
  std::string chunks = Chunk("odd1", "x") + Chunk("LIST", "INFOabcd") + Chunk("odd3", "xyz") +
                       Chunk("data", "payload!");
  HMMIO file = Open(Riff("WAVE", chunks) + Chunk("late", "zz"));
  MMCKINFO form{};
  ASSERT_EQ(mmioDescend(file, &form, nullptr, 0), 0u);

  MMCKINFO chunk{};
  chunk.ckid = mmioFOURCC('d', 'a', 't', 'a');
  ASSERT_EQ(mmioDescend(file, &chunk, &form, MMIO_FINDCHUNK), 0u);
  EXPECT_EQ(chunk.cksize, 8u);
  EXPECT_EQ(chunk.dwDataOffset, 12u + 10 + 16 + 12 + 8);
  char bytes[8];
  EXPECT_EQ(mmioRead(file, bytes, 8), 8);
  EXPECT_EQ(std::string(bytes, 8), "payload!");

  // The list is found by its type.
  mmioSeek(file, 12, SEEK_SET);
  MMCKINFO list{};
  list.fccType = mmioFOURCC('I', 'N', 'F', 'O');
  ASSERT_EQ(mmioDescend(file, &list, &form, MMIO_FINDLIST), 0u);
  EXPECT_EQ(list.ckid, FOURCC_LIST);
  EXPECT_EQ(list.dwDataOffset, 12u + 10 + 8);
  EXPECT_EQ(Tell(file), 12 + 10 + 8 + 4);
}

TEST_F(Mmio, SearchStopsAtTheParentsEndAndRestoresThePosition) {
  HMMIO file = Open(Riff("WAVE", Chunk("fmt ", "0123456789abcdef")) + Chunk("data", "xx"));
  MMCKINFO form{};
  ASSERT_EQ(mmioDescend(file, &form, nullptr, 0), 0u);
  MMCKINFO chunk{};
  chunk.ckid = mmioFOURCC('d', 'a', 't', 'a');
  EXPECT_EQ(mmioDescend(file, &chunk, &form, MMIO_FINDCHUNK),
            static_cast<MMRESULT>(MMIOERR_CHUNKNOTFOUND));
  EXPECT_EQ(Tell(file), 12);
  EXPECT_EQ(chunk.ckid, mmioFOURCC('d', 'a', 't', 'a')) << "the request is left as it was";
  // Without a parent the search runs to the end of the file.
  ASSERT_EQ(mmioDescend(file, &chunk, nullptr, MMIO_FINDCHUNK), 0u);
  EXPECT_EQ(chunk.dwDataOffset, 12u + 24 + 8);
}

TEST_F(Mmio, DescendAtTheEndOfTheFileIsNotFound) {
  for (std::string bytes :
       {std::string(), std::string("RIFF\x20\0\0", 7), std::string("RIFF\x20\0\0\0WA", 10)}) {
    HMMIO file = Open(bytes);
    MMCKINFO chunk{};
    EXPECT_EQ(mmioDescend(file, &chunk, nullptr, 0), static_cast<MMRESULT>(MMIOERR_CHUNKNOTFOUND));
    EXPECT_EQ(Tell(file), 0);
  }
}

TEST_F(Mmio, AscendHonoursThePadByte) {
  HMMIO file = Open(Chunk("odd ", "abc") + Chunk("next", "n"));
  MMCKINFO chunk{};
  ASSERT_EQ(mmioDescend(file, &chunk, nullptr, 0), 0u);
  char byte;
  EXPECT_EQ(mmioRead(file, &byte, 1), 1);
  ASSERT_EQ(mmioAscend(file, &chunk, 0), 0u);
  EXPECT_EQ(Tell(file), 8 + 4);
  ASSERT_EQ(mmioDescend(file, &chunk, nullptr, 0), 0u);
  EXPECT_EQ(chunk.ckid, mmioFOURCC('n', 'e', 'x', 't'));
}

TEST_F(Mmio, ReadsCountWhatTheyGet) {
  std::string content = Frames(Format{}, 20000, 5); // 40000 bytes: several buffers
  HMMIO file = Open(content);
  std::string got(content.size() + 100, '\0');
  EXPECT_EQ(mmioRead(file, got.data(), 10), 10);
  EXPECT_EQ(mmioRead(file, got.data() + 10, 9000), 9000); // larger than the buffer
  EXPECT_EQ(mmioRead(file, got.data() + 9010, 5), 5);
  EXPECT_EQ(mmioRead(file, got.data() + 9015, 100000), static_cast<LONG>(content.size() - 9015));
  EXPECT_EQ(got.substr(0, content.size()), content);
  EXPECT_EQ(mmioRead(file, got.data(), 10), 0);
  EXPECT_EQ(mmioRead(file, got.data(), -1), -1);
  EXPECT_EQ(mmioRead(reinterpret_cast<HMMIO>(got.data()), got.data(), 1), -1);
}

TEST_F(Mmio, SeekFromEachOrigin) {
  HMMIO file = Open("0123456789");
  EXPECT_EQ(mmioSeek(file, 4, SEEK_SET), 4);
  EXPECT_EQ(mmioSeek(file, 2, SEEK_CUR), 6);
  EXPECT_EQ(mmioSeek(file, -3, SEEK_END), 7);
  char c;
  EXPECT_EQ(mmioRead(file, &c, 1), 1);
  EXPECT_EQ(c, '7');
  EXPECT_EQ(mmioSeek(file, -20, SEEK_CUR), -1);
  EXPECT_EQ(Tell(file), 8);
  EXPECT_EQ(mmioSeek(file, 0, 7), -1);
  // Past the end is a place, with nothing to read.
  EXPECT_EQ(mmioSeek(file, 100, SEEK_SET), 100);
  EXPECT_EQ(mmioRead(file, &c, 1), 0);
}

TEST_F(Mmio, DirectBufferAccessReadsTheWholeFile) {
  // A small file is read whole into memory, a large one mapped; both read the same way.
  for (int frames : {12345, 200000}) {
    SCOPED_TRACE(frames);
    std::string content = Frames(Format{}, frames, 9);
    MMIOINFO open{};
    open.cchBuffer = 1000; // a buffer size of the caller's choosing
    HMMIO file = Open(content, &open);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(mmioSeek(file, 3, SEEK_SET), 3);

    MMIOINFO info;
    ASSERT_EQ(mmioGetInfo(file, &info, 0), 0u);
    EXPECT_EQ(info.cchBuffer, 1000);
    EXPECT_NE(info.pchBuffer, nullptr);
    EXPECT_EQ(info.hmmio, file);
    std::string got;
    for (int refills = 0; refills < 1000; ++refills) {
      if (info.pchNext == info.pchEndRead) {
        ASSERT_EQ(mmioAdvance(file, &info, MMIO_READ), 0u);
        EXPECT_EQ(info.lBufOffset, static_cast<LONG>(3 + got.size()));
        if (info.pchNext == info.pchEndRead)
          break; // the end of the file
        EXPECT_LE(info.pchEndRead - info.pchNext, 1000);
      }
      got.append(info.pchNext, info.pchEndRead);
      info.pchNext = info.pchEndRead;
    }
    EXPECT_EQ(got, content.substr(3));
    ASSERT_EQ(mmioSetInfo(file, &info, 0), 0u);
    EXPECT_EQ(Tell(file), static_cast<LONG>(content.size()));
  }
}

TEST_F(Mmio, SetInfoHandsThePositionBack) {
  HMMIO file = Open("abcdefghij");
  char c;
  ASSERT_EQ(mmioRead(file, &c, 1), 1); // fills the buffer
  MMIOINFO info;
  ASSERT_EQ(mmioGetInfo(file, &info, 0), 0u);
  ASSERT_EQ(info.pchEndRead - info.pchNext, 9);
  EXPECT_EQ(*info.pchNext, 'b');
  info.pchNext += 4;
  ASSERT_EQ(mmioSetInfo(file, &info, 0), 0u);
  ASSERT_EQ(mmioRead(file, &c, 1), 1);
  EXPECT_EQ(c, 'f');

  // A pointer outside the valid bytes is refused and changes nothing.
  ASSERT_EQ(mmioGetInfo(file, &info, 0), 0u);
  info.pchNext = info.pchEndRead + 1;
  EXPECT_NE(mmioSetInfo(file, &info, 0), 0u);
  ASSERT_EQ(mmioRead(file, &c, 1), 1);
  EXPECT_EQ(c, 'g');
}

TEST_F(Mmio, UnbufferedFilesReadButCannotAdvance) {
  HMMIO file = Open(Chunk("abcd", "12345"), nullptr, MMIO_READ);
  ASSERT_NE(file, nullptr);
  MMCKINFO chunk{};
  ASSERT_EQ(mmioDescend(file, &chunk, nullptr, 0), 0u);
  char bytes[5];
  EXPECT_EQ(mmioRead(file, bytes, 5), 5);
  EXPECT_EQ(std::string(bytes, 5), "12345");
  MMIOINFO info;
  ASSERT_EQ(mmioGetInfo(file, &info, 0), 0u);
  EXPECT_EQ(info.pchBuffer, nullptr);
  EXPECT_EQ(mmioAdvance(file, &info, MMIO_READ), static_cast<MMRESULT>(MMIOERR_UNBUFFERED));
}

TEST_F(Mmio, InjectedFaultsChangeNothing) {
  HMMIO file = Open(Riff("WAVE", Chunk("data", "abcd")));
  MMCKINFO form{};
  emul::FailNth(emul::SystemCall::MmioDescend, 1);
  EXPECT_EQ(mmioDescend(file, &form, nullptr, 0), static_cast<MMRESULT>(MMIOERR_CANNOTREAD));
  EXPECT_EQ(Tell(file), 0);
  ASSERT_EQ(mmioDescend(file, &form, nullptr, 0), 0u);
  emul::FailNth(emul::SystemCall::MmioSeek, 1);
  EXPECT_EQ(mmioSeek(file, 0, SEEK_SET), -1);
  EXPECT_EQ(Tell(file), 12);
  emul::FailNth(emul::SystemCall::MmioOpen, 1);
  EXPECT_EQ(Open("x"), nullptr);
}

} // namespace
