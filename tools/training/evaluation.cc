#include "tools/training/evaluation.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "tools/commands/json_text.h"
#include "text/utf8.h"
#include "util/number_text.h"

namespace wenlei {
namespace {

double Share(std::size_t part, std::size_t whole) {
  return whole == 0 ? 0.0 : static_cast<double>(part) / static_cast<double>(whole);
}

std::string Fixed(double value, int decimals = 4) { return FixedText(value, decimals); }

// Columns on a terminal: East Asian characters take two.
std::size_t DisplayWidth(const std::string& utf8) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    DecodedCharacter character = DecodeCharacter(utf8, i);
    width += character.codePoint >= 0x1100 ? 2 : 1;
    i += character.length;
  }
  return width;
}

std::string PadRight(const std::string& text, std::size_t width) {
  std::size_t used = DisplayWidth(text);
  return text + std::string(used < width ? width - used : 0, ' ');
}

std::string PadLeft(const std::string& text, std::size_t width) {
  std::size_t used = DisplayWidth(text);
  return std::string(used < width ? width - used : 0, ' ') + text;
}

std::string JsonString(const std::string& utf8) {
  std::string out;
  AppendJsonString(utf8, &out);
  return out;
}

std::string JsonNumber(double value) { return GeneralText(value); }

const char kNoClassColumn[] = "(none)";

}  // namespace

Evaluation::Evaluation(std::vector<std::string> classNames)
    : classNames_(std::move(classNames)),
      confusion_(classNames_.size(), std::vector<std::size_t>(classNames_.size() + 1, 0)) {}

void Evaluation::Add(int trueClass, const ParsedAnswer& answer, const ModelView& view) {
  const bool unknown = view.unknown || answer.kind == ParsedAnswer::Kind::kNoKnownWords;
  if (trueClass == kOutOfDomain) {
    ++outOfDomain_;
    outOfDomainUnknown_ += unknown ? 1 : 0;
    return;
  }
  ++documents_;
  if (view.first == trueClass || view.second == trueClass) ++top2_;
  if (unknown) ++unknown_;
  const int noClass = static_cast<int>(classNames_.size());
  int column = noClass;
  switch (answer.kind) {
    case ParsedAnswer::Kind::kNoKnownWords:
      ++noKnownWords_;
      break;
    case ParsedAnswer::Kind::kUnrecognised:
      ++unrecognised_;
      break;
    case ParsedAnswer::Kind::kTwoClasses:
      ++twoNameAnswers_;
      if (answer.first == trueClass || answer.second == trueClass) {
        ++trueAmongTwoNames_;
        ++namesAnswered_;
      }
      column = answer.first;
      break;
    case ParsedAnswer::Kind::kOneClass:
      column = answer.first;
      if (answer.first == trueClass) ++namesAnswered_;
      break;
  }
  if (column == trueClass) {
    ++correct_;
    if (!unknown) ++answeredCorrect_;
  }
  ++confusion_[trueClass][column];
}

double Evaluation::Top2Accuracy() const { return Share(top2_, documents_); }
double Evaluation::UnknownRate() const { return Share(unknown_, documents_); }
double Evaluation::AnsweredAccuracy() const {
  return Share(answeredCorrect_, documents_ - unknown_);
}
double Evaluation::OutOfDomainUnknownRate() const {
  return Share(outOfDomainUnknown_, outOfDomain_);
}

double Evaluation::Accuracy() const { return Share(correct_, documents_); }
double Evaluation::TwoNameRate() const { return Share(twoNameAnswers_, documents_); }
double Evaluation::TrueAmongTwoNamesRate() const {
  return Share(trueAmongTwoNames_, twoNameAnswers_);
}
double Evaluation::NamesAnsweredAccuracy() const { return Share(namesAnswered_, documents_); }

std::size_t Evaluation::Support(int c) const {
  std::size_t total = 0;
  for (std::size_t count : confusion_[c]) total += count;
  return total;
}

std::size_t Evaluation::Predicted(int c) const {
  std::size_t total = 0;
  for (const auto& row : confusion_) total += row[c];
  return total;
}

double Evaluation::Precision(int c) const { return Share(confusion_[c][c], Predicted(c)); }
double Evaluation::Recall(int c) const { return Share(confusion_[c][c], Support(c)); }

double Evaluation::F1(int c) const {
  const double p = Precision(c), r = Recall(c);
  return p + r == 0.0 ? 0.0 : 2.0 * p * r / (p + r);
}

double Evaluation::MacroF1() const {
  double sum = 0.0;
  int counted = 0;
  for (int c = 0; c < static_cast<int>(classNames_.size()); ++c) {
    if (Support(c) == 0 && Predicted(c) == 0) continue;
    sum += F1(c);
    ++counted;
  }
  return counted == 0 ? 0.0 : sum / counted;
}

