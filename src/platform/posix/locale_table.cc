// The locale table of the POSIX adapter: the Windows settings of the common
// user locales, and the month and weekday names of their languages.
//
// The settings are the desktop platform's own (Control Panel defaults), so a
// report prints the same text on Linux as on a Windows desktop: for example
// the German short date is dd.MM.yyyy, the Italian dd/MM/yyyy and the
// Japanese yyyy/MM/dd. The first entry, en-US, is the fallback locale.
#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/text_ops.h"
#include "platform/locale.h"
#include "platform/posix/calendar_names.h"
#include "platform/posix/table_locale.h"

namespace qorvel::platform {
namespace {

LocaleInfo Entry(std::string name, unsigned lcid, Text short_date, Text long_time, Text date_sep,
                 Text decimal, Text thousands, Text am, Text pm, Text currency, int date_order,
                 unsigned code_page) {
  LocaleInfo info;
  info.name = std::move(name);
  info.lcid = lcid;
  info.short_date = std::move(short_date);
  info.long_time = std::move(long_time);
  info.date_separator = std::move(date_sep);
  info.time_separator = u":";
  info.decimal = decimal;
  info.thousands = thousands;
  info.am = std::move(am);
  info.pm = std::move(pm);
  info.negative_sign = u"-";
  info.positive_sign = u"";
  info.currency = std::move(currency);
  info.money_decimal = std::move(decimal);
  info.money_thousands = std::move(thousands);
  info.date_order = date_order;
  info.code_page = code_page;
  return info;
}

// In table order; the names are what LocaleNames() lists.
std::vector<LocaleInfo> TableEntries() {
  return {
      Entry("en-US", 0x0409, u"M/d/yyyy", u"h:mm:ss tt", u"/", u".", u",", u"AM", u"PM", u"$", 0, 1252),
      Entry("en-GB", 0x0809, u"dd/MM/yyyy", u"HH:mm:ss", u"/", u".", u",", u"am", u"pm", u"\u00A3", 1, 1252),
      Entry("de-DE", 0x0407, u"dd.MM.yyyy", u"HH:mm:ss", u".", u",", u".", u"AM", u"PM", u"\u20AC", 1, 1252),
      Entry("fr-FR", 0x040C, u"dd/MM/yyyy", u"HH:mm:ss", u"/", u",", u"\u00A0", u"AM", u"PM", u"\u20AC", 1, 1252),
      Entry("nl-NL", 0x0413, u"d-M-yyyy", u"HH:mm:ss", u"-", u",", u".", u"a.m.", u"p.m.", u"\u20AC", 1, 1252),
      Entry("it-IT", 0x0410, u"dd/MM/yyyy", u"HH:mm:ss", u"/", u",", u".", u"AM", u"PM", u"\u20AC", 1, 1252),
      Entry("sv-SE", 0x041D, u"yyyy-MM-dd", u"HH:mm:ss", u"-", u",", u"\u00A0", u"fm", u"em", u"kr", 2, 1252),
      Entry("ja-JP", 0x0411, u"yyyy/MM/dd", u"H:mm:ss", u"/", u".", u",", u"\u5348\u524D", u"\u5348\u5F8C",
            u"\uFFE5", 2, 932),
  };
}

struct Table {
  std::vector<std::string> names;
  std::vector<std::shared_ptr<const Locale>> locales;
};

// Built on first use and never destroyed, so that a locale found here stays
// valid for code that runs during static destruction.
const Table& GetTable() {
  static const Table* const table = [] {
    auto* t = new Table;
    for (LocaleInfo& info : TableEntries()) {
      t->names.push_back(info.name);
      t->locales.push_back(std::make_shared<const TableLocale>(std::move(info)));
    }
    return t;
  }();
  return *table;
}

// "de_DE.UTF-8@euro" -> "de-de": codeset and modifier dropped, '_' as '-',
// lower case.
std::string NormalizeName(std::string_view name) {
  const std::size_t end = name.find_first_of(".@");
  if (end != std::string_view::npos) name = name.substr(0, end);
  std::string out = AsciiLowercase(name);
  std::replace(out.begin(), out.end(), '_', '-');
  return out;
}

const CalendarNames kNames[] = {
    {"en",
     {u"January", u"February", u"March", u"April", u"May", u"June", u"July", u"August", u"September",
      u"October", u"November", u"December"},
     {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun", u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"},
     {u"Sunday", u"Monday", u"Tuesday", u"Wednesday", u"Thursday", u"Friday", u"Saturday"},
     {u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat"}},
    {"de",
     {u"Januar", u"Februar", u"M\u00E4rz", u"April", u"Mai", u"Juni", u"Juli", u"August", u"September",
      u"Oktober", u"November", u"Dezember"},
     {u"Jan", u"Feb", u"M\u00E4r", u"Apr", u"Mai", u"Jun", u"Jul", u"Aug", u"Sep", u"Okt", u"Nov", u"Dez"},
     {u"Sonntag", u"Montag", u"Dienstag", u"Mittwoch", u"Donnerstag", u"Freitag", u"Samstag"},
     {u"So", u"Mo", u"Di", u"Mi", u"Do", u"Fr", u"Sa"}},
    {"fr",
     {u"janvier", u"f\u00E9vrier", u"mars", u"avril", u"mai", u"juin", u"juillet", u"ao\u00FBt",
      u"septembre", u"octobre", u"novembre", u"d\u00E9cembre"},
     {u"janv", u"f\u00E9vr", u"mars", u"avr", u"mai", u"juin", u"juil", u"ao\u00FBt", u"sept", u"oct",
      u"nov", u"d\u00E9c"},
     {u"dimanche", u"lundi", u"mardi", u"mercredi", u"jeudi", u"vendredi", u"samedi"},
     {u"dim", u"lun", u"mar", u"mer", u"jeu", u"ven", u"sam"}},
    {"nl",
     {u"januari", u"februari", u"maart", u"april", u"mei", u"juni", u"juli", u"augustus", u"september",
      u"oktober", u"november", u"december"},
     {u"jan", u"feb", u"mrt", u"apr", u"mei", u"jun", u"jul", u"aug", u"sep", u"okt", u"nov", u"dec"},
     {u"zondag", u"maandag", u"dinsdag", u"woensdag", u"donderdag", u"vrijdag", u"zaterdag"},
     {u"zo", u"ma", u"di", u"wo", u"do", u"vr", u"za"}},
    {"it",
     {u"gennaio", u"febbraio", u"marzo", u"aprile", u"maggio", u"giugno", u"luglio", u"agosto",
      u"settembre", u"ottobre", u"novembre", u"dicembre"},
     {u"gen", u"feb", u"mar", u"apr", u"mag", u"giu", u"lug", u"ago", u"set", u"ott", u"nov", u"dic"},
     {u"domenica", u"luned\u00EC", u"marted\u00EC", u"mercoled\u00EC", u"gioved\u00EC", u"venerd\u00EC",
      u"sabato"},
     {u"dom", u"lun", u"mar", u"mer", u"gio", u"ven", u"sab"}},
    {"sv",
     {u"januari", u"februari", u"mars", u"april", u"maj", u"juni", u"juli", u"augusti", u"september",
      u"oktober", u"november", u"december"},
     {u"jan", u"feb", u"mar", u"apr", u"maj", u"jun", u"jul", u"aug", u"sep", u"okt", u"nov", u"dec"},
     {u"s\u00F6ndag", u"m\u00E5ndag", u"tisdag", u"onsdag", u"torsdag", u"fredag", u"l\u00F6rdag"},
     {u"s\u00F6n", u"m\u00E5n", u"tis", u"ons", u"tor", u"fre", u"l\u00F6r"}},
    // Japanese months are written as a number and U+6708; the date reader
    // handles that form itself, these strings serve the MMM/MMMM patterns.
    {"ja",
     {u"1\u6708", u"2\u6708", u"3\u6708", u"4\u6708", u"5\u6708", u"6\u6708", u"7\u6708", u"8\u6708",
      u"9\u6708", u"10\u6708", u"11\u6708", u"12\u6708"},
     {u"1\u6708", u"2\u6708", u"3\u6708", u"4\u6708", u"5\u6708", u"6\u6708", u"7\u6708", u"8\u6708",
      u"9\u6708", u"10\u6708", u"11\u6708", u"12\u6708"},
     {u"\u65E5\u66DC\u65E5", u"\u6708\u66DC\u65E5", u"\u706B\u66DC\u65E5", u"\u6C34\u66DC\u65E5",
      u"\u6728\u66DC\u65E5", u"\u91D1\u66DC\u65E5", u"\u571F\u66DC\u65E5"},
     {u"\u65E5", u"\u6708", u"\u706B", u"\u6C34", u"\u6728", u"\u91D1", u"\u571F"}},
};

}  // namespace

const CalendarNames& NamesForLocale(std::string_view locale_name) {
  const std::string normalized = NormalizeName(locale_name);
  const std::string language = normalized.substr(0, normalized.find('-'));
  for (const CalendarNames& names : kNames) {
    if (names.language == language) return names;
  }
  return kNames[0];
}

std::shared_ptr<const Locale> FindLocale(std::string_view name) {
  const Table& table = GetTable();
  const std::string wanted = NormalizeName(name);
  for (std::size_t i = 0; i < table.names.size(); ++i) {
    if (NormalizeName(table.names[i]) == wanted) return table.locales[i];
  }
  return nullptr;
}

const std::vector<std::string>& LocaleNames() { return GetTable().names; }

}  // namespace qorvel::platform
