// Writes resource sets for the Windows checks when the bundled one is not at
// hand:
//
//   make_resource_set DIRECTORY DOCUMENTS
//   make_resource_set --corpus TRAIN_TSV DIRECTORY
//
// DIRECTORY receives Source.dat (written by the library's own writer) and
// SVMModel (trained by libsvm with probability estimates on vectors built by
// the library's own counting, weighting and mapping).
//
// The first form invents five topics and writes a few hundred documents to
// DOCUMENTS, one per line, GBK words separated by spaces: single topics,
// mixtures of two, words the vocabulary lacks, long words, and words that
// the term map drops or merges.  The second form learns from a segmented
// corpus (lines "class<TAB>word word ...", UTF-8): the words found in at
// least two documents, at most 4000 of them, and one class per label.
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "source/source_data.h"
#include "source/source_file.h"
#include "testutil/resource_set_builder.h"
#include "testutil/test_support.h"

namespace {

// False when the text has a character that GBK lacks.
bool ConvertToGbk(const std::string& utf8, std::string* gbk) {
  iconv_t converter = iconv_open("GBK", "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv lacks GBK");
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  std::size_t inLeft = utf8.size();
  char* at = out.data();
  std::size_t outLeft = out.size();
  std::size_t done = iconv(converter, &in, &inLeft, &at, &outLeft);
  iconv_close(converter);
  if (done == static_cast<std::size_t>(-1)) return false;
  out.resize(out.size() - outLeft);
  *gbk = std::move(out);
  return true;
}

std::string ToGbk(const std::string& utf8) {
  std::string gbk;
  if (!ConvertToGbk(utf8, &gbk)) throw std::runtime_error("not GBK: " + utf8);
  return gbk;
}

std::vector<std::string> ToGbk(const std::vector<std::string>& words) {
  std::vector<std::string> converted;
  for (const auto& word : words) converted.push_back(ToGbk(word));
  return converted;
}

struct Topic {
  std::string name;
  std::vector<std::string> words;
};

// Five topics; each has words of 16 bytes or more, which a host keeps at an
// address rather than inline.  The third name carries a tag before a space.
std::vector<Topic> Topics() {
  return {
      {"体育", ToGbk({"足球", "篮球", "比赛", "球队", "冠军", "进球", "教练", "联赛", "运动员",
                     "奥运会", "世界杯", "国际足球联合会世界杯"})},
      {"财经", ToGbk({"股票", "银行", "市场", "投资", "利率", "基金", "经济", "证券", "通货膨胀",
                     "上证指数", "GDP", "中国人民银行货币政策"})},
      {"03 教育", ToGbk({"学校", "学生", "老师", "考试", "课程", "大学", "教材", "高考", "招生",
                        "义务教育", "中华人民共和国教育部"})},
      {"科技", ToGbk({"电脑", "软件", "手机", "网络", "芯片", "互联网", "人工智能", "数据",
                     "程序员", "操作系统", "半导体集成电路制造", "CPU", "internationalization"})},
      {"旅游", ToGbk({"景点", "酒店", "门票", "旅行社", "机票", "签证", "导游", "度假", "海滩",
                     "长城", "自由行", "世界文化遗产名录"})},
  };
}

// Words of every topic.
std::vector<std::string> CommonWords() { return ToGbk({"今天", "我们", "发展", "记者", "报道", "新闻"}); }

// Vocabulary words that the term map folds into another word.
std::vector<std::pair<std::string, std::string>> Variants() {
  std::vector<std::pair<std::string, std::string>> variants;
  for (const auto& [variant, canonical] : std::vector<std::pair<std::string, std::string>>{
           {"足球赛", "足球"}, {"股市", "股票"}, {"大学生", "学生"},
           {"电脑软件", "软件"}, {"旅馆", "酒店"}, {"篮球赛", "篮球"}}) {
    variants.emplace_back(ToGbk(variant), ToGbk(canonical));
  }
  return variants;
}

// A vocabulary word with no term-map entry: counted, but no feature.
std::string UnmappedWord() { return ToGbk("其他"); }

// Words the vocabulary lacks.
std::vector<std::string> UnknownWords() {
  return ToGbk({"的", "了", "是", "在", "和", "hello", "一个非常长的未知词语组合", "，"});
}

wenlei::SourceFileContents Contents(const std::vector<Topic>& topics) {
  wenlei::SourceFileContents contents;
  auto addWord = [&](const std::string& word, const std::string& canonical, double idf,
                     bool mapped) {
    contents.vocabulary.push_back(word);
    if (mapped) contents.termMap.emplace_back(word, canonical);
    contents.idf.emplace_back(word, idf);
  };
  int position = 0;
  for (const auto& topic : topics) {
    for (const auto& word : topic.words) addWord(word, "", 1.2 + 0.15 * (position++ % 9), true);
  }
  for (const auto& word : CommonWords()) addWord(word, "", 0.1, true);
  for (const auto& [variant, canonical] : Variants()) addWord(variant, canonical, 1.5, true);
  addWord(UnmappedWord(), "", 0.8, false);
  contents.classNames.push_back("NULL");
  for (const auto& topic : topics) contents.classNames.push_back(ToGbk(topic.name));
  contents.averageDocLength = 24.0;
  return contents;
}

class DocumentMaker {
 public:
  explicit DocumentMaker(const std::vector<Topic>& topics) : topics_(topics) {}

