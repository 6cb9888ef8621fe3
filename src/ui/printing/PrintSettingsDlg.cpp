#include "printing/PrintSettingsDlg.h"

#include "printing/PrintSettings.h"
#include "util/SafeFormat.h"
#include "util/Translate.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

using PrintSettings::Settings;

// One choice of a control: its caption, the list item it stands for and the
// value the parser makes of it, which is also the printer's name for it.
struct TChoice
{
    const char* Caption;
    const char* Item;
    const char* Value;
};

constexpr TChoice PageSetChoices[] = {{MarkDefault("All pages"), "", ""},
                                      {MarkDefault("Odd pages"), "odd", "odd"},
                                      {MarkDefault("Even pages"), "even", "even"}};
constexpr TChoice SidesChoices[] = {{MarkDefault("Printer default"), "", ""},
                                    {MarkDefault("One side"), "simplex", "one-sided"},
                                    {MarkDefault("Both sides, long edge"), "duplexlong", "two-sided-long-edge"},
                                    {MarkDefault("Both sides, short edge"), "duplexshort", "two-sided-short-edge"}};
constexpr TChoice ScalingChoices[] = {{MarkDefault("Printer default"), "", ""},
                                      {MarkDefault("Fit to the paper"), "fit", "fit"},
                                      {MarkDefault("No scaling"), "noscale", "none"},
                                      {MarkDefault("Shrink to fit"), "shrink", "auto"}};
constexpr TChoice ColorChoices[] = {{MarkDefault("Printer default"), "", ""},
                                    {MarkDefault("Colour"), "color", "color"},
                                    {MarkDefault("Monochrome"), "monochrome", "monochrome"}};
constexpr TChoice OrientationChoices[] = {{MarkDefault("Printer default"), "", ""},
                                          {MarkDefault("Portrait"), "portrait", "3"},
                                          {MarkDefault("Landscape"), "landscape", "4"}};

constexpr int ItemRole = Qt::UserRole;
constexpr int ValueRole = Qt::UserRole + 1;

void AddChoice(QComboBox* box, const QString& caption, const QString& item, const QString& value)
{
    box->addItem(caption);
    box->setItemData(box->count() - 1, item, ItemRole);
    box->setItemData(box->count() - 1, value, ValueRole);
}

template <std::size_t N>
void FillChoices(QComboBox* box, const TChoice (&choices)[N])
{
    box->clear();
    for (const TChoice& c : choices)
        AddChoice(box, TrDefault(c.Caption), QString::fromLatin1(c.Item), QString::fromLatin1(c.Value));
}

// Leaves the choices the printer names; the first (the default) always stays.
// Returns how many others are left.
int KeepSupported(QComboBox* box, const QStringList& supported)
{
    if (!supported.isEmpty()) {
        for (int i = box->count() - 1; i > 0; --i)
            if (!supported.contains(box->itemData(i, ValueRole).toString()))
                box->removeItem(i);
    }
    return box->count() - 1;
}

// The list's items as written, trimmed; empty items stay, so that the parser names them.
QStringList ListItems(const QString& list)
{
    QStringList items;
    if (list.trimmed().isEmpty())
        return items;
    for (const QString& item : list.split(u','))
        items << item.trimmed();
    return items;
}

// The one item parsed alone; false when the parser wants it with others or refuses it.
bool ParseItem(const QString& item, Settings* settings)
{
    std::string error;
    return !item.isEmpty() && PrintSettings::Parse(item.toStdString(), settings, &error);
}

} // namespace

