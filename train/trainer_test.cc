#include "train/trainer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>

#include "classify/classifier.h"
#include "source/confidence_file.h"
#include "wenlei/exports.h"
#include "svm.h"
#include "testutil/test_support.h"
#include "testutil/status_assertion.h"
#include "tools/host/host_word_list.h"
#include "train/trainer_test_corpus.h"
#include "vectorise/document_features.h"

namespace wenlei {
namespace {

using testing::GeneratedCorpus;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

struct NoProgress : TrainingProgress {
  void Status(const std::string&) override {}
};

// Options that keep a test's grid small.
TrainerOptions SmallGrid() {
  TrainerOptions options;
  options.featureCounts = {8, 0};
  options.costs = {1, 8};
  options.folds = 3;
  return options;
}

// A document's features as a classification computes them, unrounded.
DocumentFeatures ReferenceFeatures(const SourceData& sourceData,
                                   const std::vector<std::string>& words) {
  const std::vector<std::string_view> views(words.begin(), words.end());
  return VectoriseWords(views, sourceData, FeatureRounding::kNone);
}

SourceFileContents ReadContents(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
  SourceFileContents contents;
  EXPECT_TRUE(file && testing::IsOk(ReadSourceFile(file.get(), &contents))) << path;
  return contents;
}

class TrainerTest : public ::testing::Test {
 protected:
  void ReadGenerated(const GeneratedCorpus& generated) {
    const std::string path = dir_.path() + "/corpus.tsv";
    WriteFile(path, generated.Text());
    ASSERT_TRUE(testing::IsOk(ReadCorpus(path, CorpusEncoding::kUtf8, &corpus_)));
  }

  // Trains into a fresh directory under dir_ and returns its prefix.
  std::string Train(const TrainerOptions& options, const std::string& name = "set") {
    const std::string prefix = dir_.path() + "/" + name + ".";
    Trainer trainer(corpus_, options, &progress_);
    EXPECT_TRUE(testing::IsOk(trainer.Train(prefix, &report_)));
    return prefix;
  }

  // The trainer's vectors of the corpus's documents, from their word
  // counts, are the lines a classification of their word lists writes to
  // the test file, and their content words those it counts.
  void ExpectClassificationVectors(const std::string& prefix) {
    SourceData sourceData;
    ASSERT_TRUE(sourceData.Load(prefix).ok());
    const SourceFileContents contents = ReadContents(prefix + kSourceFileName);
    const CorpusVectoriser vectoriser(corpus_, contents);
    releasesource();
    ASSERT_EQ(LoadSource(prefix.c_str()), 1);
    ClassifierHandle handle = CreateClassifier();
    std::size_t compared = 0, right = 0;
    std::vector<Feature> features;
    for (const CorpusDocument& document : corpus_.documents) {
      ContentWords content, expectedContent;
      vectoriser.Vectorise(document, contents.averageDocLength, &features, &content);
      expectedContent = CountContentWords(
          document.words, ReferenceFeatures(sourceData, document.words).occurrences);
      EXPECT_EQ(content.words, expectedContent.words);
      EXPECT_EQ(content.known, expectedContent.known);
      std::remove((prefix + kTestFileName).c_str());
      HostWordList words(document.words);
      char answer[64];
      Classification(handle, words.list(), answer);
      if (features.empty()) continue;
      ++compared;
      FeatureVector vector;
      for (const Feature& feature : features) vector.emplace(feature.index, feature.value);
      EXPECT_EQ(ReadFile(prefix + kTestFileName), TestLine(vector) + "\n")
          << "line " << document.line;
      right += answer == corpus_.classNamesGbk[document.classIndex];
    }
    releaseClassifier(handle);
    releasesource();
    EXPECT_GT(compared, corpus_.documents.size() * 9 / 10);
    EXPECT_GT(right, compared * 9 / 10);
  }

