// The parts of the Wayland screen capture module that need no compositor and
// no bus: where X root points fall in captured buffers, the frame bookkeeping,
// the picture without the pointer, the desktop portal's snapshot file
// (decoding, and when it is removed), the screen cast's streams on the root
// and its restore token file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "shell/platform/wayland/capture_book.h"
#include "shell/platform/wayland/clean_frame.h"
#include "shell/platform/wayland/output_map.h"
#include "shell/platform/wayland/restore_token.h"
#include "shell/platform/wayland/snapshot_file.h"
#include "shell/platform/wayland/stream_frames.h"

namespace huevex::wayland {
namespace {

TEST(OutputMap, EachTransformFindsTheShownCornersInTheBuffer) {
  // A 3 x 2 buffer; turned a quarter, the output shows 2 x 3.
  const struct {
    std::uint32_t transform;
    bool y_invert;
    Point top_left, top_right;
  } cases[] = {
      {0, false, {0, 0}, {2, 0}}, {1, false, {0, 1}, {0, 0}}, {2, false, {2, 1}, {0, 1}},
      {3, false, {2, 0}, {2, 1}}, {4, false, {2, 0}, {0, 0}}, {5, false, {0, 0}, {0, 1}},
      {6, false, {0, 1}, {2, 1}}, {7, false, {2, 1}, {2, 0}}, {0, true, {0, 1}, {2, 1}},
      {1, true, {0, 0}, {0, 1}},
  };
  for (const auto& c : cases) {
    const FrameView frame{nullptr, 3, 2, 12, kXrgb8888, c.transform, c.y_invert, 0};
    const bool turned = c.transform & 1;
    const Rect logical{10, 20, 10 + (turned ? 2 : 3), 20 + (turned ? 3 : 2)};
    EXPECT_EQ(BufferPixel(frame, logical, {logical.left, logical.top}), c.top_left)
        << "transform " << c.transform << " y_invert " << c.y_invert;
    EXPECT_EQ(BufferPixel(frame, logical, {logical.right - 1, logical.top}), c.top_right)
        << "transform " << c.transform << " y_invert " << c.y_invert;
  }
}

TEST(OutputMap, ScaledOutputsTakeThePixelAtThePointTimesTheScale) {
  const struct {
    int buffer_width, buffer_height;
    Point point;
    Point want;
  } cases[] = {
      {4, 2, {103, 51}, {3, 1}},                             // scale 1
      {8, 4, {101, 50}, {2, 0}},                             // scale 2
      {8, 4, {103, 51}, {6, 2}}, {6, 3, {103, 51}, {4, 1}},  // scale 1.5
      {6, 3, {101, 50}, {1, 0}},
  };
  const Rect logical{100, 50, 104, 52};
  for (const auto& c : cases) {
    const FrameView frame{
        nullptr, c.buffer_width, c.buffer_height, c.buffer_width * 4, kXrgb8888, 0, false, 0};
    EXPECT_EQ(BufferPixel(frame, logical, c.point), c.want)
        << c.buffer_width << "x" << c.buffer_height;
  }
}

TEST(OutputMap, WordsOfEachFormatBecomeColorValues) {
  // Red 0x11, green 0x22, blue 0x33, with an alpha byte to drop.
  EXPECT_EQ(ToColorValue(kXrgb8888, 0xFF112233u), 0x332211u);
  EXPECT_EQ(ToColorValue(kArgb8888, 0x80112233u), 0x332211u);
  EXPECT_EQ(ToColorValue(kXbgr8888, 0xFF332211u), 0x332211u);
  EXPECT_EQ(ToColorValue(kAbgr8888, 0x80332211u), 0x332211u);
  EXPECT_TRUE(IsReadableFormat(kXbgr8888));
  EXPECT_FALSE(IsReadableFormat(0x30335258));  // XRGB2101010: not 8 bits a channel
}

TEST(OutputMap, BlocksAcrossOutputsReadEachOutputsFrameAndBlackBetween) {
  // Left: 2 x 1 at scale 1, red then blue (XRGB words). Right, one pixel
  // further: 2 x 1 at scale 2, green (XBGR words), the buffer 4 x 2.
  const std::uint32_t left_pixels[] = {0x00FF0000, 0x000000FF};
  std::vector<std::uint32_t> right_pixels(8, 0x0000FF00);
  const FrameView left{
      reinterpret_cast<const std::uint8_t*>(left_pixels), 2, 1, 8, kXrgb8888, 0, false, 500};
  const auto* right_bytes = reinterpret_cast<const std::uint8_t*>(right_pixels.data());
  const FrameView right{right_bytes, 4, 2, 16, kXbgr8888, 0, false, 300};
  const OutputView outputs[] = {{{0, 0, 2, 1}, &left}, {{3, 0, 5, 1}, &right}};
  std::uint32_t out[7];
  std::int64_t oldest = -1;
  ASSERT_TRUE(ReadOutputs(outputs, {-1, 0, 6, 1}, out, &oldest));
  const std::uint32_t want[] = {0, 0x0000FF, 0xFF0000, 0, 0x00FF00, 0x00FF00, 0};
  EXPECT_EQ(std::vector<std::uint32_t>(out, out + 7), std::vector<std::uint32_t>(want, want + 7));
  EXPECT_EQ(oldest, 300);

  // An output without a frame fails only the reads that touch it.
  const OutputView waiting[] = {{{0, 0, 2, 1}, &left}, {{3, 0, 5, 1}, nullptr}};
  oldest = -1;
  EXPECT_TRUE(ReadOutputs(waiting, {0, 0, 3, 1}, out, &oldest));
  EXPECT_EQ(oldest, 500);
  EXPECT_FALSE(ReadOutputs(waiting, {2, 0, 4, 1}, out, &oldest));
  // Off every output: black, and no frame's time.
  oldest = -1;
  EXPECT_TRUE(ReadOutputs(outputs, {10, 10, 11, 11}, out, &oldest));
  EXPECT_EQ(out[0], 0u);
  EXPECT_EQ(oldest, -1);
}

TEST(OutputMap, RootAreasCoverTheirBufferPixelsWithAMargin) {
  std::vector<std::uint8_t> pixels(400 * 300 * 4);
  struct Case {
    int width, height;
    std::uint32_t transform;
    Rect logical, area, buffer;
  };
  const Case cases[] = {
      {200, 100, 0, {0, 0, 200, 100}, {10, 20, 42, 52}, {9, 19, 43, 53}},
      {400, 200, 0, {0, 0, 200, 100}, {10, 20, 42, 52}, {18, 38, 85, 105}},  // scale 2
      {100, 200, 1, {0, 0, 200, 100}, {0, 0, 10, 10}, {0, 189, 11, 200}},    // turned
      {200, 100, 0, {200, 0, 400, 100}, {190, 0, 205, 10}, {0, 0, 6, 11}},   // across its edge
      {200, 100, 0, {200, 0, 400, 100}, {0, 0, 50, 50}, {}},                 // off the output
  };
  for (const Case& c : cases) {
    const FrameView frame{pixels.data(), c.width, c.height, c.width * 4, kXrgb8888, c.transform};
    EXPECT_EQ(BufferArea(frame, c.logical, c.area), c.buffer) << c.width << " " << c.transform;
  }
}

// Frames come in with the pointer drawn where it is; reads keep, under it,
// what was there before it came, and take what changed there once it leaves.
TEST(CleanFrame, KeepsWhatThePointerCoversUntilItLeaves) {
  constexpr int kWide = 8, kHigh = 4;
  using Frame = std::vector<std::uint8_t>;
  const auto frame = [](std::uint8_t fill, Rect pointer, std::uint8_t ink) {
    Frame f(kWide * kHigh * 4, fill);
    for (int y = pointer.top; y < pointer.bottom; ++y)
      for (int x = pointer.left; x < pointer.right; ++x)
        std::fill_n(&f[(y * kWide + x) * 4], 4, ink);
    return f;
  };
  const auto at = [](const CleanFrame& clean, int x, int y) {
    return clean.pixels()[(y * kWide + x) * 4];
  };
  const Rect left{0, 0, 2, 2}, right{6, 2, 8, 4}, all{0, 0, kWide, kHigh};
  struct Step {
    const char* what;
    Frame pixels;
    std::vector<Rect> damage;
    bool damage_known;
    Rect pointer;
    std::uint8_t under_left, under_right, elsewhere;
  };
  const Step steps[] = {
      // The first frame is taken whole, the pointer in it: nothing better is known.
      {"first", frame(10, left, 0), {}, false, left, 0, 10, 10},
      // The pointer moves right: its old place is taken though no damage names it
      // (the compositor drew the pointer there), its new one kept.
      {"moved", frame(10, right, 0), {right}, true, right, 10, 10, 10},
      // The screen changes under and beside the pointer: beside is taken, under waits.
      {"changed", frame(20, right, 0), {all}, true, right, 20, 10, 20},
      // Still there, nothing new: what waits keeps waiting.
      {"stays", frame(20, right, 0), {}, true, right, 20, 10, 20},
      // It leaves (drawn elsewhere now): what changed under it is taken.
      {"left", frame(20, left, 0), {left, right}, true, left, 20, 20, 20},
      // No pointer known (a hardware cursor, or none): every change is taken.
      {"none", frame(30, {}, 0), {all}, true, {}, 30, 30, 30},
  };
  CleanFrame clean;
  for (const Step& step : steps) {
    clean.Apply(step.pixels.data(), kWide, kHigh, kWide * 4, step.damage, step.damage_known,
                step.pointer);
    EXPECT_EQ(at(clean, 1, 1), step.under_left) << step.what;
    EXPECT_EQ(at(clean, 7, 3), step.under_right) << step.what;
    EXPECT_EQ(at(clean, 4, 1), step.elsewhere) << step.what;
  }
  // Many areas waiting become one, however the pointer wanders.
  for (int i = 0; i < 40; ++i) {
    const Rect spot{i % kWide, i % kHigh, i % kWide + 1, i % kHigh + 1};
    clean.Apply(frame(40, spot, 0).data(), kWide, kHigh, kWide * 4, std::vector<Rect>{all}, true,
                spot);
  }
  EXPECT_LE(clean.Pending().size(), CleanFrame::kMaxPending + 1);
}

TEST(CaptureBook, ReadsUseTheNewestFinishedFrameAndCapturesTheOtherBuffer) {
  CaptureBook book;
  EXPECT_FALSE(book.HasFrame());
  const int first = book.WriteSlot();
  book.Finished(first, 0, 1000);
  EXPECT_EQ(book.ReadSlot(), first);
  const int second = book.WriteSlot();
  EXPECT_NE(second, first);
  book.Finished(second, 0, 2000);
  EXPECT_EQ(book.ReadSlot(), second);
  EXPECT_NE(book.WriteSlot(), second);
  book.Forget();  // the output changed under its frame
  EXPECT_FALSE(book.HasFrame());
}

TEST(CaptureBook, TheCompositorsTimeIsTakenOnlyWhenPlausible) {
  const std::int64_t now = 50'000'000'000;
  const struct {
    std::int64_t presented, want;
  } cases[] = {
      {now - 16'000'000, now - 16'000'000},  // a frame ago
      {0, now},                              // not given
      {now + 5'000'000, now},                // in the future
      {now - 60'000'000'000, now},           // another clock
  };
  for (const auto& c : cases) {
    CaptureBook book;
    book.Finished(book.WriteSlot(), c.presented, now);
    EXPECT_EQ(book.CapturedNs(), c.want) << c.presented;
  }
}

TEST(CaptureBook, GivesUpAfterFailuresInARowOnly) {
  CaptureBook book;
  EXPECT_TRUE(book.Failed());
  EXPECT_TRUE(book.Failed());
  book.Finished(book.WriteSlot(), 0, 1);  // a success starts the count again
  EXPECT_TRUE(book.Failed());
  EXPECT_TRUE(book.Failed());
  EXPECT_FALSE(book.Failed());
  EXPECT_TRUE(book.GaveUp());
  book.Reset();
  EXPECT_FALSE(book.GaveUp());
}

// A PNG file's bytes, written with libpng: width x height, RGBA.
std::vector<std::uint8_t> Png(int width, int height, const std::vector<std::uint8_t>& rgba) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
  std::vector<std::uint8_t> bytes(size);
  EXPECT_TRUE(png_image_write_to_memory(&image, bytes.data(), &size, 0, rgba.data(), 0, nullptr));
  bytes.resize(size);
  return bytes;
}

TEST(Snapshot, PngPicturesDecodeToColorValues) {
  const auto bytes = Png(2, 2,
                         {0x11, 0x22, 0x33, 0xFF, 0xFF, 0, 0, 0xFF,  // top row
                          0, 0xFF, 0, 0x80, 0, 0, 0xFF, 0xFF});
  Image image;
  std::string why;
  ASSERT_TRUE(DecodePng(bytes, &image, &why)) << why;
  EXPECT_EQ(image.width, 2);
  EXPECT_EQ(image.height, 2);
  EXPECT_EQ(image.pixels, (std::vector<std::uint32_t>{0x332211, 0x0000FF, 0x00FF00, 0xFF0000}));

  const std::uint8_t not_png[] = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(DecodePng(not_png, &image, &why));
  EXPECT_FALSE(why.empty());
}

TEST(Snapshot, FileUrisNameLocalPathsOnly) {
  const struct {
    const char* uri;
    const char* path;  // nullptr: none
  } cases[] = {
      {"file:///tmp/out.png", "/tmp/out.png"},
      {"file:///home/u/Pictures/Screenshot%20from%202024.png",
       "/home/u/Pictures/Screenshot from 2024.png"},
      {"file://localhost/tmp/a.png", "/tmp/a.png"},
      {"file://otherhost/tmp/a.png", nullptr},
      {"https://example.org/a.png", nullptr},
      {"file:///tmp/bad%2", nullptr},
      {"file:///tmp/nul%00.png", nullptr},
  };
  for (const auto& c : cases) {
    const auto path = PathFromFileUri(c.uri);
    if (c.path) {
      EXPECT_EQ(path, std::optional<std::string>(c.path)) << c.uri;
    } else {
      EXPECT_FALSE(path) << c.uri;
    }
  }
}

TEST(Snapshot, OnlyAFileMadeForTheRequestIsRemoved) {
  const std::int64_t request = 1'000'000'000'000;
  const FileFacts opened{true, 1000, 1, request + 5, 3, 7};  // what was read
  const struct {
    FileFacts named;  // what is under the name afterwards
    bool made;
  } cases[] = {
      {{true, 1000, 1, request + 5, 3, 7}, true},   {{true, 1000, 1, request, 3, 7}, true},
      {{true, 1000, 1, request - 1, 3, 7}, false},   // there before the request
      {{true, 1001, 1, request + 5, 3, 7}, false},   // another user's
      {{true, 1000, 2, request + 5, 3, 7}, false},   // has another name too
      {{false, 1000, 1, request + 5, 3, 7}, false},  // not a regular file
      {{true, 1000, 1, request + 5, 3, 8}, false},   // replaced since it was read
      {{true, 1000, 1, request + 5, 4, 7}, false},   // on another file system
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MadeForRequest(opened, c.named, 1000, request), c.made)
        << c.named.uid << " " << c.named.links << " " << c.named.modified_ns - request << " "
        << c.named.device << ":" << c.named.inode;
  }
}

class SnapshotFile : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/huevex-snapshot-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Write(const char* name) {
    const std::string path = dir_ + "/" + name;
    const auto bytes = Png(1, 1, {0x10, 0x20, 0x30, 0xFF});
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
  }
  std::string dir_;
};

