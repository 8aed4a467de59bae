#pragma once
// Driving the preferences window's controls as a user does: picking a pop-up item (which, like a
// click, emits activated), typing into a field, ticking a box.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace prefstest {

// Picks the item carrying `value` in `role` (the item's data by default, its title with
// Qt::DisplayRole).
inline void choose(QComboBox* popup, const QVariant& value, int role = Qt::UserRole)
{
    const int index = popup->findData(value, role);
    ASSERT_GE(index, 0) << value.toString().toStdString();
    popup->setCurrentIndex(index);
    emit popup->activated(index);
}

// Replaces the field's text by typing.
inline void typeInto(QLineEdit* field, const QString& text)
{
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

inline void tick(QCheckBox* box)
{
    if (!box->isChecked())
        QTest::mouseClick(box, Qt::LeftButton);
    ASSERT_TRUE(box->isChecked());
}

} // namespace prefstest
