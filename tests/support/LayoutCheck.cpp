#include "tests/support/LayoutCheck.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFontMetrics>
#include <QLabel>
#include <QList>
#include <QProgressBar>
#include <QString>

namespace {

std::string NameOf(const QWidget* widget) {
    const QString name = widget->objectName();
    return (name.isEmpty() ? QString(widget->metaObject()->className()) : name).toStdString();
}

// The controls a person looks at: labels, buttons and bars that are shown.
QList<QWidget*> ShownControls(QWidget& window) {
    QList<QWidget*> controls;
    for (QWidget* child : window.findChildren<QWidget*>()) {
        const bool control = qobject_cast<QLabel*>(child) != nullptr ||
                             qobject_cast<QAbstractButton*>(child) != nullptr ||
                             qobject_cast<QProgressBar*>(child) != nullptr;
        if (control && child->isVisibleTo(&window)) controls.append(child);
    }
    return controls;
}

// The control's rectangle in the window's coordinates.
QRect InWindow(const QWidget* control, QWidget& window) {
    return QRect(control->mapTo(&window, QPoint(0, 0)), control->size());
}

void ExpectTextFits(const QWidget* control) {
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        if (label->text().isEmpty() || !label->pixmap().isNull()) return;
        if (label->wordWrap()) {
            EXPECT_LE(label->heightForWidth(label->width()), label->height())
                << NameOf(control) << ": the text runs past the label's bottom";
        } else {
            EXPECT_LE(label->sizeHint().width(), label->width())
                << NameOf(control) << ": the text is wider than the label";
        }
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
        QString text = button->text();
        text.remove('&');
        EXPECT_LE(button->fontMetrics().horizontalAdvance(text), button->width() - 8)
            << NameOf(control) << ": the caption is wider than the button";
    }
}

}  // namespace

void ExpectLaidOut(QWidget& window) {
    window.ensurePolished();
    const QList<QWidget*> controls = ShownControls(window);
    ASSERT_FALSE(controls.isEmpty()) << "no control is shown";
    for (qsizetype i = 0; i < controls.size(); ++i) {
        const QRect rect = InWindow(controls[i], window);
        EXPECT_TRUE(window.rect().contains(rect)) << NameOf(controls[i]) << " leaves the window";
        ExpectTextFits(controls[i]);
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            // A control inside another (a button in its group) is not beside it.
            if (controls[i]->isAncestorOf(controls[j]) || controls[j]->isAncestorOf(controls[i]))
                continue;
            EXPECT_FALSE(rect.intersects(InWindow(controls[j], window)))
                << NameOf(controls[i]) << " overlaps " << NameOf(controls[j]);
        }
    }
}
