#include "cli/choice_flags.h"

namespace talvex::cli {

const CheckFlag& CheckFlagFor(options::CheckField field) {
  for (const CheckFlag& flag : kCheckFlags) {
    if (flag.field == field) return flag;
  }
  return kCheckFlags.front();  // unreachable: every check field has a flag
}

bool IsAddress(const TextFlag& flag) {
  return options::FieldOf(flag.field).filter == options::TextFilter::kAddress;
}

std::string Dashed(std::string_view flag) {
  return "--" + std::string(flag);
}

std::string Named(const CheckFlag& flag) {
  return Dashed(flag.flag) + " (" + std::string(options::FieldOf(flag.field).caption) + ")";
}

}  // namespace talvex::cli
