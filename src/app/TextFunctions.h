// The text operations the program uses everywhere, on the single-byte texts it moves.
// Replacements are made in one pass from the left, like the classic Replace.
#pragma once

#include <string>
#include <vector>

std::string LowerCase(std::string text);
std::string UpperCase(std::string text);
bool EqualsIgnoringCase(const std::string& a, const std::string& b);
// Position of the first occurrence of `what` in `text` without regard to case, or npos.
std::string::size_type FindIgnoringCase(const std::string& text, const std::string& what,
                                        std::string::size_type from = 0);

// The pieces between the separators, empty pieces kept: "a,,b" gives "a", "", "b".
std::vector<std::string> SplitText(const std::string& text, const std::string& separator);
std::string ReplaceAll(const std::string& text, const std::string& what, const std::string& with);
std::string RemoveAll(const std::string& text, const std::string& what);
std::string RemoveAllIgnoringCase(const std::string& text, const std::string& what);
