// The catalogs against the sources: every text the sources look up or mark
// for a domain is translated in each language's catalog of that domain, and
// every catalog entry is a text that something looks up.
//
// The texts are extracted with xgettext and the keywords below, one run per
// domain. The toolkit domain "qt" is special: besides the texts our sources
// look up there, it translates texts that Qt's own widgets ask for (the file
// dialog's "Look in:", its buttons), answered by our catalog translator ahead
// of Qt's translation. Those come from no source of ours; an entry that is
// not from our sources must be one of Qt's own source texts, read from Qt's
// translation file (it holds the source text of every message). Without that
// file the check of such entries is left out and said so.

#include "app/GnuGetText.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QLibraryInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

struct TDomain
{
    const char* Name;
    QStringList Keywords;
};

// Where each domain's texts are written. "Tr" is the helper of morvane-batch
// and of the watch that fills placeholders after a "default" lookup;
// TrDomain takes its domain at run time and is only called with texts read
// from widgets, which the Mark macros cover. "printpdf" holds the print
// program's texts and those of the plain C++ code it shares with the core.
const QList<TDomain>& Domains()
{
    static const QList<TDomain> domains{
        {"default", {QStringLiteral("TrDefault"), QStringLiteral("MarkDefault"), QStringLiteral("Tr")}},
        {"dialogs", {QStringLiteral("TrDialogs"), QStringLiteral("MarkDialogs")}},
        {ToolkitDomain, {QStringLiteral("TrToolkit"), QStringLiteral("MarkToolkit")}},
        {"printpdf", {QStringLiteral("TrPrintPdf"), QStringLiteral("MarkPrintPdf"), QStringLiteral("TrPrintPdfN:1,2")}},
    };
    return domains;
}

// Entries that the German catalog of the program's texts has carried from its
// beginning although no window shows them now; they may stay, no language
// needs them.
const QSet<QString>& KeptWithoutSource()
{
    static const QSet<QString> kept{QStringLiteral("Printing of PDF files")};
    return kept;
}

QString Unquote(const QString& line)
{
    const qsizetype first = line.indexOf(u'"');
    const qsizetype last = line.lastIndexOf(u'"');
    QString out;
    for (qsizetype i = first + 1; i < last; ++i) {
        QChar c = line[i];
        if (c == u'\\' && i + 1 < last) {
            c = line[++i];
            if (c == u'n')
                c = u'\n';
            else if (c == u't')
                c = u'\t';
            else if (c == u'r')
                c = u'\r';
        }
        out += c;
    }
    return out;
}

struct TCatalogText
{
    bool Translated = false;
};

// The entries of a .po or .pot file, keyed as the lookup keys them: without
// CR. A fuzzy or empty translation counts as untranslated, as msgfmt leaves
// it out; obsolete (#~) entries are not entries.
QHash<QString, TCatalogText> ReadCatalog(const QString& fileName, QString* error)
{
    QHash<QString, TCatalogText> entries;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = fileName + QStringLiteral(": ") + file.errorString();
        return entries;
    }
    QStringList ids;
    QString part;
    QString* current = nullptr;
    QString translation;
    bool fuzzy = false;
    const auto finish = [&] {
        for (QString id : std::as_const(ids)) {
            id.remove(u'\r');
            if (!id.isEmpty())
                entries[id].Translated = !fuzzy && !translation.isEmpty();
        }
        ids.clear();
        translation.clear();
        fuzzy = false;
        current = nullptr;
    };
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (const QString& line : lines) {
        if (line.startsWith(QStringLiteral("msgid ")) && !ids.isEmpty())
            finish();
        if (line.startsWith(QStringLiteral("#,")) && line.contains(QStringLiteral("fuzzy"))) {
            finish();
            fuzzy = true;
        } else if (line.startsWith(QStringLiteral("msgid ")) || line.startsWith(QStringLiteral("msgid_plural "))) {
            ids << Unquote(line);
            current = &ids.last();
        } else if (line.startsWith(QStringLiteral("msgstr"))) {
            translation += Unquote(line);
            current = &translation;
        } else if (line.startsWith(u'"') && current) {
            *current += Unquote(line);
        } else if (line.trimmed().isEmpty() || line.startsWith(QStringLiteral("#~"))) {
            if (!ids.isEmpty())
                finish();
        }
    }
    if (!ids.isEmpty())
        finish();
    return entries;
}

