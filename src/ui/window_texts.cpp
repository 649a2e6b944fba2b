#include "ui/window_texts.h"

namespace talvex::ui {

namespace {

std::string Quoted(std::string_view drive) {
  return "\"" + std::string(drive) + "\"";
}

}  // namespace

std::string NotRemovableDriveQuestion(std::string_view drive) {
  return "Диск " + Quoted(drive) +
         " не съёмный: это не флешка. Сборка заменит на нём папку \"Talvex\" и папки "
         "отмеченных приложений. Всё равно собрать сборку на этом диске?";
}

std::string SystemDriveQuestion(std::string_view drive) {
  return "На диске " + Quoted(drive) + " установлена Windows. " + NotRemovableDriveQuestion(drive);
}

std::string DriveChangedMessage(std::string_view drive) {
  return "Диск " + Quoted(drive) +
         " отключён, заменён другим или стал доступен только для чтения с тех пор, как его "
         "выбрали. Список дисков обновлён; выберите флешку ещё раз.";
}

std::string_view StageText(build::BuildStage stage) {
  switch (stage) {
    case build::BuildStage::kRemoving:
      return "Удаление старой сборки";
    case build::BuildStage::kComparing:
      return "Сравнение с флешкой";
    case build::BuildStage::kWriting:
      return "Запись";
    case build::BuildStage::kFlushing:
      return "Сброс на диск";
    case build::BuildStage::kVerifying:
      return "Проверка записанного";
    case build::BuildStage::kCommitting:
      return "Замена старых файлов новыми";
    case build::BuildStage::kMeasuring:
      return "Подсчёт размера";
  }
  return {};
}

}  // namespace talvex::ui
