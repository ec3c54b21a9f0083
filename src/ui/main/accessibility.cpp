#include "ui/main/accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <QTabBar>
#include <QWidget>

namespace {

// One tab of a tab strip.
class TabAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TabAccessible(QTabBar *bar, int index) : m_bar(bar), m_index(index) {}

    bool isValid() const override { return m_bar && m_index < m_bar->count(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override {
        QAccessibleInterface *bar = parent();
        return bar ? bar->window() : nullptr;
    }
    QAccessibleInterface *parent() const override {
        return QAccessible::queryAccessibleInterface(m_bar.data());
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessible::Role role() const override { return QAccessible::PageTab; }
    QString text(QAccessible::Text t) const override {
        if (!isValid() || t != QAccessible::Name)
            return QString();
        return m_bar->tabText(m_index).remove(QLatin1Char('&'));
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override {
        if (!isValid())
            return QRect();
        const QRect tab = m_bar->tabRect(m_index);
        return QRect(m_bar->mapToGlobal(tab.topLeft()), tab.size());
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s = parent()->state();
        const bool current = m_index == m_bar->currentIndex();
        s.disabled = !m_bar->isEnabled() || !m_bar->isTabEnabled(m_index);
        s.selectable = !s.disabled;
        s.selected = current;
        s.focused = current && m_bar->hasFocus();
        s.invisible = !m_bar->isVisible() || !m_bar->isTabVisible(m_index);
        return s;
    }
    void *interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface
                   ? static_cast<QAccessibleActionInterface *>(this)
                   : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }
    void doAction(const QString &name) override {
        // Pressed by a screen reader: the same as a click, so a locked tab stays shut.
        if (name == pressAction() && isValid() && m_bar->isEnabled() &&
            m_bar->isTabEnabled(m_index))
            m_bar->setCurrentIndex(m_index);
    }

    int index() const { return m_index; }

private:
    QPointer<QTabBar> m_bar;
    int m_index;
};

// A tab strip: its tabs are its children.
class TabStripAccessible : public QAccessibleWidget {
public:
    explicit TabStripAccessible(QTabBar *bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}
    ~TabStripAccessible() override {
        for (QAccessible::Id id : std::as_const(m_tabs))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return bar()->count(); }
    QAccessibleInterface *child(int index) const override {
        if (index < 0 || index >= bar()->count())
            return nullptr;
        if (!m_tabs.contains(index))
            m_tabs.insert(
                index, QAccessible::registerAccessibleInterface(new TabAccessible(bar(), index)));
        return QAccessible::accessibleInterface(m_tabs.value(index));
    }
    int indexOfChild(const QAccessibleInterface *child) const override {
        const auto *tab = dynamic_cast<const TabAccessible *>(child);
        return tab && tab->parent() == this ? tab->index() : -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override {
        return child(bar()->tabAt(bar()->mapFromGlobal(QPoint(x, y))));
    }
    QAccessibleInterface *focusChild() const override {
        return bar()->hasFocus() ? child(bar()->currentIndex()) : nullptr;
    }

private:
    QTabBar *bar() const { return static_cast<QTabBar *>(widget()); }
    mutable QHash<int, QAccessible::Id> m_tabs;
};

QAccessibleInterface *tabStripFactory(const QString &className, QObject *object) {
    if (className == QLatin1String("QTabBar") && object && object->isWidgetType())
        return new TabStripAccessible(static_cast<QTabBar *>(object));
    // A picture drawn in code is a picture to screen readers, as a label showing one is.
    if (className == QLatin1String("WelcomePicture") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Graphic);
    return nullptr;
}

} // namespace

void installTabStripAccessibility() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(tabStripFactory);
}

void tabSelectabilityChanged(QTabBar *bar, int index) {
    QAccessible::State changed;
    changed.disabled = true;
    QAccessibleStateChangeEvent event(bar, changed);
    event.setChild(index);
    QAccessible::updateAccessibility(&event);
}

void announce(QWidget *widget, const QString &spoken) {
    // A new name raises the name-change event by itself; the same words again are told here.
    if (widget->accessibleName() != spoken) {
        widget->setAccessibleName(spoken);
        return;
    }
    QAccessibleEvent changed(widget, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}
