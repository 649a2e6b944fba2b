// The share mount files access_nfs and access_smb: their exact bytes, how typed values are made
// safe for the television's shell, and what lands on the drive when the master cannot be written.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/generated_files.h"
#include "engine/shell_text.h"
#include "payload_fixture.h"

namespace talvex::build::testing {
namespace {

constexpr std::string_view kDefaultSmb =
    "USER=\"admin\" # \nPASSWD=\"vortelin\" # \nSERVER=\"192.168.0.1\" # \nSHARES=\"\" # \r\n";

TEST(ShellTextTest, EscapesExactlyTheFourCharactersSpecialInsideDoubleQuotes) {
  EXPECT_EQ(EscapeForDoubleQuotes("plain 192.168.0.1 'single' !*?~#;&|<>()"),
            "plain 192.168.0.1 'single' !*?~#;&|<>()");
  EXPECT_EQ(EscapeForDoubleQuotes(R"(a"b$c`d\e)"), R"(a\"b\$c\`d\\e)");
  EXPECT_EQ(EscapeForDoubleQuotes(R"(\\)"), R"(\\\\)");
}

TEST(ShellTextTest, Cp1251CoversAsciiAndCyrillicAndRefusesTheRest) {
  EXPECT_EQ(Utf8ToCp1251("admin 09"), "admin 09");
  EXPECT_EQ(Utf8ToCp1251("АЯая"), "\xC0\xDF\xE0\xFF");
  EXPECT_EQ(Utf8ToCp1251("Ёё№€—"), "\xA8\xB8\xB9\x88\x97");
  EXPECT_EQ(Utf8ToCp1251("Ґґ\u00A0"), "\xA5\xB4\xA0");

  EncodingProblem problem;
  EXPECT_FALSE(Utf8ToCp1251("ok\u263A", &problem));  // a smiley has no byte
  EXPECT_EQ(problem.code_point, U'\u263A');
  EXPECT_EQ(problem.offset, 2u);
  EXPECT_FALSE(Utf8ToCp1251("\u0098"));  // the one unassigned byte maps from nothing
  EXPECT_FALSE(Utf8ToCp1251("\u00E9"));  // Latin letters outside ASCII are not in it
  for (std::string_view malformed : {"\xC0\x80", "\xED\xA0\x80", "\xE0\x80", "\xFF", "\xD0"}) {
    EXPECT_FALSE(Utf8ToCp1251(malformed, &problem)) << malformed;
    EXPECT_TRUE(problem.malformed);
  }
}

TEST(AccessFilesTest, NfsBytesFollowTheTransportBoxGrayedCountingAsUnticked) {
  options::BuildOptions options;
  options.CheckUDP = CheckState::kChecked;
  EXPECT_EQ(ComposeGeneratedFile(kAccessNfsPieces, options).bytes,
            "SERVER=\"192.168.0.1\" # \nM_OPTS=\"soft,udp,nolock\" # \r\n");
  options.CheckUDP = CheckState::kGrayed;
  options.TextIP = "  10.0.0.7 ";  // a pasted address: its spaces would break the mount
  EXPECT_EQ(ComposeGeneratedFile(kAccessNfsPieces, options).bytes,
            "SERVER=\"10.0.0.7\" # \nM_OPTS=\"soft,tcp,nolock\" # \r\n");
  options.TextIP.clear();
  options.CheckUDP = CheckState::kUnchecked;
  EXPECT_EQ(ComposeGeneratedFile(kAccessNfsPieces, options).bytes,
            "SERVER=\"\" # \nM_OPTS=\"soft,tcp,nolock\" # \r\n");
}

TEST(AccessFilesTest, SmbBytesForInitialEmptyShareCyrillicAndSpecialValues) {
  options::BuildOptions options;
  EXPECT_EQ(ComposeGeneratedFile(kAccessSmbPieces, options).bytes, kDefaultSmb);

  options.TexSMBlog = " Админ";  // only addresses lose their spaces
  options.TexSMBpas = R"(p"$`\)";
  options.TexSMBip = "192.168.1.20 ";
  options.TexSMBsh = "Видео ";
  EXPECT_EQ(ComposeGeneratedFile(kAccessSmbPieces, options).bytes,
            "USER=\" \xC0\xE4\xEC\xE8\xED\" # \n"
            "PASSWD=\"p\\\"\\$\\`\\\\\" # \n"
            "SERVER=\"192.168.1.20\" # \n"
            "SHARES=\"\xC2\xE8\xE4\xE5\xEE \" # \r\n");
}

TEST(AccessFilesTest, ALineBreakOrAnUnencodableCharacterRefusesTheFileNamingTheField) {
  options::BuildOptions options;
  options.TexSMBpas = "secret\nrm -rf /";
  GeneratedContent content = ComposeGeneratedFile(kAccessSmbPieces, options);
  EXPECT_FALSE(content.ok());
  EXPECT_NE(content.refusal.find("TexSMBpas"), std::string::npos) << content.refusal;
  EXPECT_TRUE(content.bytes.empty());

  options.TexSMBpas = "ok";
  options.TexSMBsh = "share\r";
  EXPECT_NE(ComposeGeneratedFile(kAccessSmbPieces, options).refusal.find("TexSMBsh"),
            std::string::npos);

  options.TexSMBsh.clear();
  options.TexSMBlog = "user\u263A";
  content = ComposeGeneratedFile(kAccessSmbPieces, options);
  EXPECT_NE(content.refusal.find("TexSMBlog"), std::string::npos) << content.refusal;
  EXPECT_NE(content.refusal.find("U+263A"), std::string::npos) << content.refusal;

  options.TextIP = "1.2.3.4\n";
  EXPECT_NE(ComposeGeneratedFile(kAccessNfsPieces, options).refusal.find("TextIP"),
            std::string::npos);
}

#ifndef _WIN32
// What the shell of the television gets for `variable` after reading the file.
std::string ReadBackThroughShell(const std::string& file, const std::string& variable) {
  const std::string command = "sh -c '. \"" + file + "\"; printf %s \"$" + variable + "\"'";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return "<popen failed>";
  std::string output;
  char buffer[256];
  while (std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, got);
  ::pclose(pipe);
  return output;
}
#endif

TEST_F(PayloadTest, TheShellReadsBackExactlyWhatWasTyped) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a POSIX shell";
#else
  options::BuildOptions options = AllUnticked();
  options.Chsmb = CheckState::kChecked;
  options.TexSMBlog = "Админ";
  options.TexSMBpas = R"(a"b$HOME`id`c\d$(echo pwned)\)";
  options.TexSMBsh = "my share";
  Build(options);
  const std::string file = Drive(kAccessSmbPath);
  EXPECT_EQ(ReadBackThroughShell(file, "PASSWD"), options.TexSMBpas);
  EXPECT_EQ(ReadBackThroughShell(file, "USER"), "\xC0\xE4\xEC\xE8\xED");
  EXPECT_EQ(ReadBackThroughShell(file, "SERVER"), "192.168.0.1");
  EXPECT_EQ(ReadBackThroughShell(file, "SHARES"), "my share");
#endif
}

TEST_F(PayloadTest, EachFileIsWrittenIntoTheKitAndCopiedOnlyWhenItsBoxIsTicked) {
  MakeFile(Kit(kAccessSmbPath), "stale smb settings");
  options::BuildOptions options = AllUnticked();
  options.ChNfs = CheckState::kChecked;
  options.CheckUDP = CheckState::kChecked;
  const BuildResult result = Build(options);

  const std::string nfs = "SERVER=\"192.168.0.1\" # \nM_OPTS=\"soft,udp,nolock\" # \r\n";
  EXPECT_EQ(ReadBytes(Kit(kAccessNfsPath)), nfs);
  EXPECT_EQ(ReadBytes(Drive(kAccessNfsPath)), nfs);
  EXPECT_EQ(ReadBytes(Kit(kAccessSmbPath)), "stale smb settings");
  EXPECT_FALSE(PathExists(Drive(kAccessSmbPath)));
  EXPECT_TRUE(result.failures.empty());

  options.ChNfs = CheckState::kGrayed;
  options.Chsmb = CheckState::kGrayed;
  Build(options);
  EXPECT_FALSE(PathExists(Drive(kAccessNfsPath)));
  EXPECT_FALSE(PathExists(Drive(kAccessSmbPath)));
}

TEST_F(PayloadTest, BuildingTwiceLeavesTheMasterHoldingTheLastValues) {
  options::BuildOptions options;
  options.TexSMBpas = "first";
  Build(options);
  options.TexSMBpas = "second";
  options.TexSMBsh = "films";
  Build(options);
  const std::string expected =
      "USER=\"admin\" # \nPASSWD=\"second\" # \nSERVER=\"192.168.0.1\" # \nSHARES=\"films\" # \r\n";
  EXPECT_EQ(ReadBytes(Kit(kAccessSmbPath)), expected);
  EXPECT_EQ(ReadBytes(Drive(kAccessSmbPath)), expected);
}

TEST_F(PayloadTest, AFailedMasterWritePutsTheFreshValuesOnTheDriveNotTheStaleMaster) {
  MakeFile(Kit(kAccessSmbPath), "USER=\"old\" # \r\n");
  platform::FaultInjectingFileSystem faulty(fs());
  faulty.FailOn(platform::FsOperation::kWriteFile, Kit(kAccessSmbPath), 13, "Access is denied");
  const BuildResult result = Build(options::BuildOptions{}, faulty);

  EXPECT_EQ(ReadBytes(Drive(kAccessSmbPath)), kDefaultSmb);
  EXPECT_EQ(ReadBytes(Kit(kAccessSmbPath)), "USER=\"old\" # \r\n");
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(result.failures[0].action, action::kWriteFile);
  EXPECT_EQ(result.failures[0].path, Kit(kAccessSmbPath));
  EXPECT_EQ(result.failures[0].code, 13);
  // The master is still written first when it can be: access_nfs took the usual way.
  EXPECT_EQ(ReadBytes(Kit(kAccessNfsPath)), ReadBytes(Drive(kAccessNfsPath)));
}

TEST_F(PayloadTest, ARefusedFileIsWrittenNowhereAndTheBuildGoesOn) {
  MakeFile(Kit(kAccessSmbPath), "stale");
  options::BuildOptions options;
  options.TexSMBpas = "two\nlines";
  const BuildResult result = Build(options);

  EXPECT_EQ(ReadBytes(Kit(kAccessSmbPath)), "stale");
  EXPECT_FALSE(PathExists(Drive(kAccessSmbPath)));
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(result.failures[0].action, action::kWriteFile);
  EXPECT_EQ(result.failures[0].path, Drive(kAccessSmbPath));
  EXPECT_NE(result.failures[0].message.find("TexSMBpas"), std::string::npos);
  EXPECT_TRUE(PathExists(Drive(kAccessNfsPath)));
  EXPECT_TRUE(PathExists(Drive("\\Talvex\\etc\\init.d\\04_02_samba.init")));
}

}  // namespace
}  // namespace talvex::build::testing