  // Mostly words of one topic, some of another, common and unknown words.
  std::vector<std::string> Topical(int topic, int length, int otherTopic = -1,
                                   double otherShare = 0.0) {
    std::vector<std::string> words;
    for (int i = 0; i < length; ++i) {
      double roll = Uniform();
      if (otherTopic >= 0 && roll < otherShare) {
        words.push_back(Pick(topics_[otherTopic].words));
      } else if (roll < otherShare + 0.12) {
        words.push_back(Pick(CommonWords()));
      } else if (roll < otherShare + 0.20) {
        words.push_back(Pick(UnknownWords()));
      } else if (roll < otherShare + 0.24) {
        words.push_back(Pick(Variants()).first);
      } else if (roll < otherShare + 0.27) {
        words.push_back(UnmappedWord());
      } else {
        words.push_back(Pick(topics_[topic].words));
      }
    }
    return words;
  }

  std::vector<std::string> Unknown(int length) {
    std::vector<std::string> words;
    for (int i = 0; i < length; ++i) words.push_back(Pick(UnknownWords()));
    return words;
  }

  int Below(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }

 private:
  double Uniform() { return static_cast<double>(random_() % 10000) / 10000.0; }

  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[static_cast<std::size_t>(Below(static_cast<int>(items.size())))];
  }

  const std::vector<Topic>& topics_;
  std::mt19937 random_{20240607};
};

std::string Line(const std::vector<std::string>& words) {
  std::string line;
  for (const auto& word : words) line += (line.empty() ? "" : " ") + word;
  return line;
}

void Run(const std::string& directory, const std::string& documentsPath) {
  const std::string prefix = directory + "/";
  const std::vector<Topic> topics = Topics();
  const int topicCount = static_cast<int>(topics.size());
  const wenlei::Status written =
      wenlei::WriteSourceFile(prefix + wenlei::kSourceFileName, Contents(topics));
  if (!written.ok()) {
    throw std::runtime_error(written.message());
  }
  wenlei::SourceData data;
  if (!data.Load(prefix).ok()) {
    throw std::runtime_error("cannot read back " + prefix + wenlei::kSourceFileName);
  }
  DocumentMaker maker(topics);

  std::vector<wenlei::testing::Example> examples;
  for (int topic = 0; topic < topicCount; ++topic) {
    for (int d = 0; d < 40; ++d) {
      int other = d % 4 == 0 ? (topic + 1 + maker.Below(topicCount - 1)) % topicCount : -1;
      examples.push_back(wenlei::testing::VectorisedExample(
          maker.Topical(topic, 8 + maker.Below(30), other, 0.3), topic + 1, data));
    }
  }
  svm_parameter parameter = wenlei::testing::DefaultParameter(RBF);
  parameter.gamma = 0.8;
  wenlei::testing::TrainAndSaveModel(examples, parameter, prefix + wenlei::kModelFileName);

  std::ofstream documents(documentsPath, std::ios::binary);
  for (int i = 0; i < 260; ++i) {
    documents << Line(maker.Topical(i % topicCount, 1 + maker.Below(40))) << '\n';
  }
  for (int i = 0; i < 100; ++i) {
    int topic = i % topicCount;
    int other = (topic + 1 + i / topicCount % (topicCount - 1)) % topicCount;
    documents << Line(maker.Topical(topic, 4 + maker.Below(30), other, 0.35 + 0.01 * (i % 20)))
              << '\n';
  }
  for (int i = 0; i < 25; ++i) documents << Line(maker.Unknown(1 + maker.Below(12))) << '\n';
  for (int i = 0; i < 10; ++i) documents << '\n';
  for (int i = 0; i < 10; ++i) {
    std::vector<std::string> words(1 + i, UnmappedWord());
    words.push_back(UnknownWords()[static_cast<std::size_t>(i) % UnknownWords().size()]);
    documents << Line(words) << '\n';
  }
  for (int topic = 0; topic < topicCount; ++topic) {
    // Long words only, and one word repeated.
    std::vector<std::string> longWords;
    for (const auto& word : topics[topic].words) {
      if (word.size() >= 16) longWords.push_back(word);
    }
    documents << Line(longWords) << '\n';
    documents << Line(std::vector<std::string>(12, topics[topic].words[0])) << '\n';
  }
  if (!documents.flush()) throw std::runtime_error("cannot write " + documentsPath);
}

