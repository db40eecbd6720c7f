#include "BreakDecoder.h"

#include <gtest/gtest.h>

#include <fmt/format.h>

#include <string>
#include <vector>

using namespace quorvel;

namespace {

// The decoded stream of consecutive chunks as text: data bytes in hex, marks as <BRK> and
// <FE>, so that a row reads like the line it describes.
std::string Render(const std::vector<std::string>& chunks, TBreakDecoder& decoder) {
  std::vector<std::string> items;
  for (const std::string& chunk : chunks) {
    const TBreakDecoder::TResult r = decoder.Decode(chunk);
    std::size_t at = 0;
    const auto dataUpTo = [&](std::size_t end) {
      for (; at < end; ++at) items.push_back(fmt::format("{:02X}", static_cast<unsigned char>(r.Data[at])));
    };
    for (const TBreakDecoder::TEvent& e : r.Events) {
      dataUpTo(e.Offset);
      items.push_back(e.Mark == TBreakDecoder::TMark::Break ? "<BRK>" : "<FE>");
    }
    dataUpTo(r.Data.size());
  }
  std::string out;
  for (const std::string& item : items) out += (out.empty() ? "" : " ") + item;
  return out;
}

std::string Render(const std::vector<std::string>& chunks) {
  TBreakDecoder decoder;
  return Render(chunks, decoder);
}

std::string B(std::initializer_list<unsigned char> bytes) { return std::string(bytes.begin(), bytes.end()); }

struct Row {
  const char* what;
  std::vector<std::string> chunks;
  const char* expected;
};

}  // namespace

TEST(BreakDecoder, DecodesMarkedStreams) {
  const Row rows[] = {
      {"plain bytes pass", {"AB\r\n"}, "41 42 0D 0A"},
      {"NUL bytes are data", {B({0x00, 0x00})}, "00 00"},
      {"empty chunk", {""}, ""},
      {"escaped FF is one data byte", {B({0xFF, 0xFF})}, "FF"},
      {"two escaped FF", {B({0xFF, 0xFF, 0xFF, 0xFF})}, "FF FF"},
      {"escaped FF then NULs is no break", {B({0xFF, 0xFF, 0x00, 0x00})}, "FF 00 00"},
      {"break alone", {B({0xFF, 0x00, 0x00})}, "<BRK>"},
      {"break between data", {B({'a', 'b', 0xFF, 0x00, 0x00, 'c'})}, "61 62 <BRK> 63"},
      {"two breaks", {B({0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00})}, "<BRK> <BRK>"},
      {"framing error keeps its byte", {B({0xFF, 0x00, 'A'})}, "<FE> 41"},
      {"framing error on byte FF", {B({0xFF, 0x00, 0xFF, 'z'})}, "<FE> FF 7A"},
      {"lone FF before a byte keeps both", {B({0xFF, 'A'})}, "FF 41"},
      {"cp1251 ya between letters", {B({0xE0, 0xFF, 0xFF, 0xE1})}, "E0 FF E1"},
      {"escape split after FF", {B({'a', 0xFF}), B({0xFF, 'b'})}, "61 FF 62"},
      {"break split byte by byte", {B({0xFF}), B({0x00}), B({0x00})}, "<BRK>"},
      {"framing error split", {B({0xFF, 0x00}), "A"}, "<FE> 41"},
      {"empty chunk inside a split", {B({'a', 0xFF}), "", B({0x00, 0x00, 'b'})}, "61 <BRK> 62"},
      {"unfinished escape waits", {B({'a', 0xFF, 0x00})}, "61"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Render(row.chunks), row.expected) << row.what;
  }
}

TEST(BreakDecoder, EventOffsetsCountDataOfTheSameChunk) {
  TBreakDecoder d;
  TBreakDecoder::TResult r = d.Decode(B({'a', 0xFF, 0xFF, 0xFF, 0x00, 0x00, 'b', 0xFF, 0x00, 'c'}));
  EXPECT_EQ(r.Data, B({'a', 0xFF, 'b', 'c'}));
  const std::vector<TBreakDecoder::TEvent> expected = {{2, TBreakDecoder::TMark::Break},
                                                       {3, TBreakDecoder::TMark::FrameError}};
  EXPECT_EQ(r.Events, expected);

  // A mark completed by the next chunk is placed in that chunk.
  r = d.Decode(B({'x', 0xFF, 0x00}));
  EXPECT_EQ(r.Data, "x");
  EXPECT_TRUE(r.Events.empty());
  EXPECT_TRUE(d.Pending());
  r = d.Decode(B({0x00, 'y'}));
  EXPECT_EQ(r.Data, "y");
  ASSERT_EQ(r.Events.size(), 1u);
  EXPECT_EQ(r.Events[0], (TBreakDecoder::TEvent{0, TBreakDecoder::TMark::Break}));
  EXPECT_FALSE(d.Pending());
}

TEST(BreakDecoder, AnySplitOfAStreamDecodesAlike) {
  const std::string stream = B({'O',  'K',  0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 'E', 0xFF,
                                0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, '\r', '\n'});
  const std::string whole = Render({stream});
  ASSERT_EQ(whole, "4F 4B FF <BRK> 00 <FE> 45 FF 00 FF FF <FE> FF 0D 0A");
  for (std::size_t i = 0; i <= stream.size(); ++i) {
    for (std::size_t j = i; j <= stream.size(); ++j) {
      EXPECT_EQ(Render({stream.substr(0, i), stream.substr(i, j - i), stream.substr(j)}), whole)
          << "split at " << i << " and " << j;
    }
  }
}

TEST(BreakDecoder, ResetDropsAHeldBackTail) {
  TBreakDecoder d;
  EXPECT_EQ(Render({B({'a', 0xFF, 0x00})}, d), "61");
  ASSERT_TRUE(d.Pending());
  d.Reset();
  EXPECT_FALSE(d.Pending());
  // Without the reset these bytes would complete a break.
  EXPECT_EQ(Render({B({0x00, 'b'})}, d), "00 62");
}
