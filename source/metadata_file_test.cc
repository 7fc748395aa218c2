#include "source/metadata_file.h"

#include <gtest/gtest.h>

#include "testutil/test_support.h"
#include "util/sha256.h"

namespace wenlei {
namespace {

using testing::TempDir;
using testing::WriteFile;

TEST(MetadataFileTest, WrittenMetadataReadsBackAndDigestsMatchTheFiles) {
  TempDir dir;
  const std::string prefix = dir.prefix();
  WriteFile(prefix + "Source.dat", "abc");
  SetMetadata written;
  ASSERT_TRUE(DigestFile(prefix + "Source.dat", &written.sourceSha256).ok());
  EXPECT_EQ(written.sourceSha256, Sha256Hex("abc"));
  written.modelSha256 = Sha256Hex("model");
  written.classNames = {{1, "体育 运动"}, {2, "财经"}};
  written.trainer = "libsvm c_svc linear C=4 vocabulary 5000";
  written.dictionarySha256 = Sha256Hex("dictionary");
  ASSERT_TRUE(WriteMetadataFile(prefix, written).ok());
  SetMetadata read;
  ASSERT_TRUE(ReadMetadataFile(prefix, &read).ok());
  EXPECT_EQ(read.sourceSha256, written.sourceSha256);
  EXPECT_EQ(read.modelSha256, written.modelSha256);
  EXPECT_EQ(read.confidenceSha256, "");
  EXPECT_EQ(read.dictionarySha256, written.dictionarySha256);
  EXPECT_EQ(read.classNames, written.classNames);
  EXPECT_EQ(read.trainer, written.trainer);
  EXPECT_EQ(ReadMetadataFile(prefix + "none/", &read).code(), Status::Code::kNotFound);
}

TEST(MetadataFileTest, LinesAreCheckedAndUnknownKeysIgnored) {
  const std::string digest(64, 'A');
  struct Case {
    std::string text;
    const char* fault;  // empty: accepted
  };
  const Case cases[] = {
      {"\xEF\xBB\xBF# note\r\n\nlater_key whatever\r\nmodel_sha256 " + digest + "\r\n", ""},
      {"source_sha256 abc\n", "m.txt:1: source_sha256 is not 64 hexadecimal digits"},
      {"model_sha256 " + digest + "\nmodel_sha256 " + digest + "\n", "m.txt:2: model_sha256 is repeated"},
      {"class 0 x\n", "m.txt:1: expected \"class NUMBER NAME\" with a number from 1"},
      {"class 2\n", "m.txt:1: class 2 has no name"},
      {"class 3 a\nclass 3 b\n", "m.txt:2: class 3 is named twice"},
      {"trainer a\ntrainer b\n", "m.txt:2: trainer is repeated"},
      {"dictionary_sha256 " + digest + "0\n", "m.txt:1: dictionary_sha256 is not 64 hexadecimal digits"},
      {"class 1 \xE4\xBD\n", "m.txt:1: class 1's name is not UTF-8"},
      {"class 1 \xC0\xAF\n", "m.txt:1: class 1's name is not UTF-8"},  // overlong
      {"trainer \xED\xA0\x80\n", "m.txt:1: trainer is not UTF-8"},    // a surrogate
  };
  for (const Case& c : cases) {
    SetMetadata metadata;
    const Status status = ParseMetadata(c.text, "m.txt", &metadata);
    EXPECT_EQ(status.message(), c.fault) << c.text;
    if (status.ok()) {
      EXPECT_EQ(metadata.modelSha256, std::string(64, 'a'));
    }
  }
}

}  // namespace
}  // namespace wenlei
