// The rating of an entry's file from the two rule files beside the program
// (prerules.ini by entry name and file, virrules.ini by digest), with its cache.
#pragma once

#include <cstdint>
#include <string>

// What the rule files said, by "entry<#>file" and by digest; cleared every day.
inline constexpr char kCachedKey[] = "HKLM\\SOFTWARE\\Runwarden\\Cached";

// Rating results: code, "<#>", text.
inline constexpr char kUnknownRating[] = "?<#>Unknown File";

std::string CheckPreRules(const std::string& entry_name, const std::string& file_name);
std::string CheckVirusRules(const std::string& hash);
std::string DescribeRating(const std::string& code, int32_t& colour, int32_t& percent);
