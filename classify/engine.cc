#include "classify/engine.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>
#include <thread>

#include "decide/class_decision.h"
#include "decide/confidence.h"
#include "source/class_names.h"
#include "source/confidence_file.h"
#include "source/metadata_file.h"
#include "svm.h"
#include "text/content_word.h"
#include "text/gbk_converter.h"
#include "text/gbk_form.h"
#include "text/utf8.h"
#include "util/file_bytes.h"
#include "util/number_text.h"
#include "util/private_copy.h"
#include "util/process_lock.h"
#include "util/sha256.h"
#include "vectorise/document_features.h"
#include "vectorise/document_vector.h"

namespace wenlei {
namespace {

using Code = Status::Code;

// The converter holds no state, so one serves every thread.
constexpr GbkConverter kConverter;

// The bytes of one file of the set, read once, and whether they have the
// digest the set's metadata records (when it records one).
Status ReadSetFile(const std::string& path, const std::string& recorded, std::string* bytes,
                   bool* matches, std::uint64_t limit = UINT64_MAX) {
  Status read = ReadFileBytes(path, bytes, PathBytes::kUtf8, limit);
  if (!read.ok()) return read;
  *matches = recorded.empty() || Sha256Hex(*bytes) == recorded;
  return Status::Ok();
}

// A word as it is, a run of characters in corner brackets: 「单元」.
void AppendFeatureName(std::string_view feature, std::string* utf8) {
  const std::optional<std::string_view> run = CharacterRunOf(feature);
  if (!run) {
    kConverter.AppendUtf8(feature, utf8);
    return;
  }
  *utf8 += "\xE3\x80\x8C";
  kConverter.AppendUtf8(*run, utf8);
  *utf8 += "\xE3\x80\x8D";
}

// A set being retrained changes file by file; a few tries bridge that.
constexpr int kGenerationAttempts = 8;

}  // namespace

Status Engine::Open(const std::string& directory, const EngineOptions& options,
                    std::unique_ptr<Engine>* engine) {
  if (directory.empty()) return Status(Code::kInvalidArgument, "no resource directory given");
  // Negative asks for the set's own threshold; NaN and numbers above 1
  // cannot be a confidence.
  if (std::isnan(options.minConfidence) || options.minConfidence > 1.0) {
    return Status(Code::kInvalidArgument,
                  "the minimum confidence must be from 0 to 1 (or negative for the resource "
                  "set's own threshold)");
  }
  std::string why;
  for (int attempt = 1;; ++attempt) {
    bool oneGeneration = true;
    Status opened = OpenOneGeneration(directory, options, engine, &oneGeneration, &why);
    if (oneGeneration) return opened;
    if (attempt == kGenerationAttempts) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(5 << attempt, 200)));
  }
  return Status(Code::kMismatch, "the resource set in " + directory + " does not match its " +
                                     kMetadataFileName + " (" + why + ", " +
                                     std::to_string(kGenerationAttempts) +
                                     " tries): it is being replaced, or a file was changed by "
                                     "hand; retrain the set or remove " + kMetadataFileName);
}

