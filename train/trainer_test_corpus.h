#ifndef WENLEI_TRAIN_TRAINER_TEST_CORPUS_H_
#define WENLEI_TRAIN_TRAINER_TEST_CORPUS_H_

#include <random>
#include <string>
#include <vector>

namespace wenlei::testing {

// A small generated corpus in UTF-8 lines "class<TAB>words": each class has
// its own topic words, every document mixes a few of them with words common
// to all classes and, now and then, a word of another class.
struct GeneratedCorpus {
  std::vector<std::string> classNames = {"体育", "财经", "科技"};
  int documentsPerClass = 20;
  unsigned seed = 5;
  bool interleaveClasses = true;  // lines cycle through the classes

  std::string TopicWord(std::size_t c, int j) const {
    static const char* const kSyllables[] = {"球", "股", "芯", "赛", "银", "网", "冠", "利",
                                             "算", "队", "基", "码"};
    return classNames[c] + kSyllables[j % 12] + std::to_string(j / 12);
  }

  std::string Text() const {
    static const char* const kCommon[] = {"我们", "今天", "的", "了", "是", "在", "一个"};
    std::mt19937 random(seed);
    std::vector<std::vector<std::string>> lines(classNames.size());
    for (std::size_t c = 0; c < classNames.size(); ++c) {
      for (int d = 0; d < documentsPerClass; ++d) {
        std::string line = classNames[c] + "\t";
        int topical = 3 + static_cast<int>(random() % 5);
        for (int i = 0; i < topical; ++i) line += TopicWord(c, static_cast<int>(random() % 8)) + " ";
        for (int i = 0; i < 4; ++i) line += std::string(kCommon[random() % 7]) + " ";
        if (random() % 4 == 0) {
          line += TopicWord((c + 1) % classNames.size(), static_cast<int>(random() % 8)) + " ";
        }
        line += TopicWord(c, 100 + d);  // a word of this document alone
        lines[c].push_back(line);
      }
    }
    std::string text;
    if (interleaveClasses) {
      for (int d = 0; d < documentsPerClass; ++d) {
        for (std::size_t c = classNames.size(); c-- > 0;) text += lines[c][d] + "\n";
      }
    } else {
      for (std::size_t c = classNames.size(); c-- > 0;) {
        for (const auto& line : lines[c]) text += line + "\n";
      }
    }
    return text;
  }
};

}  // namespace wenlei::testing

#endif  // WENLEI_TRAIN_TRAINER_TEST_CORPUS_H_