std::string Evaluation::Text() const {
  std::ostringstream out;
  out << "documents          " << documents_;
  if (noKnownWords_) out << " (" << noKnownWords_ << " without a known word, counted as wrong)";
  if (unrecognised_) out << " (" << unrecognised_ << " answers naming no class, counted as wrong)";
  out << "\naccuracy           " << Fixed(Accuracy()) << " (" << correct_ << "/" << documents_
      << ")\n";
  out << "macro-F1           " << Fixed(MacroF1()) << "\n";
  out << "two names          " << Fixed(TwoNameRate()) << " of answers (" << twoNameAnswers_
      << "); true class among the two in " << Fixed(TrueAmongTwoNamesRate()) << " ("
      << trueAmongTwoNames_ << ")\n";
  out << "names answered     " << Fixed(NamesAnsweredAccuracy())
      << " (the true class is one of the names answered)\n";
  out << "top-2 accuracy     " << Fixed(Top2Accuracy())
      << " (the true class is one of the two most probable)\n";
  out << "unknown            " << Fixed(UnknownRate()) << " (" << unknown_
      << " under the confidence " << Fixed(minConfidence_)
      << "); accuracy of the others " << Fixed(AnsweredAccuracy()) << "\n";
  if (outOfDomain_ > 0) {
    out << "out of domain      " << outOfDomain_ << " documents, " << Fixed(OutOfDomainUnknownRate())
        << " flagged unknown (" << outOfDomainUnknown_ << ")\n";
  }
  if (secondsPerDocument_ > 0.0) {
    out << "time per document  " << Fixed(secondsPerDocument_ * 1000.0, 3) << " ms\n";
  }

  std::size_t nameWidth = 8;
  for (const auto& name : classNames_) nameWidth = std::max(nameWidth, DisplayWidth(name));
  out << "\n" << PadRight("class", nameWidth) << "  precision  recall      f1  support\n";
  for (int c = 0; c < static_cast<int>(classNames_.size()); ++c) {
    out << PadRight(classNames_[c], nameWidth) << "  " << PadLeft(Fixed(Precision(c)), 9)
        << "  " << PadLeft(Fixed(Recall(c)), 6) << "  " << PadLeft(Fixed(F1(c)), 6) << "  "
        << PadLeft(std::to_string(Support(c)), 7) << "\n";
  }

  out << "\nconfusion (rows: true class, columns: first name answered)\n";
  std::size_t cell = 6;
  for (const auto& name : classNames_) cell = std::max(cell, DisplayWidth(name));
  out << PadRight("", nameWidth);
  for (const auto& name : classNames_) out << " " << PadLeft(name, cell);
  out << " " << PadLeft(kNoClassColumn, cell) << "\n";
  for (std::size_t r = 0; r < confusion_.size(); ++r) {
    out << PadRight(classNames_[r], nameWidth);
    for (std::size_t count : confusion_[r]) out << " " << PadLeft(std::to_string(count), cell);
    out << "\n";
  }
  return out.str();
}

std::string Evaluation::Json() const {
  std::ostringstream out;
  out << "{\"documents\": " << documents_ << ", \"accuracy\": " << JsonNumber(Accuracy())
      << ", \"macro_f1\": " << JsonNumber(MacroF1())
      << ", \"two_name_rate\": " << JsonNumber(TwoNameRate())
      << ", \"two_name_true_rate\": " << JsonNumber(TrueAmongTwoNamesRate())
      << ", \"names_answered_accuracy\": " << JsonNumber(NamesAnsweredAccuracy())
      << ", \"top2_accuracy\": " << JsonNumber(Top2Accuracy())
      << ", \"min_confidence\": " << JsonNumber(minConfidence_)
      << ", \"unknown_rate\": " << JsonNumber(UnknownRate())
      << ", \"answered_accuracy\": " << JsonNumber(AnsweredAccuracy())
      << ", \"out_of_domain_documents\": " << outOfDomain_
      << ", \"out_of_domain_unknown_rate\": " << JsonNumber(OutOfDomainUnknownRate())
      << ", \"no_known_words\": " << noKnownWords_ << ", \"unrecognised\": " << unrecognised_
      << ", \"seconds_per_document\": " << JsonNumber(secondsPerDocument_)
      << ", \"classes\": [";
  for (std::size_t c = 0; c < classNames_.size(); ++c) {
    out << (c ? ", " : "") << JsonString(classNames_[c]);
  }
  out << "], \"per_class\": [";
  for (int c = 0; c < static_cast<int>(classNames_.size()); ++c) {
    out << (c ? ", " : "") << "{\"class\": " << JsonString(classNames_[c])
        << ", \"precision\": " << JsonNumber(Precision(c))
        << ", \"recall\": " << JsonNumber(Recall(c)) << ", \"f1\": " << JsonNumber(F1(c))
        << ", \"support\": " << Support(c) << "}";
  }
  out << "], \"confusion\": {\"rows\": \"true class\", \"columns\": [";
  for (const auto& name : classNames_) out << JsonString(name) << ", ";
  out << JsonString(kNoClassColumn) << "], \"matrix\": [";
  for (std::size_t r = 0; r < confusion_.size(); ++r) {
    out << (r ? ", " : "") << "[";
    for (std::size_t c = 0; c < confusion_[r].size(); ++c) {
      out << (c ? ", " : "") << confusion_[r][c];
    }
    out << "]";
  }
  out << "]}}\n";
  return out.str();
}

}  // namespace wenlei
