#include "app/OsVersion.h"

#include "platform/system.h"

int32_t GetOSMajorVersion() { return platform::MajorVersion(); }
