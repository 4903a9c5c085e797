#include "app/basSettings.h"

#include "app/ErrorScope.h"
#include "registry/basReg.h"

bool OptAutoBlockEntries = false;
bool OptAlert = false;
bool OptTerminateBlockedForever = false;
bool OptBlockByHash = false;
bool OptAutoBlockMissing = false;
bool OptAutoBlockHarmful = false;
bool OptAutoUpdate = false;
bool OptSendErrors = false;

namespace {

bool ReadFlag(const char* value_name, const char* when_missing) {
  return ReadRegValue(kSettingsKey, value_name, when_missing) == "1";
}

}  // namespace

void LoadOptions() {
  ErrorScope error;
  error.Try([] {
    OptAutoBlockEntries = ReadFlag("chkAuto_Block(1)", "1");
    OptAlert = ReadFlag("ALERT", "0");
    OptTerminateBlockedForever = ReadFlag("chkTerminate_(2)", "1");
    OptBlockByHash = ReadFlag("chkBlock_Detection(3)", "1");
    OptAutoBlockMissing = ReadFlag("chkAuto_Block(4)", "1");
    OptAutoBlockHarmful = ReadFlag("chkAuto_Block(5)", "1");
    OptAutoUpdate = ReadFlag("chkAuto_Update(6)", "1");
    OptSendErrors = ReadFlag("chkSend_Errors(7)", "1");
  });
}
