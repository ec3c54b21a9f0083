#include "core/keys.h"

#include "core/applicationstate.h"

void IsDigitKey(qint16 keyCode, qint16 &isDigit) {
    isDigit =
        ((keyCode >= 48 && keyCode <= 57) || (keyCode >= 96 && keyCode <= 105)) ? True : False;
}

bool isEditingKey(qint16 keyCode) {
    if (keyCode == VK::Left || keyCode == VK::Right || keyCode == VK::Back || keyCode == VK::Delete)
        return true;
    qint16 isDigit = False;
    IsDigitKey(keyCode, isDigit);
    return isDigit == True;
}

#ifndef Q_OS_WIN
namespace {

// X11/evdev key codes of the main keyboard row 1..9, 0 (10..19); Windows reports the virtual
// key itself.
qint16 digitFromX11ScanCode(quint32 scanCode) {
    if (scanCode >= 10 && scanCode <= 18)
        return static_cast<qint16>(49 + (scanCode - 10));
    if (scanCode == 19)
        return 48;
    return 0;
}

} // namespace
#endif

qint16 virtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers, quint32 nativeVirtualKey,
                      quint32 nativeScanCode, const QString &text) {
#ifdef Q_OS_WIN
    // On Windows the native virtual key is already the code the handlers expect.
    if (nativeVirtualKey != 0 && nativeVirtualKey < 256)
        return static_cast<qint16>(nativeVirtualKey);
#else
    Q_UNUSED(nativeVirtualKey);
#endif
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return static_cast<qint16>((keypad ? 96 : 48) + (qtKey - Qt::Key_0));
    // A full-width digit (keyboard in full-width mode) counts as the same digit key.
    if (text.size() == 1 && text[0].unicode() >= u'０' && text[0].unicode() <= u'９')
        return static_cast<qint16>(48 + (text[0].unicode() - u'０'));
#ifndef Q_OS_WIN
    // Shift with a main-row digit reports the shifted symbol; the key is still a digit key.
    if (modifiers.testFlag(Qt::ShiftModifier)) {
        const qint16 digit = digitFromX11ScanCode(nativeScanCode);
        if (digit != 0)
            return digit;
    }
#else
    Q_UNUSED(nativeScanCode);
#endif
    switch (qtKey) {
    case Qt::Key_Backspace:
        return VK::Back;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return VK::Tab;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK::Return;
    case Qt::Key_Shift:
        return VK::Shift;
    case Qt::Key_Control:
        return VK::Control;
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
        return VK::Menu;
    case Qt::Key_Escape:
        return VK::Escape;
    case Qt::Key_Space:
        return VK::Space;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return VK::Left;
    case Qt::Key_Up:
        return VK::Up;
    case Qt::Key_Right:
        return VK::Right;
    case Qt::Key_Down:
        return VK::Down;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return VK::Delete;
    case Qt::Key_Meta:
        return 91;
    case Qt::Key_Minus:
        return static_cast<qint16>(keypad ? 109 : 189);
    case Qt::Key_Plus:
        return static_cast<qint16>(keypad ? 107 : 187);
    case Qt::Key_Asterisk:
        return 106;
    case Qt::Key_Slash:
        return static_cast<qint16>(keypad ? 111 : 191);
    case Qt::Key_Period:
        return static_cast<qint16>(keypad ? 110 : 190);
    case Qt::Key_Comma:
        return 188;
    default:
        break;
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return static_cast<qint16>(65 + (qtKey - Qt::Key_A));
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return static_cast<qint16>(112 + (qtKey - Qt::Key_F1));
    return 0;
}
