#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

// The window's words are written in Simplified Chinese, which a Chinese
// locale sees as they are; every other locale sees the English translation.

// The language the window speaks to a locale with these languages
// (QLocale::uiLanguages, best first): the first Chinese ("zh...") or English
// one, and "en" when the list has neither.
QString WindowLanguage(const QStringList& uiLanguages);

// Where a program at `programPath` finds its translations: in translations/
// beside it (a build tree), then in ../share/ondulofrin/translations from it
// (an installation).
QStringList TranslationFolders(const QString& programPath);

// Installs in the application the translation `locale` wants, from the first
// of `folders` that holds one that loads, and Qt's own words for the same
// language where Qt's translations are installed. False when the window
// keeps its source texts: a Chinese locale, or a translation that is missing
// or does not load.
bool InstallWindowTranslation(const QLocale& locale, const QStringList& folders);
