#ifndef WENLEI_TESTUTIL_SMALL_FILE_SYSTEM_H_
#define WENLEI_TESTUTIL_SMALL_FILE_SYSTEM_H_

#include <cstddef>
#include <functional>
#include <string>

#include "testutil/test_support.h"

namespace wenlei::testing {

// Runs body in a forked child (as RunInChild) that has a file system of its
// own: a tmpfs of the given size mounted at a fresh directory, passed to
// body, in a private mount namespace, so nothing outside the child sees it
// and it goes away with the child.  Needs root or unprivileged user
// namespaces.  When neither is there, returns false with the reason in
// *unavailable and body does not run.
bool RunOnSmallFileSystem(std::size_t bytes, const std::function<void(const std::string&)>& body,
                          ChildOutcome* outcome, std::string* unavailable);

// Inside such a child: fills the file system at directory until no byte is
// left, with one file that it names.
std::string FillFileSystem(const std::string& directory);

// Inside such a child: makes path read-only for everyone, root included
// (a read-only bind mount of the path on itself).  False when refused.
bool MakeReadOnly(const std::string& path);

}  // namespace wenlei::testing

#endif  // WENLEI_TESTUTIL_SMALL_FILE_SYSTEM_H_
