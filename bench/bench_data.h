#ifndef WENLEI_BENCH_BENCH_DATA_H_
#define WENLEI_BENCH_BENCH_DATA_H_

// Resource sets and documents for the benchmarks: generated ones of chosen
// sizes, one derived from a segmented corpus, and the bundled one.  Every
// model is trained by libsvm on vectors made by the library's own counting,
// weighting and feature mapping.

#include <cstdint>
#include <string>
#include <vector>

namespace wenlei::bench {

// A document as the host hands it over: GBK words, with the class number it
// belongs to (0 when unknown).
struct LabelledDocument {
  int classNumber = 0;
  std::vector<std::string> words;
};

// n distinct GBK words of one to seven double-byte characters from the
// GB2312 area, most of them two characters long, in a random order.
std::vector<std::string> GbkWords(std::size_t n, unsigned seed);

// Converts UTF-8 text to GBK; false when a character has no GBK form.
bool Utf8ToGbk(const std::string& utf8, std::string* gbk);

// A resource file of the given section sizes, with nothing else around it:
// vocabulary words in random order, a term map over vocabulary words (one in
// five mapped to a short canonical word, the rest to themselves), one idf per
// vocabulary word, "NULL" and classCount class names.
struct LargeSourceSpec {
  std::size_t vocabulary = 200000;
  std::size_t termMap = 50000;
  std::size_t idf = 200000;
  std::size_t classCount = 36;
  unsigned seed = 1;
  // The idf records in vocabulary order (as the training tool writes them),
  // or shuffled.
  bool idfInOwnOrder = false;
};
void WriteLargeSourceFile(const std::string& path, const LargeSourceSpec& spec);

// Documents drawn from a vocabulary: each class favours its own topic words
// (a Zipf distribution over a class-specific subset), the rest comes from a
// Zipf distribution over the whole vocabulary.
class DocumentGenerator {
 public:
  DocumentGenerator(const std::vector<std::string>& vocabulary, int classCount, unsigned seed);
  LabelledDocument Generate(int classNumber, std::size_t length);
  // A document of length words of which about knownShare are vocabulary
  // words, the others words the vocabulary lacks.
  std::vector<std::string> MixedDocument(std::size_t length, double knownShare);

 private:
  std::vector<std::string> vocabulary_;
  std::vector<std::vector<std::uint32_t>> topics_;
  std::vector<double> zipfTopic_;
  std::vector<double> zipfAll_;
  std::uint64_t state_;
  std::uint64_t NextRandom();
  std::size_t Zipf(const std::vector<double>& cumulative);
};

// A generated resource set with a trained model (prefix + "Source.dat" and
// prefix + "SVMModel").
struct SyntheticSetSpec {
  int classCount = 8;
  std::size_t vocabulary = 10000;
  int documentsPerClass = 150;
  std::size_t wordsPerDocument = 150;
  unsigned seed = 3;
};
void BuildSyntheticResourceSet(const std::string& prefix, const SyntheticSetSpec& spec);
// Test documents of the same distribution, cycling through the classes.
std::vector<LabelledDocument> SyntheticDocuments(const std::string& prefix,
                                                 const SyntheticSetSpec& spec, std::size_t count);

// A segmented corpus split: "class<TAB>word word ..." lines in UTF-8.
struct Corpus {
  std::vector<std::string> classNames;  // GBK, in order of first appearance
  std::vector<LabelledDocument> documents;  // class numbers from 1
};
// Reads a split; words without a GBK form are dropped.  classNames gives
// the class numbering to follow (empty: number in order of appearance).
Corpus ReadCorpus(const std::string& tsvPath, const std::vector<std::string>& classNames = {});

// A resource set trained on a corpus split: the words found in at least two
// documents, in descending document frequency, each standing for itself;
// idf log(N/df); a linear C-SVC with probabilities.
void BuildCorpusResourceSet(const std::string& prefix, const Corpus& train);

// The class names of a resource set's file, position 0 included.
std::vector<std::string> ClassNamesOf(const std::string& prefix);

// What a model file holds, counted from its text.
struct ModelFacts {
  int classCount = 0;
  std::size_t supportVectors = 0;
  std::size_t nonZeros = 0;     // index:value pairs over all support vectors
  std::size_t highestIndex = 0;  // the largest feature number in use
  std::uint64_t fileBytes = 0;
  std::string kernel;
};
ModelFacts ReadModelFacts(const std::string& modelPath);

// Creates the directory and its parents when missing.
void MakeDirectories(const std::string& path);
// Copies Source.dat and SVMModel from one prefix to another.
void CopyResourceSet(const std::string& fromPrefix, const std::string& toPrefix);
bool HasResourceSet(const std::string& prefix);
std::uint64_t FileBytes(const std::string& path);

}  // namespace wenlei::bench

#endif  // WENLEI_BENCH_BENCH_DATA_H_
