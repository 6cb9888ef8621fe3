#pragma once

#include "platform/Printers.h"

#include <QDialog>

class QComboBox;
class QDialogButtonBox;
class QFormLayout;
class QLabel;
class QLineEdit;

// The window's print settings: the controls make the same list that
// morvane-batch --print-settings takes ("2-3,duplex,paper=A4"). Each control
// offers only the values the printer names (where the spooler names any);
// items of the list that no control shows, or that the printer does not
// name, stay in the further settings field, so that nothing is lost.
class TPrintSettingsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TPrintSettingsDialog(QWidget* parent = nullptr);

    // Fills the choices for a printer; call before SetList.
    void SetCapabilities(const TPrinterCapabilities& capabilities);
    void SetList(const QString& list);
    // The list the controls make; empty for the printer's defaults.
    QString List() const;

    // Modal: true when the user accepted a list the parser takes, which is
    // then in `list`.
    bool Execute(const QString& printer, QString& list);

    void accept() override;

    QLineEdit* edtPages = nullptr;
    QComboBox* cbxPageSet = nullptr;
    QComboBox* cbxSides = nullptr;
    QComboBox* cbxPaper = nullptr;
    QComboBox* cbxScaling = nullptr;
    QComboBox* cbxColor = nullptr;
    QComboBox* cbxTray = nullptr;
    QComboBox* cbxOrientation = nullptr;
    QLineEdit* edtOther = nullptr;
    QLabel* lblError = nullptr;
    QDialogButtonBox* Buttons = nullptr;

private:
    QFormLayout* FForm = nullptr;
};

// The list in a few words for the window: "pages 2-3 · both sides · A4 ·
// mono"; "printer defaults" for an empty list.
QString PrintSettingsSummary(const QString& list);