Status Engine::OpenOneGeneration(const std::string& directory, const EngineOptions& options,
                                 std::unique_ptr<Engine>* engine, bool* oneGeneration,
                                 std::string* why) {
  std::unique_ptr<Engine> opened(new Engine());
  const std::string prefix = JoinPath(directory, "");

  // The metadata file, when the set has one, names the digests of the files
  // that belong together; the files' bytes are checked against them before
  // they are parsed, so a handle never holds parts of two training runs.
  SetMetadata metadata;
  Status described = ReadMetadataFile(prefix, &metadata);
  if (!described.ok() && described.code() != Code::kNotFound) return described;

  const std::string sourcePath = prefix + kSourceFileName;
  std::string bytes;
  Status read = ReadSetFile(sourcePath, metadata.sourceSha256, &bytes, oneGeneration);
  if (!read.ok() || !*oneGeneration) {
    *why = std::string(kSourceFileName) + " differs from the digest recorded";
    return read;
  }
#if defined(_WIN32)
  // No memory streams there: the checked bytes are read from a private copy.
  std::unique_ptr<PrivateCopy> copy;
  if (!bytes.empty()) {
    if (Status made = PrivateCopy::Make(bytes, &copy); !made.ok()) return made;
  }
  std::FILE* sourceFile = copy == nullptr ? nullptr : OpenFile(copy->path(), "rb");
  if (copy != nullptr && sourceFile == nullptr) {
    return Status(Code::kIoError, "cannot read the private copy of " + sourcePath);
  }
#else
  std::FILE* sourceFile = bytes.empty() ? nullptr : fmemopen(bytes.data(), bytes.size(), "rb");
  if (!bytes.empty() && sourceFile == nullptr) return Status(Code::kNoMemory, "out of memory");
#endif
  // (fmemopen takes no empty buffer; an empty file is refused by Load.)
  const Status loaded = sourceFile != nullptr ? opened->sourceData_.LoadFrom(sourceFile, prefix)
                                              : opened->sourceData_.Load(prefix);
  if (sourceFile != nullptr) std::fclose(sourceFile);
  if (!loaded.ok()) return loaded;
  std::string().swap(bytes);

  const std::string modelPath = prefix + kModelFileName;
  std::string text;
  read = ReadSetFile(modelPath, metadata.modelSha256, &text, oneGeneration);
  if (!read.ok() || !*oneGeneration) {
    *why = std::string(kModelFileName) + " differs from the digest recorded";
    return read;
  }
  // libsvm loads a private copy of the bytes checked.
  if (Status loadedModel = LoadedModel::Load(modelPath, text, &opened->model_); !loadedModel.ok()) {
    return loadedModel;
  }

  for (const auto& [number, name] : opened->sourceData_.classTable) {
    if (number < 0) continue;
    if (static_cast<std::size_t>(number) >= opened->displayNamesGbk_.size()) {
      opened->displayNamesGbk_.resize(static_cast<std::size_t>(number) + 1);
      opened->displayNamesUtf8_.resize(static_cast<std::size_t>(number) + 1);
      opened->labelsUtf8_.resize(static_cast<std::size_t>(number) + 1);
    }
    kConverter.AppendUtf8(name, &opened->labelsUtf8_[number]);
    opened->displayNamesGbk_[number] = WithoutTag(name);
    kConverter.AppendUtf8(opened->displayNamesGbk_[number],
                          &opened->displayNamesUtf8_[number]);
    if (number >= 1) ++opened->classCount_;
  }
  kConverter.AppendUtf8(ShortTextMessage(), &opened->shortTextUtf8_);

  if (Status named = opened->TakeMetadata(metadata, directory); !named.ok()) return named;
  opened->index_ = std::make_unique<VocabularyIndex>(opened->sourceData_);
  const FeatureSet& reads = opened->index_->featuresRead();
  if (!metadata.reads.empty() && metadata.reads != FeatureSetName(reads)) {
    return Status(Code::kMismatch, "the resource set in " + directory + " does not fit together: " +
                                       kMetadataFileName + " says it reads " + metadata.reads + ", " +
                                       kSourceFileName + " that it reads " + FeatureSetName(reads));
  }
  for (const auto& entry : opened->sourceData_.wordIndexTable) {
    opened->featureCount_ = std::max(opened->featureCount_, static_cast<std::size_t>(std::max(entry.second, 0)));
  }
  // Before anything sized by feature numbers: the model may claim any.
  Status fits = opened->CheckFit(directory);
  if (!fits.ok()) return fits;
  opened->model_->PrepareLinearPrediction(static_cast<int>(opened->featureCount_));

  // A negative threshold asks for the one chosen when the set was trained;
  // a set without a confidence file flags nothing.
  opened->minConfidence_ = options.minConfidence;
  if (opened->minConfidence_ < 0.0) {
    ConfidenceSettings stored;
    const std::string confidencePath = prefix + kConfidenceFileName;
    Status threshold = ReadSetFile(confidencePath, metadata.confidenceSha256, &text, oneGeneration,
                                   kMaxConfidenceBytes);
    if (threshold.code() == Code::kNotFound && !metadata.confidenceSha256.empty()) *oneGeneration = false;
    if (!*oneGeneration) {
      *why = std::string(kConfidenceFileName) + " differs from the digest recorded";
      return Status::Ok();
    }
    if (threshold.ok()) threshold = ParseConfidenceFile(text, confidencePath, &stored);
    if (threshold.ok()) {
      opened->minConfidence_ = stored.minConfidence;
    } else if (threshold.code() == Code::kNotFound) {
      opened->minConfidence_ = 0.0;
    } else {
      return Status(Code::kCorrupt, threshold.message());
    }
  }
  opened->maxDocumentBytes_ = options.maxDocumentBytes;
  opened->dictionaryPath_ = options.dictionaryPath;
  opened->CheckDictionary(metadata, options.dictionaryPath);
  *engine = std::move(opened);
  return Status::Ok();
}

