#include "app/Settings.h"

#include "app/ErrorScope.h"
#include "app/TextFunctions.h"
#include "registry/Registry.h"

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

namespace {

bool OptionValue(const std::string& text) {
  if (EqualsIgnoringCase(text, "True")) return true;
  if (EqualsIgnoringCase(text, "False")) return false;
  return TextToInt32(text) != 0;
}

int32_t ScrollPosition(const std::string& text) {
  int32_t value = TextToInt32(text);
  if (value < -32768 || value > 32767) throw RuntimeError(6, "Overflow");
  return value;
}

}  // namespace

std::string SettingName(const platform::Control& control) {
  int32_t index = control.Index() == platform::kNotInArray ? 0 : control.Index();
  return control.Name() + "(" + std::to_string(index) + ")";
}

void LoadFormSettings(const std::vector<platform::Control*>& controls) {
  ErrorScope error(ErrorScope::AtEnd::kClear);
  for (platform::Control* control : controls) {
    error.Clear();
    std::string name = SettingName(*control);
    std::string type = control->TypeName();
    error.Try([&] {
      if (type == "CheckBox" || type == "HScrollBar") {
        std::string text = ReadRegValue(kSettingsKey, name, std::to_string(control->Value()));
        control->SetValue(type == "CheckBox" ? TextToInt32(text) : ScrollPosition(text));
      } else if (type == "TextBox") {
        control->SetCaption(ReadRegValue(kSettingsKey, name, control->Caption()));
      } else if (type == "OptionButton") {
        std::string text = ReadRegValue(kSettingsKey, name, control->Value() ? "True" : "False");
        control->SetValue(OptionValue(text) ? 1 : 0);
      }
    });
  }
}

std::string SettingText(const platform::Control& control) {
  std::string type = control.TypeName();
  if (type == "CheckBox" || type == "HScrollBar")
    return std::to_string(control.Value());
  if (type == "TextBox")
    return control.Caption();
  if (type == "OptionButton")
    return control.Value() ? "True" : "False";
  return "";
}

long SaveFormSettings(const std::vector<platform::Control*>& controls) {
  ErrorScope error(ErrorScope::AtEnd::kClear);
  long first_refusal = 0;
  for (platform::Control* control : controls) {
    error.Clear();
    std::string type = control->TypeName();
    if (type != "CheckBox" && type != "HScrollBar" && type != "TextBox" && type != "OptionButton")
      continue;
    error.Try([&] {
      long status = WriteRegValue(kSettingsKey, SettingName(*control), SettingText(*control));
      if (status && !first_refusal)
        first_refusal = status;
    });
  }
  return first_refusal;
}
