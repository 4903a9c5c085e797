// Where the maker's web server is: a dotted IPv4 address with an optional ":port",
// fixed when the program is built.
#pragma once

#include <string>

std::string ServerAddress();
// Points every request at another server (tests); an empty text restores the built one.
void SetServerAddressForTesting(const std::string& address);
