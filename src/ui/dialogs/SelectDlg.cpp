#include "dialogs/SelectDlg.h"

#include "dialogs/AnswerQueue.h"
#include "dialogs/ScreenScale.h"

#include "app/GnuGetText.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include <memory>

namespace {

TAnswerQueue<int, SelectDialogTestSeam::TQuestion> g_seam;

// The global instance: ShowSelectDialog creates and destroys it on every call.
TSelectDialog* SelectDialog = nullptr;

const QString CrLf = QStringLiteral("\r\n");

} // namespace

void PlaceDialog(QWidget* form, QPoint pos, bool above)
{
    if (pos.x() < 0 || pos.y() < 0) {
        CentreOnScreen(form);
        return;
    }
    int x = pos.x();
    int y = above ? pos.y() - form->height() : pos.y();
    FitToWorkArea(x, y, form->width(), form->height());
    form->move(x, y);
}

int MaxTextWidth(const QString& text, const QFontMetrics& metrics)
{
    int result = 0;
    for (const QString& line : text.split(CrLf))
        result = qMax(result, metrics.horizontalAdvance(line));
    return result;
}

int TextLineCount(const QString& text)
{
    return 1 + int(text.count(CrLf));
}

TSelectDialog::TSelectDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint)
{
    // The layout arithmetic is built on the design font's height of 11
    // pixels at 96 dpi; the family stays the desktop's.
    QFont designFont = font();
    designFont.setPixelSize(Scaled(11));
    setFont(designFont);
    setWindowTitle(TrDialogs("Dialog"));
    setFixedSize(Scaled(385), Scaled(145));

    imgIcon = new QLabel(this);
    imgIcon->setGeometry(Scaled(5), Scaled(15), Scaled(32), Scaled(32));
    const int iconSize = Scaled(32);
    for (QStyle::StandardPixmap sp : {QStyle::SP_MessageBoxWarning, QStyle::SP_MessageBoxCritical,
                                      QStyle::SP_MessageBoxInformation, QStyle::SP_MessageBoxQuestion})
        ilIcons.append(style()->standardIcon(sp, nullptr, this).pixmap(iconSize, iconSize));

    stCaption = new QLabel(QStringLiteral("xxx"), this);
    stCaption->move(Scaled(50), Scaled(10));
    stCaption->setTextFormat(Qt::PlainText);

    cbOption = new QCheckBox(this);
    cbOption->setGeometry(Scaled(50), Scaled(50), Scaled(97), Scaled(26));

    ActiveScreenReader = QAccessible::isActive();
}

int TSelectDialog::Scaled(int v) const
{
    return ScaleLength(v, ScreenPpi(this));
}

void TSelectDialog::ButtonClick()
{
    if (const QObject* button = sender())
        Selection = button->property("Tag").toInt();
    done(1);
}

