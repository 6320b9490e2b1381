#include "desktop/chinese.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tarvelin {

namespace {

// Words of Qt's own that its Chinese translations lack: the type column of
// the file dialog names folders, drives and links with them.
class MissingQtWords : public QTranslator {
public:
    using QTranslator::QTranslator;

    QString translate(const char *context, const char *sourceText, const char * = nullptr, int = -1) const override
    {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0)
            return {};
        static const struct {
            const char *english;
            const char16_t *chinese;
        } words[] = {
            {"Folder", u"文件夹"},    {"File Folder", u"文件夹"}, {"Drive", u"驱动器"},
            {"Shortcut", u"快捷方式"}, {"Alias", u"快捷方式"},     {"File", u"文件"},
            {"Unknown", u"未知"},
        };
        for (const auto &word : words)
            if (qstrcmp(sourceText, word.english) == 0)
                return QString::fromUtf16(word.chinese);
        return {};
    }
    bool isEmpty() const override { return false; }
};

} // namespace

bool installChineseTranslations(QCoreApplication &app)
{
    // Qt's widgets (the file dialog's file types, sizes and dates) speak the
    // default locale's language. The clock keeps the system's own forms.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    QCoreApplication::installTranslator(new MissingQtWords(&app));
    auto *translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace tarvelin
