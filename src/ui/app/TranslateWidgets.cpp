#include "app/TranslateWidgets.h"

#include "util/Translate.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSet>
#include <QTabWidget>

namespace {

QString Tr(const char* domain, const QString& text)
{
    return text.isEmpty() ? text : TrDomain(domain, text);
}

void TranslateAction(QAction* action, const char* domain)
{
    // Without an own tool tip the action shows its text, which follows the
    // translation by itself; an own one is translated separately.
    QString autoToolTip = action->text();
    autoToolTip.remove(u'&');
    const QString toolTip = action->toolTip();
    action->setText(Tr(domain, action->text()));
    if (toolTip != autoToolTip)
        action->setToolTip(Tr(domain, toolTip));
    action->setStatusTip(Tr(domain, action->statusTip()));
    action->setWhatsThis(Tr(domain, action->whatsThis()));
}

void TranslateWidget(QWidget* w, const char* domain)
{
    w->setWindowTitle(Tr(domain, w->windowTitle()));
    w->setToolTip(Tr(domain, w->toolTip()));
    w->setStatusTip(Tr(domain, w->statusTip()));
    w->setWhatsThis(Tr(domain, w->whatsThis()));

    if (auto* label = qobject_cast<QLabel*>(w)) {
        if (!label->text().isEmpty())
            label->setText(Tr(domain, label->text()));
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        if (!button->text().isEmpty())
            button->setText(Tr(domain, button->text()));
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        group->setTitle(Tr(domain, group->title()));
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        // Items only: an editable box's typed text is the user's.
        for (int i = 0; i < combo->count(); ++i)
            combo->setItemText(i, Tr(domain, combo->itemText(i)));
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setText(Tr(domain, list->item(i)->text()));
    } else if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setTabText(i, Tr(domain, tabs->tabText(i)));
            tabs->setTabToolTip(i, Tr(domain, tabs->tabToolTip(i)));
        }
    } else if (auto* menu = qobject_cast<QMenu*>(w)) {
        menu->setTitle(Tr(domain, menu->title()));
    } else if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
        QStringList filters = dialog->nameFilters();
        for (QString& filter : filters)
            filter = Tr(domain, filter);
        dialog->setNameFilters(filters);
    }
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        edit->setPlaceholderText(Tr(domain, edit->placeholderText()));
}

} // namespace

void TranslateComponent(QWidget* root, const char* domain)
{
    if (!root)
        return;
    QList<QWidget*> widgets{root};
    widgets += root->findChildren<QWidget*>();
    // An action can belong to several widgets (menu and tool bar); once is enough.
    QSet<QAction*> actions;
    for (QWidget* w : std::as_const(widgets)) {
        TranslateWidget(w, domain);
        for (QAction* action : w->actions()) {
            if (!actions.contains(action)) {
                actions.insert(action);
                TranslateAction(action, domain);
            }
        }
    }
}
