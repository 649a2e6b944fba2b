#include "ui/window_texts.h"

#include <vector>

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

std::optional<std::string> ImpossibleAddressQuestion(const options::BuildOptions& record) {
  const std::vector<options::TextField> impossible = options::ImpossibleAddresses(record);
  if (impossible.empty()) return std::nullopt;
  std::string question;
  for (options::TextField field : impossible) {
    const options::OptionField& row = options::FieldOf(field);
    question += "Адрес " + Quoted(options::TrimmedAddress(record.*field)) + " в поле " +
                Quoted(row.caption) + " (" + std::string(row.group) +
                ") не похож на IP-адрес: нужны четыре числа от 0 до 255 через точку, например "
                "192.168.0.1.\n";
  }
  return question + "Телевизор не сможет подключить эту папку. Всё равно собрать сборку?";
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
