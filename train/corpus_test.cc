#include "train/corpus.h"

#include <gtest/gtest.h>

#include "testutil/status_assertion.h"
#include "testutil/test_support.h"
#include "text/dictionary.h"
#include "text/segmenter.h"

namespace wenlei {
namespace {

using testing::TempDir;
using testing::WriteFile;

// GBK bytes of a few words used below.
const std::string kTiYuGbk = "\xCC\xE5\xD3\xFD";  // 体育
const std::string kZuQiuGbk = "\xD7\xE3\xC7\xF2";  // 足球

class CorpusTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes) {
    const std::string path = dir_.path() + "/corpus.tsv";
    WriteFile(path, bytes);
    return path;
  }

  // Reads bytes as a corpus and returns the error, or "" when it is read.
  std::string ErrorOf(const std::string& bytes, CorpusEncoding encoding = CorpusEncoding::kUtf8) {
    const Status read = ReadCorpus(Write(bytes), encoding, &corpus_);
    if (read.ok()) return "";
    const std::string& error = read.message();
    const bool malformed = error.find(": invalid ") != std::string::npos;
    EXPECT_EQ(read.code(), malformed ? Status::Code::kBadEncoding : Status::Code::kInvalidArgument) << error;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
    return error;
  }

  TempDir dir_;
  Corpus corpus_;
};

TEST_F(CorpusTest, ReadsDocumentsAndNumbersClassesByTheirNamesBytes) {
  ASSERT_EQ(ErrorOf("科技\t芯片 手机\n体育\t足球  足球 比赛\r\n\n财经\t\n体育\t球员\n"), "");
  // 体 U+4F53 < 科 U+79D1 < 财 U+8D22, whatever order the lines give.
  EXPECT_EQ(corpus_.classNamesUtf8, (std::vector<std::string>{"体育", "科技", "财经"}));
  EXPECT_EQ(corpus_.classNamesGbk[0], kTiYuGbk);
  ASSERT_EQ(corpus_.documents.size(), 4u);  // the empty line is no document
  EXPECT_EQ(corpus_.documents[0].classIndex, 1);
  EXPECT_EQ(corpus_.documents[1].classIndex, 0);
  EXPECT_EQ(corpus_.documents[1].words,
            (std::vector<std::string>{kZuQiuGbk, kZuQiuGbk, "\xB1\xC8\xC8\xFC"}));
  EXPECT_EQ(corpus_.documents[1].line, 2);
  EXPECT_TRUE(corpus_.documents[2].words.empty());  // a class with no words is a document
  EXPECT_EQ(corpus_.documents[3].line, 5);
  EXPECT_EQ(corpus_.wordOccurrences, 6u);
  EXPECT_EQ(corpus_.DocumentsPerClass(), (std::vector<std::size_t>{2, 1, 1}));
}

TEST_F(CorpusTest, CountsEachDocumentsWordsByTheirNumberInByteOrder) {
  const std::string path = Write("a\tzz b b\nb\tb a zz zz zz\n");
  ASSERT_TRUE(testing::IsOk(ReadCorpus(path, CorpusEncoding::kUtf8, &corpus_, nullptr, CorpusWords::kCountsOnly)));
  EXPECT_EQ(corpus_.distinctWords, (std::vector<std::string>{"a", "b", "zz"}));
  using Pairs = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
  auto counts = [](const Corpus& corpus, std::size_t d) {
    Pairs pairs;
    for (const WordCount& count : corpus.documents[d].counts) {
      pairs.emplace_back(count.word, count.count);
    }
    return pairs;
  };
  EXPECT_EQ(counts(corpus_, 0), (Pairs{{1, 2}, {2, 1}}));
  EXPECT_EQ(counts(corpus_, 1), (Pairs{{0, 1}, {1, 1}, {2, 3}}));
  EXPECT_TRUE(corpus_.documents[0].words.empty());  // no word kept as text
  EXPECT_EQ(corpus_.wordOccurrences, 8u);

  // Word lists made by hand are counted the same way.
  Corpus listed = corpus_;
  listed.documents[0].words = {"zz", "b", "b"};
  listed.documents[1].words = {"b", "a", "zz", "zz", "zz"};
  CountWordLists(&listed);
  EXPECT_EQ(listed.distinctWords, corpus_.distinctWords);
  EXPECT_EQ(counts(listed, 0), counts(corpus_, 0));
  EXPECT_EQ(counts(listed, 1), counts(corpus_, 1));
}

