#include "bench/bench_data.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "classify/classifier.h"
#include "source/source_data.h"
#include "source/source_file.h"
#include "testutil/resource_set_builder.h"
#include "testutil/test_support.h"
#include "vectorise/document_vector.h"
#include "vectorise/term_weighting.h"

namespace wenlei::bench {
namespace {

// The GB2312 area of GBK: lead bytes 0xB0-0xF7, trail bytes 0xA1-0xFE.
std::string GbkCharacter(std::mt19937& random) {
  std::string character(2, '\0');
  character[0] = static_cast<char>(0xB0 + random() % (0xF7 - 0xB0 + 1));
  character[1] = static_cast<char>(0xA1 + random() % (0xFE - 0xA1 + 1));
  return character;
}

std::size_t WordLengthInCharacters(std::mt19937& random) {
  const unsigned draw = random() % 100;
  if (draw < 10) return 1;
  if (draw < 70) return 2;
  if (draw < 85) return 3;
  if (draw < 95) return 4;
  return 5 + random() % 3;
}

std::vector<double> ZipfCumulative(std::size_t n) {
  std::vector<double> cumulative(n);
  double sum = 0.0;
  for (std::size_t r = 0; r < n; ++r) {
    sum += 1.0 / static_cast<double>(r + 1);
    cumulative[r] = sum;
  }
  return cumulative;
}

std::string ClassName(int classNumber) {
  return "\xC0\xE0" + std::to_string(classNumber);  // "类" and the number
}

SourceFileContents ReadContents(const std::string& prefix) {
  std::FILE* file = std::fopen((prefix + kSourceFileName).c_str(), "rb");
  if (file == nullptr) throw std::runtime_error("cannot open " + prefix + kSourceFileName);
  SourceFileContents contents;
  const Status read = ReadSourceFile(file, &contents);
  std::fclose(file);
  if (!read.ok()) throw std::runtime_error(prefix + kSourceFileName + ": " + read.message());
  return contents;
}

// Writes the resource file, then trains the model on the library's own
// vectors of the training documents.
void WriteAndTrain(const std::string& prefix, const SourceFileContents& contents,
                   const std::vector<LabelledDocument>& training) {
  if (Status written = WriteSourceFile(prefix + kSourceFileName, contents); !written.ok()) {
    throw std::runtime_error(written.message());
  }
  SourceData sourceData;
  if (!sourceData.Load(prefix).ok()) {
    throw std::runtime_error("cannot read back " + prefix + kSourceFileName);
  }
  Classifier classifier(sourceData);
  std::vector<testing::Example> examples;
  examples.reserve(training.size());
  for (const LabelledDocument& document : training) {
    auto words = testing::WordListBuilder::FromWords(document.words);
    const DocumentFeatures vector = classifier.Vectorise(*words.list());
    if (vector.features.empty()) continue;
    examples.push_back({static_cast<double>(document.classNumber),
                        {vector.features.begin(), vector.features.end()}});
  }
  std::fprintf(stderr, "bench: training a model on %zu documents for %s\n", examples.size(),
               prefix.c_str());
  testing::TrainAndSaveModel(examples, testing::DefaultParameter(LINEAR),
                             prefix + kModelFileName);
}

// Document frequencies of the words of a document set, and the order in
// which the words first appear.
struct DocumentFrequencies {
  std::unordered_map<std::string, std::size_t> count;
  std::vector<std::string> firstSeen;

  explicit DocumentFrequencies(const std::vector<LabelledDocument>& documents) {
    for (const LabelledDocument& document : documents) {
      std::unordered_set<std::string> seen(document.words.begin(), document.words.end());
      for (const std::string& word : document.words) {
        if (!seen.erase(word)) continue;  // each word once per document
        if (count[word]++ == 0) firstSeen.push_back(word);
      }
    }
  }