TPrintSettingsDialog::TPrintSettingsDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PrintSettingsDialog"));
    setWindowTitle(TrDefault("Print settings"));
    auto* layout = new QVBoxLayout(this);
    FForm = new QFormLayout;
    layout->addLayout(FForm);

    edtPages = new QLineEdit(this);
    edtPages->setObjectName(QStringLiteral("edtPages"));
    edtPages->setPlaceholderText(TrDefault("all, or e.g. 1-3,5"));
    FForm->addRow(TrDefault("Pages:"), edtPages);
    cbxPageSet = new QComboBox(this);
    FForm->addRow(TrDefault("Of these:"), cbxPageSet);
    cbxSides = new QComboBox(this);
    FForm->addRow(TrDefault("Sides:"), cbxSides);
    cbxPaper = new QComboBox(this);
    FForm->addRow(TrDefault("Paper size:"), cbxPaper);
    cbxScaling = new QComboBox(this);
    FForm->addRow(TrDefault("Scaling:"), cbxScaling);
    cbxColor = new QComboBox(this);
    FForm->addRow(TrDefault("Colour:"), cbxColor);
    cbxTray = new QComboBox(this);
    // A tray the spooler does not list can still be typed.
    cbxTray->setEditable(true);
    cbxTray->setInsertPolicy(QComboBox::NoInsert);
    FForm->addRow(TrDefault("Tray:"), cbxTray);
    cbxOrientation = new QComboBox(this);
    FForm->addRow(TrDefault("Orientation:"), cbxOrientation);
    edtOther = new QLineEdit(this);
    edtOther->setObjectName(QStringLiteral("edtOther"));
    edtOther->setPlaceholderText(TrDefault("e.g. 2up,copies=2"));
    edtOther->setToolTip(TrDefault("Further items of the print settings list, separated by commas"));
    FForm->addRow(TrDefault("Further settings:"), edtOther);

    lblError = new QLabel(this);
    lblError->setObjectName(QStringLiteral("lblError"));
    lblError->setWordWrap(true);
    QPalette palette = lblError->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    lblError->setPalette(palette);
    lblError->hide();
    layout->addWidget(lblError);

    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons->button(QDialogButtonBox::Ok)->setText(TrDialogs("OK"));
    Buttons->button(QDialogButtonBox::Cancel)->setText(TrDialogs("Cancel"));
    connect(Buttons, &QDialogButtonBox::accepted, this, &TPrintSettingsDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &TPrintSettingsDialog::reject);
    layout->addWidget(Buttons);
    FillChoices(cbxPageSet, PageSetChoices);
    SetCapabilities({});
}

void TPrintSettingsDialog::SetCapabilities(const TPrinterCapabilities& caps)
{
    cbxPaper->clear();
    AddChoice(cbxPaper, TrDefault("Printer default"), QString(), QString());
    for (const auto& [name, media] : PrintSettings::PaperSizeNames())
        AddChoice(cbxPaper, QString::fromStdString(name), QStringLiteral("paper=") + QString::fromStdString(name),
                  QString::fromStdString(media));
    cbxTray->clear();
    AddChoice(cbxTray, TrDefault("Printer default"), QString(), QString());
    for (const QString& source : caps.Sources)
        AddChoice(cbxTray, source, QStringLiteral("bin=") + source, source);
    // Refilled from the full choices each time, so that one printer's gaps do not stay for the next.
    FillChoices(cbxSides, SidesChoices);
    FillChoices(cbxScaling, ScalingChoices);
    FillChoices(cbxColor, ColorChoices);
    FillChoices(cbxOrientation, OrientationChoices);
    // A control with nothing to choose between is not shown: a printer
    // without duplex has no sides to pick.
    const std::pair<QComboBox*, const QStringList*> rows[] = {{cbxSides, &caps.Sides},
                                                              {cbxPaper, &caps.Media},
                                                              {cbxScaling, &caps.Scaling},
                                                              {cbxColor, &caps.ColorModes},
                                                              {cbxOrientation, &caps.Orientations}};
    for (const auto& [box, supported] : rows)
        FForm->setRowVisible(box, KeepSupported(box, *supported) >= 2);
}

void TPrintSettingsDialog::SetList(const QString& list)
{
    const std::pair<QComboBox*, std::string Settings::*> boxes[] = {
        {cbxPageSet, &Settings::pageSet},        {cbxSides, &Settings::sides},     {cbxPaper, &Settings::media},
        {cbxScaling, &Settings::scaling},        {cbxColor, &Settings::colorMode}, {cbxTray, &Settings::mediaSource},
        {cbxOrientation, &Settings::orientation}};
    for (const auto& [box, field] : boxes)
        box->setCurrentIndex(0);
    QStringList pages, other;
    QList<QComboBox*> taken;
    for (const QString& item : ListItems(list)) {
        Settings parsed;
        if (!ParseItem(item, &parsed)) {
            other << item;
            continue;
        }
        if (!parsed.ranges.empty()) {
            pages << item;
            continue;
        }
        bool shown = false;
        for (const auto& [box, field] : boxes) {
            if ((parsed.*field).empty())
                continue;
            const QString value = QString::fromStdString(parsed.*field);
            const int index = box->findData(value, ValueRole);
            if (!taken.contains(box) && FForm->isRowVisible(box) && index > 0) {
                box->setCurrentIndex(index);
                taken << box;
                shown = true;
            } else if (box == cbxTray && !taken.contains(box) && cbxTray->count() == 1) {
                // The spooler names no trays: the one written is kept as typed.
                cbxTray->setEditText(value);
                taken << box;
                shown = true;
            }
            break;
        }
        if (!shown)
            other << item;
    }
    edtPages->setText(pages.join(u','));
    edtOther->setText(other.join(u','));
    lblError->hide();
}

