#include "bench/bench_data.h"

#include <gtest/gtest.h>

#include <set>

#include "classify/classifier.h"
#include "source/source_data.h"
#include "testutil/test_support.h"

namespace wenlei::bench {
namespace {

using testing::TempDir;
using testing::WordListBuilder;
using testing::WriteFile;

bool IsGb2312Word(const std::string& word) {
  if (word.empty() || word.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < word.size(); i += 2) {
    const auto lead = static_cast<unsigned char>(word[i]);
    const auto trail = static_cast<unsigned char>(word[i + 1]);
    if (lead < 0xB0 || lead > 0xF7 || trail < 0xA1 || trail > 0xFE) return false;
  }
  return true;
}

TEST(GeneratedWordsTest, AreDistinctDoubleByteWordsThatFitAWordField) {
  const std::vector<std::string> words = GbkWords(5000, 4);
  ASSERT_EQ(words.size(), 5000u);
  EXPECT_EQ(std::set<std::string>(words.begin(), words.end()).size(), 5000u);
  std::size_t twoCharacters = 0;
  for (const std::string& word : words) {
    ASSERT_TRUE(IsGb2312Word(word)) << word.size();
    ASSERT_LE(word.size(), 14u);
    twoCharacters += word.size() == 4;
  }
  EXPECT_GT(twoCharacters, 2500u);  // most words are two characters long
  EXPECT_EQ(GbkWords(5000, 4), words);
  EXPECT_NE(GbkWords(5000, 5), words);
}

TEST(Utf8ToGbkTest, ConvertsChineseAndAsciiAndRefusesWhatGbkLacks) {
  std::string gbk;
  ASSERT_TRUE(Utf8ToGbk("\xE6\x95\xB0\xE6\x8D\xAE", &gbk));  // 数据
  EXPECT_EQ(gbk, "\xCA\xFD\xBE\xDD");
  ASSERT_TRUE(Utf8ToGbk("Del", &gbk));
  EXPECT_EQ(gbk, "Del");
  EXPECT_FALSE(Utf8ToGbk("\xF0\x9F\x98\x80", &gbk));  // an emoji
}

TEST(LargeSourceFileTest, HoldsTheRequestedSectionsAndLoads) {
  TempDir dir;
  LargeSourceSpec spec;
  spec.vocabulary = 3000;
  spec.termMap = 800;
  spec.idf = 3000;
  spec.classCount = 36;
  WriteLargeSourceFile(dir.prefix() + kSourceFileName, spec);
  EXPECT_EQ(FileBytes(dir.prefix() + kSourceFileName), 24u + 30 * 3000 + 40 * 800 + 40 * 3000 + 10 * 37);

  SourceData data;
  ASSERT_TRUE(data.Load(dir.prefix()).ok());
  EXPECT_EQ(data.wordIndexTable.size(), 3000u);
  EXPECT_EQ(data.termMapTable.size(), 800u);
  EXPECT_EQ(data.idfTable.size(), 3000u);
  ASSERT_EQ(data.classTable.size(), 37u);
  EXPECT_EQ(*data.classTable.Find(0), "NULL");
  std::size_t merged = 0;
  for (const auto& [word, canonical] : data.termMapTable) {
    EXPECT_TRUE(data.wordIndexTable.Contains(word));
    if (canonical.empty()) continue;
    ++merged;
    EXPECT_TRUE(data.wordIndexTable.Contains(canonical));
    EXPECT_LE(canonical.size(), 9u);
  }
  EXPECT_GT(merged, 80u);   // about one in five
  EXPECT_LT(merged, 260u);
  for (const auto& [word, feature] : data.wordIndexTable) EXPECT_TRUE(data.idfTable.Contains(word));
}

TEST(LargeSourceFileTest, IdfInItsOwnOrderHoldsTheSameEntriesShuffled) {
  TempDir inOrder, ownOrder;
  LargeSourceSpec spec;
  spec.vocabulary = 2000;
  spec.termMap = 100;
  spec.idf = 2000;
  WriteLargeSourceFile(inOrder.prefix() + kSourceFileName, spec);
  spec.idfInOwnOrder = true;
  WriteLargeSourceFile(ownOrder.prefix() + kSourceFileName, spec);
  SourceData a, b;
  ASSERT_TRUE(a.Load(inOrder.prefix()).ok());
  ASSERT_TRUE(b.Load(ownOrder.prefix()).ok());
  EXPECT_EQ(a.idfTable, b.idfTable);
  EXPECT_EQ(a.wordIndexTable, b.wordIndexTable);
  EXPECT_NE(testing::ReadFile(inOrder.prefix() + kSourceFileName),
            testing::ReadFile(ownOrder.prefix() + kSourceFileName));
}

TEST(DocumentGeneratorTest, MixesKnownAndUnknownWordsInTheRequestedShare) {
  const std::vector<std::string> vocabulary = GbkWords(2000, 1);
  DocumentGenerator generator(vocabulary, 4, 2);
  const std::set<std::string> known(vocabulary.begin(), vocabulary.end());
  const std::vector<std::string> words = generator.MixedDocument(10000, 0.9);
  ASSERT_EQ(words.size(), 10000u);
  std::size_t knownWords = 0;
  for (const std::string& word : words) knownWords += known.count(word);
  EXPECT_NEAR(static_cast<double>(knownWords) / 10000.0, 0.9, 0.02);

  const LabelledDocument document = generator.Generate(3, 200);
  EXPECT_EQ(document.classNumber, 3);
  ASSERT_EQ(document.words.size(), 200u);
  for (const std::string& word : document.words) EXPECT_TRUE(known.count(word));
}

// The generated sets stand in for real ones, so their models must actually
// separate their classes.
TEST(SyntheticResourceSetTest, TrainsAModelThatClassifiesItsOwnKindOfDocuments) {
  TempDir dir;
  SyntheticSetSpec spec;
  spec.classCount = 4;
  spec.vocabulary = 1500;
  spec.documentsPerClass = 30;
  spec.wordsPerDocument = 80;
  BuildSyntheticResourceSet(dir.prefix(), spec);
  ASSERT_TRUE(HasResourceSet(dir.prefix()));

  const ModelFacts facts = ReadModelFacts(dir.prefix() + kModelFileName);
  EXPECT_EQ(facts.classCount, 4);
  EXPECT_EQ(facts.kernel, "linear");
  EXPECT_GT(facts.supportVectors, 4u);
  EXPECT_LE(facts.supportVectors, 120u);
  EXPECT_GT(facts.nonZeros, facts.supportVectors);
  EXPECT_LE(facts.highestIndex, 1500u);

  const std::vector<std::string> names = ClassNamesOf(dir.prefix());
  ASSERT_EQ(names.size(), 5u);
  EXPECT_EQ(names[0], "NULL");

  SourceData data;
  ASSERT_TRUE(data.Load(dir.prefix()).ok());
  PredictionStep step;
  Classifier classifier(data, &step);
  const std::vector<LabelledDocument> documents = SyntheticDocuments(dir.prefix(), spec, 40);
  ASSERT_EQ(documents.size(), 40u);
  int right = 0;
  for (const LabelledDocument& document : documents) {
    auto words = WordListBuilder::FromWords(document.words);
    std::string answer;
    PredictionStep::Report report;
    ASSERT_TRUE(classifier.ClassificationDriver(*words.list(), &answer, &report).ok());
    right += answer == names[document.classNumber];
  }
  EXPECT_GE(right, 30);
}

TEST(CorpusTest, ReadsClassesInTheGivenOrderAndDropsWordsWithoutGbkForm) {
  TempDir dir;
  const std::string path = dir.path() + "/split.tsv";
  // 图表 数据 | 公式 😀 x
  WriteFile(path,
            "\xE5\x9B\xBE\xE8\xA1\xA8\t\xE6\x95\xB0\xE6\x8D\xAE a\n"
            "\xE5\x85\xAC\xE5\xBC\x8F\t\xF0\x9F\x98\x80 x\n");
  const std::string chart = "\xCD\xBC\xB1\xED", formula = "\xB9\xAB\xCA\xBD";
  Corpus corpus = ReadCorpus(path, {formula});
  ASSERT_EQ(corpus.classNames, (std::vector<std::string>{formula, chart}));
  ASSERT_EQ(corpus.documents.size(), 2u);
  EXPECT_EQ(corpus.documents[0].classNumber, 2);
  EXPECT_EQ(corpus.documents[0].words, (std::vector<std::string>{"\xCA\xFD\xBE\xDD", "a"}));
  EXPECT_EQ(corpus.documents[1].classNumber, 1);
  EXPECT_EQ(corpus.documents[1].words, (std::vector<std::string>{"x"}));

  WriteFile(path, "no tab here\n");
  EXPECT_THROW(ReadCorpus(path), std::runtime_error);
}

TEST(CorpusResourceSetTest, KeepsWordsOfTwoDocumentsOrderedByDocumentFrequency) {
  TempDir dir;
  Corpus train;
  train.classNames = {"A", "B"};
  for (int i = 0; i < 6; ++i) {
    train.documents.push_back({1, {"common", "alpha", "alpha", i < 2 ? "pair" : "a" + std::to_string(i)}});
    train.documents.push_back({2, {"common", "beta", i < 3 ? "trio" : "b" + std::to_string(i)}});
  }
  BuildCorpusResourceSet(dir.prefix(), train);
  SourceData data;
  ASSERT_TRUE(data.Load(dir.prefix()).ok());
  EXPECT_EQ(*data.wordIndexTable.Find(std::string("common")), 1);
  EXPECT_EQ(*data.wordIndexTable.Find(std::string("trio")), 4);
  EXPECT_EQ(*data.wordIndexTable.Find(std::string("pair")), 5);
  EXPECT_FALSE(data.wordIndexTable.Contains(std::string("a3")));  // in one document only
  EXPECT_EQ(data.wordIndexTable.size(), 5u);
  EXPECT_DOUBLE_EQ(*data.idfTable.Find(std::string("common")), 0.0);  // in every document
  EXPECT_EQ(ClassNamesOf(dir.prefix()), (std::vector<std::string>{"NULL", "A", "B"}));
  EXPECT_EQ(ReadModelFacts(dir.prefix() + kModelFileName).classCount, 2);
}

}  // namespace
}  // namespace wenlei::bench