TEST(WordCountsTest, PackedCountsGiveBackEveryWordAndCount) {
  // Numbers and counts across every byte length the packing uses.
  const std::vector<WordCount> counts = {
      {0, 1}, {127, 128}, {128, 16383}, {16511, 16384}, {2097152, 1}, {4294967295u, 4294967295u}};
  const WordCounts packed(counts);
  ASSERT_EQ(packed.size(), counts.size());
  const std::vector<WordCount> back = packed.ToVector();
  ASSERT_EQ(back.size(), counts.size());
  for (std::size_t i = 0; i < counts.size(); ++i) {
    EXPECT_EQ(back[i].word, counts[i].word) << i;
    EXPECT_EQ(back[i].count, counts[i].count) << i;
  }
  EXPECT_TRUE(WordCounts(counts) == packed);
  EXPECT_FALSE(WordCounts({{0, 1}, {127, 129}}) == WordCounts({{0, 1}, {127, 128}}));
  EXPECT_EQ(WordCounts().begin(), WordCounts().end());
}

TEST_F(CorpusTest, SkipsAndCountsWordsTooLongOrNotInGbk) {
  const std::string fourteen = "一二三四五六七八九十一二三四";  // 28 GBK bytes
  ASSERT_EQ(ErrorOf("甲\t" + fourteen + " " + fourteen + "五 ok 😀 a😀\n乙\tb\n"), "");
  ASSERT_EQ(corpus_.documents[0].words.size(), 2u);
  EXPECT_EQ(corpus_.documents[0].words[0].size(), 28u);
  EXPECT_EQ(corpus_.documents[0].words[1], "ok");
  EXPECT_EQ(corpus_.wordsTooLong, 1u);
  EXPECT_EQ(corpus_.wordsUnencodable, 2u);
  EXPECT_EQ(corpus_.wordOccurrences, 3u);
}

TEST_F(CorpusTest, ReadsGbkInput) {
  ASSERT_EQ(ErrorOf(kTiYuGbk + "\t" + kZuQiuGbk + " x\n", CorpusEncoding::kGbk), "");
  EXPECT_EQ(corpus_.classNamesUtf8[0], "体育");
  EXPECT_EQ(corpus_.documents[0].words, (std::vector<std::string>{kZuQiuGbk, "x"}));
}

TEST_F(CorpusTest, BadInputNamesFileAndLine) {
  const std::string path = dir_.path() + "/corpus.tsv";
  EXPECT_EQ(ErrorOf("a\tx\nno tab here\n"),
            path + ":2: no tab between the class name and the words");
  EXPECT_EQ(ErrorOf("a\tx\n\ty z\n"), path + ":2: empty class name");
  EXPECT_EQ(ErrorOf("a\tx\nb\tgood \xE4\xBD bad\n"), path + ":2: invalid UTF-8 at byte 8");
  EXPECT_EQ(ErrorOf(kTiYuGbk + "\t\x81\x20\n", CorpusEncoding::kGbk),
            path + ":1: invalid GBK at byte 6");
  EXPECT_EQ(ErrorOf("😀\tx\n"),
            path + ":1: class name \"😀\" holds a character that GBK cannot encode");
  EXPECT_EQ(ErrorOf(""), path + ": no documents (expected lines \"class<TAB>word word ...\")");
  EXPECT_EQ(ErrorOf("\n\n"), path + ": no documents (expected lines \"class<TAB>word word ...\")");
  const Status missing = ReadCorpus(dir_.path() + "/missing.tsv", CorpusEncoding::kUtf8, &corpus_);
  EXPECT_EQ(missing.code(), Status::Code::kIoError);
  EXPECT_EQ(missing.message(),
            dir_.path() + "/missing.tsv: cannot open for reading: No such file or directory");
}

