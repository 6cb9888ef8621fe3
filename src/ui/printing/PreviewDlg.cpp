#include "printing/PreviewDlg.h"

#include "printing/JobPreview.h"
#include "util/SafeFormat.h"
#include "util/Translate.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

void ShowJobPreview(QWidget* parent, const TJobPreview& preview)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("JobPreview"));
    dialog.setWindowTitle(TrDefault("Preview"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QTreeWidget(&dialog);
    list->setObjectName(QStringLiteral("lvPreview"));
    list->setRootIsDecorated(false);
    list->setHeaderLabels(
        {TrDefault("File"), TrDefault("Pages"), TrDefault("To print"), TrDefault("Sheets"), TrDefault("Note")});
    const auto add = [list](const QStringList& columns, const QColor& color) {
        auto* item = new QTreeWidgetItem(list, columns);
        for (int c = 1; c <= 3; ++c)
            item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
        item->setToolTip(0, columns.value(0));
        item->setToolTip(4, columns.value(4));
        if (color.isValid())
            for (int c = 0; c < columns.size(); ++c)
                item->setForeground(c, color);
    };
    for (const TPreviewFile& file : preview.Files) {
        if (file.PagesUnknown)
            add({file.File, QString(), QString(), QString(),
                 TrDefault("office document: its pages are counted when LibreOffice converts it")},
                QColor());
        else if (file.Problem.isEmpty())
            add({file.File, QString::number(file.Pages), QString::number(file.PrintedPages),
                 QString::number(file.Sheets), QString()},
                QColor());
        else
            add({file.File, file.Pages > 0 ? QString::number(file.Pages) : QString(), QString(), QString(),
                 FillPlaceholders(TrDefault("cannot be printed: %s"), {file.Problem})},
                Qt::red);
    }
    for (const TJobName& name : preview.Duplicates)
        add({name.Path, QString(), QString(), QString(), DuplicateText(name)}, Qt::darkGray);
    for (const TUnmatchedName& name : preview.Unmatched)
        add({name.Path, QString(), QString(), QString(), UnmatchedText(name)}, Qt::darkGray);
    for (const QString& error : preview.ListErrors)
        add({QString(), QString(), QString(), QString(), error}, Qt::red);
    // The note takes what the numbers leave; long ones are in its tooltip.
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list->header()->setStretchLastSection(true);
    layout->addWidget(list);

    auto* row = new QHBoxLayout;
    auto* total = new QLabel(PreviewTotalText(preview), &dialog);
    total->setObjectName(QStringLiteral("lblPreviewTotal"));
    QFont bold = total->font();
    bold.setBold(true);
    total->setFont(bold);
    row->addWidget(total, 1);
    auto* close = new QPushButton(TrDefault("Close"), &dialog);
    close->setObjectName(QStringLiteral("btnClose"));
    QObject::connect(close, &QPushButton::clicked, &dialog, &QDialog::accept);
    row->addWidget(close);
    layout->addLayout(row);
    close->setDefault(true);
    close->setFocus();
    const double scale = dialog.logicalDpiX() / 96.0;
    dialog.resize(qRound(640 * scale), qRound(320 * scale));
    dialog.exec();
}
