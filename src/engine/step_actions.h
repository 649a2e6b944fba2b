// The report's names of what a failed step was doing, one per kind of work; every step that
// records a failure names its action from here.
#pragma once

#include <string_view>

namespace talvex::build::action {

inline constexpr std::string_view kRemoveFolder = "Удаление папки";
inline constexpr std::string_view kRemoveFile = "Удаление файла";
inline constexpr std::string_view kReadFolder = "Чтение папки";
inline constexpr std::string_view kRenameEntry = "Переименование";
inline constexpr std::string_view kCreateFolder = "Создание папки";
inline constexpr std::string_view kWriteFile = "Запись файла";
inline constexpr std::string_view kCopyFile = "Копирование файла";
inline constexpr std::string_view kCopyFolder = "Копирование папки";
inline constexpr std::string_view kFlush = "Сброс на диск";
inline constexpr std::string_view kVerifyFile = "Проверка файла";

}  // namespace talvex::build::action