TEST_F(SnapshotFile, OursIsReadAndRemovedOthersAreReadAndKept) {
  const std::int64_t before = RealtimeNs();
  const std::string ours = Write("out.png");
  Snapshot snapshot;
  std::string why;
  ASSERT_TRUE(TakeSnapshot(ours, before, &snapshot, &why)) << why;
  EXPECT_EQ(snapshot.image.pixels, std::vector<std::uint32_t>{0x302010});
  EXPECT_TRUE(snapshot.removed);
  EXPECT_FALSE(std::filesystem::exists(ours));

  // The user's own picture, older than the request: read, never removed.
  const std::string theirs = Write("mine.png");
  const timespec old_times[2] = {{1'000'000, 0}, {1'000'000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, theirs.c_str(), old_times, 0), 0);
  ASSERT_TRUE(TakeSnapshot(theirs, RealtimeNs(), &snapshot, &why)) << why;
  EXPECT_FALSE(snapshot.removed);
  EXPECT_TRUE(std::filesystem::exists(theirs));

  // A new file with a second name: kept, since the other name is someone's.
  const std::int64_t again = RealtimeNs();
  const std::string linked = Write("linked.png");
  ASSERT_EQ(link(linked.c_str(), (dir_ + "/elsewhere.png").c_str()), 0);
  ASSERT_TRUE(TakeSnapshot(linked, again, &snapshot, &why)) << why;
  EXPECT_FALSE(snapshot.removed);
  EXPECT_TRUE(std::filesystem::exists(linked));

  // A symbolic link is not followed, and neither it nor its target goes.
  const std::string link_path = dir_ + "/link.png";
  ASSERT_EQ(symlink(linked.c_str(), link_path.c_str()), 0);
  EXPECT_FALSE(TakeSnapshot(link_path, again, &snapshot, &why));
  EXPECT_TRUE(std::filesystem::is_symlink(link_path));
  EXPECT_TRUE(std::filesystem::exists(linked));
}