QString TPrintSettingsDialog::List() const
{
    QStringList items;
    if (const QString pages = edtPages->text().trimmed(); !pages.isEmpty())
        items << pages;
    for (QComboBox* box : {cbxPageSet, cbxSides, cbxPaper, cbxScaling, cbxColor}) {
        if (FForm->isRowVisible(box) || box == cbxPageSet)
            if (const QString item = box->currentData(ItemRole).toString(); !item.isEmpty())
                items << item;
    }
    const QString tray = cbxTray->currentText().trimmed();
    const int trayIndex = cbxTray->findText(tray);
    if (trayIndex > 0)
        items << cbxTray->itemData(trayIndex, ItemRole).toString();
    else if (trayIndex < 0 && !tray.isEmpty())
        items << QStringLiteral("bin=") + tray;
    if (FForm->isRowVisible(cbxOrientation))
        if (const QString item = cbxOrientation->currentData(ItemRole).toString(); !item.isEmpty())
            items << item;
    if (const QString other = edtOther->text().trimmed(); !other.isEmpty())
        items << other;
    return items.join(u',');
}

bool TPrintSettingsDialog::Execute(const QString& printer, QString& list)
{
    setWindowTitle(FillPlaceholders(TrDefault("Print settings for %s"), {printer}));
    SetCapabilities(PrinterCapabilities(printer));
    SetList(list);
    if (exec() != QDialog::Accepted)
        return false;
    list = List();
    return true;
}

void TPrintSettingsDialog::accept()
{
    // The same parser as before a run: a list it refuses is not taken.
    const QString list = List();
    PrintSettings::Settings parsed;
    std::string error;
    if (!list.isEmpty() && !PrintSettings::Parse(list.toStdString(), &parsed, &error)) {
        lblError->setText(
            FillPlaceholders(TrDefault("These settings cannot be used: %s"), {QString::fromStdString(error)}));
        lblError->show();
        return;
    }
    QDialog::accept();
}

QString PrintSettingsSummary(const QString& list)
{
    if (list.trimmed().isEmpty())
        return TrDefault("printer defaults");
    PrintSettings::Settings all;
    std::string error;
    if (!PrintSettings::Parse(list.toStdString(), &all, &error))
        return FillPlaceholders(TrDefault("not usable: %s"), {list});
    const std::pair<const char*, const char*> words[] = {
        {"odd", MarkDefault("odd pages")},
        {"even", MarkDefault("even pages")},
        {"one-sided", MarkDefault("one side")},
        {"two-sided-long-edge", MarkDefault("both sides")},
        {"two-sided-short-edge", MarkDefault("both sides, short edge")},
        {"fit", MarkDefault("fit to the paper")},
        {"none", MarkDefault("no scaling")},
        {"auto", MarkDefault("shrink to fit")},
        {"color", MarkDefault("colour")},
        {"monochrome", MarkDefault("mono")},
        {"3", MarkDefault("portrait")},
        {"4", MarkDefault("landscape")}};
    QStringList pages, parts;
    for (const QString& item : ListItems(list)) {
        Settings s;
        if (!ParseItem(item, &s)) {
            parts << item;
            continue;
        }
        if (!s.ranges.empty()) {
            pages << item;
            continue;
        }
        QString part = item;
        if (!s.media.empty()) {
            for (const auto& [name, media] : PrintSettings::PaperSizeNames())
                if (media == s.media)
                    part = QString::fromStdString(name);
        } else if (!s.mediaSource.empty()) {
            part = FillPlaceholders(TrDefault("tray %s"), {QString::fromStdString(s.mediaSource)});
        } else {
            for (const std::string* value : {&s.pageSet, &s.sides, &s.scaling, &s.colorMode, &s.orientation})
                for (const auto& [v, word] : words)
                    if (!value->empty() && *value == v)
                        part = TrDefault(word);
        }
        parts << part;
    }
    if (!pages.isEmpty())
        parts.prepend(FillPlaceholders(TrDefault("pages %s"), {pages.join(u',')}));
    return parts.join(QStringLiteral(" · "));
}