// Names the metadata file and the answers could not keep exactly, a NUL in
// a document, and files that are no corpus: each refused with its line
// before any training.
TEST_F(CorpusTest, RefusesWhatCannotBeKeptExactly) {
  const std::string path = dir_.path() + "/corpus.tsv";
  struct Case {
    std::string text, error;
  };
  const std::vector<Case> cases = {
      {"a\tx\nb\rc\ty\n", ":2: class name \"b\\x0Dc\" holds a carriage return"},
      {"a\x01\tx\n", ":1: class name \"a\\x01\" holds a control character"},
      {"a\x7F\tx\n", ":1: class name \"a\\x7F\" holds a control character"},
      {"a\tx\n b\ty\n", ":2: class name \" b\" starts with white space, which the metadata file would not keep"},
      {"b \ty\n", ":1: class name \"b \" ends with white space, which the metadata file would not keep"},
      {"体育\xE3\x80\x80\ty\n", ":1: class name \"体育\xE3\x80\x80\" ends with white space, which the metadata file would not keep"},
      {std::string("a\tx\nb\tgood\0bad\n", 15), ":2: a NUL byte at byte 7 (a corpus is text)"},
      {std::string("a\0b\tx\n", 6), ":1: a NUL byte at byte 2 (a corpus is text)"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(c.text), path + c.error) << c.text;
  // A byte order mark is no part of the first class name.
  ASSERT_EQ(ErrorOf("\xEF\xBB\xBF" "a\tx\nb\ty\n"), "");
  EXPECT_EQ(corpus_.classNamesUtf8, (std::vector<std::string>{"a", "b"}));

  EXPECT_EQ(ReadCorpus(dir_.path(), CorpusEncoding::kUtf8, &corpus_).message(),
            dir_.path() + " is a directory; name the corpus file");
  EXPECT_EQ(ReadCorpus("/dev/zero", CorpusEncoding::kUtf8, &corpus_).message(),
            "/dev/zero is a device, not a file; name the corpus file");
}

TEST_F(CorpusTest, ALineLongerThanTheLimitIsRefusedWithItsNumber) {
  const std::string path = dir_.path() + "/corpus.tsv";
  std::string longest = "a\t" + std::string(kMaxCorpusLineBytes - 2, 'x');
  EXPECT_EQ(ErrorOf("b\ty\n" + longest + "\r\n"), "");  // the line end does not count
  EXPECT_EQ(ErrorOf("b\ty\n" + longest + "x\nc\tz\n"),
            path + ":2: longer than 16777216 bytes (16 MiB), the longest line a corpus may hold");
}

TEST_F(CorpusTest, ALongClassNameKeepsItsFullNameAndAShortFormThatFits) {
  ASSERT_EQ(ErrorOf("文字处理a\tx\n文字处理器\ty\n"), "");
  EXPECT_EQ(corpus_.classNamesUtf8, (std::vector<std::string>{"文字处理a", "文字处理器"}));
  // In GBK: the 9-byte name as it is, the 10-byte one cut to 文字处理.
  EXPECT_EQ(corpus_.classNamesGbk,
            (std::vector<std::string>{"\xCE\xC4\xD7\xD6\xB4\xA6\xC0\xED\x61",
                                      "\xCE\xC4\xD7\xD6\xB4\xA6\xC0\xED"}));
}

TEST(CorpusEncodingTest, ParsesItsNames) {
  CorpusEncoding encoding;
  EXPECT_TRUE(ParseCorpusEncoding("GBK", &encoding));
  EXPECT_EQ(encoding, CorpusEncoding::kGbk);
  EXPECT_TRUE(ParseCorpusEncoding("utf8", &encoding));
  EXPECT_EQ(encoding, CorpusEncoding::kUtf8);
  EXPECT_FALSE(ParseCorpusEncoding("latin1", &encoding));
}

class SynonymsTest : public CorpusTest {
 protected:
  std::string SynonymError(const std::string& bytes) {
    return ReadSynonyms(Write(bytes), CorpusEncoding::kUtf8, &synonyms_).message();
  }
  SynonymTable synonyms_;
};

TEST_F(SynonymsTest, ReadsVariantsAndSkipsCommentsAndSelfMaps) {
  ASSERT_EQ(SynonymError("# variant\tcanonical\n电脑\t计算机\n微机\t计算机\n计算机\t计算机\n\n"), "");
  ASSERT_EQ(synonyms_.size(), 2u);
  EXPECT_EQ(synonyms_.at("\xB5\xE7\xC4\xD4"), "\xBC\xC6\xCB\xE3\xBB\xFA");  // 电脑 -> 计算机
}

TEST_F(SynonymsTest, RejectsWhatTheResourceFileCannotHold) {
  const std::string path = dir_.path() + "/corpus.tsv";
  EXPECT_EQ(SynonymError("电脑 计算机\n"),
            path + ":1: no tab between the variant and the canonical word");
  EXPECT_EQ(SynonymError("电脑\t电子计算机\n"),
            path + ":1: canonical word \"电子计算机\" is 10 bytes in GBK; the resource file "
                   "holds at most 9");
  EXPECT_EQ(SynonymError("电脑\t计算机\n电脑\t微机\n"), path + ":2: variant \"电脑\" is listed twice");
  EXPECT_EQ(SynonymError("电脑\t微机\n微机\t计算机\n"),
            path + ": canonical word \"微机\" is itself listed as a variant");
}

TEST_F(CorpusTest, RawTextIsSegmentedLikeClassification) {
  std::unique_ptr<Dictionary> dictionary;
  const Status parsed = Dictionary::Parse("体育 10\n足球 10\n比赛 10\n", "test", &dictionary);
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  Segmenter segmenter(*dictionary);
  const std::string path = Write("体育\t足球比赛，足球😀\n");
  ASSERT_TRUE(testing::IsOk(ReadCorpus(path, CorpusEncoding::kUtf8, &corpus_, &segmenter)));
  ASSERT_EQ(corpus_.documents.size(), 1u);
  EXPECT_EQ(corpus_.documents[0].words,
            (std::vector<std::string>{kZuQiuGbk, "\xB1\xC8\xC8\xFC", "\xA3\xAC", kZuQiuGbk}));
  EXPECT_EQ(corpus_.wordsUnencodable, 1u);
  EXPECT_EQ(corpus_.segmentedDocuments, 1u);
  EXPECT_FALSE(corpus_.LooksUnsegmented());
}

TEST_F(CorpusTest, TellsUnsegmentedTextFromWords) {
  struct Case {
    const char* text;
    bool unsegmented;
  };
  const Case cases[] = {
      {"体育\t足球 比赛 今天 开始\n", false},
      {"体育\t今天的足球比赛开始了 好\n", true},
      {"体育\t今天的足球比赛开始了 好 足球 比赛 今天 开始 我们 的 球员 进球\n", false},
      {"体育\tsome English words only\n", false},
      // Long names among short words: segmented all the same.
      {"体育\t体育运动与健身球0 我们 的 体育运动与健身赛1 了 是 今天\n", false},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(ErrorOf(c.text), "");
    EXPECT_EQ(corpus_.LooksUnsegmented(), c.unsegmented) << c.text;
  }
}

}  // namespace
}  // namespace wenlei
