#include "app/HistoryCombo.h"

#include "app/Histories.h"
#include "util/RecentList.h"

#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProxyStyle>
#include <QStyleOptionComboBox>

namespace {

constexpr char SimpleStyleProperty[] = "morvaneHistorySimple";
// The helpers have no meta-object of their own, so they are found by name.
constexpr char FilterName[] = "morvaneHistoryNoPopup";
constexpr char StyleName[] = "morvaneHistorySimpleStyle";

// The look of a box without a drop-down button: the button has no room and
// is not drawn, the edit field spans the box. Everything else comes from the
// application style.
class TSimpleComboStyle : public QProxyStyle
{
public:
    // A fresh instance of the application's style, so the box matches the others.
    TSimpleComboStyle() : QProxyStyle(QApplication::style()->name()) {}

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override
    {
        if (control != CC_ComboBox)
            return QProxyStyle::subControlRect(control, option, sub, widget);
        if (sub == SC_ComboBoxArrow)
            return {};
        QRect rect = QProxyStyle::subControlRect(control, option, sub, widget);
        if (sub == SC_ComboBoxEditField) {
            // The same margin on both sides.
            const QRect& frame = option->rect;
            if (option->direction == Qt::RightToLeft)
                rect.setLeft(frame.left() + (frame.right() - rect.right()));
            else
                rect.setRight(frame.right() - (rect.left() - frame.left()));
        }
        return rect;
    }

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override
    {
        if (const auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option);
            combo && control == CC_ComboBox) {
            QStyleOptionComboBox copy = *combo;
            copy.subControls &= ~SC_ComboBoxArrow;
            // The style caches a box's picture by state and size, not by the
            // parts drawn: an active part that is never drawn keeps this
            // picture apart from that of a full box of the same size.
            copy.activeSubControls |= SC_ComboBoxListBoxPopup;
            QProxyStyle::drawComplexControl(control, &copy, painter, widget);
            return;
        }
        QProxyStyle::drawComplexControl(control, option, painter, widget);
    }
};

// Swallows the keys that would open the list of a box without a button.
class TNoPopupFilter : public QObject
{
public:
    explicit TNoPopupFilter(QComboBox* box) : QObject(box), FBox(box)
    {
        setObjectName(QString::fromLatin1(FilterName));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && HistoryBoxHasDropDown(FBox) == false) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool alt = key->modifiers().testFlag(Qt::AltModifier);
            if (key->key() == Qt::Key_F4 || (alt && (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up)))
                return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QComboBox* FBox;
};

QStringList Items(const QComboBox* box)
{
    QStringList items;
    items.reserve(box->count());
    for (int i = 0; i < box->count(); ++i)
        items.append(box->itemText(i));
    return items;
}

int EffectiveCount(const QComboBox* box, int maxCount)
{
    return maxCount == 0 ? box->maxVisibleItems() : maxCount;
}

// A box's items as a recent list, found with the box's own search.
class TComboItems
{
public:
    explicit TComboItems(QComboBox* box) : FBox(box) {}
    qsizetype Count() const { return FBox->count(); }
    // Exact match without regard to case.
    qsizetype Find(const QString& text) const { return FBox->findText(text, Qt::MatchFixedString); }
    void RemoveAt(qsizetype i) { FBox->removeItem(int(i)); }
    void Insert(qsizetype i, const QString& text) { FBox->insertItem(int(i), text); }
    void Replace(qsizetype i, const QString& text) { FBox->setItemText(int(i), text); }

private:
    QComboBox* FBox;
};

} // namespace

void SetHistoryBoxDropDown(QComboBox* box, bool dropDown)
{
    box->setEditable(true);
    if (!box->findChild<QObject*>(QString::fromLatin1(FilterName), Qt::FindDirectChildrenOnly)) {
        auto* filter = new TNoPopupFilter(box);
        box->installEventFilter(filter);
        // The edit field has the focus and sees the keys first.
        if (box->lineEdit())
            box->lineEdit()->installEventFilter(filter);
    }
    box->setProperty(SimpleStyleProperty, !dropDown);
    auto* simpleStyle = box->findChild<QStyle*>(QString::fromLatin1(StyleName), Qt::FindDirectChildrenOnly);
    if (dropDown) {
        if (simpleStyle) {
            box->setStyle(nullptr); // back to the application style
            delete simpleStyle;
        }
    } else if (!simpleStyle) {
        // Parented to the box, which does not own the style it is given.
        simpleStyle = new TSimpleComboStyle;
        simpleStyle->setObjectName(QString::fromLatin1(StyleName));
        simpleStyle->setParent(box);
        box->setStyle(simpleStyle);
    }
}

bool HistoryBoxHasDropDown(const QComboBox* box)
{
    return !box->property(SimpleStyleProperty).toBool();
}

bool LoadHistory(const QString& iniName, const QString& section, QComboBox* box, int maxCount, bool quote,
                 QString* errorText)
{
    QStringList items;
    bool found = false;
    const bool ok = ReadHistoryFile(iniName, section, items, EffectiveCount(box, maxCount), quote, &found, errorText);
    if (found) {
        box->clear();
        box->addItems(items);
    }
    if (box->count() > 0)
        box->setCurrentIndex(0);
    SetHistoryBoxDropDown(box, box->count() > 1);
    // Suggestions in a list below the field: an inline completion would
    // stay in the text, selected, and count as typed.
    if (QCompleter* completer = box->completer())
        completer->setCompletionMode(QCompleter::PopupCompletion);
    return ok;
}

bool SaveHistory(const QString& iniName, const QString& section, bool erase, QComboBox* box, int maxCount, bool quote,
                 QString* errorText)
{
    return WriteHistoryFile(iniName, section, Items(box), EffectiveCount(box, maxCount), erase, quote, errorText);
}

void AddToHistory(QComboBox* box, const QString& text, int bound)
{
    if (text.isEmpty())
        return;
    const QString editText = box->currentText();
    TComboItems items(box);
    AddToRecentList(items, text, bound);
    // Moving items may change the current item; the edit field keeps what it showed.
    if (box->isEditable() && box->currentText() != editText)
        box->setEditText(editText);
}

void AddToHistory(QComboBox* box, const QString& text)
{
    AddToHistory(box, text, MaxHistory);
}

void SetHistoryItems(QComboBox* box, const QStringList& items)
{
    const QString text = box->currentText();
    const QSignalBlocker blocker(box);
    box->clear();
    box->addItems(items);
    box->setCurrentIndex(-1);
    box->setEditText(text);
}