// A 2 x 1 stream frame of the given words.
StreamFrame Stream(Rect logical, std::uint32_t format, std::uint32_t left, std::uint32_t right,
                   std::int64_t at) {
  StreamFrame f;
  f.logical = logical;
  f.pixels.resize(8);
  std::memcpy(f.pixels.data(), &left, 4);
  std::memcpy(f.pixels.data() + 4, &right, 4);
  f.width = 2, f.height = 1, f.stride = 8, f.format = format, f.captured_ns = at;
  return f;
}

TEST(StreamFrames, StreamsLieAtTheirPlacesScaledToTheirLogicalSize) {
  // A monitor at (0, 0) of 2 x 1 and one at (2, 0) of 4 x 2 logical pixels
  // whose frames have 2 x 1 pixels (each frame pixel covers 2 x 2 of the root).
  std::vector<StreamFrame> streams = {Stream({0, 0, 2, 1}, kXrgb8888, 0x00112233, 0x00445566, 50),
                                      Stream({2, 0, 6, 2}, kXbgr8888, 0x00332211, 0x00665544, 40)};
  const struct {
    Rect block;
    std::vector<std::uint32_t> expected;  // 0x00BBGGRR
  } cases[] = {
      {{0, 0, 6, 1}, {0x332211, 0x665544, 0x332211, 0x332211, 0x665544, 0x665544}},
      {{3, 1, 5, 2}, {0x332211, 0x665544}},  // the scaled one's second row
      {{0, 1, 3, 2}, {0, 0, 0x332211}},      // under the small one: black
      {{6, 0, 8, 1}, {0, 0}},                // right of both
      {{-1, -1, 0, 0}, {0}},
  };
  for (const auto& c : cases) {
    std::vector<std::uint32_t> out(c.expected.size(), 0xDEAD);
    std::int64_t oldest = -1;
    ASSERT_TRUE(ReadStreams(streams, c.block, out.data(), &oldest));
    EXPECT_EQ(out, c.expected) << c.block.left << "," << c.block.top;
  }
  std::uint32_t out[6];
  std::int64_t oldest = -1;
  ASSERT_TRUE(ReadStreams(streams, {1, 0, 3, 1}, out, &oldest));
  EXPECT_EQ(oldest, 40);  // the older of the two frames read

  // Until a stream has a frame, blocks that touch it are not read; others are.
  streams[1] = StreamFrame{};
  streams[1].logical = {2, 0, 6, 2};
  EXPECT_FALSE(ReadStreams(streams, {1, 0, 3, 1}, out, &oldest));
  EXPECT_TRUE(ReadStreams(streams, {0, 0, 2, 1}, out, &oldest));
  // A stream of no known place lies where its frame reaches, and touches
  // every block while it has none.
  streams[1].logical = {};
  EXPECT_FALSE(ReadStreams(streams, {0, 0, 1, 1}, out, &oldest));
  streams[1] = Stream({}, kXrgb8888, 0x00AABBCC, 0x00DDEEFF, 1);
  ASSERT_TRUE(ReadStreams(streams, {0, 0, 1, 1}, out, &oldest));
  EXPECT_EQ(out[0], 0xCCBBAAu);  // the later stream lies over the first
}

