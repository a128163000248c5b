#include "uFragmentCatalogue.h"

#include <algorithm>
#include <limits>

namespace dikton {

const std::array<std::string_view, kFragmentSlots> kSlotNames{
    "Внимание поступило сообще...",
    "Один",
    "Два",
    "Три",
    "Четыре",
    "Пять",
    "Шесть",
    "Семь",
    "Восемь",
    "Девять",
    "Десять",
    "Одиннадцать",
    "Двенадцать",
    "Тринадцать",
    "Четырнадцать",
    "Пятнадцать",
    "Шестнадцать",
    "Семнадцать",
    "Восемнадцать",
    "Девятнадцать",
    "Двадцать+",
    "Тридцать+",
    "Сорок+",
    "Пятьдесят+",
    "Шестьдесят+",
    "Семьдесят+",
    "Восемьдесят+",
    "Девяносто+",
    "Сто",
    "Двести",
    "Триста",
    "Четыреста",
    "Пятьсот",
    "Шестьсот",
    "Семьсот",
    "Восемьсот",
    "Девятьсот",
    "Сброс",
    "Снятие с охраны",
    "Взятие под охрану",
    "Тревога",
    "Нарушение",
    "Неисправность",
    "Пожар",
    "Взлом",
    "Закрытие корпуса",
    "Нападение",
    "Раздел",
    "Шлейф",
    "Зона",
    "Восстановление",
    "Опасность пожара",
    "Программирование",
    "Ошибка",
    "Тревога входа",
    "Связи с прибором",
    "Включен",
    "Подбор",
    "Ключа",
    "Кода",
    "Отметка наряда",
    "Резервного питания",
    "Основного питания",
    "Выше нормы",
    "Ниже нормы",
    "Хозорган",
    "Выключен",
    "Прослушивание включено",
    "Двадцать",
    "Тридцать",
    "Сорок",
    "Пятьдесят",
    "Шестьдесят",
    "Семьдесят",
    "Восемьдесят",
    "Девяносто",
};

TFragmentCatalogue::TFragmentCatalogue() {
  for (int i = 0; i < kFragmentSlots; ++i) rows_[i].NameText = std::string(kSlotNames[i]);
}

int32_t TFragmentCatalogue::SumFragmentSizes(std::optional<int> skip) const {
  // Summed wide and held at the top of the range: a sum that wrapped would look like room.
  int64_t sum = 0;
  for (int i = 0; i < kFragmentSlots; ++i)
    if (rows_[i].Cell.Loaded == 1 && (!skip || *skip != i)) sum += rows_[i].Cell.PackedSize;
  return int32_t(std::min<int64_t>(sum, std::numeric_limits<int32_t>::max()));
}

bool TFragmentCatalogue::HasFragments() const {
  for (const TFragmentRow& row : rows_)
    if (row.Cell.Loaded == 1 && !row.Cell.Path.empty()) return true;
  return false;
}

}  // namespace dikton
