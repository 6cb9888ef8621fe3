#include "app/HistoryCombo.h"

#include "app/IniFileUtils.h"

#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

constexpr char SimpleStyleProperty[] = "morvaneHistorySimple";

// Removes the button's room, so the edit field spans the whole box.
const QString& SimpleStyleSheet()
{
    static const QString sheet = QStringLiteral("QComboBox::drop-down { width: 0px; border: none; }"
                                                "QComboBox::down-arrow { image: none; width: 0px; }");
    return sheet;
}

// Swallows the keys that would open the list of a box without a button.
class TNoPopupFilter : public QObject
{
public:
    explicit TNoPopupFilter(QComboBox* box) : QObject(box), FBox(box) {}

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

} // namespace

void SetHistoryBoxDropDown(QComboBox* box, bool dropDown)
{
    box->setEditable(true);
    if (!box->findChild<TNoPopupFilter*>(QString(), Qt::FindDirectChildrenOnly)) {
        auto* filter = new TNoPopupFilter(box);
        box->installEventFilter(filter);
        // The edit field has the focus and sees the keys first.
        if (box->lineEdit())
            box->lineEdit()->installEventFilter(filter);
    }
    box->setProperty(SimpleStyleProperty, !dropDown);
    box->setStyleSheet(dropDown ? QString() : SimpleStyleSheet());
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
    // The box's own search: exact match without regard to case.
    const int p = box->findText(text, Qt::MatchFixedString);
    if (p < 0) {
        while (bound > 0 && box->count() >= bound)
            box->removeItem(box->count() - 1);
        box->insertItem(0, text);
    } else if (p > 0) {
        box->removeItem(p);
        box->insertItem(0, text);
    }
    box->setItemText(0, text);
    // Moving items may change the current item; the edit field keeps what it showed.
    if (box->isEditable() && box->currentText() != editText)
        box->setEditText(editText);
}

void AddToHistory(QComboBox* box, const QString& text)
{
    AddToHistory(box, text, MaxHistory);
}
