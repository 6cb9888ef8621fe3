#include "printing/ShowText.h"

#include "app/GnuGetText.h"
#include "dialogs/MsgDialogs.h"
#include "printing/ExecProcess.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

namespace {

TfrmShow* frmShow = nullptr;

} // namespace

TfrmShow::TfrmShow(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmShow"));
    setWindowTitle(TrDefault("Show text"));
    resize(496, 283);

    memShow = new QPlainTextEdit(this);
    memShow->setObjectName(QStringLiteral("memShow"));
    memShow->setReadOnly(true);
    memShow->setFocusPolicy(Qt::NoFocus);
    memShow->setLineWrapMode(QPlainTextEdit::NoWrap);
    memShow->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memShow->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(8);
    memShow->setFont(font);

    panButtons = new QWidget(this);
    panButtons->setObjectName(QStringLiteral("panButtons"));
    panButtons->setFixedHeight(41);
    btnOK = new QPushButton(TrToolkit("OK"), panButtons);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttonRow = new QHBoxLayout(panButtons);
    buttonRow->addStretch();
    buttonRow->addWidget(btnOK);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(memShow);
    layout->addWidget(panButtons);
}

void TfrmShow::reject()
{
    // OK is also the cancel button: Escape and the close box end with OK as well.
    accept();
}

void TfrmShow::Execute(const QString& title, const QString& text, int delay)
{
    if (text.isEmpty())
        return;
    setWindowTitle(title);
    btnOK->setText(TrToolkit("OK"));
    memShow->setPlainText(text);
    if (delay == 0) {
        panButtons->show();
        btnOK->setFocus();
        exec();
        return;
    }
    panButtons->hide();
    setModal(false);
    show();
    repaint();
    for (int i = 0; i < delay * 10; ++i) {
        QThread::msleep(100);
        QCoreApplication::processEvents();
    }
    close();
}

void ShowTextWindow(const QString& title, const QString& text, int delay)
{
    // No parent: the window opens centred on the screen, not on the caller.
    TfrmShow window;
    frmShow = &window;
    window.Execute(title, text, delay);
    frmShow = nullptr;
}

TfrmShow* CurrentTextWindow()
{
    return frmShow;
}

void InstallProcessWindows()
{
    SetProcessReporting(
        {[](const QString& title, const QString& text) { ShowTextWindow(title, text, 0); },
         [](const QString& title, const QString& message) { ErrorDialog(title, message, dmActiveForm); }});
}