Status Engine::CheckFit(const std::string& directory) const {
  auto mismatch = [&directory](const std::string& why) {
    return Status(Code::kMismatch, "the resource set in " + directory + " does not fit together: " + why);
  };
  const LoadedModel& model = *model_;
  if (model.svmType() != kSvmTypeCSvc && model.svmType() != kSvmTypeNuSvc) {
    return mismatch("the model does not classify (svm_type is not c_svc or nu_svc)");
  }
  if (!model.hasProbability()) return mismatch("the model has no probability estimates (probA, probB)");
  const std::vector<int>& labels = model.labels();
  for (std::size_t i = 0; i < labels.size(); ++i) {
    if (labels[i] != static_cast<int>(i + 1)) {
      return mismatch("the model's labels are not 1 to " + std::to_string(labels.size()) +
                      " in order (label " + std::to_string(i + 1) + " is " +
                      std::to_string(labels[i]) + ")");
    }
  }
  // Class numbers 1..n must all be named, as the answers look them up by
  // position.
  for (std::size_t number = 1; number <= classCount_; ++number) {
    if (number >= displayNamesGbk_.size() || sourceData_.classTable.Find(static_cast<std::int32_t>(number)) == nullptr) {
      return mismatch("Source.dat does not name class " + std::to_string(number));
    }
  }
  if (labels.size() != classCount_) {
    return mismatch("the model has " + std::to_string(labels.size()) + " classes, Source.dat names " +
                    std::to_string(classCount_));
  }
  const std::int32_t largestKnown = static_cast<std::int32_t>(featureCount_);
  if (model.largestFeature() > largestKnown) {
    return mismatch("the model uses feature " + std::to_string(model.largestFeature()) +
                    ", the vocabulary ends at " + std::to_string(largestKnown));
  }
  return Status::Ok();
}

const std::string& Engine::ClassName(std::size_t number) const {
  static const std::string kNone;
  if (number < 1 || number > classCount_ || number >= displayNamesUtf8_.size()) return kNone;
  return displayNamesUtf8_[number];
}

const std::string& Engine::ClassLabel(std::size_t number) const {
  static const std::string kNone;
  if (number < 1 || number > classCount_ || number >= labelsUtf8_.size()) return kNone;
  return labelsUtf8_[number];
}

