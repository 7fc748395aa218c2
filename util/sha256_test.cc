#include "util/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace wenlei {
namespace {

// Known answers from FIPS 180-4's examples and the NIST test vectors,
// covering every padding case (less than 56 bytes left, 56 to 63, a full
// block) and input fed in uneven pieces.
TEST(Sha256Test, KnownAnswers) {
  struct Case {
    std::string input;
    const char* digest;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sha256Hex(c.input), c.digest) << c.input.size() << " bytes";
    Sha256 plain(Sha256::Instructions::kPortable);
    plain.Update(c.input);
    EXPECT_EQ(plain.FinishHex(), c.digest) << c.input.size() << " bytes, plain compression";
    Sha256 pieces;
    for (std::size_t at = 0, step = 1; at < c.input.size(); at += step, step = step * 2 + 1) {
      pieces.Update(std::string_view(c.input).substr(at, step));
    }
    EXPECT_EQ(pieces.FinishHex(), c.digest) << c.input.size() << " bytes in pieces";
  }
}

// The processor's SHA instructions, where it has them, give the plain
// compression's digests, for every length around the block boundaries.
TEST(Sha256Test, InstructionsAgreeWithThePlainCompression) {
  std::string bytes;
  for (std::size_t i = 0; i < 1000; ++i) bytes.push_back(static_cast<char>((i * 7919u) >> 3));
  for (std::size_t length : {0u, 55u, 56u, 64u, 65u, 127u, 128u, 640u, 1000u}) {
    Sha256 best, plain(Sha256::Instructions::kPortable);
    best.Update(std::string_view(bytes).substr(0, length));
    plain.Update(std::string_view(bytes).substr(0, length));
    EXPECT_EQ(best.FinishHex(), plain.FinishHex()) << length << " bytes";
  }
}

}  // namespace
}  // namespace wenlei