struct CorpusDocument {
  std::string label;
  std::vector<std::string> words;  // GBK
};

std::vector<CorpusDocument> ReadCorpus(const std::string& path) {
  std::ifstream input(path, std::ios::binary);
  if (!input) throw std::runtime_error("cannot open " + path);
  std::vector<CorpusDocument> documents;
  std::string line;
  while (std::getline(input, line)) {
    std::size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    CorpusDocument document{line.substr(0, tab), {}};
    std::istringstream words(line.substr(tab + 1));
    std::string word, gbk;
    while (words >> word) {
      if (ConvertToGbk(word, &gbk)) document.words.push_back(gbk);
    }
    documents.push_back(std::move(document));
  }
  return documents;
}

void RunCorpus(const std::string& trainPath, const std::string& directory) {
  const std::string prefix = directory + "/";
  const std::vector<CorpusDocument> corpus = ReadCorpus(trainPath);
  if (corpus.empty()) throw std::runtime_error(trainPath + " holds no documents");
  std::map<std::string, int> documentFrequency;
  std::set<std::string> labels;
  for (const auto& document : corpus) {
    labels.insert(document.label);
    for (const auto& word : std::set<std::string>(document.words.begin(), document.words.end())) {
      ++documentFrequency[word];
    }
  }
  std::vector<std::pair<int, std::string>> candidates;
  for (const auto& [word, frequency] : documentFrequency) {
    if (frequency >= 2 && word.size() <= wenlei::source_file::kWordFieldSize - 1) {
      candidates.emplace_back(-frequency, word);
    }
  }
  std::sort(candidates.begin(), candidates.end());
  if (candidates.size() > 4000) candidates.resize(4000);

  wenlei::SourceFileContents contents;
  std::set<std::string> vocabulary;
  for (const auto& [negativeFrequency, word] : candidates) {
    contents.vocabulary.push_back(word);
    contents.termMap.emplace_back(word, "");
    contents.idf.emplace_back(word, std::log(static_cast<double>(corpus.size()) / -negativeFrequency));
    vocabulary.insert(word);
  }
  double knownWords = 0.0;
  for (const auto& document : corpus) {
    for (const auto& word : document.words) knownWords += vocabulary.count(word);
  }
  contents.averageDocLength = knownWords / static_cast<double>(corpus.size());
  contents.classNames.push_back("NULL");
  std::map<std::string, int> classNumbers;
  for (const auto& label : labels) {
    classNumbers[label] = static_cast<int>(contents.classNames.size());
    contents.classNames.push_back(ToGbk(label));
  }
  if (wenlei::Status written = wenlei::WriteSourceFile(prefix + wenlei::kSourceFileName, contents);
      !written.ok()) {
    throw std::runtime_error(written.message());
  }
  wenlei::SourceData data;
  if (!data.Load(prefix).ok()) {
    throw std::runtime_error("cannot read back " + prefix + wenlei::kSourceFileName);
  }
  std::vector<wenlei::testing::Example> examples;
  for (const auto& document : corpus) {
    examples.push_back(
        wenlei::testing::VectorisedExample(document.words, classNumbers[document.label], data));
  }
  std::cerr << "make_resource_set: training on " << examples.size() << " documents, "
            << contents.vocabulary.size() << " words, " << labels.size() << " classes\n";
  wenlei::testing::TrainAndSaveModel(examples, wenlei::testing::DefaultParameter(LINEAR),
                                     prefix + wenlei::kModelFileName);
}

}  // namespace

int main(int argc, char** argv) {
  bool corpus = argc == 4 && std::string(argv[1]) == "--corpus";
  if (argc != 3 && !corpus) {
    std::cerr << "usage: make_resource_set DIRECTORY DOCUMENTS\n"
                 "       make_resource_set --corpus TRAIN_TSV DIRECTORY\n";
    return 2;
  }
  try {
    if (corpus) {
      RunCorpus(argv[2], argv[3]);
    } else {
      Run(argv[1], argv[2]);
    }
  } catch (const std::exception& failure) {
    std::cerr << "make_resource_set: " << failure.what() << "\n";
    return 1;
  }
  return 0;
}