Status Engine::TakeMetadata(const SetMetadata& metadata, const std::string& directory) {
  trainedWith_ = metadata.trainer;
  if (metadata.classNames.empty()) return Status::Ok();  // a set from before full names
  // The two doors must answer alike: the exports answer Source.dat's names,
  // this interface the metadata's, so these must be the names the trainer
  // made Source.dat's from.
  auto mismatch = [&directory](const std::string& why) {
    return Status(Code::kMismatch, "the resource set in " + directory + " does not fit together: " +
                                       kMetadataFileName + " " + why);
  };
  std::vector<std::string> fullNames(classCount_);
  std::vector<std::string> fullNamesGbk(classCount_);
  for (const auto& [number, name] : metadata.classNames) {
    if (number < 1 || static_cast<std::size_t>(number) > classCount_) {
      return mismatch("names class " + std::to_string(number) + "; Source.dat has classes 1 to " +
                      std::to_string(classCount_));
    }
    for (const auto& other : fullNames) {
      if (other == name) return mismatch("names two classes \"" + name + "\"");
    }
    fullNames[number - 1] = name;
    if (kConverter.AppendGbk(name, &fullNamesGbk[number - 1]) > 0) {
      return mismatch("names class " + std::to_string(number) + " \"" + name +
                      "\", which GBK cannot encode");
    }
  }
  const std::vector<std::string> shortNames = ShortClassNames(fullNamesGbk);
  const std::string* previousLong = nullptr;
  for (std::size_t number = 1; number <= classCount_; ++number) {
    const std::string* stored = sourceData_.classTable.Find(static_cast<std::int32_t>(number));
    const std::string& name = fullNames[number - 1];
    if (name.empty()) return mismatch("does not name class " + std::to_string(number));
    if (stored == nullptr || *stored != shortNames[number - 1]) {
      return mismatch("names class " + std::to_string(number) + " \"" + name +
                      "\", which is not the class Source.dat names " + std::to_string(number));
    }
    // Long names that begin alike get their short forms by class number
    // alone, so two of them swapped would still give Source.dat's forms.
    // The trainer numbers classes in the byte order of their names: long
    // names out of that order are not the ones it stored.
    if (fullNamesGbk[number - 1] == shortNames[number - 1]) continue;
    if (previousLong != nullptr && !(*previousLong < name)) {
      return mismatch("names class " + std::to_string(number) + " \"" + name + "\" after \"" +
                      *previousLong + "\": long names out of their byte order, which is not "
                      "how the trainer numbers classes (names swapped?)");
    }
    previousLong = &name;
  }
  // A name that Source.dat holds whole keeps the tag rule of the exports'
  // answers; a long one is the user's own name, spaces and all, since its
  // short form carries no tag.
  for (std::size_t number = 1; number <= classCount_; ++number) {
    const std::string& name = fullNames[number - 1];
    displayNamesUtf8_[number] = fullNamesGbk[number - 1] == shortNames[number - 1] ? WithoutTag(name) : name;
    labelsUtf8_[number] = name;
  }
  fullNames_ = true;
  return Status::Ok();
}

void Engine::CheckDictionary(const SetMetadata& metadata, const std::string& dictionaryPath) {
  const std::string& trained = metadata.dictionarySha256;
  if (trained.empty() || dictionaryPath.empty()) return;
  std::string used;
  const Status digested = RememberedDigest(dictionaryPath, &used);
  std::string described = "dictionary sha256 " + trained;
  if (digested.ok() && used == trained) {
    trainedWith_ += (trainedWith_.empty() ? "" : "; ") + described;
    return;
  }
  described += ", segmenting with " + (digested.ok() ? "sha256 " + used : std::string("(unreadable)"));
  trainedWith_ += (trainedWith_.empty() ? "" : "; ") + described;
  warning_ = "the set was trained with another segmentation dictionary (sha256 " + trained +
             ") than " + dictionaryPath + " (" +
             (digested.ok() ? "sha256 " + used : digested.message()) +
             "): text may be cut into other words than in training";
}

std::size_t Engine::ClassNumber(std::string_view name) const {
  for (std::size_t number = 1; number <= classCount_; ++number) {
    if (ClassName(number) == name) return number;
  }
  return 0;
}

