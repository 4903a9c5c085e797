#include "platform/common/test_switches.h"

#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/sound.h"

namespace platform {
namespace test_switches {

int& MajorVersion() {
  static int major = 0;
  return major;
}

int& MinorVersion() {
  static int minor = -1;
  return minor;
}

int32_t& ScreenDpi() {
  static int32_t dpi = 0;
  return dpi;
}

LocalTime& Now() {
  static LocalTime now;
  return now;
}

std::string& ModulePath() {
  static std::string path;
  return path;
}

MessageBoxResponder& MessageBoxes() {
  static MessageBoxResponder responder;
  return responder;
}

ShellOpenRecorder& ShellOpen() {
  static ShellOpenRecorder recorder;
  return recorder;
}

std::map<int, std::string>& SpecialFolders() {
  static std::map<int, std::string> folders;
  return folders;
}

bool& RecordSounds() {
  static bool record = false;
  return record;
}

std::vector<std::string>& PlayedSounds() {
  static std::vector<std::string> played;
  return played;
}

int& ValueWritesLeft() {
  static int left = -1;
  return left;
}

bool TakeValueWrite() {
  int& left = ValueWritesLeft();
  if (left < 0)
    return true;
  if (left == 0)
    return false;
  --left;
  return true;
}

std::optional<ElevationType>& Elevation() {
  static std::optional<ElevationType> type;
  return type;
}

ElevatedStarter& ElevatedStarts() {
  static ElevatedStarter starter;
  return starter;
}

}  // namespace test_switches

void SetElevationForTesting(ElevationType type) {
  test_switches::Elevation() = type;
}

void ClearElevationForTesting() {
  test_switches::Elevation().reset();
}

void SetElevatedStarterForTesting(ElevatedStarter starter) {
  test_switches::ElevatedStarts() = std::move(starter);
}

void SetMajorVersionForTesting(int major) { test_switches::MajorVersion() = major; }

void SetMinorVersionForTesting(int minor) {
  test_switches::MinorVersion() = minor;
}

void SetNowForTesting(const LocalTime& time) { test_switches::Now() = time; }

void SetModulePathForTesting(const std::string& path) { test_switches::ModulePath() = path; }

void SetMessageBoxResponderForTesting(MessageBoxResponder responder) {
  test_switches::MessageBoxes() = std::move(responder);
}

void SetShellOpenRecorderForTesting(ShellOpenRecorder recorder) {
  test_switches::ShellOpen() = std::move(recorder);
}

void FailValueWritesAfterForTesting(int count) {
  test_switches::ValueWritesLeft() = count < 0 ? -1 : count;
}

void SetSpecialFolderForTesting(int folder_number, const std::string& path) {
  if (path.empty())
    test_switches::SpecialFolders().erase(folder_number);
  else
    test_switches::SpecialFolders()[folder_number] = path;
}

void RecordPlayedSoundsForTesting(bool record) {
  test_switches::RecordSounds() = record;
  if (!record)
    test_switches::PlayedSounds().clear();
}

std::vector<std::string> TakePlayedSoundsForTesting() {
  std::vector<std::string> played;
  played.swap(test_switches::PlayedSounds());
  return played;
}

}  // namespace platform
