#include "printing/OfficeHandover.h"

#include "documents/DocumentType.h"
#include "documents/OfficeConvert.h"
#include "util/FileNameBytes.h"

#include <QDir>

#include <csignal>

TOfficeHandover::TOfficeHandover(const QStringList& jobs, const QString& sourceDir)
    : FFolder(QDir::tempPath() + QStringLiteral("/morvane-office-XXXXXX"))
{
    const QDir base(sourceDir);
    QStringList office;
    std::vector<std::string> names;
    for (const QString& file : jobs) {
        // The name first: a libmagic look at every file of a long list costs more than the run saves.
        const std::string bytes = FileNameToBytes(base.absoluteFilePath(file)).toStdString();
        if (office.contains(file) || !DocumentType::HasOfficeExtension(bytes))
            continue;
        const DocumentType::Inspection seen = DocumentType::Inspect(bytes);
        if (seen.kind != DocumentType::Kind::Office || !seen.problem.empty())
            continue; // the print program says what is wrong with it
        office << file;
        names.push_back(bytes);
    }
    if (office.isEmpty() || !FFolder.isValid())
        return; // without a folder each is converted by the print program
    const DocumentType::OfficeBatch converted =
        DocumentType::ConvertOfficeDocuments(names, FileNameToBytes(FFolder.path()).toStdString());
    for (qsizetype i = 0; i < office.size(); ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (!converted.pdfs[k].empty())
            FPdfs.insert(office[i], FileNameFromBytes(QByteArray::fromStdString(converted.pdfs[k])));
        else
            FProblems.insert(office[i], QString::fromLocal8Bit(QByteArray::fromStdString(converted.problems[k])));
    }
    // Taken while LibreOffice ran: now the program's own handler sees it and stops the run.
    if (converted.stopSignal != 0)
        std::raise(converted.stopSignal);
}
