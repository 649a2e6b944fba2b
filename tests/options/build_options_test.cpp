#include "options/build_options.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

#include "options/applications.h"
#include "ui/main_window_model.h"

namespace talvex::options {
namespace {

using O = BuildOptions;
constexpr CheckState kOff = CheckState::kUnchecked;
constexpr CheckState kOn = CheckState::kChecked;
constexpr CheckState kGray = CheckState::kGrayed;

// The user clicks a check box: it toggles, then the rules run.
void Click(BuildOptions& options, CheckState O::*box) {
  options.*box = options.*box == kOn ? kOff : kOn;
  ApplyCouplingRules(options, box);
}

TEST(BuildOptionsTest, FreshRecordHasExactlyThreeBoxesTickedAndTheInitialTexts) {
  const BuildOptions options;
  int ticked = 0;
  for (const OptionField& field : kOptionFields) {
    if (field.kind != FieldKind::kCheck) continue;
    if (options.*field.check == kOn) {
      ++ticked;
      EXPECT_TRUE(field.name == "Chupnp" || field.name == "ChNfs" || field.name == "Chsmb")
          << field.name;
    } else {
      EXPECT_EQ(options.*field.check, kOff) << field.name;
    }
  }
  EXPECT_EQ(ticked, 3);
  EXPECT_FALSE(ui::EnabledByRecord(options, "Chavto"));
  EXPECT_TRUE(ui::EnabledByRecord(options, "FrSet"));
  EXPECT_TRUE(ui::EnabledByRecord(options, "FrSMB"));
  EXPECT_EQ(options.TextIP, "192.168.0.1");
  EXPECT_EQ(options.TexSMBip, "192.168.0.1");
  EXPECT_EQ(options.TexSMBsh, "");
  EXPECT_EQ(options.TexSMBlog, "admin");
  EXPECT_EQ(options.TexSMBpas, "vortelin");
}

TEST(BuildOptionsTest, FieldTableKeepsTheWindowTextsByteForByte) {
  // One row a name, the applications' from their own table.
  std::set<std::string_view> names;
  for (const OptionField& field : kOptionFields) {
    EXPECT_TRUE(names.insert(field.name).second) << field.name;
  }
  for (const Application& app : kApplications) {
    EXPECT_NE(FindOptionField(app.name), nullptr) << app.name;
  }
  const OptionField* smb = FindOptionField("Chsmb");
  ASSERT_NE(smb, nullptr);
  EXPECT_EQ(smb->tooltip, " SMB она же CIFS шаринги, используется в Windos системах");
  const OptionField* ftp = FindOptionField("Chftp");
  ASSERT_NE(ftp, nullptr);
  // An em dash, U+2014, in UTF-8.
  EXPECT_NE(ftp->tooltip.find("\xE2\x80\x94"), std::string_view::npos);
  EXPECT_EQ(FindOptionField("arFix2cip")->caption, "ArFix2ci+");
  EXPECT_EQ(FindOptionField("ChInfo")->caption, "CH.Info");
  EXPECT_EQ(FindOptionField("chinfo"), nullptr) << "names are case-sensitive";
  for (const OptionField& field : kOptionFields) {
    EXPECT_EQ(field.kind == FieldKind::kCheck, field.check != nullptr) << field.name;
    EXPECT_EQ(field.kind != FieldKind::kCheck, field.text != nullptr) << field.name;
  }
}

TEST(BuildOptionsTest, EveryMemberFindsItsOwnRowOfTheTable) {
  for (const OptionField& field : kOptionFields) {
    const OptionField& found = field.check != nullptr ? FieldOf(field.check) : FieldOf(field.text);
    EXPECT_EQ(&found, &field) << field.name;
    EXPECT_EQ(FindOptionField(field.name), &field) << field.name;
  }
  EXPECT_EQ(FieldOf(&O::TexSMBpas).caption, "Password");
  EXPECT_EQ(FieldOf(&O::Drive1).kind, FieldKind::kDrive);
  int addresses = 0;
  for (const OptionField& field : kOptionFields) {
    if (field.filter != TextFilter::kAddress) continue;
    ++addresses;
    EXPECT_TRUE(field.text == &O::TextIP || field.text == &O::TexSMBip) << field.name;
  }
  EXPECT_EQ(addresses, 2);
}

TEST(ClickRulesTest, NameTheExcludingAndTheUnlockingBoxes) {
  EXPECT_EQ(ExcludedBy(&O::arFix2), &O::arFix2cip);
  EXPECT_EQ(ExcludedBy(&O::arFix2cip), &O::arFix2);
  EXPECT_EQ(ExcludedBy(&O::pvr), nullptr);
  EXPECT_EQ(UnlockedBy(&O::Chavto), &O::Chcopi);
  EXPECT_EQ(UnlockedBy(&O::CheckUDP), &O::ChNfs);
  EXPECT_EQ(UnlockedBy(&O::Chcopi), nullptr);
}

TEST(ClickRulesTest, ALockedBoxTakesNoClickUntilItsKeyIsTicked) {
  BuildOptions options;
  EXPECT_FALSE(IsClickable(options, &O::Chavto));
  EXPECT_FALSE(options::Click(options, &O::Chavto, kOn));
  EXPECT_EQ(options.Chavto, kOff);
  EXPECT_TRUE(options::Click(options, &O::Chcopi, kOn));
  EXPECT_TRUE(IsClickable(options, &O::Chavto));
  EXPECT_TRUE(options::Click(options, &O::Chavto, kOn));
  EXPECT_EQ(options.Chavto, kOn);

  EXPECT_TRUE(IsClickable(options, &O::CheckUDP));
  EXPECT_TRUE(options::Click(options, &O::ChNfs, kOff));
  EXPECT_FALSE(options::Click(options, &O::CheckUDP, kOn));
  EXPECT_EQ(options.CheckUDP, kOff);
}

TEST(ClickRulesTest, AClickAppliesTheCouplingRules) {
  BuildOptions options;
  EXPECT_TRUE(options::Click(options, &O::arFix2, kOn));
  EXPECT_TRUE(options::Click(options, &O::arFix2cip, kOn));
  EXPECT_EQ(options.arFix2, kOff);
  EXPECT_EQ(options.arFix2cip, kOn);
}

TEST(CouplingRulesTest, ArFixBoxesExcludeEachOther) {
  BuildOptions options;
  Click(options, &O::arFix2cip);
  EXPECT_EQ(options.arFix2cip, kOn);
  Click(options, &O::arFix2);
  EXPECT_EQ(options.arFix2, kOn);
  EXPECT_EQ(options.arFix2cip, kOff);
  Click(options, &O::arFix2);
  EXPECT_EQ(options.arFix2, kOff);
  EXPECT_EQ(options.arFix2cip, kOff);
}

TEST(CouplingRulesTest, AutoStartFollowsCopyToTv) {
  BuildOptions options;
  EXPECT_FALSE(ui::EnabledByRecord(options, "Chavto"));
  Click(options, &O::Chcopi);
  EXPECT_TRUE(ui::EnabledByRecord(options, "Chavto"));
  EXPECT_EQ(options.Chavto, kOff) << "ticking Chcopi keeps Chavto's value";
  Click(options, &O::Chavto);
  EXPECT_EQ(options.Chavto, kOn);
  Click(options, &O::Chcopi);
  EXPECT_EQ(options.Chavto, kOff);
  EXPECT_FALSE(ui::EnabledByRecord(options, "Chavto"));
  Click(options, &O::Chcopi);
  EXPECT_EQ(options.Chavto, kOff);
  EXPECT_TRUE(ui::EnabledByRecord(options, "Chavto"));
}

TEST(CouplingRulesTest, SettingsGroupsFollowTheirBoxesAndKeepTheirValues) {
  BuildOptions options;
  options.TextIP = "10.0.0.5";
  options.CheckUDP = kOn;
  Click(options, &O::ChNfs);
  EXPECT_FALSE(ui::EnabledByRecord(options, "FrSet"));
  EXPECT_EQ(options.TextIP, "10.0.0.5");
  EXPECT_EQ(options.CheckUDP, kOn);
  Click(options, &O::ChNfs);
  EXPECT_TRUE(ui::EnabledByRecord(options, "FrSet"));
  EXPECT_EQ(options.TextIP, "10.0.0.5");

  Click(options, &O::Chsmb);
  EXPECT_FALSE(ui::EnabledByRecord(options, "FrSMB"));
  EXPECT_TRUE(ui::EnabledByRecord(options, "FrSet")) << "the groups are independent";
  Click(options, &O::Chsmb);
  EXPECT_TRUE(ui::EnabledByRecord(options, "FrSMB"));
}

TEST(CouplingRulesTest, GrayedValuesFromACaller) {
  BuildOptions options;
  options.Chcopi = kGray;
  options.Chavto = kOn;
  ApplyCouplingRules(options, &O::Chcopi);
  EXPECT_EQ(options.Chavto, kOff);
  EXPECT_FALSE(ui::EnabledByRecord(options, "Chavto"));

  options.ChNfs = kGray;
  ApplyCouplingRules(options, &O::ChNfs);
  EXPECT_TRUE(ui::EnabledByRecord(options, "FrSet")) << "grayed is not unchecked";
  EXPECT_FALSE(IsTicked(options.ChNfs)) << "but it does not count as ticked";
}

TEST(CouplingRulesTest, OtherBoxesSetOffNoRule) {
  BuildOptions options;
  const BuildOptions before = options;
  for (auto box : {&O::Chftp, &O::pvr, &O::mc, &O::CheckUDP, &O::Chavto}) {
    Click(options, box);
  }
  EXPECT_EQ(options.arFix2, before.arFix2);
  EXPECT_EQ(ui::EnabledByRecord(options, "Chavto"), ui::EnabledByRecord(before, "Chavto"));
  EXPECT_EQ(ui::EnabledByRecord(options, "FrSet"), ui::EnabledByRecord(before, "FrSet"));
  EXPECT_EQ(ui::EnabledByRecord(options, "FrSMB"), ui::EnabledByRecord(before, "FrSMB"));
}

TEST(AddressFilterTest, TypedCharacters) {
  std::string field;
  for (char32_t typed : {U'1', U'a', U'9', U'.', U'2', U' '}) {
    if (AcceptAddressCharacter(typed)) field += static_cast<char>(typed);
  }
  EXPECT_EQ(field, "19.2 ");
  EXPECT_TRUE(AcceptAddressCharacter(8)) << "backspace still deletes";
  for (char32_t refused : {U',', U'A', U'-', U':', U'\t', U'\r', U'\u0431', U'\x7f', char32_t{0}}) {
    EXPECT_FALSE(AcceptAddressCharacter(refused)) << static_cast<unsigned>(refused);
  }
}

TEST(AddressFilterTest, PastedTextKeepsOnlyWhatTypingCouldEnter) {
  EXPECT_EQ(FilterAddressText("192.168.0.1"), "192.168.0.1");
  EXPECT_EQ(FilterAddressText("ip: 10,0.0.7\r\n"), " 100.0.7");
  EXPECT_EQ(FilterAddressText("адрес 1.2"), " 1.2");
  EXPECT_EQ(FilterAddressText("\b1"), "1") << "a pasted backspace is not a keystroke";
}

// What the build writes of an address, and whether the television can mount it.
TEST(AddressFilterTest, TheBuildWritesTheAddressTrimmedAndKnowsAnImpossibleOne) {
  const struct {
    const char* typed;
    const char* written;
    bool mountable;
  } rows[] = {
      {"192.168.0.1", "192.168.0.1", true},
      {" 172.16.5.1 ", "172.16.5.1", true},
      {"0.0.0.0", "0.0.0.0", true},
      {"255.255.255.255", "255.255.255.255", true},
      {"1 2  3", "1 2  3", false},
      {"999.1", "999.1", false},
      {"1.2.3.256", "1.2.3.256", false},
      {"1.2.3", "1.2.3", false},
      {"1.2.3.4.5", "1.2.3.4.5", false},
      {"1..3.4", "1..3.4", false},
      {"010.1.1.1", "010.1.1.1", false},
      {"   ", "", false},
      {"", "", false},
      {"1.2.3.4.", "1.2.3.4.", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(TrimmedAddress(row.typed), row.written) << '"' << row.typed << '"';
    EXPECT_EQ(IsIpv4Address(TrimmedAddress(row.typed)), row.mountable) << '"' << row.typed << '"';
  }
  // Only the addresses the build writes count: an unticked share's address is never written.
  BuildOptions options;
  options.TextIP = "1 2";
  options.TexSMBip = " 10.0.0.1 ";
  EXPECT_EQ(ImpossibleAddresses(options), std::vector<TextField>{&BuildOptions::TextIP});
  options.TexSMBip = "999.1";
  EXPECT_EQ(ImpossibleAddresses(options),
            (std::vector<TextField>{&BuildOptions::TexSMBip, &BuildOptions::TextIP}));
  options.ChNfs = CheckState::kUnchecked;
  options.Chsmb = CheckState::kGrayed;
  EXPECT_TRUE(ImpossibleAddresses(options).empty());
}

TEST(BuildOptionsTest, TargetDriveIsTheFirstTwoCharacters) {
  EXPECT_EQ(TargetDriveOf("e: [USB STICK]"), "e:");
  EXPECT_EQ(TargetDriveOf("c:"), "c:");
  EXPECT_EQ(TargetDriveOf("z: [\\\\server\\share]"), "z:");
}

}  // namespace
}  // namespace talvex::options
