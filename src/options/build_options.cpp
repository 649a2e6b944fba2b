#include "options/build_options.h"

#include <cstddef>

#include "options/applications.h"

namespace talvex::options {

namespace {
using O = BuildOptions;
constexpr std::string_view kFlashDisk = "Flash Disk";
constexpr std::string_view kStartUp = "";
constexpr std::string_view kServices = "Services";
constexpr std::string_view kDevices = "";
constexpr std::string_view kApplicationsGroup = "Applications";
constexpr std::string_view kShares = "";
constexpr std::string_view kNfs = "Network setting NFS";
constexpr std::string_view kSmb = "Network settings SMB";

constexpr OptionField Check(std::string_view name, std::string_view group, std::string_view caption,
                            std::string_view tooltip, CheckState O::*member) {
  return OptionField{name, FieldKind::kCheck, group, caption, tooltip, member, nullptr};
}

constexpr OptionField Text(std::string_view name, std::string_view group, std::string_view caption,
                           std::string_view tooltip, std::string O::*member,
                           TextFilter filter = TextFilter::kAny) {
  return OptionField{name, FieldKind::kText, group, caption, tooltip, nullptr, member, filter};
}

template <typename Member>
const OptionField& RowOf(Member O::*member, Member O::*OptionField::*column) {
  for (const OptionField& field : kOptionFields) {
    if (field.*column == member) return field;
  }
  return kOptionFields.front();  // unreachable: every member has a row (tested)
}

// The fields before and after the applications group, in the order of the window's groups;
// texts exactly as the window shows them.
constexpr OptionField kFieldsBeforeApplications[] = {
    {"Drive1", FieldKind::kDrive, kFlashDisk, "", "Выбрать диск на который будет собранна сборка",
     nullptr, &O::Drive1},
    Check("Chcopi", kStartUp, "Copy in TV automatically",
          "Копировать в ТВ авто автоматически копируется в телевизор в папку ИГРА", &O::Chcopi),
    Check("Chavto", kStartUp, "Auto Start", "Старт при включении ТВ только для патченных прошивок",
          &O::Chavto),
    Check("Chftp", kServices, "FTP", "File Transfer Protocol \u2014 протокол передачи файлов",
          &O::Chftp),
    Check("Chssh", kServices, "SSH", "защищенный протокол передачи информации", &O::Chssh),
    Check("Chtelnet", kServices, "Telnet", "протокол удаленного доступа терминалов", &O::Chtelnet),
    Check("Chupnp", kServices, "UPnP",
          "Universal Plug and Play (UPnP) \u2014 набор сетевых протоколов", &O::Chupnp),
    Check("ChRey", kDevices, "Mouse and Keyboard", "Мышь и клавиатура", &O::ChRey),
    Check("Chwifi", kDevices, "Wi-Fi", "драйвера для *неродных* адаптеров", &O::Chwifi),
};

constexpr OptionField kFieldsAfterApplications[] = {
    Check("ChNfs", kShares, "NFS", "NFS шаринг, используется в UNIX системах", &O::ChNfs),
    Text("TextIP", kNfs, "IP-address", "IP Вашего компьютера", &O::TextIP, TextFilter::kAddress),
    Check("CheckUDP", kNfs, "UDP", "", &O::CheckUDP),
    Check("Chsmb", kShares, "SMB", " SMB она же CIFS шаринги, используется в Windos системах",
          &O::Chsmb),
    Text("TexSMBip", kSmb, "IP-address", "IP Вашего компьютера", &O::TexSMBip,
         TextFilter::kAddress),
    Text("TexSMBsh", kSmb, "Folder name",
         "Имя удалённой шары, если оставить поле пустым, найдет все возможные шары", &O::TexSMBsh),
    Text("TexSMBlog", kSmb, "Login", "Имя пользователя", &O::TexSMBlog),
    Text("TexSMBpas", kSmb, "Password", "Пароль", &O::TexSMBpas),
};

constexpr std::size_t kFieldCount = std::size(kFieldsBeforeApplications) + kApplications.size() +
                                    std::size(kFieldsAfterApplications);

// The applications' rows come from their own table, in its order.
constexpr std::array<OptionField, kFieldCount> MakeOptionFields() {
  std::array<OptionField, kFieldCount> fields{};
  std::size_t next = 0;
  for (const OptionField& field : kFieldsBeforeApplications) fields[next++] = field;
  for (const Application& app : kApplications) {
    fields[next++] = Check(app.name, kApplicationsGroup, app.caption, app.tooltip, app.box);
  }
  for (const OptionField& field : kFieldsAfterApplications) fields[next++] = field;
  return fields;
}

// Initialised before any code runs, so that other tables built at start-up can look fields up.
constinit const std::array<OptionField, kFieldCount> kFieldRows = MakeOptionFields();
}  // namespace

constinit const std::span<const OptionField> kOptionFields = kFieldRows;

const OptionField* FindOptionField(std::string_view name) {
  for (const OptionField& field : kOptionFields) {
    if (field.name == name) return &field;
  }
  return nullptr;
}

const OptionField& FieldOf(CheckField member) {
  return RowOf(member, &OptionField::check);
}

const OptionField& FieldOf(TextField member) {
  return RowOf(member, &OptionField::text);
}

CheckField ExcludedBy(CheckField box) {
  if (box == &O::arFix2) return &O::arFix2cip;
  if (box == &O::arFix2cip) return &O::arFix2;
  return nullptr;
}

CheckField UnlockedBy(CheckField box) {
  if (box == &O::Chavto) return &O::Chcopi;
  if (box == &O::CheckUDP) return &O::ChNfs;
  return nullptr;
}

bool IsClickable(const BuildOptions& options, CheckField box) {
  const CheckField key = UnlockedBy(box);
  if (key == nullptr) return true;
  // A grayed NFS box leaves its settings open; a grayed Copy in TV does not count as ticked.
  return box == &O::CheckUDP ? options.*key != CheckState::kUnchecked : IsTicked(options.*key);
}

bool Click(BuildOptions& options, CheckField box, CheckState now) {
  if (!IsClickable(options, box)) return false;
  options.*box = now;
  ApplyCouplingRules(options, box);
  return true;
}

void ApplyCouplingRules(BuildOptions& options, CheckField changed) {
  if (CheckField excluded = ExcludedBy(changed)) {
    options.*excluded = CheckState::kUnchecked;
  } else if (changed == &O::Chcopi && !IsTicked(options.Chcopi)) {
    options.Chavto = CheckState::kUnchecked;
  }
}

bool AcceptAddressCharacter(char32_t typed) {
  return (typed >= U'0' && typed <= U'9') || typed == U'.' || typed == U' ' || typed == 8;
}

std::string FilterAddressText(std::string_view text) {
  // Every accepted character is ASCII, so any byte of a multi-byte UTF-8 sequence is dropped
  // together with the rest of its character.
  std::string kept;
  for (char c : text) {
    if (c != 8 && AcceptAddressCharacter(static_cast<unsigned char>(c))) kept += c;
  }
  return kept;
}

std::string_view TrimmedAddress(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool IsIpv4Address(std::string_view address) {
  int numbers = 0;
  while (true) {
    const std::size_t dot = address.find('.');
    const std::string_view number = address.substr(0, dot);
    if (number.empty() || number.size() > 3 || (number.size() > 1 && number[0] == '0')) {
      return false;
    }
    int value = 0;
    for (char digit : number) {
      if (digit < '0' || digit > '9') return false;
      value = value * 10 + (digit - '0');
    }
    if (value > 255) return false;
    ++numbers;
    if (dot == std::string_view::npos) return numbers == 4;
    address.remove_prefix(dot + 1);
  }
}

const std::array<AddressField, 2> kAddressFields = {{
    {&O::TexSMBip, &O::Chsmb},
    {&O::TextIP, &O::ChNfs},
}};

std::vector<TextField> ImpossibleAddresses(const BuildOptions& options) {
  std::vector<TextField> impossible;
  for (const AddressField& field : kAddressFields) {
    if (IsTicked(options.*field.share) && !IsIpv4Address(TrimmedAddress(options.*field.text))) {
      impossible.push_back(field.text);
    }
  }
  return impossible;
}

std::string TargetDriveOf(std::string_view drive_list_text) {
  return std::string(drive_list_text.substr(0, 2));
}

}  // namespace talvex::options
