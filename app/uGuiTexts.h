// Texts and layout numbers that only the widgets use: menu items, column captions, the
// settings dialog. The texts the commands show are in uConst_Orbis.h.
#pragma once

#include <string_view>

namespace dikton::guitxt {

// Menu "Файл".
inline constexpr std::string_view MenuFile = "Файл";
inline constexpr std::string_view CreateCRCfile = "Создать СRC-файл";  // Cyrillic С, Latin RC
inline constexpr std::string_view FileSave = "Сохранить";
inline constexpr std::string_view FileOpen = "Открыть";
inline constexpr std::string_view SavePaths = "Сохранить список";
inline constexpr std::string_view OpenPaths = "Открыть список";
inline constexpr std::string_view ProgSettings = "Настройки";
inline constexpr std::string_view ExitProg = "Выход";

// Menu "Память".
inline constexpr std::string_view MenuMemory = "Память";
inline constexpr std::string_view ReadAllMemory = "Считать всю";
inline constexpr std::string_view WriteAll = "Записать всю";
inline constexpr std::string_view WriteSoundMem = "Записать звуки";
inline constexpr std::string_view CheckMemory = "Проверить память";
inline constexpr std::string_view GetSizeSoundMem = "Запросить диапазон";

// The fragment list's columns.
inline constexpr std::string_view ColName = "Название";
inline constexpr std::string_view ColPath = "Путь к фрагменту";
inline constexpr std::string_view ColInfo = "Размер фрагмента";

// The settings dialog.
inline constexpr std::string_view SettingsCaption = "Настройки программы";
inline constexpr std::string_view PortLabel = "Номер  СОМ-порта:";  // two blanks, Cyrillic СОМ
inline constexpr std::string_view AddressLabel = "Адрес прибора:";
inline constexpr std::string_view OkButton = "ОК";  // Cyrillic
inline constexpr std::string_view CancelButton = "ОТМЕНА";

// The browse button of the path cell.
inline constexpr std::string_view BrowseButton = "...";
// The application's error box for a failure that no command reports itself.
inline constexpr std::string_view OutOfMemory = "Недостаточно памяти";
inline constexpr std::string_view WindowNotCreated = "Не могу создать окно";
inline constexpr std::string_view UnknownFailure = "Неизвестная ошибка";

// Marks the current row in the list's row indicator.
inline constexpr std::string_view RowMarker = "\u25B6";

}  // namespace dikton::guitxt
