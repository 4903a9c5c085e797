// Text comparisons without regard to case, for the single-byte texts the program moves.
#pragma once

#include <string>

std::string LowerCase(std::string text);
bool EqualsIgnoringCase(const std::string& a, const std::string& b);
// Position of the first occurrence of `what` in `text` without regard to case, or npos.
std::string::size_type FindIgnoringCase(const std::string& text, const std::string& what,
                                        std::string::size_type from = 0);