  TempDir dir_;
  Corpus corpus_;
  TrainingReport report_;
  NoProgress progress_;
};

TEST_F(TrainerTest, TrainingVectorsEqualWhatClassificationWritesToTheTestFile) {
  ReadGenerated(GeneratedCorpus());
  TrainerOptions options = SmallGrid();
  options.featureCounts = {12};  // some known words stay out of the term map
  options.vocabulary = VocabularyScope::kFull;
  ExpectClassificationVectors(Train(options));
}

TEST_F(TrainerTest, ResourceFileHoldsClassesVocabularyIdfAndAverageLength) {
  ReadGenerated(GeneratedCorpus());
  const std::string prefix = Train(SmallGrid());
  SourceFileContents contents = ReadContents(prefix + kSourceFileName);

  // "NULL", then the names in the order of their UTF-8 bytes, in GBK.
  ASSERT_EQ(contents.classNames.size(), 4u);
  EXPECT_EQ(contents.classNames[0], "NULL");
  EXPECT_EQ(contents.classNames[1], "\xCC\xE5\xD3\xFD");  // 体育
  EXPECT_EQ(contents.classNames[2], "\xBF\xC6\xBC\xBC");  // 科技
  EXPECT_EQ(contents.classNames[3], "\xB2\xC6\xBE\xAD");  // 财经

  FeatureStatistics statistics(corpus_, {});
  ASSERT_EQ(contents.idf.size(), contents.vocabulary.size());
  for (std::size_t i = 0; i < contents.vocabulary.size(); ++i) {
    const auto& [word, idf] = contents.idf[i];
    EXPECT_EQ(word, contents.vocabulary[i]);
    EXPECT_TRUE(std::isfinite(idf));
    EXPECT_GE(idf, 1.0);
    EXPECT_DOUBLE_EQ(idf, std::log((1.0 + 60) / (1.0 + statistics.WordDocumentFrequency(word))) + 1);
  }
  for (const auto& [word, canonical] : contents.termMap) {
    EXPECT_NE(std::find(contents.vocabulary.begin(), contents.vocabulary.end(), word),
              contents.vocabulary.end());
    EXPECT_EQ(canonical, "");
  }

  // The mean number of known-word occurrences, counted as a classification
  // counts them.
  SourceData sourceData;
  ASSERT_TRUE(sourceData.Load(prefix).ok());
  Classifier classifier(sourceData);
  double total = 0.0;
  for (const auto& document : corpus_.documents) {
    HostWordList words(document.words);
    double known = 0.0;
    classifier.CountWords(*words.list(), &known);
    total += known;
  }
  EXPECT_DOUBLE_EQ(contents.averageDocLength, total / corpus_.documents.size());
  EXPECT_DOUBLE_EQ(report_.averageDocLength, contents.averageDocLength);
}

TEST_F(TrainerTest, ModelLabelsAreOneToNInOrderWithProbabilities) {
  GeneratedCorpus generated;
  generated.interleaveClasses = false;  // the last class by name comes first in the file
  ReadGenerated(generated);
  for (Multiclass multiclass : {Multiclass::kOneVsRest, Multiclass::kOneVsOne}) {
    TrainerOptions options = SmallGrid();
    options.multiclass = multiclass;
    const std::string prefix = Train(options, MulticlassName(multiclass));
    svm_model* model = svm_load_model((prefix + kModelFileName).c_str());
    ASSERT_NE(model, nullptr);
    ASSERT_EQ(svm_get_nr_class(model), 3);
    int labels[3];
    svm_get_labels(model, labels);
    EXPECT_EQ(labels[0], 1);
    EXPECT_EQ(labels[1], 2);
    EXPECT_EQ(labels[2], 3);
    // Three classes: a vector per class, or per pair, one for each class.
    for (int c = 0; c < 3; ++c) EXPECT_EQ(model->nSV[c], 1) << MulticlassName(multiclass);
    EXPECT_EQ(report_.supportVectors, 3);
    EXPECT_NE(svm_check_probability_model(model), 0);
    EXPECT_EQ(svm_get_svm_type(model), C_SVC);
    svm_free_and_destroy_model(&model);
  }
}

TEST_F(TrainerTest, SameCorpusAndOptionsGiveByteIdenticalFiles) {
  ReadGenerated(GeneratedCorpus());
  // Whatever the number of folds trained at once, also for the solvers
  // that shuffle with the C library's generator.
  for (Solver solver : {Solver::kL2SvmDual, Solver::kLogistic, Solver::kCrammerSinger,
                        Solver::kLibsvm, Solver::kL1SvmDual}) {
    TrainerOptions options = SmallGrid();
    options.solver = solver;
    // The last one's pairs shuffle too.
    if (solver == Solver::kL1SvmDual) options.multiclass = Multiclass::kOneVsOne;
    options.jobs = 1;
    const std::string first = Train(options, "first");
    options.jobs = 3;
    const std::string second = Train(options, "second");
    EXPECT_EQ(ReadFile(first + kSourceFileName), ReadFile(second + kSourceFileName));
    EXPECT_EQ(ReadFile(first + kModelFileName), ReadFile(second + kModelFileName))
        << SolverName(solver);
    EXPECT_EQ(ReadFile(first + kConfidenceFileName), ReadFile(second + kConfidenceFileName));
    EXPECT_FALSE(ReadFile(first + kModelFileName).empty());
  }
}

TEST_F(TrainerTest, ClassWeightsScaleTheirClassesCosts) {
  ReadGenerated(GeneratedCorpus());
  const std::string first = corpus_.classNamesUtf8[0];
  for (Solver solver : {Solver::kL2SvmDual, Solver::kLibsvm}) {
    TrainerOptions options = SmallGrid();
    options.costs = {1};
    options.solver = solver;
    const std::string plain = ReadFile(Train(options, "plain") + kModelFileName);
    options.classWeightPowers = {1.0};
    const std::string balanced = ReadFile(Train(options, "balanced") + kModelFileName);
    // A factor of 1 changes nothing, on top of a weighting or without one;
    // another factor changes the model.
    options.classWeights = {{first, 1.0}};
    EXPECT_EQ(ReadFile(Train(options, "balanced-1") + kModelFileName), balanced);
    options.classWeightPowers = {0.0};
    EXPECT_EQ(ReadFile(Train(options, "plain-1") + kModelFileName), plain) << SolverName(solver);
    options.classWeights = {{first, 40.0}};
    EXPECT_NE(ReadFile(Train(options, "heavy") + kModelFileName), plain) << SolverName(solver);
  }
  TrainerOptions options = SmallGrid();
  options.classWeights = {{"no such class", 2.0}};
  Trainer trainer(corpus_, options, &progress_);
  const Status refused = trainer.Train(dir_.path() + "/refused.", &report_);
  EXPECT_EQ(refused.code(), Status::Code::kInvalidArgument);
  EXPECT_NE(refused.message().find("\"no such class\""), std::string::npos) << refused.message();
}

TEST_F(TrainerTest, GridReportsEveryPointAndTakesTheBest) {
  ReadGenerated(GeneratedCorpus());
  TrainerOptions options = SmallGrid();
  options.featureCounts = {4, 8, 100000};
  options.costs = {0.01, 1};
  Train(options);
  ASSERT_EQ(report_.grid.size(), 6u);
  double best = 0.0;
  for (const auto& point : report_.grid) best = std::max(best, point.accuracy);
  EXPECT_EQ(report_.crossValidationAccuracy, best);
  // A k beyond the ranking means every ranked unit.
  EXPECT_EQ(report_.grid.back().features, report_.rankedUnits);
  EXPECT_EQ(report_.documents, 60u);
  EXPECT_EQ(report_.classes, 3u);
  EXPECT_EQ(report_.searchedDocuments, 60u);

  // A search on a part of the corpus scores that part alone (this corpus
  // is separable: the documents outside it would count as wrong), and the
  // final model still ranks the words of every document.
  const std::size_t everyUnit = report_.rankedUnits;
  options.searchDocuments = 30;
  Train(options, "part");
  EXPECT_EQ(report_.searchedDocuments, 30u);
  EXPECT_GT(report_.crossValidationAccuracy, 0.9);
  EXPECT_EQ(report_.rankedUnits, everyUnit);
}

TEST_F(TrainerTest, DocumentsLeftWithoutFeaturesCountAsWrongInCrossValidation) {
  ReadGenerated(GeneratedCorpus());
  TrainerOptions options = SmallGrid();
  options.featureCounts = {1, 3, 0};
  options.costs = {1};
  Train(options);
  // One word leaves two classes without any document: no grid point.
  EXPECT_EQ(report_.skippedFeatureCounts, std::vector<std::size_t>{1});
  ASSERT_EQ(report_.skippedForClass.size(), 1u);
  EXPECT_EQ(std::count(corpus_.classNamesUtf8.begin(), corpus_.classNamesUtf8.end(),
                       report_.skippedForClass[0]),
            1);
  ASSERT_EQ(report_.grid.size(), 2u);
  // Three words leave many documents without a feature; over the documents
  // that keep one, they would look nearly perfect.
  EXPECT_EQ(report_.grid[0].features, 3u);
  EXPECT_LT(report_.grid[0].accuracy, 0.8);
  EXPECT_GT(report_.grid[1].accuracy, 0.9);
  EXPECT_EQ(report_.selectedUnits, report_.rankedUnits);
}

TEST_F(TrainerTest, VocabularyScopeDecidesWhatIsCountedNotWhatIsMapped) {
  ReadGenerated(GeneratedCorpus());
  TrainerOptions options = SmallGrid();
  options.featureCounts = {6};

  options.vocabulary = VocabularyScope::kSelected;
  SourceFileContents selected = ReadContents(Train(options, "selected") + kSourceFileName);
  EXPECT_EQ(selected.vocabulary.size(), 6u);
  EXPECT_EQ(selected.termMap.size(), 6u);

  options.vocabulary = VocabularyScope::kFull;
  const std::string fullPrefix = Train(options, "full");
  SourceFileContents full = ReadContents(fullPrefix + kSourceFileName);
  EXPECT_EQ(full.vocabulary.size(), report_.rankedUnits);
  EXPECT_EQ(full.termMap.size(), 6u);
  // The selected words come first, with the same numbers in both.
  EXPECT_TRUE(std::equal(selected.vocabulary.begin(), selected.vocabulary.end(),
                         full.vocabulary.begin()));
  EXPECT_GT(full.averageDocLength, selected.averageDocLength);

  // With the full vocabulary a document that holds unselected known words
  // gets a vector shorter than unit length.
  SourceData sourceData;
  ASSERT_TRUE(sourceData.Load(fullPrefix).ok());
  std::size_t shorter = 0;
  for (const auto& document : corpus_.documents) {
    const FeatureVector features = ReferenceFeatures(sourceData, document.words).features;
    double squares = 0.0;
    for (const auto& [feature, weight] : features) {
      EXPECT_LE(feature, 6);
      squares += weight * weight;
    }
    EXPECT_LE(squares, 1.0 + 1e-12);
    shorter += !features.empty() && squares < 0.99;
  }
  EXPECT_GT(shorter, 0u);
}

TEST_F(TrainerTest, SynonymsAddVariantWeightsIntoTheCanonicalFeature) {
  GeneratedCorpus generated;
  ReadGenerated(generated);
  TrainerOptions options = SmallGrid();
  options.featureCounts = {0};
  // Two topic words of the first class become variants of a new canonical
  // word that no document holds.
  const std::string variantA = corpus_.documents[2].words[0];
  std::string variantB;
  for (const auto& document : corpus_.documents) {
    for (const auto& word : document.words) {
      if (word != variantA && word.substr(0, 4) == variantA.substr(0, 4) && word.size() == variantA.size()) {
        variantB = word;
      }
    }
  }
  ASSERT_FALSE(variantB.empty());
  const std::string canonical = "\xBA\xCF";  // 合
  options.synonyms = {{variantA, canonical}, {variantB, canonical}};
  const std::string prefix = Train(options);
  SourceFileContents contents = ReadContents(prefix + kSourceFileName);
  std::map<std::string, std::string> termMap(contents.termMap.begin(), contents.termMap.end());
  EXPECT_EQ(termMap.at(variantA), canonical);
  EXPECT_EQ(termMap.at(variantB), canonical);
  EXPECT_EQ(termMap.at(canonical), canonical);  // so its own weight adds up too

  SourceData sourceData;
  ASSERT_TRUE(sourceData.Load(prefix).ok());
  const std::int32_t feature = *sourceData.wordIndexTable.Find(canonical);
  const FeatureVector both = ReferenceFeatures(sourceData, {variantA, variantB}).features;
  ASSERT_EQ(both.size(), 1u);
  EXPECT_EQ(both.begin()->first, feature);
  EXPECT_GT(both.begin()->second, 1.0);  // two unit-length halves summed
  // The same from the trainer's word counts, with both in one document.
  corpus_.documents.push_back({0, {variantB, variantA, variantB}, 0, {}});
  CountWordLists(&corpus_);
  ExpectClassificationVectors(prefix);
}

TEST_F(TrainerTest, RejectsCorporaTheLibraryCannotAnswerFor) {
  Corpus corpus;
  corpus.path = "c.tsv";
  corpus.classNamesUtf8 = {"01 a", "02 a"};
  corpus.classNamesGbk = corpus.classNamesUtf8;
  EXPECT_EQ(CheckClassNames(corpus).message(),
            "c.tsv: classes \"01 a\" and \"02 a\" would both be answered with the same name");
  corpus.classNamesUtf8 = corpus.classNamesGbk = {"NULL", "b"};
  EXPECT_EQ(CheckClassNames(corpus).message(), "c.tsv: the class name \"NULL\" is reserved");
  corpus.classNamesUtf8 = corpus.classNamesGbk = {};
  for (int c = 0; c < 37; ++c) corpus.classNamesGbk.push_back("c" + std::to_string(c));
  corpus.classNamesUtf8 = corpus.classNamesGbk;
  EXPECT_EQ(CheckClassNames(corpus).code(), Status::Code::kInvalidArgument);
  EXPECT_EQ(CheckClassNames(corpus).message(), "c.tsv: 37 classes; the library names at most 36");
  corpus.classNamesGbk.pop_back();
  corpus.classNamesUtf8.pop_back();
  EXPECT_TRUE(testing::IsOk(CheckClassNames(corpus)));

  ReadGenerated(GeneratedCorpus{{"甲"}, 5});
  Trainer trainer(corpus_, SmallGrid(), &progress_);
  EXPECT_EQ(trainer.Train(dir_.path() + "/one.", &report_).message(),
            dir_.path() + "/corpus.tsv: one class only (\"甲\"); a model needs two or more");

  TrainerOptions rareWords = SmallGrid();
  rareWords.minDocumentFrequency = 1000;
  ReadGenerated(GeneratedCorpus());
  Trainer strict(corpus_, rareWords, &progress_);
  const Status refused = strict.Train(dir_.path() + "/strict.", &report_);
  EXPECT_EQ(refused.code(), Status::Code::kInvalidArgument);
  EXPECT_EQ(refused.message(), "no content word occurs in 1000 or more documents");
}

TEST_F(TrainerTest, StopWordsNeverEnterTheVocabulary) {
  GeneratedCorpus generated;
  std::string text = generated.Text();
  // Punctuation and numbers in every document, a stop word in many.
  const std::string added = " ， 2024 。";
  for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos;) {
    text.insert(at, added);
    at += added.size() + 1;
  }
  const std::string path = dir_.path() + "/corpus.tsv";
  WriteFile(path, text);
  ASSERT_TRUE(testing::IsOk(ReadCorpus(path, CorpusEncoding::kUtf8, &corpus_)));
  TrainerOptions options = SmallGrid();
  options.featureCounts = {0};
  options.stopWords.SetStopNonContent(true);
  options.stopWords.Add("\xB5\xC4");  // 的
  const std::string prefix = Train(options);
  const SourceFileContents contents = ReadContents(prefix + kSourceFileName);
  for (const std::string& word : contents.vocabulary) {
    EXPECT_FALSE(options.stopWords.Stops(word)) << word;
  }
  EXPECT_EQ(report_.stoppedUnits, 4u);  // ， 2024 。 的
  EXPECT_EQ(report_.rankedUnits, contents.vocabulary.size());
}

TEST_F(TrainerTest, FoldsAreStratifiedAndReproducible) {
  ReadGenerated(GeneratedCorpus{{"甲", "乙", "丙"}, 7});
  const std::vector<int> folds = AssignFolds(corpus_, 3, 1);
  EXPECT_EQ(folds, AssignFolds(corpus_, 3, 1));
  EXPECT_NE(folds, AssignFolds(corpus_, 3, 2));
  std::vector<std::vector<int>> perFoldAndClass(3, std::vector<int>(3, 0));
  for (std::size_t i = 0; i < folds.size(); ++i) {
    ++perFoldAndClass[folds[i]][corpus_.documents[i].classIndex];
  }
  std::vector<int> foldSizes(3, 0);
  for (int f = 0; f < 3; ++f) {
    for (int c = 0; c < 3; ++c) {
      EXPECT_GE(perFoldAndClass[f][c], 2);  // 7 documents of a class over 3 folds
      EXPECT_LE(perFoldAndClass[f][c], 3);
      foldSizes[f] += perFoldAndClass[f][c];
    }
  }
  EXPECT_EQ(foldSizes, (std::vector<int>{7, 7, 7}));

  // Each fold holds out its own documents and trains on all the others.
  const std::vector<FoldDocuments> split = SplitIntoFolds(folds, 3);
  ASSERT_EQ(split.size(), 3u);
  for (int f = 0; f < 3; ++f) {
    std::vector<std::size_t> all = split[f].trainingDocuments;
    all.insert(all.end(), split[f].heldOutDocuments.begin(), split[f].heldOutDocuments.end());
    std::sort(all.begin(), all.end());
    std::vector<std::size_t> corpus(folds.size());
    for (std::size_t i = 0; i < corpus.size(); ++i) corpus[i] = i;
    EXPECT_EQ(all, corpus) << "fold " << f << ": not disjoint, or not the whole corpus";
    for (std::size_t i : split[f].heldOutDocuments) EXPECT_EQ(folds[i], f);
  }

  // A limit deals out each class's share of it (rounded up), the same
  // documents for the same seed; the others are in no fold.
  EXPECT_EQ(AssignFolds(corpus_, 3, 1, 21), folds);
  const std::vector<int> sample = AssignFolds(corpus_, 3, 1, 10);
  EXPECT_EQ(sample, AssignFolds(corpus_, 3, 1, 10));
  std::vector<int> perClass(3, 0);
  for (std::size_t i = 0; i < sample.size(); ++i) {
    if (sample[i] >= 0) ++perClass[corpus_.documents[i].classIndex];
  }
  EXPECT_EQ(perClass, (std::vector<int>{4, 4, 4}));  // ceil(7 * 10 / 21)
  std::size_t inFolds = 0;
  for (const FoldDocuments& fold : SplitIntoFolds(sample, 3)) {
    inFolds += fold.heldOutDocuments.size();
    EXPECT_EQ(fold.trainingDocuments.size(), 8u);
  }
  EXPECT_EQ(inFolds, 12u);
}

TEST_F(TrainerTest, ShuffledLabelsCrossValidateNearChance) {
  // Every document has a word of its own: a held-out document that leaked
  // into its fold's training would be recognised by it.
  std::mt19937 random(11);
  const char* const kClasses[] = {"甲", "乙", "丙"};
  std::string text;
  for (int d = 0; d < 90; ++d) {
    text += std::string(kClasses[random() % 3]) + "\t";
    for (int i = 0; i < 5; ++i) text += "词" + std::to_string(random() % 40) + " ";
    text += "独" + std::to_string(d) + "\n";
  }
  WriteFile(dir_.path() + "/corpus.tsv", text);
  ASSERT_TRUE(testing::IsOk(ReadCorpus(dir_.path() + "/corpus.tsv", CorpusEncoding::kUtf8, &corpus_)));
  TrainerOptions options = SmallGrid();
  options.featureCounts = {0};
  Train(options);
  EXPECT_LT(report_.crossValidationAccuracy, 0.55);
}

TEST_F(TrainerTest, WritesTheCalibratedConfidenceThreshold) {
  ReadGenerated(GeneratedCorpus());
  TrainerOptions options = SmallGrid();
  options.unknownShare = 0.1;
  options.highestThreshold = 1.0;
  const std::string prefix = Train(options);
  ConfidenceSettings settings;
  ASSERT_TRUE(testing::IsOk(ReadConfidenceFile(prefix, &settings)));
  EXPECT_NEAR(settings.minConfidence, report_.minConfidence, 1e-6);
  EXPECT_GT(report_.minConfidence, 0.0);
  EXPECT_LT(report_.minConfidence, 1.0);
  // At most the share asked for, and not far below it: 60 documents, 6 allowed.
  EXPECT_LE(report_.flaggedShare, 0.1);
  EXPECT_GE(report_.flaggedShare, 0.05);

  options.unknownShare = 0.0;
  options.featureCounts = {0};  // no document without a feature
  Train(options, "none");
  EXPECT_EQ(report_.flaggedShare, 0.0);
}

// Pairs of documents of one word each, the two of a pair in opposite
// classes: held out, a document is answered confidently with its partner's
// class, which the calibration learns to turn round; a model that trained
// on the document itself has the pair's word for both classes and cannot
// tell.  So the threshold stays high only while every document's
// probabilities come from a fold that held it out.
TEST_F(TrainerTest, CalibratesOnHeldOutPredictionsOnly) {
  std::string text;
  for (int pair = 0; pair < 30; ++pair) {
    for (const char* label : {"甲", "乙"}) {
      text += std::string(label) + "\t词" + std::to_string(pair) + "\n";
    }
  }
  WriteFile(dir_.path() + "/corpus.tsv", text);
  ASSERT_TRUE(testing::IsOk(ReadCorpus(dir_.path() + "/corpus.tsv", CorpusEncoding::kUtf8, &corpus_)));
  for (Solver solver : {Solver::kL2SvmDual, Solver::kLibsvm}) {
    TrainerOptions options = SmallGrid();
    options.featureCounts = {0};
    options.costs = {1};
    options.solver = solver;
    options.unknownShare = 0.5;
    options.highestThreshold = 1.0;
    Train(options);
    // Held out, above 0.96; on probabilities of models that trained on the
    // documents, about 0.71.
    EXPECT_GT(report_.minConfidence, 0.9) << SolverName(solver);
    EXPECT_FALSE(report_.thresholdCapped);

    // Documents so sure of their answers give no threshold above the highest.
    options.highestThreshold = TrainerOptions().highestThreshold;
    const std::string prefix = Train(options, SolverName(solver));
    EXPECT_EQ(report_.minConfidence, 0.65);
    EXPECT_TRUE(report_.thresholdCapped);
    ConfidenceSettings settings;
    ASSERT_TRUE(testing::IsOk(ReadConfidenceFile(prefix, &settings)));
    EXPECT_EQ(settings.minConfidence, 0.65);
  }
}

TEST_F(TrainerTest, HeldOutCalibrationTakesOnePointAndOneFold) {
  ReadGenerated(GeneratedCorpus());
  TrainerOptions options = SmallGrid();
  options.heldOut = true;
  options.unknownShare = 0.1;
  Trainer twoCosts(corpus_, options, &progress_);
  EXPECT_EQ(twoCosts.Train(dir_.path() + "/refused.", &report_).code(),
            Status::Code::kInvalidArgument);

  options.featureCounts = {0};
  options.costs = {4};
  const std::string prefix = Train(options);
  ASSERT_EQ(report_.grid.size(), 1u);
  EXPECT_EQ(report_.cost, 4.0);
  EXPECT_EQ(report_.selectedUnits, report_.rankedUnits);
  EXPECT_GT(report_.crossValidationAccuracy, 0.9);
  // The threshold flags a share of the held-out third (20 documents): 2 at most.
  EXPECT_GT(report_.minConfidence, 0.0);
  EXPECT_LE(report_.flaggedShare, 0.1);
  ConfidenceSettings settings;
  ASSERT_TRUE(testing::IsOk(ReadConfidenceFile(prefix, &settings)));
  EXPECT_NEAR(settings.minConfidence, report_.minConfidence, 1e-6);
}

TEST(InverseDocumentFrequencyTest, IsFiniteAndAtLeastOne) {
  EXPECT_DOUBLE_EQ(InverseDocumentFrequency(9, 9), 1.0);
  EXPECT_DOUBLE_EQ(InverseDocumentFrequency(9, 0), std::log(10.0) + 1.0);
  EXPECT_DOUBLE_EQ(InverseDocumentFrequency(9, 4), std::log(2.0) + 1.0);
}

}  // namespace
}  // namespace wenlei
