#include "app/Histories.h"

#include "app/IniFileUtils.h"
#include "util/RecentList.h"
#include "util/StrUtils.h"

#include <algorithm>

namespace {

QString HistoryKey(const QString& keyPrefix, int i)
{
    const QString prefix = keyPrefix.isEmpty() ? QString::fromLatin1(DefaultHistoryPrefix) : keyPrefix;
    return prefix + QString::number(i);
}

} // namespace

bool ReadHistory(const TMemIniFile& ini, const QString& section, QStringList& list, const QString& keyPrefix,
                 int maxCount, bool quote)
{
    if (!ini.SectionExists(section))
        return false;
    list.clear();
    for (int i = 0; i < maxCount; ++i) {
        const QString value = ini.ReadString(section, HistoryKey(keyPrefix, i), QString());
        if (!value.isEmpty())
            list.append(quote ? ReplaceChar(value, u'#', u'"') : value);
    }
    return true;
}

void WriteHistory(TMemIniFile& ini, const QString& section, const QStringList& list, const QString& keyPrefix,
                  int maxCount, bool erase, bool quote)
{
    if (erase)
        ini.EraseSection(section);
    const qsizetype n = std::min<qsizetype>(std::max(maxCount, 0), list.size());
    for (qsizetype i = 0; i < n; ++i) {
        ini.WriteString(section, HistoryKey(keyPrefix, int(i)), quote ? ReplaceChar(list[i], u'"', u'#') : list[i]);
    }
}

bool ReadHistoryFile(const QString& fileName, const QString& section, QStringList& list, int maxCount, bool quote,
                     bool* sectionFound, QString* errorText)
{
    TMemIniFile ini(fileName);
    const bool ok = ini.Load(errorText);
    const bool found = ok && ReadHistory(ini, section, list, QString(), maxCount, quote);
    if (sectionFound)
        *sectionFound = found;
    return ok;
}

bool WriteHistoryFile(const QString& fileName, const QString& section, const QStringList& list, int maxCount,
                      bool erase, bool quote, QString* errorText)
{
    // Plain in-memory file: the content is written back in the encoding it
    // was found in.
    TMemIniFile ini(fileName);
    if (!ini.Load(errorText))
        return false;
    WriteHistory(ini, section, list, QString(), maxCount, erase, quote);
    return ini.UpdateFile(errorText);
}

void AddToHistory(QStringList& list, const QString& text, int bound)
{
    AddToRecentList(list, text, bound);
}