Status Engine::Explain(const ClassificationResult& result, Explanation* explanation,
                       bool contentOnly) const {
  *explanation = Explanation();
  if (result.ranking.size() < 2 || result.knownTerms.empty()) return Status::Ok();
  const std::vector<KnownTerm>& terms = result.knownTerms;
  SparseFeatures documentFeatures;
  std::vector<std::pair<std::size_t, std::int32_t>> sources;
  MapTermsToFeatures(terms, *index_, &documentFeatures, &sources);
  std::vector<int> features;
  std::vector<svm_node> nodes;
  std::map<std::int32_t, double> valueOf;  // as the model read it
  for (const auto& [feature, weight] : documentFeatures) {
    features.push_back(feature);
    nodes.push_back(svm_node{feature, RoundToSixSignificantDigits(weight)});
    valueOf[feature] = nodes.back().value;
  }
  nodes.push_back(svm_node{-1, 0.0});
  const int answer = result.ranking[0].number - 1;
  const int runnerUp = result.ranking[1].number - 1;
  std::vector<double> pairWeights;
  Status weighed = model_->LinearPairWeights(answer, runnerUp, features, &pairWeights,
                                             &explanation->constant);
  if (!weighed.ok()) return weighed;
  std::map<std::int32_t, double> pairWeightOf;
  for (std::size_t k = 0; k < features.size(); ++k) pairWeightOf[features[k]] = pairWeights[k];
  // A feature fed by several words: each takes the share of its own weight.
  std::map<std::int32_t, double> fedWeight;
  for (const auto& [term, feature] : sources) fedWeight[feature] += terms[term].weight;
  for (const auto& [term, feature] : sources) {
    const double fed = fedWeight[feature];
    const double share = fed == 0.0 ? 0.0 : terms[term].weight / fed;
    WordContribution word{"", valueOf[feature] * pairWeightOf[feature] * share};
    const std::string_view gbk = index_->Word(terms[term].number);
    if (contentOnly && !IsGbkContentWord(gbk)) {
      explanation->constant += word.contribution;
      continue;
    }
    AppendFeatureName(gbk, &word.word);
    explanation->words.push_back(std::move(word));
  }
  std::stable_sort(explanation->words.begin(), explanation->words.end(),
                   [](const WordContribution& a, const WordContribution& b) {
                     return std::abs(a.contribution) > std::abs(b.contribution);
                   });
  explanation->decisionValue = model_->PairDecisionValue(nodes.data(), answer, runnerUp);
  return Status::Ok();
}

Status Engine::CheckSize(std::size_t bytes) const {
  if (maxDocumentBytes_ != 0 && bytes > maxDocumentBytes_) {
    return Status(Code::kTooLarge, "the document has " + std::to_string(bytes) +
                                       " bytes, more than the limit of " +
                                       std::to_string(maxDocumentBytes_));
  }
  return Status::Ok();
}

Status Engine::ClassifyGbkWords(const std::vector<std::string_view>& words,
                                ClassificationResult* result) const {
  std::size_t bytes = 0;
  for (std::string_view word : words) bytes += word.size();
  Status size = CheckSize(bytes);
  if (!size.ok()) return size;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (auto bad = FindMalformedGbk(words[i])) {
      return Status(Code::kBadEncoding, "word " + std::to_string(i + 1) +
                                            " is not GBK (invalid byte at offset " +
                                            std::to_string(*bad) + ")");
    }
  }
  *result = ClassificationResult();
  return Decide(words, result);
}

