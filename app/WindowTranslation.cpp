#include "app/WindowTranslation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

constexpr char kEnglishFile[] = "ondulofrin_en.qm";

bool IsChinese(const QString& language) {
    return language.startsWith(QStringLiteral("zh"));
}

// Owned by the application, so it lives as long as the texts it gives.
bool Install(const QString& file) {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(file)) {
        QCoreApplication::installTranslator(translator);
        return true;
    }
    delete translator;
    return false;
}

// Qt's own words (the message box's button, its file dialog), where Qt's
// translations are installed; English needs none.
void InstallQtTranslation(const QLocale& locale) {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
    } else {
        delete translator;
    }
}

}  // namespace

QString WindowLanguage(const QStringList& uiLanguages) {
    for (const QString& language : uiLanguages) {
        if (IsChinese(language) || language.startsWith(QStringLiteral("en")))
            return language;
    }
    return QStringLiteral("en");
}

QStringList TranslationFolders(const QString& programPath) {
    const QDir folder = QFileInfo(programPath).dir();
    return {folder.filePath(QStringLiteral("translations")),
            QDir::cleanPath(folder.filePath(QStringLiteral("../share/ondulofrin/translations")))};
}

bool InstallWindowTranslation(const QLocale& locale, const QStringList& folders) {
    const QString language = WindowLanguage(locale.uiLanguages());
    if (IsChinese(language)) {
        InstallQtTranslation(QLocale(language));
        return false;
    }
    for (const QString& folder : folders) {
        if (Install(QDir(folder).filePath(QString::fromLatin1(kEnglishFile))))
            return true;
    }
    return false;
}
