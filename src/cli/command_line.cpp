#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <iterator>
#include <sstream>
#include <string_view>

#include "cli/choice_flags.h"
#include "cli/target.h"
#include "options/applications.h"
#include "platform/file_system.h"
#include "platform/paths.h"

namespace talvex::cli {
namespace {

using options::BuildOptions;
using options::CheckState;
using options::OptionField;

std::string Quoted(std::string_view caption) {
  return "\"" + std::string(caption) + "\"";
}

class Refusal : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the parser collected, before any of it is applied.
struct Collected {
  std::array<CLI::Option*, kCheckFlags.size()> checks{};
  std::array<std::string, kTextFlags.size()> texts;
  std::array<CLI::Option*, kTextFlags.size()> text_options{};
  std::string password_file;
  CLI::Option* password_option = nullptr;
  std::vector<std::string> sets;
};

void AddChoiceFlags(CLI::App& app, Collected& collected) {
  // Listed in --help in the window's order, each with the caption the window shows beside it.
  for (const OptionField& field : options::kOptionFields) {
    for (std::size_t i = 0; i < kCheckFlags.size(); ++i) {
      if (kCheckFlags[i].field != field.check) continue;
      const std::string names =
          Dashed(kCheckFlags[i].flag) + ",!--no-" + std::string(kCheckFlags[i].flag);
      const std::string description = Quoted(field.caption) + " ticked or unticked";
      collected.checks[i] = app.add_flag(names, description)->group("Choices");
    }
    for (std::size_t i = 0; i < kTextFlags.size(); ++i) {
      if (kTextFlags[i].field != field.text) continue;
      std::string description = Quoted(field.group) + ": " + Quoted(field.caption);
      if (IsAddress(kTextFlags[i])) description += "; digits, full stops and spaces only";
      collected.text_options[i] =
          app.add_option(Dashed(kTextFlags[i].flag), collected.texts[i], description)
              ->type_name(std::string(kTextFlags[i].value_name))
              ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
              ->group("Choices");
    }
    if (field.text == kPasswordField) {
      collected.password_option =
          app.add_option(Dashed(kPasswordFileFlag), collected.password_file,
                         Quoted(field.group) + ": " + Quoted(field.caption) +
                             " read from the first line of FILE; - reads standard input")
              ->type_name("FILE")
              ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
              ->group("Choices");
    }
  }
}

// A password is one short line. Anything much larger is not a password file (a device, a log,
// a disk image given by mistake) and must not be read whole into memory.
constexpr std::size_t kPasswordFileLimit = 64 * 1024;

// Reads at most the limit and one byte more, so an oversized input is seen without reading it all.
std::string ReadBounded(std::istream& in) {
  std::string content(kPasswordFileLimit + 1, '\0');
  in.read(content.data(), static_cast<std::streamsize>(content.size()));
  content.resize(static_cast<std::size_t>(in.gcount()));
  return content;
}

std::string ReadPasswordFile(const std::string& file) {
  if (IsExistingDirectory(platform::NativeFileSystem(), file)) {
    throw Refusal("the password file \"" + file + "\" is a folder");
  }
  std::string content;
  const platform::FsStatus read = platform::ReadSmallFile(file, kPasswordFileLimit, content);
  // A FIFO or device could block for ever or never end.
  if (read.reason == platform::kSpecialFileRefused) {
    throw Refusal("the password file \"" + file + "\" is not a regular file");
  }
  // A read that fails half way must not pass for a shorter password.
  if (!read) throw Refusal("cannot read the password file \"" + file + "\": " + read.message);
  return content;
}

std::string ReadPassword(const std::string& file, std::istream& standard_input) {
  const std::string shown = file == "-" ? "from standard input" : "\"" + file + "\"";
  std::string content = file == "-" ? ReadBounded(standard_input) : ReadPasswordFile(file);
  if (content.size() > kPasswordFileLimit) {
    throw Refusal("the password file " + shown + " is larger than 64 KiB");
  }
  // The television's shell would end the value at a NUL and read another password.
  if (content.find('\0') != std::string::npos) {
    throw Refusal("the password file " + shown + " holds a NUL byte");
  }
  // One line; its line break (LF or CR LF) is not part of the password.
  if (content.ends_with('\n')) content.pop_back();
  if (content.ends_with('\r')) content.pop_back();
  if (content.find_first_of("\r\n") != std::string::npos) {
    throw Refusal("the password file " + shown + " holds more than one line");
  }
  return content;
}

// The state a check flag asks for: ticked, unticked, or nothing asked.
std::optional<CheckState> Asked(const CheckFlag& flag, const CLI::Option* option) {
  bool ticked = false;
  bool unticked = false;
  for (const std::string& result : option->results()) {
    (result == "false" ? unticked : ticked) = true;
  }
  if (ticked && unticked) {
    throw Refusal(Dashed(flag.flag) + " and --no-" + std::string(flag.flag) +
                  " contradict each other");
  }
  if (ticked) return CheckState::kChecked;
  if (unticked) return CheckState::kUnchecked;
  return std::nullopt;
}

void ApplyTexts(const Collected& collected, std::istream& standard_input, BuildOptions& record) {
  for (std::size_t i = 0; i < kTextFlags.size(); ++i) {
    if (collected.text_options[i]->count() == 0) continue;
    const std::string& value = collected.texts[i];
    if (IsAddress(kTextFlags[i]) && options::FilterAddressText(value) != value) {
      throw Refusal(Dashed(kTextFlags[i].flag) + " \"" + value +
                    "\": an address takes only digits, full stops and spaces");
    }
    record.*kTextFlags[i].field = value;
  }
  if (collected.password_option->count() > 0) {
    record.*kPasswordField = ReadPassword(collected.password_file, standard_input);
  }
}

// The boxes are clicked in table order under the window's click rules. What the window could
// never show is refused: two boxes that exclude each other both ticked, or a tick on a box that
// is locked until another is ticked.
void ApplyChecks(const Collected& collected, BuildOptions& record) {
  std::array<std::optional<CheckState>, kCheckFlags.size()> asked;
  for (std::size_t i = 0; i < kCheckFlags.size(); ++i) {
    asked[i] = Asked(kCheckFlags[i], collected.checks[i]);
  }
  auto asked_for = [&](options::CheckField field) {
    for (std::size_t i = 0; i < kCheckFlags.size(); ++i) {
      if (kCheckFlags[i].field == field) return asked[i];
    }
    return std::optional<CheckState>();
  };
  for (std::size_t i = 0; i < kCheckFlags.size(); ++i) {
    const options::CheckField excluded = options::ExcludedBy(kCheckFlags[i].field);
    if (excluded != nullptr && asked[i] == CheckState::kChecked &&
        asked_for(excluded) == CheckState::kChecked) {
      throw Refusal(Named(kCheckFlags[i]) + " and " + Named(CheckFlagFor(excluded)) +
                    " exclude each other: choose one");
    }
  }

  for (std::size_t i = 0; i < kCheckFlags.size(); ++i) {
    if (!asked[i]) continue;
    const options::CheckField box = kCheckFlags[i].field;
    if (record.*box == *asked[i]) continue;  // no click needed, so no rule runs
    if (!options::Click(record, box, *asked[i])) {
      throw Refusal(Named(kCheckFlags[i]) + " needs " +
                    Named(CheckFlagFor(options::UnlockedBy(box))));
    }
  }
}

void ApplyChoices(const Collected& collected, std::istream& standard_input, BuildOptions& record) {
  ApplyTexts(collected, standard_input, record);
  ApplyChecks(collected, record);
}

// --set FIELD=VALUE: the value exactly as given, no rule applied.
void ApplySet(const std::string& assignment, BuildOptions& record) {
  const std::size_t equals = assignment.find('=');
  if (equals == std::string::npos) {
    throw Refusal("--set \"" + assignment + "\": expected FIELD=VALUE");
  }
  const std::string name = assignment.substr(0, equals);
  const std::string value = assignment.substr(equals + 1);
  const OptionField* field = options::FindOptionField(name);
  if (field == nullptr) throw Refusal("--set: unknown field \"" + name + "\"");
  switch (field->kind) {
    case options::FieldKind::kDrive:
      throw Refusal("--set: " + name + " is chosen with --target");
    case options::FieldKind::kText:
      record.*field->text = value;
      return;
    case options::FieldKind::kCheck:
      if (value.size() != 1 || value[0] < '0' || value[0] > '2') {
        throw Refusal("--set " + name + "=" + value + ": a check field takes 0, 1 or 2");
      }
      record.*field->check = static_cast<CheckState>(value[0] - '0');
      return;
  }
}

// How the command line named the field: "--set TextIP" when --set gave it its last value, else
// its flag.
std::string OptionThatSet(options::TextField field, const Collected& collected) {
  const std::string_view name = options::FieldOf(field).name;
  for (const std::string& assignment : collected.sets) {
    if (std::string_view(assignment).substr(0, assignment.find('=')) == name) {
      return "--set " + std::string(name);
    }
  }
  for (const TextFlag& flag : kTextFlags) {
    if (flag.field == field) return Dashed(flag.flag);
  }
  return std::string(name);
}

// An address the television cannot mount is refused rather than written: the build would report
// success and the share would never appear.
void RefuseImpossibleAddresses(const Collected& collected, const BuildOptions& record) {
  for (options::TextField field : options::ImpossibleAddresses(record)) {
    throw Refusal(OptionThatSet(field, collected) + " \"" + record.*field +
                  "\": not an IPv4 address (four numbers 0-255 joined by dots, such as "
                  "192.168.0.1)");
  }
}


// `text` broken between words into lines of at most kHelpWidth columns, each after `indent`
// spaces; a word longer than a line stands alone. Help is read in an 80-column terminal.
constexpr std::size_t kHelpWidth = 80;

std::string Wrapped(std::string_view text, std::size_t indent) {
  std::string out;
  std::size_t column = 0;
  std::istringstream words{std::string(text)};
  for (std::string word; words >> word;) {
    if (column > indent && column + 1 + word.size() > kHelpWidth) {
      out += '\n';
      column = 0;
    }
    if (column == 0) {
      out.append(indent, ' ');
      column = indent;
    } else {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
  }
  return out + '\n';
}

// CLI11's layout with every line within 80 columns: descriptions wrap under their column, and
// a negated flag reads "--ftp, --no-ftp" instead of CLI11's "--ftp,--no-ftp{false}".
class HelpFormatter final : public CLI::Formatter {
 public:
  std::string make_option_name(const CLI::Option* option, bool is_positional) const override {
    std::string name = CLI::Formatter::make_option_name(option, is_positional);
    for (std::size_t at; (at = name.find("{false}")) != std::string::npos;) name.erase(at, 7);
    for (std::size_t at = 0; (at = name.find(",-", at)) != std::string::npos; at += 2) {
      name.insert(at + 1, " ");
    }
    return name;
  }

  std::string make_option(const CLI::Option* option, bool is_positional) const override {
    const std::string name =
        "  " + make_option_name(option, is_positional) + make_option_opts(option);
    const std::size_t column = get_column_width();
    const std::string description = Wrapped(make_option_desc(option), column);
    if (description.size() <= column) return name + "\n";  // no description
    if (name.size() + 1 > column) return name + "\n" + description;
    return name + description.substr(name.size());
  }

  std::string make_description(const CLI::App* app) const override {
    return Wrapped(app->get_description(), 0);
  }

  std::string make_footer(const CLI::App* app) const override {
    std::string footer;
    std::istringstream paragraphs(app->get_footer());
    for (std::string paragraph; std::getline(paragraphs, paragraph);) {
      footer += paragraph.empty() ? "\n" : Wrapped(paragraph, 0);
    }
    return footer;
  }
};

// How far apart two names are in the slips of typing: a letter left out, added, changed, or
// two neighbours swapped (optimal string alignment distance).
std::size_t TypingDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t changed = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + changed});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

// The option a mistyped `typed` most likely meant, or "" when none is near enough to guess.
std::string NearestOption(const CLI::App& app, std::string_view typed) {
  const std::string_view bare = typed.substr(std::min(typed.find_first_not_of('-'), typed.size()));
  std::string nearest;
  std::size_t best = std::max<std::size_t>(1, std::min<std::size_t>(2, bare.size() / 3)) + 1;
  for (const CLI::Option* option : app.get_options()) {
    for (const std::string& name : option->get_lnames()) {
      const std::size_t distance = TypingDistance(bare, name);
      if (distance < best) {
        best = distance;
        nearest = "--" + name;
      }
    }
  }
  return nearest;
}

// The first argument the parser could not place: an option it does not know, named with the
// nearest one it does, or a value no option asked for.
std::string UnplacedArgument(const CLI::App& app, const std::vector<std::string>& unplaced) {
  for (const std::string& argument : unplaced) {
    if (!argument.starts_with('-') || argument == "-") continue;
    const std::string typed = argument.substr(0, argument.find('='));
    const std::string nearest = NearestOption(app, typed);
    return "unknown option " + typed + (nearest.empty() ? "" : " (did you mean " + nearest + "?)");
  }
  return "unexpected argument \"" + unplaced.front() +
         "\": every value follows the option it belongs to (--source DIR, --nfs-ip ADDR)";
}

// CLI11's "--nfs-ip: 1 required ADDR missing" in words: which option wants what.
std::string MissingValue(const CLI::App& app, const CLI::ArgumentMismatch& error) {
  const std::string what = error.what();
  const std::string name = what.substr(0, what.find(':'));
  const CLI::Option* option = app.get_option_no_throw(name);
  if (option == nullptr || !name.starts_with("--")) return what;
  return "option " + name + " needs a value (" + option->get_type_name() + ")";
}

// An option given twice would leave the reader guessing which one counts.
std::string RepeatedOption(const CLI::App& app) {
  for (const CLI::Option* option : app.get_options()) {
    if (option->get_type_size() == 0 || option->get_expected_max() != 1) continue;  // --set
    if (option->count() > 1) {
      return "option " + option->get_name() + " is given " + std::to_string(option->count()) +
             " times: give it once";
    }
  }
  return {};
}

std::string SetHelp() {
  std::string names;
  for (const OptionField& field : options::kOptionFields) {
    if (field.kind == options::FieldKind::kDrive) continue;
    if (!names.empty()) names += ", ";
    names += field.name;
  }
  return "Sets a field of the record exactly, with no rule applied, after the choices above; "
         "repeatable. Check fields take 0, 1 or 2, text fields any text. Fields: " +
         names;
}

// What the build does to the target, said before anything else: it removes folders there.
std::string Description() {
  std::string folders;
  for (const options::Application& app : options::kApplications) {
    folders += (folders.empty() ? "" : ", ") + std::string(app.folder);
  }
  return "Prepares a USB flash drive for a Talvex television. It replaces " +
         platform::JoinPayloadPath("DRIVE", "\\Talvex") +
         " and the folder of each ticked application at the root of the target (" + folders +
         ") with the kit's, with the chosen services: whatever else those folders hold is "
         "removed. Nothing else there is touched.";
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                                   std::istream& standard_input) {
  ParsedCommandLine parsed;
  Request& request = parsed.request;
  CLI::App app(Description(), "talvex-build");
  app.formatter(std::make_shared<HelpFormatter>());
  // Unknown arguments are collected and named after the parse, before a missing --target is.
  app.allow_extras();
  app.set_version_flag("--version", "talvex-build " TALVEX_VERSION);
  CLI::Option* target_option = app.add_option("--target", request.target, kTargetHelp)
                                   ->type_name("DRIVE")
                                   ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  CLI::Option* source_option =
      app.add_option("--source", request.source_root,
                     "The kit folder, which holds the master Talvex folder and the application "
                     "folders (default: the program's folder when it holds a kit, else the "
                     "current folder)")
          ->type_name("DIR")
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  bool no_verify = false;
  app.add_flag("--no-verify", no_verify,
               "Skip reading the files written back from the drive (they are still flushed to "
               "it), and keep a file already there when its size and time match the kit's "
               "without comparing its bytes");
  app.add_flag(kAnyDriveFlag, request.any_drive,
               "Build on a target that is not the root of a removable drive: a folder, a fixed "
               "disk");
  app.add_flag("--fresh", request.fresh,
               "Remove Talvex and the ticked application folders first and write everything "
               "anew, instead of keeping what is already on the drive as it should be");
  app.add_flag("--dry-run", request.dry_run,
               "List the steps the build would take, in order, and touch nothing");
  Collected collected;
  AddChoiceFlags(app, collected);
  app.add_option("--set", collected.sets, SetHelp())
      ->type_name("FIELD=VALUE")
      ->allow_extra_args(false)
      ->group("Exact record");
  app.footer(
      "Exit status: 0 built with no failed step, 1 built with failed steps, 2 nothing done.");

  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  const std::string try_help = "\nTry 'talvex-build --help' for more information.";
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    parsed.kind = ParsedCommandLine::Kind::kInformation;
    parsed.text = app.help();
    return parsed;
  } catch (const CLI::CallForVersion& version) {
    parsed.kind = ParsedCommandLine::Kind::kInformation;
    parsed.text = std::string(version.what()) + "\n";
    return parsed;
  } catch (const CLI::ArgumentMismatch& error) {
    parsed.text = MissingValue(app, error) + try_help;
    return parsed;
  } catch (const CLI::ParseError& error) {
    parsed.text = std::string(error.what()) + try_help;
    return parsed;
  }
  if (!app.remaining().empty()) {
    parsed.text = UnplacedArgument(app, app.remaining()) + try_help;
    return parsed;
  }
  if (const std::string repeated = RepeatedOption(app); !repeated.empty()) {
    parsed.text = repeated + try_help;
    return parsed;
  }
  if (target_option->count() == 0) {
    parsed.text = "--target is missing: name the drive to prepare with --target DRIVE" + try_help;
    return parsed;
  }

  request.verify = !no_verify;
  // An empty folder name would quietly stand for the current folder or the program's own.
  if (request.target.empty()) {
    parsed.text = "--target: the drive or folder is empty";
    return parsed;
  }
  if (source_option->count() > 0 && request.source_root.empty()) {
    parsed.text = "--source: the kit folder is empty";
    return parsed;
  }

  try {
    ApplyChoices(collected, standard_input, request.options);
    for (const std::string& assignment : collected.sets) ApplySet(assignment, request.options);
    RefuseImpossibleAddresses(collected, request.options);
  } catch (const Refusal& refusal) {
    parsed.text = refusal.what();
    return parsed;
  } catch (const std::exception& error) {
    // Whatever the input, the program says why and ends; it never aborts.
    parsed.text = std::string("cannot use the arguments: ") + error.what();
    return parsed;
  }
  parsed.kind = ParsedCommandLine::Kind::kBuild;
  return parsed;
}

}  // namespace talvex::cli