Status Engine::ClassifyUtf8Words(const std::vector<std::string_view>& words,
                                 ClassificationResult* result) const {
  std::size_t bytes = 0;
  for (std::string_view word : words) bytes += word.size();
  Status size = CheckSize(bytes);
  if (!size.ok()) return size;
  const GbkConverter* converter = &kConverter;
  // The words' GBK bytes go into one text, each word a span of it: a
  // string per word would cost some 32 bytes a word, several times the
  // document, and a long document would need many times its size.
  std::string gbk;
  std::vector<std::pair<std::size_t, std::size_t>> spans;  // start, length
  spans.reserve(words.size());
  std::size_t dropped = 0;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (auto bad = FindInvalidUtf8(words[i])) {
      return Status(Code::kBadEncoding, "word " + std::to_string(i + 1) +
                                            " is not UTF-8 (invalid byte at offset " +
                                            std::to_string(*bad) + ")");
    }
    const std::size_t start = gbk.size();
    dropped += converter->AppendGbk(words[i], &gbk);
    // A word made only of characters GBK cannot encode vanishes whole.
    if (gbk.size() > start) spans.emplace_back(start, gbk.size() - start);
  }
  std::vector<std::string_view> views;
  views.reserve(spans.size());
  for (const auto& [start, length] : spans) views.emplace_back(gbk.data() + start, length);
  std::vector<std::pair<std::size_t, std::size_t>>().swap(spans);
  *result = ClassificationResult();
  result->droppedCharacters = dropped;
  return Decide(views, result);
}

Status Engine::ClassifyText(std::string_view utf8, ClassificationResult* result) const {
  Status size = CheckSize(utf8.size());
  if (!size.ok()) return size;
  std::vector<std::string_view> words;
  Status segmented = Segment(utf8, &words);
  if (!segmented.ok()) return segmented;
  return ClassifyUtf8Words(words, result);
}

const Segmenter* Engine::LoadedSegmenter(Status* status) const {
  // Loaded once, on first use; the lock is one fork knows to release (a
  // std::once_flag caught mid-call would block a forked child for ever).
  if (!dictionaryTried_.load(std::memory_order_acquire)) {
    ProcessWideLock lock(ProcessLockId::kDictionary);
    if (!dictionaryTried_.load(std::memory_order_relaxed)) {
      LoadDictionary();
      dictionaryTried_.store(true, std::memory_order_release);
    }
  }
  *status = dictionaryStatus_;
  return segmenter_.get();
}

void Engine::LoadDictionary() const {
  if (dictionaryPath_.empty()) {
    dictionaryStatus_ = Status(Code::kNotFound, "no segmentation dictionary: none was given and none is installed");
    return;
  }
  const Status loaded = Dictionary::Load(dictionaryPath_, &dictionary_);
  if (!loaded.ok()) {
    std::error_code ignored;
    dictionaryStatus_ = Status(std::filesystem::exists(Utf8Path(dictionaryPath_), ignored) ? Code::kCorrupt : Code::kNotFound,
                               loaded.message());
    return;
  }
  segmenter_ = std::make_unique<Segmenter>(*dictionary_);
}

Status Engine::Segment(std::string_view utf8, std::vector<std::string_view>* words) const {
  if (auto bad = FindInvalidUtf8(utf8)) {
    return Status(Code::kBadEncoding, "not UTF-8 (invalid byte at offset " + std::to_string(*bad) + ")");
  }
  Status status;
  const Segmenter* segmenter = LoadedSegmenter(&status);
  if (segmenter == nullptr) return status;
  words->clear();
  segmenter->Cut(utf8, words);
  return Status::Ok();
}

