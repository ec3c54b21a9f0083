#pragma once
#include <QString>
#include <QtGlobal>

// Virtual-key codes the answer boxes work with.
namespace VK {
inline constexpr qint16 Back = 8;
inline constexpr qint16 Tab = 9;
inline constexpr qint16 Return = 13;
inline constexpr qint16 Shift = 16;
inline constexpr qint16 Control = 17;
inline constexpr qint16 Menu = 18; // Alt
inline constexpr qint16 Escape = 27;
inline constexpr qint16 Space = 32;
inline constexpr qint16 Left = 37;
inline constexpr qint16 Up = 38;
inline constexpr qint16 Right = 39;
inline constexpr qint16 Down = 40;
inline constexpr qint16 Delete = 46;
} // namespace VK

// Sets `isDigit` to True (-1) for the main-row digit keys 48..57 and the keypad digit keys
// 96..105, otherwise to False (0). Modifiers play no part.
void IsDigitKey(qint16 keyCode, qint16 &isDigit);

// The keys an answer box handles by itself (Left, Right, Backspace, Delete and the digit
// keys): the activities' key handlers do nothing for them. Every other key is an action key.
bool isEditingKey(qint16 keyCode);

// Maps a Qt key event (its key, modifiers, native virtual key and text) to the virtual-key
// code used by the key handlers. Keypad digits become 96..105; a digit typed with Shift
// held, or a full-width digit, still maps to its digit key. Unknown keys map to 0, which
// the handlers treat as an action key.
qint16 virtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers, quint32 nativeVirtualKey,
                      quint32 nativeScanCode, const QString &text);
