#include "engine/failure_words.h"

namespace talvex::build {
namespace {

using platform::FsReason;

// The reasons the report words itself; nothing for those that only the system's text explains.
std::string_view ReasonWords(FsReason reason) {
  switch (reason) {
    case FsReason::kDriveGone:
      return "диск отключён или не готов";
    case FsReason::kDeviceError:
      return "ошибка чтения или записи на устройстве (флешка неисправна или отключается)";
    case FsReason::kNotFound:
      return "нет такого файла или папки";
    case FsReason::kAccessDenied:
      return "доступ запрещён";
    case FsReason::kWriteProtected:
      return "диск защищён от записи";
    case FsReason::kInUse:
      return "файл занят другой программой";
    case FsReason::kDiskFull:
      return "на диске нет места";
    case FsReason::kFileTooLarge:
      return "файл слишком велик для файловой системы диска";
    case FsReason::kNameNotAllowed:
      return "такое имя недопустимо в файловой системе диска";
    case FsReason::kLink:
      return "это ссылка; программа не переходит по ссылкам";
    case FsReason::kSpecialFile:
      return "это не обычный файл (канал, устройство или сокет); не копируется";
    case FsReason::kMovedDuringWork:
      return "папка была перемещена или заменена во время работы; работа с ней прервана";
    case FsReason::kKitInside:
      return "здесь лежит комплект (та же папка под другим именем); папка не удаляется";
    case FsReason::kOtherMount:
      return "здесь смонтирована другая файловая система; её содержимое не удаляется";
    case FsReason::kStopped:
      return "остановлено по вашей просьбе";
    case FsReason::kSystem:
    case FsReason::kRefused:
      break;
  }
  return {};
}

}  // namespace

std::string FailureReasonText(FsReason reason, int code, std::string_view message) {
  if (const std::string_view words = ReasonWords(reason); !words.empty()) return std::string(words);
  if (!message.empty()) return std::string(message);
  return "ошибка " + std::to_string(code);
}

}  // namespace talvex::build