  double Idf(const std::string& word, std::size_t documents) const {
    auto it = count.find(word);
    const double df = it == count.end() ? 0.5 : static_cast<double>(it->second);
    return std::log(static_cast<double>(documents) / df);
  }
};

}  // namespace

std::vector<std::string> GbkWords(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::unordered_set<std::string> seen;
  std::vector<std::string> words;
  words.reserve(n);
  seen.reserve(n);
  while (words.size() < n) {
    std::string word;
    for (std::size_t i = WordLengthInCharacters(random); i > 0; --i) word += GbkCharacter(random);
    if (seen.insert(word).second) words.push_back(std::move(word));
  }
  return words;
}

bool Utf8ToGbk(const std::string& utf8, std::string* gbk) {
  iconv_t converter = iconv_open("GBK", "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no UTF-8 to GBK converter");
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  std::size_t inLeft = utf8.size();
  char* outPointer = out.data();
  std::size_t outLeft = out.size();
  const std::size_t result = iconv(converter, &in, &inLeft, &outPointer, &outLeft);
  iconv_close(converter);
  if (result == static_cast<std::size_t>(-1)) return false;
  out.resize(out.size() - outLeft);
  *gbk = std::move(out);
  return true;
}

void WriteLargeSourceFile(const std::string& path, const LargeSourceSpec& spec) {
  std::mt19937 random(spec.seed);
  SourceFileContents contents;
  contents.vocabulary = GbkWords(spec.vocabulary, spec.seed);

  std::vector<std::string> shortWords;  // fit a canonical field
  for (const std::string& word : contents.vocabulary) {
    if (word.size() <= source_file::kCanonicalFieldSize - 1) shortWords.push_back(word);
  }
  std::vector<std::string> mapped = contents.vocabulary;
  std::shuffle(mapped.begin(), mapped.end(), random);
  mapped.resize(std::min(spec.termMap, mapped.size()));
  for (std::string& word : mapped) {
    std::string canonical = random() % 5 == 0 ? shortWords[random() % shortWords.size()] : "";
    contents.termMap.emplace_back(std::move(word), std::move(canonical));
  }
  while (contents.termMap.size() < spec.termMap) {  // more entries than words
    contents.termMap.emplace_back(contents.vocabulary[random() % contents.vocabulary.size()], "");
  }

  std::uniform_real_distribution<double> idf(0.1, 9.0);
  for (std::size_t i = 0; i < spec.idf; ++i) {
    contents.idf.emplace_back(contents.vocabulary[i % contents.vocabulary.size()], idf(random));
  }
  if (spec.idfInOwnOrder) std::shuffle(contents.idf.begin(), contents.idf.end(), random);
  contents.classNames.push_back("NULL");
  for (std::size_t c = 1; c <= spec.classCount; ++c) {
    contents.classNames.push_back(ClassName(static_cast<int>(c)));
  }
  contents.averageDocLength = 180.0;
  if (Status written = WriteSourceFile(path, contents); !written.ok()) {
    throw std::runtime_error(written.message());
  }
}

DocumentGenerator::DocumentGenerator(const std::vector<std::string>& vocabulary, int classCount,
                                     unsigned seed)
    : vocabulary_(vocabulary), state_(0x9E3779B97F4A7C15ull * (seed + 1)) {
  const std::size_t topicSize =
      std::max<std::size_t>(50, vocabulary_.size() * 2 / static_cast<std::size_t>(classCount));
  std::mt19937 random(seed);
  std::vector<std::uint32_t> all(vocabulary_.size());
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<std::uint32_t>(i);
  for (int c = 0; c < classCount; ++c) {
    std::shuffle(all.begin(), all.end(), random);
    topics_.emplace_back(all.begin(), all.begin() + std::min(topicSize, all.size()));
  }
  std::shuffle(all.begin(), all.end(), random);
  vocabulary_.clear();
  for (std::uint32_t i : all) vocabulary_.push_back(vocabulary[i]);  // background rank order
  zipfTopic_ = ZipfCumulative(topics_.front().size());
  zipfAll_ = ZipfCumulative(vocabulary_.size());
  // The topics index the original order; keep them pointing at the same words.
  std::vector<std::uint32_t> rankOf(all.size());
  for (std::size_t r = 0; r < all.size(); ++r) rankOf[all[r]] = static_cast<std::uint32_t>(r);
  for (auto& topic : topics_) {
    for (std::uint32_t& i : topic) i = rankOf[i];
  }
}

std::uint64_t DocumentGenerator::NextRandom() {
  // splitmix64: fast, and the same sequence on every platform.
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::size_t DocumentGenerator::Zipf(const std::vector<double>& cumulative) {
  const double u = static_cast<double>(NextRandom() >> 11) * 0x1.0p-53 * cumulative.back();
  return std::min<std::size_t>(
      std::upper_bound(cumulative.begin(), cumulative.end(), u) - cumulative.begin(),
      cumulative.size() - 1);
}

LabelledDocument DocumentGenerator::Generate(int classNumber, std::size_t length) {
  LabelledDocument document;
  document.classNumber = classNumber;
  const auto& topic = topics_[static_cast<std::size_t>(classNumber - 1) % topics_.size()];
  for (std::size_t i = 0; i < length; ++i) {
    const bool fromTopic = NextRandom() % 2 == 0;
    const std::size_t rank = fromTopic ? topic[Zipf(zipfTopic_)] : Zipf(zipfAll_);
    document.words.push_back(vocabulary_[rank]);
  }
  return document;
}

std::vector<std::string> DocumentGenerator::MixedDocument(std::size_t length, double knownShare) {
  std::vector<std::string> words;
  words.reserve(length);
  const auto threshold = static_cast<std::uint64_t>(knownShare * 1000.0);
  for (std::size_t i = 0; i < length; ++i) {
    if (NextRandom() % 1000 < threshold) {
      words.push_back(vocabulary_[Zipf(zipfAll_)]);
    } else {
      // ASCII words never occur in a generated vocabulary.
      words.push_back("x" + std::to_string(NextRandom() % 5000));
    }
  }
  return words;
}

void BuildSyntheticResourceSet(const std::string& prefix, const SyntheticSetSpec& spec) {
  SourceFileContents contents;
  contents.vocabulary = GbkWords(spec.vocabulary, spec.seed);
  DocumentGenerator generator(contents.vocabulary, spec.classCount, spec.seed + 1);
  std::vector<LabelledDocument> training;
  std::mt19937 random(spec.seed + 2);
  double words = 0.0;
  for (int d = 0; d < spec.documentsPerClass; ++d) {
    for (int c = 1; c <= spec.classCount; ++c) {
      // Lengths from half to one and a half times the typical length.
      const std::size_t length = spec.wordsPerDocument / 2 + random() % (spec.wordsPerDocument + 1);
      training.push_back(generator.Generate(c, length));
      words += static_cast<double>(length);
    }
  }
  DocumentFrequencies frequencies(training);
  for (const std::string& word : contents.vocabulary) {
    contents.termMap.emplace_back(word, "");
    contents.idf.emplace_back(word, frequencies.Idf(word, training.size()));
  }
  contents.classNames.push_back("NULL");
  for (int c = 1; c <= spec.classCount; ++c) contents.classNames.push_back(ClassName(c));
  contents.averageDocLength = words / static_cast<double>(training.size());
  WriteAndTrain(prefix, contents, training);
}

std::vector<LabelledDocument> SyntheticDocuments(const std::string& prefix,
                                                 const SyntheticSetSpec& spec, std::size_t count) {
  const SourceFileContents contents = ReadContents(prefix);
  DocumentGenerator generator(contents.vocabulary, spec.classCount, spec.seed + 1);
  std::mt19937 random(spec.seed + 5);
  std::vector<LabelledDocument> documents;
  for (std::size_t i = 0; i < count; ++i) {
    const int classNumber = static_cast<int>(i % static_cast<std::size_t>(spec.classCount)) + 1;
    const std::size_t length = spec.wordsPerDocument / 2 + random() % (spec.wordsPerDocument + 1);
    documents.push_back(generator.Generate(classNumber, length));
  }
  return documents;
}

Corpus ReadCorpus(const std::string& tsvPath, const std::vector<std::string>& classNames) {
  std::ifstream file(tsvPath);
  if (!file) throw std::runtime_error("cannot open " + tsvPath);
  Corpus corpus;
  corpus.classNames = classNames;
  std::string line;
  std::size_t lineNumber = 0;
  while (std::getline(file, line)) {
    ++lineNumber;
    const std::size_t tab = line.find('\t');
    std::string className;
    if (tab == std::string::npos || !Utf8ToGbk(line.substr(0, tab), &className)) {
      throw std::runtime_error(tsvPath + ":" + std::to_string(lineNumber) +
                               ": not a class<TAB>words line in UTF-8");
    }
    auto known = std::find(corpus.classNames.begin(), corpus.classNames.end(), className);
    if (known == corpus.classNames.end()) {
      corpus.classNames.push_back(className);
      known = corpus.classNames.end() - 1;
    }
    LabelledDocument document;
    document.classNumber = static_cast<int>(known - corpus.classNames.begin()) + 1;
    std::istringstream words(line.substr(tab + 1));
    std::string word, gbk;
    while (words >> word) {
      if (Utf8ToGbk(word, &gbk)) document.words.push_back(gbk);
    }
    corpus.documents.push_back(std::move(document));
  }
  return corpus;
}

void BuildCorpusResourceSet(const std::string& prefix, const Corpus& train) {
  DocumentFrequencies frequencies(train.documents);
  std::vector<std::string> words;
  for (const std::string& word : frequencies.firstSeen) {
    if (frequencies.count[word] >= 2 && word.size() < source_file::kWordFieldSize) {
      words.push_back(word);
    }
  }
  std::stable_sort(words.begin(), words.end(), [&](const std::string& a, const std::string& b) {
    return frequencies.count[a] > frequencies.count[b];
  });
  SourceFileContents contents;
  contents.vocabulary = words;
  for (const std::string& word : words) {
    contents.termMap.emplace_back(word, "");
    contents.idf.emplace_back(word, frequencies.Idf(word, train.documents.size()));
  }
  contents.classNames.push_back("NULL");
  for (std::string name : train.classNames) {
    if (name.size() >= source_file::kClassFieldSize) name.resize(8);  // four GBK characters
    contents.classNames.push_back(name);
  }
  const std::unordered_set<std::string> vocabulary(words.begin(), words.end());
  double known = 0.0;
  for (const LabelledDocument& document : train.documents) {
    for (const std::string& word : document.words) known += vocabulary.count(word);
  }
  contents.averageDocLength = known / static_cast<double>(train.documents.size());
  WriteAndTrain(prefix, contents, train.documents);
}

std::vector<std::string> ClassNamesOf(const std::string& prefix) {
  return ReadContents(prefix).classNames;
}

ModelFacts ReadModelFacts(const std::string& modelPath) {
  std::ifstream file(modelPath);
  if (!file) throw std::runtime_error("cannot open " + modelPath);
  ModelFacts facts;
  facts.fileBytes = FileBytes(modelPath);
  std::string line;
  while (std::getline(file, line) && line != "SV") {
    std::istringstream fields(line);
    std::string key;
    fields >> key;
    if (key == "nr_class") fields >> facts.classCount;
    if (key == "kernel_type") fields >> facts.kernel;
  }
  while (std::getline(file, line)) {
    if (line.empty()) continue;
    ++facts.supportVectors;
    std::istringstream fields(line);
    std::string field;
    while (fields >> field) {
      const std::size_t colon = field.find(':');
      if (colon == std::string::npos) continue;
      ++facts.nonZeros;
      facts.highestIndex =
          std::max<std::size_t>(facts.highestIndex, std::stoul(field.substr(0, colon)));
    }
  }
  return facts;
}

void MakeDirectories(const std::string& path) { std::filesystem::create_directories(path); }

void CopyResourceSet(const std::string& fromPrefix, const std::string& toPrefix) {
  for (const char* name : {kSourceFileName, kModelFileName}) {
    std::filesystem::copy_file(fromPrefix + name, toPrefix + name,
                               std::filesystem::copy_options::overwrite_existing);
  }
}

bool HasResourceSet(const std::string& prefix) {
  return std::filesystem::exists(prefix + kSourceFileName) &&
         std::filesystem::exists(prefix + kModelFileName);
}

std::uint64_t FileBytes(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<std::uint64_t>(size);
}

}  // namespace wenlei::bench