Status Engine::Decide(const std::vector<std::string_view>& gbkWords,
                      ClassificationResult* result) const {
  result->words = gbkWords.size();
  // A set of words reads the words as they are.
  const FeatureSet& reads = index_->featuresRead();
  CharacterRuns runs;
  std::vector<std::string_view> formed;
  if (reads.characters()) formed = DocumentTokens(gbkWords, reads, &runs);
  const std::vector<std::string_view>& tokens = reads.characters() ? formed : gbkWords;
  IndexedDocument document;
  VectoriseTokens(tokens, *index_, sourceData_.averageDocLength,
                  FeatureRounding::kSixSignificantDigits, &document);
  result->knownWords = static_cast<std::size_t>(document.knownWordCount);
  std::vector<std::pair<std::string_view, double>> occurrences;
  occurrences.reserve(document.terms.size());
  for (const KnownTerm& term : document.terms) {
    occurrences.emplace_back(index_->Word(term.number), term.occurrences);
  }
  const ContentWords contentWords = CountContentWords(tokens, occurrences);
  auto shortText = [this, result] {
    result->answerGbk = ShortTextMessage();
    result->answerUtf8 = shortTextUtf8_;
    result->confidence = 0.0;
    result->unknown = true;
    return Status::Ok();
  };
  // Without a feature the exports' test file is empty and their result file
  // has no line: no decision.
  if (document.features.empty()) return shortText();

  std::vector<svm_node> nodes;
  nodes.reserve(document.features.size() + 1);
  for (const auto& [feature, weight] : document.features) nodes.push_back(svm_node{feature, weight});
  nodes.push_back(svm_node{-1, 0.0});
  std::vector<double> probabilities(classCount_);
  std::vector<double> pairDecisions(classCount_ * (classCount_ - 1) / 2);
  model_->PredictProbability(nodes.data(), probabilities.data(), pairDecisions.data());

  // The decision takes the probabilities as the exports' result file holds
  // them.
  std::vector<double> asWritten(probabilities);
  for (double& p : asWritten) p = RoundToSixSignificantDigits(p);
  const std::optional<ClassPair> decided = DecideClasses(asWritten);
  if (!decided) return shortText();
  const ClassPair pair = *decided;
  Status named = LabelText(sourceData_.classTable, pair, &result->answerGbk);
  if (!named.ok()) return named;
  result->answerClasses.push_back(pair.firstClass);
  const ClassTable& classes = sourceData_.classTable;
  const std::string* second = classes.Find(pair.secondClass);
  if (second == nullptr || *second != "NULL") result->answerClasses.push_back(pair.secondClass);
  if (fullNames_) {
    for (std::int32_t number : result->answerClasses) {
      if (!result->answerUtf8.empty()) result->answerUtf8 += " or ";
      result->answerUtf8 += ClassName(static_cast<std::size_t>(number));
    }
  } else {
    const GbkConverter* converter = &kConverter;
    converter->AppendUtf8(result->answerGbk, &result->answerUtf8);
  }

  result->ranking.reserve(classCount_);
  for (std::size_t i = 0; i < classCount_; ++i) {
    result->ranking.push_back({static_cast<std::int32_t>(i + 1), probabilities[i]});
  }
  std::stable_sort(result->ranking.begin(), result->ranking.end(),
                   [](const ClassScore& a, const ClassScore& b) { return a.probability > b.probability; });
  result->margins = ClassMargins(pairDecisions, classCount_);
  result->knownTerms = std::move(document.terms);
  std::vector<double> highestFirst;
  highestFirst.reserve(result->ranking.size());
  for (const ClassScore& score : result->ranking) highestFirst.push_back(score.probability);
  result->confidence = AnswerConfidence(highestFirst, contentWords.words, contentWords.known);
  result->unknown = result->confidence < minConfidence_;
  return Status::Ok();
}

Status SegmentationDictionary::Open(const std::string& path,
                                    std::unique_ptr<SegmentationDictionary>* opened) {
  std::unique_ptr<SegmentationDictionary> made(new SegmentationDictionary());
  const Status loaded = Dictionary::Load(path, &made->dictionary_);
  if (!loaded.ok()) {
    std::error_code ignored;
    return Status(std::filesystem::exists(Utf8Path(path), ignored) ? Code::kCorrupt : Code::kNotFound,
                  loaded.message());
  }
  made->segmenter_ = std::make_unique<Segmenter>(*made->dictionary_);
  *opened = std::move(made);
  return Status::Ok();
}

Status SegmentationDictionary::Segment(std::string_view utf8,
                                       std::vector<std::string_view>* words) const {
  if (auto bad = FindInvalidUtf8(utf8)) {
    return Status(Code::kBadEncoding, "not UTF-8 (invalid byte at offset " + std::to_string(*bad) + ")");
  }
  words->clear();
  segmenter_->Cut(utf8, words);
  return Status::Ok();
}

}  // namespace wenlei
