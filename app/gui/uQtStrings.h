// The core keeps its texts as UTF-8 std::string; Qt wants QString.
#pragma once

#include <QFont>
#include <QLocale>
#include <QString>
#include <string>
#include <string_view>

namespace dikton::gui {

inline QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string S(const QString& s) { return s.toStdString(); }

// The windows were laid out for an 11-pixel sans-serif; DejaVu Sans stands in wherever the
// system font has no Cyrillic.
QFont DiktonFont();

// The program's locale: Russian, as every text it shows, whatever the system's locale is.
inline QLocale RussianLocale() { return QLocale(QLocale::Russian, QLocale::Russia); }

}  // namespace dikton::gui