QStringList SourceFiles(const QDir& root)
{
    QStringList files;
    for (const char* folder : {"src", "tools"}) {
        QDirIterator it(root.filePath(QString::fromLatin1(folder)), {QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << root.relativeFilePath(it.next());
    }
    files.sort();
    return files;
}

// The source texts of Qt's own messages: each is stored in the .qm file as
// tag 6, a big-endian length and the UTF-8 bytes.
QSet<QString> ToolkitSourceTexts(const QByteArray& qm, const QList<QString>& candidates)
{
    QSet<QString> found;
    for (const QString& text : candidates) {
        const QByteArray bytes = text.toUtf8();
        QByteArray tagged(5, '\6');
        qToBigEndian(quint32(bytes.size()), tagged.data() + 1);
        tagged += bytes;
        if (qm.contains(tagged))
            found.insert(text);
    }
    return found;
}

QString Listed(QStringList texts)
{
    texts.sort();
    for (QString& t : texts)
        t = QStringLiteral("  \"") + QString(t).replace(u'\n', QStringLiteral("\\n")) + u'"';
    return texts.join(u'\n');
}

TEST(CatalogCompleteness, EveryLanguageHasEverySourceTextAndNoOther)
{
    const QDir root(QStringLiteral(MORVANE_SOURCE_DIR));
    const QDir po(root.filePath(QStringLiteral("po")));
    const QStringList languages = po.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_TRUE(languages.contains(QStringLiteral("de"))) << "no German catalogs below " << qPrintable(po.path());
    const QStringList files = SourceFiles(root);
    ASSERT_FALSE(files.isEmpty());

    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    QFile list(work.filePath(QStringLiteral("files")));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write((files.join(u'\n') + u'\n').toUtf8());
    list.close();

    QFile qtFile(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_de.qm"));
    const QByteArray qm = qtFile.open(QIODevice::ReadOnly) ? qtFile.readAll() : QByteArray();

    for (const TDomain& domain : Domains()) {
        const QString name = QString::fromLatin1(domain.Name);
        const QString pot = work.filePath(name + QStringLiteral(".pot"));
        QStringList args{QStringLiteral("--from-code=UTF-8"), QStringLiteral("--language=C++"),
                         QStringLiteral("--no-wrap"),         QStringLiteral("--keyword="),
                         QStringLiteral("--directory"),       root.path(),
                         QStringLiteral("--files-from"),      list.fileName(),
                         QStringLiteral("--output"),          pot};
        for (const QString& k : domain.Keywords)
            args << QStringLiteral("--keyword=") + k;
        QProcess xgettext;
        xgettext.start(QStringLiteral(XGETTEXT_EXECUTABLE), args);
        ASSERT_TRUE(xgettext.waitForFinished(120000)) << "xgettext did not end";
        ASSERT_EQ(xgettext.exitCode(), 0) << xgettext.readAllStandardError().constData();
        QString error;
        const QHash<QString, TCatalogText> sources = ReadCatalog(pot, &error);
        ASSERT_TRUE(error.isEmpty()) << qPrintable(error);
        // A keyword that no longer matches would make every entry look unused.
        ASSERT_FALSE(sources.isEmpty()) << "xgettext found no text for " << domain.Name;

        for (const QString& language : languages) {
            const QString catalogName = po.filePath(language + u'/' + name + QStringLiteral(".po"));
            const QHash<QString, TCatalogText> catalog = ReadCatalog(catalogName, &error);
            ASSERT_TRUE(error.isEmpty()) << qPrintable(error);
            QStringList missing;
            for (auto it = sources.cbegin(); it != sources.cend(); ++it)
                if (!catalog.value(it.key()).Translated)
                    missing << it.key();
            QStringList unused;
            for (auto it = catalog.cbegin(); it != catalog.cend(); ++it)
                if (!sources.contains(it.key()) && !KeptWithoutSource().contains(it.key()))
                    unused << it.key();
            if (name == QLatin1String(ToolkitDomain) && !unused.isEmpty()) {
                if (qm.isEmpty()) {
                    std::printf("Qt's translation file is missing: %d entries of %s are not checked\n",
                                int(unused.size()), qPrintable(catalogName));
                    unused.clear();
                } else {
                    const QSet<QString> own = ToolkitSourceTexts(qm, unused);
                    unused.removeIf([&own](const QString& t) { return own.contains(t); });
                }
            }
            EXPECT_TRUE(missing.isEmpty())
                << qPrintable(language) << '/' << domain.Name << ".po lacks " << missing.size() << " source text(s):\n"
                << qPrintable(Listed(missing));
            EXPECT_TRUE(unused.isEmpty()) << qPrintable(language) << '/' << domain.Name << ".po has " << unused.size()
                                          << " entr(ies) that no source has:\n"
                                          << qPrintable(Listed(unused));
        }
    }
}

} // namespace
