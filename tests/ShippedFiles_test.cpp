// The files that ship beside the program, read from the program's folder in the build
// tree with the program's own readers.
#include <gtest/gtest.h>

#include <regex>

#include "app/RuleIni.h"
#include "guard/FileHash.h"
#include "guard/Md2.h"
#include "guard/Rating.h"
#include "platform/crypto.h"
#include "platform/files.h"
#include "support/RegistrySandbox.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"

namespace {

std::string AppDirFile(const std::string& name) {
  std::string folder = RUNWARDEN_APP_DIR_PATH;
  for (char& c : folder)
    if (c == '/')
      c = '\\';
  return folder + "\\" + name;
}

std::string Shipped(const std::string& name) {
  std::string bytes;
  EXPECT_TRUE(platform::ReadWholeFile(AppDirFile(name), &bytes)) << AppDirFile(name);
  return bytes;
}

class ShippedRulesTest : public ::testing::Test {
 protected:
  ShippedRulesTest() : program_(AppDirFile("Runwarden.exe")), now_({2026, 3, 5, 10, 0, 0}) {}
  RegistrySandbox sandbox_;
  ProgramLocation program_;
  ScopedNow now_;
};

}  // namespace

// Specific sections come before the patterns that would also match them, and a rating
// holds only for the file the entry is known to start.
TEST_F(ShippedRulesTest, PreRulesRateWellKnownEntriesThroughTheProgramsReader) {
  const char* rows[][3] = {
      {"SecurityHealth", "securityhealthsystray.exe", "Y<#>Windows Security notification icon"},
      {"OneDriveSetup", "onedrivesetup.exe", "U<#>Finishes setting up OneDrive for a new user"},
      {"OneDrive", "onedrive.exe", "U<#>Microsoft OneDrive sync client"},
      {"MicrosoftEdgeAutoLaunch_0A1B2C3D", "msedge.exe", "N<#>Microsoft Edge preloaded at logon"},
      {"SecurityHealth", "evil.exe", kUnknownRating},
      {"No Such Entry", "x.exe", kUnknownRating},
  };
  for (const auto& row : rows)
    EXPECT_EQ(CheckPreRules(row[0], row[1]), row[2]) << row[0];
}

TEST_F(ShippedRulesTest, EverySectionOfPreRulesHasAFileACodeAndADescription) {
  std::string text = Shipped("prerules.ini");
  ASSERT_NE(text.find("\r\n"), std::string::npos) << "the reader needs CR LF line ends";
  std::regex header(R"(\r\n\[([^\]\r\n]+)\]\r\n)");
  int sections = 0;
  std::string rules = AppDirFile("prerules.ini");
  for (std::sregex_iterator it(text.begin(), text.end(), header), end; it != end; ++it) {
    std::string name = (*it)[1];
    ++sections;
    // A pattern's own name is matched by itself only where * stands for nothing.
    std::string entry = std::regex_replace(name, std::regex(R"(\*)"), "");
    std::string code = ReadExIniValue(rules, entry, "C", "");
    EXPECT_TRUE(code == "Y" || code == "N" || code == "U" || code == "X") << name << ": " << code;
    EXPECT_FALSE(ReadExIniValue(rules, entry, "F", "").empty()) << name;
    EXPECT_FALSE(ReadExIniValue(rules, entry, "D", "").empty()) << name;
  }
  EXPECT_GE(sections, 40);
}

TEST_F(ShippedRulesTest, TheEicarTestFileIsRatedHarmfulByItsDigest) {
  TestFolder folder;
  for (const std::string& eicar : {EicarText(), EicarText() + "\r\n"}) {
    std::string path = folder.Write("eicar.com", eicar);
    EXPECT_EQ(CheckVirusRules(HashFile(path, platform::kAlgorithmMd2)), "X<#>EICAR-Test-File");
  }
  EXPECT_EQ(CheckVirusRules(Md2Hex("MZ")), kUnknownRating);
}

TEST(ShippedAssetsTest, TheHelpPageShipsAndTheDetectionSoundIsAShortAudibleWave) {
  EXPECT_NE(Shipped("help.htm").find("<html"), std::string::npos);
  std::string wav = Shipped("detection.wav");
  ASSERT_GT(wav.size(), 44u);
  auto u16 = [&](std::size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(wav[at]) | static_cast<uint8_t>(wav[at + 1])
                                                                     << 8);
  };
  auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
  // RIFF, PCM (which every Windows plays) of 16 bits, its data right after the format.
  EXPECT_EQ(wav.substr(0, 16) + wav.substr(36, 4), "RIFF" + wav.substr(4, 4) + "WAVEfmt data");
  EXPECT_EQ(u32(4), wav.size() - 8);
  EXPECT_EQ(u16(20), 1u);
  EXPECT_EQ(u16(34), 16u);
  double seconds = static_cast<double>(u32(40)) / (u16(22) * 2) / u32(24);
  EXPECT_GT(seconds, 0.3);
  EXPECT_LT(seconds, 1.5);
  int peak = 0;
  for (std::size_t at = 44; at + 1 < wav.size(); at += 2)
    peak = std::max(peak, std::abs(static_cast<int16_t>(u16(at))));
  EXPECT_GT(peak, 8000);   // audible
  EXPECT_LT(peak, 32000);  // never clipped
}
