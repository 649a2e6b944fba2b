// Every word the windows say beyond their control tables: the questions and messages of GO, the
// progress window's texts, the units of its figures and of the drive list's sizes. Both windows,
// on either system, take them from here; the build report's words are the engine's.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/build_run.h"
#include "options/build_options.h"

namespace talvex::ui {

// What GO says when no drive is picked: none was plugged in, or the one picked went away.
inline constexpr std::string_view kNoFlashDrive =
    "Флешка не выбрана: выберите её в списке \"Flash Disk\" (если её там нет, вставьте её) и "
    "нажмите GO ещё раз.";

// What GO asks before building onto a drive that is not removable (`drive`: "e:", or the folder
// the Linux window lists).
std::string NotRemovableDriveQuestion(std::string_view drive);
// The same question about the drive the Windows folder is on, which says so first.
std::string SystemDriveQuestion(std::string_view drive);

// What GO asks before writing addresses the television cannot mount (four numbers 0-255 joined
// by dots), naming each field; nothing when every address the build writes is one.
std::optional<std::string> ImpossibleAddressQuestion(const options::BuildOptions& record);

// What GO says when the picked drive is gone, or another volume took its place, since it was
// picked.
std::string DriveChangedMessage(std::string_view drive);

// The progress window.
inline constexpr std::string_view kProgressTitle = "Сборка";
inline constexpr std::string_view kStopCaption = "Стоп";
// The stage line once Stop has been pressed: the build ends the file in hand and flushes.
inline constexpr std::string_view kStoppingText = "Остановка…";
// What closing either window during a build asks first; No is the default.
inline constexpr std::string_view kCloseDuringBuildQuestion =
    "Сборка ещё идёт. Остановить её и закрыть программу?";

// The stage as the progress window names it.
std::string_view StageText(build::BuildStage stage);

// The figures' words: "12,5 МБ из 52,5 МБ", "8,1 МБ/с", "осталось 2 мин 5 с".
inline constexpr std::string_view kByteUnits[] = {"байт", "КБ", "МБ", "ГБ", "ТБ"};
inline constexpr std::string_view kOf = " из ";
inline constexpr std::string_view kPerSecond = "/с";
inline constexpr std::string_view kTimeLeft = "осталось ";
inline constexpr std::string_view kHours = " ч";
inline constexpr std::string_view kMinutes = " мин";
inline constexpr std::string_view kSeconds = " с";
// Between the figures, and between a drive's name and its size.
inline constexpr std::string_view kFigureSeparator = " · ";

// The About window's picture, as a screen reader names it.
inline constexpr std::string_view kPictureName = "Телевизор на подставке";

// The Linux window's message when no application opens a file or an address.
inline constexpr std::string_view kNothingOpens =
    "Не удалось открыть: на компьютере не задана программа, которая открывает такие файлы или "
    "адреса. Откройте его сами:";

// The Windows window's list of every failure of a build, opened from the report's Help button
// when the report could name only the first of them.
inline constexpr std::string_view kAllFailuresTitle = "Все ошибки сборки";

}  // namespace talvex::ui