TEST(RestoreToken, TheFileLiesInTheUsersStateFolder) {
  EXPECT_EQ(RestoreTokenPath("/s", "/h"), "/s/huevex/screencast-token");
  EXPECT_EQ(RestoreTokenPath(nullptr, "/h"), "/h/.local/state/huevex/screencast-token");
  EXPECT_EQ(RestoreTokenPath("relative", "/h"), "/h/.local/state/huevex/screencast-token");
  EXPECT_EQ(RestoreTokenPath("", ""), "");
  EXPECT_EQ(RestoreTokenPath(nullptr, nullptr), "");
}

class RestoreTokenFile : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/huevex-token-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
    path_ = dir_ + "/state/huevex/screencast-token";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void Put(const std::string& text) {
    std::filesystem::create_directories(dir_ + "/state/huevex");
    FILE* f = std::fopen(path_.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  std::string dir_, path_;
};

TEST_F(RestoreTokenFile, IsWrittenWholeForTheUserAlone) {
  EXPECT_EQ(LoadRestoreToken(path_), std::nullopt);  // none yet: a miss
  ASSERT_TRUE(SaveRestoreToken(path_, "0a1b-c2d3"));
  EXPECT_EQ(LoadRestoreToken(path_), "0a1b-c2d3");
  struct stat facts {};
  ASSERT_EQ(stat(path_.c_str(), &facts), 0);
  EXPECT_EQ(facts.st_mode & 0777, 0600u);
  ASSERT_EQ(stat((dir_ + "/state/huevex").c_str(), &facts), 0);
  EXPECT_EQ(facts.st_mode & 0777, 0700u);

  // A token of the wrong form is not written, and the old one stays.
  EXPECT_FALSE(SaveRestoreToken(path_, "two words"));
  EXPECT_FALSE(SaveRestoreToken(path_, ""));
  EXPECT_EQ(LoadRestoreToken(path_), "0a1b-c2d3");
  ASSERT_TRUE(SaveRestoreToken(path_, "next"));
  EXPECT_EQ(LoadRestoreToken(path_), "next");
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ + "/state/huevex"),
                          std::filesystem::directory_iterator()),
            1);
  // A folder that cannot be made: nothing written.
  Put("kept");
  EXPECT_FALSE(SaveRestoreToken(path_ + "/below", "x"));
}

TEST_F(RestoreTokenFile, AnythingButOneTokenIsAMiss) {
  const struct {
    std::string text;
    std::optional<std::string> token;
  } cases[] = {
      {"abc\n", "abc"},
      {"abc", "abc"},
      {"", std::nullopt},
      {"\n", std::nullopt},
      {"a b\n", std::nullopt},
      {"abc\n\n", std::nullopt},
      {"ab\tc", std::nullopt},
      {"caf\xc3\xa9", std::nullopt},
      {std::string(256, 'x'), std::string(256, 'x')},
      {std::string(257, 'x'), std::nullopt},
  };
  for (const auto& c : cases) {
    Put(c.text);
    EXPECT_EQ(LoadRestoreToken(path_), c.token) << c.text;
  }
  // A link is not followed.
  std::filesystem::remove(path_);
  Put("abc");
  std::filesystem::rename(path_, dir_ + "/target");
  std::filesystem::create_symlink(dir_ + "/target", path_);
  EXPECT_EQ(LoadRestoreToken(path_), std::nullopt);
}

}  // namespace
}  // namespace huevex::wayland
