#ifndef WENLEI_SOURCE_CLASS_NAMES_H_
#define WENLEI_SOURCE_CLASS_NAMES_H_

#include <string>
#include <vector>

namespace wenlei {

// A class name as answers show it: everything after the first space, when
// the name has one, as a name may carry a tag in front of the name proper.
std::string WithoutTag(const std::string& name);

// The resource file's class-name field holds 9 GBK bytes, but users name
// classes as they like; the full names live in the set's metadata file.
//
// Gives the name each class keeps in the resource file, for GBK names in
// class order: a name that fits stays as it is, and its answers follow the
// tag rule; a longer one is the user's own name, answered whole by the
// modern interface, and becomes the longest prefix of it (spaces made '_'
// so that no part of it is taken for a tag) that fits on a character
// boundary, or, when that prefix is already some class's answer form, a
// shorter prefix and "~1", "~2", ... .  The same names always give the same
// forms.
std::vector<std::string> ShortClassNames(const std::vector<std::string>& gbkNames);

}  // namespace wenlei

#endif  // WENLEI_SOURCE_CLASS_NAMES_H_
