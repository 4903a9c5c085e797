// The files that ship beside the program, read from the program's folder in the build
// tree with the program's own readers.
#include <gtest/gtest.h>

#include <regex>

#include "app/modINI.h"
#include "app/readExINI.h"
#include "guard/Md2.h"
#include "guard/basCalculateHash.h"
#include "guard/basGuard.h"
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

TEST_F(ShippedRulesTest, PreRulesRateWellKnownEntriesThroughTheProgramsReader) {
  EXPECT_EQ(CheckPreRules("SecurityHealth", "securityhealthsystray.exe"),
            "Y<#>Windows Security notification icon");
  EXPECT_EQ(CheckPreRules("RtHDVCpl", "ravcpl64.exe"), "U<#>Realtek HD Audio Manager");
  EXPECT_EQ(CheckPreRules("Steam", "steam.exe"), "N<#>Steam game client");
  // Specific sections before the patterns that would also match them.
  EXPECT_EQ(CheckPreRules("OneDriveSetup", "onedrivesetup.exe"),
            "U<#>Finishes setting up OneDrive for a new user");
  EXPECT_EQ(CheckPreRules("OneDrive", "onedrive.exe"), "U<#>Microsoft OneDrive sync client");
  EXPECT_EQ(CheckPreRules("MicrosoftEdgeAutoLaunch_0A1B2C3D", "msedge.exe"),
            "N<#>Microsoft Edge preloaded at logon");
  EXPECT_EQ(CheckPreRules("com.squirrel.Teams.Teams", "update.exe").substr(0, 4), "U<#>");
  // The rating holds only for the file the entry is known to start.
  EXPECT_EQ(CheckPreRules("SecurityHealth", "evil.exe"), kUnknownRating);
  EXPECT_EQ(CheckPreRules("No Such Entry", "x.exe"), kUnknownRating);
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
    std::string digest = HashFile(path, platform::kAlgorithmMd2);
    ASSERT_EQ(digest, Md2Hex(eicar));
    EXPECT_EQ(GetIniValue(AppDirFile("virrules.ini"), digest, "name", ""), "EICAR-Test-File");
    EXPECT_EQ(CheckVirusRules(digest), "X<#>EICAR-Test-File");
  }
  EXPECT_EQ(CheckVirusRules(Md2Hex("MZ")), kUnknownRating);
}

TEST(ShippedAssetsTest, TheDetectionSoundIsAShortAudibleWave) {
  std::string wav = Shipped("detection.wav");
  ASSERT_GT(wav.size(), 44u);
  auto u16 = [&](std::size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(wav[at]) | static_cast<uint8_t>(wav[at + 1])
                                                                     << 8);
  };
  auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
  EXPECT_EQ(wav.substr(0, 4), "RIFF");
  EXPECT_EQ(u32(4), wav.size() - 8);
  EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(u16(20), 1u);  // PCM, which every Windows plays
  uint32_t channels = u16(22), rate = u32(24), bits = u16(34);
  EXPECT_EQ(bits, 16u);
  ASSERT_EQ(wav.substr(36, 4), "data");
  uint32_t samples = u32(40) / (channels * 2);
  double seconds = static_cast<double>(samples) / rate;
  EXPECT_GT(seconds, 0.3);
  EXPECT_LT(seconds, 1.5);
  int peak = 0;
  for (std::size_t at = 44; at + 1 < wav.size(); at += 2)
    peak = std::max(peak, std::abs(static_cast<int16_t>(u16(at))));
  EXPECT_GT(peak, 8000);   // audible
  EXPECT_LT(peak, 32000);  // never clipped
}

TEST(ShippedAssetsTest, TheHelpPageExplainsTheRunsTheButtonsTheOptionsAndTheRestore) {
  std::string help = Shipped("help.htm");
  // As a reader sees it: one blank for every run of white space.
  help = std::regex_replace(std::regex_replace(help, std::regex("&nbsp;"), " "),
                            std::regex(R"(\s+)"), " ");
  for (const char* text :
       {"<code>/r</code>", "<code>/s</code>", ">Allow<", ">Block<", ">Block Forever<",
        ">Community<", "log.log", "errlog.log", "msconfig",
        "HKLM\\SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg\\",
        "HKLM\\SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupfolder\\", "%windir%\\pss",
        // The options window's captions and explanations, word for word.
        "Read Help / About.", "Check for latest updates.", "Reset allowed and blocked rules.",
        "Read program log.", "Enable / See blocked entries.", "Enable/Disable Runwarden",
        "Load guard to provide startup protection. It starts before loading any application "
        "and mutes all unvarified entries and quilts, again starts on startup and shows a "
        "dialog for each unvarified entry.",
        "Auto Block Harmfull files based on detection database",
        "This will block all the harmful files without showing a dialog. We have a database "
        "of more than 65000 harmful files.",
        "Auto Block Entry's",
        "Blocks all startup entries after showing dialog for 30 seconds, if no user "
        "intraction occurs.",
        "Terminate 'Blocked Forever' entry",
        "Terminates 'Blocked Forever' entry if found running. This will help to stop "
        "spreading some common harmful executables.",
        "Block detection based on md5 checksum",
        "This will help when multiple executables with same content spreaded on a computer "
        "tries to add to startup.",
        "Auto Block Invalid or Not existing file links",
        "This will disable all the invalid entrys like 'File not found' errors without "
        "showing a dialog.",
        "Use Community as default action for autoblock",
        "This will check community (if internet available, if people allowded that file "
        "(more than blocked )) and takes default action.",
        "Auto Update", "This will update the program automatically.", "Send Errors",
        "This will send error reports automatically.", "Window Transparency"})
    EXPECT_NE(help.find(text), std::string::npos) << text;
}
