#pragma once

#include <QString>
#include <QTest>
#include <QWindow>

// Keys pressed as the operator presses them: to a window, which hands each to the widget
// that has the focus then (the window itself when none has it), the events each key set
// going handled before the next key, as between two presses of a real keyboard.

// Each character a key carrying it, with the key code a keyboard gives for it (its
// capital's code point; Qt's test keys know ASCII only).
inline void TypeKeys(QWindow* window, const QString& text)
{
    for (const QChar character : text) {
        const auto key = Qt::Key(character.toUpper().unicode());
        QTest::sendKeyEvent(QTest::Click, window, key, QString(character), Qt::NoModifier);
        QTest::qWait(0);
    }
}

inline void PressKey(QWindow* window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(window, key, modifiers);
    QTest::qWait(0);
}
