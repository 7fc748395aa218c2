// labelText on arbitrary class tables and decisions.  Class numbers above
// the limit end the process by design, so the decisions are kept at or
// below it (negative numbers included).  The answer, the names and the
// table afterwards must be those worked out here independently.
#include <map>
#include <string>
#include <vector>

#include "decide/prediction_result.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr char kTarget[] = "label_text";

std::int32_t AtMostTheLimit(std::int32_t number) {
  if (number <= wenlei::kClassLimit) return number;
  return number % (wenlei::kClassLimit + 1);
}

std::string WithoutTag(const std::string& name) {
  const std::size_t space = name.find(' ');
  return space == std::string::npos ? name : name.substr(space + 1);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wenlei::fuzz::FuzzInput input(data, size);

  // The table: entries of a small number (so that decisions hit them) or
  // any 32-bit number, with names of up to 15 bytes.
  wenlei::ClassTable classTable;
  std::map<std::int32_t, std::string> expectedTable;
  const std::size_t entries = input.TakeByte() % 48;
  for (std::size_t i = 0; i < entries && !input.empty(); ++i) {
    const std::uint8_t kind = input.TakeByte();
    const std::int32_t number =
        (kind & 0x80) ? input.TakeInt32() : static_cast<std::int32_t>(kind % 40) - 2;
    std::string name = input.TakeBytes(input.TakeByte() % 16);
    expectedTable.emplace(number, name);
    classTable.Insert(number, std::move(name));
  }

  wenlei::PredictionResult result;
  while (!input.empty()) {
    const std::int32_t first = AtMostTheLimit(static_cast<std::int8_t>(input.TakeByte()));
    const std::int32_t second = AtMostTheLimit(
        input.remaining() >= 4 && (first & 1) ? input.TakeInt32()
                                              : static_cast<std::int8_t>(input.TakeByte()));
    result.decisions.push_back({first, second});
  }

  if (result.decisions.empty()) return 0;
  const wenlei::ClassPair last = result.decisions.back();
  const std::string firstName = expectedTable.count(last.firstClass) ? expectedTable[last.firstClass] : "";
  const std::string secondName = expectedTable.count(last.secondClass) ? expectedTable[last.secondClass] : "";
  std::string expected = WithoutTag(firstName);
  if (secondName != "NULL") expected += " or " + WithoutTag(secondName);

  // Every decision's lookup enters a missing number with the empty name.
  for (const wenlei::ClassPair& pair : result.decisions) {
    expectedTable.emplace(pair.firstClass, "");
    expectedTable.emplace(pair.secondClass, "");
  }
  std::string answer;
  FUZZ_CHECK(kTarget, result.AnswerText(&classTable, &answer).ok(), "a class number within the limit failed");
  FUZZ_CHECK(kTarget, answer == expected, "answer \"" + answer + "\", expected \"" + expected + "\"");
  FUZZ_CHECK(kTarget,
             std::vector<wenlei::ClassTable::Entry>(classTable.begin(), classTable.end()) ==
                 std::vector<wenlei::ClassTable::Entry>(expectedTable.begin(), expectedTable.end()),
             "the class table is not the one the lookups leave");
  return 0;
}