int TSelectDialog::Execute(QPoint pos, const QString& title, const QString& caption, TMsgDlgType dlgType,
                           TFontStyles captionFormat, const QStringList& buttons, const QString& option,
                           int buttonWidth, int preSelection, const QString& defaultButton)
{
    setWindowTitle(title);
    int bw = Scaled(buttonWidth == 0 ? 105 : buttonWidth);
    // A caption wider than that (a long answer, a longer language) widens
    // every button alike: the grid stays even and no caption is cut.
    {
        QPushButton probe(this);
        probe.hide();
        QStringList captions = buttons;
        captions << (defaultButton.isEmpty() ? TrDialogs("Cancel") : defaultButton);
        for (const QString& caption : std::as_const(captions)) {
            probe.setText(caption);
            bw = qMax(bw, probe.sizeHint().width());
        }
    }
    int w = Scaled(70) + 3 * bw;
    const int l = Scaled(50);
    const int g = Scaled(10);

    // Measured in the regular form font; bold is allowed for by a quarter more.
    int tw = MaxTextWidth(caption, QFontMetrics(font()));
    if (captionFormat & fsBold)
        tw = MulDiv(tw, 5, 4);
    const int n = TextLineCount(caption);

    QFont captionFont = font();
    captionFont.setBold(captionFormat & fsBold);
    captionFont.setItalic(captionFormat & fsItalic);
    captionFont.setUnderline(captionFormat & fsUnderline);
    captionFont.setStrikeOut(captionFormat & fsStrikeOut);
    stCaption->setFont(captionFont);
    // Qt breaks lines at LF only; a CR would show as a stray glyph.
    QString shown = caption;
    stCaption->setText(shown.replace(CrLf, QStringLiteral("\n")));
    const int f = qAbs(captionFont.pixelSize() > 0 ? captionFont.pixelSize() : QFontInfo(captionFont).pixelSize());
    const int captionHeight = MulDiv(f, 12, 10) * n + g;

    if (tw < w - l - g)
        tw = w - l - g;
    else
        w = l + tw + g;
    stCaption->setGeometry(l, stCaption->y(), tw, captionHeight);

    int y = stCaption->y() + captionHeight + g;
    const int bh = MulDiv(f, 24, 10);
    const int rowStep = MulDiv(bh, 30, 26);
    stCaption->setFocusPolicy(ActiveScreenReader ? Qt::TabFocus : Qt::NoFocus);

    cbOption->setChecked(false);
    if (option.isEmpty()) {
        cbOption->hide();
    } else {
        cbOption->setGeometry(l, y - 5, w - l - 10, cbOption->height());
        y += cbOption->height();
        cbOption->setText(option);
        if (preSelection > 0)
            cbOption->setChecked(preSelection & SelectOptionBit);
        cbOption->show();
    }

    if (dlgType == mtCustom) {
        imgIcon->hide();
    } else {
        imgIcon->clear();
        imgIcon->setPixmap(ilIcons.value(int(dlgType)));
        imgIcon->resize(imgIcon->pixmap().deviceIndependentSize().toSize());
        imgIcon->show();
    }

    const int k = int(buttons.size());
    const int total = k + 1;
    const int rows = k / 3;
    const int rest = k % 3 + 1;
    const int x0 = w - 3 * bw - 20;
    const auto makeButton = [&](int index, int column) -> QPushButton* {
        const bool isCancel = index == total - 1;
        QString text = isCancel ? defaultButton : buttons[index];
        if (isCancel && text.isEmpty())
            text = TrDialogs("Cancel");
        auto* button = new QPushButton(text, this);
        button->setGeometry(x0 + column * (bw + 5), y, bw, bh);
        button->setProperty("Tag", isCancel ? -1 : index);
        button->setFocusPolicy(Qt::StrongFocus);
        connect(button, &QPushButton::clicked, this, &TSelectDialog::ButtonClick);
        button->show();
        return button;
    };
    Buttons.clear();
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < 3; ++c)
            Buttons.append(makeButton(3 * r + c, c));
        y += rowStep;
    }
    for (int c = 0; c < rest; ++c)
        Buttons.append(makeButton(3 * rows + c, 3 - rest + c));
    // Escape rejects the dialog, which leaves Selection at -1 as the cancel
    // button does.
    setFixedSize(w, y + rowStep + 5);
    Selection = -1;

    if (preSelection > 0)
        preSelection &= 255;
    if (preSelection > k)
        preSelection = -1;

    // A screen reader starts on the question and the check box, everybody
    // else on the answers.
    QList<QWidget*> tabOrder{stCaption};
    if (ActiveScreenReader && cbOption->isVisibleTo(this))
        tabOrder.append(cbOption);
    for (QPushButton* button : std::as_const(Buttons))
        tabOrder.append(button);
    if (!ActiveScreenReader && cbOption->isVisibleTo(this))
        tabOrder.append(cbOption);
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    if (ActiveScreenReader)
        setFocus();
    else
        (preSelection < 0 ? Buttons.last() : Buttons[preSelection])->setFocus();

    PlaceDialog(this, pos, false);
    exec();

    int result = Selection;
    if (result >= 0 && cbOption->isVisibleTo(this) && cbOption->isChecked())
        result += SelectOptionBit;

    const QList<QPushButton*> children = findChildren<QPushButton*>(Qt::FindDirectChildrenOnly);
    for (qsizetype i = children.size() - 1; i >= 0; --i)
        delete children[i];
    Buttons.clear();
    return result;
}

int ShowSelectDialog(const QString& title, const QString& caption, TMsgDlgType dlgType, TFontStyles captionFormat,
                     const QStringList& buttons, const QString& option, int buttonWidth, int preSelection,
                     const QString& defaultButton)
{
    const SelectDialogTestSeam::TQuestion question{title, caption, dlgType, buttons, option, preSelection};
    if (const std::optional<int> answer = g_seam.Take(question, -1))
        return *answer;
    if (!SelectDialog)
        SelectDialog = new TSelectDialog(QApplication::activeWindow());
    // The instance goes also when Execute leaves by an exception.
    const std::unique_ptr<TSelectDialog> owner(SelectDialog);
    SelectDialog = nullptr;
    return owner->Execute(QPoint(-1, -1), title, caption, dlgType, captionFormat, buttons, option, buttonWidth,
                          preSelection, defaultButton);
}

namespace SelectDialogTestSeam {
void PushAnswer(int result)
{
    g_seam.Push(result);
}
bool HasPendingAnswers()
{
    return g_seam.HasPending();
}
void Clear()
{
    g_seam.Clear();
}
void SetStrict(bool strict)
{
    g_seam.SetStrict(strict);
}
QList<TQuestion> UnexpectedQuestions()
{
    return g_seam.Unexpected();
}
QList<TQuestion> AnsweredQuestions()
{
    return g_seam.Answered();
}
} // namespace SelectDialogTestSeam
