#include "train/corpus_reading.h"

#include <cstdio>

namespace wenlei {
namespace {

std::string DetectedLine(const std::string& path, const Corpus& asWords) {
  char share[32];
  std::snprintf(share, sizeof share, "%.0f%%",
                100.0 * static_cast<double>(asWords.chineseCharactersInLongWords) /
                    static_cast<double>(asWords.chineseCharacters));
  return path + " holds raw text: " + share + " of its Chinese characters stand in \"words\" of " +
         "more than " + std::to_string(kLongWordCharacters) +
         " characters; read as raw text and segmented (--raw says so, --segmented reads it as "
         "words)";
}

}  // namespace

Status ReadCorpusText(const std::string& path, CorpusEncoding encoding, CorpusText text,
                      const SegmenterSource& segmenter, Corpus* corpus, CorpusWords keep,
                      CorpusReading* reading, const FeatureSet& runs,
                      const ReadingProgress& progress) {
  *reading = CorpusReading();
  if (text != CorpusText::kRaw) {
    Status read = ReadCorpus(path, encoding, corpus, nullptr, keep, runs, progress);
    if (!read.ok() || text == CorpusText::kWords || !corpus->LooksUnsegmented()) return read;
    reading->detected = DetectedLine(path, *corpus);
  }
  const Segmenter* cutter = nullptr;
  if (Status loaded = segmenter(&cutter); !loaded.ok()) return loaded;
  *corpus = Corpus();
  reading->raw = true;
  return ReadCorpus(path, encoding, corpus, cutter, keep, runs, progress);
}

}  // namespace wenlei
