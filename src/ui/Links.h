// Links: web addresses opened in one of the browsers the program knows.
#pragma once

#include <string>

// Opens Url in the first of Internet Explorer, Firefox and Opera found under the
// "programfiles" folder, passing the address as the browser's parameter. Nothing
// happens when none of them is there.
void OpenUrlInBrowser(const std::string& url);
