#pragma once

#include <cstdint>

// The platform's major version: 5 for 2000/XP/2003, 6 for Vista and later.
int32_t GetOSMajorVersion();
